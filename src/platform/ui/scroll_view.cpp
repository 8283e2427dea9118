#include "platform/ui/scroll_view.h"

#include <QPainter>

#include <algorithm>

#include "platform/ui/control.h"

namespace qrn::ui {

namespace {
constexpr double kScrollerWidth = 8;
}

// A thin overlay scroller: shows where the visible part lies and can be dragged.
class Scroller : public View {
  public:
    Scroller(ScrollView& owner, bool vertical) : owner_(owner), vertical_(vertical) {}

    void draw(QPainter& painter, const Rect&) override {
        const Rect visible = owner_.documentVisibleRect();
        const ViewPtr& doc = owner_.documentView();
        if (!doc)
            return;
        const Rect docBounds = doc->bounds();
        const double total = vertical_ ? docBounds.size.height : docBounds.size.width;
        const double shown = vertical_ ? visible.size.height : visible.size.width;
        if (total <= shown + 0.5)
            return; // nothing to scroll
        paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
            const double length = vertical_ ? b.height() : b.width();
            const double knob = std::max(20.0, length * shown / total);
            double start = vertical_ ? visible.origin.y : visible.origin.x;
            double f = start / std::max(1.0, total - shown);
            // In an upright (y-up) document the top is the highest offset.
            if (vertical_ && !owner_.contentView()->isFlipped())
                f = 1 - f;
            f = std::clamp(f, 0.0, 1.0);
            const QRectF r = vertical_
                                 ? QRectF(b.left() + 1, b.top() + f * (length - knob), b.width() - 2, knob)
                                 : QRectF(b.left() + f * (length - knob), b.top() + 1, knob, b.height() - 2);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 110));
            p.drawRoundedRect(r, 3, 3);
        });
    }
    void mouseDown(const Event& e) override { dragFrom_ = e.locationInWindow; }
    void mouseDragged(const Event& e) override {
        const ViewPtr& doc = owner_.documentView();
        if (!doc)
            return;
        const Rect visible = owner_.documentVisibleRect();
        const double length = vertical_ ? bounds().size.height : bounds().size.width;
        const double total = vertical_ ? doc->bounds().size.height : doc->bounds().size.width;
        const double moved =
            vertical_ ? e.locationInWindow.y - dragFrom_.y : e.locationInWindow.x - dragFrom_.x;
        dragFrom_ = e.locationInWindow;
        const double delta = moved * total / std::max(1.0, length);
        Point p = visible.origin;
        if (vertical_)
            p.y += owner_.contentView()->isFlipped() ? -delta : delta;
        else
            p.x += delta;
        owner_.scrollToPoint(p);
    }

  private:
    ScrollView& owner_;
    bool vertical_;
    Point dragFrom_;
};

ClipView::ClipView(const Rect& frame) : View(frame) {
    layer()->setMasksToBounds(true);
    setAutoresizesSubviews(false);
}

void ClipView::setDocumentView(const ViewPtr& document) {
    if (document_ == document)
        return;
    if (document_)
        document_->removeFromSuperview();
    document_ = document;
    if (document_) {
        setFlipped(alwaysFlipped_ || document_->isFlipped());
        document_->setFrameOrigin({0, 0});
        addSubview(document_);
    }
    scrollToPoint(isFlipped() || !document_ ? Point{0, 0}
                                            : Point{0, document_->frame().height() - bounds().size.height});
}

void ClipView::setAlwaysFlipped(bool on) {
    alwaysFlipped_ = on;
    setFlipped(on || (document_ && document_->isFlipped()));
}

Point ClipView::constrainScrollPoint(Point p) const {
    if (!document_)
        return {0, 0};
    const Rect doc = document_->frame();
    const Size clip = bounds().size;
    const double maxX = std::max(doc.minX(), doc.maxX() - clip.width);
    const double maxY = std::max(doc.minY(), doc.maxY() - clip.height);
    return {std::clamp(p.x, doc.minX(), maxX), std::clamp(p.y, doc.minY(), maxY)};
}

void ClipView::scrollToPoint(Point point) {
    const Point p = constrainScrollPoint(point);
    if (p == bounds().origin)
        return;
    setBoundsOrigin(p);
    if (auto scroll = std::dynamic_pointer_cast<ScrollView>(superview()))
        scroll->reflectScrolledClipView();
}

Rect ClipView::documentVisibleRect() const {
    if (!document_)
        return {};
    return convertRectToView(bounds(), document_.get()).intersection(document_->bounds());
}

