#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "View/Editing/AssetScrollView/dragBackgroundViewView.h"
#include "View/Editing/LayerScrollView/layerScrollViewView.h"
#include "View/Editing/dragViewView.h"
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

void viewLoaderController::installReorderJoins() {
    layerScrollViewView::setHooks({[](int tag) { layerZPositionClass().setDraggedLayerTag(tag); },
                                   [](const qrn::ui::Event& event, int stage) {
                                       layerZPositionClass().dragLayerToDifferentLocationInScrollView(event,
                                                                                                      stage);
                                   }});
    dragBackgroundViewView::setHooks({[](int assetId) { assetZPositionClass().setDraggedAsset(assetId); },
                                      [](const qrn::ui::Event& event, bool dragging) {
                                          assetZPositionClass().dragAssetToDifferentLocationInScrollView(
                                              event, dragging);
                                      }});
    // While a tile is dragged the preview leaves the pointer to the list.
    dragViewView::setGetDraggedLayerTagHook([] { return layerZPositionClass().getDraggedLayerTag(); });
}
