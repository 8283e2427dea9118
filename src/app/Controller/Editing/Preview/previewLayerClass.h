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
#include <variant>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/geometry.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/value.h"
#include "platform/graphics/content_filter.h"

namespace qrn::ui {
class View;
struct Event;
} // namespace qrn::ui
namespace qrn::graphics {
class Layer;
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
    bool rotatedStarted = false;
    // -1 is a value of its own to the handles.
    int resizeOrRotateButtonSelected = 0;
    int rotateButtonSelected = 0;
    bool mouseDown = false;
    int assetNumber = 0;
    bool draggingLayer = false;
    std::optional<std::pair<double, double>> dragStartLocation;
    std::optional<std::pair<double, double>> resizeStartLocation;
    // Where the press on a handle was (window points): the handle drag's first movement counts
    // from there.
    std::optional<qrn::Point> handlePressLocation;
    // Read and written through get/setResizeButtonSelected.
    bool resizeButtonSelected = true;
    // Set by the press on a handle (noteHandleOffset): from where the resize handle shows to the
    // corner it works, and the turn from where the turn handle shows to its corner's.
    qrn::Point handleOffset;
    double handleTurnOffset = 0;
    std::optional<int> layerNumber;
    qrn::GenerationCounter addLayerGeneration{100};
    qrn::GenerationCounter dragOrResizeCounter{10000};
    qrn::GenerationCounter relayoutCounter{10000};
    // The camera view's hit path in the preview view's coordinates; absent until first built.
    std::optional<qrn::Path> videoLayerPath;
    // Set just before a project is imported; read when layers are added.
    bool importMarker = false;
    // The selected asset's hittable views bottom to top: its layer views below the camera, the
    // camera view, the layer views above it. Refilled at set-up, asset selection and layer adds.
    std::vector<std::shared_ptr<qrn::ui::View>> selectedAssetOrderedLayerArray;
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

    const std::vector<std::vector<std::string>>& getLayerArray();
    // The same rows without a copy, for per-event work; valid until the model next changes.
    const std::vector<std::vector<std::string>>& getLayerArrayReference();
    void setLayerArray(std::vector<std::vector<std::string>> LAYER_ARRAY);
    void setFirstLayerAboveVideoArray(std::vector<std::optional<std::string>> FIRST_LAYER_ABOVE_VIDEO_ARRAY);
    const std::vector<std::optional<std::string>>& getFirstLayerAboveVideoArray();
    // lastLayer: the position of the selected asset's last layer (-1 without layers); otherwise
    // the position of the selected layer.
    int getSelectedLayerIndex(bool lastLayer);
    const std::vector<std::string>& getAssetArray();
    // The same list without a copy; valid until the model next changes.
    const std::vector<std::string>& getAssetArrayReference();
    void setAssetArray(std::vector<std::string> ASSET_ARRAY);
    void setAssetBackgroundIDArray(std::vector<std::optional<std::string>> ASSET_BACKGROUND_ID_ARRAY);
    const std::vector<std::optional<std::string>>& getAssetBackgroundIDArray();
    void setAssetBackgroundColour(std::vector<std::vector<double>> ASSET_BACKGROUND_COLOUR_ARRAY);
    const std::vector<std::vector<double>>& getAssetBackgroundColour();
    std::vector<double> getSelectedAssetBackgroundColour();
    std::pair<qrn::Size, qrn::Point> getVideoCropSizeAndOrigin();
    void setVideoCropSizeAndOrigin(qrn::Size size, qrn::Point origin);
    const std::vector<std::vector<imageReferenceArray>>& getImageReferenceArray();
    void setEntireImageReferenceArray(std::vector<std::vector<imageReferenceArray>> IMAGE_REFERENCE_ARRAY);
    // The layer's picture: an Image value, or a List of Image values for an animated symbol.
    // Throws qrnError when a still image cannot be had. No reference: the selected layer's.
    // While a project is being opened, a picture of the images folder is the stand-in that its
    // decoded picture replaces later (previewLayerPendingPictures.h).
    qrn::Value getImageFromImageReferenceArray(const std::optional<imageReferenceArray>& reference);
    // Builds a reference and appends it to the selected asset's row.
    void setImageReferenceArray(int kind, const std::optional<qrn::Value::List>& names,
                                const std::optional<std::string>& fileExtension);
    const std::vector<std::vector<std::vector<double>>>& getLayerOriginSizeArray();
    void setLayerOriginSizeArray(std::vector<std::vector<std::vector<double>>> LAYER_ORIGIN_SIZE_ARRAY);
    std::vector<double>
    getSingleLayerOriginSizeArray(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer);
    const std::vector<std::vector<qrn::Point>>& getLayerTransformedOrigin();
    void setLayerTransformedOrigin(std::vector<std::vector<qrn::Point>> layerTransformedOrigin);
    const std::vector<std::vector<qrn::Size>>& getLayerTransformedSize();
    void setLayerTransformedSize(std::vector<std::vector<qrn::Size>> layerTransformedSize);
    const std::vector<std::vector<double>>& getLayerRotateArray();
    void setLayerRotateArray(std::vector<std::vector<double>> LAYER_ROTATE_ARRAY);
    const std::vector<std::vector<std::vector<double>>>& getLayerOriginalPosSize();
    void setLayerOriginalPosSize(std::vector<std::vector<std::vector<double>>> LAYER_ORIGINAL_POS_SIZE_ROT);
    const std::vector<std::vector<std::vector<bool>>>& getLayerIsFlippedArray();
    void setLayerIsFlippedArray(std::vector<std::vector<std::vector<bool>>> LAYER_IS_FLIPPED_ARRAY);
    const std::vector<std::vector<std::vector<double>>>& getLayerResizeWithAspectRatioArray();
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
    // The selection overlay: the superview of the view tagged -5 inside the layer container
    // (drop) view. Null while the overlay is not built.
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

