#include "model_fixture.h"

#include <QImage>

#include "platform/foundation/files.h"

namespace modeltest {

tempProject::tempProject() {
    path = dir.path().toStdString() + "/Test.qrn3ks";
    (void)qrn::files::createDirectories(path + "/images");
    persistentDataStorageClass().setProjectDirectory(path);
}

std::string addAsset(bool regular) {
    previewLayerClass model;
    const std::string id = model.takeNewAssetId();
    auto assets = model.getAssetArray();
    assets.push_back(id);
    model.setAssetArray(assets);
    auto layers = model.getLayerArray();
    layers.emplace_back();
    model.setLayerArray(layers);
    auto first = model.getFirstLayerAboveVideoArray();
    first.emplace_back();
    model.setFirstLayerAboveVideoArray(first);
    auto refs = model.getImageReferenceArray();
    refs.emplace_back();
    model.setEntireImageReferenceArray(refs);
    auto sizes = model.getLayerOriginSizeArray();
    sizes.emplace_back();
    model.setLayerOriginSizeArray(sizes);
    auto origins = model.getLayerTransformedOrigin();
    origins.emplace_back();
    model.setLayerTransformedOrigin(origins);
    auto rotations = model.getLayerRotateArray();
    rotations.emplace_back();
    model.setLayerRotateArray(rotations);
    auto tsizes = model.getLayerTransformedSize();
    tsizes.emplace_back();
    model.setLayerTransformedSize(tsizes);
    auto originals = model.getLayerOriginalPosSize();
    originals.emplace_back();
    model.setLayerOriginalPosSize(originals);
    auto flips = model.getLayerIsFlippedArray();
    flips.emplace_back();
    model.setLayerIsFlippedArray(flips);
    auto locks = model.getLayerResizeWithAspectRatioArray();
    locks.emplace_back();
    model.setLayerResizeWithAspectRatioArray(locks);
    filterClass filters;
    auto f = filters.getLayerFilter();
    f.emplace_back();
    filters.setLayerFilter(f);
    auto o = filters.getLayerFilterOrder();
    o.emplace_back();
    filters.setLayerFilterOrder(o);
    auto v = filters.getLayerFilterValues();
    v.emplace_back();
    filters.setLayerFilterValues(v);
    if (regular) {
        auto bg = model.getAssetBackgroundIDArray();
        bg.emplace_back();
        model.setAssetBackgroundIDArray(bg);
        auto colours = model.getAssetBackgroundColour();
        colours.push_back({0, 0, 0, 1});
        model.setAssetBackgroundColour(colours);
    }
    model.setSelectedAsset(std::stoi(id));
    return id;
}

std::string addLayer(const imageReferenceArray& reference, std::vector<double> originSize) {
    previewLayerClass model;
    layerDataClass layer;
    layer.assetIndex = model.getSelectedAssetIndex();
    layer.layerIndex = model.getSelectedLayerIndex(true) + 1;
    layer.layerString = model.takeNewLayerId();
    layer.IMAGE_REFERENCE_ARRAY = reference;
    layer.LAYER_ORIGIN_SIZE_ARRAY = originSize;
    layer.layerRotate = 0;
    layer.LAYER_ORIGINAL_POS_SIZE = originSize;
    layer.LAYER_IS_FLIPPED_ARRAY = std::vector<bool>{false, false};
    layer.LAYER_RESIZE_WITH_ASPECT_RATIO = std::vector<double>{0};
    layer.LAYER_FILTER = std::vector<bool>{false, false, false};
    layer.LAYER_FILTER_ORDER = std::vector<int>{0, 1, 2};
    layer.LAYER_FILTER_VALUES = filterValuesArray{
        filterValuesEntry{qrn::Value()}, filterValuesEntry{qrn::Value()}, filterValuesEntry{qrn::Value()}};
    layer.fillArraysWithObjectData();
    return *layer.layerString;
}

void writePng(const std::string& path, int width, int height, unsigned rgb) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(rgb));
    image.save(QString::fromStdString(path), "PNG");
}

} // namespace modeltest
