#include "platform/graphics/layer.h"

#include <optional>

#include <cmath>
#include <typeinfo>

#include <QPainter>

#include "platform/foundation/rect_index.h"
#include "platform/graphics/off_thread_picture.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace qrn::graphics {

namespace {

// Splits `delta` over the flexible parts of one axis in proportion to their current lengths.
void distribute(double delta, bool minFlex, bool sizeFlex, bool maxFlex, double& minLen, double& len,
                double maxLen) {
    double parts[3] = {minFlex ? std::max(0.0, minLen) : 0, sizeFlex ? std::max(0.0, len) : 0,
                       maxFlex ? std::max(0.0, maxLen) : 0};
    int count = int(minFlex) + int(sizeFlex) + int(maxFlex);
    if (count == 0)
        return;
    double total = parts[0] + parts[1] + parts[2];
    auto share = [&](int i, bool flex) {
        if (!flex)
            return 0.0;
        return total > 0 ? delta * parts[i] / total : delta / count;
    };
    double dMin = share(0, minFlex), dLen = share(1, sizeFlex);
    minLen += dMin;
    len += dLen;
}

} // namespace

Rect autoresizedFrame(const Rect& frame, unsigned mask, Size oldSize, Size newSize) {
    Rect f = frame;
    double x = f.origin.x, w = f.size.width;
    distribute(newSize.width - oldSize.width, mask & FlexibleMinXMargin, mask & WidthSizable,
               mask & FlexibleMaxXMargin, x, w, oldSize.width - f.origin.x - f.size.width);
    double y = f.origin.y, h = f.size.height;
    distribute(newSize.height - oldSize.height, mask & FlexibleMinYMargin, mask & HeightSizable,
               mask & FlexibleMaxYMargin, y, h, oldSize.height - f.origin.y - f.size.height);
    return Rect(x, y, std::max(0.0, w), std::max(0.0, h));
}

Layer::Layer() = default;

Layer::Rare& Layer::rare() {
    if (!rare_)
        rare_ = std::make_unique<Rare>();
    return *rare_;
}

const std::string& Layer::name() const {
    static const std::string none;
    return rare_ ? rare_->name : none;
}

void Layer::setName(std::string n) {
    if (!n.empty() || rare_)
        rare().name = std::move(n);
}

const std::vector<ContentFilterPtr>& Layer::contentFilters() const {
    static const std::vector<ContentFilterPtr> none;
    return rare_ ? rare_->contentFilters : none;
}

const std::vector<std::pair<std::string, KeyframeAnimation>>& Layer::animations() const {
    static const std::vector<std::pair<std::string, KeyframeAnimation>> none;
    return rare_ ? rare_->animations : none;
}

const std::shared_ptr<OffThreadPicture>& Layer::offThreadPicture() const {
    static const std::shared_ptr<OffThreadPicture> none;
    return rare_ ? rare_->offThread : none;
}

namespace {
// Past this many sublayers changed since their places were measured, they are measured again.
constexpr size_t mostMoved = 64;
} // namespace

struct Layer::Drawn {
    std::vector<const Layer*> list;
    bool stale = true;
    // Sublayers taken out of the list since it was last read.
    size_t takenSinceRead = 0;
    // Sublayers whose subtree changed since the drawn extent was measured: the extent grows by
    // theirs rather than being measured again over every sublayer.
    std::vector<const Layer*> grown;
    // The drawn sublayers when last measured, and where each lay in this layer's bounds space:
    // a paint of part of a long strip finds the few tiles there.
    std::vector<const Layer*> placed;
    RectIndex places;
    bool placesStale = true;
    // Sublayers taken out since, by address only (they may be gone): their places no longer count.
    std::vector<const Layer*> removed;
    // Sublayers that changed since (or came on top) and may lie elsewhere now: each is looked at.
    std::vector<const Layer*> moved;
    // Sublayers a paint looks at wherever they lie (see lookedAtAnywhere).
    std::vector<const Layer*> anywhere;
    void placesChanged() {
        placesStale = true;
        removed.clear();
        moved.clear();
        anywhere.clear();
    }
    // A sublayer taken out (to be put back on top, as a tile raised over the others, or for good).
    void takenOut(const Layer* child) {
        if (placesStale)
            return;
        if (removed.size() >= mostMoved) {
            placesChanged();
            return;
        }
        removed.push_back(child);
        std::erase(moved, child);
        std::erase(anywhere, child);
    }
};

