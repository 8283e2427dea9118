#include "View/Editing/dragViewView.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "platform/ui/event.h"
#include "platform/ui/tracking_area.h"

namespace {

std::function<std::optional<int>()> getDraggedLayerTagHook;
std::function<void()> clearSymbolTagHook;

bool layerListDragRunning() {
    return getDraggedLayerTagHook && getDraggedLayerTagHook().has_value();
}

void resizeOrRotate(bool rotate, const qrn::ui::Event& event) {
    previewLayerClass().resizeOrRotateLayer(rotate, std::nullopt, true, std::nullopt, true, false, false,
                                            true, event.locationInWindow.x, event.locationInWindow.y, false,
                                            false);
}

void drag(bool ends, const qrn::ui::Event& event) {
    previewLayerClass().dragLayerInVideoViewLayer(event.locationInWindow, ends, std::nullopt, false, true,
                                                  std::nullopt, false, true, false);
}

} // namespace

dragViewView::dragViewView(const qrn::Rect& frame) : View(frame) {
    addTrackingArea(bounds(), qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow |
                                  qrn::ui::TrackingInVisibleRect);
}

void dragViewView::setGetDraggedLayerTagHook(std::function<std::optional<int>()> hook) {
    getDraggedLayerTagHook = std::move(hook);
}

void dragViewView::setClearSymbolTagHook(std::function<void()> hook) {
    clearSymbolTagHook = std::move(hook);
}

void dragViewView::mouseDown(const qrn::ui::Event& event) {
    editViewClass().updateMouseDownValue(true);
    View::mouseDown(event);
}

void dragViewView::mouseDragged(const qrn::ui::Event& event) {
    if (layerListDragRunning())
        return;
    previewLayerClass model;
    const int handle = model.getRotateButtonSelected();
    if (handle != 0) {
        model.setRotatedStarted(true);
        resizeOrRotate(handle == -1, event);
        model.setResizeButtonSelected(false);
        return;
    }
    drag(false, event);
}

void dragViewView::mouseUp(const qrn::ui::Event& event) {
    if (layerListDragRunning())
        return;
    endGesture(event, true);
}

void dragViewView::mouseExited(const qrn::ui::Event& event) {
    if (layerListDragRunning())
        return;
    endGesture(event, false);
}

void dragViewView::endGesture(const qrn::ui::Event& event, bool clearSymbolTag) {
    previewLayerClass model;
    editViewClass().updateMouseDownValue(false);
    const int handle = model.getRotateButtonSelected();
    if (handle != 0) {
        if (handle == -1)
            model.setRotatedStarted(false);
        resizeOrRotate(handle == -1, event);
        model.setRotateButtonSelected(0);
        model.setResizeButtonSelected(true);
    } else {
        drag(true, event);
        model.setDraggingLayer(false);
    }
    if (clearSymbolTag && clearSymbolTagHook)
        clearSymbolTagHook();
}
