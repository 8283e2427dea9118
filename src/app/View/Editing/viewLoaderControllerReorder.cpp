#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "View/Editing/viewLoaderController.h"

// A tile takes the press; the dragged events and the release travel up to the screen, which
// hands each to both engines. An engine without a drag of its own ignores them.
void viewLoaderController::mouseDragged(const qrn::ui::Event& event) {
    layerZPositionClass().dragLayerToDifferentLocationInScrollView(event, 1);
    assetZPositionClass().dragAssetToDifferentLocationInScrollView(event, true);
}

void viewLoaderController::mouseUp(const qrn::ui::Event& event) {
    layerZPositionClass().dragLayerToDifferentLocationInScrollView(event, 2);
    assetZPositionClass().dragAssetToDifferentLocationInScrollView(event, false);
}

void viewLoaderController::mouseExited(const qrn::ui::Event& event) {
    layerZPositionClass().dragLayerToDifferentLocationInScrollView(event, 2);
    assetZPositionClass().dragAssetToDifferentLocationInScrollView(event, true);
}
