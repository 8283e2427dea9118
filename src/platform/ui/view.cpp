#include "platform/ui/view.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "platform/foundation/main_queue.h"
#include "platform/foundation/rect_index.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace qrn::ui {

// Where the subviews of a view with many lie, for pointer events (see subviewsNear).
struct View::SubviewPlaces {
    // The subviews shown when the places were taken, and the bounding box of each one's bounds
    // in this view's space, in that order. Reordering the subviews (a tile raised over the
    // others as it is pressed) leaves them as they are; a subview that comes or goes, not.
    std::vector<View*> shown;
    RectIndex frames;
    bool stale = true;
    // Shown subviews whose subtree may lie outside their frame: looked at wherever the point is.
    std::vector<View*> reaching;
    // Subviews moved or shown since the places were taken: each is looked at.
    std::vector<View*> moved;
    // The count of layers that began or ceased to clip, when taken.
    std::uint64_t maskChanges = 0;
};

struct View::Rare {
    std::string identifier;
    std::vector<TrackingAreaPtr> trackingAreas;
    double pictureSide = maxPictureSide;
    double picturePixels = maxPicturePixels;
    std::vector<std::string> draggedTypes;
    std::shared_ptr<NativeContent> nativeContent;
    // Views below this one whose drawing waits, each with its place in this view's bounds space
    // as it was when it began to wait.
    struct Waiting {
        std::weak_ptr<View> view;
        View* raw;
        std::uint32_t ticket;
        Rect place;
    };
    std::vector<Waiting> waiting;
    // For a long list: where the first `indexed` of them wait, so that a scroll wakes those it
    // brings near without a look at each; and how many of those it has woken. Apart, as most
    // views with these rare parts (a deck's tiles) never keep waiting views.
    struct WaitingPlaces {
        RectIndex places;
        std::size_t indexed = 0;
        std::size_t woken = 0;
    };
    std::unique_ptr<WaitingPlaces> waitingPlaces;
    bool waitingRecheck = false;
    bool waitingMoved = false;
    std::unique_ptr<SubviewPlaces> subviewPlaces;
};

// The subviews that may carry a mark for the display or layout pass, in no particular order;
// each one knows its place here (see displayListed_, layoutListed_).
struct View::Marked {
    std::vector<View*> display;
    std::vector<View*> layout;
};

namespace {

long nearDrawingKeepers = 0;
std::uint32_t lastWaitTicket = 0;
// Below this many subviews, pointer events look at each; past this many moved since their
// places were taken, the places are taken again.
constexpr std::size_t manySubviews = 256;
constexpr std::size_t mostMovedSubviews = 64;

// What counts as near a view's bounds: one of its sizes either side, so that a scroll step or
// a reaching tile finds its picture made.
Rect nearArea(const Rect& r) {
    return r.insetBy(-std::abs(r.size.width), -std::abs(r.size.height));
}

} // namespace

View::Rare& View::rare() {
    if (!rare_)
        rare_ = std::make_unique<Rare>();
    return *rare_;
}

View::View(const Rect& frame) : frame_(frame.standardized()), layer_(graphics::Layer::make()) {
    bounds_ = Rect(0, 0, frame_.size.width, frame_.size.height);
    syncLayerGeometry();
}

View::View(SharedStandInLayer) : ownsLayer_(false) {
    // Never in any layer tree, and never destroyed: views may outlive everything at exit.
    static const auto* standIn = new graphics::LayerPtr([] {
        auto layer = graphics::Layer::make();
        layer->setHidden(true);
        return layer;
    }());
    layer_ = *standIn;
}

ViewPtr View::makePlaceHolder() {
    struct PlaceHolder final : View {
        PlaceHolder() : View(SharedStandInLayer{}) {}
    };
    return std::make_shared<PlaceHolder>();
}

View::~View() {
    // A view that goes has no superview, so no index above it lists it or its subtree; the
    // subviews keep their own indexes, whose subtrees do not change.
    for (View* s = subviews_.bottom(); s; s = Siblings::above(*s)) {
        s->superview_ = nullptr;
        s->displayListed_ = s->layoutListed_ = 0;
        if (s->layer_->superlayerPointer() == layer_.get())
            s->layer_->removeFromSuperlayer();
    }
    if (controller_ && controller_->view_.get() == this)
        controller_->view_.reset();
    if (drawsOnlyNearBounds_)
        --nearDrawingKeepers;
}

// --- Geometry

void View::syncLayerGeometry() {
    if (!ownsLayer_)
        return;
    auto& l = *layer_;
    l.setBounds(bounds_);
    l.setAnchorPoint({0.5, 0.5});
    l.setPosition(frame_.center());
    double sx = bounds_.size.width != 0 ? frame_.size.width / bounds_.size.width : 1;
    double sy = bounds_.size.height != 0 ? frame_.size.height / bounds_.size.height : 1;
    l.setTransform(
        AffineTransform::scale(sx, sy).concat(AffineTransform::rotation(rotation_ * std::numbers::pi / 180)));
    l.setGeometryFlipped(flipped_);
}

void View::setFrame(const Rect& frame) {
    Rect f = frame.standardized();
    if (f == frame_)
        return;
    Rect old = frame_;
    frame_ = f;
    // A view whose bounds were not scaled keeps them in step with the frame size.
    if (!(old.size == f.size))
        bounds_.size = f.size;
    syncLayerGeometry();
    geometryChanged(old);
}

