#include <gtest/gtest.h>

#include <algorithm>
#include <numbers>

#include "../preview/preview_fixture.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/graphics/layer.h"
#include "platform/ui/view.h"

using namespace previewtest;

namespace {

struct arrangeScene {
    previewScene scene;
    std::shared_ptr<qrn::ui::View> overlay;
    previewLayerClass model;

    arrangeScene() {
        undoRedoClass().clearClass();
        overlay = scene.addOverlay();
    }
    ~arrangeScene() {
        undoRedoClass().clearClass();
        previewLayerClass::setVideoCroppingEnabledHook(nullptr);
        model.setVideoCropState(false);
    }
};

std::vector<std::string> undoTypes() {
    std::vector<std::string> types;
    for (const auto& entry : undoRedoClass::getUndoList())
        types.push_back(entry.actionType);
    return types;
}

// Moves a layer inside one asset's rows, as the layer list does before the preview follows.
template <typename Rows> void moveInRow(Rows rows, size_t a, size_t from, size_t to, auto set) {
    auto value = rows[a][from];
    rows[a].erase(rows[a].begin() + long(from));
    rows[a].insert(rows[a].begin() + long(to), value);
    set(std::move(rows));
}

void moveLayerInModel(size_t a, size_t from, size_t to) {
    previewLayerClass m;
    filterClass f;
    moveInRow(m.getLayerArray(), a, from, to, [&](auto r) { m.setLayerArray(std::move(r)); });
    moveInRow(m.getImageReferenceArray(), a, from, to,
              [&](auto r) { m.setEntireImageReferenceArray(std::move(r)); });
    moveInRow(m.getLayerOriginSizeArray(), a, from, to,
              [&](auto r) { m.setLayerOriginSizeArray(std::move(r)); });
    moveInRow(m.getLayerTransformedOrigin(), a, from, to,
              [&](auto r) { m.setLayerTransformedOrigin(std::move(r)); });
    moveInRow(m.getLayerRotateArray(), a, from, to, [&](auto r) { m.setLayerRotateArray(std::move(r)); });
    moveInRow(m.getLayerTransformedSize(), a, from, to,
              [&](auto r) { m.setLayerTransformedSize(std::move(r)); });
    moveInRow(m.getLayerOriginalPosSize(), a, from, to,
              [&](auto r) { m.setLayerOriginalPosSize(std::move(r)); });
    moveInRow(m.getLayerIsFlippedArray(), a, from, to,
              [&](auto r) { m.setLayerIsFlippedArray(std::move(r)); });
    moveInRow(m.getLayerResizeWithAspectRatioArray(), a, from, to,
              [&](auto r) { m.setLayerResizeWithAspectRatioArray(std::move(r)); });
    moveInRow(f.getLayerFilter(), a, from, to, [&](auto r) { f.setLayerFilter(std::move(r)); });
    moveInRow(f.getLayerFilterOrder(), a, from, to, [&](auto r) { f.setLayerFilterOrder(std::move(r)); });
    moveInRow(f.getLayerFilterValues(), a, from, to, [&](auto r) { f.setLayerFilterValues(std::move(r)); });
    moveInRow(attributedStringStorageClass().getTextSymbolStringArray(), a, from, to,
              [&](auto r) { attributedStringStorageClass().setTextSymbolStringArray(std::move(r), 0); });
    moveInRow(previewLayerViewPathCreationClass().getPathsArray(), a, from, to,
              [&](auto r) { previewLayerViewPathCreationClass().setPathsArray(std::move(r)); });
}

// The drop view's layer views of asset i in sibling order match the ordered lists.
void expectSiblingOrder(const std::shared_ptr<qrn::ui::View>& drop, int i) {
    previewLayerClass model;
    orderLayersClass order;
    auto expected = order.orderedLayersBeforeOrAfterVideo(true, i, model.getLayerArray());
    auto above = order.orderedLayersBeforeOrAfterVideo(false, i, model.getLayerArray());
    expected.insert(expected.end(), above.begin(), above.end());
    std::vector<std::shared_ptr<qrn::ui::View>> actual;
    for (const auto& view : drop->subviews())
        if (std::find(expected.begin(), expected.end(), view) != expected.end())
            actual.push_back(view);
    EXPECT_EQ(actual, expected);
}

} // namespace

