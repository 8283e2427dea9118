#include "platform/graphics/renderer.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <typeinfo>
#include <unordered_map>

#include "platform/graphics/off_thread_picture.h"
#include "platform/graphics/picture_sampler.h"
#include "platform/imaging/filter_chain.h"
#include "platform/imaging/picture_reader.h"
#include "platform/imaging/worker_pool.h"

namespace qrn::graphics {

// What one thread needs while drawing: a band of the target, or the whole of it.
struct Renderer::Pass {
    double t = 0;
    // Device area being painted; layers outside it are skipped. Empty: no culling.
    QRectF cull;
    // The whole picture in device coordinates: a filtered group is cut to it.
    QRectF device;
    bool animated = false;
    // Filtered groups drawn once for all bands; null when this pass draws everything itself.
    SharedGroups* groups = nullptr;
    // Per-depth scratch lists for zPosition ordering, reused between frames.
    std::vector<std::vector<const Layer*>> order;
    // The pixels the painter paints, for pictures drawn past it; null: everything goes through it.
    PixelTarget canvas;
    // Clips the painter holds beyond its band, which pictures drawn past it would not see.
    int clips = 0;
    // Whether layers' kept drawn extents may be asked: only where one thread walks the tree.
    bool extents = false;
    // Whether filtered groups that have not changed are drawn from their kept pictures: where a
    // painter draws the tree again and again on one thread (the window's painting).
    bool keepsGroups = false;
    // The earliest time from t at which an animation drawn here may change its picture.
    double nextChange = std::numeric_limits<double>::infinity();
    // Where the animations drawn lie on the device, when asked for (the window's painting).
    QRegion* moving = nullptr;
    // Inside a filtered group: a moving layer there moves the whole group's picture.
    bool inGroup = false, movedInGroup = false;
};

// The picture of each filtered layer, made by the first band that needs it.
struct Renderer::SharedGroups {
    struct Entry {
        std::once_flag once;
        QImage image;
    };
    Entry& entry(const Layer* layer) {
        std::lock_guard lock(mutex);
        auto& e = entries[layer];
        if (!e)
            e = std::make_unique<Entry>();
        return *e;
    }
    std::mutex mutex;
    std::unordered_map<const Layer*, std::unique_ptr<Entry>> entries;
};

// The kept picture of one run of a caching layer's sublayers, and what it was drawn from.
struct Renderer::RunCache {
    std::mutex mutex;
    // By identity, shared by a layer and its snapshot copies.
    std::vector<std::weak_ptr<const char>> members;
    std::vector<std::uint64_t> versions;
    QTransform toDevice;
    double opacity = 0;
    QRectF device;
    // Drawn at a time of its own: never kept.
    bool animated = false;
    QRect rect;
    QImage image;
};

// Per caching layer, its runs in drawing order; shared by the bands of a frame.
struct Renderer::RunCaches {
    struct Owner {
        std::weak_ptr<const char> layer;
        std::vector<std::unique_ptr<RunCache>> runs;
    };
    std::mutex mutex;
    // By identity, so snapshot copies of a layer find its pictures.
    std::unordered_map<const char*, Owner> owners;
    std::atomic<long> layersDrawn{0}, runsReused{0}, runsRedrawn{0};

    RunCache& run(const Layer& owner, size_t index) {
        std::lock_guard lock(mutex);
        const auto& id = owner.identity();
        auto& entry = owners[id.get()];
        // Another layer now lives where a gone one did: its pictures are not ours.
        if (entry.layer.lock() != id) {
            entry.layer = id;
            entry.runs.clear();
        }
        while (entry.runs.size() <= index)
            entry.runs.push_back(std::make_unique<RunCache>());
        return *entry.runs[index];
    }
};

// The pictures of the filtered groups the window draws, kept from one paint to the next while
// nothing in a group changes: a picture over the live camera would otherwise be filtered again for
// every camera frame. Those of layers gone are let go; over the budget, those the last paint
// did not draw.
struct Renderer::KeptGroups {
    struct Group {
        std::weak_ptr<const char> layer;
        std::uint64_t version = 0;
        QTransform toDevice;
        QRect rect;
        QImage image;
        std::uint64_t drawnIn = 0;
    };
    std::unordered_map<const char*, Group> groups;
    std::uint64_t paint = 0;
    qsizetype bytes = 0;
    static constexpr qsizetype budget = qsizetype(64) << 20;

