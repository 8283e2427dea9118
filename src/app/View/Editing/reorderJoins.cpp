#include "View/Editing/reorderJoins.h"

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "View/Editing/AssetScrollView/dragBackgroundViewView.h"
#include "View/Editing/LayerScrollView/layerScrollViewView.h"
#include "View/Editing/dragViewView.h"

void joinReorderOperations(bool join) {
    if (!join) {
        layerScrollViewView::setHooks({});
        dragBackgroundViewView::setHooks({});
        dragViewView::setGetDraggedLayerTagHook(nullptr);
        return;
    }
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
