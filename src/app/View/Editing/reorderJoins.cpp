#include "View/Editing/reorderJoins.h"

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/AssetScrollView/dragBackgroundViewView.h"
#include "View/Editing/LayerScrollView/layerScrollViewView.h"
#include "View/Editing/Popover/popupMenuControllers.h"
#include "View/Editing/dragViewView.h"
#include "View/Editing/viewLoaderView.h"

void joinReorderOperations(bool join) {
    if (!join) {
        layerScrollViewView::setHooks({});
        dragBackgroundViewView::setHooks({});
        dragViewView::setGetDraggedLayerTagHook(nullptr);
        undoRedoClass::setReorderLayerReplayHook(nullptr);
        undoRedoClass::setReorderAssetReplayHook(nullptr);
        undoRedoClass::setMoveAssetPreviewsForwardHook(nullptr);
        undoRedoClass::setAssetDragStateClearHook(nullptr);
        viewLoaderView::setDragEngines({});
        popupMenuControllerTwo::setHoveredAssetTagHook(nullptr);
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
    // Undo and redo put reorders back, and lay the strip out again after other asset steps.
    undoRedoClass::setReorderLayerReplayHook(
        [](int fromAsset, std::optional<int> toAsset, int layerId, int slot, int cameraSlot) {
            layerZPositionClass().revertAnUndoRedoAction(fromAsset, toAsset, layerId, slot, cameraSlot);
        });
    undoRedoClass::setReorderAssetReplayHook([](int from, int to) {
        assetZPositionClass().clearClass();
        assetZPositionClass().revertUndoRedoAction(from, to);
    });
    undoRedoClass::setMoveAssetPreviewsForwardHook(
        [](int index) { assetZPositionClass().moveAllAssetPreviewsAfterIndexForwardsByOne(index); });
    undoRedoClass::setAssetDragStateClearHook([] { assetZPositionClass().clearClass(); });
    // A drag that starts on a tile goes on over any view: the screen's root view feeds the
    // dragged events and the release to both engines (each ignores what is not its drag).
    viewLoaderView::setDragEngines(
        {[](const qrn::ui::Event& event, int stage) {
             layerZPositionClass().dragLayerToDifferentLocationInScrollView(event, stage);
         },
         [](const qrn::ui::Event& event, bool dragging) {
             assetZPositionClass().dragAssetToDifferentLocationInScrollView(event, dragging);
         }});
    // The asset menu acts on the tile last right-clicked.
    popupMenuControllerTwo::setHoveredAssetTagHook([] { return editViewClass::getHoveredAssetTag(); });
}
