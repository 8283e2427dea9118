#pragma once
// The preview's parent: its bounds are the preview's bounds. Mouse presses that no view inside
// it takes (the drop view and the layer views pass them on) select by the layers' hit paths;
// a right-click or Control-click on the selected layer opens its menu.
#include "platform/ui/view.h"

class previewParentView : public qrn::ui::View {
  public:
    explicit previewParentView(const qrn::Rect& frame = {}) : View(frame) {}
    void mouseDown(const qrn::ui::Event& event) override;
    void rightMouseDown(const qrn::ui::Event& event) override;
};
