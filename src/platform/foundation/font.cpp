#include "platform/foundation/font.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QStringList>

#include <cmath>
#include <cstdlib>

namespace qrn {

namespace {

bool isRegularStyle(const QString& style) {
    static const QStringList regular{"Regular", "Book", "Normal", "Roman", "Medium", ""};
    return regular.contains(style, Qt::CaseInsensitive);
}

// The database lists a family shipped by two foundries as "Family [foundry]" once per foundry;
// fonts are named by the family alone.
QString withoutFoundry(const QString& family) {
    const qsizetype bracket = family.indexOf(" [");
    return bracket > 0 && family.endsWith(']') ? family.left(bracket) : family;
}

QStringList readFamilies() {
    QStringList out;
    for (const QString& f : QFontDatabase::families()) {
        const QString plain = withoutFoundry(f);
        if (!QFontDatabase::isPrivateFamily(f) && !out.contains(plain))
            out.append(plain);
    }
    return out;
}

// Read once: every run of every text drawn asks, and fonts installed while QRN runs are seen
// at its next start (as the rest of the desktop does).
QStringList families() {
    // The font database has nothing to say before there is an application.
    if (!QCoreApplication::instance())
        return readFamilies();
    static const QStringList list = readFamilies();
    return list;
}

std::optional<QString> installedFamily(const QString& wanted) {
    for (const QString& f : families())
        if (f.compare(wanted.trimmed(), Qt::CaseInsensitive) == 0)
            return f;
    return std::nullopt;
}

// The family's plain face, used for the display name of the family alone. A family without a
// face called regular (URW Bookman: Light, Demi and their italics) opens in its upright face
// nearest the normal weight, not in whichever face the database lists first.
QString regularStyleOf(const QString& family) {
    const QStringList styles = QFontDatabase::styles(family);
    for (const QString& s : styles)
        if (isRegularStyle(s))
            return s;
    QString best;
    int bestDistance = 0;
    for (const QString& s : styles) {
        if (QFontDatabase::italic(family, s))
            continue;
        const int distance = std::abs(QFontDatabase::weight(family, s) - int(QFont::Normal));
        if (best.isEmpty() || distance < bestDistance) {
            best = s;
            bestDistance = distance;
        }
    }
    if (!best.isEmpty())
        return best;
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

bool usableSize(double size) {
    return size > 0 && std::isfinite(size);
}

// Families that projects commonly name and that Debian does not ship, with their metric twins.
struct Twin {
    const char* family;
    const char* drawnWith;
};
// Longest first, so "Helvetica Neue Bold" is taken as a face of Helvetica Neue.
constexpr Twin twins[] = {
    {"Helvetica Neue", "Nimbus Sans"}, {"Helvetica", "Nimbus Sans"}, {"Arial", "Liberation Sans"}};
constexpr const char* lastResort = "DejaVu Sans";

// Weight and slant from a face name that the drawing family has no face of its own for.
void applyStyleWords(QFont& font, const QString& style) {
    const QString s = style.toLower();
    if (s.contains("black") || s.contains("heavy"))
        font.setWeight(QFont::Black);
    else if (s.contains("bold"))
        font.setWeight(QFont::Bold);
    else if (s.contains("medium"))
        font.setWeight(QFont::Medium);
    else if (s.contains("light") || s.contains("thin"))
        font.setWeight(QFont::Light);
    font.setItalic(s.contains("italic") || s.contains("oblique"));
}

} // namespace

QFont Font::toQFont() const {
    const QString drawn = QString::fromStdString(drawingFamily(family));
    QString face;
    for (const QString& s : QFontDatabase::styles(drawn))
        if (s.compare(QString::fromStdString(style), Qt::CaseInsensitive) == 0)
            face = s;
    QFont f;
    if (!face.isEmpty()) {
        f = QFontDatabase::font(drawn, face, 12);
    } else {
        applyStyleWords(f, QString::fromStdString(style));
    }
    f.setFamily(drawn);
    f.setPointSizeF(size > 0 ? size : 12);
    return f;
}

std::string drawingFamily(const std::string& family) {
    const QString wanted = QString::fromStdString(family);
    if (auto installed = installedFamily(wanted))
        return installed->toStdString();
    for (const Twin& twin : twins)
        if (wanted.trimmed().compare(twin.family, Qt::CaseInsensitive) == 0)
            if (auto installed = installedFamily(twin.drawnWith))
                return installed->toStdString();
    return lastResort;
}

std::vector<std::string> installedFontFamilies() {
    std::vector<std::string> out;
    for (const QString& family : families())
        out.push_back(family.toStdString());
    return out;
}

std::optional<Font> fontWithFamily(const std::string& family, double size) {
    if (!usableSize(size))
        return std::nullopt;
    if (auto f = installedFamily(QString::fromStdString(family)))
        return make(*f, regularStyleOf(*f), size);
    return std::nullopt;
}

std::optional<Font> fontNamed(const std::string& name, double size) {
    if (auto f = fontWithFamily(name, size))
        return f;
    if (!usableSize(size))
        return std::nullopt;
    // "Family Style": the longest family that prefixes the name, then one of its faces.
    const QString wanted = QString::fromStdString(name).trimmed();
    QString bestFamily;
    for (const QString& f : families())
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

std::optional<Font> fontAsStored(const std::string& name, double size) {
    if (auto f = fontNamed(name, size))
        return f;
    if (QString::fromStdString(name).trimmed().isEmpty() || !usableSize(size))
        return std::nullopt;
    Font f;
    f.name = name;
    f.family = name;
    f.size = size;
    // "Helvetica Bold" or "Helvetica-Bold": a face of a family with a twin, drawn in that face.
    const QString written = QString::fromStdString(name);
    // A twin's family named in full is that family, not a face of a shorter one
    // ("Helvetica Neue" is not Helvetica in a face called "Neue").
    for (const Twin& twin : twins)
        if (written.trimmed().compare(twin.family, Qt::CaseInsensitive) == 0)
            return f;
    for (const Twin& twin : twins) {
        const qsizetype length = qsizetype(std::char_traits<char>::length(twin.family));
        if (written.size() > length + 1 && written.startsWith(twin.family, Qt::CaseInsensitive) &&
            (written[length] == ' ' || written[length] == '-')) {
            f.family = written.left(length).toStdString();
            f.style = written.mid(length + 1).toStdString();
            break;
        }
    }
    return f;
}

Font fontFromQFont(const QFont& qf) {
    double size = qf.pointSizeF() > 0 ? qf.pointSizeF() : 12;
    const QString family = qf.families().isEmpty() ? qf.family() : qf.families().first();
    if (auto f = fontWithFamily(withoutFoundry(family).toStdString(), size)) {
        if (!qf.styleName().isEmpty())
            if (auto styled = fontNamed(f->family + " " + qf.styleName().toStdString(), size))
                return *styled;
        return *f;
    }
    QFontInfo info(qf);
    return make(withoutFoundry(info.family()), info.styleName(), size);
}

QPaintDevice* textLayoutDevice() {
    // 72 dots per inch is 2834.6 dots per metre; Qt rounds the DPI it reports back to 72.
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835);
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return &device;
}

QPaintDevice* fineTextLayoutDevice() {
    // 576 dots per inch; the DPI Qt reports from dots per metre is rounded to a whole number.
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        const int dotsPerMetre = int(std::lround(72 * fineTextLayoutScale / 0.0254));
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
        return image;
    }();
    return &device;
}

QFontMetricsF viewUnitMetrics(const QFont& font) {
    return QFontMetricsF(font, textLayoutDevice());
}

QFont viewUnitFont(const QFont& font) {
    QFont f(font);
    if (font.pointSizeF() > 0)
        f.setPixelSize(std::max(1, int(std::lround(font.pointSizeF()))));
    return f;
}

} // namespace qrn