void View::geometryChanged(const Rect& old) {
    if (!(old.size == frame_.size)) {
        if (autoresizesSubviews_)
            resizeSubviewsWithOldSize(old.size);
        if (drawsContent_)
            setNeedsDisplay();
        setNeedsLayout();
    }
    frameDidChange(old);
    noteMovedBelowKeeper(true);
    notePlaceChanged();
    if (superview_)
        superview_->subviewFrameDidChange(*this, old);
    if (window_)
        window_->viewTreeChanged();
}

void View::setFrameOrigin(Point origin) {
    setFrame(Rect(origin, frame_.size));
}

void View::setFrameSize(Size size) {
    setFrame(Rect(frame_.origin, size));
}

void View::setBounds(const Rect& bounds) {
    Rect b = bounds.standardized();
    if (b == bounds_)
        return;
    bounds_ = b;
    syncLayerGeometry();
    noteMovedBelowKeeper(true);
    notePlaceChanged();
    if (drawsContent_)
        setNeedsDisplay();
    if (window_)
        window_->viewTreeChanged();
}

void View::setBoundsOrigin(Point origin) {
    setBounds(Rect(origin, bounds_.size));
}

void View::setBoundsSize(Size size) {
    setBounds(Rect(bounds_.origin, size));
}

void View::setFrameCenterRotation(double degrees) {
    if (degrees == rotation_)
        return;
    rotation_ = degrees;
    syncLayerGeometry();
    noteMovedBelowKeeper(true);
    notePlaceChanged();
    if (window_)
        window_->viewTreeChanged();
}

void View::setFlipped(bool flipped) {
    if (flipped == flipped_)
        return;
    flipped_ = flipped;
    if (ownsLayer_)
        layer_->setGeometryFlipped(flipped);
    noteMovedBelowKeeper(false);
    if (drawsContent_)
        setNeedsDisplay();
    if (window_)
        window_->viewTreeChanged();
}

void View::resizeSubviewsWithOldSize(Size oldSize) {
    for (auto& s : std::vector<ViewPtr>(subviews()))
        s->resizeWithOldSuperviewSize(oldSize);
}

void View::resizeWithOldSuperviewSize(Size oldSize) {
    if (autoresizingMask_ == AutoresizeNone || !superview_)
        return;
    setFrame(graphics::autoresizedFrame(frame_, autoresizingMask_, oldSize, superview_->bounds_.size));
}

Rect View::visibleRect() const {
    Rect r = windowRect();
    for (const View* a = superview_; a; a = a->superview_)
        r = r.intersection(a->windowRect());
    if (r.isEmpty())
        return Rect();
    return convertRectFromView(r, nullptr).intersection(bounds_);
}

// --- Conversion

AffineTransform View::transformToSuperview() const {
    // The same placement the backing layer gets: bounds centre onto the frame centre, scaled
    // from bounds to frame size, turned about the centre. A view's own space is y down when it
    // is flipped, and a view placed in a flipped superview keeps its picture upright.
    double sx = bounds_.size.width != 0 ? frame_.size.width / bounds_.size.width : 1;
    double sy = bounds_.size.height != 0 ? frame_.size.height / bounds_.size.height : 1;
    AffineTransform m =
        AffineTransform::translation(-(bounds_.origin.x + bounds_.size.width / 2),
                                     -(bounds_.origin.y + bounds_.size.height / 2))
            .concat(AffineTransform::scale(sx, sy))
            .concat(rotation_ != 0 ? AffineTransform::rotation(rotation_ * std::numbers::pi / 180)
                                   : AffineTransform())
            .concat(AffineTransform::translation(frame_.center().x, frame_.center().y));
    bool superFlipped = superview_ && superview_->flipped_;
    if (flipped_ != superFlipped) {
        // Mirror within the bounds: from a y-down own space, or to stay upright in a y-down superview.
        AffineTransform mirror{1, 0, 0, -1, 0, 2 * bounds_.origin.y + bounds_.size.height};
        m = mirror.concat(m);
    }
    return m;
}

AffineTransform View::transformToWindow() const {
    AffineTransform m = transformToSuperview();
    for (const View* v = superview_; v; v = v->superview_)
        m = m.concat(v->transformToSuperview());
    return m;
}

Point View::convertPointToView(Point p, const View* to) const {
    Point w = transformToWindow().map(p);
    if (!to)
        return w;
    auto inv = to->transformToWindow().inverted();
    return inv ? inv->map(w) : w;
}

Point View::convertPointFromView(Point p, const View* from) const {
    Point w = from ? from->transformToWindow().map(p) : p;
    auto inv = transformToWindow().inverted();
    return inv ? inv->map(w) : w;
}

Rect View::convertRectToView(const Rect& r, const View* to) const {
    AffineTransform m = transformToWindow();
    if (to)
        if (auto inv = to->transformToWindow().inverted())
            m = m.concat(*inv);
    return m.mapRect(r);
}

Rect View::convertRectFromView(const Rect& r, const View* from) const {
    AffineTransform m = from ? from->transformToWindow() : AffineTransform();
    if (auto inv = transformToWindow().inverted())
        m = m.concat(*inv);
    return m.mapRect(r);
}

// --- Tree

ViewPtr View::superview() const {
    return superview_ ? superview_->weak_from_this().lock() : nullptr;
}

void View::addSubview(const ViewPtr& view) {
    addSubview(view, Ordering::Above, nullptr);
}

