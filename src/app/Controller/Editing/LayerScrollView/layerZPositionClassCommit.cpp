// The release of a layer-list drag, and its replay: the layer moves in every per-layer row of its
// asset, the asset's first layer above the camera follows, the preview restacks and the project
// is written.
#include <algorithm>

#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "Controller/Editing/LayerScrollView/layerZPositionClassState.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/view.h"

using namespace layerZPositionDetail;

namespace {

int positionIn(const std::vector<std::string>& row, const std::string& id) {
    const auto it = std::find(row.begin(), row.end(), id);
    return it == row.end() ? -1 : int(it - row.begin());
}

// Where the moved layer goes in its asset's row so that the row's layers (the background layer
// left where it is) follow the tiles' new order.
int targetPosition(const std::vector<std::string>& row, const std::vector<std::string>& shown,
                   const std::string& moved) {
    std::vector<std::string> rest = row;
    rest.erase(rest.begin() + positionIn(rest, moved));
    const int at = positionIn(shown, moved);
    for (size_t i = size_t(at) + 1; i < shown.size(); ++i)
        if (shown[i] != cameraTile)
            return positionIn(rest, shown[i]);
    for (int i = at - 1; i >= 0; --i)
        if (shown[size_t(i)] != cameraTile)
            return positionIn(rest, shown[size_t(i)]) + 1;
    return positionIn(row, moved);
}

template <typename Row> void moveElement(Row& row, int from, int to) {
    auto element = std::move(row[size_t(from)]);
    row.erase(row.begin() + from);
    row.insert(row.begin() + to, std::move(element));
}

// Every per-layer row of the asset, read, moved and written back one after another.
template <typename Get, typename Set> void moveRows(size_t a, int from, int to, Get get, Set set) {
    auto rows = get();
    moveElement(rows[a], from, to);
    set(std::move(rows));
}

template <typename Rows> bool rowMatches(const Rows& rows, size_t a, size_t count) {
    return a < rows.size() && rows[a].size() == count;
}

// The asset's text layers in row order.
std::vector<std::string> textLayers(int a, const std::vector<std::string>& row) {
    std::vector<std::string> texts;
    editViewClass edit;
    for (size_t l = 0; l < row.size(); ++l)
        if (edit.selectedLayerSpecialSymbolType(std::vector<qrn::Value>{false, a, int(l)}) == 1)
            texts.push_back(row[l]);
    return texts;
}

// Whether every row the move changes holds one entry per layer of the asset (one per text layer
// for the texts); a row out of step would be damaged further and then saved.
bool rowsMatch(int a, const std::vector<std::string>& row) {
    previewLayerClass model;
    filterClass filters;
    const size_t n = row.size();
    const size_t i = size_t(a);
    const auto texts = attributedStringStorageClass().getTextSymbolStringArray();
    return rowMatches(model.getImageReferenceArray(), i, n) &&
           rowMatches(model.getLayerOriginSizeArray(), i, n) &&
           rowMatches(model.getLayerTransformedOrigin(), i, n) &&
           rowMatches(model.getLayerTransformedSize(), i, n) &&
           rowMatches(model.getLayerRotateArray(), i, n) &&
           rowMatches(model.getLayerOriginalPosSize(), i, n) &&
           rowMatches(model.getLayerIsFlippedArray(), i, n) &&
           rowMatches(model.getLayerResizeWithAspectRatioArray(), i, n) &&
           rowMatches(filters.getLayerFilter(), i, n) && rowMatches(filters.getLayerFilterOrder(), i, n) &&
           rowMatches(filters.getLayerFilterValues(), i, n) &&
           rowMatches(previewLayerViewPathCreationClass().pathsArrayReference(), i, n) &&
           rowMatches(texts, i, textLayers(a, row).size());
}

// The size correction after a move, for the layers by id: an undo or a removal in between
// changes their places, and a layer gone by then is skipped.
void correctSizesLater(const std::vector<std::string>& ids) {
    const auto configuration = previewLayerClass().getConfiguration();
    const std::weak_ptr<qrn::ui::View> preview = configuration ? configuration->layerContainerView : nullptr;
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(0.1, [preview, project, ids] {
        previewLayerClass model;
        const auto now = model.getConfiguration();
        if (preview.expired() || !now || now->layerContainerView != preview.lock() ||
            project != persistentDataStorageClass().getProjectDirectory())
            return;
        for (const auto& id : ids) {
            const auto& layers = model.getLayerArrayReference();
            for (size_t a = 0; a < layers.size(); ++a)
                if (const int l = positionIn(layers[a], id); l >= 0) {
                    model.resizeCorrectionForSingleLayer(
                        std::nullopt, layerAssetIndexAndVideoSelectedArray{false, int(a), l}, false);
                    break;
                }
        }
    });
}

} // namespace

bool layerZPositionClass::checkIfLayerIsAboveVideo(int fromAssetIndex, int toAssetIndex, int fromLayerIndex,
                                                   std::optional<int> toLayerIndex) {
    if (fromAssetIndex != toAssetIndex || !toLayerIndex)
        return false;
    const auto shown = movedOrder(tileOrder(fromAssetIndex), fromLayerIndex, *toLayerIndex);
    const int camera = positionIn(shown, cameraTile);
    previewLayerClass model;
    auto firsts = model.getFirstLayerAboveVideoArray();
    if (camera < 0 || size_t(fromAssetIndex) >= firsts.size())
        return false;
    firsts[size_t(fromAssetIndex)] = size_t(camera) + 1 < shown.size()
                                         ? std::optional<std::string>(shown[size_t(camera) + 1])
                                         : std::nullopt;
    model.setFirstLayerAboveVideoArray(std::move(firsts));
    return *toLayerIndex > camera;
}

