#pragma once
// The editing screen's controller as the rest of the program holds it.
#include <memory>

namespace qrn::ui {
class ViewController;
}

class viewLoaderClass {
  public:
    // Null lets the controller go (the application does so when it ends).
    void setViewLoaderController(std::shared_ptr<qrn::ui::ViewController> controller);
    std::shared_ptr<qrn::ui::ViewController> getViewLoaderController();
};