void View::addSubview(const ViewPtr& view, Ordering ordering, const View* relativeTo) {
    if (!view || view.get() == this || isDescendantOf(view.get()))
        return;
    ViewPtr keep = view;
    if (keep->superview_ == this) {
        // Reordering among siblings: no window or superview change to announce.
        subviews_.remove(keep.get());
        if (keep->layer_->superlayerPointer() == layer_.get())
            keep->layer_->removeFromSuperlayer();
    } else {
        keep->viewWillMoveToSuperview(this);
        if (keep->window_ != window_)
            keep->propagateWillMoveToWindow(window_);
        keep->detachFromSuperview();
    }
    // The view itself is no sibling of its own any more (a reordered view keeps its superview).
    View* rel = relativeTo && relativeTo->superview_ == this && relativeTo != keep.get()
                    ? const_cast<View*>(relativeTo)
                    : nullptr;
    View* under;
    if (ordering == Ordering::Above)
        under = rel ? rel : subviews_.top();
    else
        under = rel ? Siblings::below(*rel) : nullptr;
    insertAbove(keep, under);
}

void View::insertAbove(const ViewPtr& view, View* under) {
    bool moved = view->superview_ != this;
    Window* oldWindow = view->window_;
    subviews_.insertAbove(view, under);
    if (moved && rare_ && rare_->subviewPlaces)
        rare_->subviewPlaces->stale = true;
    view->superview_ = this;
    // A reordering among siblings leaves every subtree's membership as it was.
    if (moved) {
        updateTagIndexes(this, *view, true);
        countNative(long(view->nativeInSubtree_));
        carryMarks(*view);
    }
    // Layer geometry set before a view is first placed is provisional: set-up code often gives a
    // new view's layer its own bounds as frame, which must not pull the view to the origin.
    if (!view->placed_) {
        view->placed_ = true;
        view->syncLayerGeometry();
    }
    attachLayer(view);
    if (moved) {
        if (oldWindow != window_)
            view->propagateDidMoveToWindow(window_);
        view->viewDidMoveToSuperview();
        didAddSubview(view.get());
    }
    treeChanged();
}

void View::attachLayer(const ViewPtr& view) {
    if (!ownsLayer_ || !view->ownsLayer_)
        return;
    // Keep the sublayer order in step with the subviews, next to whichever sibling layers are
    // still here (a sibling's layer may be lent to another tree, e.g. a movie export).
    for (View* s = Siblings::below(*view); s; s = Siblings::below(*s)) {
        if (s->layer_->superlayerPointer() == layer_.get()) {
            layer_->insertSublayerAbove(view->layer_, s->layer_.get());
            return;
        }
    }
    for (View* s = Siblings::above(*view); s; s = Siblings::above(*s)) {
        if (s->layer_->superlayerPointer() == layer_.get()) {
            layer_->insertSublayerBelow(view->layer_, s->layer_.get());
            return;
        }
    }
    layer_->addSublayer(view->layer_);
}

void View::detachFromSuperview() {
    View* parent = superview_;
    if (!parent)
        return;
    noteMovedBelowKeeper(true);
    parent->willRemoveSubview(this);
    if (window_)
        window_->viewWillLeave(this);
    ViewPtr keep = shared_from_this();
    parent->subviews_.remove(this);
    if (parent->rare_ && parent->rare_->subviewPlaces)
        parent->rare_->subviewPlaces->stale = true;
    if (layer_->superlayerPointer() == parent->layer_.get())
        layer_->removeFromSuperlayer();
    updateTagIndexes(parent, *this, false);
    parent->countNative(-long(nativeInSubtree_));
    unlistMarked(false);
    unlistMarked(true);
    superview_ = nullptr;
    parent->treeChanged();
}

void View::removeFromSuperview() {
    if (!superview_)
        return;
    ViewPtr keep = shared_from_this();
    viewWillMoveToSuperview(nullptr);
    Window* oldWindow = window_;
    if (oldWindow)
        propagateWillMoveToWindow(nullptr);
    detachFromSuperview();
    if (oldWindow)
        propagateDidMoveToWindow(nullptr);
    viewDidMoveToSuperview();
}

void View::replaceSubview(const View* old, const ViewPtr& replacement) {
    if (!old || old->superview_ != this || !replacement || replacement.get() == old)
        return;
    ViewPtr oldView = const_cast<View*>(old)->shared_from_this();
    addSubview(replacement, Ordering::Above, old);
    oldView->removeFromSuperview();
}

void View::setSubviews(std::vector<ViewPtr> views) {
    // The last first: each removal then takes the top of the list.
    const std::vector<ViewPtr> old(subviews());
    for (auto s = old.rbegin(); s != old.rend(); ++s)
        if (std::find(views.begin(), views.end(), *s) == views.end())
            (*s)->removeFromSuperview();
    for (auto& v : views)
        addSubview(v);
}

bool View::isDescendantOf(const View* ancestor) const {
    for (const View* v = this; v; v = v->superview_)
        if (v == ancestor)
            return true;
    return false;
}

void View::propagateWillMoveToWindow(Window* w) {
    if (controller_)
        controller_->viewWillMoveToWindow(w);
    viewWillMoveToWindow(w);
    for (auto& s : std::vector<ViewPtr>(subviews()))
        s->propagateWillMoveToWindow(w);
}

void View::propagateDidMoveToWindow(Window* w) {
    window_ = w;
    for (auto& s : std::vector<ViewPtr>(subviews()))
        s->propagateDidMoveToWindow(w);
    viewDidMoveToWindow();
    if (controller_)
        controller_->viewDidMoveToWindow();
    if (w && (drawsContent_ || needsDisplay_))
        setNeedsDisplay();
}

void View::forgetWindow() {
    window_ = nullptr;
    for (View* s = subviews_.bottom(); s; s = Siblings::above(*s))
        s->forgetWindow();
}

void View::treeChanged() {
    if (window_)
        window_->viewTreeChanged(true);
}

