#pragma once
// The editing screen with a project of four assets for the reorder tests: layers added as drops
// add them, tiles pressed, dragged and released through the window, drops delivered through the
// window's drag machinery, and every file the project writes counted.
#include <QImage>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "app/shell/shell_fixture.h"
#include "platform/foundation/attributed_string.h"
#include "platform/ui/dragging.h"

class viewLoaderController;

namespace reordertest {

using ViewPtr = std::shared_ptr<qrn::ui::View>;
using strings = std::vector<std::string>;

// Everything a reorder may change, for comparing whole models.
struct modelSnapshot {
    strings assets;
    std::vector<strings> layers;
    std::vector<std::optional<std::string>> firsts;
    std::vector<std::optional<std::string>> backgrounds;
    std::vector<std::vector<double>> colours;
    std::vector<std::vector<imageReferenceArray>> references;
    std::vector<std::vector<std::vector<double>>> frames;
    std::vector<std::vector<double>> rotations;
    std::vector<std::vector<std::vector<bool>>> flips;
    std::vector<std::vector<std::vector<double>>> locks;
    std::vector<std::vector<std::vector<double>>> originals;
    std::vector<std::vector<std::vector<bool>>> filterFlags;
    std::vector<std::vector<std::vector<int>>> filterOrders;
    std::vector<std::string> scripts;
    std::vector<std::vector<std::string>> texts;
    // The view each hit path belongs to, by its layer id.
    std::vector<strings> pathOwners;
    bool operator==(const modelSnapshot&) const = default;
};
modelSnapshot snapshot();

class ReorderTest : public shelltest::EditingShellTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A new project with four regular assets (ids 2, 4, 6, 8); the first is selected.
    void createProject();
    // Selects the asset at that index as a click on its tile does.
    void select(int assetIndex);
    // A picture layer dropped on the selected asset at a preview point; with firstAbove it
    // becomes the first layer above the camera. Returns its id.
    std::string addLayer(int assetIndex, qrn::Point at, unsigned rgb, bool firstAbove = false);
    std::string addText(int assetIndex, const std::string& text, qrn::Point at);
    // [background, A, B, C, D] on the asset at index 1, with the camera between B and C.
    strings buildLayeredAsset();

    // The layer list as the presenter sees it: tile ids ("-8" the camera) by slot.
    static strings tilesBySlot();
    static ViewPtr layerTile(const std::string& id);
    static ViewPtr assetTile(const std::string& id);
    static std::string assetLabel(const std::string& id);
    // Model order of the selected asset's tiles (camera included), as the list should show it.
    static strings modelTileOrder(int assetIndex);
    // The layer ids of an asset in the preview's stacking order, bottom to top.
    strings previewOrder(int assetIndex) const;

    // Pointer events through the main window, at points of the main view.
    void press(const ViewPtr& view, qrn::Point inBounds = {-1, -1}, unsigned modifiers = 0);
    void rightPress(const ViewPtr& view);
    void moveTo(qrn::Point inMainView);
    void dragTo(qrn::Point inMainView);
    void releaseAt(qrn::Point inMainView);
    void exitAt(qrn::Point inMainView);
    qrn::Point inMain(const ViewPtr& view, qrn::Point inBounds) const;
    // The main view point at which a pressed tile's floating copy has its left edge at slot s.
    static qrn::Point layerSlotPoint(int slot, double grab = 19.0);

    // Renders the editing screen into QRN_SHOT_DIR/<name>.png when that is set.
    void saveShot(const std::string& name);
    // Writes of a file of the project folder since the test began (by file name).
    int writes(const std::string& name) const;
    size_t entries() const;

    viewLoaderController* editor = nullptr;
    std::map<std::string, int> written;
    std::string projectPath() const { return dir.path().toStdString() + "/Demo.qrn3ks"; }
};

QImage solid(int width, int height, unsigned rgb);
// A PNG file of a solid colour; returns its path.
std::string writePng(const std::string& path, int width, int height, unsigned rgb);

} // namespace reordertest
