#include "platform/ui/event.h"

#include "platform/foundation/main_queue.h"

namespace qrn::ui {

Event Event::mouse(EventType type, Point location, unsigned modifiers, int clickCount) {
    Event e;
    e.type = type;
    e.locationInWindow = location;
    e.modifierFlags = modifiers;
    e.clickCount = clickCount;
    e.timestamp = MainQueue::now();
    return e;
}

Event Event::key(EventType type, int keyCode, std::string characters, unsigned modifiers) {
    Event e;
    e.type = type;
    e.keyCode = keyCode;
    e.characters = characters;
    e.charactersIgnoringModifiers = std::move(characters);
    e.modifierFlags = modifiers;
    e.timestamp = MainQueue::now();
    return e;
}

} // namespace qrn::ui