// Every tagged view of a subtree by tag. Several views may share a tag (the thumbnail copies of
// a sticky layer do); a lookup then picks the first in depth-first order.
struct View::TagIndex {
    std::unordered_map<int, std::vector<View*>> views;

    void add(int tag, View* view) { views[tag].push_back(view); }
    void remove(int tag, View* view) {
        auto it = views.find(tag);
        if (it == views.end())
            return;
        auto& list = it->second;
        list.erase(std::remove(list.begin(), list.end(), view), list.end());
        if (list.empty())
            views.erase(it);
    }
};

namespace {

template <typename Fn> void eachTagged(View& root, Fn fn) {
    std::vector<View*> pending{&root};
    while (!pending.empty()) {
        View* v = pending.back();
        pending.pop_back();
        if (v->tag())
            fn(*v->tag(), v);
        for (const auto& s : v->subviews())
            pending.push_back(s.get());
    }
}

size_t depthOf(const View* v) {
    size_t depth = 0;
    for (; v->superviewPointer(); v = v->superviewPointer())
        ++depth;
    return depth;
}

// Whether a comes before b in a depth-first walk of a tree holding both.
bool comesBefore(const View* a, const View* b) {
    size_t da = depthOf(a), db = depthOf(b);
    const View* x = a;
    const View* y = b;
    for (; da > db; --da)
        x = x->superviewPointer();
    for (; db > da; --db)
        y = y->superviewPointer();
    if (x == y)
        return x == a; // one holds the other: the holder comes first
    while (x->superviewPointer() != y->superviewPointer()) {
        x = x->superviewPointer();
        y = y->superviewPointer();
    }
    for (const auto& s : x->superviewPointer()->subviews()) {
        if (s.get() == x)
            return true;
        if (s.get() == y)
            return false;
    }
    return false;
}

} // namespace

void View::updateTagIndexes(View* from, View& subtree, bool add) {
    std::vector<TagIndex*> indexes;
    for (View* v = from; v; v = v->superview_)
        if (v->tagIndex_)
            indexes.push_back(v->tagIndex_.get());
    if (indexes.empty())
        return;
    eachTagged(subtree, [&](int tag, View* v) {
        for (auto* index : indexes) {
            if (add)
                index->add(tag, v);
            else
                index->remove(tag, v);
        }
    });
}

void View::changeTag(std::optional<int> tag) {
    if (tag == tag_)
        return;
    for (View* v = this; v; v = v->superview_) {
        if (!v->tagIndex_)
            continue;
        if (tag_)
            v->tagIndex_->remove(*tag_, this);
        if (tag)
            v->tagIndex_->add(*tag, this);
    }
    tag_ = tag;
}

const std::vector<View*>* View::taggedInSubtree(int tag) {
    if (!tagIndex_) {
        tagIndex_ = std::make_unique<TagIndex>();
        eachTagged(*this, [&](int t, View* v) { tagIndex_->add(t, v); });
    }
    const auto it = tagIndex_->views.find(tag);
    return it == tagIndex_->views.end() ? nullptr : &it->second;
}

std::vector<ViewPtr> View::viewsWithTag(int tag) {
    const auto* found = taggedInSubtree(tag);
    if (!found)
        return {};
    std::vector<View*> ordered = *found;
    std::sort(ordered.begin(), ordered.end(), comesBefore);
    std::vector<ViewPtr> out;
    out.reserve(ordered.size());
    for (View* v : ordered)
        if (auto view = v->weak_from_this().lock())
            out.push_back(std::move(view));
    return out;
}

ViewPtr View::viewWithTag(int tag) {
    const auto* found = taggedInSubtree(tag);
    if (!found)
        return nullptr;
    View* first = found->front();
    for (View* v : *found)
        if (v != first && comesBefore(v, first))
            first = v;
    return first->weak_from_this().lock();
}

void View::setHidden(bool hidden) {
    if (hidden == hidden_)
        return;
    hidden_ = hidden;
    if (ownsLayer_)
        layer_->setHidden(hidden);
    notePlaceChanged();
    // A view that shows again may have missed drawing requests while hidden, in its subtree too:
    // the display pass stopped here and left them marked.
    if (!hidden && (needsDisplay_ || subtreeNeedsDisplay_)) {
        markDisplayPath();
        if (window_)
            window_->viewNeedsDisplay();
    }
    treeChanged();
}

bool View::isHiddenOrHasHiddenAncestor() const {
    for (const View* v = this; v; v = v->superview_)
        if (v->hidden_)
            return true;
    return false;
}

bool View::isVisibleInWindow() const {
    return window_ && window_->isVisible() && !isHiddenOrHasHiddenAncestor();
}

void View::setAlphaValue(double alpha) {
    alpha_ = std::clamp(alpha, 0.0, 1.0);
    if (ownsLayer_)
        layer_->setOpacity(alpha_);
}

