#pragma once
// A landing-screen button: a container whose icon and label take the hover colour, with the
// pointing hand, while the pointer is over it.
#include "platform/ui/view.h"

class landingButtonView : public qrn::ui::View {
  public:
    explicit landingButtonView(const qrn::Rect& frame = {});

    void mouseEntered(const qrn::ui::Event& e) override;
    void mouseExited(const qrn::ui::Event& e) override;
    // Icon buttons hold their changed tint, labels take the hover or resting text colour.
    void changeSubviewColours(bool hover);
};
