#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "../preview/preview_fixture.h"
#include "Controller/Editing/Preview/previewGestureUndo.h"
#include "Controller/Editing/editViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/graphics/layer.h"
#include "platform/ui/view.h"

using namespace previewtest;

namespace {

constexpr double pi = std::numbers::pi;

// A scene with one regular asset, its overlay, and a clean history around each test.
struct gestureScene {
    previewScene scene;
    std::shared_ptr<qrn::ui::View> overlay;
    previewLayerClass model;

    explicit gestureScene(qrn::Rect parentFrame = qrn::Rect(10, 164, 556, 313)) : scene(parentFrame) {
        undoRedoClass().clearClass();
        scene.addAsset();
        overlay = scene.addOverlay();
    }
    ~gestureScene() {
        undoRedoClass().clearClass();
        editViewClass().setShiftKeyPressed(false);
        auto& state = model.getInteractionState();
        state.resizeStartLocation.reset();
        state.resizeButtonSelected = true;
        state.draggingLayer = false;
    }

    qrn::Point window(qrn::Point inPreview) const {
        return scene.drop->convertPointToView(inPreview, nullptr);
    }

    // A mouse drag of the selection through the given preview points, then mouse-up.
    void drag(std::initializer_list<qrn::Point> points) {
        model.setDraggingLayer(true);
        qrn::Point last;
        for (const auto& p : points) {
            last = window(p);
            model.dragLayerInVideoViewLayer(last, false, std::nullopt, false, true, std::nullopt, false, true,
                                            false);
        }
        model.dragLayerInVideoViewLayer(last, true, std::nullopt, false, true, std::nullopt, false, true,
                                        false);
        model.setDraggingLayer(false);
    }

    // A handle drag as the preview's mouse handling makes it: the press keeps the before-values,
    // each dragged event resizes or turns, mouse-up makes one last call; then the settle step.
    void handleDrag(bool rotate, std::initializer_list<qrn::Point> points) {
        undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(rotate), std::nullopt);
        model.setRotateButtonSelected(rotate ? -1 : -2);
        qrn::Point last;
        for (const auto& p : points) {
            last = window(p);
            model.resizeOrRotateLayer(rotate, std::nullopt, true, std::nullopt, true, false, false, true,
                                      last.x, last.y, false, false);
            model.setResizeButtonSelected(false);
        }
        model.resizeOrRotateLayer(rotate, std::nullopt, true, std::nullopt, true, false, false, true, last.x,
                                  last.y, false, false);
        model.setRotateButtonSelected(0);
        model.setResizeButtonSelected(true);
        qrn::MainQueue::advance(0.11);
    }

    std::vector<double> frameOf(int a, int l) {
        return model.getLayerOriginSizeArray()[size_t(a)][size_t(l)];
    }
};

// The layer at (1, 0) resizes freely; its stored ratio is kept.
void unlock(gestureScene& g, double ratio) {
    auto locks = g.model.getLayerResizeWithAspectRatioArray();
    locks[1][0] = {0.0, ratio};
    g.model.setLayerResizeWithAspectRatioArray(locks);
}

// A free 200 x 100 layer at (100, 50), its resize handle pressed.
void pressResizeHandle(gestureScene& g) {
    g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.layerHitTestAtPoint({200, 100});
    unlock(g, 2.0);
    undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(false), std::nullopt);
    g.model.setRotateButtonSelected(-2);
}

// A dragged event of the held resize handle, as the preview's mouse handling makes it.
void resizeEvent(gestureScene& g, qrn::Point inPreview) {
    const auto at = g.window(inPreview);
    g.model.resizeOrRotateLayer(false, std::nullopt, true, std::nullopt, true, false, false, true, at.x, at.y,
                                false, false);
    g.model.setResizeButtonSelected(false);
}

void expectFrame(const std::vector<double>& frame, std::vector<double> expected, double tolerance = 1e-9) {
    ASSERT_EQ(frame.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(frame[i], expected[i], tolerance) << "element " << i;
}

} // namespace

