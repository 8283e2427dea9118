#include <gtest/gtest.h>

#include <numbers>

#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "platform/ui/event.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"
#include "preview_fixture.h"
#include "support/geometry_expect.h"

using namespace previewtest;
using qrn::test::expectNear;

TEST(PreviewHitPaths, CornersOfAFrameTurnAboutItsCentre) {
    previewLayerViewPathCreationClass creation;
    const qrn::Rect frame(0, 0, 100, 50);
    const auto upright = creation.allSquarePoints(frame, 0);
    expectNear(upright[0], {0, 0});
    expectNear(upright[1], {100, 0});
    expectNear(upright[2], {100, 50});
    expectNear(upright[3], {0, 50});
    const auto turned = creation.allSquarePoints(frame, std::numbers::pi / 2);
    expectNear(turned[0], {75, -25});
    expectNear(turned[1], {75, 75});
    expectNear(turned[2], {25, 75});
    expectNear(turned[3], {25, -25});
}

TEST(PreviewHitTest, ATurnedLayerIsHitByItsTurnedOutline) {
    previewScene scene;
    scene.addAsset();
    const auto id = scene.addLayer(1, {200, 100, 100, 50}, std::numbers::pi / 2);
    previewLayerClass model;
    // Above the upright frame, inside the turned one (x 225...275, y 75...175).
    model.layerHitTestAtPoint({252, 173});
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(id));
    model.noLayerSelected();
    // Inside the upright frame, outside the turned one.
    model.layerHitTestAtPoint({205, 105});
    EXPECT_EQ(model.getSelectedLayer(), std::nullopt);
}

TEST(PreviewHitTest, TheUpperLayerWinsAndTheStickyAssetIsOnlyPickedWhenShown) {
    previewScene scene;
    scene.addAsset();
    const auto sticky = scene.addLayer(0, {0, 0, 50, 50});
    const auto lower = scene.addLayer(1, {100, 100, 100, 100});
    const auto upper = scene.addLayer(1, {150, 150, 100, 100}, 0, placement::above);
    previewLayerClass model;
    model.layerHitTestAtPoint({175, 175});
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(upper));
    model.layerHitTestAtPoint({120, 120});
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(lower));
    // Asset "2" is shown: the sticky layer is not picked.
    model.layerHitTestAtPoint({10, 10});
    EXPECT_EQ(model.getSelectedLayer(), std::nullopt);
    scene.selectAssetAt(0);
    model.layerHitTestAtPoint({10, 10});
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(sticky));
}

TEST(PreviewHitTest, AHiddenCameraLetsTheClickThrough) {
    previewScene scene;
    scene.addAsset();
    const auto below = scene.addLayer(1, {100, 100, 100, 100});
    previewLayerClass model;
    model.getVideoLayerView()->setHidden(false);
    model.layerHitTestAtPoint({150, 150});
    EXPECT_TRUE(model.getVideoLayerSelected());
    model.noLayerSelected();
    model.getVideoLayerView()->setHidden(true);
    model.layerHitTestAtPoint({150, 150});
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(below));
}

TEST(PreviewHitTest, AWindowClickIsConvertedIntoThePreview) {
    previewScene scene;
    scene.addAsset();
    const auto id = scene.addLayer(1, {100, 100, 20, 20});
    auto window = qrn::ui::Window::make(qrn::Rect(0, 0, 800, 600));
    auto content = qrn::ui::View::make(qrn::Rect(0, 0, 800, 600));
    window->setContentView(content);
    content->addSubview(scene.parent);
    previewLayerClass model;
    model.layerHitTest(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {10 + 110, 164 + 110}));
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(id));
    model.layerHitTest(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {110, 110}));
    EXPECT_EQ(model.getSelectedLayer(), std::nullopt);
    content->removeFromSuperview();
    scene.parent->removeFromSuperview();
    window->close();
}

TEST(PreviewSelection, SelectingPlacesAndTurnsTheOverlayAndAReclickOnlyPreparesADrag) {
    previewScene scene;
    auto overlay = scene.addOverlay();
    scene.addAsset();
    const auto id = scene.addLayer(1, {100, 50, 200, 100}, 0.5);
    previewLayerClass model;
    model.layerSelected(scene.layerView(id));
    EXPECT_EQ(overlay->frame(), qrn::Rect(94, 44, 212, 112));
    EXPECT_NEAR(overlay->frameCenterRotation(), 0.5 * 360 / 6.283185307179586, 1e-9);
    EXPECT_FALSE(overlay->subviews()[2]->isHidden());
    EXPECT_TRUE(model.getDraggingLayer());

    model.setDraggingLayer(false);
    model.rotateLayer(*overlay, 0);
    overlay->setFrame(qrn::Rect(1, 2, 3, 4));
    model.layerSelected(scene.layerView(id));
    EXPECT_EQ(overlay->frame(), qrn::Rect(1, 2, 3, 4));
    EXPECT_TRUE(model.getDraggingLayer());

    // A press on a handle works the selection: it only records the handle.
    model.setResizeOrRotateButtonSelected(-2);
    model.layerSelected(nullptr);
    EXPECT_EQ(model.getRotateButtonSelected(), -2);
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(id));
    model.setResizeOrRotateButtonSelected(0);
    model.layerSelected(nullptr);
    EXPECT_EQ(model.getSelectedLayer(), std::nullopt);
    EXPECT_TRUE(overlay->isHidden());
}

