#pragma once
// Switches the mouse cursor for hovered controls; remembers the main window last seen.
#include <memory>
#include <optional>

#include "platform/ui/cursor.h"

namespace qrn::ui {
class Window;
}

class mouseCursorClass {
  public:
    mouseCursorClass();
    // None gives the arrow.
    void changeCursor(std::optional<qrn::ui::CursorShape> cursor);
    std::shared_ptr<qrn::ui::Window> getCachedMainWindow();

  private:
    std::shared_ptr<qrn::ui::Window> mainWindowCache();
};
