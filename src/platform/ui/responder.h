#pragma once
// The responder chain: an event a responder does not handle goes to its next responder
// (superview ... the window's content view, its view controller, the window). A handler that
// takes an event simply does not call the base implementation.
#include "platform/ui/event.h"

namespace qrn::ui {

class Responder {
  public:
    virtual ~Responder() = default;

    virtual Responder* nextResponder() const { return nullptr; }
    virtual bool acceptsFirstResponder() const { return false; }
    // Asked when the window makes this the first responder or moves away from it.
    virtual bool becomeFirstResponder() { return true; }
    virtual bool resignFirstResponder() { return true; }

    virtual void mouseDown(const Event& e) { passOn(&Responder::mouseDown, e); }
    virtual void mouseUp(const Event& e) { passOn(&Responder::mouseUp, e); }
    virtual void mouseDragged(const Event& e) { passOn(&Responder::mouseDragged, e); }
    virtual void mouseMoved(const Event& e) { passOn(&Responder::mouseMoved, e); }
    virtual void rightMouseDown(const Event& e) { passOn(&Responder::rightMouseDown, e); }
    virtual void rightMouseUp(const Event& e) { passOn(&Responder::rightMouseUp, e); }
    virtual void rightMouseDragged(const Event& e) { passOn(&Responder::rightMouseDragged, e); }
    // Entered and exited go to the tracking area's owner only; they do not travel on.
    virtual void mouseEntered(const Event&) {}
    virtual void mouseExited(const Event&) {}
    virtual void scrollWheel(const Event& e) { passOn(&Responder::scrollWheel, e); }
    virtual void keyDown(const Event& e) { passOn(&Responder::keyDown, e); }
    virtual void keyUp(const Event& e) { passOn(&Responder::keyUp, e); }
    virtual void flagsChanged(const Event& e) { passOn(&Responder::flagsChanged, e); }

    // Calls the handler for the event's type on this responder.
    void dispatch(const Event& e);

  protected:
    void passOn(void (Responder::*handler)(const Event&), const Event& e) {
        if (Responder* next = nextResponder())
            (next->*handler)(e);
    }
};

} // namespace qrn::ui
