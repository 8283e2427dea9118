#pragma once
// A text view laid out from the top down.
#include "platform/ui/text_view.h"

class flippedTextView : public qrn::ui::TextView {
  public:
    explicit flippedTextView(const qrn::Rect& frame = {}) : TextView(frame) { setFlipped(true); }
};