namespace {
// Past this many changed sublayers, measuring them all again costs no more.
constexpr size_t mostGrown = 64;
std::atomic<std::uint64_t> maskChangeCount{0};

// A sublayer that a paint visits wherever it lies: its animations are noted even when clipped
// away, and filtered groups and pictures drawn elsewhere cover what they cover themselves.
bool lookedAtAnywhere(const Layer& layer) {
    return layer.hasAnimations() || !layer.contentFilters().empty() || layer.offThreadPicture();
}

// Keeps `area` as a drawn extent, rounded outwards so that it never falls short of it.
void keepExtent(float (&extent)[4], const Rect& area) {
    const auto down = [](double v) {
        const float f = float(v);
        return double(f) > v ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
    };
    const auto up = [](double v) {
        const float f = float(v);
        return double(f) < v ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
    };
    extent[0] = down(area.minX());
    extent[1] = down(area.minY());
    extent[2] = up(area.maxX());
    extent[3] = up(area.maxY());
}
} // namespace

Layer::~Layer() {
    for (Layer* s = sublayers_.bottom(); s; s = SiblingList<Layer>::above(*s))
        s->superlayer_ = nullptr;
}

LayerPtr Layer::make(const Rect& frame) {
    auto l = make();
    l->setFrame(frame);
    return l;
}

LayerPtr Layer::superlayer() const {
    return superlayer_ ? superlayer_->weak_from_this().lock() : nullptr;
}

// --- Geometry

void Layer::setBounds(const Rect& b) {
    if (b == bounds_)
        return;
    invalidate();
    Size old = bounds_.size;
    bounds_ = b;
    if (!(old == b.size))
        resizeSublayers(old, b.size);
    invalidate();
}

void Layer::resizeSublayers(Size oldSize, Size newSize) {
    for (auto& s : sublayers())
        if (s->autoresizingMask_ != AutoresizeNone)
            s->setFrame(autoresizedFrame(s->frameAsSet(), s->autoresizingMask_, oldSize, newSize));
}

Rect Layer::frameAsSet() const {
    const AffineTransform& t = transform_;
    const double sx = std::hypot(t.a, t.b), sy = std::hypot(t.c, t.d);
    const double dust = 1e-12 * std::max(sx, sy);
    const bool turned = std::abs(t.b) > dust || std::abs(t.c) > dust;
    if (!turned || std::abs(t.a * t.c + t.b * t.d) > dust || sx <= dust || sy <= dust)
        return frame();
    const Size size{bounds_.size.width * sx, bounds_.size.height * sy};
    return Rect(position_.x + t.tx - anchorPoint_.x * size.width,
                position_.y + t.ty - anchorPoint_.y * size.height, size.width, size.height);
}

void Layer::setPosition(Point p) {
    if (p == position_)
        return;
    invalidate();
    position_ = p;
    invalidate();
}

void Layer::setAnchorPoint(Point a) {
    if (a == anchorPoint_)
        return;
    invalidate();
    anchorPoint_ = a;
    invalidate();
}

void Layer::setTransform(const AffineTransform& t) {
    if (t == transform_)
        return;
    invalidate();
    transform_ = t;
    invalidate();
}

AffineTransform Layer::transformToSublayerSpace() const {
    double ax = bounds_.origin.x + anchorPoint_.x * bounds_.size.width;
    double ay = bounds_.origin.y + anchorPoint_.y * bounds_.size.height;
    return AffineTransform::translation(-ax, -ay)
        .concat(transform_)
        .concat(AffineTransform::translation(position_.x, position_.y));
}

AffineTransform placementTransform(const AffineTransform& toSublayerSpace, const Rect& bounds,
                                   const Rect* flippedSuperBounds) {
    if (!flippedSuperBounds)
        return toSublayerSpace;
    // Mirror locally, place in the y-down space, mirror back: positions count from the top while
    // the layer's own picture stays upright.
    AffineTransform local{1, 0, 0, -1, 0, 2 * bounds.origin.y + bounds.size.height};
    AffineTransform super{1, 0, 0, -1, 0, 2 * flippedSuperBounds->origin.y + flippedSuperBounds->size.height};
    return local.concat(toSublayerSpace).concat(super);
}

