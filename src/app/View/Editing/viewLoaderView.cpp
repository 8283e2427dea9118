#include "View/Editing/viewLoaderView.h"

#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/undoRedoClass.h"
#include "View/Global/iconViewClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/event.h"
#include "platform/ui/tracking_area.h"
#include "platform/ui/window.h"

namespace {

qrn::GenerationCounter mouseDownCounter{10000};
viewLoaderView::dragEngines engines;

void dragLayer(const qrn::ui::Event& event, int stage) {
    if (engines.dragLayerToDifferentLocationInScrollView)
        engines.dragLayerToDifferentLocationInScrollView(event, stage);
}

void dragAsset(const qrn::ui::Event& event, bool dragging) {
    if (engines.dragAssetToDifferentLocationInScrollView)
        engines.dragAssetToDifferentLocationInScrollView(event, dragging);
}

} // namespace

viewLoaderView::viewLoaderView(const qrn::Rect& frame) : pictureAreaView(frame) {
    addTrackingArea(bounds(), qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow |
                                  qrn::ui::TrackingInVisibleRect);
}

void viewLoaderView::flagsChanged(const qrn::ui::Event& event) {
    // Only the left-hand keys count: the right-hand ones are left to the system.
    if (event.keyCode == qrn::ui::keycode::Shift)
        editViewClass().setShiftKeyPressed(event.hasModifier(qrn::ui::ModifierShift));
    else if (event.keyCode == qrn::ui::keycode::Control)
        editViewClass().setControlKeyPressed(event.hasModifier(qrn::ui::ModifierControl));
}

void viewLoaderView::mouseDown(const qrn::ui::Event&) {
    mouseDownCounter.increment();
}

void viewLoaderView::mouseUp(const qrn::ui::Event& event) {
    QRN_LOG_IN();
    // The picker's symbol stays remembered through a double-click, not beyond.
    const int release = mouseDownCounter.value();
    editViewClass::afterOnThisScreen(0.2, [release] {
        if (mouseDownCounter.isCurrent(release))
            iconViewClass().setTag(std::nullopt);
    });
    dragLayer(event, 2);
    dragAsset(event, false);
    // A click that took a text box away leaves nobody hearing the modifier keys; the root view
    // hears them again, as it does from the start.
    if (auto* w = window(); w && w->firstResponder() == w)
        w->makeFirstResponder(this);
    editViewClass::afterOnThisScreen(0.01, [] { undoRedoClass().setValuesCompare(std::nullopt); });
}

void viewLoaderView::mouseDragged(const qrn::ui::Event& event) {
    dragLayer(event, 1);
    dragAsset(event, true);
}

void viewLoaderView::mouseExited(const qrn::ui::Event& event) {
    QRN_LOG_IN();
    iconViewClass().setTag(std::nullopt);
    dragLayer(event, 2);
    dragAsset(event, true);
}

int viewLoaderView::getMouseDownCounter() {
    return mouseDownCounter.value();
}

void viewLoaderView::setMouseDownCounter(int value) {
    mouseDownCounter.set(value);
}

void viewLoaderView::setDragEngines(dragEngines given) {
    engines = std::move(given);
}
