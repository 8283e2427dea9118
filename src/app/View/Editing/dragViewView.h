#pragma once
// The editing screen's preview view (the drop view): it holds the layer views, the camera view
// and the overlay, and turns presses, drags and releases over the preview into moving the
// selection, or resizing and rotating it while a handle is held.
#include <functional>
#include <optional>

#include "platform/ui/view.h"

class dragViewView : public qrn::ui::View {
  public:
    // Adds its tracking area (entered and exited, in the key window, following the visible rect).
    explicit dragViewView(const qrn::Rect& frame = {});

    void mouseDown(const qrn::ui::Event& event) override;
    void mouseDragged(const qrn::ui::Event& event) override;
    void mouseUp(const qrn::ui::Event& event) override;
    void mouseExited(const qrn::ui::Event& event) override;

    // The layer list's running drag, if any; it owns the mouse until it ends. Until the layer
    // list provides it, no such drag runs.
    static void setGetDraggedLayerTagHook(std::function<std::optional<int>()> hook);
    // Clears the picker's symbol tag at mouse-up; set by the picker.
    static void setClearSymbolTagHook(std::function<void()> hook);

  private:
    // Mouse-up and exit end a gesture alike; only mouse-up forgets the picker's symbol.
    void endGesture(const qrn::ui::Event& event, bool clearSymbolTag);
};