AffineTransform Layer::transformToSuperlayer() const {
    if (superlayer_ && superlayer_->geometryFlipped_)
        return placementTransform(transformToSublayerSpace(), bounds_, &superlayer_->bounds_);
    return transformToSublayerSpace();
}

AffineTransform Layer::transformToRoot() const {
    AffineTransform m = transformToSuperlayer();
    for (const Layer* p = superlayer_; p; p = p->superlayer_)
        m = m.concat(p->transformToSuperlayer());
    return m;
}

Rect Layer::frame() const {
    return transformToSublayerSpace().mapRect(bounds_);
}

void Layer::setFrame(const Rect& f) {
    Rect s = f.standardized();
    const AffineTransform& t = transform_;
    // A quarter turn leaves rounding dust where the zeros should be.
    const double dust = 1e-12 * std::max({std::abs(t.a), std::abs(t.b), std::abs(t.c), std::abs(t.d)});
    auto zero = [dust](double v) { return std::abs(v) <= dust; };
    const double sx = std::hypot(t.a, t.b), sy = std::hypot(t.c, t.d);
    Size size = s.size;
    Point p{s.origin.x + anchorPoint_.x * s.size.width, s.origin.y + anchorPoint_.y * s.size.height};
    if (zero(t.b) && zero(t.c) && !zero(t.a) && !zero(t.d)) {
        // Scaled or mirrored only: the frame is exactly the box the layer covers.
        size = Size{s.size.width / std::abs(t.a), s.size.height / std::abs(t.d)};
        const Point keptPosition = position_;
        const Size keptSize = bounds_.size;
        position_ = Point{0, 0};
        bounds_.size = size;
        const Rect atZero = frame();
        position_ = keptPosition;
        bounds_.size = keptSize;
        p = Point{s.origin.x - atZero.origin.x, s.origin.y - atZero.origin.y};
    } else if (zero(t.a * t.c + t.b * t.d) && !zero(sx) && !zero(sy)) {
        // Turned and scaled: the frame is the rectangle before the turn, which is how a turned
        // picture is kept, so the bounds keep the picture's own size.
        size = Size{s.size.width / sx, s.size.height / sy};
        p = Point{p.x - t.tx, p.y - t.ty};
    }
    if (p == position_ && size == bounds_.size)
        return;
    invalidate();
    Size old = bounds_.size;
    position_ = p;
    bounds_.size = size;
    if (!(old == size))
        resizeSublayers(old, size);
    invalidate();
}

void Layer::setZPosition(double z) {
    if (z == zPosition_)
        return;
    zPosition_ = z;
    if (superlayer_)
        superlayer_->sublayersChanged();
    invalidate();
}

void Layer::setGeometryFlipped(bool f) {
    if (f == geometryFlipped_)
        return;
    invalidate();
    geometryFlipped_ = f;
    invalidate();
}

Path Layer::quadInSuperlayer() const {
    AffineTransform m = transformToSublayerSpace();
    Rect b = bounds_.standardized();
    Path p;
    p.addPolygon({m.map({b.minX(), b.minY()}), m.map({b.maxX(), b.minY()}), m.map({b.maxX(), b.maxY()}),
                  m.map({b.minX(), b.maxY()})});
    return p;
}

Point Layer::convertPointToLayer(Point p, const Layer* to) const {
    Point inRoot = transformToRoot().map(p);
    if (!to)
        return inRoot;
    auto inv = to->transformToRoot().inverted();
    return inv ? inv->map(inRoot) : inRoot;
}

Point Layer::convertPointFromLayer(Point p, const Layer* from) const {
    Point inRoot = from ? from->transformToRoot().map(p) : p;
    auto inv = transformToRoot().inverted();
    return inv ? inv->map(inRoot) : inRoot;
}

// --- Appearance

void Layer::setOpacity(double o) {
    o = std::clamp(o, 0.0, 1.0);
    if (o == opacity_)
        return;
    opacity_ = o;
    invalidate();
}

void Layer::setHidden(bool h) {
    if (h == hidden_)
        return;
    // Report while visible, so the uncovered area is repainted too.
    if (h)
        invalidate();
    hidden_ = h;
    if (superlayer_)
        superlayer_->sublayersChanged();
    if (!h)
        invalidate();
}

void Layer::setMasksToBounds(bool m) {
    if (m == masksToBounds_)
        return;
    invalidate();
    masksToBounds_ = m;
    if (superlayer_)
        maskChangeCount.fetch_add(1, std::memory_order_relaxed);
    invalidate();
}