TEST(GestureDrag, MovesByTheTravelFromTheSecondEventAndRecordsTheFinalPlaceOnce) {
    gestureScene g;
    const auto id = g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.layerHitTestAtPoint({150, 100});
    ASSERT_EQ(g.model.getSelectedLayer(), std::stoi(id));
    const auto overlayBefore = g.overlay->frame().origin;

    g.model.setDraggingLayer(true);
    g.model.dragLayerInVideoViewLayer(g.window({150, 100}), false, std::nullopt, false, true, std::nullopt,
                                      false, true, false);
    expectFrame(g.frameOf(1, 0), {100, 50, 200, 100});
    g.model.dragLayerInVideoViewLayer(g.window({160, 95}), false, std::nullopt, false, true, std::nullopt,
                                      false, true, false);
    expectFrame(g.frameOf(1, 0), {110, 45, 200, 100});
    g.model.dragLayerInVideoViewLayer(g.window({190, 105}), false, std::nullopt, false, true, std::nullopt,
                                      false, true, false);
    expectFrame(g.frameOf(1, 0), {140, 55, 200, 100});
    EXPECT_EQ(g.overlay->frame().origin, (qrn::Point{overlayBefore.x + 40, overlayBefore.y + 5}));
    // The view is drawn where the model says, and hit there.
    const auto drawn = g.scene.layerView(id)->layer()->frame();
    EXPECT_NEAR(drawn.origin.x, 140, 1e-9);
    EXPECT_NEAR(drawn.origin.y, 55, 1e-9);
    g.model.dragLayerInVideoViewLayer(g.window({190, 105}), true, std::nullopt, false, true, std::nullopt,
                                      false, true, false);
    g.model.setDraggingLayer(false);
    // The pending settle step finds the drag over and does nothing.
    qrn::MainQueue::advance(0.2);
    expectFrame(g.frameOf(1, 0), {140, 55, 200, 100});

    const auto& undo = undoRedoClass::getUndoList();
    ASSERT_EQ(undo.size(), 1u);
    EXPECT_EQ(undo[0].actionType, "dragLayerInVideoViewLayer");
    EXPECT_EQ(std::get<qrn::Point>(undo[0].beforeValues[0]), (qrn::Point{100, 50}));
    EXPECT_EQ(std::get<qrn::Point>(undoRedoClass::getRedoList()[0][0]), (qrn::Point{140, 55}));
    g.model.layerHitTestAtPoint({330, 150});
    EXPECT_EQ(g.model.getSelectedLayer(), std::stoi(id));

    // A click without motion records nothing.
    g.drag({{200, 100}});
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 1u);
    expectModelInvariants();
}

TEST(GestureDrag, AReplayPutsTheLayerAndOverlayAtTheRecordAndEndsUnselected) {
    gestureScene g;
    g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.layerHitTestAtPoint({150, 100});
    const auto overlayBefore = g.overlay->frame().origin;
    const layerAssetIndexAndVideoSelectedArray address{false, 1, 0};
    g.model.dragLayerInVideoViewLayer(std::nullopt, false, std::vector<double>{20, 30}, false, false, address,
                                      true, false, false);
    expectFrame(g.frameOf(1, 0), {20, 30, 200, 100});
    EXPECT_EQ(g.overlay->frame().origin, (qrn::Point{overlayBefore.x - 80, overlayBefore.y - 20}));
    EXPECT_FALSE(undoRedoClass::getValuesCompare().has_value());
    EXPECT_EQ(g.model.getSelectedLayer(), std::nullopt);
    EXPECT_EQ(qrn::MainQueue::pendingCount(), 0);
    EXPECT_FALSE(g.model.getInteractionState().dragStartLocation.has_value());
    expectModelInvariants();
}

TEST(GestureDrag, TheCropWindowMovesPerAxisAndNeverReachesTheEdge) {
    gestureScene g;
    g.model.displayVideo();
    g.model.setVideoCropState(true);
    g.model.setVideoCropSizeAndOrigin({50, 50}, {10, 10});
    const auto video = g.model.getVideoOriginSizeArray();
    const double w = video[2], h = video[3];
    // Left by 8 % and up by 20 %: x is taken, y would pass 100 and stays.
    g.drag({{300, 150}, {300 - 0.08 * w, 150 + 0.45 * h}});
    auto [size, origin] = g.model.getVideoCropSizeAndOrigin();
    EXPECT_NEAR(origin.x, 2, 1e-9);
    EXPECT_NEAR(origin.y, 10, 1e-9);
    // Further left would reach 0: refused.
    g.drag({{300, 150}, {300 - 0.02 * w, 150}});
    EXPECT_NEAR(g.model.getVideoCropSizeAndOrigin().second.x, 2, 1e-9);
    const auto& undo = undoRedoClass::getUndoList();
    ASSERT_EQ(undo.size(), 1u);
    EXPECT_EQ(undo[0].actionType, "cropVideoOrigin");
    EXPECT_EQ(std::get<qrn::Point>(undoRedoClass::getRedoList()[0][0]), (qrn::Point{origin.x, origin.y}));
    // The camera picture itself did not move.
    EXPECT_EQ(g.model.getVideoOriginSizeArray(), video);

    g.model.setVideoCropSizeAndOrigin({100, 100}, {0, 0});
    g.drag({{300, 150}, {310, 160}});
    EXPECT_EQ(g.model.getVideoCropSizeAndOrigin().second, (qrn::Point{0, 0}));
    g.model.setVideoCropState(false);
}

