#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "Controller/Global/orderLayersClass.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"
#include "preview_fixture.h"

using namespace previewtest;
using strings = std::vector<std::string>;

namespace {

int indexIn(const std::shared_ptr<qrn::ui::View>& parent, const std::shared_ptr<qrn::ui::View>& view) {
    const auto& subviews = parent->subviews();
    auto it = std::find(subviews.begin(), subviews.end(), view);
    return it == subviews.end() ? -1 : int(it - subviews.begin());
}

int count(const strings& order, const std::string& label) {
    return int(std::count(order.begin(), order.end(), label));
}

// The drop view's stacking of one asset's views must be the ordered list of that asset.
void expectSiblingOrderMatchesOrderedList(const std::shared_ptr<qrn::ui::View>& drop, int assetIndex) {
    const auto ordered = orderLayersClass().fillSelectedAssetOrderedLayerArray(
        assetIndex, previewLayerClass().getLayerArray());
    int last = -1;
    for (const auto& view : ordered) {
        const int at = indexIn(drop, view);
        EXPECT_GT(at, last) << "asset " << assetIndex;
        last = at;
    }
}

} // namespace

TEST(PreviewOrdering, NewProjectHasFiveMarkersAroundTheCameraAndReloadsKeepOneOfEach) {
    previewScene scene;
    EXPECT_EQ(dropViewOrder(scene.drop), (strings{"-9", "-10", "-11", "camera", "-12", "-13"}));
    EXPECT_EQ(previewLayerClass().getSelectedAssetOrderedLayerArray(),
              std::vector<std::shared_ptr<qrn::ui::View>>{previewLayerClass().getVideoLayerView()});

    // New or Open in the same window: the reset leaves the markers and the old camera view.
    previewLayerClass().reloadVideoPreview(true);
    previewLayerClass().reloadVideoPreview(true);
    EXPECT_EQ(dropViewOrder(scene.drop), (strings{"-9", "-10", "-11", "camera", "-12", "-13"}));
    const auto camera = previewLayerClass().getVideoLayerView();
    EXPECT_TRUE(camera->isHidden());
    EXPECT_EQ(camera->frame(), qrn::Rect(0, 0, 556, 313));
}

TEST(PreviewOrdering, LayersLandInTheirGroupsAroundTheCamera) {
    previewScene scene;
    scene.addAsset();
    const auto firstBelow = scene.addLayer(1, {10, 10, 50, 50});
    EXPECT_EQ(dropViewOrder(scene.drop),
              (strings{"3", "-9", "-10", "-11", firstBelow, "camera", "-12", "-13"}));

    const auto above = scene.addLayer(1, {10, 10, 50, 50}, 0, placement::above);
    const auto sticky = scene.addLayer(0, {10, 10, 50, 50});
    const auto stickyAbove = scene.addLayer(0, {10, 10, 50, 50}, 0, placement::above);
    const auto background = scene.addLayer(1, {0, 0, 556, 313}, 0, placement::background);
    const auto secondBelow = scene.addLayer(1, {10, 10, 50, 50});
    EXPECT_EQ(dropViewOrder(scene.drop), (strings{"3", "-9", background, "-10", sticky, "-11", firstBelow,
                                                  secondBelow, "camera", "-12", stickyAbove, "-13", above}));
    const auto ordered = previewLayerClass().getSelectedAssetOrderedLayerArray();
    std::vector<std::shared_ptr<qrn::ui::View>> expected{scene.layerView(background),
                                                         scene.layerView(sticky),
                                                         scene.layerView(firstBelow),
                                                         scene.layerView(secondBelow),
                                                         previewLayerClass().getVideoLayerView(),
                                                         scene.layerView(stickyAbove),
                                                         scene.layerView(above)};
    EXPECT_EQ(ordered, expected);
}