std::uint64_t Layer::maskChanges() {
    return maskChangeCount.load(std::memory_order_relaxed);
}

void Layer::setBackgroundColour(const Colour& c) {
    if (c == backgroundColour_)
        return;
    backgroundColour_ = c;
    invalidate();
}

void Layer::setBorderWidth(double w) {
    if (w == borderWidth())
        return;
    rare().borderWidth = std::max(0.0, w);
    invalidate();
}

const std::shared_ptr<const char>& Layer::identity() const {
    // Renderers on other threads may ask at the same time as the main thread.
    static std::mutex making;
    std::lock_guard lock(making);
    if (!identity_)
        identity_ = std::make_shared<const char>(0);
    return identity_;
}

const Colour& Layer::borderColour() const {
    static const Colour black = Colour::black();
    return rare_ ? rare_->borderColour : black;
}

void Layer::setBorderColour(const Colour& c) {
    if (c == borderColour())
        return;
    rare().borderColour = c;
    invalidate();
}

void Layer::setCornerRadius(double r) {
    if (r == cornerRadius())
        return;
    rare().cornerRadius = std::max(0.0, r);
    invalidate();
}

void Layer::setContents(const QImage& image) {
    if (image.isNull() || image.format() == QImage::Format_ARGB32_Premultiplied)
        contents_ = image;
    else
        contents_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    invalidate();
}

void Layer::clearContents() {
    if (contents_.isNull())
        return;
    contents_ = QImage();
    invalidate();
}

void Layer::setContentFilters(std::vector<ContentFilterPtr> filters) {
    if (!filters.empty() || rare_)
        rare().contentFilters = std::move(filters);
    invalidate();
}

// --- Tree

std::mutex& siblingListMutex() {
    static std::mutex mutex;
    return mutex;
}

void Layer::detachChild(const Layer* child) {
    if (!child || child->superlayer_ != this)
        return;
    Layer* c = const_cast<Layer*>(child);
    c->invalidate();
    if (drawn_) {
        std::lock_guard lock(siblingListMutex());
        std::erase(drawn_->grown, child);
        // The others keep their drawing order without it. Past a few taken out between two reads
        // (a view of a long deck going, tile by tile) the list is made again once instead, as
        // each taking out costs a pass over it.
        if (!drawn_->stale && ++drawn_->takenSinceRead > mostMoved)
            drawn_->stale = true;
        else if (!drawn_->stale)
            std::erase(drawn_->list, child);
        drawn_->takenOut(child);
    }
    c->superlayer_ = nullptr;
    // The list's reference goes at the end of this scope, as the layer may go with it.
    LayerPtr held = sublayers_.remove(c);
}

void Layer::sublayersChanged() {
    if (!drawn_)
        return;
    std::lock_guard lock(siblingListMutex());
    drawn_->stale = true;
    drawn_->placesChanged();
}

void Layer::refreshDrawnList() const {
    const auto& subs = sublayers_.ordered();
    std::lock_guard lock(siblingListMutex());
    if (!drawn_)
        drawn_ = std::make_unique<Drawn>();
    drawn_->takenSinceRead = 0;
    if (drawn_->stale) {
        auto& list = drawn_->list;
        list.clear();
        for (const auto& s : subs)
            if (!s->hidden_)
                list.push_back(s.get());
        const auto below = [](const Layer* a, const Layer* b) { return a->zPosition_ < b->zPosition_; };
        // Mostly all on one level, already in order.
        if (!std::is_sorted(list.begin(), list.end(), below))
            std::stable_sort(list.begin(), list.end(), below);
        drawn_->stale = false;
        drawn_->placesChanged();
    }
}

bool Layer::drawnSublayers(std::vector<const Layer*>& out) const {
    if (!keepsDrawnSublayers())
        return false;
    refreshDrawnList();
    std::lock_guard lock(siblingListMutex());
    out = drawn_->list;
    return true;
}