TEST(GestureRotate, TheLowerRightCornerIsUprightAndTheCentreTurnsNothing) {
    for (const auto& frame : {qrn::Rect(100, 50, 200, 100), qrn::Rect(40, 40, 60, 180)}) {
        gestureScene g;
        g.scene.addLayer(1, frame);
        g.model.layerHitTestAtPoint(frame.center());
        const double mx = frame.center().x, my = frame.center().y;
        const auto corner = g.window({mx + frame.size.width / 2, my - frame.size.height / 2});
        g.model.resizeOrRotateLayer(true, std::nullopt, false, std::nullopt, false, false, false, true,
                                    corner.x, corner.y, false, false);
        EXPECT_NEAR(g.model.getLayerRotateArray()[1][0], 0, 1e-9);
        // Straight above the centre, on the right: a quarter turn minus the corner's angle.
        const auto above = g.window({mx + 1e-9, my + 50});
        g.model.resizeOrRotateLayer(true, std::nullopt, false, std::nullopt, false, false, false, true,
                                    above.x, above.y, false, false);
        const double a = std::atan(frame.size.width / frame.size.height);
        EXPECT_NEAR(g.model.getLayerRotateArray()[1][0], pi - a, 1e-6);
        // Left of the centre, level with it: the second branch.
        const auto left = g.window({mx - 50, my});
        g.model.resizeOrRotateLayer(true, std::nullopt, false, std::nullopt, false, false, false, true,
                                    left.x, left.y, false, false);
        EXPECT_NEAR(g.model.getLayerRotateArray()[1][0], -pi / 2 - a, 1e-9);
        const double before = g.model.getLayerRotateArray()[1][0];
        const auto centre = g.window({mx, my});
        g.model.resizeOrRotateLayer(true, std::nullopt, false, std::nullopt, false, false, false, true,
                                    centre.x, centre.y, false, false);
        EXPECT_EQ(g.model.getLayerRotateArray()[1][0], before);
        EXPECT_TRUE(std::isfinite(g.model.getLayerRotateArray()[1][0]));
        expectModelInvariants();
    }
}

TEST(GestureRotate, AHandleTurnRecordsOneEntryWithTheOldRotation) {
    gestureScene g;
    g.scene.addLayer(1, {100, 50, 200, 100}, 0.25);
    g.model.layerHitTestAtPoint({200, 100});
    g.handleDrag(true, {{350, 150}, {300, 250}});
    const auto& undo = undoRedoClass::getUndoList();
    ASSERT_EQ(undo.size(), 1u);
    EXPECT_EQ(undo[0].actionType, "rotateLayer");
    EXPECT_DOUBLE_EQ(std::get<double>(undo[0].beforeValues[0]), 0.25);
    EXPECT_DOUBLE_EQ(std::get<double>(undoRedoClass::getRedoList()[0][0]),
                     g.model.getLayerRotateArray()[1][0]);
    EXPECT_NE(g.model.getLayerRotateArray()[1][0], 0.25);
    // The overlay turns with the layer.
    EXPECT_NEAR(g.overlay->frameCenterRotation(), g.model.getLayerRotateArray()[1][0] * 180 / pi, 1e-9);
}

