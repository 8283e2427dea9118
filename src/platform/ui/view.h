#pragma once
// Views: a tree of rectangles that draw, take events and accept drops. Each view is backed by a
// layer that follows its geometry, so the renderer draws the view tree from the layer tree.
//
// Coordinates: a view's frame is in its superview's space, origin bottom-left and y up unless
// the superview is flipped (then y grows downwards from the top). A rotation turns the view
// about its frame's centre; the frame stays the unrotated rectangle while drawing, hit testing
// and subviews turn with it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"
#include "platform/graphics/layer.h"
#include "platform/ui/dragging.h"
#include "platform/ui/responder.h"
#include "platform/ui/tracking_area.h"

class QPainter;

namespace qrn::ui {

class View;
class Window;
class ViewController;
using ViewPtr = std::shared_ptr<View>;

using enum graphics::AutoresizingMask;

enum class Ordering { Above, Below };

// Something the host shows on top of the rendered views at a view's window rectangle (a native
// text editor, a combo box). The Qt bridge defines the concrete kind.
class NativeContent {
  public:
    virtual ~NativeContent() = default;
};

class View : public Responder, public std::enable_shared_from_this<View> {
  public:
    explicit View(const Rect& frame = {});
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    static ViewPtr make(const Rect& frame = {}) { return std::make_shared<View>(frame); }
    // An empty view that only holds a place among its siblings (the views above it stack on it)
    // and never draws: it shares the stand-in layer (see below) rather than having one, so a
    // deck's tiles can each hold such places cheaply.
    static ViewPtr makePlaceHolder();

    // A name for traces and tests.
    const std::string& identifier() const;
    void setIdentifier(std::string id);

    // --- Geometry
    const Rect& frame() const { return frame_; }
    virtual void setFrame(const Rect& frame);
    void setFrameOrigin(Point origin);
    void setFrameSize(Size size);
    const Rect& bounds() const { return bounds_; }
    void setBounds(const Rect& bounds);
    void setBoundsOrigin(Point origin);
    void setBoundsSize(Size size);
    // Degrees, counter-clockwise, about the frame's centre.
    double frameCenterRotation() const { return rotation_; }
    void setFrameCenterRotation(double degrees);
    // A flipped view lays out its subviews and draws with y growing downwards.
    bool isFlipped() const { return flipped_; }
    void setFlipped(bool flipped);
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool on) { autoresizesSubviews_ = on; }
    // Called when this view's size changed; by default applies the subviews' autoresizing masks.
    virtual void resizeSubviewsWithOldSize(Size oldSize);
    virtual void resizeWithOldSuperviewSize(Size oldSize);
    // Called after the frame changed by any means.
    virtual void frameDidChange(const Rect& /*oldFrame*/) {}
    // Called on the superview after one of its subviews' frame changed.
    virtual void subviewFrameDidChange(View& /*subview*/, const Rect& /*oldFrame*/) {}
    // The part of the bounds not clipped away by ancestors (bounding box for rotated ancestors).
    Rect visibleRect() const;

    // --- Conversion between views; a null view means the window (or, for a view outside any
    // window, the space of its topmost ancestor's superview).
    AffineTransform transformToSuperview() const;
    AffineTransform transformToWindow() const;
    Point convertPointToView(Point p, const View* to) const;
    Point convertPointFromView(Point p, const View* from) const;
    // Bounding boxes of the converted rectangle.
    Rect convertRectToView(const Rect& r, const View* to) const;
    Rect convertRectFromView(const Rect& r, const View* from) const;
    // The bounds in window space, bounding box.
    Rect windowRect() const { return convertRectToView(bounds_, nullptr); }

    // --- Tree
    ViewPtr superview() const;
    View* superviewPointer() const { return superview_; }
    const std::vector<ViewPtr>& subviews() const { return subviews_.ordered(); }
    // Adds on top of the other subviews. A view that has a superview (this one included) moves.
    void addSubview(const ViewPtr& view);
    // Directly above or below `relativeTo`; a null or foreign `relativeTo` means the top (Above)
    // or the bottom (Below) of all subviews.
    void addSubview(const ViewPtr& view, Ordering ordering, const View* relativeTo);
    void replaceSubview(const View* old, const ViewPtr& replacement);
    void setSubviews(std::vector<ViewPtr> views);
    void removeFromSuperview();
    bool isDescendantOf(const View* ancestor) const;
    Window* window() const { return window_; }

