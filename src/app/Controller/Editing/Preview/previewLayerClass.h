#pragma once
// The open project in memory: assets in order, each asset's layers in order, and per asset and
// per layer every value the preview, the settings, undo and the project file need. The arrays
// are parallel and indexed by positions (index in ASSET_ARRAY, index in the asset's row of
// LAYER_ARRAY); ids are decimal text. The asset "0" at position 0 has no entry in the
// background id and colour arrays: the asset at position p uses index p - 1 there.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QPainterPath>

#include "platform/foundation/geometry.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/value.h"

namespace qrn::ui {
class View;
}

// One layer's image reference: [kind, ...]. Kind 1 a bundle image ([1, extension, name]) or a
// text layer ([1, "", "", 1]), kind 2 an animated symbol ([2, frame, frame, ...]), any other
// kind (3) an image file of the project's images folder ([3, extension, name]).
using imageReferenceArray = qrn::Value::List;

// A layer as an operation names it: [video selected, asset position, layer position], each
// element optional (empty Value).
using layerAssetIndexAndVideoSelectedArray = qrn::Value::List;

struct layerAssetIndexAndVideoSelectedValues {
    bool videoSelected = false;
    int assetIndex = 0;
    std::optional<int> layerIndex;
};

// The views the preview hands to the model; owned by the editing screen.
struct previewLayerConfigurationViews {
    std::shared_ptr<qrn::ui::View> parentPreviewView;
    std::shared_ptr<qrn::ui::View> layerContainerView;
};

// What the preview's gestures keep between events. The model resets it with the project; only
// the preview gives the members meaning.
struct previewInteractionState {
    bool rotationStarted = false;
    // -1 is a value of its own to the handles.
    int resizeOrRotateButtonSelected = 0;
    int rotateButtonSelected = 0;
    bool mouseDown = false;
    int assetNumber = 0;
    bool dragFlag = false;
    std::optional<std::pair<double, double>> dragPair;
    std::optional<std::pair<double, double>> resizePair;
    // Read and written through get/setResizeButtonSelected.
    bool resizeFlag = true;
    std::optional<int> layerNumber;
    qrn::GenerationCounter addLayerGeneration{100};
    qrn::GenerationCounter dragGeneration{10000};
    int resizeGeneration = 0;
    std::optional<QPainterPath> videoHitPath;
    // Set just before a project is imported; read when layers are added.
    bool importMarker = false;
    // The selected asset's layers in drawing order, as the preview builds them.
    std::vector<std::string> selectedAssetOrderedLayerArray;
};

class previewLayerClass {
  public:
    // true empties the model (a closed project); false makes the model of a new project:
    // the asset "0" without layers and both id counters at 1.
    void clearClass(bool resetClass);

    std::optional<previewLayerConfigurationViews> getConfiguration();
    std::shared_ptr<qrn::ui::View> getParentPreviewView();
    void setConfiguration(std::optional<previewLayerConfigurationViews> configuration);
    // The preview's view of the live video; an empty view until the preview sets its own.
    std::shared_ptr<qrn::ui::View> getVideoLayerView();
    void setVideoLayerView(std::shared_ptr<qrn::ui::View> view);