TEST(GestureResize, TheTravelIsProjectedOntoTheTurnedFrame) {
    for (const double r : {0.0, pi / 2}) {
        gestureScene g;
        g.scene.addLayer(1, {100, 50, 200, 100}, r);
        g.model.layerHitTestAtPoint({200, 100});
        unlock(g, 2.0);
        g.handleDrag(false, {{300, 150}, {330, 170}});
        const auto f = g.frameOf(1, 0);
        if (r == 0) {
            EXPECT_NEAR(f[2], 230, 1e-9);
            EXPECT_NEAR(f[3], 120, 1e-9);
        } else {
            EXPECT_NEAR(f[2], 220, 1e-9);
            EXPECT_NEAR(f[3], 70, 1e-9);
        }
        // Resized by the mouse without the lock: the new ratio is kept.
        EXPECT_NEAR(g.model.getLayerResizeWithAspectRatioArray()[1][0][1], f[2] / f[3], 1e-12);
        const auto& undo = undoRedoClass::getUndoList();
        ASSERT_EQ(undo.size(), 1u);
        EXPECT_EQ(undo[0].actionType, "resizeLayer");
        EXPECT_EQ(std::get<qrn::Size>(undo[0].beforeValues[0]), (qrn::Size{200, 100}));
        EXPECT_EQ(std::get<qrn::Size>(undoRedoClass::getRedoList()[0][0]), (qrn::Size{f[2], f[3]}));
        // The view draws the stored frame.
        const auto drawn = g.scene.layerView(g.model.getLayerArray()[1][0])->layer()->frame();
        const double extentW = r == 0 ? f[2] : f[3], extentH = r == 0 ? f[3] : f[2];
        EXPECT_NEAR(drawn.size.width, extentW, 1e-6);
        EXPECT_NEAR(drawn.size.height, extentH, 1e-6);
        EXPECT_NEAR(drawn.center().x, f[0] + f[2] / 2, 1e-6);
        expectModelInvariants();
    }
}

TEST(GestureResize, ShiftTheStoredLockAndTheCameraKeepTheirRatiosButNeverForText) {
    gestureScene g;
    g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.layerHitTestAtPoint({200, 100});
    unlock(g, 2.0);
    editViewClass().setShiftKeyPressed(true);
    g.handleDrag(false, {{300, 150}, {340, 180}});
    auto f = g.frameOf(1, 0);
    EXPECT_NEAR(f[2] / f[3], 2.0, 1e-9);
    editViewClass().setShiftKeyPressed(false);

    // The stored lock keeps a 3:1 ratio.
    auto locks = g.model.getLayerResizeWithAspectRatioArray();
    locks[1][0] = {1.0, 3.0};
    g.model.setLayerResizeWithAspectRatioArray(locks);
    g.handleDrag(false, {{300, 50}, {280, 90}});
    f = g.frameOf(1, 0);
    EXPECT_NEAR(f[2] / f[3], 3.0, 1e-9);

    // A text layer is never locked.
    auto references = g.model.getImageReferenceArray();
    references[1][0] = imageReferenceArray{1, "", "", 1};
    g.model.setEntireImageReferenceArray(references);
    const auto before = g.frameOf(1, 0);
    g.handleDrag(false, {{300, 50}, {330, 50}});
    f = g.frameOf(1, 0);
    EXPECT_NEAR(f[2], before[2] + 30, 1e-9);
    EXPECT_NEAR(f[3], before[3], 1e-9);

    // The camera picture keeps 16:9.
    g.model.displayVideo();
    g.handleDrag(false, {{300, 50}, {250, 90}});
    const auto v = g.model.getVideoOriginSizeArray();
    EXPECT_NEAR(v[2] / v[3], 16.0 / 9.0, 1e-9);
    expectModelInvariants();
}

TEST(GestureResize, TheMinimumScalesWithThePreviewAndTheLockRefusesWhole) {
    for (const double scale : {1.0, 2.0}) {
        gestureScene g(qrn::Rect(0, 0, 556 * scale, 313 * scale));
        g.scene.addLayer(1, {100, 100, 100, 100});
        g.model.layerHitTestAtPoint({150, 150});
        unlock(g, 1.0);
        // Narrower than the minimum: the width stops at it with the left edge in place, the
        // height is taken.
        g.handleDrag(false, {{200, 200}, {100 + 9 * scale, 180}});
        auto f = g.frameOf(1, 0);
        EXPECT_NEAR(f[0], 100, 1e-9) << scale;
        EXPECT_NEAR(f[2], 10 * scale, 1e-9) << scale;
        EXPECT_NEAR(f[3], 80, 1e-9) << scale;
        g.handleDrag(false, {{100 + 10 * scale, 180}, {100 + 10.5 * scale, 200}});
        EXPECT_NEAR(g.frameOf(1, 0)[2], 10.5 * scale, 1e-9) << scale;

        // Under the lock the whole resize is refused.
        auto locks = g.model.getLayerResizeWithAspectRatioArray();
        locks[1][0] = {1.0, 10.5 * scale / 100};
        g.model.setLayerResizeWithAspectRatioArray(locks);
        const auto before = g.frameOf(1, 0);
        for (const double y : {200.0, 200 - 100 + 5 * scale}) {
            const auto at = g.window({100 + 10.5 * scale, y});
            g.model.resizeOrRotateLayer(false, std::nullopt, false, std::nullopt, false, false, false, true,
                                        at.x, at.y, false, false);
            g.model.setResizeButtonSelected(false);
            expectFrame(g.frameOf(1, 0), before);
        }
        g.model.setResizeButtonSelected(true);
    }
}

