#include "Controller/Global/Model/assetDataClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"

namespace {

template <typename T> void insertAt(std::vector<T>& list, int position, T value) {
    if (position < 0 || size_t(position) >= list.size())
        list.push_back(std::move(value));
    else
        list.insert(list.begin() + position, std::move(value));
}

} // namespace

assetDataClass::assetDataClass(int sourceAssetIndex, int targetAssetIndex, bool keepAssetIndex) {
    QRN_LOG_IN(LogValues{{"sourceAssetIndex", sourceAssetIndex},
                         {"targetAssetIndex", targetAssetIndex},
                         {"keepAssetIndex", keepAssetIndex}});
    assetIndex = sourceAssetIndex;
    fillObjectWithData();
    if (!keepAssetIndex) {
        assetIndex = targetAssetIndex;
        for (auto& layer : LAYER_DATA_OBJECTS_ARRAY)
            layer.setAssetIndex(targetAssetIndex);
    }
    const auto assets = previewLayerClass().getAssetArray();
    if (*assetIndex >= 0 && size_t(*assetIndex) < assets.size())
        assetString = assets[size_t(*assetIndex)];
    QRN_LOG_OUT(LogValues{{"assetString", assetString ? qrn::Value(*assetString) : qrn::Value()}});
}

int assetDataClass::getAssetIndex() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"assetIndex", assetIndex.value_or(-1)}});
    return assetIndex.value_or(-1);
}

std::optional<std::string> assetDataClass::getAssetString() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"assetString", assetString ? qrn::Value(*assetString) : qrn::Value()}});
    return assetString;
}

std::vector<layerDataClass> assetDataClass::getLayerDataObjects() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"LAYER_DATA_OBJECTS_ARRAY", int(LAYER_DATA_OBJECTS_ARRAY.size())}});
    return LAYER_DATA_OBJECTS_ARRAY;
}

void assetDataClass::fillObjectWithData() {
    QRN_LOG_IN(std::nullopt);
    previewLayerClass model;
    const int a = assetIndex.value_or(0);
    // The asset "0" has no entries of its own in the per-asset lists; records never describe it.
    if (a < 1) {
        QRN_LOG_OUT(std::nullopt);
        return;
    }
    const auto colours = model.getAssetBackgroundColour();
    if (size_t(a - 1) < colours.size())
        ASSET_BACKGROUND_COLOUR_ARRAY = colours[size_t(a - 1)];
    const auto scripts = attributedStringStorageClass().getAutocueStringArray();
    if (size_t(a - 1) < scripts.size())
        autocueString = scripts[size_t(a - 1)];

    const auto layers = model.getLayerArray();
    if (size_t(a) >= layers.size()) {
        QRN_LOG_OUT(std::nullopt);
        return;
    }
    for (size_t l = 0; l < layers[size_t(a)].size(); ++l) {
        layerDataClass layer;
        layer.assetIndex = a;
        layer.layerIndex = int(l);
        layer.fillObjectWithData();
        if (layer.isBackgroundLayer) {
            ASSET_BACKGROUND_ID_ARRAY = layer.layerString;
            LAYER_DATA_OBJECTS_ARRAY.insert(LAYER_DATA_OBJECTS_ARRAY.begin(), std::move(layer));
        } else {
            LAYER_DATA_OBJECTS_ARRAY.push_back(std::move(layer));
        }
    }
    QRN_LOG_OUT(std::nullopt);
}

void assetDataClass::fillArraysWithObjectData() {
    QRN_LOG_IN(std::nullopt);
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    previewLayerClass model;
    const int a = assetIndex.value_or(1);
    auto assets = model.getAssetArray();
    insertAt(assets, a, assetString.value_or(""));
    model.setAssetArray(std::move(assets));

    auto backgrounds = model.getAssetBackgroundIDArray();
    insertAt(backgrounds, a - 1, ASSET_BACKGROUND_ID_ARRAY);
    model.setAssetBackgroundIDArray(std::move(backgrounds));

    if (ASSET_BACKGROUND_COLOUR_ARRAY) {
        auto colours = model.getAssetBackgroundColour();
        insertAt(colours, a - 1, *ASSET_BACKGROUND_COLOUR_ARRAY);
        model.setAssetBackgroundColour(std::move(colours));
    }

    attributedStringStorageClass texts;
    auto scripts = texts.getAutocueStringArray();
    insertAt(scripts, a - 1, autocueString.value_or(qrn::AttributedString()));
    texts.setAutocueStringArray(std::move(scripts));
    QRN_LOG_OUT(std::nullopt);
}
