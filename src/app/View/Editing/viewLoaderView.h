#pragma once
// The editing screen's root view. It keeps the left Shift and Control key states, counts the
// presses that reach it, and hands every drag, release and exit to the layer-list and asset-strip
// drags, which ignore what is not theirs.
#include <functional>

#include "platform/ui/view.h"

class viewLoaderView : public qrn::ui::View {
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

    // The preview shows the movie's 16:9 picture: it takes the largest 16:9 rectangle that fits
    // the space the screen leaves it, centred there. That space (in this view, y up) grows and
    // shrinks with the window as the other bands do; `place` frames the preview, and what goes
    // with it, from the fitted rectangle, now and after every change of size.
    void setPreviewArea(const qrn::Rect& area, std::function<void(const qrn::Rect&)> place);
    qrn::Rect previewArea() const { return previewArea_; }
    // The largest 16:9 rectangle in whole points inside `area`, centred in it (empty for an
    // area with no room). The picture's height is rounded, so a 556-wide area 313 high is
    // filled exactly.
    static qrn::Rect previewFrameIn(const qrn::Rect& area);

    void resizeSubviewsWithOldSize(qrn::Size oldSize) override;

  private:
    qrn::Rect previewArea_;
    std::function<void(const qrn::Rect&)> placePreview_;
};