    // --- The camera view (previewLayerClassCamera.cpp)
    // true: a new or opened project; the camera view covers the preview and starts hidden. Any
    // marker views and camera view left in the preview are taken out first, so each exists once.
    // false: replaces the camera view in place, keeping its visibility and frame.
    void reloadVideoPreview(bool resetVideoFrame);
    // Shows (and selects) or hides the camera view; true when it is now shown.
    bool displayVideo();
    void selectVideoLayer();
    // Applies the crop window to a view whose layer holds a clipping crop layer around the
    // picture layer; other views are left alone.
    void cropVideo(qrn::ui::View& videoView);

    // --- Selection (previewLayerClassSelection.cpp)
    // A layer view or the camera view becomes the selection; null clears it. With a handle
    // under the mouse only the handle in use is recorded.
    void layerSelected(const std::shared_ptr<qrn::ui::View>& view);
    void noLayerSelected();
    // Selects the selected asset's lowest layer, or nothing.
    void selectLastLayer();
    // Recolours a layer-list row (palette index) and enables the Arrange flips; with no layer
    // the camera row while the camera is selected, else nothing at all.
    void highlightOfSelectedScrollViewLayer(int colourIndex, std::optional<int> layer);
    // Set when a click selected a layer, so that a following drag moves it.
    bool getDraggingLayer();
    void setDraggingLayer(bool dragging);

    // --- Hit paths and hit testing (previewLayerClassHitTest.cpp)
    // Selects the topmost hit of a mouse-down, converted into the drop view's coordinates.
    void layerHitTest(const qrn::ui::Event& event);
    // The same for a point in the drop view's coordinates.
    void layerHitTestAtPoint(qrn::Point point);
    // Builds the hit path of one layer (or of the camera) from the model and stores it: in place,
    // appended, or inserted at layerIndex (the last index with useLastLayer).
    void createOrUpdateLayerPath(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                 bool isInsert, int layerIndex, bool useLastLayer);
    std::optional<qrn::Path> getVideoLayerPath();
    // Every layer's path of every asset from the model, in one pass: one entry per layer in
    // LAYER_ARRAY order.
    void rebuildAllLayerPaths();
    // Refills the ordered list of the selected asset's hittable views.
    void fillSelectedAssetOrderedLayerArray();
    std::vector<std::shared_ptr<qrn::ui::View>> getSelectedAssetOrderedLayerArray();