TEST(GestureFlip, AFlipNegatesItsColumnsTwiceIsIdentityAndEachRecordsTheFlagAfter) {
    arrangeScene g;
    g.scene.addAsset();
    const auto id = g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.layerHitTestAtPoint({150, 100});
    const auto layer = g.scene.layerView(id)->layer();
    g.model.mirrorLayer(true, std::nullopt, false);
    EXPECT_TRUE(layer->transform().approxEquals({1, 0, 0, -1, 0, 0}));
    g.model.mirrorLayer(true, std::nullopt, false);
    EXPECT_TRUE(layer->transform().approxEquals({1, 0, 0, 1, 0, 0}));
    ASSERT_EQ(undoTypes(), (std::vector<std::string>{"horizontalLayerFlip", "horizontalLayerFlip"}));
    EXPECT_EQ(std::get<bool>(undoRedoClass::getRedoList()[0][0]), true);
    EXPECT_EQ(std::get<bool>(undoRedoClass::getRedoList()[1][0]), false);
    // A replayed flip writes nothing.
    g.model.mirrorLayer(false, std::nullopt, true);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 2u);
    EXPECT_TRUE(layer->transform().approxEquals({-1, 0, 0, 1, 0, 0}));
}

TEST(GestureRevert, AMovedTurnedDoublyFlippedLayerComesBackWithItsEntriesInOrder) {
    arrangeScene g;
    g.scene.addAsset();
    const auto id = g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.layerHitTestAtPoint({150, 100});
    g.model.mirrorLayer(true, std::nullopt, false);
    g.model.mirrorLayer(false, std::nullopt, false);
    g.model.dragLayerInVideoViewLayer(std::nullopt, false, std::vector<double>{20, 30}, false, false,
                                      std::nullopt, false, true, false);
    g.model.resizeOrRotateLayer(false, std::vector<double>{120, 90, 0.3}, false, std::nullopt, false, false,
                                false, true, 0, 0, false, false);
    auto rotations = g.model.getLayerRotateArray();
    rotations[1][0] = 0.3;
    g.model.setLayerRotateArray(rotations);
    auto locks = g.model.getLayerResizeWithAspectRatioArray();
    locks[1][0] = {0.0, 1.5};
    g.model.setLayerResizeWithAspectRatioArray(locks);
    undoRedoClass().clearClass();

    g.model.revertLayerToOriginal();
    EXPECT_EQ(undoTypes(), (std::vector<std::string>{"horizontalLayerFlip", "verticalLayerFlip",
                                                     "layerBackToOriginalPositionAndSize"}));
    const auto frame = g.model.getLayerOriginSizeArray()[1][0];
    EXPECT_EQ(frame, (std::vector<double>{100, 50, 200, 100}));
    EXPECT_EQ(g.model.getLayerRotateArray()[1][0], 0);
    EXPECT_EQ(g.model.getLayerIsFlippedArray()[1][0], (std::vector<bool>{false, false}));
    EXPECT_EQ(g.model.getLayerResizeWithAspectRatioArray()[1][0], (std::vector<double>{1.0, 2.0}));
    const auto drawn = g.scene.layerView(id)->layer()->frame();
    EXPECT_NEAR(drawn.origin.x, 100, 1e-9);
    EXPECT_NEAR(drawn.origin.y, 50, 1e-9);
    EXPECT_NEAR(drawn.size.width, 200, 1e-9);
    EXPECT_NEAR(drawn.size.height, 100, 1e-9);
    const auto& entry = undoRedoClass::getUndoList().back();
    EXPECT_EQ(std::get<qrn::Point>(entry.beforeValues[0]), (qrn::Point{20, 30}));
    EXPECT_EQ(std::get<qrn::Size>(entry.beforeValues[1]), (qrn::Size{120, 90}));
    EXPECT_DOUBLE_EQ(std::get<double>(entry.beforeValues[2]), 0.3);
    expectModelInvariants();
}