TEST(GestureResize, AQuickStepPastTheMinimumStopsThereAndTheCornerWaitsForTheMouse) {
    gestureScene g;
    pressResizeHandle(g);
    // Moves 0.03 s apart, as a quick hand makes them.
    const auto move = [&](qrn::Point to, bool last = false) {
        resizeEvent(g, to);
        if (last) {
            g.model.setRotateButtonSelected(0);
            g.model.setResizeButtonSelected(true);
        }
        qrn::MainQueue::advance(last ? 0.2 : 0.03);
    };
    move({300, 150});
    move({351, 101});
    expectFrame(g.frameOf(1, 0), {100, 50, 251, 51});
    // 51 to the right and 49 down would leave 2 points of height: it stops at the minimum, the
    // bottom edge in place, and the corner is as close to the mouse as it can be.
    move({402, 52});
    expectFrame(g.frameOf(1, 0), {100, 50, 302, 10});
    // Further down changes nothing; back up, the corner moves once the mouse has reached it.
    move({453, 30});
    expectFrame(g.frameOf(1, 0), {100, 50, 353, 10});
    move({453, 55});
    expectFrame(g.frameOf(1, 0), {100, 50, 353, 10});
    move({453, 70}, true);
    expectFrame(g.frameOf(1, 0), {100, 50, 353, 20});
    // The settle step leaves the layer where it was shown.
    expectFrame(g.frameOf(1, 0), {100, 50, 353, 20});
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 1u);
}

TEST(GestureResize, TheCropWindowStaysInsideThePictureAndAboveItsMinimum) {
    gestureScene g;
    g.model.displayVideo();
    g.model.setVideoCropState(true);
    g.model.setVideoCropSizeAndOrigin({50, 50}, {40, 10});
    const auto video = g.model.getVideoOriginSizeArray();
    const double w = video[2], h = video[3];
    // Wider by 20 % would pass 100 from x 40; higher by 20 % is taken.
    g.handleDrag(false, {{300, 150}, {300 + 0.2 * w, 150 + 0.2 * h}});
    auto size = g.model.getVideoCropSizeAndOrigin().first;
    EXPECT_NEAR(size.width, 50, 1e-9);
    EXPECT_NEAR(size.height, 70, 1e-9);
    // Down to 30 points of the picture or less is refused.
    const double tooSmall = 30.0 / w * 100;
    g.handleDrag(false, {{300, 150}, {300 - (50 - tooSmall) / 100 * w, 150}});
    EXPECT_NEAR(g.model.getVideoCropSizeAndOrigin().first.width, 50, 1e-9);
    const auto& undo = undoRedoClass::getUndoList();
    ASSERT_GE(undo.size(), 1u);
    EXPECT_EQ(undo.back().actionType, "cropVideoSize");
    EXPECT_EQ(g.model.getVideoOriginSizeArray(), video);
    g.model.setVideoCropState(false);
}

TEST(GestureResize, APauseRecordsAnEntryAndACorrectionNeverWrites) {
    gestureScene g;
    pressResizeHandle(g);
    resizeEvent(g, {300, 50});
    resizeEvent(g, {320, 50});
    const auto at = g.window({320, 50});
    qrn::MainQueue::advance(0.11);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 1u);
    // The release where the pause was: nothing more to record.
    g.model.resizeOrRotateLayer(false, std::nullopt, true, std::nullopt, true, false, false, true, at.x, at.y,
                                false, false);
    g.model.setResizeButtonSelected(true);
    g.model.setRotateButtonSelected(0);
    qrn::MainQueue::advance(0.11);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 1u);

    qrn::MainQueue::advance(1);
    const int writes = persistentDataStorageClass().getExportGeneration();
    auto frames = g.model.getLayerOriginSizeArray();
    frames[1][0] = {100, 50, 150, 60};
    g.model.setLayerOriginSizeArray(frames);
    g.model.resizeCorrectionForSingleLayer(std::nullopt, layerAssetIndexAndVideoSelectedArray{false, 1, 0},
                                           false);
    qrn::MainQueue::advance(1);
    EXPECT_EQ(persistentDataStorageClass().getExportGeneration(), writes);
    const auto drawn = g.scene.layerView(g.model.getLayerArray()[1][0])->layer()->frame();
    EXPECT_NEAR(drawn.size.width, 150, 1e-9);
    EXPECT_NEAR(drawn.size.height, 60, 1e-9);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 1u);
}