    std::vector<std::vector<std::string>> getLayerArray();
    void setLayerArray(std::vector<std::vector<std::string>> LAYER_ARRAY);
    void setFirstLayerAboveVideoArray(std::vector<std::optional<std::string>> FIRST_LAYER_ABOVE_VIDEO_ARRAY);
    std::vector<std::optional<std::string>> getFirstLayerAboveVideoArray();
    // lastLayer: the position of the selected asset's last layer (-1 without layers); otherwise
    // the position of the selected layer.
    int getSelectedLayerIndex(bool lastLayer);
    std::vector<std::string> getAssetArray();
    void setAssetArray(std::vector<std::string> ASSET_ARRAY);
    void setAssetBackgroundIDArray(std::vector<std::optional<std::string>> ASSET_BACKGROUND_ID_ARRAY);
    std::vector<std::optional<std::string>> getAssetBackgroundIDArray();
    void setAssetBackgroundColour(std::vector<std::vector<double>> ASSET_BACKGROUND_COLOUR_ARRAY);
    std::vector<std::vector<double>> getAssetBackgroundColour();
    std::vector<double> getSelectedAssetBackgroundColour();
    std::pair<qrn::Size, qrn::Point> getVideoCropSizeAndOrigin();
    void setVideoCropSizeAndOrigin(qrn::Size size, qrn::Point origin);
    std::vector<std::vector<imageReferenceArray>> getImageReferenceArray();
    void setEntireImageReferenceArray(std::vector<std::vector<imageReferenceArray>> IMAGE_REFERENCE_ARRAY);
    // The layer's picture: an Image value, or a List of Image values for an animated symbol.
    // Throws qrnError when a still image cannot be had. No reference: the selected layer's.
    qrn::Value getImageFromImageReferenceArray(const std::optional<imageReferenceArray>& reference);
    // Builds a reference and appends it to the selected asset's row.
    void setImageReferenceArray(int kind, const std::optional<qrn::Value::List>& names,
                                const std::optional<std::string>& fileExtension);
    std::vector<std::vector<std::vector<double>>> getLayerOriginSizeArray();
    void setLayerOriginSizeArray(std::vector<std::vector<std::vector<double>>> LAYER_ORIGIN_SIZE_ARRAY);
    std::vector<double>
    getSingleLayerOriginSizeArray(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer);
    std::vector<std::vector<qrn::Point>> getLayerTransformedOrigin();
    void setLayerTransformedOrigin(std::vector<std::vector<qrn::Point>> layerTransformedOrigin);
    std::vector<std::vector<qrn::Size>> getLayerTransformedSize();
    void setLayerTransformedSize(std::vector<std::vector<qrn::Size>> layerTransformedSize);
    std::vector<std::vector<double>> getLayerRotateArray();
    void setLayerRotateArray(std::vector<std::vector<double>> LAYER_ROTATE_ARRAY);
    std::vector<std::vector<std::vector<double>>> getLayerOriginalPosSize();
    void setLayerOriginalPosSize(std::vector<std::vector<std::vector<double>>> LAYER_ORIGINAL_POS_SIZE_ROT);
    std::vector<std::vector<std::vector<bool>>> getLayerIsFlippedArray();
    void setLayerIsFlippedArray(std::vector<std::vector<std::vector<bool>>> LAYER_IS_FLIPPED_ARRAY);
    std::vector<std::vector<std::vector<double>>> getLayerResizeWithAspectRatioArray();
    // The selected layer's entry.
    std::vector<double> getSelectedLayerResizeWithAspectRatio();
    void setLayerResizeWithAspectRatioArray(
        std::vector<std::vector<std::vector<double>>> LAYER_RESIZE_WITH_ASPECT_RATIO);
    void setRotatedStarted(bool started);
    bool getRotatedStarted();
    qrn::Size getVideoTransformedSize();
    void setVideoTransformedSize(qrn::Size size);
    qrn::Point getVideoTransformedOrigin();
    void setVideoTransformedOrigin(qrn::Point origin);
    bool getVideoCropState();
    void setVideoCropState(bool state);
    std::vector<double> getVideoOriginSizeArray();
    void setVideoOriginSizeArray(std::vector<double> VIDEO_ORIGIN_SIZE_ARRAY);
    std::vector<bool> getVideoIsFlippedArray();
    void setVideoIsFlippedArray(std::vector<bool> flipped);
    int getSelectedAssetIndex();
    int getSelectedAsset();
    std::optional<int> getSelectedLayer();
    bool getVideoLayerSelected();
    void setSelectedAsset(int assetId);
    void setSelectedLayer(std::optional<int> layerId);
    void setVideoLayerSelected(bool selected);
    int getResizeOrRotateButtonSelected();
    void setResizeOrRotateButtonSelected(int handle);
    int getRotateButtonSelected();
    void setRotateButtonSelected(int handle);
    bool getResizeButtonSelected();
    void setResizeButtonSelected(bool selected);
    bool getMouseDown();
    void setMouseDown(bool down);
    void setMainPreviewViewArrayFromImport(std::optional<std::vector<double>> rect);
    // The view that holds the preview's z-order groups: the superview of the view tagged -5
    // inside the layer container view. Null while the preview is not built.
    std::shared_ptr<qrn::ui::View> getSuperviewOfTaggedPreviewView();
    std::optional<std::vector<double>> getMainPreviewViewArrayFromImport();
    previewInteractionState& getInteractionState();
    void setImportMarker(bool importing);
    bool getImportMarker();
    std::vector<std::shared_ptr<qrn::ui::View>> getAssetTileViewArray();
    void setAssetTileViewArray(std::vector<std::shared_ptr<qrn::ui::View>> views);

    // Id counters. An asset takes the next number as its id and reserves the one after it for
    // its container marker; a layer takes one number. assetIdCounter counts the assets.
    int getAssetIdCounter();
    int getLayerIdCounter();
    void setAssetIdCounter(int value);
    void setLayerIdCounter(int value);
    // The id of an asset being added; advances both counters.
    std::string takeNewAssetId();
    // The id of a layer being added; it becomes the selected layer.
    std::string takeNewLayerId();

    // Resolves a layer as an operation names it into positions; an absent part falls back on
    // the selection.
    layerAssetIndexAndVideoSelectedValues layerAssetIndexAndVideoSelectedParameterValues(
        const std::optional<layerAssetIndexAndVideoSelectedArray>& layer);

    // Looks up images of the application's own resources by name; tests install their own.
    using bundleImageLookup = std::function<qrn::ImageHandle(const std::string& name)>;
    static void setBundleImageLookup(bundleImageLookup lookup);
    // Called when the model is emptied, so the editing screen drops its own state first.
    static void setEditingScreenClearHandler(std::function<void()> handler);
};

// True when a stored name may be used as a file name inside the images folder: not empty, no
// path separators, no "..".
bool isSafeImageFileComponent(const std::string& component);