    // Views have no tag until one is given.
    std::optional<int> tag() const { return tag_; }
    void setTag(int tag) { changeTag(tag); }
    void clearTag() { changeTag(std::nullopt); }
    // This view or the first in its subtree, depth first in subview order, with the tag. The
    // first lookup indexes the subtree by tag; every later change of the subtree or of a tag in
    // it updates that index, so lookups stay cheap while a large tree is being built.
    ViewPtr viewWithTag(int tag);
    // Every view of this subtree with the tag, this view included, depth first in subview order.
    std::vector<ViewPtr> viewsWithTag(int tag);

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool isHiddenOrHasHiddenAncestor() const;
    // In a window and not hidden by itself or an ancestor.
    bool isVisibleInWindow() const;
    double alphaValue() const { return alpha_; }
    void setAlphaValue(double alpha);
    // Fades the alpha to `target` over `duration` seconds on the main queue.
    void animateAlphaValue(double target, double duration, std::function<void()> completion = {});

    // --- Backing layer. Its geometry follows the view's at each change of the view; callers may
    // also set the layer's geometry directly, which holds until the view's geometry changes, and
    // across moves in the tree. Only the first addition to a superview places the layer from the
    // view again, so a layer framed to its view's bounds during set-up still shows at the frame.
    const graphics::LayerPtr& layer() const { return layer_; }

    // --- Drawing. A view that paints overrides draw() and calls setNeedsDisplay() whenever it
    // has something new to show; the result becomes its layer's contents. The painter works in
    // the view's bounds space (y up unless flipped); see graphics/painting.h for upright text.
    virtual void draw(QPainter& painter, const Rect& dirtyRect);
    // A picture that is all draw() paints, stretched over the whole bounds, and no larger than
    // the `width` x `height` pixels the view would be drawn at: the layer then shows it as it is,
    // so a picture drawn larger than it is held (a slide's photo laid out for the movie) costs
    // no copy of its own. Null by default: the view is drawn.
    virtual QImage drawnAsIs(int width, int height) const;
    bool needsDisplay() const { return needsDisplay_; }
    // Views below this one lying wholly outside its bounds, by more than its size, keep their
    // request to draw until scrolling or a move brings them near: a clip view over a strip of
    // thousands of tiles holds pictures only of those in or near sight.
    void setDrawsOnlyNearBounds(bool on);
    void setNeedsDisplay(bool needs = true);
    // Draws this view and its subtree where needed. Only the paths marked by setNeedsDisplay
    // are walked: a large tree at rest costs nothing to pass over.
    void displayIfNeeded();
    // Draws this view now, at the window's scale factor, or coarser for a view so large that
    // its picture would pass the bounds below.
    void display();
    // Pictures made for a view (its drawing, a drawn symbol) keep to these bounds, whatever
    // size a stored project gives the view: far more than any screen shows, so only views much
    // larger than the window are drawn coarser, and stretched to their size when shown.
    static constexpr double maxPicturePixels = 4096.0 * 4096.0;
    static constexpr double maxPictureSide = 8192.0;
    // The scale (pixels per point) for a picture of `size` points: `scale`, or less to keep to
    // the bounds.
    static double boundedPictureScale(Size size, double scale, double side = maxPictureSide,
                                      double pixels = maxPicturePixels);
    // Larger bounds for this view's own picture: for a view that is drawn once and then
    // moved past a window, such as a long text read as it scrolls, whose picture would
    // otherwise be drawn coarser and stretched.
    void setPictureLimits(double side, double pixels);
    // Draws every view of this subtree that draws anything, now and at its present size,
    // hidden ones included (displayIfNeeded leaves those for when they are shown). For trees
    // whose layers are about to be rendered elsewhere, such as a movie export.
    void displaySubtreeIncludingHidden();
    // Puts the backing layers of this subtree that were lent to another layer tree back under
    // their superviews' layers, in subview order. Lending a layer is a plain addSublayer
    // elsewhere; this is the way back.
    void takeBackLentLayers();

