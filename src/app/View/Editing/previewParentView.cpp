#include "View/Editing/previewParentView.h"

#include "Controller/Editing/Preview/previewLayerClass.h"

void previewParentView::mouseDown(const qrn::ui::Event& event) {
    previewLayerClass().layerHitTest(event);
}

void previewParentView::rightMouseDown(const qrn::ui::Event& event) {
    previewLayerClass().layerHitTest(event);
}
