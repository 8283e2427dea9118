#pragma once
// A copy of one layer of the project model, taken before an edit removes or moves it, and put
// back at a position later (undo and redo).
#include <optional>
#include <string>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "platform/foundation/geometry.h"

class layerDataClass {
  public:
    std::optional<int> assetIndex;
    std::optional<int> layerIndex;
    bool isBackgroundLayer = false;
    bool isFirstLayerAboveVideo = false;
    std::optional<std::string> layerString;
    std::optional<imageReferenceArray> IMAGE_REFERENCE_ARRAY;
    std::optional<std::vector<double>> LAYER_ORIGIN_SIZE_ARRAY;
    std::optional<qrn::Point> layerTransformedOrigin;
    std::optional<double> layerRotate;
    std::optional<qrn::Size> layerTransformedSize;
    std::optional<std::vector<double>> LAYER_ORIGINAL_POS_SIZE;
    std::optional<std::vector<bool>> LAYER_IS_FLIPPED_ARRAY;
    std::optional<std::vector<double>> LAYER_RESIZE_WITH_ASPECT_RATIO;
    std::optional<std::vector<bool>> LAYER_FILTER;
    std::optional<std::vector<int>> LAYER_FILTER_ORDER;
    std::optional<filterValuesArray> LAYER_FILTER_VALUES;
    // A text layer's text, which lives outside the layer rows.
    std::optional<qrn::AttributedString> symbolText;

    // Moves the record to another asset position and takes the id found there.
    void setAssetIndex(int index);
    int getAssetIndex();
    int getLayerIndex();
    bool getIsBackgroundLayer();
    bool getIsFirstLayerAboveVideo();
    std::optional<std::string> getLayerString();
    std::vector<double> getLayerOriginSizeArray();
    imageReferenceArray getImageReferenceArray();

    // Copies the layer at (assetIndex, layerIndex) out of the model.
    void fillObjectWithData();
    // Puts the layer back at (assetIndex, layerIndex): appended when the position is at or past
    // the end of a row, inserted there otherwise.
    void fillArraysWithObjectData();
    void fillImageReferenceArrayWithObjectData(const imageReferenceArray& reference);
};