    // --- Layout: layout() runs before the window draws, for views marked with setNeedsLayout.
    virtual void layout() {}
    bool needsLayout() const { return needsLayout_; }
    void setNeedsLayout(bool needs = true);
    // Lays out this view and its subtree where needed, parents before their subviews, walking
    // only the paths marked by setNeedsLayout.
    void layoutSubtreeIfNeeded();
    // How many views layout and display passes have entered since the process started; for
    // tests and traces of what a pass costs.
    static std::uint64_t passVisits();
    // This view or one below still waits for layout.
    bool layoutPending() const;

    // --- Events
    // The deepest visible view under `point` (in the superview's space), or null. An override
    // may refuse points, but finds none outside the view's frame: a view of many subviews asks
    // only those whose frame holds the point.
    virtual View* hitTest(Point pointInSuperview);
    // The subviews whose frame may hold `point` (in this view's bounds space) and, with
    // `reaching`, every shown one whose subtree may lie outside its frame (it does not clip, or
    // it is turned), in subview order: a pointer event over a strip of thousands of tiles looks
    // at the few under it. False, with `out` untouched, for a view with few subviews.
    bool subviewsNear(Point point, bool reaching, std::vector<View*>& out);
    Responder* nextResponder() const override;
    ViewController* viewController() const { return controller_; }

    // Tracking areas; `rect` in bounds space. A null owner means this view.
    TrackingAreaPtr addTrackingArea(const Rect& rect, unsigned options, Responder* owner = nullptr,
                                    Value userInfo = {});
    void addTrackingArea(const TrackingAreaPtr& area);
    void removeTrackingArea(const TrackingAreaPtr& area);
    const std::vector<TrackingAreaPtr>& trackingAreas() const;

    // --- Drag destination
    void registerForDraggedTypes(std::vector<std::string> types);
    void unregisterDraggedTypes();
    const std::vector<std::string>& registeredDraggedTypes() const;
    virtual unsigned draggingEntered(DraggingInfo&) { return DragOperationNone; }
    // Sent as the drag moves, and repeatedly while it rests over the view.
    virtual unsigned draggingUpdated(DraggingInfo&) { return lastDragOperation_; }
    virtual void draggingExited(DraggingInfo&) {}
    virtual bool prepareForDragOperation(DraggingInfo&) { return true; }
    virtual bool performDragOperation(DraggingInfo&) { return false; }
    virtual void concludeDragOperation(DraggingInfo&) {}
    // Sent at the end of every drag this view took part in.
    virtual void draggingEnded(DraggingInfo&) {}

    // --- Moves in the tree
    virtual void viewWillMoveToWindow(Window* /*newWindow*/) {}
    virtual void viewDidMoveToWindow() {}
    virtual void viewWillMoveToSuperview(View* /*newSuperview*/) {}
    virtual void viewDidMoveToSuperview() {}
    virtual void didAddSubview(View* /*subview*/) {}
    virtual void willRemoveSubview(View* /*subview*/) {}

    // --- Native content shown by the host at this view's window rectangle, hidden with the view.
    const std::shared_ptr<NativeContent>& nativeContent() const;
    void setNativeContent(std::shared_ptr<NativeContent> content);

  protected:
    // A view that never shows anything (a hidden view that only carries a tag) shares one
    // detached stand-in layer with all such views instead of having a layer of its own: it is
    // left out of its superview's layer, and what it is told about looks is not kept.
    struct SharedStandInLayer {};
    explicit View(SharedStandInLayer);

  private:
    friend class ViewController;
    friend class Window;
    template <class> friend class graphics::SiblingList;
    using Siblings = graphics::SiblingList<View>;

