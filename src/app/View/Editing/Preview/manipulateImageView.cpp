#include "View/Editing/Preview/manipulateImageView.h"

#include "Controller/Editing/Preview/previewGestureUndo.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "platform/ui/tracking_area.h"

std::shared_ptr<manipulateImageView> manipulateImageView::makeHandleView(const qrn::Rect& frame) {
    auto view = qrn::ui::makeView<manipulateImageView>(frame);
    view->addTrackingArea(view->bounds(),
                          qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow);
    return view;
}

int manipulateImageView::handleTag() const {
    if (subviews().empty())
        return 0;
    return subviews().front()->tag().value_or(0);
}

void manipulateImageView::mouseEntered(const qrn::ui::Event&) {
    previewLayerClass().setResizeOrRotateButtonSelected(handleTag());
    editViewClass().updateMouseCursor();
}

void manipulateImageView::mouseExited(const qrn::ui::Event&) {
    previewLayerClass().setResizeOrRotateButtonSelected(0);
    editViewClass().updateMouseCursor();
}

void manipulateImageView::mouseDown(const qrn::ui::Event& event) {
    editViewClass().updateMouseDownValue(true);
    previewLayerClass model;
    const int tag = handleTag();
    model.setRotateButtonSelected(tag);
    model.getInteractionState().handlePressLocation = event.locationInWindow;
    if (!model.getVideoLayerSelected() && !model.getSelectedLayer())
        return;
    model.noteHandleOffset(*this, tag);
    // Kept only when nothing is kept yet, so a second press leaves the first press's values.
    undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(tag == -1), std::nullopt);
}
