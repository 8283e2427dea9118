// The layer tools that rearrange without the mouse: flips, revert to the original rectangle, the
// aspect-ratio lock, and following a layer-list move in the preview's stacking order.
#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/graphics/layer.h"
#include "platform/ui/view.h"

namespace {

using ViewPtr = std::shared_ptr<qrn::ui::View>;

std::function<void()> videoCroppingEnabledHook;
std::function<void(bool)> toolIconsRevertedHook;

ViewPtr taggedSuperview(const ViewPtr& in, const std::string& id) {
    auto tagged = in ? in->viewWithTag(std::stoi(id)) : nullptr;
    return tagged ? tagged->superview() : nullptr;
}

// Asset i's thumbnail container in the asset strip (the sticky tile for asset 0).
ViewPtr thumbnailContainer(int i) {
    editViewClass edit;
    const auto assets = previewLayerClass().getAssetArray();
    if (i < 0 || size_t(i) >= assets.size())
        return nullptr;
    const auto configuration = edit.getConfiguration();
    const ViewPtr in =
        i == 0 ? (configuration ? configuration->stickyAsset : nullptr) : edit.getAssetHorizontalScrollView();
    auto tile = taggedSuperview(in, i == 0 ? "0" : assets[size_t(i)]);
    return tile && !tile->subviews().empty() ? tile->subviews().back() : nullptr;
}

void placeAbove(const ViewPtr& parent, const ViewPtr& moved, const ViewPtr& below) {
    if (!parent || !moved || !below)
        return;
    moved->removeFromSuperview();
    parent->addSubview(moved, qrn::ui::Ordering::Above, below.get());
}

} // namespace

void previewLayerClass::setVideoCroppingEnabledHook(std::function<void()> hook) {
    videoCroppingEnabledHook = std::move(hook);
}

void previewLayerClass::setToolIconsRevertedHook(std::function<void(bool)> hook) {
    toolIconsRevertedHook = std::move(hook);
}

void previewLayerClass::flipLayerValue(bool horizontal,
                                       const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                       bool fromUndo) {
    QRN_LOG_IN(LogValues{{"horizontal", horizontal}, {"fromUndo", fromUndo}});
    const auto where = layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (!where.videoSelected && !where.layerIndex)
        return;
    const bool was = checkIfLayerIsFlipped(horizontal, layer);
    if (!fromUndo)
        undoRedoClass().compareValuesBeforeAndAfter({was}, std::nullopt);
    const size_t flag = horizontal ? 0 : 1;
    if (where.videoSelected && !where.layerIndex) {
        auto flips = getVideoIsFlippedArray();
        flips.resize(2, false);
        flips[flag] = !was;
        setVideoIsFlippedArray(flips);
    } else {
        auto flips = getLayerIsFlippedArray();
        auto& entry = flips[size_t(where.assetIndex)][size_t(*where.layerIndex)];
        entry.resize(2, false);
        entry[flag] = !was;
        setLayerIsFlippedArray(std::move(flips));
    }
    if (!fromUndo)
        undoRedoClass().action(horizontal ? "horizontalLayerFlip" : "verticalLayerFlip", {!was});
}

void previewLayerClass::mirrorLayer(bool horizontal,
                                    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                    bool fromUndo) {
    QRN_LOG_IN(LogValues{{"horizontal", horizontal}, {"fromUndo", fromUndo}});
    const auto where = layerAssetIndexAndVideoSelectedParameterValues(layer);
    std::shared_ptr<qrn::graphics::Layer> target;
    qrn::Point translation;
    qrn::Size scale{1, 1};
    double angle = 0;
    if (where.videoSelected && !where.layerIndex) {
        if (auto video = getVideoLayerView())
            target = video->layer();
        translation = getVideoTransformedOrigin();
        scale = getVideoTransformedSize();
    } else if (where.layerIndex) {
        const size_t a = size_t(where.assetIndex), l = size_t(*where.layerIndex);
        const auto configuration = getConfiguration();
        if (auto holder = taggedSuperview(configuration ? configuration->layerContainerView : nullptr,
                                          getLayerArrayReference()[a][l]))
            target = holder->layer();
        translation = getLayerTransformedOrigin()[a][l];
        scale = getLayerTransformedSize()[a][l];
        angle = getLayerRotateArray()[a][l];
    }
    if (!target)
        return;
    flipLayerValue(horizontal, layer, fromUndo);
    if (globalAppSettingsClass().getSaveOnUserAction())
        persistentDataStorageClass().exportData(false);
    target->setTransform(qrn::AffineTransform::translation(translation.x, translation.y)
                             .rotated(angle)
                             .scaled(scale.width, scale.height));
    mirrorLayerCheck(layer, target);
    if (where.layerIndex)
        refreshLayerThumbnails(where.assetIndex, *where.layerIndex);
}

