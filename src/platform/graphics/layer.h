#pragma once
// The layer tree that everything on screen and in an exported movie is drawn from.
//
// Geometry: a layer's own space is its bounds (y up). Its anchor point (fractions of the bounds,
// (0.5, 0.5) by default) sits at `position` in the superlayer's sublayer space, and the affine
// transform is applied about the anchor point. A geometry-flipped layer lays out its sublayers
// with y growing downwards from the top of its bounds (the backing layer of a flipped view).
#include <QImage>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/colour.h"
#include "platform/foundation/geometry.h"
#include "platform/graphics/animation.h"
#include "platform/graphics/content_filter.h"
#include "platform/graphics/sibling_list.h"

class QPainter;

namespace qrn::graphics {

// How a layer or view follows its parent's size changes (values shared by views and layers).
enum AutoresizingMask : unsigned {
    AutoresizeNone = 0,
    FlexibleMinXMargin = 1,
    WidthSizable = 2,
    FlexibleMaxXMargin = 4,
    FlexibleMinYMargin = 8,
    HeightSizable = 16,
    FlexibleMaxYMargin = 32,
};

// Applies an autoresizing mask: the new frame of a child when its parent's size goes from
// `oldSize` to `newSize`. Margins are in the parent's unflipped space (min Y = bottom).
Rect autoresizedFrame(const Rect& frame, unsigned mask, Size oldSize, Size newSize);

// Maps a layer's bounds space to its superlayer's bounds space, given the map into the
// superlayer's sublayer space. In a flipped superlayer, positions count from the top but the
// layer's own picture stays upright (a rotation then turns the other way on screen).
AffineTransform placementTransform(const AffineTransform& toSublayerSpace, const Rect& bounds,
                                   const Rect* flippedSuperBounds);

class Layer;
using LayerPtr = std::shared_ptr<Layer>;
class OffThreadPicture;

class Layer : public std::enable_shared_from_this<Layer> {
  public:
    Layer();
    virtual ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    static LayerPtr make() { return std::make_shared<Layer>(); }
    static LayerPtr make(const Rect& frame);

    // Name for traces and tests.
    const std::string& name() const;
    void setName(std::string n);

    // --- Geometry
    const Rect& bounds() const { return bounds_; }
    void setBounds(const Rect& b);
    Point position() const { return position_; }
    void setPosition(Point p);
    Point anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(Point a);
    const AffineTransform& transform() const { return transform_; }
    void setTransform(const AffineTransform& t);
    // Bounding box of the transformed bounds in the superlayer's sublayer space.
    Rect frame() const;
    // Sets the position and the bounds size; the transform is kept. Under a scale or mirror,
    // frame() then gives `f`. Under a turn (with or without scale) `f` is the rectangle before
    // the turn: the bounds take its size divided by the scale and the anchor point its place in
    // it, turned about that point.
    void setFrame(const Rect& f);
    double zPosition() const { return zPosition_; }
    void setZPosition(double z);
    bool isGeometryFlipped() const { return geometryFlipped_; }
    void setGeometryFlipped(bool f);
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned m) { autoresizingMask_ = m; }

    // Maps a point of this layer's bounds space to the superlayer's bounds space (taking the
    // superlayer's geometry flip into account).
    AffineTransform transformToSuperlayer() const;
    // The same map without the superlayer's flip: into the space `position` and `frame` use.
    AffineTransform transformToSublayerSpace() const;
    // Maps this layer's bounds space to the space of the root's superlayer (no flip at the top).
    AffineTransform transformToRoot() const;
    // The four corners of the bounds as drawn in the superlayer's sublayer space, as a closed
    // polygon (bottom-left, bottom-right, top-right, top-left of the bounds).
    Path quadInSuperlayer() const;
    // Points between two layers of the same tree (nullptr: the root's superlayer space).
    Point convertPointToLayer(Point p, const Layer* to) const;
    Point convertPointFromLayer(Point p, const Layer* from) const;