bool Layer::drawnSublayersMeeting(const Rect& area, std::vector<const Layer*>& out) const {
    if (!keepsDrawnSublayers())
        return false;
    refreshDrawnList();
    // Only this thread changes the tree, and the drawn list changes only with it.
    Drawn& d = *drawn_;
    const auto& list = d.list;
    const auto place = [](const Layer* s) { return s->transformToSuperlayer().mapRect(s->drawnExtent()); };
    // In drawing order: by level, then as the siblings lie (the list's order).
    const auto before = [](const Layer* a, const Layer* b) {
        return a->zPosition_ != b->zPosition_ ? a->zPosition_ < b->zPosition_
                                              : a->siblingLink_.slot < b->siblingLink_.slot;
    };
    std::vector<const Layer*> moved;
    {
        std::lock_guard lock(siblingListMutex());
        moved.swap(d.moved);
    }
    if (d.placesStale) {
        d.placed = list;
        d.anywhere.clear();
        for (const Layer* s : list)
            if (lookedAtAnywhere(*s))
                d.anywhere.push_back(s);
        d.places.rebuild(list.size(), [&](std::size_t i) { return place(list[i]); });
        d.placesStale = false;
        d.removed.clear();
        moved.clear();
    }
    const auto isOut = [&](const Layer* s) {
        return std::find(d.removed.begin(), d.removed.end(), s) != d.removed.end();
    };
    // A changed sublayer still inside the place kept for it needs no look of its own.
    std::vector<const Layer*> stillMoved;
    for (const Layer* s : moved) {
        if (s->superlayer_ != this || s->hidden_)
            continue;
        if (lookedAtAnywhere(*s)) {
            if (std::find(d.anywhere.begin(), d.anywhere.end(), s) == d.anywhere.end())
                d.anywhere.push_back(s);
            continue;
        }
        const Rect now = place(s);
        bool kept = false;
        d.places.forEachMeeting(now, [&](std::size_t i) {
            kept = kept || (d.placed[i] == s && d.places.rectOf(i).contains(now));
        });
        if (!kept || isOut(s))
            stillMoved.push_back(s);
    }
    out.clear();
    d.places.forEachMeeting(area, [&](std::size_t i) {
        if (!isOut(d.placed[i]))
            out.push_back(d.placed[i]);
    });
    out.insert(out.end(), stillMoved.begin(), stillMoved.end());
    out.insert(out.end(), d.anywhere.begin(), d.anywhere.end());
    std::sort(out.begin(), out.end(), before);
    out.erase(std::unique(out.begin(), out.end()), out.end());
    std::lock_guard lock(siblingListMutex());
    for (const Layer* s : stillMoved)
        if (std::find(d.moved.begin(), d.moved.end(), s) == d.moved.end())
            d.moved.push_back(s);
    return true;
}

void Layer::attach(const LayerPtr& layer) {
    layer->superlayer_ = this;
    layer->invalidate();
}

void Layer::addSublayer(const LayerPtr& layer) {
    insertSublayer(layer, std::numeric_limits<size_t>::max());
}

void Layer::insertSublayerOver(const LayerPtr& layer, const Layer* under) {
    if (!layer || layer.get() == this || isDescendantOf(layer.get()))
        return;            // a cycle would make the tree unrenderable
    LayerPtr keep = layer; // the old superlayer may hold the only other reference
    if (layer->superlayer_)
        layer->superlayer_->detachChild(layer.get());
    if (under && under->superlayer_ != this)
        under = sublayers_.top();
    sublayers_.insertAbove(keep, const_cast<Layer*>(under));
    if (drawn_ && !keep->hidden_) {
        std::lock_guard lock(siblingListMutex());
        auto& list = drawn_->list;
        // On top of them all and on no lower level than the top one drawn: drawn last.
        if (!drawn_->stale && sublayers_.top() == keep.get() &&
            (list.empty() || list.back()->zPosition_ <= keep->zPosition_)) {
            list.push_back(keep.get());
            // Not among the places measured: looked at on its own until they are measured again.
            if (drawn_->moved.size() < mostMoved)
                drawn_->moved.push_back(keep.get());
            else
                drawn_->placesChanged();
        } else {
            drawn_->stale = true;
            drawn_->placesChanged();
        }
    }
    attach(keep);
}

void Layer::insertSublayer(const LayerPtr& layer, size_t index) {
    if (!layer || layer.get() == this || isDescendantOf(layer.get()))
        return;
    LayerPtr keep = layer;
    // The index counts without the layer itself when it is moved among its siblings.
    if (keep->superlayer_ == this)
        detachChild(keep.get());
    if (index >= sublayers_.size())
        insertSublayerOver(keep, sublayers_.top());
    else
        insertSublayerOver(keep, index == 0 ? nullptr : sublayers_.ordered()[index - 1].get());
}