bool ClipView::scrollRectToVisible(const Rect& rect) {
    if (!document_)
        return false;
    // In the clip view's own space, where the bounds origin is the scroll offset.
    const Rect wanted = document_->convertRectToView(rect, this);
    const Rect shown = bounds();
    const auto along = [](double start, double length, double from, double to) {
        if (to - from > length || from < start)
            return from;
        return to > start + length ? to - length : start;
    };
    const Point p{along(shown.origin.x, shown.size.width, wanted.minX(), wanted.maxX()),
                  along(shown.origin.y, shown.size.height, wanted.minY(), wanted.maxY())};
    const Point before = shown.origin;
    scrollToPoint(p);
    return !(bounds().origin == before);
}

void ClipView::frameDidChange(const Rect&) {
    scrollToPoint(bounds().origin);
}

void ClipView::subviewFrameDidChange(View& subview, const Rect&) {
    // A document that shrank would otherwise stay scrolled past its end, showing nothing.
    if (&subview == document_.get())
        scrollToPoint(bounds().origin);
}

ScrollView::ScrollView(const Rect& frame) : View(frame) {
    clip_ = ClipView::make(Rect({0, 0}, frame.size));
    addSubview(clip_);
    verticalScroller_ = std::make_shared<Scroller>(*this, true);
    horizontalScroller_ = std::make_shared<Scroller>(*this, false);
    tile();
}

void ScrollView::setContentView(const std::shared_ptr<ClipView>& clip) {
    ViewPtr doc = clip_->documentView();
    clip_->setDocumentView(nullptr);
    clip_->removeFromSuperview();
    clip_ = clip;
    addSubview(clip_, Ordering::Below, nullptr);
    if (doc)
        clip_->setDocumentView(doc);
    tile();
}

void ScrollView::setDocumentView(const ViewPtr& document) {
    clip_->setDocumentView(document);
    reflectScrolledClipView();
}

void ScrollView::setHasVerticalScroller(bool on) {
    vertical_ = on;
    tile();
}

void ScrollView::setHasHorizontalScroller(bool on) {
    horizontal_ = on;
    tile();
}

void ScrollView::setDrawsBackground(bool on) {
    drawsBackground_ = on;
    setNeedsDisplay();
}

void ScrollView::scrollToTop() {
    const ViewPtr& doc = documentView();
    if (!doc)
        return;
    clip_->scrollToPoint(clip_->isFlipped() ? Point{0, 0} : Point{0, doc->frame().maxY()});
}

void ScrollView::tile() {
    const Size s = bounds().size;
    // Overlay scrollers: the clip view keeps the whole area.
    clip_->setFrame(Rect({0, 0}, s));
    if (vertical_) {
        verticalScroller_->setFrame(Rect(s.width - kScrollerWidth, horizontal_ ? kScrollerWidth : 0,
                                         kScrollerWidth,
                                         std::max(0.0, s.height - (horizontal_ ? kScrollerWidth : 0))));
        if (!verticalScroller_->superview())
            addSubview(verticalScroller_);
    } else {
        verticalScroller_->removeFromSuperview();
    }
    if (horizontal_) {
        horizontalScroller_->setFrame(
            Rect(0, 0, std::max(0.0, s.width - (vertical_ ? kScrollerWidth : 0)), kScrollerWidth));
        if (!horizontalScroller_->superview())
            addSubview(horizontalScroller_);
    } else {
        horizontalScroller_->removeFromSuperview();
    }
    reflectScrolledClipView();
}

void ScrollView::reflectScrolledClipView() {
    verticalScroller_->setNeedsDisplay();
    horizontalScroller_->setNeedsDisplay();
}

void ScrollView::frameDidChange(const Rect&) {
    tile();
}

void ScrollView::scrollWheel(const Event& e) {
    if (!documentView())
        return View::scrollWheel(e);
    Point p = clip_->bounds().origin;
    // A row that can only move sideways (a strip of tiles) follows any wheel, so that a plain
    // mouse wheel reaches the tiles beyond the edge; away from the user goes towards the start.
    const Rect doc = documentView()->frame();
    const Size clip = clip_->bounds().size;
    const bool sidewaysOnly =
        !vertical_ && doc.height() <= clip.height + 0.5 && doc.width() > clip.width + 0.5;
    if (sidewaysOnly) {
        p.x -= e.scrollingDeltaX != 0 ? e.scrollingDeltaX : e.scrollingDeltaY;
        clip_->scrollToPoint(p);
        return;
    }
    if (vertical_ || !horizontal_)
        p.y += clip_->isFlipped() ? -e.scrollingDeltaY : e.scrollingDeltaY;
    if (horizontal_)
        p.x -= e.scrollingDeltaX;
    clip_->scrollToPoint(p);
}

void ScrollView::draw(QPainter& painter, const Rect&) {
    if (!drawsBackground_)
        return;
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        p.fillRect(b, control_colours::controlBackground().toQColor());
    });
}

} // namespace qrn::ui