void View::animateAlphaValue(double target, double duration, std::function<void()> completion) {
    unsigned generation = ++alphaAnimation_;
    double from = alpha_;
    double start = MainQueue::now();
    std::weak_ptr<View> weak = weak_from_this();
    if (duration <= 0 || weak.expired()) {
        setAlphaValue(target);
        if (completion)
            MainQueue::after(0, std::move(completion));
        return;
    }
    // Steps at display rate; a newer animation of the same view takes over. Only the queued
    // block holds the step, so an animation whose block is dropped (at quit) frees itself.
    auto step = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> weakStep = step;
    *step = [weak, generation, from, target, start, duration, completion, weakStep]() {
        auto self = weak.lock();
        if (!self || self->alphaAnimation_ != generation)
            return;
        double u = std::clamp((MainQueue::now() - start) / duration, 0.0, 1.0);
        self->setAlphaValue(from + (target - from) * u);
        if (u >= 1) {
            if (completion)
                completion();
            return;
        }
        // The next step keeps to the display-rate ticks counted from the start, and the last
        // comes when the duration is up: steps run late would otherwise add up to a fade a
        // frame longer than it was asked to be.
        const double elapsed = MainQueue::now() - start;
        const double tick = std::floor(elapsed * 60 + 1e-6) + 1;
        if (auto next = weakStep.lock())
            MainQueue::after(std::max(0.001, std::min(tick / 60, duration) - elapsed), [next] { (*next)(); });
    };
    MainQueue::after(1.0 / 60, [step] { (*step)(); });
}

// --- Drawing

void View::draw(QPainter&, const Rect&) {}

QImage View::drawnAsIs(int, int) const {
    return {};
}

void View::setNeedsDisplay(bool needs) {
    needsDisplay_ = needs;
    if (needs) {
        drawsContent_ = true;
        markDisplayPath();
        if (window_)
            window_->viewNeedsDisplay();
    }
}

double View::boundedPictureScale(Size size, double scale, double side, double pixels) {
    const double w = std::abs(size.width), h = std::abs(size.height);
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1;
    if (!std::isfinite(w) || !std::isfinite(h))
        return 0;
    if (w * scale > side)
        scale = side / w;
    if (h * scale > side)
        scale = side / h;
    if (w * h * scale * scale > pixels)
        scale = std::sqrt(pixels / (w * h));
    return scale;
}

void View::setPictureLimits(double side, double pixels) {
    rare().pictureSide = side;
    rare().picturePixels = pixels;
}

void View::display() {
    needsDisplay_ = false;
    waitTicket_ = 0;
    if (!ownsLayer_)
        return;
    const double base = window_ ? window_->backingScaleFactor() : layer_->contentsScale();
    // Bounds drawn into a larger frame (a text laid out small and shown large) are drawn at the
    // size they show, not stretched from their own.
    double enlarged = 1;
    if (bounds_.size.width > 0 && bounds_.size.height > 0)
        enlarged =
            std::max({1.0, frame_.size.width / bounds_.size.width, frame_.size.height / bounds_.size.height});
    const double wanted = base * std::min(enlarged, 16.0);
    const double scale =
        rare_ ? boundedPictureScale(bounds_.size, wanted, rare_->pictureSide, rare_->picturePixels)
              : boundedPictureScale(bounds_.size, wanted);
    const int w = scale > 0 ? int(std::ceil(bounds_.size.width * scale - 1e-9)) : 0;
    const int h = scale > 0 ? int(std::ceil(bounds_.size.height * scale - 1e-9)) : 0;
    if (w <= 0 || h <= 0) {
        layer_->clearContents();
        return;
    }
    if (QImage picture = drawnAsIs(w, h); !picture.isNull()) {
        layer_->setContentsScale(base);
        layer_->setContents(std::move(picture));
        return;
    }
    // A picture drawn coarser fills its pixels exactly, each side on its own, so that no edge is
    // left half covered when it is stretched over the view.
    const double sx = scale < wanted ? w / bounds_.size.width : scale;
    const double sy = scale < wanted ? h / bounds_.size.height : scale;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        // Painted through a second image over the same pixels: an image keeps the paint engine
        // that painted it for as long as it lives, and a deck keeps thousands of these.
        QImage canvas(image.bits(), w, h, image.bytesPerLine(), image.format());
        QPainter p(&canvas);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        // Bounds space onto image rows: y up unless the view is flipped.
        if (flipped_)
            p.setTransform(QTransform(sx, 0, 0, sy, -bounds_.origin.x * sx, -bounds_.origin.y * sy));
        else
            p.setTransform(QTransform(sx, 0, 0, -sy, -bounds_.origin.x * sx,
                                      (bounds_.origin.y + bounds_.size.height) * sy));
        draw(p, bounds_);
    }
    layer_->setContentsScale(base);
    layer_->setContents(image);
}

namespace {

std::uint64_t visitsByPasses = 0;

} // namespace

std::uint64_t View::passVisits() {
    return visitsByPasses;
}

void View::markDisplayPath() {
    for (View* v = this; v->superview_; v = v->superview_) {
        v->superview_->subtreeNeedsDisplay_ = true;
        v->listMarked(false);
    }
}

void View::markLayoutPath() {
    for (View* v = this; v->superview_; v = v->superview_) {
        v->superview_->subtreeNeedsLayout_ = true;
        v->listMarked(true);
    }
}

void View::listMarked(bool layout) {
    auto& listed = layout ? layoutListed_ : displayListed_;
    if (listed || !superview_)
        return;
    auto& marked = superview_->marked_;
    if (!marked)
        marked = std::make_unique<Marked>();
    auto& list = layout ? marked->layout : marked->display;
    list.push_back(this);
    listed = std::uint32_t(list.size());
}

void View::unlistMarked(bool layout) {
    auto& listed = layout ? layoutListed_ : displayListed_;
    if (!listed)
        return;
    auto& list = layout ? superview_->marked_->layout : superview_->marked_->display;
    View* last = list.back();
    list[listed - 1] = last;
    (layout ? last->layoutListed_ : last->displayListed_) = listed;
    list.pop_back();
    listed = 0;
}