void Layer::insertSublayerAbove(const LayerPtr& layer, const Layer* sibling) {
    LayerPtr keep = layer;
    if (keep && keep->superlayer_ == this)
        detachChild(keep.get());
    const bool ours = sibling && sibling->superlayer_ == this;
    insertSublayerOver(keep, ours ? sibling : sublayers_.top());
}

void Layer::insertSublayerBelow(const LayerPtr& layer, const Layer* sibling) {
    LayerPtr keep = layer;
    if (keep && keep->superlayer_ == this)
        detachChild(keep.get());
    const bool ours = sibling && sibling->superlayer_ == this;
    insertSublayerOver(keep, ours ? SiblingList<Layer>::below(*sibling) : nullptr);
}

void Layer::replaceSublayer(const Layer* old, const LayerPtr& replacement) {
    if (!old || old->superlayer_ != this || !replacement)
        return;
    const auto& subs = sublayers_.ordered();
    const size_t index = size_t(
        std::find_if(subs.begin(), subs.end(), [&](auto& s) { return s.get() == old; }) - subs.begin());
    LayerPtr keep = replacement;
    detachChild(old);
    insertSublayer(keep, index);
}

void Layer::setSublayers(std::vector<LayerPtr> layers) {
    removeAllSublayers();
    for (auto& l : layers)
        addSublayer(l);
}

void Layer::removeFromSuperlayer() {
    if (!superlayer_)
        return;
    LayerPtr keep = weak_from_this().lock();
    superlayer_->detachChild(this);
}

void Layer::removeAllSublayers() {
    if (sublayers_.empty())
        return;
    invalidate();
    auto old = sublayers_.takeAll();
    sublayersChanged();
    for (auto& s : old)
        s->superlayer_ = nullptr;
}

bool Layer::isDescendantOf(const Layer* ancestor) const {
    for (const Layer* p = this; p; p = p->superlayer_)
        if (p == ancestor)
            return true;
    return false;
}

const Layer* Layer::root() const {
    const Layer* p = this;
    while (p->superlayer_)
        p = p->superlayer_;
    return p;
}

// --- Animations

void Layer::addAnimation(const KeyframeAnimation& animation, const std::string& key) {
    removeAnimation(key);
    rare().animations.emplace_back(key, animation);
    invalidate();
}

const KeyframeAnimation* Layer::animation(const std::string& key) const {
    for (auto& [k, a] : animations())
        if (k == key)
            return &a;
    return nullptr;
}

std::vector<std::string> Layer::animationKeys() const {
    std::vector<std::string> keys;
    for (auto& [k, a] : animations())
        keys.push_back(k);
    return keys;
}

void Layer::removeAnimation(const std::string& key) {
    if (!rare_)
        return;
    auto& all = rare_->animations;
    auto it = std::find_if(all.begin(), all.end(), [&](auto& e) { return e.first == key; });
    if (it == all.end())
        return;
    all.erase(it);
    invalidate();
}

void Layer::removeAllAnimations() {
    if (!hasAnimations())
        return;
    rare_->animations.clear();
    invalidate();
}

double Layer::presentationOpacity(double t) const {
    double o = opacity_;
    for (auto& [k, a] : animations())
        if (a.keyPath == "opacity")
            if (auto v = a.valueAt(t))
                o = std::clamp(*v, 0.0, 1.0);
    return o;
}

// --- Drawing and change notification

void Layer::drawInContext(QPainter&) const {}

void Layer::setNeedsDisplay() {
    invalidate();
}

void Layer::setChangeHandler(ChangeHandler handler, std::function<bool()> wantsAreas) {
    if (!handler) {
        listener_.reset();
        return;
    }
    listener_ = std::make_unique<Listener>(Listener{std::move(handler), std::move(wantsAreas)});
}

Rect Layer::subtreeBounds(const AffineTransform& toRoot) const {
    // Everything the subtree may touch: unclipped sublayers can reach outside the bounds.
    Rect area = toRoot.mapRect(visualBounds());
    if (!masksToBounds_)
        for (const Layer* s = sublayers_.bottom(); s; s = SiblingList<Layer>::above(*s))
            if (!s->hidden_)
                area = area.united(s->subtreeBounds(s->transformToSuperlayer().concat(toRoot)));
    return area;
}