TEST(PreviewOverlay, PlacesAroundLayersAndTheCropWindowInItsColours) {
    previewScene scene;
    auto overlay = scene.addOverlay();
    scene.addAsset();
    scene.addLayer(1, {100, 50, 200, 100});
    previewLayerClass model;
    model.positionAndResizeOverlay(layerAssetIndexAndVideoSelectedArray{false, 1, 0}, true);
    EXPECT_EQ(overlay->frame(), qrn::Rect(94, 44, 212, 112));
    overlay->setFrame(qrn::Rect(0, 0, 36, 36));
    model.positionAndResizeOverlay(layerAssetIndexAndVideoSelectedArray{false, 1, 0}, false);
    EXPECT_EQ(overlay->frame(), qrn::Rect(0, 0, 212, 112));

    model.setVideoOriginSizeArray({0, 0, 556, 313});
    model.setVideoCropSizeAndOrigin({50, 50}, {10, 20});
    model.setVideoCropState(true);
    model.setVideoLayerSelected(true);
    model.cropOverlay(true);
    const auto f = overlay->frame();
    EXPECT_NEAR(f.origin.x, 49.6, 1e-9);
    EXPECT_NEAR(f.origin.y, 56.6, 1e-9);
    EXPECT_NEAR(f.size.width, 290, 1e-9);
    EXPECT_NEAR(f.size.height, 168.5, 1e-9);
    EXPECT_EQ(overlay->subviews()[0]->layer()->borderColour(), (qrn::Colour{0.0, 0.6196, 0.8863, 1.0}));
    EXPECT_FALSE(scene.drop->viewWithTag(-4)->superview()->isHidden());
    model.setVideoCropState(false);
    model.cropOverlay(false);
    // The camera picture fills the preview: its overlay is kept inside, handles and all.
    EXPECT_EQ(overlay->frame(), qrn::Rect(0, 0, 556, 313));
    EXPECT_EQ(overlay->subviews()[0]->layer()->borderColour(), (qrn::Colour{1.0, 0.7647, 0.0, 0.8}));
    EXPECT_TRUE(scene.drop->viewWithTag(-4)->superview()->isHidden());
    model.setVideoCropSizeAndOrigin({100, 100}, {0, 0});
}

TEST(PreviewOverlay, OriginalsSavedInALargerPreviewAreConvertedToThisOne) {
    previewScene scene;
    scene.addAsset();
    scene.addLayer(1, {100, 50, 200, 100});
    previewLayerClass model;
    // As a project saved at 1112 x 626 holds them.
    auto originals = model.getLayerOriginalPosSize();
    originals[1][0] = {200, 100, 400, 200};
    model.setLayerOriginalPosSize(originals);
    // Without the saved rectangle (the project failed to load) nothing changes.
    model.setMainPreviewViewArrayFromImport(std::nullopt);
    model.convertLayerOriginalPosSizeArrayToPreviewViewBounds();
    EXPECT_EQ(model.getLayerOriginalPosSize(), originals);
    model.setMainPreviewViewArrayFromImport(std::vector<double>{0, 0, 0, 626});
    model.convertLayerOriginalPosSizeArrayToPreviewViewBounds();
    EXPECT_EQ(model.getLayerOriginalPosSize(), originals);
    model.setMainPreviewViewArrayFromImport(std::vector<double>{0, 0, 1112, 626});
    model.convertLayerOriginalPosSizeArrayToPreviewViewBounds();
    EXPECT_EQ(model.getLayerOriginalPosSize()[1][0], (std::vector<double>{100, 50, 200, 100}));
    model.setMainPreviewViewArrayFromImport(std::nullopt);
}

TEST(PreviewPaths, RebuildsInPlaceInsertsAfterASourceAndAppendsNewOnes) {
    previewScene scene;
    scene.addAsset();
    const auto a = scene.addLayer(1, {0, 0, 10, 10});
    const auto b = scene.addLayer(1, {20, 0, 10, 10});
    // Inserted between them (the fixture checks every path row against LAYER_ARRAY).
    const auto c = scene.addLayer(1, {40, 0, 10, 10}, 0, placement::above);
    const auto d = scene.addLayer(1, {60, 0, 10, 10});
    previewLayerClass model;
    EXPECT_EQ(model.getLayerArray()[1], (std::vector<std::string>{a, b, d, c}));
    for (int l = 0; l < 4; ++l)
        model.createOrUpdateLayerPath(layerAssetIndexAndVideoSelectedArray{false, 1, l}, false, 0, true);
    const auto paths = previewLayerViewPathCreationClass().getPathsArray();
    ASSERT_EQ(paths[1].size(), 4u);
    EXPECT_EQ(paths[1][2].view, scene.layerView(d));
    EXPECT_TRUE(paths[1][2].path.contains({65, 5}));
    expectModelInvariants();
    // The one-pass rebuild gives the same table.
    previewLayerViewPathCreationClass().setPathsArray({});
    model.rebuildAllLayerPaths();
    expectModelInvariants();
    EXPECT_TRUE(previewLayerViewPathCreationClass().getPathsArray()[1][2].path.contains({65, 5}));

    // With the camera selected only its path changes.
    model.setVideoOriginSizeArray({1, 2, 3, 4});
    model.setVideoLayerSelected(true);
    model.createOrUpdateLayerPath(std::nullopt, false, 0, true);
    EXPECT_EQ(model.getVideoLayerPath()->boundingBox(), qrn::Rect(1, 2, 3, 4));
    EXPECT_EQ(previewLayerViewPathCreationClass().getPathsArray()[1].size(), 4u);
}
