#pragma once
// Scroll views: a clip view shows part of a document view; the clip view's bounds origin is the
// scroll offset. A clip view takes its orientation from its document view (a flipped document
// starts at the top), unless it is flipped itself.
#include <memory>

#include "platform/ui/view.h"

namespace qrn::ui {

class ClipView : public View {
  public:
    explicit ClipView(const Rect& frame = {});
    static std::shared_ptr<ClipView> make(const Rect& frame = {}) {
        return std::make_shared<ClipView>(frame);
    }

    const ViewPtr& documentView() const { return document_; }
    void setDocumentView(const ViewPtr& document);
    // Keeps the clip view flipped whatever its document says.
    void setAlwaysFlipped(bool on);
    // Scrolls so that `point` (document space) is the clip view's origin, within the limits.
    void scrollToPoint(Point point);
    // The nearest offset that keeps the document filling the clip view where it can.
    Point constrainScrollPoint(Point proposed) const;
    // The part of the document shown, in document space.
    Rect documentVisibleRect() const;
    // Scrolls as little as it takes to show `rect` (document space) whole, or its start when it
    // is larger than the clip view. False when nothing moved.
    bool scrollRectToVisible(const Rect& rect);
    void frameDidChange(const Rect& oldFrame) override;
    void subviewFrameDidChange(View& subview, const Rect& oldFrame) override;

  private:
    ViewPtr document_;
    bool alwaysFlipped_ = false;
};

class Scroller;

class ScrollView : public View {
  public:
    explicit ScrollView(const Rect& frame = {});
    static std::shared_ptr<ScrollView> make(const Rect& frame = {}) {
        return std::make_shared<ScrollView>(frame);
    }

    const std::shared_ptr<ClipView>& contentView() const { return clip_; }
    // Replaces the clip view (a flipped one, say), keeping the document view.
    void setContentView(const std::shared_ptr<ClipView>& clip);
    const ViewPtr& documentView() const { return clip_->documentView(); }
    void setDocumentView(const ViewPtr& document);
    bool hasVerticalScroller() const { return vertical_; }
    void setHasVerticalScroller(bool on);
    bool hasHorizontalScroller() const { return horizontal_; }
    void setHasHorizontalScroller(bool on);
    Rect documentVisibleRect() const { return clip_->documentVisibleRect(); }
    // Moves the document so that `point` is the visible origin.
    void scrollToPoint(Point point) { clip_->scrollToPoint(point); }
    // Scrolls to the top of the document (its highest y unless flipped).
    void scrollToTop();
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool on);

    void scrollWheel(const Event& e) override;
    void frameDidChange(const Rect& oldFrame) override;
    void draw(QPainter& painter, const Rect& dirty) override;
    // Keeps the scroller knobs in step after the clip view moved.
    void reflectScrolledClipView();

  private:
    void tile();
    std::shared_ptr<ClipView> clip_;
    std::shared_ptr<Scroller> verticalScroller_;
    std::shared_ptr<Scroller> horizontalScroller_;
    bool vertical_ = false;
    bool horizontal_ = false;
    bool drawsBackground_ = false;
};

} // namespace qrn::ui
