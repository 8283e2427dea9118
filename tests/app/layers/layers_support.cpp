#include "layers_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Model/attributedStringStorageClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "app/preview/preview_fixture.h"
#include "platform/imaging/picture_reader.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace layerstest {

namespace {

void select(int assetIndex) {
    previewLayerClass model;
    if (model.getSelectedAssetIndex() == assetIndex)
        return;
    auto tile = qrn::ui::View::make();
    auto label = qrn::ui::TextField::make();
    label->setTag(std::stoi(model.getAssetArray()[size_t(assetIndex)]));
    tile->addSubview(label);
    model.selectAsset(tile, false, true, assetIndex == 0, true);
}

// The reference as a drop leaves it once the file is stored in the project.
void appendReference(int a, const imageReferenceArray& reference) {
    auto references = previewLayerClass().getImageReferenceArray();
    references[size_t(a)].push_back(reference);
    previewLayerClass().setEntireImageReferenceArray(references);
}

bool isText(const imageReferenceArray& r) {
    return !r.empty() && r.front().isInteger() && r.front().toInt() == 1 && r.back().isInteger() &&
           r.back().toInt() == 1;
}

std::string added(int assetIndex, size_t before) {
    const auto& row = previewLayerClass().getLayerArrayReference()[size_t(assetIndex)];
    if (row.size() == before)
        return "";
    return previewLayerClass().getSelectedLayer() ? std::to_string(*previewLayerClass().getSelectedLayer())
                                                  : "";
}

} // namespace

qrn::ImageHandle picture(int width, int height, unsigned rgb) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromRgba(rgb));
    return std::make_shared<const QImage>(std::move(image));
}

std::string dropImage(int a, qrn::Size size, qrn::Point at, unsigned rgb) {
    return dropImage(a, picture(int(std::max(1.0, size.width)), int(std::max(1.0, size.height)), rgb), size,
                     at);
}

std::string dropImage(int a, qrn::ImageHandle image, qrn::Size size, qrn::Point at) {
    select(a);
    previewLayerClass model;
    const size_t before = model.getLayerArrayReference()[size_t(a)].size();
    appendReference(a, imageReferenceArray{3, "png", "layer"});
    model.addLayer(std::move(image), std::nullopt, std::nullopt, size, false, false, at, std::nullopt, 0,
                   false, false, false, false);
    return added(a, before);
}

std::string dropImageFile(int a, const std::string& file, qrn::Size size, qrn::Point at, bool overCamera) {
    auto decoded = qrn::imaging::readPicture(file, previewLayerPendingPictures::moviePixels());
    if (!decoded)
        return "";
    select(a);
    previewLayerClass model;
    const size_t before = model.getLayerArrayReference()[size_t(a)].size();
    std::string extension = std::filesystem::path(file).extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    model.setImageReferenceArray(3, qrn::Value::List{file}, extension);
    model.addLayer(std::make_shared<const QImage>(std::move(decoded).value()), std::nullopt, file, size, true,
                   false, at, std::nullopt, 0, false, false, overCamera, false);
    return added(a, before);
}

std::string dropText(int a, qrn::Point at) {
    select(a);
    previewLayerClass model;
    const size_t before = model.getLayerArrayReference()[size_t(a)].size();
    model.setImageReferenceArray(1, qrn::Value::List{"text_main"}, std::nullopt);
    model.addLayer(picture(10, 10), std::nullopt, std::nullopt, qrn::Size{10, 10}, false, false, at,
                   std::nullopt, 0, false, false, false, false);
    return added(a, before);
}

std::string dropAnimated(int a, qrn::Size size, qrn::Point at) {
    return dropAnimated(a, {picture(8, 8, 0xffff0000), picture(8, 8, 0xff00ff00), picture(8, 8, 0xff0000ff)},
                        size, at);
}

std::string dropAnimated(int a, std::vector<qrn::ImageHandle> frames, qrn::Size size, qrn::Point at) {
    select(a);
    previewLayerClass model;
    const size_t before = model.getLayerArrayReference()[size_t(a)].size();
    model.setImageReferenceArray(2, qrn::Value::List{"f1", "f2", "f3"}, std::nullopt);
    model.addLayer(nullptr, std::move(frames), std::nullopt, size, false, false, at, std::nullopt, 0, false,
                   false, false, false);
    return added(a, before);
}

std::string dropBackground(int a, qrn::Size size, unsigned rgb) {
    select(a);
    previewLayerClass model;
    const auto backgrounds = model.getAssetBackgroundIDArray();
    const bool replacing = a >= 1 && backgrounds[size_t(a - 1)].has_value();
    const size_t before = model.getLayerArrayReference()[size_t(a)].size();
    if (!replacing)
        appendReference(a, imageReferenceArray{3, "png", "background"});
    model.addLayer(picture(int(size.width), int(size.height), rgb), std::nullopt, std::nullopt, size, false,
                   true, {0, 0}, std::nullopt, 0, false, false, false, false);
    if (replacing)
        return std::to_string(*previewLayerClass().getSelectedLayer());
    return added(a, before);
}

int textLayerCount(int a) {
    const auto references = previewLayerClass().getImageReferenceArray();
    return int(std::count_if(references[size_t(a)].begin(), references[size_t(a)].end(), isText));
}

void expectLayerInvariants() {
    attributedStringStorageClass storage;
    const auto texts = storage.getTextSymbolStringArray();
    const auto layers = previewLayerClass().getLayerArray();
    ASSERT_EQ(texts.size(), layers.size()) << "text rows";
    for (size_t a = 0; a < layers.size(); ++a)
        EXPECT_EQ(int(texts[a].size()), textLayerCount(int(a))) << "texts of asset " << a;
    // The shared check counts one text entry per layer; give it that shape for the moment.
    std::vector<std::vector<qrn::AttributedString>> shaped;
    for (const auto& row : layers)
        shaped.emplace_back(row.size());
    storage.setTextSymbolStringArray(shaped, 0);
    previewtest::expectModelInvariants();
    storage.setTextSymbolStringArray(texts, 0);
}

std::vector<double> frameOf(const std::string& id) {
    previewLayerClass model;
    const auto layers = model.getLayerArray();
    for (size_t a = 0; a < layers.size(); ++a)
        for (size_t l = 0; l < layers[a].size(); ++l)
            if (layers[a][l] == id)
                return model.getLayerOriginSizeArray()[a][l];
    return {};
}

} // namespace layerstest
