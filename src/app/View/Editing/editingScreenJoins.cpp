#include "View/Editing/editingScreenJoins.h"

#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "View/Editing/dragViewView.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "platform/ui/file_url.h"

namespace {

qrn::ImageHandle handleOf(const QImage& image) {
    return std::make_shared<const QImage>(image);
}

// A dropped picture or symbol becomes a new layer of the selected asset at the drop point; the
// drop view has already appended its image reference.
void addDroppedLayer(const droppedLayer& dropped) {
    std::optional<std::vector<qrn::ImageHandle>> frames;
    if (!dropped.frames.empty()) {
        frames.emplace();
        for (const auto& frame : dropped.frames)
            frames->push_back(handleOf(frame));
    }
    const qrn::ImageHandle image = dropped.image ? handleOf(*dropped.image) : nullptr;
    std::optional<std::string> file;
    if (dropped.url && dropped.url->isLocalFile())
        file = qrn::ui::localFilePath(*dropped.url);
    previewLayerClass().addLayer(image, frames, file, dropped.size, dropped.saveImageToProject && file, false,
                                 dropped.center, std::nullopt, 0, false, false, false, false);
}

// The selected asset's background picture in its box (an empty box once it is gone).
void refreshBackgroundBox() {
    editViewClass().addSingleLayerToLayerScrollView(std::nullopt, true, std::nullopt, 0);
}

} // namespace

void joinEditingScreenOperations(bool join) {
    if (!join) {
        previewLayerClass::setAddLayerToAssetScrollViewHook(nullptr);
        previewLayerClass::setRebuildLayerListHook(nullptr);
        previewLayerClass::setRefreshBackgroundBoxHook(nullptr);
        previewLayerClass::setAddEmptyBackgroundRowHook(nullptr);
        editViewClass::setDuplicateLayerInternalHook(nullptr);
        dragViewView::setAddLayerHook(nullptr);
        editScreenTitleBarController::setLoadSettingsViewHook(nullptr);
        layerSettingsValuesClass::setVideoCroppingEnabledHook(nullptr);
        videoSettingsClass::setEditingHighlightHook(nullptr);
        return;
    }
    previewLayerClass::setAddLayerToAssetScrollViewHook(
        [](int assetIndex, const std::vector<std::vector<std::string>>& layers,
           const std::vector<std::shared_ptr<qrn::ui::View>>& thumbnails, const std::string& stackOnId,
           double rotation) {
            editViewClass().addLayerToAssetScrollView(assetIndex, layers, thumbnails, stackOnId, rotation);
        });
    previewLayerClass::setRebuildLayerListHook([] { editViewClass().loadScrollViewLayers(); });
    previewLayerClass::setRefreshBackgroundBoxHook(refreshBackgroundBox);
    previewLayerClass::setAddEmptyBackgroundRowHook(refreshBackgroundBox);
    editViewClass::setDuplicateLayerInternalHook([](int sourceIndex, int layerIndex, bool toSelectedAsset) {
        previewLayerClass().duplicateLayerInternal(sourceIndex, layerIndex, toSelectedAsset);
    });
    dragViewView::setAddLayerHook(addDroppedLayer);
    // The title bar's pane buttons show the settings panel's panes.
    editScreenTitleBarController::setLoadSettingsViewHook(
        [](std::optional<int> pane) { return settingsViewClass().loadSettingsView(pane); });
    // The crop tool of the layer settings acts on the camera picture.
    layerSettingsValuesClass::setVideoCroppingEnabledHook([] { editViewClass().videoCroppingEnabled(); });
    // The camera chooser lights the title bar's camera settings button while it is open.
    videoSettingsClass::setEditingHighlightHook([](bool keep) {
        if (auto bar = editScreenTitleBarController::current())
            bar->videoSettingsButtonKeepChangedColour(keep);
    });
}
