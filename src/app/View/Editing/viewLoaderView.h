#pragma once
// The editing screen's root view. It keeps the left Shift and Control key states, counts the
// presses that reach it, and hands every drag, release and exit to the layer-list and asset-strip
// drags, which ignore what is not theirs. Its preview keeps the picture's 16:9 shape.
#include <functional>

#include "View/Global/pictureAreaView.h"

class viewLoaderView : public pictureAreaView {
  public:
    // Tracks entering and leaving over its bounds while its window is key.
    explicit viewLoaderView(const qrn::Rect& frame = {});

    bool acceptsFirstResponder() const override { return true; }
    void flagsChanged(const qrn::ui::Event& event) override;
    void mouseDown(const qrn::ui::Event& event) override;
    void mouseUp(const qrn::ui::Event& event) override;
    void mouseDragged(const qrn::ui::Event& event) override;
    void mouseExited(const qrn::ui::Event& event) override;

    // Presses that reached the root view, 0 to 9999.
    static int getMouseDownCounter();
    static void setMouseDownCounter(int value);

    // The two drags: the layer list's takes a stage (1 moving, 2 ended), the asset strip's
    // whether the pointer is still dragging. Set by the lists; unset, no drag runs.
    struct dragEngines {
        std::function<void(const qrn::ui::Event&, int stage)> dragLayerToDifferentLocationInScrollView;
        std::function<void(const qrn::ui::Event&, bool dragging)> dragAssetToDifferentLocationInScrollView;
    };
    static void setDragEngines(dragEngines engines);
};
