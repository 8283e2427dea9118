#include "Controller/Global/Model/layerDataClass.h"

#include <algorithm>

#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"

namespace {

template <typename T> void insertAt(std::vector<T>& row, int position, T value) {
    if (position < 0 || size_t(position) >= row.size())
        row.push_back(std::move(value));
    else
        row.insert(row.begin() + position, std::move(value));
}

// The row of asset `a`, made when the model has none yet, so a write-back never indexes past
// the end.
template <typename T> std::vector<T>& rowOf(std::vector<std::vector<T>>& table, int a) {
    if (size_t(a) >= table.size())
        table.resize(size_t(a) + 1);
    return table[size_t(a)];
}

template <typename T> std::optional<T> entryOf(const std::vector<std::vector<T>>& table, int a, int l) {
    if (a < 0 || l < 0 || size_t(a) >= table.size() || size_t(l) >= table[size_t(a)].size())
        return std::nullopt;
    return table[size_t(a)][size_t(l)];
}

} // namespace

void layerDataClass::setAssetIndex(int index) {
    QRN_LOG_IN(LogValues{{"assetIndex", index}});
    assetIndex = index;
    layerString = entryOf(previewLayerClass().getLayerArray(), index, layerIndex.value_or(-1));
    QRN_LOG_OUT(LogValues{{"layerString", layerString ? qrn::Value(*layerString) : qrn::Value()}});
}

int layerDataClass::getAssetIndex() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"assetIndex", assetIndex.value_or(-1)}});
    return assetIndex.value_or(-1);
}

int layerDataClass::getLayerIndex() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"layerIndex", layerIndex.value_or(-1)}});
    return layerIndex.value_or(-1);
}

bool layerDataClass::getIsBackgroundLayer() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"isBackgroundLayer", isBackgroundLayer}});
    return isBackgroundLayer;
}

bool layerDataClass::getIsFirstLayerAboveVideo() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"isFirstLayerAboveVideo", isFirstLayerAboveVideo}});
    return isFirstLayerAboveVideo;
}

std::optional<std::string> layerDataClass::getLayerString() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"layerString", layerString ? qrn::Value(*layerString) : qrn::Value()}});
    return layerString;
}

std::vector<double> layerDataClass::getLayerOriginSizeArray() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_ORIGIN_SIZE_ARRAY.value_or(std::vector<double>{});
}
imageReferenceArray layerDataClass::getImageReferenceArray() {
    QRN_LOG_IN(std::nullopt);
    return IMAGE_REFERENCE_ARRAY.value_or(imageReferenceArray{});
}

void layerDataClass::fillObjectWithData() {
    QRN_LOG_IN(std::nullopt);
    previewLayerClass model;
    const int a = assetIndex.value_or(-1);
    const int l = layerIndex.value_or(-1);
    const auto layers = model.getLayerArray();
    const auto id = entryOf(layers, a, l);

    const auto backgrounds = model.getAssetBackgroundIDArray();
    if (a >= 1 && size_t(a - 1) < backgrounds.size() && backgrounds[size_t(a - 1)] && id)
        isBackgroundLayer = *backgrounds[size_t(a - 1)] == *id;
    const auto firstAbove = model.getFirstLayerAboveVideoArray();
    if (a >= 0 && size_t(a) < firstAbove.size() && firstAbove[size_t(a)] && id)
        isFirstLayerAboveVideo = *firstAbove[size_t(a)] == *id;
    layerString = id;

    IMAGE_REFERENCE_ARRAY = entryOf(model.getImageReferenceArray(), a, l);
    LAYER_ORIGIN_SIZE_ARRAY = entryOf(model.getLayerOriginSizeArray(), a, l);
    layerTransformedOrigin = entryOf(model.getLayerTransformedOrigin(), a, l);
    layerRotate = entryOf(model.getLayerRotateArray(), a, l);
    layerTransformedSize = entryOf(model.getLayerTransformedSize(), a, l);
    LAYER_ORIGINAL_POS_SIZE = entryOf(model.getLayerOriginalPosSize(), a, l);
    LAYER_IS_FLIPPED_ARRAY = entryOf(model.getLayerIsFlippedArray(), a, l);
    LAYER_RESIZE_WITH_ASPECT_RATIO = entryOf(model.getLayerResizeWithAspectRatioArray(), a, l);

    filterClass filters;
    LAYER_FILTER = entryOf(filters.getLayerFilter(), a, l);
    LAYER_FILTER_ORDER = entryOf(filters.getLayerFilterOrder(), a, l);
    LAYER_FILTER_VALUES = entryOf(filters.getLayerFilterValues(), a, l);
    symbolText = editViewClass().getSelectedTextSymbolText(layerAssetIndexAndVideoSelectedArray{false, a, l});
    QRN_LOG_OUT(std::nullopt);
}

