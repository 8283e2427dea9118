#pragma once
// The layer-list drag's state and the tile order both halves of layerZPositionClass read (the
// drag in layerZPositionClass.cpp, the commit in layerZPositionClassCommit.cpp).
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "Controller/Editing/movedOrder.h"

namespace layerZPositionDetail {

struct dragState {
    std::optional<int> draggedLayerTag;
    // Pointer minus the floating tile's origin, fixed at the drag's first event.
    std::optional<double> draggedLayerOffsetX;
    std::optional<double> draggedLayerOffsetY;
    // The floating tile in the main view: [minY, maxY, minX, maxX].
    std::optional<std::array<double, 4>> draggedLayerBounds;
    std::optional<int> moveToLayerIndex;
    // [lowest, highest] slot the drag has reached.
    std::optional<std::array<int, 2>> movedLayerIndexRange;
    // Target asset of a move between assets; no drag sets it.
    std::optional<int> dropAssetIndex;
    std::optional<int> videoLayerIndexValue;
    std::optional<int> newVideoLayerIndex;
    std::optional<bool> layerIsAboveVideo;
};

dragState& state();

// The camera tile's id in a tile order.
inline const std::string cameraTile = "-8";

// The asset's tiles in slot order: its layers without the background layer, with the camera
// tile before the first layer above the camera (last when there is none). Empty for an asset
// that is not there.
std::vector<std::string> tileOrder(int assetIndex);
std::optional<std::string> backgroundIdOf(int assetIndex);

} // namespace layerZPositionDetail
