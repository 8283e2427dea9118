#pragma once
// The main window: made with the landing screen as its content, it forwards its delegate
// calls to whichever screen it shows, so each screen hears its own window.
#include <functional>

#include "platform/ui/window_controller.h"

class mainWindowController : public qrn::ui::WindowController {
  public:
    // Where a new main window goes and what it carries besides its content (the host installs
    // this: the menu bar and the frame on the screen).
    static void setWindowPreparer(std::function<void(qrn::ui::Window&)> preparer);
    // The screen becomes its window's delegate: directly in a window of its own, through the
    // forwarding in a main window.
    static void makeScreenTheWindowDelegate(qrn::ui::ViewController& screen);

  protected:
    qrn::ui::WindowPtr makeWindow() override;
    void windowDidLoad() override;

  private:
    class contentForwarder : public qrn::ui::WindowDelegate {
      public:
        bool windowShouldClose(qrn::ui::Window& w) override;
        void windowWillClose(qrn::ui::Window& w) override;
        void windowDidMove(qrn::ui::Window& w) override;
        void windowDidResize(qrn::ui::Window& w) override;
        void windowDidEndLiveResize(qrn::ui::Window& w) override;
        void windowWillMiniaturize(qrn::ui::Window& w) override;
        void windowDidDeminiaturize(qrn::ui::Window& w) override;
        void windowDidBecomeKey(qrn::ui::Window& w) override;
        void windowDidResignKey(qrn::ui::Window& w) override;
    };
    contentForwarder forwarder_;
};
