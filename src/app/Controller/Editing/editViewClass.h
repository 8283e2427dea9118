#pragma once
// The editing screen's logic: its views as the preview engine needs them, the set-up of the
// selection overlay and the camera frame, loading the project into the preview, and the small
// services other parts call while they work on the preview.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "platform/foundation/attributed_string.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/geometry.h"
#include "platform/foundation/value.h"

namespace qrn::ui {
class View;
class ScrollView;
class ProgressIndicator;
class TextField;
struct Event;
} // namespace qrn::ui

// The editing screen's views that the logic works with.
struct editViewConfiguration {
    std::shared_ptr<qrn::ui::View> stickyAsset;
    std::shared_ptr<qrn::ui::ScrollView> assetTableView;
    std::shared_ptr<qrn::ui::View> backgroundColourView;
    std::shared_ptr<qrn::ui::View> backgroundLayerView;
    std::shared_ptr<qrn::ui::ScrollView> layerTableView;
    std::shared_ptr<qrn::ui::ProgressIndicator> videoLoadingIcon;
    std::shared_ptr<qrn::ui::TextField> videoLabel;
};

class editViewClass {
  public:
    using ViewPtr = std::shared_ptr<qrn::ui::View>;

    editViewClass() = default;
    // With a configuration and a preview parent: stores them and the drop view, hands the
    // preview engine its views, hides the camera view and builds the overlay (initialisation).
    editViewClass(std::optional<editViewConfiguration> configuration, ViewPtr mainPreviewView,
                  ViewPtr parentPreviewView, ViewPtr dragView);

    // Builds the selection overlay, the sticky tile, the camera frame and, for a new project,
    // its first asset.
    void initialisation();
    // Loads the project into the preview: imports an opened package or starts a new project,
    // then fits the camera 0.1 s later.
    void initialiseProject();

    // [x, y, width, height] that the project file stores: the fitting bounds while the studio
    // is shown, [0, 0, 556, 313] before the editing screen is set up, else the drop view's frame.
    std::vector<double> getMainPreviewViewRectAsArray();

    // True while the editing screen is the shown screen.
    bool getEditViewSelected();
    // Entering the editing screen deletes the images marked for removal.
    void setEditViewSelected(bool selected);

    // Whether the editing screen presented next opens the project in the project directory
    // (true) or starts a new one (false).
    static void setEditorOpensExistingProject(bool opens);
    static bool getEditorOpensExistingProject();

    // true: the screen is no longer current and everything is reset; false keeps the screen
    // for a project about to be loaded into it. Both empty the model the same way, after any
    // pending write went out.
    void clearClass(bool resetClass);
    // The editing screen drops its own views and state through this before the model clears.
    static void setScreenClearHandler(std::function<void(bool resetClass)> handler);

    std::optional<editViewConfiguration> getConfiguration();
    ViewPtr getParentPreviewView();
    ViewPtr getDragView();
    // The document view of the asset strip (tiles of the regular assets).
    ViewPtr getAssetHorizontalScrollView();
    // The document view of the layer list.
    ViewPtr getLayerScrollDocumentView();
    double getOverlayIconSize();
    double getAssetWidth();

