#pragma once
// The asset strip's tiles by asset, and the move of one asset in every per-asset list of the
// project (assetZPositionClassModel.cpp).
#include <memory>

namespace qrn::ui {
class View;
}

namespace assetStrip {
// The strip's tile of an asset id; null when it is not in the strip.
std::shared_ptr<qrn::ui::View> tileOf(int assetId);
// The asset's index in ASSET_ARRAY, -1 when absent.
int indexOf(int assetId);
// Every tile after afterIndex goes to its index's slot and shows its index as its number.
void layOutTilesFromModel(int afterIndex);
} // namespace assetStrip

namespace assetLists {
// Moves the asset at index from to index to in all twenty per-asset lists, recording
// "reorderAsset" first when asked. False, with nothing changed or recorded, when an index is
// out of range or a list does not hold one entry per asset it covers.
bool moveAsset(int from, int to, bool record);
} // namespace assetLists
