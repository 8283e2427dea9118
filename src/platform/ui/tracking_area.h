#pragma once
// A region of a view that reports the pointer entering, leaving and moving inside it.
#include <memory>

#include "platform/foundation/geometry.h"
#include "platform/foundation/value.h"

namespace qrn::ui {

class View;
class Responder;

enum TrackingOption : unsigned {
    TrackingMouseEnteredAndExited = 0x01,
    TrackingMouseMoved = 0x02,
    TrackingActiveWhenFirstResponder = 0x10,
    TrackingActiveInKeyWindow = 0x20,
    TrackingActiveInActiveApp = 0x40,
    TrackingActiveAlways = 0x80,
    // The area follows the view's visible rectangle instead of a fixed one.
    TrackingInVisibleRect = 0x200,
};

class TrackingArea {
  public:
    // `rect` is in the view's bounds space; ignored with TrackingInVisibleRect. A null owner means
    // the view itself.
    TrackingArea(Rect rect, unsigned options, Responder* owner = nullptr, Value userInfo = {})
        : rect_(rect), options_(options), owner_(owner), userInfo_(std::move(userInfo)) {}

    const Rect& rect() const { return rect_; }
    unsigned options() const { return options_; }
    Responder* owner() const { return owner_; }
    const Value& userInfo() const { return userInfo_; }
    View* view() const { return view_; }
    // Whether the pointer was inside at the last update.
    bool isInside() const { return inside_; }

  private:
    friend class View;
    friend class Window;
    Rect rect_;
    unsigned options_;
    Responder* owner_;
    Value userInfo_;
    View* view_ = nullptr;
    bool inside_ = false;
};

using TrackingAreaPtr = std::shared_ptr<TrackingArea>;

} // namespace qrn::ui
