#pragma once
// The editing screen's logic: its views as the preview engine needs them, the set-up of the
// selection overlay and the camera frame, loading the project into the preview, and the small
// services other parts call while they work on the preview.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/colour.h"
#include "platform/foundation/geometry.h"

namespace qrn::ui {
class View;
class ScrollView;
class ProgressIndicator;
class TextField;
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
    // Refits the camera and every layer to the preview's bounds and rebuilds every hit path.
    void resizeAndPositionLayers(bool refitCamera);
    // Rebuilds the camera's path, then every layer's path of every asset, in place.
    void updateLayerPaths();
    // Paints the selected asset's container and thumbnail (and its box) in the colour and writes
    // the project at once.
    void changeAssetBackgroundColour(const qrn::Colour& colour, bool fromUndo);
    // The background box's click: the colour panel shows the selected asset's colour. Loading it
    // reports no change, so the next pick in the panel applies.
    void showAssetColourInPanel(const void* target, std::function<void(const qrn::Colour&)> onPick);
};