TEST(PreviewOrdering, TheWalkSkipsTheBackgroundAndStaysInItsGroup) {
    orderLayersClass order;
    const std::vector<std::optional<std::string>> none{std::nullopt, std::nullopt};
    // The only lower neighbour is the background: the layer goes on the regular marker.
    EXPECT_EQ(order.findPreviousLayerInSameAsset(1, 1, 2, {{}, {"5", "6"}}, false, none, {"5"}), "-11");
    EXPECT_EQ(order.findPreviousLayerInSameAsset(1, 2, 2, {{}, {"5", "6", "7"}}, false, none, {"5"}), "6");
    // First above the camera is the asset's first layer: the next one above goes on it.
    const std::vector<std::optional<std::string>> firstIsFirst{std::nullopt, "4"};
    EXPECT_EQ(
        order.findPreviousLayerInSameAsset(1, 0, 2, {{}, {"4", "5"}}, true, firstIsFirst, {std::nullopt}),
        "-13");
    EXPECT_EQ(
        order.findPreviousLayerInSameAsset(1, 1, 2, {{}, {"4", "5"}}, true, firstIsFirst, {std::nullopt}),
        "4");
    // The background sorts after its own marker or before the layer it follows.
    EXPECT_EQ(order.findPreviousLayerInSameAsset(1, 0, 0, {{}, {"5", "6"}}, false, none, {"5"}), "-9");
    // Sticky layers: below needs two, above starts at its marker.
    EXPECT_EQ(order.findPreviousLayerInSameAsset(0, 0, 1, {{"1"}}, false, none, {}), "-10");
    EXPECT_EQ(order.findPreviousLayerInSameAsset(0, 1, 1, {{"1", "2"}}, false, none, {}), "1");
    EXPECT_EQ(order.findPreviousLayerInSameAsset(0, 1, 1, {{"1", "2"}}, true, {"2"}, {}), "-12");
    EXPECT_EQ(order.findPreviousLayerInSameAsset(0, 2, 1, {{"1", "2", "3"}}, true, {"2"}, {}), "2");
}

TEST(PreviewOrdering, AnAssetWhoseFirstLayerIsAboveTheCameraListsEachLayerOnceAbove) {
    previewScene scene;
    scene.addAsset();
    const auto a = scene.addLayer(1, {0, 0, 10, 10}, 0, placement::above);
    const auto b = scene.addLayer(1, {0, 0, 10, 10}, 0, placement::above);
    const auto ordered = previewLayerClass().getSelectedAssetOrderedLayerArray();
    EXPECT_EQ(ordered, (std::vector<std::shared_ptr<qrn::ui::View>>{previewLayerClass().getVideoLayerView(),
                                                                    scene.layerView(a), scene.layerView(b)}));
}

TEST(PreviewOrdering, RandomAddsKeepTheSiblingOrderOfTheOrderedLists) {
    previewScene scene;
    std::mt19937 random(13);
    for (int i = 0; i < 4; ++i)
        scene.addAsset();
    for (int i = 0; i < 60; ++i) {
        const int asset = int(random() % 5);
        auto where = placement(random() % 3);
        if (where == placement::background &&
            (asset == 0 || previewLayerClass().getAssetBackgroundIDArray()[size_t(asset - 1)]))
            where = placement::below;
        scene.addLayer(asset, {double(random() % 400), double(random() % 200), 40, 30}, 0.1 * i, where);
    }
    for (int a = 1; a < 5; ++a)
        expectSiblingOrderMatchesOrderedList(scene.drop, a);
    const auto order = dropViewOrder(scene.drop);
    for (const auto* marker : {"-9", "-10", "-11", "-12", "-13", "camera"})
        EXPECT_EQ(count(order, marker), 1) << marker;
}

namespace {

// The studio's own preview: its markers around its camera view.
std::shared_ptr<qrn::ui::View> studioPreview() {
    auto studio = qrn::ui::View::make(qrn::Rect(0, 0, 556, 313));
    orderLayersClass().addParentOrderViews(studio, true);
    studio->addSubview(qrn::ui::View::make());
    orderLayersClass().addParentOrderViews(studio, false);
    return studio;
}

} // namespace