    void syncLayerGeometry();
    // Puts `view` directly above `under`, a subview (null: at the bottom).
    void insertAbove(const ViewPtr& view, View* under);
    void detachFromSuperview();
    void propagateWillMoveToWindow(Window* w);
    void propagateDidMoveToWindow(Window* w);
    void forgetWindow();
    void attachLayer(const ViewPtr& view);
    void geometryChanged(const Rect& oldFrame);
    void treeChanged();
    // Marks the path from the superview up to the topmost ancestor: a pass walks down it.
    void markLayoutPath();
    void markDisplayPath();
    // Each view keeps the list of its subviews that may carry a display or layout mark, so a
    // pass goes down to them without looking at every sibling (a strip of 50,000 tiles).
    // Puts this view in its superview's list for the layout (or display) pass.
    void listMarked(bool layout);
    // Takes this view out of its superview's list, as it leaves.
    void unlistMarked(bool layout);
    // The subviews with the mark, in subview order, held: drawing or laying out one may take
    // others out of the tree. Views that lost their mark drop out of the list.
    std::vector<ViewPtr> markedSubviews(bool layout);
    // The nearest ancestor that draws only near its bounds, or null.
    View* nearDrawingAncestor() const;
    // Whether drawing this view waits, being far from `keeper`'s bounds; noted there if so.
    bool waitsFarFrom(View& keeper);
    // Asks the next display pass to look again at the views waiting far from this one: all of
    // them after a move below, or only by their kept places after a scroll.
    void recheckWaiting(bool moved);
    void markWaitingNear();
    // Takes a view below this one out of waiting, for the pass that runs now to look at.
    void wakeWaiting(View* waiting);
    // After a change of this view's frame, bounds or place in the tree.
    void noteMovedBelowKeeper(bool ownSpaceKept);
    // After a change of where this view lies in its superview, or of whether it shows.
    void notePlaceChanged();
    // After a move into this view: a subtree that still has work takes its marks along.
    void carryMarks(View& moved);
    // Views with native content in this subtree, this view included, counted up the path.
    void countNative(long change);
    void collectNative(std::vector<View*>& out);
    void changeTag(std::optional<int> tag);
    // Adds the tagged views of `subtree` to (or takes them out of) the tag indexes of `from` and
    // its ancestors.
    static void updateTagIndexes(View* from, View& subtree, bool add);
    // The indexed views of this subtree with the tag, in no particular order; null for none.
    const std::vector<View*>* taggedInSubtree(int tag);

    struct TagIndex;
    struct Marked;
    struct SubviewPlaces;

    Rect frame_;
    Rect bounds_;
    double rotation_ = 0;
    bool flipped_ = false;
    unsigned autoresizingMask_ = AutoresizeNone;
    bool autoresizesSubviews_ = true;
    std::optional<int> tag_;
    bool hidden_ = false;
    double alpha_ = 1;
    bool needsDisplay_ = false;
    bool needsLayout_ = false;
    // Some view below needs display or layout: the passes go down only such paths.
    bool subtreeNeedsDisplay_ = false;
    bool subtreeNeedsLayout_ = false;
    bool drawsContent_ = false;
    bool placed_ = false;
    bool drawsOnlyNearBounds_ = false;
    bool ownsLayer_ = true;
    // Non-zero while this view's drawing waits in its keeper's list under this ticket.
    std::uint32_t waitTicket_ = 0;
    // This view's place (plus one; zero: none) in its superview's lists of marked subviews.
    std::uint32_t displayListed_ = 0;
    std::uint32_t layoutListed_ = 0;
    unsigned alphaAnimation_ = 0;
    unsigned lastDragOperation_ = DragOperationNone;

    graphics::LayerPtr layer_;
    View* superview_ = nullptr;
    Siblings subviews_;
    graphics::SiblingLink<View> siblingLink_;
    Window* window_ = nullptr;
    ViewController* controller_ = nullptr;
    // What few views have, kept apart so that the many plain ones stay small.
    struct Rare;
    Rare& rare();
    std::unique_ptr<Rare> rare_;
    std::unique_ptr<TagIndex> tagIndex_;
    std::unique_ptr<Marked> marked_;
    std::size_t nativeInSubtree_ = 0;
};

// Convenience for subclasses with their own constructors.
template <typename T, typename... Args> std::shared_ptr<T> makeView(Args&&... args) {
    return std::make_shared<T>(std::forward<Args>(args)...);
}

} // namespace qrn::ui
