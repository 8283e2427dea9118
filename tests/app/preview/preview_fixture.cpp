#include "preview_fixture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Global/Model/layerDataClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Model/attributedStringStorageClass.h"
#include "platform/ui/image_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace previewtest {

namespace {

void resetModel() {
    previewLayerClass model;
    model.clearClass(true);
    filterClass().clearClass();
    attributedStringStorageClass().clearClass();
    previewLayerViewPathCreationClass().setPathsArray({});
    model.setVideoLayerView(nullptr);
    model.setConfiguration(std::nullopt);
}

int positionOf(const std::vector<std::string>& row, const std::optional<std::string>& id) {
    if (!id)
        return -1;
    auto it = std::find(row.begin(), row.end(), *id);
    return it == row.end() ? -1 : int(it - row.begin());
}

template <typename Rows> void expectRowsMatch(const char* name, const Rows& rows) {
    const auto layers = previewLayerClass().getLayerArray();
    if (rows.size() != layers.size()) {
        ADD_FAILURE() << name << " has " << rows.size() << " asset rows for " << layers.size();
        return;
    }
    for (size_t a = 0; a < layers.size(); ++a)
        if (rows[a].size() != layers[a].size())
            ADD_FAILURE() << name << " row " << a << " has " << rows[a].size() << " entries for "
                          << layers[a].size() << " layers";
}

} // namespace

struct previewScene::saved {
    layerFilterArray flags;
    layerFilterOrderArray orders;
    layerFilterValuesArray values;
    std::vector<bool> videoFilter;
    filterValuesArray videoValues;
    std::vector<double> videoFrame;
    qrn::Size videoScale;
    qrn::Point videoOrigin;
    int selectedAsset = 0;
};

previewScene::previewScene(qrn::Rect parentFrame) : saved_(std::make_shared<saved>()) {
    filterClass filters;
    previewLayerClass current;
    *saved_ = {filters.getLayerFilter(),          filters.getLayerFilterOrder(),
               filters.getLayerFilterValues(),    filters.getVideoFilter(),
               filters.getVideoFilterValues(),    current.getVideoOriginSizeArray(),
               current.getVideoTransformedSize(), current.getVideoTransformedOrigin(),
               current.getSelectedAsset()};
    resetModel();
    previewLayerClass model;
    parent = qrn::ui::View::make(parentFrame);
    drop = qrn::ui::View::make(parent->bounds());
    parent->addSubview(drop);
    model.setConfiguration(previewLayerConfigurationViews{parent, drop});
    resizeAndPositionLayersClass().setBounds(parent->bounds());
    model.addAsset(false, false, true, std::nullopt, std::nullopt, false, false, false);
    model.reloadVideoPreview(true);
    model.createOrUpdateLayerPath(layerAssetIndexAndVideoSelectedArray{true, qrn::Value(), qrn::Value()},
                                  false, 0, true);
    model.fillSelectedAssetOrderedLayerArray();
}

previewScene::~previewScene() {
    resetModel();
    filterClass filters;
    filters.setLayerFilter(saved_->flags);
    filters.setLayerFilterOrder(saved_->orders);
    filters.setLayerFilterValues(saved_->values);
    filters.setVideoFilter(saved_->videoFilter);
    filters.setVideoFilterValues(saved_->videoValues);
    previewLayerClass model;
    model.setVideoOriginSizeArray(saved_->videoFrame);
    model.setVideoTransformedSize(saved_->videoScale);
    model.setVideoTransformedOrigin(saved_->videoOrigin);
    model.setSelectedAsset(saved_->selectedAsset);
}

std::string previewScene::addAsset() {
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, true, false, false);
    if (checkEachAdd)
        expectModelInvariants();
    return model.getAssetArray().back();
}

std::string previewScene::addLayer(int a, qrn::Rect frame, double rotation, placement where) {
    return previewtest::addLayer(drop, a, frame, rotation, where, checkEachAdd);
}

