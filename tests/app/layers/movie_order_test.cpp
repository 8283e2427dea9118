#include <gtest/gtest.h>

#include "Controller/Global/orderLayersClass.h"
#include "app/preview/preview_fixture.h"
#include "layers_support.h"
#include "platform/graphics/layer.h"
#include "platform/ui/view.h"

using namespace layerstest;
using previewtest::previewScene;
using strings = std::vector<std::string>;

namespace {

// The ids (or "asset <id>" for a container) of the output's sublayers, bottom to top.
strings moviePass(const previewScene& scene, bool beforeVideo) {
    std::map<const qrn::graphics::Layer*, std::string> names;
    previewLayerClass model;
    const auto assets = model.getAssetArray();
    for (size_t a = 1; a < assets.size(); ++a)
        names[scene.drop->viewWithTag(std::stoi(assets[a]) + 1)->superview()->layer().get()] =
            "asset " + assets[a];
    for (const auto& row : model.getLayerArray())
        for (const auto& id : row) {
            auto view = scene.drop->viewWithTag(std::stoi(id))->superview();
            names[view->layer().get()] = id;
        }
    auto output = std::make_shared<qrn::graphics::Layer>();
    orderLayersClass().addLayersInOrderToFinalMovieOutputLayer(scene.drop, output, assets,
                                                               model.getLayerArray(), beforeVideo);
    strings order;
    for (const auto& layer : output->sublayers())
        order.push_back(names.count(layer.get()) ? names[layer.get()] : "?");
    return order;
}

void setFirstAbove(int a, const std::optional<std::string>& id) {
    auto first = previewLayerClass().getFirstLayerAboveVideoArray();
    first[size_t(a)] = id;
    previewLayerClass().setFirstLayerAboveVideoArray(first);
}

} // namespace

TEST(MovieOrder, ContainersAndBackgroundsBelowThenEachGroupOnItsSideOfTheCamera) {
    previewScene scene;
    // Its own check counts texts per layer; expectLayerInvariants checks them per text layer.
    scene.checkEachAdd = false;
    // Only the sticky asset.
    const auto s1 = dropImage(0, {40, 40});
    const auto s2 = dropImage(0, {40, 40});
    setFirstAbove(0, s2);
    EXPECT_EQ(moviePass(scene, true), strings{s1});
    EXPECT_EQ(moviePass(scene, false), strings{s2});

    const auto first = scene.addAsset();
    const auto background = dropBackground(1, {556, 313});
    const auto a1 = dropImage(1, {40, 40});
    const auto a2 = dropImage(1, {40, 40});
    // The asset's first layer is its first above the camera: nothing of it below.
    setFirstAbove(1, background);
    const auto second = scene.addAsset();
    const auto r1 = dropImage(2, {40, 40});
    const auto r2 = dropImage(2, {40, 40});
    EXPECT_EQ(moviePass(scene, true), (strings{"asset " + first, "asset " + second, background, s1, r1, r2}));
    EXPECT_EQ(moviePass(scene, false), (strings{s2, a1, a2}));
    expectLayerInvariants();
}

TEST(MovieOrder, RemovingTheFirstAboveBeforeTheBackgroundKeepsTheRestAbove) {
    previewScene scene;
    scene.addAsset();
    const auto below = dropImage(1, {40, 40});
    const auto above = dropImage(1, {40, 40});
    const auto background = dropBackground(1, {556, 313});
    const auto top = dropImage(1, {40, 40});
    setFirstAbove(1, above);
    // Row: below, above (first above the camera), background, top.
    previewLayerClass model;
    model.removeLayer(std::vector<qrn::Value>{false, 1, 1}, false);
    EXPECT_EQ(model.getFirstLayerAboveVideoArray()[1], top);
    EXPECT_EQ(moviePass(scene, true), (strings{"asset 2", background, below}));
    EXPECT_EQ(moviePass(scene, false), strings{top});
    expectLayerInvariants();
}