std::vector<ViewPtr> View::markedSubviews(bool layout) {
    std::vector<ViewPtr> out;
    if (!marked_)
        return out;
    auto& list = layout ? marked_->layout : marked_->display;
    const auto listedOf = [layout](View* v) -> std::uint32_t& {
        return layout ? v->layoutListed_ : v->displayListed_;
    };
    // A hidden view keeps its marks for when it is shown again, which lists it anew: the display
    // pass leaves it out until then (a preview holding thousands of hidden slides).
    std::vector<View*> due;
    std::size_t kept = 0;
    for (View* v : list) {
        if (layout ? v->needsLayout_ || v->subtreeNeedsLayout_
                   : !v->hidden_ && (v->needsDisplay_ || v->subtreeNeedsDisplay_)) {
            list[kept++] = v;
            listedOf(v) = std::uint32_t(kept);
            due.push_back(v);
        } else {
            listedOf(v) = 0;
        }
    }
    list.resize(kept);
    if (due.size() > 1) {
        subviews_.ordered(); // puts the places among the siblings in step
        std::sort(due.begin(), due.end(),
                  [](const View* a, const View* b) { return a->siblingLink_.slot < b->siblingLink_.slot; });
    }
    out.reserve(due.size());
    for (View* v : due)
        out.push_back(v->shared_from_this());
    return out;
}

void View::carryMarks(View& moved) {
    moved.waitTicket_ = 0; // looked at afresh where it now is
    if (moved.needsLayout_ || moved.subtreeNeedsLayout_)
        moved.markLayoutPath();
    if (moved.needsDisplay_ || moved.subtreeNeedsDisplay_)
        moved.markDisplayPath();
}

void View::displayIfNeeded() {
    ++visitsByPasses;
    if (hidden_)
        return; // drawn when shown again, which marks the path anew
    if (needsDisplay_) {
        View* keeper = window_ ? nearDrawingAncestor() : nullptr;
        if (!keeper || !waitsFarFrom(*keeper))
            display();
    }
    if (rare_ && rare_->waitingRecheck)
        markWaitingNear();
    if (!subtreeNeedsDisplay_)
        return;
    subtreeNeedsDisplay_ = false;
    for (auto& s : markedSubviews(false))
        if (s->superview_ == this)
            s->displayIfNeeded();
}

void View::setDrawsOnlyNearBounds(bool on) {
    if (on == drawsOnlyNearBounds_)
        return;
    drawsOnlyNearBounds_ = on;
    nearDrawingKeepers += on ? 1 : -1;
    if (!on && rare_ && !rare_->waiting.empty())
        recheckWaiting(true);
}

View* View::nearDrawingAncestor() const {
    if (!nearDrawingKeepers)
        return nullptr;
    for (View* v = superview_; v; v = v->superview_)
        if (v->drawsOnlyNearBounds_)
            return v;
    return nullptr;
}

bool View::waitsFarFrom(View& keeper) {
    // Already waiting: its place is still good, since a move below the keeper rechecks them all
    // before the pass comes down here.
    if (waitTicket_)
        return true;
    const Rect place = convertRectToView(bounds_, &keeper);
    if (place.isEmpty() || place.intersects(nearArea(keeper.bounds_)))
        return false;
    if (++lastWaitTicket == 0)
        ++lastWaitTicket;
    waitTicket_ = lastWaitTicket;
    keeper.rare().waiting.push_back({weak_from_this(), this, waitTicket_, place});
    return true;
}

void View::recheckWaiting(bool moved) {
    auto& r = rare();
    r.waitingRecheck = true;
    r.waitingMoved = r.waitingMoved || moved;
    subtreeNeedsDisplay_ = true;
    markDisplayPath();
    if (window_)
        window_->viewNeedsDisplay();
}

void View::noteMovedBelowKeeper(bool ownSpaceKept) {
    if (!nearDrawingKeepers)
        return;
    // The keeper's own frame or scroll leaves the places below it as they were.
    if (drawsOnlyNearBounds_ && rare_ && !rare_->waiting.empty())
        recheckWaiting(!ownSpaceKept);
    View* keeper = nearDrawingAncestor();
    if (!keeper || !keeper->rare_ || keeper->rare_->waiting.empty())
        return;
    // The keeper's document moves everything; a tile moves only its own subtree, whose waiting
    // views the pass looks at again.
    if (superview_ == keeper) {
        keeper->recheckWaiting(true);
        return;
    }
    bool woken = false;
    std::vector<View*> pending{this};
    while (!pending.empty()) {
        View* v = pending.back();
        pending.pop_back();
        if (v->waitTicket_) {
            v->waitTicket_ = 0;
            v->markDisplayPath();
            woken = true;
        }
        for (View* s = v->subviews_.bottom(); s; s = Siblings::above(*s))
            pending.push_back(s);
    }
    if (woken && window_)
        window_->viewNeedsDisplay();
}