std::string addLayer(const std::shared_ptr<qrn::ui::View>& drop, int a, qrn::Rect frame, double rotation,
                     placement where, bool check) {
    previewLayerClass model;
    const auto selection = model.getSelectedLayer();
    const auto row = model.getLayerArray()[size_t(a)];
    auto first = model.getFirstLayerAboveVideoArray();
    const int firstAbove = positionOf(row, first[size_t(a)]);
    int j = firstAbove >= 0 ? firstAbove : int(row.size());
    int layerType = a == 0 ? 1 : 2;
    if (where == placement::above)
        j = int(row.size());
    if (where == placement::background)
        j = 0, layerType = 0;

    layerDataClass layer;
    layer.assetIndex = a;
    layer.layerIndex = j;
    layer.isBackgroundLayer = where == placement::background;
    layer.layerString = model.takeNewLayerId();
    const std::string id = *layer.layerString;
    model.setSelectedLayer(selection);
    const std::vector<double> rect{frame.origin.x, frame.origin.y, frame.size.width, frame.size.height};
    layer.IMAGE_REFERENCE_ARRAY = imageReferenceArray{3, "png", "layer" + id};
    layer.LAYER_ORIGIN_SIZE_ARRAY = rect;
    layer.layerRotate = rotation;
    layer.LAYER_ORIGINAL_POS_SIZE = rect;
    layer.layerTransformedSize = qrn::Size{1, 1};
    layer.LAYER_IS_FLIPPED_ARRAY = std::vector<bool>{false, false};
    layer.LAYER_RESIZE_WITH_ASPECT_RATIO = std::vector<double>{1, frame.size.width / frame.size.height};
    layer.fillArraysWithObjectData();
    attributedStringStorageClass texts;
    auto symbolTexts = texts.getTextSymbolStringArray();
    symbolTexts[size_t(a)].insert(symbolTexts[size_t(a)].begin() + j, qrn::AttributedString());
    texts.setTextSymbolStringArray(symbolTexts, 0);
    if (where == placement::above && !first[size_t(a)]) {
        first[size_t(a)] = id;
        model.setFirstLayerAboveVideoArray(first);
    }

    auto view = qrn::ui::View::make(frame);
    view->addSubview(qrn::ui::TextField::makeMarker(std::stoi(id)));
    auto image = qrn::ui::ImageView::make(view->bounds());
    image->setImageScaling(qrn::ui::ImageScaling::axesIndependently);
    QImage picture(8, 8, QImage::Format_ARGB32_Premultiplied);
    const int n = std::stoi(id);
    picture.fill(QColor::fromHsv((n * 67) % 360, 200, 230));
    image->setImage(picture);
    view->addSubview(image);
    orderLayersClass().insertLayerViewInOrder(drop, view, a, j, layerType, where == placement::above);
    view->setHidden(!(a == 0 || a == model.getSelectedAssetIndex()));
    const layerAssetIndexAndVideoSelectedArray address{false, a, j};
    model.resizeCorrectionForSingleLayer(std::nullopt, address, false);
    model.createOrUpdateLayerPath(address, true, j, false);
    model.fillSelectedAssetOrderedLayerArray();
    if (check)
        expectModelInvariants();
    return id;
}

std::shared_ptr<qrn::ui::View> previewScene::layerView(const std::string& id) {
    auto tagged = drop->viewWithTag(std::stoi(id));
    return tagged ? tagged->superview() : nullptr;
}

void previewScene::selectAssetAt(int assetIndex) {
    auto tile = qrn::ui::View::make();
    auto label = qrn::ui::TextField::make();
    label->setTag(std::stoi(previewLayerClass().getAssetArray()[size_t(assetIndex)]));
    tile->addSubview(label);
    previewLayerClass().selectAsset(tile, false, true, assetIndex == 0, true);
}

std::shared_ptr<qrn::ui::View> previewScene::addOverlay() {
    auto overlay = qrn::ui::View::make(qrn::Rect(0, 0, 36, 36));
    overlay->layer()->setZPosition(9999999.0);
    overlay->setHidden(true);
    auto border = qrn::ui::View::make(qrn::Rect(6, 6, 24, 24));
    border->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
    border->layer()->setBorderWidth(1.0);
    border->layer()->setBorderColour(qrn::Colour{1.0, 0.7647, 0.0, 0.8});
    overlay->addSubview(border);
    for (int tag : {-2, -1}) {
        auto handle = qrn::ui::View::make(qrn::Rect(24, tag == -2 ? 24 : 0, 12, 12));
        handle->addSubview(qrn::ui::TextField::makeMarker(tag));
        overlay->addSubview(handle);
    }
    overlay->addSubview(qrn::ui::TextField::makeMarker(-5));
    drop->addSubview(overlay);
    auto cameraFrame = qrn::ui::View::make(parent->bounds());
    cameraFrame->setHidden(true);
    cameraFrame->addSubview(qrn::ui::TextField::makeMarker(-4));
    drop->addSubview(cameraFrame);
    return overlay;
}

