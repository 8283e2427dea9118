#pragma once
// Input events as views see them: locations in window space (origin bottom-left, y up), with the
// key codes and modifier bits of the desktop convention the rest of the program is written for.
#include <memory>
#include <string>

#include "platform/foundation/geometry.h"

namespace qrn::ui {

class Window;
class TrackingArea;

enum class EventType {
    MouseDown,
    MouseUp,
    MouseDragged,
    MouseMoved,
    RightMouseDown,
    RightMouseUp,
    RightMouseDragged,
    MouseEntered,
    MouseExited,
    ScrollWheel,
    KeyDown,
    KeyUp,
    FlagsChanged,
};

// Modifier bits.
enum ModifierFlag : unsigned {
    ModifierNone = 0,
    ModifierCapsLock = 0x10000,
    ModifierShift = 0x20000,
    ModifierControl = 0x40000,
    ModifierOption = 0x80000,
    ModifierCommand = 0x100000,
};

// Hardware-independent key codes (the host maps its keys onto these).
namespace keycode {
constexpr int A = 0, S = 1, D = 2, F = 3, H = 4, G = 5, Z = 6, X = 7, C = 8, V = 9, B = 11, Q = 12, W = 13,
              E = 14, R = 15, Y = 16, T = 17, One = 18, Two = 19, Three = 20, Four = 21, Six = 22, Five = 23,
              Equal = 24, Nine = 25, Seven = 26, Minus = 27, Eight = 28, Zero = 29, O = 31, U = 32, I = 34,
              P = 35, L = 37, J = 38, K = 40, N = 45, M = 46;
constexpr int Return = 36, Tab = 48, Space = 49, Delete = 51, Escape = 53, Command = 55, Shift = 56,
              CapsLock = 57, Option = 58, Control = 59, RightCommand = 54, RightShift = 60, RightOption = 61,
              RightControl = 62, ForwardDelete = 117, Home = 115, End = 119, PageUp = 116, PageDown = 121,
              LeftArrow = 123, RightArrow = 124, DownArrow = 125, UpArrow = 126;
constexpr int Unknown = -1;
} // namespace keycode

struct Event {
    EventType type = EventType::MouseMoved;
    Point locationInWindow;
    unsigned modifierFlags = ModifierNone;
    int keyCode = keycode::Unknown;
    // Text the key produced (UTF-8), and without modifiers applied.
    std::string characters;
    std::string charactersIgnoringModifiers;
    bool isRepeat = false;
    int clickCount = 0;
    // Wheel movement in points: positive y when the wheel turns away from the user.
    double scrollingDeltaX = 0, scrollingDeltaY = 0;
    double timestamp = 0;
    Window* window = nullptr;
    // Set on entered/exited/moved events that a tracking area produced.
    std::shared_ptr<TrackingArea> trackingArea;

    bool hasModifier(unsigned flag) const { return (modifierFlags & flag) != 0; }
    static Event mouse(EventType type, Point location, unsigned modifiers = 0, int clickCount = 1);
    static Event key(EventType type, int keyCode, std::string characters = {}, unsigned modifiers = 0);
};

} // namespace qrn::ui