    // Writes the project 1.0 s later (after an import), with the camera filters re-applied.
    void exportProjectAfterDelay();
    void addExistingFiltersToVideo(bool exportData);
    bool getShiftKeyPressed();
    void setShiftKeyPressed(bool pressed);
    // Moves the dashed camera frame to (origin, size), by default onto the camera view.
    void stripedBorderFrameChange(std::optional<qrn::Point> origin, std::optional<qrn::Size> size);
    // The drop view, or the holder view of the layer with that id.
    ViewPtr getBackgroundImageView(std::optional<int> tag);
    void displayBackgroundColourAndLayer(bool display);
    void updateMouseCursor();
    void updateMouseDownValue(bool down);
    // Paints the selected asset's container and thumbnail (and its box) in the colour and writes
    // the project at once.
    void changeAssetBackgroundColour(const qrn::Colour& colour, bool fromUndo);
    // The background box's click: the colour panel shows the selected asset's colour. Loading it
    // reports no change, so the next pick in the panel applies.
    void showAssetColourInPanel(const void* target, std::function<void(const qrn::Colour&)> onPick);
    // --- Asset strip, layer list and scripts (editViewClassAssets.cpp)
    // Rebuilds the layer list of the selected asset (the camera tile between the layers below and
    // above it, the background layer in its own box) and shows the sticky and selected layers.
    void loadScrollViewLayers();
    // One tile: a layer's (or with tag -8 the camera's) at xValue in the list, or with
    // isBackgroundLayer the selected asset's background layer in its box (emptied first).
    void addSingleLayerToLayerScrollView(const std::optional<qrn::Value>& picture, bool isBackgroundLayer,
                                         std::optional<int> tag, int xValue);
    // Tiles for parallel pictures, numbers and slots (x = slot x 39). displayNewLayers empties the
    // list first; otherwise the tiles already there are re-placed at their model slots.
    void addLayersToLayerScrollView(const std::vector<qrn::Value>& images, const std::vector<int>& numbers,
                                    const std::vector<int>& places, std::optional<int> insertIndex,
                                    bool displayNewLayers, bool isBackgroundLayer, bool moveFlag);
    void appendVideoToScrollViewLayerArrays(std::vector<qrn::Value>& images, std::vector<int>& numbers,
                                            std::vector<int>& places, int videoLayerIndex);
    // The asset's first layer above the camera and its position, both absent when it has none.
    std::pair<std::optional<std::string>, std::optional<int>>
    getIndexAndStringOfFirstLayerAboveVideo(int assetArrayIndex);
    // Moves a layer's tile to the slot of its position (the background layer takes no slot).
    void changeOriginXForLayerInLayerScrollView(int layerIndexValue, const std::string& layerString);
    // After a tile was inserted: every tile, the camera's included, goes to its model slot (the
    // last slot, the start and the first-above position name the span a caller changed).
    void moveLayersAfterAddedLayerInLayerScrollView(int last, const std::string& layerString,
                                                    std::optional<int> firstLayerAboveVideoIndex,
                                                    std::optional<int> startIndexValue);
    // A click on an asset tile.
    void assetPreviewSelected(const ViewPtr& assetView);
    // Scrolls the strip just enough to show the tile whole; the sticky tile stands outside the
    // strip and always shows. The second form finds the selected asset's tile.
    void showAssetTile(const ViewPtr& tile);
    void showSelectedAssetTile();
    // A thumbnail view of a layer: the layer's frame (or rect), holding a marker tagged tag.
    ViewPtr assetPreviewLayerView(const ViewPtr& newLayerOne, int tag, std::optional<qrn::Rect> rect);
    // Puts a new layer's thumbnail views in place: for a sticky layer one in every tile (only the
    // count of LAYER_ARRAY is used).
    void addLayerToAssetScrollView(int assetArrayIndex,
                                   const std::vector<std::vector<std::string>>& LAYER_ARRAY,
                                   const std::vector<ViewPtr>& imageViews, const std::string& layerString,
                                   std::optional<double> rotationValue);
    // Appends a copy of the asset (absent: the selected one) with its colour, script and layers.
    void duplicateAsset(std::optional<int> assetTag);
    // Stores the text as the selected asset's script (the project notes for the sticky asset).
    void addTextToAutocueArray(const qrn::AttributedString& attributedString);
    // The script pane's text and the settings' asset-change flag; owned by the settings panel.
    static void setAutocueTextHooks(std::function<std::optional<qrn::AttributedString>()> getText,
                                    std::function<void(const qrn::AttributedString&)> setText);
    static void setAssetChangeHook(std::function<void(bool)> setAssetChange);
    // Through those hooks; no text and no effect until they are set.
    static std::optional<qrn::AttributedString> getAutocueText();
    static void setAutocueText(const qrn::AttributedString& text);
    static void setAssetChange(bool change);
    // An asset's colour (absent array: the selected asset's) from the panel or, with undoRedo, a
    // replay. A burst of changes makes one undo entry 0.5 s after its last change.
    void changeAssetBackgroundColour(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                     const qrn::Colour& colour, bool undoRedo);
    // The entry of a colour burst still waiting: recorded now, or dropped with the history.
    static void settlePendingColourEntry(bool record);
    static bool getAssetChange();
    // The Control key state and the popovers belong to the screen's pointer handling; tiles reach
    // them through these until it is there (no key, no popover).
    static void setControlKeyPressedHook(std::function<bool()> hook);
    // (event, type: 0 preview, 1 asset strip, 2 layer list; force)
    static void setShowPopoverHook(std::function<void(const qrn::ui::Event&, int, bool)> hook);
    static bool controlKeyPressedThroughHook();
    static void showPopoverThroughHook(const qrn::ui::Event& event, int type, bool force);
    // Copies layer layerIndex of asset sourceIndex into the last asset; owned by the layer code.
    static void
    setDuplicateLayerInternalHook(std::function<void(int sourceIndex, int layerIndex, bool)> hook);

    // --- Text layer texts (editViewClassLayers.cpp). A text layer's reference starts and ends
    // with the integer 1; its text is the asset's text-symbol text at its rank among the asset's
    // text layers. The layer is [video selected, asset, layer], absent parts from the selection.
    int selectedLayerSpecialSymbolType(const std::optional<std::vector<qrn::Value>>& layer);
    // The rank of the layer (or of the last text layer below it) among the text layers up to it
    // (up to the asset's last layer with lastLayer); -1 when there is none.
    int getSelectedTextSymbolIndex(const std::optional<std::vector<qrn::Value>>& layer, bool lastLayer);
    std::optional<qrn::AttributedString>
    getSelectedTextSymbolText(const std::optional<std::vector<qrn::Value>>& layer);
    // Stores the text (written half a second after the last change) and shows it in the layer.
    void updateSelectedTextSymbolText(const qrn::AttributedString& attributedString,
                                      const std::optional<std::vector<qrn::Value>>& layer);

