#include "platform/ui/cursor.h"

namespace qrn::ui {

namespace {
CursorShape currentShape = CursorShape::Arrow;
std::function<void(CursorShape)> cursorApplier;
} // namespace

void Cursor::set(CursorShape shape) {
    currentShape = shape;
    if (cursorApplier)
        cursorApplier(shape);
}

CursorShape Cursor::current() {
    return currentShape;
}

void Cursor::setApplier(std::function<void(CursorShape)> applier) {
    cursorApplier = std::move(applier);
}

} // namespace qrn::ui