void previewLayerClass::revertLayerToOriginal() {
    QRN_LOG_IN(std::nullopt);
    const bool video = getVideoLayerSelected();
    std::vector<double> original;
    int a = 0, l = -1;
    if (video) {
        const auto parent = getParentPreviewView();
        if (!parent)
            return;
        original = {0, 0, parent->frame().size.width, parent->frame().size.height};
    } else {
        a = getSelectedAssetIndex();
        l = getSelectedLayerIndex(false);
        const auto originals = getLayerOriginalPosSize();
        if (a < 0 || l < 0 || size_t(a) >= originals.size() || size_t(l) >= originals[size_t(a)].size())
            return;
        original = originals[size_t(a)][size_t(l)];
    }
    if (original.size() < 4 || !(original[3] > 0))
        return;
    if (!video) {
        auto locks = getLayerResizeWithAspectRatioArray();
        locks[size_t(a)][size_t(l)] = {1.0, original[2] / original[3]};
        setLayerResizeWithAspectRatioArray(std::move(locks));
    } else {
        setVideoCropSizeAndOrigin({100, 100}, {0, 0});
        cropVideo(*getVideoLayerView());
        if (getVideoCropState()) {
            if (videoCroppingEnabledHook)
                videoCroppingEnabledHook();
            else
                setVideoCropState(false);
        }
    }
    if (checkIfLayerIsFlipped(true, std::nullopt))
        mirrorLayer(true, std::nullopt, false);
    if (checkIfLayerIsFlipped(false, std::nullopt))
        mirrorLayer(false, std::nullopt, false);
    if (toolIconsRevertedHook)
        toolIconsRevertedHook(video);

    const auto frame = video ? getVideoOriginSizeArray() : getSingleLayerOriginSizeArray(std::nullopt);
    if (frame.size() < 4)
        return;
    const double rotation = video ? 0.0 : getLayerRotateArray()[size_t(a)][size_t(l)];
    undoRedoClass().compareValuesBeforeAndAfter(
        {qrn::Point{frame[0], frame[1]}, qrn::Size{frame[2], frame[3]}, rotation}, std::nullopt);
    if (!video)
        resizeOrRotateLayer(true, std::vector<double>{0}, false, std::nullopt, false, false, false, true, 0,
                            0, false, false);
    dragLayerInVideoViewLayer(std::nullopt, false, std::vector<double>{original[0], original[1]}, false,
                              false, std::nullopt, false, true, false);
    resizeOrRotateLayer(false, std::vector<double>{original[2], original[3], 0}, false, std::nullopt, false,
                        false, false, true, 0, 0, false, false);
    undoRedoClass().action("layerBackToOriginalPositionAndSize",
                           {qrn::Point{original[0], original[1]}, qrn::Size{original[2], original[3]}, 0.0});
}

bool previewLayerClass::resizeLayerWithAspectRatio(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer, bool toggle,
    std::optional<double> value, bool fromUndo) {
    QRN_LOG_IN(LogValues{{"toggle", toggle}, {"fromUndo", fromUndo}});
    const auto where = layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (!where.layerIndex)
        return where.videoSelected;
    auto locks = getLayerResizeWithAspectRatioArray();
    const size_t a = size_t(where.assetIndex), l = size_t(*where.layerIndex);
    if (a >= locks.size() || l >= locks[a].size())
        return false;
    auto& entry = locks[a][l];
    entry.resize(std::max<size_t>(entry.size(), 2), 1.0);
    const bool locked = entry[0] == 1.0;
    if (toggle && !fromUndo) {
        undoRedoClass().compareValuesBeforeAndAfter({entry[0]}, std::nullopt);
        undoRedoClass().action("layerAspectRatioLock", {locked ? 0.0 : 1.0});
    }
    if (!toggle)
        return locked;
    if (value) {
        entry[0] = *value;
        setLayerResizeWithAspectRatioArray(std::move(locks));
        return true;
    }
    entry[0] = locked ? 0.0 : 1.0;
    setLayerResizeWithAspectRatioArray(std::move(locks));
    return !locked;
}

void previewLayerClass::changeZPositionOfLayerInPreview(int fromAssetIndex, int toAssetIndex,
                                                        std::optional<int> layerIndex, bool aboveVideo) {
    QRN_LOG_IN(LogValues{{"fromAssetIndex", fromAssetIndex}, {"toAssetIndex", toAssetIndex}});
    if (fromAssetIndex != toAssetIndex || !layerIndex)
        return;
    const int a = fromAssetIndex;
    auto layers = getLayerArray();
    if (a < 0 || size_t(a) >= layers.size() || *layerIndex < 0 ||
        size_t(*layerIndex) >= layers[size_t(a)].size())
        return;
    auto& row = layers[size_t(a)];
    const std::string moved = row[size_t(*layerIndex)];
    auto first = getFirstLayerAboveVideoArray();
    if (size_t(a) < first.size() && first[size_t(a)] == moved) {
        const size_t next = size_t(*layerIndex) + 1;
        first[size_t(a)] = next < row.size() ? std::optional<std::string>(row[next]) : std::nullopt;
    }
    row.erase(std::find(row.begin(), row.end(), moved));
    const std::string previous = orderLayersClass().findPreviousLayerInSameAsset(
        a, *layerIndex, a == 0 ? 1 : 2, layers, aboveVideo, first, getAssetBackgroundIDArray());
    const auto configuration = getConfiguration();
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    placeAbove(preview, taggedSuperview(preview, moved), taggedSuperview(preview, previous));
    // A sticky layer has a copy in every asset's thumbnail.
    const int last = a == 0 ? int(getAssetArray().size()) - 1 : a;
    for (int i = a; i <= last; ++i) {
        const auto container = thumbnailContainer(i);
        placeAbove(container, taggedSuperview(container, moved),
                   orderLayersClass().stackingViewIn(container, std::stoi(previous)));
    }
}
