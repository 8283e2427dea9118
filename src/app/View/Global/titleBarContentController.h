#pragma once
// A screen's row of title-bar buttons; the accessory shows one at a time and sets it up through
// loadContent() each time its screen is shown.
#include "platform/ui/view_controller.h"

class titleBarContentController : public qrn::ui::ViewController {
  public:
    virtual void loadContent() = 0;
};