void layerDataClass::fillArraysWithObjectData() {
    QRN_LOG_IN(std::nullopt);
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    previewLayerClass model;
    const int a = assetIndex.value_or(0);
    const int l = layerIndex.value_or(-1);
    const std::string id = layerString.value_or("");

    if (isBackgroundLayer && a >= 1) {
        auto backgrounds = model.getAssetBackgroundIDArray();
        if (size_t(a - 1) >= backgrounds.size())
            backgrounds.resize(size_t(a));
        backgrounds[size_t(a - 1)] = id;
        model.setAssetBackgroundIDArray(std::move(backgrounds));
    }

    // Every per-layer row gets an entry, also for fields the record never had, so the rows
    // stay parallel. The rows are changed in place: copying whole tables per layer made laying
    // out a large project quadratic.
    const auto rows = previewLayerClass::layerRows();
    insertAt(rowOf(rows.layers, a), l, id);
    insertAt(rowOf(rows.references, a), l, IMAGE_REFERENCE_ARRAY.value_or(imageReferenceArray{}));
    insertAt(rowOf(rows.frames, a), l, LAYER_ORIGIN_SIZE_ARRAY.value_or(std::vector<double>{}));
    insertAt(rowOf(rows.origins, a), l, layerTransformedOrigin.value_or(qrn::Point{}));
    insertAt(rowOf(rows.rotations, a), l, layerRotate.value_or(0.0));
    insertAt(rowOf(rows.scales, a), l, layerTransformedSize.value_or(qrn::Size{}));
    insertAt(rowOf(rows.originals, a), l, LAYER_ORIGINAL_POS_SIZE.value_or(std::vector<double>{}));
    insertAt(rowOf(rows.flips, a), l, LAYER_IS_FLIPPED_ARRAY.value_or(std::vector<bool>{false, false}));
    insertAt(rowOf(rows.locks, a), l, LAYER_RESIZE_WITH_ASPECT_RATIO.value_or(std::vector<double>{}));

    const auto filterRows = filterClass::layerFilterRows();
    auto& flags = filterRows.flags;
    auto& orders = filterRows.orders;
    auto& values = filterRows.values;
    if (LAYER_FILTER && LAYER_FILTER_ORDER && LAYER_FILTER_VALUES) {
        insertAt(rowOf(flags, a), l, *LAYER_FILTER);
        insertAt(rowOf(orders, a), l, *LAYER_FILTER_ORDER);
        insertAt(rowOf(values, a), l, *LAYER_FILTER_VALUES);
    } else {
        // Every layer holds one flag, order and entry per filter, so a record without its filter
        // fields gets a new layer's placeholders, at the place the rule above would put it.
        const bool append = l < 0 || size_t(l) >= rowOf(flags, a).size();
        rowOf(orders, a);
        rowOf(values, a);
        filterClass().addPlaceholderValuesToLayerArray(a, nullptr, l, append);
        // Whatever the record does hold replaces its placeholder.
        const auto restore = [&](auto& row, const auto& field) {
            if (!field || row.empty())
                return;
            const size_t at = append ? row.size() - 1 : std::min(size_t(l), row.size() - 1);
            row[at] = *field;
        };
        restore(flags[size_t(a)], LAYER_FILTER);
        restore(orders[size_t(a)], LAYER_FILTER_ORDER);
        restore(values[size_t(a)], LAYER_FILTER_VALUES);
    }

    if (symbolText) {
        // Back at its rank among the asset's text layers.
        attributedStringStorageClass storage;
        auto texts = storage.getTextSymbolStringArray();
        const int n = editViewClass().getSelectedTextSymbolIndex(
            layerAssetIndexAndVideoSelectedArray{false, a, l}, false);
        insertAt(rowOf(texts, a), n, *symbolText);
        storage.setTextSymbolStringArray(std::move(texts), 1);
    }

    // The layer is back, so its file must survive the next purge.
    if (IMAGE_REFERENCE_ARRAY && IMAGE_REFERENCE_ARRAY->size() >= 3 &&
        (*IMAGE_REFERENCE_ARRAY)[0].toInt() == 3)
        imageManipulationClass().unmarkImage((*IMAGE_REFERENCE_ARRAY)[2].toString(),
                                             (*IMAGE_REFERENCE_ARRAY)[1].toString());

    if (globalAppSettingsClass().getSaveOnUserAction())
        persistentDataStorageClass().exportData(false);
    QRN_LOG_OUT(std::nullopt);
}

void layerDataClass::fillImageReferenceArrayWithObjectData(const imageReferenceArray& reference) {
    QRN_LOG_IN(LogValues{{"IMAGE_REFERENCE_ARRAY_PARAMETER_VALUE", qrn::Value(reference)}});
    previewLayerClass model;
    auto references = model.getImageReferenceArray();
    insertAt(rowOf(references, assetIndex.value_or(0)), layerIndex.value_or(-1), reference);
    model.setEntireImageReferenceArray(std::move(references));
    QRN_LOG_OUT(std::nullopt);
}
