#include "platform/ui/window_controller.h"

namespace qrn::ui {

WindowController::~WindowController() {
    if (window_ && window_->delegate() == this)
        window_->setDelegate(nullptr);
}

const WindowPtr& WindowController::window() {
    if (!window_) {
        window_ = makeWindow();
        if (!window_)
            window_ = Window::make();
        window_->setDelegate(this);
        if (content_)
            window_->setContentViewController(content_);
        windowDidLoad();
    }
    return window_;
}

void WindowController::setContentViewController(ViewControllerPtr controller) {
    content_ = std::move(controller);
    if (window_)
        window_->setContentViewController(content_);
}

void WindowController::showWindow() {
    selfWhileShown_ = weak_from_this().lock();
    window()->makeKeyAndOrderFront();
}

void WindowController::close() {
    if (window_)
        window_->close();
}

void WindowController::windowWillClose(Window& w) {
    windowWillClose();
    if (forward_)
        forward_->windowWillClose(w);
    // Let go once the close has finished with us.
    if (auto self = std::move(selfWhileShown_))
        MainQueue::after(0, [self]() {});
}

} // namespace qrn::ui
