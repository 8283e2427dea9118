#include "platform/ui/resources.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>

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

// Recent drawings by name, pixel size and tint: many views show the same picture at the same
// size (every text layer's thumbnail, a row of icons), and drawing an SVG costs far more than
// sharing the finished image. Bounded, as sizes come from the views.
struct drawingKey {
    std::string name;
    int width;
    int height;
    std::optional<QRgb> tint;
    auto operator<=>(const drawingKey&) const = default;
};
constexpr size_t keptDrawings = 64;
std::mutex drawingsMutex;
std::map<drawingKey, QImage> drawings;
std::map<std::string, QSize> naturalSizes;

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
    std::lock_guard lock(drawingsMutex);
    auto it = naturalSizes.find(name);
    if (it == naturalSizes.end())
        it = naturalSizes.emplace(name, QSvgRenderer(e->path).defaultSize()).first;
    return Size{double(it->second.width()), double(it->second.height())};
}

std::string NamedImages::resourcePath(const std::string& name) {
    const Entry* e = find(name);
    return e ? e->path.toStdString() : std::string();
}

QImage NamedImages::render(const std::string& name, Size pixels, std::optional<Colour> tint) {
    const Entry* e = find(name);
    if (!e)
        return {};
    const drawingKey key{name, int(std::lround(pixels.width)), int(std::lround(pixels.height)),
                         tint ? std::optional<QRgb>(tint->toQColor().rgba()) : std::nullopt};
    {
        std::lock_guard lock(drawingsMutex);
        if (auto it = drawings.find(key); it != drawings.end())
            return it->second;
    }
    QSvgRenderer r(e->path);
    if (!r.isValid())
        return {};
    QSize size(key.width, key.height);
    if (size.width() <= 0 || size.height() <= 0)
        size = r.defaultSize();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        r.render(&p, QRectF(0, 0, size.width(), size.height()));
    }
    if (tint)
        image = tintedImage(image, *tint);
    std::lock_guard lock(drawingsMutex);
    if (drawings.size() >= keptDrawings)
        drawings.clear();
    drawings.emplace(key, image);
    return image;
}

QImage tintedImage(const QImage& image, const Colour& tint) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(out.rect(), tint.toQColor());
    return out;
}

} // namespace qrn
