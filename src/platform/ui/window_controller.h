#pragma once
// A window controller owns one window (made on first use) and shows and closes it.
#include <memory>
#include <string>

#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace qrn::ui {

class WindowController;
using WindowControllerPtr = std::shared_ptr<WindowController>;

class WindowController : public std::enable_shared_from_this<WindowController>, private WindowDelegate {
  public:
    WindowController() = default;
    ~WindowController() override;

    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string id) { identifier_ = std::move(id); }

    // Made by makeWindow() on first use, then windowDidLoad().
    const WindowPtr& window();
    bool isWindowLoaded() const { return window_ != nullptr; }
    ViewControllerPtr contentViewController() const { return content_; }
    void setContentViewController(ViewControllerPtr controller);

    // Shows the window and keeps this controller alive until the window closes.
    void showWindow();
    void close();
    // Passed the window's notifications after the controller's own handling.
    void setWindowDelegate(WindowDelegate* d) { forward_ = d; }

  protected:
    virtual WindowPtr makeWindow() { return Window::make(); }
    virtual void windowDidLoad() {}
    virtual void windowWillClose() {}

  private:
    bool windowShouldClose(Window& w) override { return forward_ ? forward_->windowShouldClose(w) : true; }
    void windowWillClose(Window& w) override;
    void windowDidMove(Window& w) override {
        if (forward_)
            forward_->windowDidMove(w);
    }
    void windowDidResize(Window& w) override {
        if (forward_)
            forward_->windowDidResize(w);
    }
    void windowDidEndLiveResize(Window& w) override {
        if (forward_)
            forward_->windowDidEndLiveResize(w);
    }
    void windowWillMiniaturize(Window& w) override {
        if (forward_)
            forward_->windowWillMiniaturize(w);
    }
    void windowDidDeminiaturize(Window& w) override {
        if (forward_)
            forward_->windowDidDeminiaturize(w);
    }
    void windowDidBecomeKey(Window& w) override {
        if (forward_)
            forward_->windowDidBecomeKey(w);
    }
    void windowDidResignKey(Window& w) override {
        if (forward_)
            forward_->windowDidResignKey(w);
    }

    std::string identifier_;
    WindowPtr window_;
    ViewControllerPtr content_;
    WindowDelegate* forward_ = nullptr;
    WindowControllerPtr selfWhileShown_;
};

} // namespace qrn::ui