TEST(PreviewOrdering, StudioRoundTripKeepsOrderHiddenFlagsAndOneViewEach) {
    previewScene scene;
    for (int i = 0; i < 3; ++i)
        scene.addAsset();
    // The second asset's first layer above the camera is its background.
    const auto background = scene.addLayer(2, {0, 0, 556, 313}, 0, placement::background);
    auto first = previewLayerClass().getFirstLayerAboveVideoArray();
    first[2] = background;
    previewLayerClass().setFirstLayerAboveVideoArray(first);
    for (int a = 0; a < 4; ++a) {
        scene.addLayer(a, {5, 5, 20, 20});
        scene.addLayer(a, {5, 5, 20, 20}, 0.5, placement::above);
        scene.addLayer(a, {5, 5, 20, 20});
    }
    scene.selectAssetAt(2);
    const auto before = dropViewOrder(scene.drop);
    const auto assets = previewLayerClass().getAssetArray();
    const auto layers = previewLayerClass().getLayerArray();

    auto studio = studioPreview();
    orderLayersClass().addLayersInOrderToPreview(scene.drop, studio, assets, layers, 1);
    EXPECT_EQ(dropViewOrder(scene.drop), (strings{"-9", "-10", "-11", "camera", "-12", "-13"}));
    for (size_t a = 0; a < layers.size(); ++a)
        for (const auto& id : layers[a]) {
            auto tagged = studio->viewWithTag(std::stoi(id));
            ASSERT_TRUE(tagged) << id;
            EXPECT_EQ(tagged->superview()->isHidden(), a >= 2) << id;
        }

    orderLayersClass().addLayersInOrderToPreview(studio, scene.drop, assets, layers, 2);
    EXPECT_EQ(dropViewOrder(scene.drop), before);
    for (size_t a = 1; a < layers.size(); ++a)
        for (const auto& id : layers[a])
            EXPECT_EQ(scene.layerView(id)->isHidden(), a != 2) << id;
    expectSiblingOrderMatchesOrderedList(scene.drop, 2);
    // The layer after the background stays above the camera.
    const auto camera = indexIn(scene.drop, previewLayerClass().getVideoLayerView());
    EXPECT_GT(indexIn(scene.drop, scene.layerView(layers[2].back())), camera);
}

TEST(PreviewOrdering, AThumbnailMakesEachGroupMarkerWithTheGroupsFirstLayerInItsPlace) {
    orderLayersClass order;
    const auto tagged = [](int tag) {
        auto view = qrn::ui::View::make();
        view->addSubview(qrn::ui::TextField::makeMarker(tag));
        return view;
    };
    auto thumbnail = qrn::ui::View::make(qrn::Rect(0, 0, 108, 61));
    thumbnail->addSubview(tagged(3));
    const auto stackOn = [&](int group, int layer) {
        const auto below = order.stackingViewIn(thumbnail, group);
        EXPECT_TRUE(below) << group;
        if (below)
            thumbnail->addSubview(tagged(layer), qrn::ui::Ordering::Above, below.get());
        return below;
    };
    // The groups fill out of order: above the camera first, the background last but one.
    stackOn(-13, 21);
    const auto regularBelow = stackOn(-11, 22);
    stackOn(-9, 23);
    stackOn(-12, 24);
    EXPECT_EQ(dropViewOrder(thumbnail), (strings{"3", "-9", "23", "-11", "22", "-12", "24", "-13", "21"}));
    // A marker is made once; a layer that is not there makes nothing.
    EXPECT_EQ(order.stackingViewIn(thumbnail, -11), regularBelow);
    EXPECT_EQ(order.stackingViewIn(thumbnail, 42), nullptr);
    EXPECT_EQ(thumbnail->subviews().size(), 9u);
}
