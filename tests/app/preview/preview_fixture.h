#pragma once
// A built preview for tests and benchmarks: the preview parent and the drop view laid out as
// the editing screen lays them out, the z-order markers with the camera view, the sticky asset
// and helpers that add assets and layers to every model row and to the preview, each layer
// view placed through findPreviousLayerInSameAsset as the add-layer routine places it.
#include <memory>
#include <string>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "platform/foundation/geometry.h"

namespace qrn::ui {
class View;
}

namespace previewtest {

enum class placement { below, above, background };

class previewScene {
  public:
    // Empties the model, builds the preview (556 x 313 at (10, 164) unless told otherwise) and
    // adds the sticky asset "0".
    explicit previewScene(qrn::Rect parentFrame = qrn::Rect(10, 164, 556, 313));
    ~previewScene();
    previewScene(const previewScene&) = delete;
    previewScene& operator=(const previewScene&) = delete;

    std::shared_ptr<qrn::ui::View> parent;
    std::shared_ptr<qrn::ui::View> drop;
    // Runs expectModelInvariants after every add (benchmarks building thousands turn it off).
    bool checkEachAdd = true;

  private:
    // What the scene changes beyond the project model, put back afterwards so later tests in
    // the same process start as they would alone.
    struct saved;
    std::shared_ptr<saved> saved_;

  public:
    // Adds a regular asset after the others and selects it; returns its id.
    std::string addAsset();
    // Adds a layer to the asset at that index: below the camera (after the asset's other
    // layers below it), above it (at the end), or as the asset's background. Returns its id.
    std::string addLayer(int assetIndex, qrn::Rect frame, double rotation = 0,
                         placement where = placement::below);
    // The view of a layer id in the preview.
    std::shared_ptr<qrn::ui::View> layerView(const std::string& id);
    // Selects the asset at that index as a click on its tile would.
    void selectAssetAt(int assetIndex);
    // Builds the overlay with its handles and marker as the editing screen does.
    std::shared_ptr<qrn::ui::View> addOverlay();
};

// Adds a layer to every model row and its view to the drop view (any preview built as the
// editing screen builds it, the screen's own included), as previewScene::addLayer does.
std::string addLayer(const std::shared_ptr<qrn::ui::View>& drop, int assetIndex, qrn::Rect frame,
                     double rotation = 0, placement where = placement::below, bool check = true);

// Every per-layer row, path row and text row matches LAYER_ARRAY; first-above and background
// ids belong to their asset. Reports each mismatch as a test failure.
void expectModelInvariants();

// The tags of the drop view's direct subviews, bottom to top: a layer's id, an asset
// container's marker, a group marker, or "camera" / "overlay" / "?".
std::vector<std::string> dropViewOrder(const std::shared_ptr<qrn::ui::View>& drop);

} // namespace previewtest
