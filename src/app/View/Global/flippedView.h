#pragma once
// A view whose coordinates run from the top down, so that lists built in it start at the top.
#include "platform/ui/view.h"

class flippedView : public qrn::ui::View {
  public:
    explicit flippedView(const qrn::Rect& frame = {}) : View(frame) { setFlipped(true); }
};
