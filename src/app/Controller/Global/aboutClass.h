#pragma once
// Closes the about box when the application closes its secondary windows.
#include <memory>

namespace qrn::ui {
class ViewController;
}

class aboutClass {
  public:
    void closeWindow();
    // The about controller shown last; kept after its window closes.
    static void setCurrentAboutController(const std::shared_ptr<qrn::ui::ViewController>& controller);
    static std::shared_ptr<qrn::ui::ViewController> getCurrentAboutController();
};
