#pragma once
// The script pane ("scriptView") and the script window ("autocueWindow"): their views; the
// logic is autocueClass's.
#include <functional>
#include <memory>

#include "platform/ui/view_controller.h"
#include "platform/ui/window_controller.h"

namespace qrn::ui {
class ScrollView;
}
class svgButtonClass;

class autocueViewController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::ScrollView> textField;
    std::shared_ptr<qrn::ui::View> textFieldOverlay;
    std::shared_ptr<svgButtonClass> textFieldOverlayIcon;
    std::shared_ptr<svgButtonClass> textFieldIsEmptyIcon;

    // The strip along the top of the pane whose click opens the window.
    static constexpr double headerHeight = 40;

  protected:
    void loadView() override;
    void viewDidLoad() override;
};

class autocueWindowViewController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::ScrollView> textField;

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewDidDisappear() override;
};

class autocueWindowController : public qrn::ui::WindowController {
  public:
    autocueWindowController();
    // Set at start-up: gives the window the platform's copy of the main menu.
    static void setWindowPreparer(std::function<void(qrn::ui::Window&)> preparer);

  protected:
    qrn::ui::WindowPtr makeWindow() override;
    void windowDidLoad() override;
    void windowWillClose() override;

  private:
    struct keyWatcher : qrn::ui::WindowDelegate {
        void windowDidBecomeKey(qrn::ui::Window&) override;
    } watcher_;
};
