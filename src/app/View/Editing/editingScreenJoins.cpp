#include "View/Editing/editingScreenJoins.h"

#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "View/Editing/dragViewView.h"

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
        file = dropped.url->toLocalFile().toStdString();
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
}