    // --- Selection overlay (previewLayerClassOverlay.cpp)
    // Puts the overlay 6 points outside the layer's (or the camera's, or its crop window's)
    // rectangle; without setPosition only its size changes.
    void positionAndResizeOverlay(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                  bool setPosition);
    // The overlay framed unturned on the layer at `address` (positionAndResizeOverlay), then
    // turned by `turn` radians.
    void placeOverlayOn(const layerAssetIndexAndVideoSelectedArray& address, double turn);
    // A press on handle -1 (turn) or -2 (resize) of the selection: notes how far the handle
    // shows from the corner it works (the overlay keeps handles inside the preview), so that
    // dragging it acts as a drag of that corner would.
    void noteHandleOffset(const qrn::ui::View& handle, int handleTag);
    // Blue overlay and the dashed camera frame while cropping, amber otherwise.
    void cropOverlay(bool cropOn);
    // After an import: original rectangles saved in the imported preview rectangle are scaled to
    // the preview's bounds, as the frames are.
    void convertLayerOriginalPosSizeArrayToPreviewViewBounds();

    // --- Layer transforms (previewLayerClassTransform.cpp)
    // Turns a view about its frame's centre by angleR radians.
    void rotateLayer(qrn::ui::View& view, double angleR);
    bool checkIfLayerIsFlipped(bool horizontal,
                               const std::optional<layerAssetIndexAndVideoSelectedArray>& layer);
    // Applies the stored flips to the layer's current transform (its backing layer when none is
    // given): horizontal negates c and d, vertical a and b.
    void mirrorLayerCheck(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                          const std::shared_ptr<qrn::graphics::Layer>& target);
    // Re-applies a layer's stored frame (or the given [width, height, rotation]) to its view.
    void resizeCorrectionForSingleLayer(const std::optional<std::vector<double>>& values,
                                        const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                        bool fromUndo);

    // --- Dragging, resizing and rotating (previewLayerClassGestures.cpp)
    // Moves the selected layer, the camera picture or (while cropping) the crop window by the
    // mouse's travel since the previous event of the drag, or puts it at targetOrigin [x, y].
    // mouseLocation is in window coordinates; dragEnded records the drag's undo entry.
    void dragLayerInVideoViewLayer(std::optional<qrn::Point> mouseLocation, bool dragEnded,
                                   const std::optional<std::vector<double>>& targetOrigin,
                                   bool proceedWithoutSelection, bool scheduleSettle,
                                   const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                   bool fromUndo, bool exportData, bool setCropOrigin);
    // The selection's position as a drag's undo entry keeps it: the crop origin in crop mode.
    qrn::Point dragLayerInVideoViewLayerUndoRedoActionContent(bool cropState);
    // Resizes or rotates by the handle under the mouse (window coordinates), or applies values:
    // [rotation, scale x, scale y] for a rotation, [width, height, rotation] for a resize.
    void resizeOrRotateLayer(bool rotate, const std::optional<std::vector<double>>& values,
                             bool scheduleSettle,
                             const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                             bool recordUndo, bool fromUndo, bool correction, bool exportData, double mouseX,
                             double mouseY, bool changeCropSize, bool skipTextRelayout);
    // The first value of a handle drag's undo entry: the rotation, or the size (crop size when
    // crop is set).
    std::variant<double, qrn::Size> resizeOrRotateLayerUndoRedoActionContent(bool rotate, bool crop);

    // --- Flips, revert, aspect lock and z moves (previewLayerClassArrange.cpp)
    // Toggles a flip flag of a layer or the camera picture; records it unless replaying.
    void flipLayerValue(bool horizontal, const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                        bool fromUndo);
    // The flip tool: toggles the flag and redraws the transform with the flags on top.
    void mirrorLayer(bool horizontal, const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                     bool fromUndo);
    // Puts the selection back to its original rectangle, upright and unflipped; the camera
    // picture also loses its crop.
    void revertLayerToOriginal();
    // Without toggle: whether the lock is on. With toggle: sets value (replays) or flips the lock,
    // returning the new state. The camera picture (or nothing) answers "camera selected".
    bool resizeLayerWithAspectRatio(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                    bool toggle, std::optional<double> value, bool fromUndo);
    // After the layer list moved a layer inside one asset: its view and thumbnail copy follow.
    void changeZPositionOfLayerInPreview(int fromAssetIndex, int toAssetIndex, std::optional<int> layerIndex,
                                         bool aboveVideo);
    // The editing screen's crop switch; until set, reverting the camera just leaves crop mode.
    static void setVideoCroppingEnabledHook(std::function<void()> hook);
    // The settings pane puts its flip and crop icons back to their default colours through this.
    static void setToolIconsRevertedHook(std::function<void(bool cameraPicture)> hook);