Rect Layer::drawnExtent() const {
    if (!extentStale_ && drawn_) {
        std::vector<const Layer*> grown;
        {
            std::lock_guard lock(siblingListMutex());
            grown.swap(drawn_->grown);
        }
        if (!grown.empty()) {
            // What a changed sublayer covered before stays inside: too large an extent only
            // makes a paint look closer, too small a one would leave it out.
            Rect area(extent_[0], extent_[1], double(extent_[2]) - extent_[0],
                      double(extent_[3]) - extent_[1]);
            for (const Layer* s : grown)
                if (!s->hidden_)
                    area = area.united(s->transformToSuperlayer().mapRect(s->drawnExtent()));
            keepExtent(extent_, area);
        }
    }
    if (extentStale_) {
        Rect area = visualBounds();
        const auto add = [&](const Layer* s) {
            area = area.united(s->transformToSuperlayer().mapRect(s->drawnExtent()));
        };
        // A layer of many sublayers, mostly put away, measures only the shown ones it keeps.
        std::vector<const Layer*> shown;
        if (masksToBounds_)
            ;
        else if (drawnSublayers(shown))
            std::for_each(shown.begin(), shown.end(), add);
        else
            for (const Layer* s = sublayers_.bottom(); s; s = SiblingList<Layer>::above(*s))
                if (!s->hidden_)
                    add(s);
        keepExtent(extent_, area);
        if (drawn_) {
            std::lock_guard lock(siblingListMutex());
            drawn_->grown.clear();
        }
        extentStale_ = false;
    }
    return Rect(extent_[0], extent_[1], double(extent_[2]) - extent_[0], double(extent_[3]) - extent_[1]);
}

void Layer::setCachesSublayers(bool on) {
    cachesSublayers_ = on;
    invalidate();
}

void Layer::invalidate() {
    // Whatever changed, every cached picture and drawn extent that holds this layer is out of date.
    // A layer of many sublayers notes which of them changed, and measures only those again.
    const Layer* from = nullptr;
    for (Layer* l = this; l; from = l, l = l->superlayer_) {
        l->contentVersion_.fetch_add(1, std::memory_order_relaxed);
        // A hidden sublayer is not drawn, and is measured afresh when shown.
        if (from && !from->hidden_ && l->drawn_ && !l->drawn_->placesStale) {
            std::lock_guard lock(siblingListMutex());
            auto& moved = l->drawn_->moved;
            if (std::find(moved.begin(), moved.end(), from) != moved.end())
                ;
            else if (moved.size() < mostMoved)
                moved.push_back(from);
            else
                l->drawn_->placesChanged();
        }
        if (from && !l->extentStale_ && l->drawn_ && !l->masksToBounds_) {
            std::lock_guard lock(siblingListMutex());
            auto& grown = l->drawn_->grown;
            if (grown.size() < mostGrown) {
                if (std::find(grown.begin(), grown.end(), from) == grown.end())
                    grown.push_back(from);
                continue;
            }
        }
        l->extentStale_ = true;
    }
    setNeedsRepaint();
}

void Layer::setNeedsRepaint() const {
    if (hidden_)
        return;
    // The ancestors, this layer's superlayer first; nothing under a hidden one shows.
    constexpr size_t usualDepth = 32;
    const Layer* inline_[usualDepth];
    std::vector<const Layer*> deep;
    size_t depth = 0;
    for (const Layer* p = superlayer_; p; p = p->superlayer_) {
        if (p->hidden_)
            return;
        if (depth == usualDepth)
            deep.assign(inline_, inline_ + usualDepth);
        if (depth >= usualDepth)
            deep.push_back(p);
        else
            inline_[depth] = p;
        ++depth;
    }
    const Layer* const* ancestors = depth > usualDepth ? deep.data() : inline_;
    const Layer* root = depth ? ancestors[depth - 1] : this;
    const Listener* listener = root->listener_.get();
    if (!listener || (listener->wantsAreas && !listener->wantsAreas()))
        return;
    // From the root down, each map built on its superlayer's. Nothing shows outside a clipping
    // superlayer: a long text scrolling in a small area repaints that area, not the whole window
    // its length reaches across.
    AffineTransform toRoot;
    std::optional<Rect> clip;
    for (size_t i = depth; i-- > 0;) {
        const Layer* p = ancestors[i];
        toRoot = p->transformToSuperlayer().concat(toRoot);
        if (p->masksToBounds_) {
            const Rect bounds = toRoot.mapRect(p->bounds_);
            clip = clip ? clip->intersection(bounds) : bounds;
        }
    }
    toRoot = transformToSuperlayer().concat(toRoot);
    // A clipped layer of many sublayers (a long strip of slides) repaints its clip: measuring
    // every sublayer at each change made growing such a strip quadratic.
    constexpr size_t manySublayers = 64;
    Rect area = clip && sublayers_.size() > manySublayers ? *clip : subtreeBounds(toRoot);
    if (clip)
        area = area.intersection(*clip);
    if (!area.isEmpty())
        listener->changed(area);
}

