#pragma once
// The mouse cursor: one current shape, replaced by each call (there is no stack to grow).
#include <functional>

namespace qrn::ui {

enum class CursorShape {
    Arrow,
    PointingHand,
    ClosedHand,
    OpenHand,
    IBeam,
    Crosshair,
    ResizeLeftRight,
    ResizeUpDown,
    // The arrow with a small menu beside it: a click here offers a menu.
    ContextualMenu
};

class Cursor {
  public:
    static void set(CursorShape shape);
    static CursorShape current();
    // The host shows the shape; called at each change.
    static void setApplier(std::function<void(CursorShape)> applier);
};

} // namespace qrn::ui