    // --- Assets (previewLayerClassAsset.cpp)
    // Makes an asset's model rows, its container in the preview (regular assets, tagged id + 1)
    // and its tile, then selects it.
    void addAsset(bool isRegularAsset, bool isNewAsset, bool syncAutocue,
                  std::optional<int> duplicateSourceIndex, std::optional<int> restoreIndex, bool skipUndo,
                  bool isRestore, bool isDuplicate);
    // While a project opens, the strip is sized and scrolled once, after its last tile: the
    // import calls this when it ends, however it ends.
    void layOutAssetStripAfterImport();
    // Makes the tile's asset the selected one: its container, label highlight, colour, script and
    // layer list. The selected asset again does nothing unless forced; the initial selection of
    // a new tile neither hides the previous asset nor selects a layer.
    void selectAsset(const std::shared_ptr<qrn::ui::View>& tile, bool forceSelect, bool syncAutocue,
                     bool isInitialSelection, bool reloadLayerList);
    // While an opened project's assets are re-created one after another, selecting each new
    // asset leaves the layer list and the ordered list of hittable views alone: nothing shows
    // them before the import fills both for the asset it leaves selected. The background box
    // still follows each selection.
    static void holdLayerListsForImport(bool held);

    // --- Asset removal (previewLayerClassAssetRemove.cpp)
    // Deletes a regular asset (absent: the selected one, never the sticky asset) from the model,
    // the preview and the strip, then selects a neighbour. A replay records nothing and keeps the
    // selection unless the removed asset held it.
    void removeAsset(std::optional<int> assetId, bool isUndoReplay);

    // --- Adding layers (previewLayerClassLayers.cpp)
    // The smallest size of a new layer on the current preview, from a size given for a
    // 556 x 313 preview: at least three minimum layer sizes each way, four times as wide for text.
    qrn::Size getMinSize(bool isText, qrn::Size size);
    // Writes one layer's values into every per-layer row: fills in an imported layer, overwrites
    // a replaced background or a restored layer in place, inserts a duplicate after its source,
    // or appends a new layer. True when a background was replaced in place.
    bool appendNewLayerValuesToArray(const std::shared_ptr<qrn::ui::View>& layerView,
                                     const qrn::ImageHandle& image,
                                     const std::optional<std::string>& imageFileURL, bool isBackgroundLayer,
                                     const std::optional<std::vector<int>>& layerPosition, int addMode,
                                     const std::optional<qrn::AttributedString>& text, int isText,
                                     qrn::Point origin, qrn::Size size, bool storeText,
                                     bool saveImageToProject, bool restoreAtPosition, bool isDuplicate);
    // Makes one layer (image, animated symbol or text) in the preview, the asset strip and the
    // model. addMode 0 new or imported, 1 a duplicate after the layer at layerPosition, 2 a copy
    // of it into the selected asset. The image reference at the new layer's place must exist.
    void addLayer(const qrn::ImageHandle& image,
                  const std::optional<std::vector<qrn::ImageHandle>>& animationFrames,
                  const std::optional<std::string>& imageFileURL, std::optional<qrn::Size> layerSize,
                  bool saveImageToProject, bool isBackgroundLayer, qrn::Point dropPoint,
                  std::optional<std::vector<int>> layerPosition, int addMode, bool restoreAtPosition,
                  bool insertBetweenLayers, bool isFirstLayerAboveVideo, bool isDuplicate);
    // The asset strip's part of an add: the thumbnails of a new layer (one per asset tile for a
    // sticky layer), the id of the layer they stack on and the layer's rotation.
    using addLayerToAssetScrollViewHook =
        std::function<void(int assetIndex, const std::vector<std::vector<std::string>>& layers,
                           const std::vector<std::shared_ptr<qrn::ui::View>>& thumbnails,
                           const std::string& stackOnId, double rotation)>;
    static void setAddLayerToAssetScrollViewHook(addLayerToAssetScrollViewHook hook);
    // Rebuilds the layer list of the selected asset after a layer joined it.
    static void setRebuildLayerListHook(std::function<void()> hook);
    // Refreshes the shown settings pane for the new selection.
    static void setLoadSettingsViewHook(std::function<void()> hook);
    // --- Settings pane: the selection changed, so the shown pane follows it (through the hook).
    // Loads the settings pane once when the layers an import re-created left it to be loaded.
    static void loadSettingsPaneAfterImport();
    static void reloadSettingsPane();
    // Refreshes the background box after a background layer joined the selected asset.
    static void setRefreshBackgroundBoxHook(std::function<void()> hook);
    // Rebuilds the selected asset's layer list (through the hook; nothing until it is set).
    void reloadLayerList();
    // Lays the layer's copies in the slide tiles out again from their frames, with its turn and
    // flips.
    void refreshLayerThumbnails(int assetIndex, int layerIndex);
    // The layer views of one asset tile thumbnail.
    static std::shared_ptr<qrn::ui::View> makeLayerThumbnail(const qrn::ui::View& container, int layerId);
    // The per-layer rows in place, for adds that touch one entry of each: copying every row per
    // add made laying out a large project quadratic.
    struct layerRowsAccess {
        std::vector<std::vector<std::string>>& layers;
        std::vector<std::vector<imageReferenceArray>>& references;
        std::vector<std::vector<std::vector<double>>>& frames;
        std::vector<std::vector<qrn::Point>>& origins;
        std::vector<std::vector<qrn::Size>>& scales;
        std::vector<std::vector<double>>& rotations;
        std::vector<std::vector<std::vector<double>>>& originals;
        std::vector<std::vector<std::vector<bool>>>& flips;
        std::vector<std::vector<std::vector<double>>>& locks;
        std::vector<std::optional<std::string>>& backgrounds;
        std::vector<std::string>& assets;
        std::vector<std::optional<std::string>>& firstAboveVideo;
    };
    static layerRowsAccess layerRows();

