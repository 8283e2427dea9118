#pragma once
// The editing screen's root controller ("viewLoader"). For now it holds the project without
// showing its slides: it opens or starts the project, names itself the active screen, records
// its window and cleans up when the window closes.
#include <memory>

#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

class screenTitleBarAccessoryViewController;

class viewLoaderController : public qrn::ui::ViewController, public qrn::ui::WindowDelegate {
  public:
    void windowWillClose(qrn::ui::Window& w) override;
    void windowDidMove(qrn::ui::Window& w) override;
    void windowDidResize(qrn::ui::Window& w) override;
    void windowDidBecomeKey(qrn::ui::Window& w) override;

    // The title-bar accessory the editing screen added to the main window, if any.
    static std::shared_ptr<screenTitleBarAccessoryViewController> getTitleBarAccessory();

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear() override;
};
