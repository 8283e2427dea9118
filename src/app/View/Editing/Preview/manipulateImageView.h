#pragma once
// A handle of the selection overlay: the resize handle (first subview tagged -2) or the rotate
// handle (-1). It moves nothing itself: hovering tells the preview which handle is under the
// mouse, a press which handle the coming drag works and what the selection was before it.
#include <memory>

#include "platform/ui/view.h"

class manipulateImageView : public qrn::ui::View {
  public:
    explicit manipulateImageView(const qrn::Rect& frame = {}) : View(frame) {}
    // The handle with its tracking area over its bounds (entered and exited, in the key window).
    static std::shared_ptr<manipulateImageView> makeHandleView(const qrn::Rect& frame);

    void mouseEntered(const qrn::ui::Event& event) override;
    void mouseExited(const qrn::ui::Event& event) override;
    void mouseDown(const qrn::ui::Event& event) override;

  private:
    int handleTag() const;
};