    // --- Filter chain (editViewClassLayersFilters.cpp)
    // The target's enabled filters in its order list's sequence, each with its own values: as
    // filter objects for live content (no image), or applied one after another to the image.
    // The target is the video, or the layer at layerIndex (the selection when absent) of the
    // asset at assetIndex (the selected asset when absent). Malformed tables give no filters.
    struct filterChainResult {
        std::vector<qrn::graphics::ContentFilterPtr> filters;
        qrn::ImageHandle image;
    };
    filterChainResult getFiltersArrayOrFilteredImage(const qrn::ImageHandle& image, bool videoSelected,
                                                     const std::optional<filterValuesArray>& VALUES_ARRAY,
                                                     std::optional<int> layerIndex,
                                                     std::optional<int> assetIndex = std::nullopt);
    // A filter setting changed for the camera picture or the selected layer: stores it, writes
    // the project when asked and shows the result.
    void applyFilter(std::optional<bool> displayValue, int index, const filterValuesEntry& values,
                     bool videoLayer, bool exportData);
    // The filter panels act on the preview's selection from now on.
    static void registerFilterEditingHost();

    // --- Re-layout, hit paths and the crop switch (editViewClassRelayout.cpp)
    // Refits the camera (with resizeVideo), every layer view and the selection overlay to the
    // preview's bounds; the hit paths are rebuilt once, 0.1 s after the last of a burst.
    void resizeAndPositionLayers(bool resizeVideo);
    // The deferred rebuild: the camera's path, then every layer's in model order, only when no
    // re-layout came after the one that scheduled it (layerPathsCheck is its counter value).
    void updateLayerPaths(int layerPathsCheck);
    // The re-layout counter, 0 to 9999.
    static int getLayerPathsCounter();
    static void setLayerPathsCounter(int value);
    // The camera picture's crop frame on or off; nothing unless the camera is selected.
    void videoCroppingEnabled();
    // Runs fn after the delay only while the same screen shows the same project.
    static void afterOnThisScreen(double seconds, std::function<void()> fn);

    // --- Lending views to the studio and taking them back (editViewClassHandBack.cpp)
    // Per asset (ASSET_ARRAY order) the views of its thumbnail in the strip.
    std::vector<std::vector<ViewPtr>> getAllAssetPreviewLayers();
    // Empties every asset's thumbnail (the studio holds the views meanwhile).
    void removeAllLayersFromAssetPreviews();
    // The thumbnail's bounds in the strip, to which returned thumbnail views are refitted.
    qrn::Rect getAssetPreviewBounds();
    // Takes the layer views back from the studio's view and the thumbnails from the studio,
    // refits them (0.1 s and 0.2 s later) and re-selects the shown asset's tile. The two arrays
    // are the studio's copies, logged only: the layers come back from the model.
    void loadEditingView(const ViewPtr& previewLayer,
                         const std::vector<std::vector<std::string>>& LAYER_ARRAY,
                         const std::vector<std::vector<double>>& BACKGROUND_COLOUR_ARRAY);
    // Re-highlights the selected asset's tile and shows its container.
    void correctScrollViewLayers();
    // What the studio lends and hands back; set by the studio. Unset, nothing was lent.
    struct studioHandBackHooks {
        std::function<ViewPtr()> getRecordingView;
        std::function<std::vector<std::vector<std::string>>()> getLayerArray;
        std::function<std::vector<std::vector<double>>()> getBackgroundColourArray;
        std::function<std::vector<std::vector<ViewPtr>>()> getAssetPreviewLayerArray;
        std::function<void(std::vector<std::vector<ViewPtr>>)> setAssetPreviewLayerArray;
        std::function<qrn::Rect()> returnNextAssetPreviewBounds;
    };
    static void setStudioHandBackHooks(studioHandBackHooks hooks);
    static const studioHandBackHooks& getStudioHandBackHooks();
    // The studio's own views and lists through those hooks, and its return through this screen.
    static void connectStudioHandBack();

    // --- Context menus and the Control key (editViewClassPopover.cpp)
    // A context click (type 0 the preview, 1 the asset strip, 2 the layer list) opens the menu of
    // the selected layer or asset when it lands on it (or with force); any other click closes
    // the menu shown.
    void showPopover(const qrn::ui::Event& event, int type, bool force);
    bool getControlKeyPressed();
    void setControlKeyPressed(bool pressed);
    // A press says which modifiers are really down: a Shift or Control whose release went to a
    // text box's own editor is let go here. (Only the root view sets them, from the left keys.)
    static void followModifierKeys(const qrn::ui::Event& press);
    // The tiles and the preview reach the menus and the Control key through the hooks above.
    static void connectPopoverHooks();
    // --- Asset strip hover (editViewClassHoveredAsset.cpp): the asset id of the tile last
    // right-clicked; none once the pointer leaves a tile.
    static void setHoveredAssetTag(std::optional<int> tag);
    static std::optional<int> getHoveredAssetTag();
};

// Text layers: the text a text layer shows when none is stored for it ("text symbol").
qrn::AttributedString defaultTextSymbolText();