void expectModelInvariants() {
    previewLayerClass model;
    filterClass filters;
    const auto layers = model.getLayerArray();
    const auto assets = model.getAssetArray();
    ASSERT_EQ(assets.size(), layers.size()) << "ASSET_ARRAY and LAYER_ARRAY";
    expectRowsMatch("IMAGE_REFERENCE_ARRAY", model.getImageReferenceArray());
    expectRowsMatch("LAYER_ORIGIN_SIZE_ARRAY", model.getLayerOriginSizeArray());
    expectRowsMatch("layerTransformedOrigin", model.getLayerTransformedOrigin());
    expectRowsMatch("LAYER_ROTATE_ARRAY", model.getLayerRotateArray());
    expectRowsMatch("layerTransformedSize", model.getLayerTransformedSize());
    expectRowsMatch("LAYER_ORIGINAL_POS_SIZE_ROT", model.getLayerOriginalPosSize());
    expectRowsMatch("LAYER_IS_FLIPPED_ARRAY", model.getLayerIsFlippedArray());
    expectRowsMatch("LAYER_RESIZE_WITH_ASPECT_RATIO", model.getLayerResizeWithAspectRatioArray());
    expectRowsMatch("LAYER_FILTER", filters.getLayerFilter());
    expectRowsMatch("LAYER_FILTER_ORDER", filters.getLayerFilterOrder());
    expectRowsMatch("LAYER_FILTER_VALUES", filters.getLayerFilterValues());
    expectRowsMatch("text symbol texts", attributedStringStorageClass().getTextSymbolStringArray());
    const auto paths = previewLayerViewPathCreationClass().getPathsArray();
    expectRowsMatch("PATHS_ARRAY", paths);
    for (size_t a = 0; a < paths.size() && a < layers.size(); ++a)
        for (size_t l = 0; l < paths[a].size() && l < layers[a].size(); ++l) {
            const auto& view = paths[a][l].view;
            const auto tag = view && !view->subviews().empty() ? view->subviews()[0]->tag() : std::nullopt;
            EXPECT_EQ(tag ? std::to_string(*tag) : "none", layers[a][l]) << "path entry " << a << "/" << l;
        }
    const auto first = model.getFirstLayerAboveVideoArray();
    ASSERT_EQ(first.size(), layers.size()) << "FIRST_LAYER_ABOVE_VIDEO_ARRAY";
    for (size_t a = 0; a < first.size(); ++a)
        if (first[a])
            EXPECT_GE(positionOf(layers[a], first[a]), 0) << "first above " << *first[a] << " in asset " << a;
    const auto backgrounds = model.getAssetBackgroundIDArray();
    ASSERT_EQ(backgrounds.size() + 1, layers.size()) << "ASSET_BACKGROUND_ID_ARRAY";
    EXPECT_EQ(model.getAssetBackgroundColour().size() + 1, layers.size()) << "ASSET_BACKGROUND_COLOUR_ARRAY";
    for (size_t i = 0; i < backgrounds.size(); ++i)
        if (backgrounds[i])
            EXPECT_GE(positionOf(layers[i + 1], backgrounds[i]), 0) << "background " << *backgrounds[i];
}

std::vector<std::string> dropViewOrder(const std::shared_ptr<qrn::ui::View>& drop) {
    std::vector<std::string> order;
    const auto video = previewLayerClass().getVideoLayerView();
    for (const auto& view : drop->subviews()) {
        if (view == video)
            order.push_back("camera");
        else if (!view->subviews().empty() && view->subviews()[0]->tag())
            order.push_back(std::to_string(*view->subviews()[0]->tag()));
        else if (view->viewWithTag(-5))
            order.push_back("overlay");
        else
            order.push_back("?");
    }
    return order;
}

} // namespace previewtest
