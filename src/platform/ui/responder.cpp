#include "platform/ui/responder.h"

namespace qrn::ui {

void Responder::dispatch(const Event& e) {
    switch (e.type) {
    case EventType::MouseDown:
        return mouseDown(e);
    case EventType::MouseUp:
        return mouseUp(e);
    case EventType::MouseDragged:
        return mouseDragged(e);
    case EventType::MouseMoved:
        return mouseMoved(e);
    case EventType::RightMouseDown:
        return rightMouseDown(e);
    case EventType::RightMouseUp:
        return rightMouseUp(e);
    case EventType::RightMouseDragged:
        return rightMouseDragged(e);
    case EventType::MouseEntered:
        return mouseEntered(e);
    case EventType::MouseExited:
        return mouseExited(e);
    case EventType::ScrollWheel:
        return scrollWheel(e);
    case EventType::KeyDown:
        return keyDown(e);
    case EventType::KeyUp:
        return keyUp(e);
    case EventType::FlagsChanged:
        return flagsChanged(e);
    }
}

} // namespace qrn::ui