    template <typename Gone> void letGo(Gone gone) {
        std::erase_if(groups, [&](const auto& entry) {
            if (!gone(entry.second))
                return false;
            bytes -= entry.second.image.sizeInBytes();
            return true;
        });
    }
};

namespace {

bool subtreeIsLive(const Layer& layer) {
    if (layer.hasLiveContent())
        return true;
    for (const auto& s : layer.sublayers())
        if (subtreeIsLive(*s))
            return true;
    return false;
}

bool subtreeHasAnimations(const Layer& layer) {
    if (layer.hasAnimations())
        return true;
    for (const auto& s : layer.sublayers())
        if (subtreeHasAnimations(*s))
            return true;
    return false;
}

// Whether a subtree looks the same until its content version moves: nothing in it live or
// animated, or shown from a picture finished on another thread.
bool subtreeIsSteady(const Layer& layer) {
    if (layer.hasLiveContent() || layer.hasAnimations() || layer.offThreadPicture())
        return false;
    for (const auto& s : layer.sublayers())
        if (!subtreeIsSteady(*s))
            return false;
    return true;
}

// Bands are at least this tall, so thin images are not cut into slivers.
constexpr int kMinBandRows = 32;
// Where pictures are sampled straight into the target, it is drawn in bands about this tall even
// on one thread: a band's rows then stay in the processor's cache while every layer is blended
// into them, instead of the whole frame being fetched again for each layer.
constexpr int kCachedBandRows = 64;
constexpr int kMaxThreads = 16;
// Cost of a row per pixel an image covers, relative to a plain fill; and of every row of the
// target, drawn on or not.
constexpr double kImageCost = 4, kRowCost = 0.05;

double nextAnimationChange(const Layer& layer, double t) {
    double next = std::numeric_limits<double>::infinity();
    for (const auto& entry : layer.animations())
        next = std::min(next, entry.second.nextChangeAfter(t));
    return next;
}

// Turned and scaled pictures go to the sampler; false leaves the picture to the painter, which
// copies one-to-one pictures faster than sampling them, and without AVX2 samples faster too.
bool sampleContents(const PixelTarget& canvas, const QImage& contents, const QRectF& bounds,
                    const QTransform& toDevice, double opacity, double radius) {
    if (!samplerHasAvx2())
        return false;
    // Picture pixels onto the bounds, rows running downwards from the top of our y-up space.
    const QTransform toTarget = QTransform(bounds.width() / contents.width(), 0, 0,
                                           bounds.height() / contents.height(), bounds.left(), bounds.top()) *
                                QTransform(1, 0, 0, -1, 0, bounds.top() + bounds.bottom()) * toDevice;
    constexpr double e = 1e-9;
    if (std::abs(toTarget.m11() - 1) < e && std::abs(toTarget.m22() - 1) < e &&
        std::abs(toTarget.m12()) < e && std::abs(toTarget.m21()) < e)
        return false;
    if (!PictureSampler::canSample(contents, toTarget))
        return false;
    PictureDraw draw;
    draw.picture = &contents;
    draw.toTarget = toTarget;
    draw.opacity = opacity;
    draw.cornerX = radius * contents.width() / bounds.width();
    draw.cornerY = radius * contents.height() / bounds.height();
    PictureSampler::draw(canvas, draw);
    return true;
}

void setupHints(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QRectF qrect(const Rect& r) {
    Rect s = r.standardized();
    return QRectF(s.origin.x, s.origin.y, s.size.width, s.size.height);
}

// The device rectangle `area` covers when the painter only shifts it, or, where `flips` allows,
// also turns it upside down or mirrors it (as the window's y-up space meets its rows), else null.
std::optional<QRectF> shiftedOnly(const QPainter& p, const QRectF& area, bool flips = false) {
    const QTransform m = p.combinedTransform();
    if (m.type() <= QTransform::TxTranslate)
        return area.translated(m.dx(), m.dy());
    if (flips && m.type() == QTransform::TxScale && std::abs(m.m11()) == 1 && std::abs(m.m22()) == 1)
        return m.mapRect(area);
    return std::nullopt;
}

bool onWholePixels(const QRectF& r) {
    const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
    return whole(r.left()) && whole(r.top()) && whole(r.right()) && whole(r.bottom());
}

// Smoothing and antialiasing cannot change a fill of whole pixels or an image drawn one to one
// at a whole-pixel place, but with them on Qt's raster engine hands large draws to Qt's global
// thread pool and waits for them there, behind the filters' bands; the window's thread would
// stand still. `image` is null for a fill. Restored when it goes.
class PixelExactDraw {
  public:
    PixelExactDraw(QPainter& p, const QRectF& area, const QImage* image = nullptr) : p_(p) {
        // A fill covers the same pixels flipped; a picture would be drawn mirrored.
        const auto device = shiftedOnly(p, area, !image);
        exact_ = device && onWholePixels(*device) &&
                 (!image || (std::lround(device->width()) == image->width() &&
                             std::lround(device->height()) == image->height()));
        if (!exact_)
            return;
        hints_ = p.renderHints();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
    ~PixelExactDraw() {
        if (exact_)
            p_.setRenderHints(hints_, true);
    }
    bool exact() const { return exact_; }
    // A see-through fill of many rows would still go to the pool: it is given in strips short
    // enough for the raster engine to blend them on this thread.
    void fillRect(const QRectF& r, const QColor& colour) {
        constexpr int kStripRows = 64;
        if (!exact_ || (colour.alpha() == 255 && p_.opacity() == 1) || r.height() <= kStripRows) {
            p_.fillRect(r, colour);
            return;
        }
        for (double top = r.top(); top < r.bottom(); top += kStripRows)
            p_.fillRect(QRectF(r.left(), top, r.width(), std::min<double>(kStripRows, r.bottom() - top)),
                        colour);
    }
    PixelExactDraw(const PixelExactDraw&) = delete;
    PixelExactDraw& operator=(const PixelExactDraw&) = delete;

  private:
    QPainter& p_;
    bool exact_ = false;
    QPainter::RenderHints hints_;
};

// Runs work(0) .. work(count - 1) on up to `threads` threads of the shared worker pool. On its
// threads the raster engine paints each fill itself; from any other thread it spreads large
// fills over that pool and waits for them, which costs more than it saves once every core has
// a band of its own. So a caller from outside the pool only waits; one inside takes bands too.
void forEachBand(int count, int threads, const std::function<void(int)>& work) {
    imaging::WorkerPool::shared().forEach(count, threads, work, imaging::WorkerPool::Caller::Waits);
}

} // namespace

Renderer::Renderer() = default;
Renderer::~Renderer() = default;
Renderer::Renderer(Renderer&&) noexcept = default;
Renderer& Renderer::operator=(Renderer&&) noexcept = default;

QTransform Renderer::yUpToImage(double heightInPixels, double scale) {
    return QTransform(scale, 0, 0, -scale, 0, heightInPixels);
}

void Renderer::beginFrame() {
    if (!runCaches_)
        runCaches_ = std::make_shared<RunCaches>();
    auto& caches = *runCaches_;
    caches.layersDrawn = 0;
    caches.runsReused = 0;
    caches.runsRedrawn = 0;
    {
        std::lock_guard lock(caches.mutex);
        std::erase_if(caches.owners, [](const auto& entry) { return entry.second.layer.expired(); });
    }
    if (keptGroups_)
        keptGroups_->letGo([](const KeptGroups::Group& group) { return group.layer.expired(); });
}

Renderer::Stats Renderer::lastRenderStats() const {
    if (!runCaches_)
        return {};
    return {runCaches_->layersDrawn.load(), runCaches_->runsReused.load(), runCaches_->runsRedrawn.load()};
}

void Renderer::render(const Layer& root, QImage& target, double t, double scale) {
    if (target.isNull())
        return;
    renderImage(root, target, t, yUpToImage(target.height(), scale), true);
}

void Renderer::render(const Layer& root, QImage& target, double t, const QTransform& toImage,
                      const QRectF& device) {
    if (target.isNull())
        return;
    renderImage(root, target, t, toImage, true, device);
}

namespace {

// Pixels for a side of `points` at `scale`: at least one; 0 when no image could be that large (or
// the side is not a number), where converting to int would overflow.
int pixelSide(double points, double scale) {
    const double pixels = std::ceil(points * scale - 1e-9);
    if (!(pixels < double(std::numeric_limits<int>::max())))
        return 0;
    return std::max(1, int(std::max(pixels, 0.0)));
}

} // namespace

QImage Renderer::renderToImage(const Layer& root, Size size, double t, double scale) {
    const int w = pixelSide(size.width, scale), h = pixelSide(size.height, scale);
    if (w == 0 || h == 0)
        return {};
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    render(root, image, t, scale);
    return image;
}

QImage Renderer::snapshot(const Layer& layer, double t, double scale) {
    const Rect b = layer.bounds().standardized();
    const int w = pixelSide(b.size.width, scale), h = pixelSide(b.size.height, scale);
    if (w == 0 || h == 0)
        return {};
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // Bounds space straight onto the image, skipping the layer's own placement.
    renderImage(layer, image, t, QTransform::fromTranslate(-b.origin.x, -b.origin.y) * yUpToImage(h, scale),
                false);
    return image;
}

void Renderer::renderImage(const Layer& layer, QImage& target, double t, const QTransform& toImage,
                           bool placed, const QRectF& device) {
    beginFrame();
    const int w = target.width(), h = target.height();
    const int threads =
        std::clamp(threads_ > 0 ? threads_ : imaging::WorkerPool::shared().threadCount(), 1, kMaxThreads);
    // An image with a colour table or a pixel ratio of its own is drawn in one piece.
    const bool plain = target.colorCount() == 0 && target.devicePixelRatio() == 1;
    const bool sampled = plain && target.format() == QImage::Format_ARGB32_Premultiplied;
    const int whole =
        plain ? std::clamp(h / kMinBandRows, 1, std::max(threads, sampled ? h / kCachedBandRows : 1)) : 1;
    // Bands go to whichever thread is free, in order, so the threads finish together only if the
    // last bands are small: the last `threads` bands' worth is cut into halves, then quarters.
    const int finer = threads > 1 && whole >= 2 * threads ? threads : 0;
    const int bands = whole + 2 * finer;
    splitRows(layer, w, h, t, toImage, placed, whole, finer);
    while (passes_.size() < size_t(bands))
        passes_.push_back(std::make_unique<Pass>());
    // Each band paints through its own view of the target's pixels, clipped to its rows. Its
    // coordinates are the whole image's, so every edge and sample falls as with one thread.
    uchar* const bits = target.bits(); // detached here, before any thread paints
    const qsizetype stride = target.bytesPerLine();
    SharedGroups groups;
    forEachBand(bands, threads, [&](int i) {
        const int y0 = bandStarts_[size_t(i)], y1 = bandStarts_[size_t(i) + 1];
        Pass& pass = *passes_[size_t(i)];
        pass.t = t;
        pass.animated = false;
        pass.nextChange = std::numeric_limits<double>::infinity();
        pass.moving = nullptr;
        pass.cull = QRectF(0, y0, w, y1 - y0);
        pass.device = device.isEmpty() ? QRectF(0, 0, w, h) : device;
        pass.groups = bands > 1 ? &groups : nullptr;
        pass.canvas = sampled ? PixelTarget{bits, stride, QRect(0, y0, w, y1 - y0)} : PixelTarget{};
        pass.clips = 0;
        QImage view;
        if (bands > 1)
            view = QImage(bits, w, h, stride, target.format());
        QPainter p(bands > 1 ? &view : &target);
        if (bands > 1)
            p.setClipRect(QRect(0, y0, w, y1 - y0));
        setupHints(p);
        if (placed) {
            drawLayer(pass, p, layer, toImage, 1.0, 0);
        } else {
            double opacity = layer.presentationOpacity(t);
            if (!layer.isHidden() && opacity > 0)
                drawContent(pass, p, layer, toImage, opacity, 0);
        }
    });
    animated_ =
        std::any_of(passes_.begin(), passes_.begin() + bands, [](const auto& p) { return p->animated; });
    nextChange_ = std::numeric_limits<double>::infinity();
    for (int i = 0; i < bands; ++i)
        nextChange_ = std::min(nextChange_, passes_[size_t(i)]->nextChange);
    moving_ = QRegion();
}

void Renderer::splitRows(const Layer& layer, int w, int h, double t, const QTransform& toImage, bool placed,
                         int whole, int finer) {
    const int bands = whole + 2 * finer;
    bandStarts_.assign(size_t(bands) + 1, h);
    bandStarts_[0] = 0;
    if (bands == 1)
        return;
    // Bands of about equal cost rather than equal height, judged by what covers each row.
    rowCost_.assign(size_t(h) + 1, 0.0);
    if (!placed)
        addRowCost(layer, toImage, QRectF(0, 0, w, h), t);
    else if (!layer.isHidden() && layer.presentationOpacity(t) > 0)
        addRowCost(layer, toQTransform(layer.transformToSuperlayer()) * toImage, QRectF(0, 0, w, h), t);
    double row = 0, total = 0;
    for (double& c : rowCost_) {
        row += c;
        total += row + kRowCost * w;
        c = total; // now the cost of the rows down to this one
    }
    // rowCost_[y - 1] is the cost of rows [0, y). The first whole - finer bands have a share of
    // the cost each, then `finer` bands half a share and 2 * finer a quarter.
    double shares = 0;
    for (int i = 1; i < bands; ++i) {
        shares += i <= whole - finer ? 1.0 : i <= whole ? 0.5 : 0.25;
        auto it = std::lower_bound(rowCost_.begin(), rowCost_.end() - 1, total * shares / whole);
        int start = int(it - rowCost_.begin()) + 1;
        bandStarts_[size_t(i)] = std::clamp(start, bandStarts_[size_t(i) - 1] + 1, h - (bands - i));
    }
}

void Renderer::addRowCost(const Layer& layer, const QTransform& toDevice, const QRectF& image, double t) {
    const QRectF area = toDevice.mapRect(qrect(layer.visualBounds())) & image;
    if (!area.isEmpty()) {
        const double cost = area.width() * (layer.contents().isNull() ? 1 : kImageCost);
        rowCost_[size_t(std::floor(area.top()))] += cost;
        rowCost_[size_t(std::ceil(area.bottom()))] -= cost;
    }
    for (const auto& s : layer.sublayers()) {
        if (s->isHidden() || s->presentationOpacity(t) <= 0)
            continue;
        QTransform m = toQTransform(s->transformToSuperlayer()) * toDevice;
        if (m.isInvertible())
            addRowCost(*s, m, image, t);
    }
}

void Renderer::render(const Layer& root, QPainter& painter, double t, const QTransform& toDevice) {
    beginFrame();
    if (passes_.empty())
        passes_.push_back(std::make_unique<Pass>());
    Pass& pass = *passes_[0];
    pass.t = t;
    pass.animated = false;
    pass.nextChange = std::numeric_limits<double>::infinity();
    moving_ = QRegion();
    pass.moving = &moving_;
    pass.groups = nullptr;
    pass.canvas = {};
    pass.clips = 0;
    pass.extents = true;
    pass.keepsGroups = true;
    if (!keptGroups_)
        keptGroups_ = std::make_shared<KeptGroups>();
    const std::uint64_t paint = ++keptGroups_->paint;
    pass.device =
        painter.device() ? QRectF(0, 0, painter.device()->width(), painter.device()->height()) : QRectF();
    // Layers wholly outside the area being painted are skipped (the painter's clip, or its device).
    pass.cull = painter.hasClipping() ? painter.clipBoundingRect() : QRectF();
    if (pass.cull.isEmpty())
        pass.cull = pass.device;
    painter.save();
    setupHints(painter);
    drawLayer(pass, painter, root, toDevice, 1.0, 0);
    painter.restore();
    animated_ = pass.animated;
    nextChange_ = pass.nextChange;
    pass.moving = nullptr;
    pass.keepsGroups = false;
    if (keptGroups_->bytes > KeptGroups::budget)
        keptGroups_->letGo([paint](const KeptGroups::Group& group) { return group.drawnIn != paint; });
}

void Renderer::drawLayer(Pass& pass, QPainter& p, const Layer& layer, const QTransform& parentToDevice,
                         double parentOpacity, int depth) {
    if (layer.isHidden())
        return;
    if (layer.hasAnimations()) {
        const double next = nextAnimationChange(layer, pass.t);
        if (next < std::numeric_limits<double>::infinity()) {
            pass.animated = true;
            pass.nextChange = std::min(pass.nextChange, next);
            if (pass.inGroup) {
                pass.movedInGroup = true;
            } else if (pass.moving) {
                const QTransform m = toQTransform(layer.transformToSuperlayer()) * parentToDevice;
                const Rect covered =
                    layer.sublayers().empty() || !pass.extents ? layer.visualBounds() : layer.drawnExtent();
                QRectF area = m.mapRect(qrect(covered)).adjusted(-1, -1, 1, 1);
                if (!pass.device.isEmpty())
                    area &= pass.device;
                *pass.moving += area.toAlignedRect();
            }
        }
    }
    double opacity = parentOpacity * layer.presentationOpacity(pass.t);
    if (opacity <= 0)
        return;
    if (offThread_ && layer.offThreadPicture() &&
        drawOffThreadPicture(pass, p, layer, parentToDevice, parentOpacity))
        return;
    QTransform toDevice = toQTransform(layer.transformToSuperlayer()) * parentToDevice;
    if (!toDevice.isInvertible())
        return; // a zero scale draws nothing
    // Unless the layer clips them, its sublayers may reach past what it covers itself: their
    // kept extent judges them, where it may be asked. Filtered groups are judged by their whole
    // area when drawn.
    if (!pass.cull.isEmpty() && layer.contentFilters().empty()) {
        const bool own = layer.masksToBounds() || layer.sublayers().empty();
        if (own || pass.extents) {
            const Rect covered = own ? layer.visualBounds() : layer.drawnExtent();
            if (!toDevice.mapRect(qrect(covered)).adjusted(-1, -1, 1, 1).intersects(pass.cull))
                return;
        }
    }
    drawContent(pass, p, layer, toDevice, opacity, depth);
}

bool Renderer::drawOffThreadPicture(Pass& pass, QPainter& p, const Layer& layer,
                                    const QTransform& parentToDevice, double parentOpacity) {
    // Under a fading superlayer the picture would blend differently from a direct drawing.
    if (parentOpacity != 1 || pass.device.isEmpty())
        return false;
    auto picture = layer.offThreadPicture()->picture(layer, parentToDevice, pass.device, pass.t);
    if (!picture)
        return false;
    if (picture->animated)
        pass.animated = true;
    if (!pass.cull.isEmpty() && !pass.cull.intersects(QRectF(picture->area)))
        return true;
    p.save();
    p.setWorldTransform(QTransform());
    p.setOpacity(1);
    {
        PixelExactDraw exact(p, QRectF(picture->area), &picture->image);
        p.drawImage(picture->area.topLeft(), picture->image);
    }
    p.restore();
    return true;
}

void Renderer::drawContent(Pass& pass, QPainter& p, const Layer& layer, const QTransform& toDevice,
                           double opacity, int depth) {
    if (!layer.contentFilters().empty())
        drawFiltered(pass, p, layer, toDevice, opacity, depth);
    else
        drawBody(pass, p, layer, toDevice, opacity, depth);
}

namespace {

// The area being painted in a layer's bounds space, with the margin its sublayers are judged
// by, where the layer lies upright on the device (so that the area maps back onto the same
// pixels); none otherwise, or when nothing is cut away.
std::optional<Rect> paintedAreaIn(const QRectF& cull, const QTransform& toDevice) {
    if (cull.isEmpty() || toDevice.type() > QTransform::TxScale)
        return std::nullopt;
    bool invertible = false;
    const QTransform fromDevice = toDevice.inverted(&invertible);
    if (!invertible)
        return std::nullopt;
    const QRectF area = fromDevice.mapRect(cull.adjusted(-2, -2, 2, 2));
    return Rect(area.x(), area.y(), area.width(), area.height());
}

} // namespace

bool Renderer::drawnSublayers(Pass& pass, const Layer& layer, const QTransform& toDevice,
                              std::vector<const Layer*>& out) const {
    if (!layer.keepsDrawnSublayers())
        return false;
    // Where one thread walks the tree, the sublayers wholly outside the painted area are passed
    // over without a look at each; otherwise each is judged as it is drawn.
    if (pass.extents)
        if (const auto area = paintedAreaIn(pass.cull, toDevice))
            return layer.drawnSublayersMeeting(*area, out);
    return layer.drawnSublayers(out);
}

void Renderer::drawBody(Pass& pass, QPainter& p, const Layer& layer, const QTransform& toDevice,
                        double opacity, int depth) {
    const QRectF bounds = qrect(layer.bounds());
    const double radius = std::min({layer.cornerRadius(), bounds.width() / 2, bounds.height() / 2});
    const bool rounded = radius > 0;
    QPainterPath roundedPath;
    if (rounded)
        roundedPath.addRoundedRect(bounds, radius, radius);

    ++runCaches_->layersDrawn;
    p.setTransform(toDevice);
    p.setOpacity(opacity);

    const Colour& bg = layer.backgroundColour();
    if (bg.alpha > 0 && !bounds.isEmpty()) {
        if (rounded)
            p.fillPath(roundedPath, bg.toQColor());
        else {
            PixelExactDraw exact(p, bounds);
            exact.fillRect(bounds, bg.toQColor());
        }
    }

    // A sampled picture rounds its own corners, so the painter needs the layer's clip only for
    // what it draws itself.
    const QImage& contents = layer.contents();
    bool contentsDrawn = contents.isNull() || bounds.isEmpty();
    if (!contentsDrawn && !pass.canvas.isNull() && pass.clips == 0)
        contentsDrawn = sampleContents(pass.canvas, contents, bounds, toDevice, opacity,
                                       layer.masksToBounds() ? radius : 0);
    const auto& subs = layer.sublayers();
    const bool clip =
        layer.masksToBounds() && (!contentsDrawn || !subs.empty() || typeid(layer) != typeid(Layer));
    // Nothing of the sublayers shows outside a clip: they are judged against what is left of it.
    const QRectF outerCull = pass.cull;
    if (clip) {
        p.save();
        ++pass.clips;
        if (rounded)
            p.setClipPath(roundedPath, Qt::IntersectClip);
        else
            p.setClipRect(bounds, Qt::IntersectClip);
        const QRectF inside = pass.cull & toDevice.mapRect(bounds).adjusted(-1, -1, 1, 1);
        if (!inside.isEmpty())
            pass.cull = inside;
    }

    if (!contentsDrawn) {
        // Image rows run downwards: flip locally so the picture stands upright in y-up space.
        p.setTransform(QTransform(1, 0, 0, -1, 0, bounds.top() + bounds.bottom()) * toDevice);
        PixelExactDraw exact(p, bounds, &contents);
        p.drawImage(bounds, contents);
        p.setTransform(toDevice);
    }

    layer.drawInContext(p);

    if (pass.order.size() <= size_t(depth))
        pass.order.resize(size_t(depth) + 1);
    if (!layer.cachesSublayers() && drawnSublayers(pass, layer, toDevice, pass.order[size_t(depth)])) {
        // Deeper levels may grow the lists, so walk this one by index.
        for (size_t i = 0; i < pass.order[size_t(depth)].size(); ++i)
            drawLayer(pass, p, *pass.order[size_t(depth)][i], toDevice, opacity, depth + 1);
    } else if (!subs.empty()) {
        bool sameZ = true;
        for (size_t i = 1; i < subs.size() && sameZ; ++i)
            sameZ = subs[i]->zPosition() == subs[0]->zPosition();
        if (sameZ && !layer.cachesSublayers()) {
            for (const auto& s : subs)
                drawLayer(pass, p, *s, toDevice, opacity, depth + 1);
        } else {
            if (pass.order.size() <= size_t(depth))
                pass.order.resize(size_t(depth) + 1);
            auto& order = pass.order[size_t(depth)];
            order.clear();
            for (const auto& s : subs)
                order.push_back(s.get());
            if (!sameZ)
                std::stable_sort(order.begin(), order.end(), [](const Layer* a, const Layer* b) {
                    return a->zPosition() < b->zPosition();
                });
            if (layer.cachesSublayers()) {
                // Deeper levels may grow the scratch lists: the runs work on a copy.
                const std::vector<const Layer*> ordered = order;
                drawSublayerRuns(pass, p, layer, ordered, toDevice, opacity, depth);
            } else {
                // Deeper levels may grow the lists, so walk this one by index.
                for (size_t i = 0; i < pass.order[size_t(depth)].size(); ++i)
                    drawLayer(pass, p, *pass.order[size_t(depth)][i], toDevice, opacity, depth + 1);
            }
        }
    }

    if (clip) {
        p.restore();
        --pass.clips;
        pass.cull = outerCull;
    }

    if (layer.borderWidth() > 0 && layer.borderColour().alpha > 0 && !bounds.isEmpty()) {
        p.setTransform(toDevice);
        p.setOpacity(opacity);
        // The border lies inside the bounds and follows the rounded corners.
        double w = std::min({layer.borderWidth(), bounds.width() / 2, bounds.height() / 2});
        QRectF inner = bounds.adjusted(w, w, -w, -w);
        // A square frame on whole pixels is four strips of them: the same pixels as its outline's
        // path, without the rasterizer going over every row inside it.
        const auto innerOnDevice = shiftedOnly(p, inner, true);
        if (!rounded && inner.width() > 0 && inner.height() > 0 && innerOnDevice &&
            onWholePixels(*innerOnDevice)) {
            PixelExactDraw exact(p, bounds);
            if (exact.exact()) {
                const QColor colour = layer.borderColour().toQColor();
                const double top = inner.top() - bounds.top(), bottom = bounds.bottom() - inner.bottom();
                exact.fillRect(QRectF(bounds.left(), bounds.top(), bounds.width(), top), colour);
                exact.fillRect(QRectF(bounds.left(), inner.bottom(), bounds.width(), bottom), colour);
                exact.fillRect(
                    QRectF(bounds.left(), inner.top(), inner.left() - bounds.left(), inner.height()), colour);
                exact.fillRect(
                    QRectF(inner.right(), inner.top(), bounds.right() - inner.right(), inner.height()),
                    colour);
                return;
            }
        }
        QPainterPath outer;
        if (rounded)
            outer.addRoundedRect(bounds, radius, radius);
        else
            outer.addRect(bounds);
        double innerRadius = std::max(0.0, radius - w);
        if (inner.width() > 0 && inner.height() > 0) {
            if (innerRadius > 0)
                outer.addRoundedRect(inner, innerRadius, innerRadius);
            else
                outer.addRect(inner);
        }
        outer.setFillRule(Qt::OddEvenFill);
        p.fillPath(outer, layer.borderColour().toQColor());
    }
}

void Renderer::drawSublayerRuns(Pass& pass, QPainter& p, const Layer& layer,
                                const std::vector<const Layer*>& subs, const QTransform& toDevice,
                                double opacity, int depth) {
    std::vector<const Layer*> run;
    size_t index = 0;
    auto flush = [&] {
        if (run.empty())
            return;
        drawRun(pass, p, layer, index++, run, toDevice, opacity, depth);
        run.clear();
    };
    for (const Layer* s : subs) {
        if (s->isHidden())
            continue;
        if (subtreeIsLive(*s)) {
            flush();
            drawLayer(pass, p, *s, toDevice, opacity, depth + 1);
        } else {
            run.push_back(s);
        }
    }
    flush();
}

void Renderer::drawRun(Pass& pass, QPainter& p, const Layer& owner, size_t index,
                       const std::vector<const Layer*>& run, const QTransform& toDevice, double opacity,
                       int depth) {
    RunCache& cache = runCaches_->run(owner, index);
    std::lock_guard lock(cache.mutex);
    bool valid = !cache.animated && cache.members.size() == run.size() && cache.toDevice == toDevice &&
                 cache.opacity == opacity && cache.device == pass.device;
    for (size_t i = 0; valid && i < run.size(); ++i)
        valid =
            cache.members[i].lock() == run[i]->identity() && cache.versions[i] == run[i]->contentVersion();
    if (!valid) {
        cache.members.clear();
        cache.versions.clear();
        QRectF area;
        for (const Layer* s : run) {
            cache.members.push_back(s->identity());
            cache.versions.push_back(s->contentVersion());
            area |= subtreeDeviceBounds(*s, toQTransform(s->transformToSuperlayer()) * toDevice);
        }
        if (!pass.device.isEmpty())
            area &= pass.device;
        cache.toDevice = toDevice;
        cache.opacity = opacity;
        cache.device = pass.device;
        cache.animated =
            std::any_of(run.begin(), run.end(), [](const Layer* s) { return subtreeHasAnimations(*s); });
        cache.rect = area.toAlignedRect();
        if (cache.animated) {
            // Its picture depends on the time: drawn as it is, every frame.
            cache.image = QImage();
            for (const Layer* s : run)
                drawLayer(pass, p, *s, toDevice, opacity, depth + 1);
            return;
        }
        ++runCaches_->runsRedrawn;
        cache.image = QImage();
        if (!cache.rect.isEmpty()) {
            cache.image = QImage(cache.rect.size(), QImage::Format_ARGB32_Premultiplied);
            cache.image.fill(Qt::transparent);
            // The whole run, whatever part of the target this frame paints.
            const Pass outer{pass.t,      pass.cull, pass.device, pass.animated,
                             pass.groups, {},        pass.canvas, pass.clips};
            pass.cull = pass.device = QRectF(0, 0, cache.rect.width(), cache.rect.height());
            pass.groups = nullptr;
            pass.canvas = {cache.image.bits(), cache.image.bytesPerLine(), cache.image.rect()};
            pass.clips = 0;
            {
                QPainter q(&cache.image);
                setupHints(q);
                const QTransform shifted =
                    toDevice * QTransform::fromTranslate(-cache.rect.x(), -cache.rect.y());
                for (const Layer* s : run)
                    drawLayer(pass, q, *s, shifted, opacity, depth + 1);
            }
            pass.cull = outer.cull;
            pass.device = outer.device;
            pass.groups = outer.groups;
            pass.canvas = outer.canvas;
            pass.clips = outer.clips;
            pass.animated = pass.animated || outer.animated;
        }
    } else {
        ++runCaches_->runsReused;
    }
    if (cache.image.isNull())
        return;
    p.save();
    p.setTransform(QTransform());
    p.setOpacity(1.0);
    {
        PixelExactDraw exact(p, QRectF(cache.rect), &cache.image);
        p.drawImage(cache.rect.topLeft(), cache.image);
    }
    p.restore();
}

QRectF Renderer::subtreeDeviceBounds(const Layer& layer, const QTransform& toDevice) const {
    QRectF area = toDevice.mapRect(qrect(layer.visualBounds()));
    if (!layer.masksToBounds())
        for (const auto& s : layer.sublayers())
            if (!s->isHidden())
                area |= subtreeDeviceBounds(*s, toQTransform(s->transformToSuperlayer()) * toDevice);
    return area;
}

void Renderer::drawFiltered(Pass& pass, QPainter& p, const Layer& layer, const QTransform& toDevice,
                            double opacity, int depth) {
    QRectF area = subtreeDeviceBounds(layer, toDevice);
    if (!pass.device.isEmpty())
        area &= pass.device;
    const QRect r = area.toAlignedRect();
    if (r.isEmpty() || (!pass.cull.isEmpty() && !QRectF(r).intersects(pass.cull)))
        return;
    QImage group;
    if (pass.groups) {
        auto& shared = pass.groups->entry(&layer);
        std::call_once(shared.once, [&] { shared.image = filteredGroup(pass, layer, toDevice, r, depth); });
        group = shared.image;
    } else if (pass.keepsGroups && subtreeIsSteady(layer)) {
        group = keptGroup(pass, layer, toDevice, r, depth);
    } else {
        group = filteredGroup(pass, layer, toDevice, r, depth);
    }
    p.save();
    p.setTransform(QTransform());
    p.setOpacity(opacity);
    {
        PixelExactDraw exact(p, QRectF(r), &group);
        p.drawImage(r.topLeft(), group);
    }
    p.restore();
}

const QImage& Renderer::keptGroup(Pass& pass, const Layer& layer, const QTransform& toDevice, const QRect& r,
                                  int depth) {
    auto& kept = *keptGroups_;
    const auto& id = layer.identity();
    auto& group = kept.groups[id.get()];
    group.drawnIn = kept.paint;
    if (group.layer.lock() == id && group.version == layer.contentVersion() && group.toDevice == toDevice &&
        group.rect == r)
        return group.image;
    kept.bytes -= group.image.sizeInBytes();
    group.layer = id;
    group.version = layer.contentVersion();
    group.toDevice = toDevice;
    group.rect = r;
    // Groups inside this one add entries of their own, which leaves this one where it is.
    group.image = filteredGroup(pass, layer, toDevice, r, depth);
    kept.bytes += group.image.sizeInBytes();
    return group.image;
}

namespace {

// Whether the group of `layer` (its own picture, `size` pixels, mapped by `toGroup`) would be its
// contents pixel for pixel: a plain layer with nothing but a premultiplied picture that lands on
// the group exactly. The camera picture of a movie is such a layer, and every frame would
// otherwise clear a group and copy the picture into it.
bool groupIsContents(const Layer& layer, const QTransform& toGroup, const QSize& size) {
    const QImage& contents = layer.contents();
    const QRectF bounds = qrect(layer.bounds());
    if (typeid(layer) != typeid(Layer) || !layer.sublayers().empty() || contents.isNull() ||
        contents.size() != size || contents.format() != QImage::Format_ARGB32_Premultiplied ||
        contents.devicePixelRatio() != 1 || layer.backgroundColour().alpha > 0 || layer.cornerRadius() > 0 ||
        (layer.borderWidth() > 0 && layer.borderColour().alpha > 0) || bounds.isEmpty())
        return false;
    // Picture pixels onto group pixels, rows running downwards from the top of our y-up space.
    const QTransform toPixels = QTransform(bounds.width() / contents.width(), 0, 0,
                                           bounds.height() / contents.height(), bounds.left(), bounds.top()) *
                                QTransform(1, 0, 0, -1, 0, bounds.top() + bounds.bottom()) * toGroup;
    constexpr double e = 1e-9;
    return std::abs(toPixels.m11() - 1) < e && std::abs(toPixels.m22() - 1) < e &&
           std::abs(toPixels.m12()) < e && std::abs(toPixels.m21()) < e && std::abs(toPixels.dx()) < e &&
           std::abs(toPixels.dy()) < e;
}

// The size a rectangle of a layer's space is drawn at on the device: the lengths its sides
// take, whatever the turn.
QSizeF drawnSize(const Rect& r, const QTransform& toDevice) {
    const QRectF q = qrect(r);
    return {toDevice.map(QLineF(q.topLeft(), q.topRight())).length(),
            toDevice.map(QLineF(q.topLeft(), q.bottomLeft())).length()};
}

// The picture whose own pixels a layer's filters count in, as drawn: a live picture of its own
// size in the layer or the holders below it (the camera's, in its clipping holder), else the
// layer's bounds (filters that know their picture's own size spread it over them).
struct FilterPicture {
    QSizeF drawn;
    QSize own;
};

std::optional<FilterPicture> livePicture(const Layer& layer, const QTransform& toDevice, int depth) {
    if (auto own = layer.ownPicture())
        return FilterPicture{drawnSize(own->drawnIn, toDevice), own->pixels};
    if (depth == 0)
        return std::nullopt;
    for (const auto& s : layer.sublayers())
        if (!s->isHidden())
            if (auto found =
                    livePicture(*s, Renderer::toQTransform(s->transformToSuperlayer()) * toDevice, depth - 1))
                return found;
    return std::nullopt;
}

FilterPicture filterPicture(const Layer& layer, const QTransform& toDevice) {
    if (auto live = livePicture(layer, toDevice, 3))
        return *live;
    // A picture held smaller than its file still counts in the file's pixels.
    return {drawnSize(layer.bounds(), toDevice),
            layer.contents().isNull() ? QSize() : imaging::ownPictureSize(layer.contents())};
}

} // namespace

QImage Renderer::filteredGroup(Pass& pass, const Layer& layer, const QTransform& toDevice, const QRect& r,
                               int depth) {
    // The layer and its sublayers are drawn on their own, filtered, then composited with the
    // layer's opacity, so the filters see the group's whole picture.
    const QTransform toGroup = toDevice * QTransform::fromTranslate(-r.x(), -r.y());
    const FilterPicture picture = filterPicture(layer, toDevice);
    if (groupIsContents(layer, toGroup, r.size())) {
        ++runCaches_->layersDrawn;
        return imaging::applyContentFilters(layer.contentFilters(), layer.contents(), picture.drawn,
                                            picture.own);
    }
    QImage group(r.size(), QImage::Format_ARGB32_Premultiplied);
    group.fill(Qt::transparent);
    const Pass outer{pass.t, pass.cull, pass.device, false, pass.groups, {}, pass.canvas, pass.clips};
    const bool outerInGroup = pass.inGroup, outerMoved = pass.movedInGroup;
    pass.cull = pass.device = QRectF(0, 0, r.width(), r.height());
    pass.groups = nullptr;
    pass.canvas = {group.bits(), group.bytesPerLine(), group.rect()};
    pass.clips = 0;
    pass.inGroup = true;
    pass.movedInGroup = false;
    {
        QPainter q(&group);
        setupHints(q);
        drawBody(pass, q, layer, toGroup, 1.0, depth);
    }
    pass.cull = outer.cull;
    pass.device = outer.device;
    pass.groups = outer.groups;
    pass.canvas = outer.canvas;
    pass.clips = outer.clips;
    if (pass.movedInGroup && !outerInGroup && pass.moving)
        *pass.moving += r;
    pass.inGroup = outerInGroup;
    pass.movedInGroup = outerMoved || (outerInGroup && pass.movedInGroup);
    return imaging::applyContentFilters(layer.contentFilters(), group, picture.drawn, picture.own);
}

} // namespace qrn::graphics
