#include "View/Editing/previewParentView.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"

void previewParentView::mouseDown(const qrn::ui::Event& event) {
    editViewClass::followModifierKeys(event);
    // While a handle is held the press belongs to the handle.
    if (previewLayerClass().getResizeOrRotateButtonSelected() != 0)
        return;
    previewLayerClass().layerHitTest(event);
    if (editViewClass().getControlKeyPressed())
        editViewClass().showPopover(event, 0, false);
}

void previewParentView::rightMouseDown(const qrn::ui::Event& event) {
    editViewClass::followModifierKeys(event);
    if (!editViewClass().getControlKeyPressed())
        previewLayerClass().layerHitTest(event);
    editViewClass().showPopover(event, 0, false);
}
