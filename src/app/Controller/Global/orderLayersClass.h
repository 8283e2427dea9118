#pragma once
// The z order of a preview: one flat list of sibling views inside the preview view. Invisible
// marker views split it into groups (background, sticky below and above the camera, regular
// below and above the camera) around the camera view; asset containers lie below all groups.
// A layer view is the superview of the view tagged with the layer's id; a group's marker view
// is the superview of the view tagged -9 ... -13.
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qrn::ui {
class View;
}
namespace qrn::graphics {
class Layer;
}

class orderLayersClass {
  public:
    using ViewPtr = std::shared_ptr<qrn::ui::View>;
    using layerRows = std::vector<std::vector<std::string>>;

    // Marker views below the camera view (-9, -10, -11) or above it (-12, -13), appended.
    void addParentOrderViews(const ViewPtr& previewView, bool beforeVideo);
    // The view directly above which something stacked on `tag` goes: the superview of the view
    // tagged `tag` in `in`. An asset thumbnail makes a group's marker view only when the group
    // gets its first layer (most slides use one or two of the five), so a missing group tag
    // makes it there, below the markers of the later groups.
    ViewPtr stackingViewIn(const ViewPtr& in, int tag);
    // The marker tag of a group as decimal text: 0 background, 1 sticky, other regular.
    std::string returnParentOrderView(int layerType, bool aboveVideo);
    // The tag of the view directly above which layer j of asset i goes; insertedLayers already
    // holds the layer at j. Always a layer of the same asset, group and side, or the marker.
    std::string findPreviousLayerInSameAsset(int i, int j, int layerType, const layerRows& insertedLayers,
                                             bool aboveVideo,
                                             const std::vector<std::optional<std::string>>& firstAboveVideo,
                                             const std::vector<std::optional<std::string>>& backgroundIds);
    // Places a layer view in the preview view by the rule above (moving it when it is there).
    void insertLayerViewInOrder(const ViewPtr& previewView, const ViewPtr& layerView, int i, int j,
                                int layerType, bool aboveVideo);
    // Asset i's layer views on one side of the camera view, bottom to top, background left out.
    std::vector<ViewPtr> returnAllLayersBeforeOrAfterVideo(bool beforeVideo, int i,
                                                           const layerRows& insertedLayers);
    // The same for every group, in the order of the setting layersZPosOrder.
    std::vector<ViewPtr> orderedLayersBeforeOrAfterVideo(bool beforeVideo, int i,
                                                         const layerRows& insertedLayers);
    // Asset i's hittable views bottom to top: below the camera, the camera view, above it.
    std::vector<ViewPtr> fillSelectedAssetOrderedLayerArray(int i, const layerRows& insertedLayers);
    // 0 hides every asset; 1 shows the first two (the studio); 2 shows the selected one only.
    bool hideLayer(int hideAllLayers, int i);
    // Moves one side (0 below, 1 above the camera) of asset j's layers into newPreview above
    // the marker orderingViewTag. skipId (the background) stays where it is.
    ViewPtr addAssetLayersToNewPreview(int i, int j, const ViewPtr& oldPreview, const ViewPtr& newPreview,
                                       const layerRows& layers, int orderingViewTag, int hideAllLayers,
                                       const std::optional<std::string>& skipId = std::nullopt);
    // Moves every asset container and layer view from oldPreview into newPreview, which holds
    // its own markers and camera view already.
    void addLayersInOrderToPreview(const ViewPtr& oldPreview, const ViewPtr& newPreview,
                                   const std::vector<std::string>& assets, const layerRows& layers,
                                   int hideAllLayers);
    // --- Movie output order (orderLayersClassMovie.cpp)
    // Appends to the output layer the backing layers of one side of the camera picture in z
    // order: below it the asset containers, the backgrounds, then each group's layers below the
    // camera; above it each group's layers above the camera. Returns the output layer.
    std::shared_ptr<qrn::graphics::Layer> addLayersInOrderToFinalMovieOutputLayer(
        const ViewPtr& previewView, const std::shared_ptr<qrn::graphics::Layer>& newMovieOutputLayerValue,
        const std::vector<std::string>& assets, const layerRows& layers, bool beforeVideo);
    // One asset's layers of one side, the background left out.
    std::shared_ptr<qrn::graphics::Layer>
    addAssetLayersToMovieOutputLayer(const ViewPtr& previewView,
                                     const std::shared_ptr<qrn::graphics::Layer>& newMovieOutputLayer,
                                     const layerRows& layers, bool beforeVideo, int i);

    // Shows and appends the views of viewLists[index] to an asset thumbnail.
    void addLayersToAssetPreview(int index, const ViewPtr& assetPreview,
                                 const std::vector<std::vector<ViewPtr>>& viewLists);
};
