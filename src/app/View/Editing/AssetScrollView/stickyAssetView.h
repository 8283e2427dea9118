#pragma once
// The fixed tile of the sticky asset: a click selects it; it neither drags nor opens a menu.
#include "platform/ui/view.h"

class stickyAssetView : public qrn::ui::View {
  public:
    using View::View;
    void mouseDown(const qrn::ui::Event& event) override;
};