void layerZPositionClass::updateLayerArrays(int fromAssetIndex, int toAssetIndex, int fromLayerIndexValue,
                                            std::optional<int> toLayerIndexValue, bool undoRedo) {
    QRN_LOG_IN(LogValues{{"fromAssetIndex", fromAssetIndex},
                         {"fromLayerIndexValue", fromLayerIndexValue},
                         {"undoRedo", undoRedo}});
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    const int a = fromAssetIndex;
    if (fromAssetIndex != toAssetIndex || !toLayerIndexValue) {
        QRN_LOG_ERROR(std::string("A layer is only moved inside its asset"));
        return;
    }
    const int from = fromLayerIndexValue, to = *toLayerIndexValue;
    if (to == from)
        return;
    auto& drag = state();
    previewLayerClass model;
    const auto order = tileOrder(a);
    const std::string moved = drag.draggedLayerTag ? std::to_string(*drag.draggedLayerTag) : std::string();
    const auto& layers = model.getLayerArrayReference();
    const bool placed = from >= 0 && to >= 0 && size_t(from) < order.size() && size_t(to) < order.size() &&
                        order[size_t(from)] == moved;
    if (!placed || !rowsMatch(a, layers[size_t(a)])) {
        QRN_LOG_ERROR("The layer rows of asset " + std::to_string(a) +
                      " do not match its layers; nothing moved");
        if (a == model.getSelectedAssetIndex())
            editViewClass().loadScrollViewLayers();
        return;
    }
    const auto row = layers[size_t(a)];
    const auto shown = movedOrder(order, from, to);
    const int fromIdx = positionIn(row, moved);
    const int toIdx = targetPosition(row, shown, moved);
    const auto textsBefore = textLayers(a, row);

    const bool above = checkIfLayerIsAboveVideo(a, a, from, to);
    if (!undoRedo) {
        const int camera = drag.newVideoLayerIndex.value_or(drag.videoLayerIndexValue.value_or(0));
        undoRedoClass undo;
        // Values kept by an earlier gesture are not this move's.
        undo.setValuesCompare(std::nullopt);
        undo.compareValuesBeforeAndAfter(undoValueList{a, *drag.draggedLayerTag, from, camera}, std::nullopt);
        undo.action("reorderLayerInSameAsset", undoValueList{a, *drag.draggedLayerTag, to, camera});
    }

    if (fromIdx != toIdx) {
        filterClass filters;
        previewLayerViewPathCreationClass paths;
        const size_t i = size_t(a);
        // clang-format off
        moveRows(i, fromIdx, toIdx, [&] { return model.getImageReferenceArray(); }, [&](auto r) { model.setEntireImageReferenceArray(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return model.getLayerArray(); }, [&](auto r) { model.setLayerArray(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return model.getLayerOriginSizeArray(); }, [&](auto r) { model.setLayerOriginSizeArray(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return model.getLayerTransformedOrigin(); }, [&](auto r) { model.setLayerTransformedOrigin(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return model.getLayerTransformedSize(); }, [&](auto r) { model.setLayerTransformedSize(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return model.getLayerRotateArray(); }, [&](auto r) { model.setLayerRotateArray(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return model.getLayerOriginalPosSize(); }, [&](auto r) { model.setLayerOriginalPosSize(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return model.getLayerIsFlippedArray(); }, [&](auto r) { model.setLayerIsFlippedArray(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return model.getLayerResizeWithAspectRatioArray(); }, [&](auto r) { model.setLayerResizeWithAspectRatioArray(std::move(r)); });
        moveRows(i, fromIdx, toIdx, [&] { return filters.getLayerFilter(); }, [&](auto r) { filters.setLayerFilter(r); });
        moveRows(i, fromIdx, toIdx, [&] { return filters.getLayerFilterOrder(); }, [&](auto r) { filters.setLayerFilterOrder(r); });
        moveRows(i, fromIdx, toIdx, [&] { return filters.getLayerFilterValues(); }, [&](auto r) { filters.setLayerFilterValues(r); });
        // The hit paths go with their layers, or a layer would be hit through another's path.
        moveRows(i, fromIdx, toIdx, [&] { return paths.getPathsArray(); }, [&](auto r) { paths.setPathsArray(std::move(r)); });
        // clang-format on

        // The texts belong to the text layers in their order: a text layer passing another takes
        // its own text along.
        const auto textsAfter = textLayers(a, model.getLayerArrayReference()[i]);
        if (textsAfter != textsBefore) {
            attributedStringStorageClass storage;
            auto texts = storage.getTextSymbolStringArray();
            std::vector<qrn::AttributedString> reordered;
            for (const auto& id : textsAfter)
                reordered.push_back(texts[i][size_t(positionIn(textsBefore, id))]);
            texts[i] = std::move(reordered);
            storage.setTextSymbolStringArray(std::move(texts), 1);
        }
    }

    model.changeZPositionOfLayerInPreview(a, a, toIdx, above);
    // Written whatever saveOnUserAction says: a reorder is never left unsaved.
    persistentDataStorageClass().exportData(false);
    std::vector<std::string> corrected{moved};
    const auto& now = model.getLayerArrayReference()[size_t(a)];
    if (fromIdx != toIdx && size_t(fromIdx) < now.size())
        corrected.push_back(now[size_t(fromIdx)]);
    correctSizesLater(corrected);
    model.fillSelectedAssetOrderedLayerArray();
}

void layerZPositionClass::updateLayerArraysForSelectedAsset(int fromIndex, int toIndex, int assetArrayIndex,
                                                            bool undoRedo) {
    updateLayerArrays(assetArrayIndex, assetArrayIndex, fromIndex, toIndex, undoRedo);
}
