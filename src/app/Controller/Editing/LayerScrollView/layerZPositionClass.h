#pragma once
// Reordering the layer list by dragging a tile. A press on a tile starts the drag (stage 0), the
// root view of the editing screen feeds the dragged events (stage 1) and the release or the
// pointer leaving the screen (stage 2). While the drag goes on the tile's picture floats in the
// dragged-layer preview and the tiles it passes slide aside; a release over the list moves the
// layer in every per-layer row of its asset, restacks the preview, writes the project and
// records "reorderLayerInSameAsset"; a release elsewhere puts every tile back.
//
// Slots: the tile in slot s stands at x = s x 39 in the list's document view. The asset's
// background layer has no tile; the camera tile (marker -8) stands between the layers below the
// camera and those above it. Geometry of the floating tile is kept in the editing screen's main
// view (y up); slot arithmetic is done in the list's document view, so a scrolled list steps
// under the pointer.
#include <memory>
#include <optional>
#include <string>

namespace qrn::ui {
class View;
struct Event;
} // namespace qrn::ui

class layerZPositionClass {
  public:
    void setDraggedLayerTag(int tag);
    std::optional<int> getDraggedLayerTag();
    // Gives the floating picture back to its tile and shows the tile again.
    void returnImageFromDraggedLayerPreviewViewToLayerPreviewInScrollView(
        const std::shared_ptr<qrn::ui::View>& layerView);
    // Every asset tile gets its plain border back (three or more assets).
    void removeBorderHighlightFromAssetInScrollView();
    // Updates the asset's first layer above the camera for a move between slots; true when the
    // moved layer ends above the camera.
    bool checkIfLayerIsAboveVideo(int fromAssetIndex, int toAssetIndex, int fromLayerIndex,
                                  std::optional<int> toLayerIndex);
    // The commit of a move from slot to slot. Rows that do not match the asset's layers leave
    // everything as it was; undoRedo records nothing.
    void updateLayerArrays(int fromAssetIndex, int toAssetIndex, int fromLayerIndexValue,
                           std::optional<int> toLayerIndexValue, bool undoRedo);
    void updateLayerArraysForSelectedAsset(int fromIndex, int toIndex, int assetArrayIndex, bool undoRedo);
    // Puts the tile that belongs in the slot back at slot x 39.
    void changeLayerViewOriginX(int layerIndex);
    void revertAllMovedLayersBackToOriginalPosition(int assetArrayIndex);
    // Slides the tile that now belongs in the slot the dragged tile left into it.
    void moveNonSelectedLayerOutOfTheWay(int moveToLayerIndexValue, bool moveToLeft);
    // Stages 0 and 1 take at most one slot step; stage 2 commits.
    void moveLayerToDifferentPositionInScrollViewOrOrderZPosition(int firstMiddleLastInt, int assetArrayIndex,
                                                                  bool undoRedo);
    // Whether the floating tile is over the layer list (true) or the asset strip (false).
    bool checkIfDraggedLayerBoundsIsWithinScrollView(bool layerScrollView);
    void newAssetPreviewFollowTheMousePosition(const qrn::ui::Event& event,
                                               const std::shared_ptr<qrn::ui::View>& layerView,
                                               int firstMiddleLastInt);
    // The dragged layer's slot before the drag.
    int selectedLayerStartingIndex(bool backgroundLayerCorrection, int assetArrayIndex);
    void addImageToDraggedLayerPreviewView(const std::shared_ptr<qrn::ui::View>& layerView,
                                           int firstMiddleLastInt);
    // The camera slot and whether the dragged layer is above the camera.
    void videoLayerIndex(int assetArrayIndex);
    void clearClass();
    // Every drag stage enters here: 0 press, 1 dragged, 2 release or exit.
    void dragLayerToDifferentLocationInScrollView(const qrn::ui::Event& event, int firstMiddleLastInt);
    // Replays a recorded reorder (the layer by its id, its slot, the camera slot) without
    // recording. A move to another asset is never recorded, so a target asset does nothing.
    void revertAnUndoRedoAction(int fromAssetIndex, std::optional<int> toAssetIndex, int fromLayerInt,
                                int toLayerIndex, int newVideoLayerIndex);

    // The step rule on its own: the slot after one event with the tile's left edge at x
    // (document space) and target slot m; the last slot is lastSlot.
    static int nextSlot(int m, double x, int lastSlot);
    // The camera slot as the list shows it: where the camera tile has slid to while the tile
    // from slot startSlot is shown in slot target (cameraSlot is its place before the drag).
    static int shownCameraSlot(int cameraSlot, int startSlot, int target);
    // Slot pitch of the list.
    static constexpr double layerWidth = 39.0;
};