TEST(GestureResize, TheCornerAcrossFromTheHandleStaysPutWhereverThePressLands) {
    for (const bool locked : {false, true})
        for (const double r : {0.0, 0.4}) {
            gestureScene g;
            g.scene.addLayer(1, {244.5, 50, 199.5, 133}, r);
            g.model.layerHitTestAtPoint({344, 116});
            auto locks = g.model.getLayerResizeWithAspectRatioArray();
            locks[1][0] = {locked ? 1.0 : 0.0, 199.5 / 133};
            g.model.setLayerResizeWithAspectRatioArray(locks);
            const auto corners = [&] {
                const auto f = g.frameOf(1, 0);
                const qrn::Point c{f[0] + f[2] / 2, f[1] + f[3] / 2};
                const double cs = std::cos(r), sn = std::sin(r), hw = f[2] / 2, hh = f[3] / 2;
                return std::pair{qrn::Point{c.x - cs * hw + sn * hh, c.y - sn * hw - cs * hh},
                                 qrn::Point{c.x + cs * hw - sn * hh, c.y + sn * hw + cs * hh}};
            };
            const qrn::Point kept = corners().first;
            // Six drags, each pressed a little off the corner as a hand presses the handle,
            // smaller and larger, fast and with a pause on the way.
            for (int drag = 0; drag < 6; ++drag) {
                const qrn::Point at = corners().second;
                const qrn::Point press{at.x + 1 - drag % 3, at.y - 1 + drag % 2};
                const double step = drag % 2 ? 20 : -20;
                g.handleDrag(false,
                             {press, {press.x + step / 2, press.y + step / 4}, {press.x + step, press.y}});
                const auto [corner, handle] = corners();
                EXPECT_NEAR(corner.x, kept.x, 1e-9) << locked << " " << r << " " << drag;
                EXPECT_NEAR(corner.y, kept.y, 1e-9) << locked << " " << r << " " << drag;
                const auto f = g.frameOf(1, 0);
                if (locked)
                    EXPECT_NEAR(f[2] / f[3], 199.5 / 133, 1e-9);
            }
            EXPECT_EQ(undoRedoClass::getUndoList().size(), 6u);
            expectModelInvariants();
        }
}

TEST(GestureResize, UnderTheLockADragSidewaysOrUpAndDownResizesToo) {
    gestureScene g;
    g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.layerHitTestAtPoint({200, 100});
    auto locks = g.model.getLayerResizeWithAspectRatioArray();
    locks[1][0] = {1.0, 2.0};
    g.model.setLayerResizeWithAspectRatioArray(locks);
    // To the right: wider, and higher to keep the ratio; then straight down: smaller.
    g.handleDrag(false, {{300, 150}, {340, 150}});
    expectFrame(g.frameOf(1, 0), {100, 50, 240, 120});
    g.handleDrag(false, {{340, 170}, {340, 110}});
    expectFrame(g.frameOf(1, 0), {100, 50, 120, 60});

    // The camera picture keeps 16:9 and its corner across from the handle.
    g.model.displayVideo();
    const auto before = g.model.getVideoOriginSizeArray();
    g.handleDrag(false, {{before[0] + before[2], before[1] + before[3]},
                         {before[0] + before[2] - 32, before[1] + before[3]}});
    const auto after = g.model.getVideoOriginSizeArray();
    EXPECT_NEAR(after[2], before[2] - 32, 1e-9);
    EXPECT_NEAR(after[2] / after[3], 16.0 / 9.0, 1e-9);
    EXPECT_NEAR(after[0], before[0], 1e-9);
    EXPECT_NEAR(after[1], before[1], 1e-9);
}