namespace {

// The frozen drawing of a layer type that cannot copy its own state: what it drew over its
// visual bounds, at its contents scale.
class DrawingPictureLayer : public Layer {
  public:
    QImage picture;
    Rect area;
    void drawInContext(QPainter& painter) const override {
        if (picture.isNull())
            return;
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF target(area.origin.x, area.origin.y, area.size.width, area.size.height);
        painter.setTransform(QTransform(1, 0, 0, -1, 0, target.top() + target.bottom()), true);
        painter.drawImage(target, picture);
        painter.restore();
    }
    Rect visualBounds() const override { return area; }

  protected:
    LayerPtr makeSnapshot() const override {
        auto copy = std::make_shared<DrawingPictureLayer>();
        copy->picture = picture;
        copy->area = area;
        return copy;
    }
};

} // namespace

LayerPtr Layer::makeSnapshot() const {
    if (typeid(*this) == typeid(Layer))
        return std::make_shared<Layer>();
    auto copy = std::make_shared<DrawingPictureLayer>();
    copy->area = visualBounds().standardized();
    const double scale = contentsScale_;
    const int w = int(std::ceil(copy->area.size.width * scale - 1e-9));
    const int h = int(std::ceil(copy->area.size.height * scale - 1e-9));
    if (w <= 0 || h <= 0)
        return copy;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        // Rows run downwards; the drawing's space runs upwards from the area's corner.
        p.setTransform(
            QTransform(scale, 0, 0, -scale, -copy->area.origin.x * scale, h + copy->area.origin.y * scale));
        drawInContext(p);
    }
    copy->picture = image;
    return copy;
}

LayerPtr Layer::snapshotTree() const {
    LayerPtr copy = makeSnapshot();
    Layer& c = *copy;
    c.bounds_ = bounds_;
    c.position_ = position_;
    c.anchorPoint_ = anchorPoint_;
    c.transform_ = transform_;
    c.zPosition_ = zPosition_;
    c.geometryFlipped_ = geometryFlipped_;
    c.autoresizingMask_ = autoresizingMask_;
    c.opacity_ = opacity_;
    c.hidden_ = hidden_;
    c.masksToBounds_ = masksToBounds_;
    c.backgroundColour_ = backgroundColour_;
    c.contents_ = contents_;
    c.contentsScale_ = contentsScale_;
    c.cachesSublayers_ = cachesSublayers_;
    c.liveCopy_ = hasLiveContent();
    c.contentVersion_.store(contentVersion(), std::memory_order_relaxed);
    // A copy keeps what makes it draw alike; whether it is drawn off the main thread is the
    // original's own matter.
    if (rare_ && (!rare_->name.empty() || !rare_->contentFilters.empty() || !rare_->animations.empty() ||
                  rare_->hasOutline())) {
        c.rare().name = rare_->name;
        c.rare().contentFilters = rare_->contentFilters;
        c.rare().animations = rare_->animations;
        c.rare().borderWidth = rare_->borderWidth;
        c.rare().borderColour = rare_->borderColour;
        c.rare().cornerRadius = rare_->cornerRadius;
    }
    c.identity_ = identity();
    for (const auto& s : sublayers()) {
        LayerPtr sc = s->snapshotTree();
        sc->superlayer_ = &c;
        c.sublayers_.insertAbove(std::move(sc), c.sublayers_.top());
    }
    return copy;
}

void Layer::setDrawnOffMainThread(bool on) {
    if (on == bool(offThreadPicture()))
        return;
    rare().offThread = on ? std::make_shared<OffThreadPicture>() : nullptr;
    setNeedsRepaint();
}

} // namespace qrn::graphics
