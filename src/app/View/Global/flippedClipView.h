#pragma once
// A clip view laid out from the top down, whatever its document view says.
#include "platform/ui/scroll_view.h"

class flippedClipView : public qrn::ui::ClipView {
  public:
    explicit flippedClipView(const qrn::Rect& frame = {}) : ClipView(frame) { setAlwaysFlipped(true); }
};
