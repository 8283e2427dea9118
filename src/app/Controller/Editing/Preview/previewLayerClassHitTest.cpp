// Hit paths of the preview's layers and the hit test of a click in the preview.
#include "Controller/Editing/Preview/previewLayerClass.h"

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "platform/ui/event.h"
#include "platform/ui/view.h"

namespace {

qrn::Rect rectOf(const std::vector<double>& v) {
    return v.size() >= 4 ? qrn::Rect(v[0], v[1], v[2], v[3]) : qrn::Rect();
}

} // namespace

void previewLayerClass::layerHitTest(const qrn::ui::Event& event) {
    QRN_LOG_IN(std::nullopt);
    const auto configuration = getConfiguration();
    const auto& drop = configuration ? configuration->layerContainerView : nullptr;
    const auto& parent = configuration ? configuration->parentPreviewView : nullptr;
    if (!drop || !parent || !parent->window()) {
        layerSelected(nullptr);
        return;
    }
    layerHitTestAtPoint(drop->convertPointFromView(event.locationInWindow, nullptr));
}

void previewLayerClass::layerHitTestAtPoint(qrn::Point p) {
    QRN_LOG_IN(LogValues{{"x", p.x}, {"y", p.y}});
    const auto& ordered = getInteractionState().selectedAssetOrderedLayerArray;
    const auto& paths = previewLayerViewPathCreationClass().pathsArrayReference();
    const int a = getSelectedAssetIndex();
    const auto video = getVideoLayerView();
    const bool stickyExcluded = getSelectedAsset() != 0;
    const auto& layers = getLayerArrayReference();
    const std::vector<layerPathEntry>* entries = size_t(a) < paths.size() ? &paths[size_t(a)] : nullptr;
    for (auto it = ordered.rbegin(); it != ordered.rend(); ++it) {
        const auto& view = *it;
        if (view == video) {
            const auto& path = getInteractionState().videoLayerPath;
            if (video->isHidden() || !path)
                continue;
            if (path->contains(p)) {
                layerSelected(view);
                return;
            }
            continue;
        }
        if (!entries)
            continue;
        auto entry =
            std::find_if(entries->begin(), entries->end(), [&](const auto& e) { return e.view == view; });
        if (entry == entries->end())
            continue;
        // The sticky asset's layers are picked only while the sticky asset itself is shown.
        if (stickyExcluded && !layers.empty() && !view->subviews().empty()) {
            const std::string id = std::to_string(view->subviews()[0]->tag().value_or(0));
            if (std::find(layers[0].begin(), layers[0].end(), id) != layers[0].end())
                continue;
        }
        if (entry->path.contains(p)) {
            layerSelected(view);
            return;
        }
    }
    layerSelected(nullptr);
}

void previewLayerClass::createOrUpdateLayerPath(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer, bool isInsert, int layerIndex,
    bool useLastLayer) {
    QRN_LOG_IN(LogValues{{"isInsert", isInsert}, {"layerIndex", layerIndex}, {"useLastLayer", useLastLayer}});
    const auto resolved = layerAssetIndexAndVideoSelectedParameterValues(layer);
    const auto& layers = getLayerArrayReference();
    const size_t a = size_t(resolved.assetIndex);
    if (a >= layers.size() && !resolved.videoSelected)
        return;
    previewLayerViewPathCreationClass creation;
    if (resolved.videoSelected && !isInsert) {
        getInteractionState().videoLayerPath = creation.createPathFromSquarePoints(
            getVideoLayerView().get(), rectOf(getVideoOriginSizeArray()), 0);
        return;
    }
    const int insertion = useLastLayer ? int(layers[a].size()) - 1 : layerIndex;
    if (!resolved.layerIndex && !isInsert)
        return;
    const int index = (isInsert || !resolved.layerIndex) ? insertion : *resolved.layerIndex;
    if (index < 0 || size_t(index) >= layers[a].size())
        return;
    const auto configuration = getConfiguration();
    if (!configuration || !configuration->layerContainerView)
        return;
    auto tagged = configuration->layerContainerView->viewWithTag(std::stoi(layers[a][size_t(index)]));
    auto view = tagged ? tagged->superview() : nullptr;
    // The rows in place: one entry changes per call.
    const auto rows = layerRows();
    const qrn::Rect frame = rectOf(rows.frames[a][size_t(index)]);
    layerPathEntry entry{
        view, creation.createPathFromSquarePoints(view.get(), frame, rows.rotations[a][size_t(index)])};
    auto& paths = creation.pathsArrayForUpdate();
    if (paths.size() <= a)
        paths.resize(a + 1);
    auto& row = paths[a];
    if (!isInsert) {
        if (size_t(index) < row.size())
            row[size_t(index)] = std::move(entry);
        else
            row.push_back(std::move(entry));
    } else if (size_t(index) + 1 == layers[a].size() || size_t(index) >= row.size()) {
        row.push_back(std::move(entry));
    } else {
        row.insert(row.begin() + index, std::move(entry));
    }
}

void previewLayerClass::rebuildAllLayerPaths() {
    QRN_LOG_IN(std::nullopt);
    const auto configuration = getConfiguration();
    if (!configuration || !configuration->layerContainerView)
        return;
    const auto& drop = configuration->layerContainerView;
    previewLayerViewPathCreationClass creation;
    const auto& layers = getLayerArrayReference();
    const auto frames = getLayerOriginSizeArray();
    const auto rotations = getLayerRotateArray();
    std::vector<std::vector<layerPathEntry>> paths(layers.size());
    for (size_t a = 0; a < layers.size(); ++a) {
        paths[a].reserve(layers[a].size());
        for (size_t l = 0; l < layers[a].size(); ++l) {
            auto tagged = drop->viewWithTag(std::stoi(layers[a][l]));
            auto view = tagged ? tagged->superview() : nullptr;
            paths[a].push_back({view, creation.createPathFromSquarePoints(view.get(), rectOf(frames[a][l]),
                                                                          rotations[a][l])});
        }
    }
    creation.setPathsArray(std::move(paths));
}

std::optional<qrn::Path> previewLayerClass::getVideoLayerPath() {
    return getInteractionState().videoLayerPath;
}

void previewLayerClass::fillSelectedAssetOrderedLayerArray() {
    QRN_LOG_IN(std::nullopt);
    const int a = getSelectedAssetIndex();
    const auto& layers = getLayerArrayReference();
    if (a < 0 || size_t(a) >= layers.size()) {
        getInteractionState().selectedAssetOrderedLayerArray = {getVideoLayerView()};
        return;
    }
    getInteractionState().selectedAssetOrderedLayerArray =
        orderLayersClass().fillSelectedAssetOrderedLayerArray(a, layers);
}

std::vector<std::shared_ptr<qrn::ui::View>> previewLayerClass::getSelectedAssetOrderedLayerArray() {
    return getInteractionState().selectedAssetOrderedLayerArray;
}