    // --- Appearance
    double opacity() const { return opacity_; }
    void setOpacity(double o);
    bool isHidden() const { return hidden_; }
    void setHidden(bool h);
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool m);
    // Counts the times a layer placed in a tree began or ceased to mask its sublayers (rare: a
    // layer is set up before it is placed): what is kept of where subtrees may reach is measured
    // again when it moves.
    static std::uint64_t maskChanges();
    // A clear colour (alpha 0) draws no background; the default.
    const Colour& backgroundColour() const { return backgroundColour_; }
    void setBackgroundColour(const Colour& c);
    double borderWidth() const { return rare_ ? rare_->borderWidth : 0; }
    void setBorderWidth(double w);
    const Colour& borderColour() const;
    void setBorderColour(const Colour& c);
    double cornerRadius() const { return rare_ ? rare_->cornerRadius : 0; }
    void setCornerRadius(double r);
    // Stretched to the bounds. Kept premultiplied so drawing converts nothing per frame.
    const QImage& contents() const { return contents_; }
    void setContents(const QImage& image);
    void clearContents();
    // Pixels per point that drawn contents should use (views draw at this scale).
    double contentsScale() const { return contentsScale_; }
    void setContentsScale(double s) { contentsScale_ = s > 0 ? s : 1; }
    // Applied in order to the rendered image of this layer and its sublayers.
    const std::vector<ContentFilterPtr>& contentFilters() const;
    void setContentFilters(std::vector<ContentFilterPtr> filters);

    // --- Tree
    LayerPtr superlayer() const;
    Layer* superlayerPointer() const { return superlayer_; }
    const std::vector<LayerPtr>& sublayers() const { return sublayers_.ordered(); }
    // The sublayers a renderer draws, the shown ones by zPosition (stably), for a layer with
    // many: kept and made again only after a change among them, so a paint passes over a deck's
    // thousands of put-away slides without touching each. Copied into `out` (a renderer on
    // another thread may be walking it); false, with `out` untouched, for a layer with few.
    bool drawnSublayers(std::vector<const Layer*>& out) const;
    // Whether this layer has that many sublayers that it keeps such a list.
    bool keepsDrawnSublayers() const { return sublayers_.size() >= manyToDraw; }
    // Of those, the ones that may paint inside `area` (in this layer's bounds space), in drawing
    // order, with every one that has animations, filters or a picture drawn elsewhere, wherever
    // it lies: a paint of part of a long strip then costs the tiles it shows, not the strip.
    // Asked by one thread at a time, as drawnExtent is. False, with `out` untouched, for a layer
    // with few sublayers.
    bool drawnSublayersMeeting(const Rect& area, std::vector<const Layer*>& out) const;
    // Adding a layer that has a superlayer (this one included) detaches it first.
    void addSublayer(const LayerPtr& layer);
    void insertSublayer(const LayerPtr& layer, size_t index);
    // Inserted directly above or below `sibling`; appended (above) or put at the back (below)
    // when `sibling` is not a sublayer.
    void insertSublayerAbove(const LayerPtr& layer, const Layer* sibling);
    void insertSublayerBelow(const LayerPtr& layer, const Layer* sibling);
    void replaceSublayer(const Layer* old, const LayerPtr& replacement);
    void setSublayers(std::vector<LayerPtr> layers);
    void removeFromSuperlayer();
    void removeAllSublayers();
    bool isDescendantOf(const Layer* ancestor) const;
    const Layer* root() const;

    // --- Animations, by key; adding under an existing key replaces that animation.
    void addAnimation(const KeyframeAnimation& animation, const std::string& key);
    const KeyframeAnimation* animation(const std::string& key) const;
    std::vector<std::string> animationKeys() const;
    void removeAnimation(const std::string& key);
    void removeAllAnimations();
    bool hasAnimations() const { return rare_ && !rare_->animations.empty(); }
    const std::vector<std::pair<std::string, KeyframeAnimation>>& animations() const;
    // Opacity as drawn at time t: the most recently added running opacity animation wins over
    // the model value.
    double presentationOpacity(double t) const;

    // --- Drawing hooks
    // Extra drawing after the contents image and before the sublayers, in the layer's bounds
    // space with y up. Shape layers stroke their path here.
    virtual void drawInContext(QPainter& painter) const;
    // What this layer itself may paint, in its bounds space (bounds, or more for strokes).
    virtual Rect visualBounds() const { return bounds_; }
    // A picture that comes at a size of its own, frame by frame (a camera's): its size in pixels
    // and where in the bounds it is drawn. Content filters without an own size of their own
    // (ContentFilter::ownSize) on this layer, or on holders whose only drawing it is, count in
    // its pixels. None by default.
    struct OwnPicture {
        QSize pixels;
        Rect drawnIn;
    };
    virtual std::optional<OwnPicture> ownPicture() const { return std::nullopt; }

    // The area this layer and its shown sublayers may paint, in its bounds space (no more than
    // the bounds where it masks them). Kept until something in the subtree changes, so a paint
    // passes over a long strip's off-screen tiles without measuring what each one holds. Asked
    // by one thread at a time: a renderer drawing the tree on several threads does without it.
    Rect drawnExtent() const;

    // --- Cached drawing
    // The renderer keeps a picture of each run of this layer's sublayers (in drawing order)
    // that holds nothing live, and draws it again only once something in the run has changed:
    // its geometry, contents, opacity, visibility, filters, sublayers or animations.
    bool cachesSublayers() const { return cachesSublayers_; }
    void setCachesSublayers(bool on);
    // A layer whose picture changes by itself, frame after frame (a camera or a player); a run
    // ends before the sublayer that holds one.
    virtual bool hasLiveContent() const { return liveCopy_; }
    // Goes up whenever this layer or anything in its subtree changes how it looks.
    std::uint64_t contentVersion() const { return contentVersion_.load(std::memory_order_relaxed); }

    // --- Change notification
    // Called on a root layer whenever something in its tree changes how it looks, with the
    // affected area in the root's superlayer space. The host window repaints just that area.
    using ChangeHandler = std::function<void(const Rect& dirty)>;
    // `wantsAreas`, when given, is asked before an area is measured: a listener that is about to
    // repaint everything anyway answers false, and changes then cost no measuring.
    void setChangeHandler(ChangeHandler handler, std::function<bool()> wantsAreas = {});
    // Reports this layer's drawn area (e.g. after its drawing inputs changed).
    void setNeedsDisplay();
    // Reports the area again without anything having changed (a picture drawn elsewhere is ready).
    void setNeedsRepaint() const;

    // --- Drawing off the main thread
    // A copy of this layer and its subtree that shares nothing mutable with it, for another thread
    // to draw while this tree changes. Copies keep this layer's identity and content version, so
    // a renderer's kept pictures of runs stay valid from one copy to the next.
    LayerPtr snapshotTree() const;
    // The window draws this layer's subtree on a worker from snapshots and shows the last
    // finished picture (graphics/off_thread_picture.h). Other renders draw it as usual.
    void setDrawnOffMainThread(bool on);
    const std::shared_ptr<OffThreadPicture>& offThreadPicture() const;
    // The same for a layer and all its snapshot copies; lives as long as any of them.
    const std::shared_ptr<const char>& identity() const;

  protected:
    // Reports the area this layer and its visible sublayers cover, if anyone listens.
    void invalidate();
    // A new layer of this type holding a copy of what drawInContext draws from; snapshotTree
    // copies the rest. Types that draw without overriding it are copied as a plain picture of
    // their drawing, made here on the calling thread.
    virtual LayerPtr makeSnapshot() const;

  private:
    template <class> friend class SiblingList;

    // Below this many sublayers, a plain walk costs less than keeping a list of the drawn ones.
    static constexpr std::size_t manyToDraw = 256;

    void attach(const LayerPtr& layer);
    void detachChild(const Layer* child);
    // Puts `layer` directly above `under` (null: at the bottom), taking it from where it was.
    void insertSublayerOver(const LayerPtr& layer, const Layer* under);
    void resizeSublayers(Size oldSize, Size newSize);
    // A sublayer came, went, or changed whether or where it is drawn among its siblings.
    void sublayersChanged();
    // Puts the kept list of drawn sublayers in step with the tree.
    void refreshDrawnList() const;
    // The rectangle setFrame() takes for the current geometry (the frame before any turn).
    Rect frameAsSet() const;
    // The area this layer and its visible sublayers may touch, given the map of its bounds space
    // into the root's superlayer space.
    Rect subtreeBounds(const AffineTransform& toRoot) const;

    struct Listener {
        ChangeHandler changed;
        std::function<bool()> wantsAreas;
    };

    Rect bounds_;
    Point position_;
    Point anchorPoint_{0.5, 0.5};
    AffineTransform transform_;
    double zPosition_ = 0;
    bool geometryFlipped_ = false;
    unsigned autoresizingMask_ = AutoresizeNone;

    double opacity_ = 1;
    bool hidden_ = false;
    bool masksToBounds_ = false;
    Colour backgroundColour_ = Colour::clear();
    QImage contents_;
    double contentsScale_ = 1;
    bool cachesSublayers_ = false;
    // A snapshot copy of a layer with live content: drawn as live, so it ends runs alike.
    bool liveCopy_ = false;
    // drawnExtent(), outward-rounded to floats (kept small: a deck has many layers); stale until
    // measured and again after any change in the subtree.
    mutable bool extentStale_ = true;
    mutable float extent_[4] = {};
    std::atomic<std::uint64_t> contentVersion_{0};

    // Cleared by the superlayer when it lets go of this layer or dies, so never dangling.
    Layer* superlayer_ = nullptr;
    SiblingList<Layer> sublayers_;
    SiblingLink<Layer> siblingLink_;
    // Only a root that someone watches has one.
    std::unique_ptr<Listener> listener_;
    // Made when first asked for: most layers are never drawn in runs or copied.
    mutable std::shared_ptr<const char> identity_;
    // What few layers have, kept apart so that the many plain ones stay small.
    struct Rare {
        std::string name;
        std::vector<ContentFilterPtr> contentFilters;
        std::vector<std::pair<std::string, KeyframeAnimation>> animations;
        std::shared_ptr<OffThreadPicture> offThread;
        // Borders and rounded corners: a deck's tiles have them, its many other layers not.
        double borderWidth = 0;
        Colour borderColour = Colour::black();
        double cornerRadius = 0;
        bool hasOutline() const {
            return borderWidth != 0 || cornerRadius != 0 || !(borderColour == Colour::black());
        }
    };
    Rare& rare();
    std::unique_ptr<Rare> rare_;
    struct Drawn;
    mutable std::unique_ptr<Drawn> drawn_;
};

} // namespace qrn::graphics
