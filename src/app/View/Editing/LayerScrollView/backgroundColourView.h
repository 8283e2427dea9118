#pragma once
// The asset background colour box under the preview: a click opens the colour panel on the
// selected asset's colour, whose picks then reach the editing screen. The sticky asset has no
// background colour, so the box does nothing while it is selected.
#include "platform/ui/view.h"

class backgroundColourView : public qrn::ui::View {
  public:
    using View::View;
    void mouseDown(const qrn::ui::Event& event) override;
};