void View::markWaitingNear() {
    auto& r = *rare_;
    const bool all = r.waitingMoved || !drawsOnlyNearBounds_;
    r.waitingRecheck = r.waitingMoved = false;
    const Rect near = nearArea(bounds_);
    const auto waits = [](const Rare::Waiting& w) {
        return !w.view.expired() && w.raw->waitTicket_ == w.ticket; // else gone, drawn, or waiting elsewhere
    };
    // A scroll over a long list: the index finds those it brings near, and those woken stay in
    // the list until enough have gone, or waited since, to measure it again.
    constexpr std::size_t manyWaiting = 256;
    if (!all && r.waiting.size() >= manyWaiting) {
        if (!r.waitingPlaces)
            r.waitingPlaces = std::make_unique<Rare::WaitingPlaces>();
        auto& index = *r.waitingPlaces;
        const std::size_t since = r.waiting.size() - index.indexed;
        if (index.indexed == 0 || since > index.indexed / 4 + 64 || index.woken > r.waiting.size() / 2) {
            std::erase_if(r.waiting, [&](const Rare::Waiting& w) { return !waits(w); });
            index.places.rebuild(r.waiting.size(), [&](std::size_t i) { return r.waiting[i].place; });
            index.indexed = r.waiting.size();
            index.woken = 0;
        }
        const auto wakeIfNear = [&](std::size_t i) {
            if (waits(r.waiting[i]) && r.waiting[i].place.intersects(near)) {
                wakeWaiting(r.waiting[i].raw);
                ++index.woken;
            }
        };
        index.places.forEachMeeting(near, wakeIfNear);
        for (std::size_t i = index.indexed; i < r.waiting.size(); ++i)
            wakeIfNear(i);
        return;
    }
    std::size_t kept = 0;
    for (auto& w : r.waiting) {
        if (!waits(w))
            continue;
        if (!all && !w.place.intersects(near)) {
            if (&r.waiting[kept] != &w)
                r.waiting[kept] = std::move(w);
            ++kept;
            continue;
        }
        wakeWaiting(w.raw);
    }
    r.waiting.resize(kept);
    r.waitingPlaces.reset();
}

void View::wakeWaiting(View* waiting) {
    // The pass that runs now looks at it again and draws it or lets it wait anew.
    waiting->waitTicket_ = 0;
    View* up = waiting->superview_;
    while (up && up != this)
        up = up->superview_;
    if (up) {
        for (View* v = waiting; v != this; v = v->superview_) {
            v->superview_->subtreeNeedsDisplay_ = true;
            v->listMarked(false);
        }
    } else {
        // Moved out from below this view: drawn where it went.
        waiting->markDisplayPath();
        if (waiting->window_)
            waiting->window_->viewNeedsDisplay();
    }
}

void View::displaySubtreeIncludingHidden() {
    if (drawsContent_ || needsDisplay_)
        display();
    for (auto& s : std::vector<ViewPtr>(subviews()))
        s->displaySubtreeIncludingHidden();
}

void View::takeBackLentLayers() {
    // In subview order, so that attachLayer finds the siblings below already in place.
    for (View* s = subviews_.bottom(); s; s = Siblings::above(*s)) {
        if (s->ownsLayer_ && s->layer_->superlayerPointer() != layer_.get())
            attachLayer(s->shared_from_this());
        s->takeBackLentLayers();
    }
}

void View::setNeedsLayout(bool needs) {
    needsLayout_ = needs;
    if (!needs)
        return;
    markLayoutPath();
    if (window_)
        window_->viewNeedsDisplay();
}

void View::layoutSubtreeIfNeeded() {
    ++visitsByPasses;
    if (needsLayout_) {
        needsLayout_ = false;
        layout();
    }
    if (!subtreeNeedsLayout_)
        return;
    subtreeNeedsLayout_ = false;
    for (auto& s : markedSubviews(true))
        if (s->superview_ == this)
            s->layoutSubtreeIfNeeded();
}

bool View::layoutPending() const {
    return needsLayout_ || subtreeNeedsLayout_;
}

// --- Events

View* View::hitTest(Point pointInSuperview) {
    if (hidden_)
        return nullptr;
    // Unturned, the bounds land on the frame exactly: a point clearly outside the frame misses
    // without building the transform, so a strip of many thousand tiles is passed over quickly.
    // A point within a hair of the edge takes the full way, as it always did.
    if (rotation_ == 0) {
        constexpr double hair = 1e-3;
        if (pointInSuperview.x < frame_.minX() - hair || pointInSuperview.x > frame_.maxX() + hair ||
            pointInSuperview.y < frame_.minY() - hair || pointInSuperview.y > frame_.maxY() + hair)
            return nullptr;
    }
    auto inv = transformToSuperview().inverted();
    if (!inv)
        return nullptr;
    Point local = inv->map(pointInSuperview);
    if (!bounds_.contains(local))
        return nullptr;
    // Front to back as drawn: the renderer orders siblings by zPosition, stably. Of many, only
    // those whose frame may hold the point.
    std::vector<View*> order;
    if (!subviewsNear(local, false, order)) {
        const auto& subs = subviews();
        const bool layered = std::any_of(subs.begin(), subs.end(),
                                         [](const ViewPtr& v) { return v->layer()->zPosition() != 0; });
        if (!layered) {
            for (auto it = subs.rbegin(); it != subs.rend(); ++it)
                if (View* hit = (*it)->hitTest(local))
                    return hit;
            return this;
        }
        order.reserve(subs.size());
        for (const auto& v : subs)
            order.push_back(v.get());
    }
    std::stable_sort(order.begin(), order.end(),
                     [](View* a, View* b) { return a->layer()->zPosition() < b->layer()->zPosition(); });
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (View* hit = (*it)->hitTest(local))
            return hit;
    return this;
}

void View::notePlaceChanged() {
    if (!superview_ || !superview_->rare_ || !superview_->rare_->subviewPlaces)
        return;
    auto& places = *superview_->rare_->subviewPlaces;
    if (places.stale || std::find(places.moved.begin(), places.moved.end(), this) != places.moved.end())
        return;
    if (places.moved.size() < mostMovedSubviews)
        places.moved.push_back(this);
    else
        places.stale = true;
}