    // --- Duplicating and removing layers (previewLayerClassLayersRemove.cpp)
    // Copies a layer (the selection when absent) next to itself; a background is never copied.
    void duplicateLayer(std::optional<int> assetId, std::optional<int> layerId);
    // Copies the layer at (asset, layer): next to it, or into the selected asset (no undo entry).
    void duplicateLayerInternal(int assetIndex, int layerIndex, bool toSelectedAsset);
    // Takes a layer out of the model, the preview, the thumbnails and the list. A replay records
    // nothing, writes no project and leaves nothing selected.
    void removeLayer(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer, bool replay);
    // The layer list's empty background row, after a background layer went.
    static void setAddEmptyBackgroundRowHook(std::function<void()> hook);

    // --- Layer filters (previewLayerClassLayersFilters.cpp)
    // Shows a layer's enabled filters on its picture in the preview and on every thumbnail copy,
    // as filters each view applies to what it shows. Called wherever a layer's views are made
    // or its filter entries change.
    void reapplyLayerFilters(int assetIndex, int layerIndex);
    // A layer's enabled filters, from its stored entries (an entry with no values set yet gives
    // the filter's defaults).
    static std::vector<qrn::graphics::ContentFilterPtr> layerContentFilters(int assetIndex, int layerIndex);

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
// path separators, no "..", no NUL.
bool isSafeImageFileComponent(const std::string& component);
// True when "<name>.<extension>" is such a name, and short enough for a file to have it.
bool isSafeImageFileName(const std::string& name, const std::string& extension);
// The file of the project's images folder that a reference names; none for the application's
// own pictures and for names that could reach outside the folder.
std::optional<std::string> projectPictureFileOf(const imageReferenceArray& reference);
// The slides at these asset positions as the presenter knows them, by their numbers on the strip
// (position 0 is the sticky slide): "slide 3", "slides 2 and 5", "the sticky slide and slide 4".
std::string slideNames(std::vector<size_t> assets);
// The asset positions with a layer showing the file `fileName` of the images folder.
std::vector<size_t> slidesShowingPicture(const std::string& fileName);
