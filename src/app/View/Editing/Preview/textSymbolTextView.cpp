#include "View/Editing/Preview/textSymbolTextView.h"

#include "Controller/Editing/Preview/previewLayerClass.h"

void textSymbolTextView::mouseDown(const qrn::ui::Event& event) {
    previewLayerClass().layerHitTest(event);
}
