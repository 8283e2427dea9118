#pragma once
// Whether a main window (landing screen, editor or studio) is open, and opening one when a
// command needs it.
#include <memory>

namespace qrn::ui {
class Window;
}

class mainWindowClass {
  public:
    void setAWindowIsOpen(bool value);
    bool getAWindowIsOpen();
    // Shows a new window from "mainWindowController" when none is open.
    void openWindowIfNecessary();

    // The main window shown last (null once it is gone).
    std::shared_ptr<qrn::ui::Window> getCurrentMainWindow();
    void setCurrentMainWindow(const std::shared_ptr<qrn::ui::Window>& window);
};
