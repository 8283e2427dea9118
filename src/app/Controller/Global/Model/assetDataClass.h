#pragma once
// A copy of one asset (after the asset "0") with its layers, for undo and redo.
#include <optional>
#include <string>
#include <vector>

#include "Controller/Global/Model/layerDataClass.h"
#include "platform/foundation/attributed_string.h"

class assetDataClass {
  public:
    assetDataClass() = default;
    // Fills the record from the asset at sourceAssetIndex; unless keepAssetIndex, the record then
    // names targetAssetIndex and its layers take the ids found there.
    assetDataClass(int sourceAssetIndex, int targetAssetIndex, bool keepAssetIndex);

    std::optional<int> assetIndex;
    std::optional<std::string> assetString;
    // Background layer first, then the others in layer order.
    std::vector<layerDataClass> LAYER_DATA_OBJECTS_ARRAY;
    std::optional<std::string> ASSET_BACKGROUND_ID_ARRAY;
    std::optional<std::vector<double>> ASSET_BACKGROUND_COLOUR_ARRAY;
    std::optional<qrn::AttributedString> autocueString;

    int getAssetIndex();
    std::optional<std::string> getAssetString();
    std::vector<layerDataClass> getLayerDataObjects();

    void fillObjectWithData();
    // Puts the asset-level entries back at assetIndex; the layers go back one by one.
    void fillArraysWithObjectData();
};
