#pragma once
// Reordering the asset strip by dragging a tile. The tile follows the pointer along the strip,
// the tiles it passes step aside and take their new numbers, and when the pointer rests 0.3 s or
// the drag ends the asset moves in every per-asset list of the project, "reorderAsset" is
// recorded and the project, its scripts and its symbol texts are written. The replay of that
// entry and the re-layout after other asset edits live here too.
//
// The tile of the asset at index i (i >= 1) stands at x = (i - 1) x 80 in the strip's document
// view; the sticky asset at index 0 has its own tile outside the strip and never moves.
#include <memory>
#include <optional>

namespace qrn::ui {
class View;
struct Event;
} // namespace qrn::ui

class assetZPositionClass {
  public:
    // Ends the drag state (the hovered tile and the debounce counter stay).
    void clearClass();
    void setDraggedAsset(int assetId);
    std::optional<int> getDraggedAsset();
    // The tile under the pointer; the dragged tile itself never counts.
    void setHoveredOverAssetInBackground(const std::shared_ptr<qrn::ui::View>& tile, bool entered);
    // Puts the tile last among the strip's subviews (drawn on top), between drags only.
    void addAssetToEndOfScrollView(const std::shared_ptr<qrn::ui::View>& tile);
    // Moves the dragged asset from index fromIndex to the slot its tile has reached, in every
    // per-asset list, records it (unless replaying) and writes the project. Lists out of step
    // leave everything as it was and the tiles go back.
    void reorderAssetZPosition(int fromIndex, bool isUndoRedo);
    // Each drag step restarts the 0.3 s rest; the end of a drag moves the model at once.
    void reorderAssetZPositionDelayCheck(bool dragging);
    // Moves the tile now due in slotIndex there and gives it that number; with swapLabels the
    // dragged tile takes the number it had.
    void moveNonSelectedAssetOutOfTheWay(int slotIndex, bool movingLeft, int draggedAssetId, bool replaying,
                                         bool swapLabels);
    void reorderAssetInScrollView(double x);
    static double getXValueFromAssetIndex(int index);
    double calculateNewXValue(const qrn::ui::Event& event, bool dragging);
    // Every drag step enters here: dragging while the pointer moves, false at the release.
    void dragAssetToDifferentLocationInScrollView(const qrn::ui::Event& event, bool dragging);
    // Replays a recorded move (undo: [new, old]; redo: [old, new]) without recording.
    void revertUndoRedoAction(int from, int to);
    // Puts every tile after index in the slot and number of its own index.
    void moveAllAssetPreviewsAfterIndexForwardsByOne(int index);

    // The slot step on its own: the slot after one event with the tile at x, current slot c,
    // n tiles in the strip and tile width w.
    static int nextSlot(int c, double x, int n, double w);
    static constexpr double assetPitch = 80.0;
};
