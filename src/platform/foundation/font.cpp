#include "platform/foundation/font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace qrn {

namespace {

bool isRegularStyle(const QString& style) {
    static const QStringList regular{"Regular", "Book", "Normal", "Roman", "Medium", ""};
    return regular.contains(style, Qt::CaseInsensitive);
}

// The family's plain face, used for the display name of the family alone.
QString regularStyleOf(const QString& family) {
    const QStringList styles = QFontDatabase::styles(family);
    for (const QString& s : styles)
        if (isRegularStyle(s))
            return s;
    return styles.isEmpty() ? QString() : styles.first();
}

Font make(const QString& family, const QString& style, double size) {
    Font f;
    f.family = family.toStdString();
    f.style = style.toStdString();
    f.name = isRegularStyle(style) ? f.family : (family + " " + style).toStdString();
    f.size = size;
    return f;
}

} // namespace

QFont Font::toQFont() const {
    QFont f = QFontDatabase::font(QString::fromStdString(family), QString::fromStdString(style), 12);
    f.setFamily(QString::fromStdString(family));
    f.setPointSizeF(size > 0 ? size : 12);
    return f;
}

std::vector<std::string> installedFontFamilies() {
    std::vector<std::string> out;
    for (const QString& family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family))
            out.push_back(family.toStdString());
    return out;
}

std::optional<Font> fontWithFamily(const std::string& family, double size) {
    if (!(size > 0))
        return std::nullopt;
    const QString wanted = QString::fromStdString(family).trimmed();
    for (const QString& f : QFontDatabase::families())
        if (f.compare(wanted, Qt::CaseInsensitive) == 0)
            return make(f, regularStyleOf(f), size);
    return std::nullopt;
}

std::optional<Font> fontNamed(const std::string& name, double size) {
    if (auto f = fontWithFamily(name, size))
        return f;
    if (!(size > 0))
        return std::nullopt;
    // "Family Style": the longest family that prefixes the name, then one of its faces.
    const QString wanted = QString::fromStdString(name).trimmed();
    QString bestFamily;
    for (const QString& f : QFontDatabase::families())
        if (wanted.startsWith(f + " ", Qt::CaseInsensitive) && f.size() > bestFamily.size())
            bestFamily = f;
    if (bestFamily.isEmpty())
        return std::nullopt;
    const QString style = wanted.mid(bestFamily.size() + 1);
    for (const QString& s : QFontDatabase::styles(bestFamily))
        if (s.compare(style, Qt::CaseInsensitive) == 0)
            return make(bestFamily, s, size);
    return std::nullopt;
}

Font fontFromQFont(const QFont& qf) {
    double size = qf.pointSizeF() > 0 ? qf.pointSizeF() : 12;
    const QString family = qf.families().isEmpty() ? qf.family() : qf.families().first();
    if (auto f = fontWithFamily(family.toStdString(), size)) {
        if (!qf.styleName().isEmpty())
            if (auto styled = fontNamed(f->family + " " + qf.styleName().toStdString(), size))
                return *styled;
        return *f;
    }
    QFontInfo info(qf);
    return make(info.family(), info.styleName(), size);
}

} // namespace qrn