TEST(GestureRevert, TheCameraInCropModeLosesItsCropAndCallsTheSwitch) {
    arrangeScene g;
    int switched = 0;
    // The switch leaves crop mode, as the editing screen's does.
    previewLayerClass::setVideoCroppingEnabledHook([&] {
        ++switched;
        previewLayerClass().setVideoCropState(false);
    });
    g.model.displayVideo();
    g.model.setVideoCropState(true);
    g.model.setVideoCropSizeAndOrigin({50, 40}, {10, 20});
    g.model.setVideoOriginSizeArray({30, 20, 320, 180});
    g.model.revertLayerToOriginal();
    EXPECT_EQ(switched, 1);
    const auto [size, origin] = g.model.getVideoCropSizeAndOrigin();
    EXPECT_EQ(size, (qrn::Size{100, 100}));
    EXPECT_EQ(origin, (qrn::Point{0, 0}));
    const auto frame = g.model.getVideoOriginSizeArray();
    EXPECT_NEAR(frame[0], 0, 1e-9);
    EXPECT_NEAR(frame[1], 0, 1e-9);
    EXPECT_NEAR(frame[2], 556, 1e-9);
    EXPECT_NEAR(frame[3], 313, 1e-9);
}

TEST(GestureLock, ANewLayerIsLockedAndAnOddValueTogglesToLocked) {
    arrangeScene g;
    g.scene.addAsset();
    g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.layerHitTestAtPoint({150, 100});
    EXPECT_TRUE(g.model.resizeLayerWithAspectRatio(std::nullopt, false, std::nullopt, false));
    EXPECT_FALSE(g.model.resizeLayerWithAspectRatio(std::nullopt, true, std::nullopt, false));
    EXPECT_EQ(g.model.getLayerResizeWithAspectRatioArray()[1][0][0], 0.0);
    auto locks = g.model.getLayerResizeWithAspectRatioArray();
    locks[1][0][0] = 0.5;
    g.model.setLayerResizeWithAspectRatioArray(locks);
    EXPECT_TRUE(g.model.resizeLayerWithAspectRatio(std::nullopt, true, std::nullopt, false));
    EXPECT_EQ(g.model.getLayerResizeWithAspectRatioArray()[1][0][0], 1.0);
    EXPECT_EQ(undoTypes(), (std::vector<std::string>{"layerAspectRatioLock", "layerAspectRatioLock"}));
    // The camera picture answers that it is selected.
    g.model.displayVideo();
    EXPECT_TRUE(g.model.resizeLayerWithAspectRatio(std::nullopt, true, std::nullopt, false));
}

TEST(GestureZMove, TheTwoStickyLayersSwapAndTheFirstAboveMovesOn) {
    arrangeScene g;
    g.scene.addAsset();
    g.scene.selectAssetAt(0);
    const auto s1 = g.scene.addLayer(0, {10, 10, 50, 50});
    const auto s2 = g.scene.addLayer(0, {20, 20, 50, 50});
    // The lower one goes to the top of the two.
    moveLayerInModel(0, 0, 1);
    g.model.changeZPositionOfLayerInPreview(0, 0, 1, false);
    expectSiblingOrder(g.scene.drop, 1);
    auto order = dropViewOrder(g.scene.drop);
    EXPECT_LT(std::find(order.begin(), order.end(), s2), std::find(order.begin(), order.end(), s1));
    expectModelInvariants();

    // Two layers of asset 1 above the camera: moving the first-above one to the end.
    const auto a1 = g.scene.addLayer(1, {100, 100, 50, 50}, 0, placement::above);
    const auto a2 = g.scene.addLayer(1, {120, 100, 50, 50}, 0, placement::above);
    g.scene.selectAssetAt(1);
    moveLayerInModel(1, 0, 1);
    // The layer list keeps the first-above id in step with the rows before the preview follows.
    auto first = g.model.getFirstLayerAboveVideoArray();
    first[1] = a2;
    g.model.setFirstLayerAboveVideoArray(first);
    g.model.changeZPositionOfLayerInPreview(1, 1, 1, true);
    order = dropViewOrder(g.scene.drop);
    EXPECT_LT(std::find(order.begin(), order.end(), a2), std::find(order.begin(), order.end(), a1));
    expectSiblingOrder(g.scene.drop, 1);
    expectModelInvariants();

    // Between two assets nothing moves.
    const auto before = dropViewOrder(g.scene.drop);
    g.model.changeZPositionOfLayerInPreview(0, 1, 0, false);
    EXPECT_EQ(dropViewOrder(g.scene.drop), before);
}