bool View::subviewsNear(Point point, bool reaching, std::vector<View*>& out) {
    const auto& subs = subviews(); // also puts each one's place among its siblings in step
    if (subs.size() < manySubviews)
        return false;
    auto& rareHere = rare();
    if (!rareHere.subviewPlaces)
        rareHere.subviewPlaces = std::make_unique<SubviewPlaces>();
    auto& places = *rareHere.subviewPlaces;
    // Unturned, the bounds land on the frame exactly.
    const auto frameOf = [](const View& s) {
        return s.rotation_ == 0 ? s.frame_ : s.transformToSuperview().mapRect(s.bounds_);
    };
    // Its subtree may show outside its frame: unclipped, or turned.
    const auto reaches = [](const View& s) {
        return !s.hidden_ && (s.rotation_ != 0 || !s.layer_->masksToBounds());
    };
    const std::uint64_t maskChanges = graphics::Layer::maskChanges();
    if (places.stale || places.maskChanges != maskChanges) {
        // A hidden one is neither hit nor tracked: one shown later is looked at as moved.
        places.shown.clear();
        for (const auto& s : subs)
            if (!s->hidden_)
                places.shown.push_back(s.get());
        places.frames.rebuild(places.shown.size(), [&](std::size_t i) { return frameOf(*places.shown[i]); });
        places.reaching.clear();
        for (const auto& s : subs)
            if (reaches(*s))
                places.reaching.push_back(s.get());
        places.moved.clear();
        places.maskChanges = maskChanges;
        places.stale = false;
    }
    // A moved subview still inside the place kept for it needs no look of its own.
    std::erase_if(places.moved, [&](View* s) {
        if (s->superview_ != this || s->hidden_)
            return true; // shown again, it is noted again
        if (reaches(*s) &&
            std::find(places.reaching.begin(), places.reaching.end(), s) == places.reaching.end())
            places.reaching.push_back(s);
        const Rect now = frameOf(*s);
        bool kept = false;
        places.frames.forEachMeeting(now, [&](std::size_t i) {
            kept = kept || (places.shown[i] == s && places.frames.rectOf(i).contains(now));
        });
        return kept;
    });
    out.clear();
    // A point within a hair of a frame's edge is looked at as hit testing always did.
    constexpr double hair = 2e-3;
    places.frames.forEachMeeting(Rect(point.x - hair, point.y - hair, 2 * hair, 2 * hair),
                                 [&](std::size_t i) { out.push_back(places.shown[i]); });
    out.insert(out.end(), places.moved.begin(), places.moved.end());
    if (reaching)
        for (View* s : places.reaching)
            if (s->superview_ == this)
                out.push_back(s);
    std::sort(out.begin(), out.end(),
              [](const View* a, const View* b) { return a->siblingLink_.slot < b->siblingLink_.slot; });
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

Responder* View::nextResponder() const {
    if (controller_)
        return controller_;
    if (superview_)
        return superview_;
    if (window_ && window_->frameView().get() == this)
        return window_;
    return nullptr;
}

TrackingAreaPtr View::addTrackingArea(const Rect& rect, unsigned options, Responder* owner, Value userInfo) {
    auto area = std::make_shared<TrackingArea>(rect, options, owner, std::move(userInfo));
    addTrackingArea(area);
    return area;
}

void View::addTrackingArea(const TrackingAreaPtr& area) {
    if (!area)
        return;
    auto& areas = rare().trackingAreas;
    if (std::find(areas.begin(), areas.end(), area) != areas.end())
        return;
    area->view_ = this;
    area->inside_ = false;
    areas.push_back(area);
}

void View::removeTrackingArea(const TrackingAreaPtr& area) {
    if (!rare_)
        return;
    auto& areas = rare_->trackingAreas;
    auto it = std::find(areas.begin(), areas.end(), area);
    if (it == areas.end())
        return;
    (*it)->view_ = nullptr;
    areas.erase(it);
}

const std::vector<TrackingAreaPtr>& View::trackingAreas() const {
    static const std::vector<TrackingAreaPtr> none;
    return rare_ ? rare_->trackingAreas : none;
}

const std::string& View::identifier() const {
    static const std::string none;
    return rare_ ? rare_->identifier : none;
}

void View::setIdentifier(std::string id) {
    if (!id.empty() || rare_)
        rare().identifier = std::move(id);
}

void View::registerForDraggedTypes(std::vector<std::string> types) {
    for (auto& t : types)
        if (auto& mine = rare().draggedTypes; std::find(mine.begin(), mine.end(), t) == mine.end())
            mine.push_back(std::move(t));
}

void View::setNativeContent(std::shared_ptr<NativeContent> content) {
    const bool had = bool(nativeContent());
    if (content || rare_)
        rare().nativeContent = std::move(content);
    if (had != bool(nativeContent()))
        countNative(had ? -1 : 1);
    treeChanged();
}

void View::countNative(long change) {
    for (View* v = this; v; v = v->superview_)
        v->nativeInSubtree_ = std::size_t(long(v->nativeInSubtree_) + change);
}

void View::collectNative(std::vector<View*>& out) {
    if (nativeInSubtree_ == 0)
        return;
    if (nativeContent())
        out.push_back(this);
    for (View* s = subviews_.bottom(); s; s = Siblings::above(*s))
        s->collectNative(out);
}

void View::unregisterDraggedTypes() {
    if (rare_)
        rare_->draggedTypes.clear();
}

const std::vector<std::string>& View::registeredDraggedTypes() const {
    static const std::vector<std::string> none;
    return rare_ ? rare_->draggedTypes : none;
}

const std::shared_ptr<NativeContent>& View::nativeContent() const {
    static const std::shared_ptr<NativeContent> none;
    return rare_ ? rare_->nativeContent : none;
}

} // namespace qrn::ui
