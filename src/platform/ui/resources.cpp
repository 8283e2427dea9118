#include "platform/ui/resources.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <map>

namespace qrn {

namespace {

struct Entry {
    QString path;
    bool isTemplate;
};

const std::map<std::string, Entry>& catalogue() {
    static const std::map<std::string, Entry> entries = [] {
        std::map<std::string, Entry> out;
        const auto scan = [&](const QString& folder, bool isTemplate) {
            const QStringList files = QDir(folder).entryList({"*.svg"}, QDir::Files, QDir::Name);
            for (const QString& f : files)
                out.emplace(f.chopped(4).toStdString(), Entry{folder + "/" + f, isTemplate});
        };
        scan(":/icons", true);
        scan(":/icons/symbols", false);
        return out;
    }();
    return entries;
}

const Entry* find(const std::string& name) {
    auto it = catalogue().find(name);
    return it == catalogue().end() ? nullptr : &it->second;
}

} // namespace

bool NamedImages::exists(const std::string& name) {
    return find(name) != nullptr;
}

bool NamedImages::isTemplate(const std::string& name) {
    const Entry* e = find(name);
    return e && e->isTemplate;
}

std::vector<std::string> NamedImages::names() {
    std::vector<std::string> icons, symbols;
    for (const auto& [name, e] : catalogue())
        (e.isTemplate ? icons : symbols).push_back(name);
    icons.insert(icons.end(), symbols.begin(), symbols.end());
    return icons;
}

std::optional<Size> NamedImages::naturalSize(const std::string& name) {
    const Entry* e = find(name);
    if (!e)
        return std::nullopt;
    QSvgRenderer r(e->path);
    const QSize s = r.defaultSize();
    return Size{double(s.width()), double(s.height())};
}

std::string NamedImages::resourcePath(const std::string& name) {
    const Entry* e = find(name);
    return e ? e->path.toStdString() : std::string();
}

QImage NamedImages::render(const std::string& name, Size pixels, std::optional<Colour> tint) {
    const Entry* e = find(name);
    if (!e)
        return {};
    QSvgRenderer r(e->path);
    if (!r.isValid())
        return {};
    QSize size(int(std::lround(pixels.width)), int(std::lround(pixels.height)));
    if (size.width() <= 0 || size.height() <= 0)
        size = r.defaultSize();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        r.render(&p, QRectF(0, 0, size.width(), size.height()));
    }
    return tint ? tintedImage(image, *tint) : image;
}

QImage tintedImage(const QImage& image, const Colour& tint) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(out.rect(), tint.toQColor());
    return out;
}

} // namespace qrn
