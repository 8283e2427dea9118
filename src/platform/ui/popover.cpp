#include <QPainter>

#include <algorithm>

#include "platform/ui/control.h"
#include "platform/ui/popover.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace qrn::ui {

namespace {
constexpr double kArrowGap = 6;
}

// The panel itself: a rounded background holding the content view.
class PopoverFrameView : public View {
  public:
    PopoverFrameView() { setNeedsDisplay(); }
    void draw(QPainter& painter, const Rect&) override {
        paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
            p.setPen(QPen(control_colours::controlBorder().toQColor(), 1));
            p.setBrush(control_colours::controlBackground().toQColor().lighter(115));
            p.drawRoundedRect(b.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        });
    }
    // Clicks on the panel's own background stay with it.
    void mouseDown(const Event&) override {}
    void rightMouseDown(const Event&) override {}
};

// Covers the whole window under the panel, so a click anywhere else reaches the popover first.
// The click that closes it then goes on to the view under it, as if the panel had not been there.
class PopoverCatcherView : public View {
  public:
    explicit PopoverCatcherView(Popover& owner) : owner_(owner) {
        setAutoresizingMask(WidthSizable | HeightSizable);
    }
    void mouseDown(const Event& e) override { closeAndPassOn(e); }
    // The window changed size under the panel: its anchor has moved, and the part of the window
    // that grew would not reach the catcher. The user resizing is a touch outside, as a click is.
    void resizeWithOldSuperviewSize(Size oldSize) override {
        View::resizeWithOldSuperviewSize(oldSize);
        if (owner_.isShown())
            owner_.clickedOutside();
    }
    void rightMouseDown(const Event& e) override { closeAndPassOn(e); }
    void scrollWheel(const Event&) override {}
    Popover& owner() const { return owner_; }

  private:
    void closeAndPassOn(const Event& e) {
        Window* w = window();
        owner_.clickedOutside();
        // Still shown: the popover refused to close, and the click stays with it.
        if (w && !owner_.isShown() && superviewPointer() == nullptr)
            w->sendEvent(e);
    }
    Popover& owner_;
};

Popover::Popover()
    : frame_(std::make_shared<PopoverFrameView>()), catcher_(std::make_shared<PopoverCatcherView>(*this)) {}

Popover::~Popover() {
    frame_->removeFromSuperview();
    catcher_->removeFromSuperview();
}

void Popover::setContentViewController(std::shared_ptr<ViewController> controller) {
    if (content_ && content_->isViewLoaded())
        content_->view()->removeFromSuperview();
    content_ = std::move(controller);
}

void Popover::show(const Rect& rect, View& anchor, RectEdge edge) {
    Window* window = anchor.window();
    if (!window || !content_)
        return;
    const ViewPtr& root = window->frameView();
    const ViewPtr& contentView = content_->view();
    const Size size = contentSize_ ? *contentSize_ : contentView->frame().size;
    const Rect target = root->convertRectFromView(anchor.convertRectToView(rect, nullptr), nullptr);

    Point origin;
    switch (edge) {
    case RectEdge::maxX:
        origin = {target.maxX() + kArrowGap, target.midY() - size.height / 2};
        break;
    case RectEdge::minX:
        origin = {target.minX() - kArrowGap - size.width, target.midY() - size.height / 2};
        break;
    case RectEdge::maxY:
        origin = {target.midX() - size.width / 2,
                  root->isFlipped() ? target.minY() - kArrowGap - size.height : target.maxY() + kArrowGap};
        break;
    case RectEdge::minY:
        origin = {target.midX() - size.width / 2,
                  root->isFlipped() ? target.maxY() + kArrowGap : target.minY() - kArrowGap - size.height};
        break;
    }
    // Keep the panel inside the window.
    const Rect area = root->bounds();
    origin.x = std::clamp(origin.x, area.minX(), std::max(area.minX(), area.maxX() - size.width));
    origin.y = std::clamp(origin.y, area.minY(), std::max(area.minY(), area.maxY() - size.height));

    catcher_->setFrame(area);
    frame_->setFrame(Rect(origin, size));
    contentView->setFrame(Rect({0, 0}, size));
    if (contentView->superviewPointer() != frame_.get())
        frame_->addSubview(contentView);
    if (behaviour_ != PopoverBehaviour::applicationDefined)
        root->addSubview(catcher_);
    else
        catcher_->removeFromSuperview();
    root->addSubview(frame_);
    shown_ = true;
}

Rect Popover::frameInWindow() const {
    if (!shown_)
        return {};
    return frame_->convertRectToView(frame_->bounds(), nullptr);
}

void Popover::close() {
    if (!shown_)
        return;
    if (willClose_)
        willClose_(*this);
    shown_ = false;
    frame_->removeFromSuperview();
    catcher_->removeFromSuperview();
    if (didClose_)
        didClose_(*this);
}

void Popover::performClose() {
    if (!shown_)
        return;
    if (shouldClose_ && !shouldClose_(*this))
        return;
    close();
}

bool Popover::cancelShownIn(Window& window) {
    const std::vector<ViewPtr> above = window.frameView()->subviews();
    for (auto it = above.rbegin(); it != above.rend(); ++it)
        if (auto* catcher = dynamic_cast<PopoverCatcherView*>(it->get());
            catcher && catcher->owner().isShown()) {
            catcher->owner().clickedOutside();
            return true;
        }
    return false;
}

void Popover::clickedOutside() {
    if (behaviour_ != PopoverBehaviour::applicationDefined)
        performClose();
}

} // namespace qrn::ui
