#pragma once
// The text view that shows a text layer in the preview. It is never edited in place: a click
// selects whatever layer lies under the mouse, as a click on the preview does.
#include "platform/ui/text_view.h"

class textSymbolTextView : public qrn::ui::TextView {
  public:
    using TextView::TextView;

    void mouseDown(const qrn::ui::Event& event) override;
    bool acceptsFirstResponder() const override { return false; }
};
