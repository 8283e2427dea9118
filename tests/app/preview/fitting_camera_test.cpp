#include <gtest/gtest.h>

#include <cmath>

#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Global/viewSizingClass.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/view.h"
#include "preview_fixture.h"

using namespace previewtest;

namespace {

void expectSize(qrn::Size actual, double w, double h) {
    EXPECT_NEAR(actual.width, w, 0.005);
    EXPECT_NEAR(actual.height, h, 0.005);
}

void expectRect(const std::vector<double>& actual, qrn::Rect r) {
    ASSERT_GE(actual.size(), 4u);
    EXPECT_NEAR(actual[0], r.origin.x, 1e-9);
    EXPECT_NEAR(actual[1], r.origin.y, 1e-9);
    EXPECT_NEAR(actual[2], r.size.width, 1e-9);
    EXPECT_NEAR(actual[3], r.size.height, 1e-9);
}

void expectRect(qrn::Rect actual, qrn::Rect r, double eps = 1e-6) {
    expectRect(std::vector<double>{actual.origin.x, actual.origin.y, actual.size.width, actual.size.height},
               r);
    (void)eps;
}

} // namespace

TEST(PreviewFitting, SizesFitByTheirRatioAndTiesAreHeightLimited) {
    viewSizingClass sizing;
    const qrn::Rect square(0, 0, 400, 400);
    expectSize(sizing.resizeToBoundsWithAspectRatio({100, 50}, square, std::nullopt), 400, 200);
    expectSize(sizing.resizeToBoundsWithAspectRatio({100, 400}, square, std::nullopt), 100, 400);
    const qrn::Rect wide(0, 0, 400, 300);
    expectSize(sizing.resizeToBoundsWithAspectRatio({1000, 500}, wide, 16.0 / 9), 400, 200);
    // The given ratio, not the bounds' ratio, decides: the result is wider than the bounds.
    expectSize(sizing.resizeToBoundsWithAspectRatio({1000, 500}, wide, 3.0), 600, 300);
    const qrn::Rect preview(0, 0, 556, 313);
    expectSize(sizing.resizeToBoundsWithAspectRatio({2000, 1000}, preview, 16.0 / 9), 556, 278);
    expectSize(sizing.resizeToBoundsWithAspectRatio({1920, 1080}, preview, 16.0 / 9), 556.44, 313);
}

TEST(PreviewFitting, RefitDoublesEveryRectangleAndOriginalAndSizesTheViews) {
    previewScene scene;
    scene.addAsset();
    scene.addAsset();
    const auto sticky = scene.addLayer(0, {10, 20, 30, 40});
    const auto turned = scene.addLayer(1, {100, 50, 200, 100}, 0.7, placement::above);
    const auto other = scene.addLayer(2, {1, 2, 3, 4});
    resizeAndPositionLayersClass fitting;
    fitting.resizeAndPositionLayers(scene.drop, previewLayerClass().getAssetArray(),
                                    previewLayerClass().getLayerArray(), qrn::Rect(0, 0, 1112, 626));

    previewLayerClass model;
    expectRect(model.getLayerOriginSizeArray()[0][0], {20, 40, 60, 80});
    expectRect(model.getLayerOriginSizeArray()[1][0], {200, 100, 400, 200});
    expectRect(model.getLayerOriginSizeArray()[2][0], {2, 4, 6, 8});
    expectRect(model.getLayerOriginalPosSize()[1][0], {200, 100, 400, 200});
    expectRect(model.getLayerOriginalPosSize()[2][0], {2, 4, 6, 8});
    EXPECT_EQ(fitting.getBounds(), qrn::Rect(0, 0, 1112, 626));
    EXPECT_EQ(scene.layerView(turned)->frame(), qrn::Rect(200, 100, 400, 200));
    EXPECT_NEAR(model.getLayerRotateArray()[1][0], 0.7, 1e-12);
    // Each regular asset's container takes the new size.
    EXPECT_EQ(scene.drop->viewWithTag(3)->superview()->frame().size, (qrn::Size{1112, 626}));
    EXPECT_EQ(scene.drop->viewWithTag(5)->superview()->frame().size, (qrn::Size{1112, 626}));
    // The image inside follows its holder, not the original rectangle.
    EXPECT_EQ(scene.layerView(sticky)->subviews().back()->frame(), qrn::Rect(0, 0, 60, 80));
    (void)other;
    expectModelInvariants();
}

TEST(PreviewFitting, EqualOrEmptyBoundsChangeNoValue) {
    previewScene scene;
    scene.addAsset();
    scene.addLayer(1, {100, 50, 200, 100}, 0.3);
    previewLayerClass model;
    const auto frames = model.getLayerOriginSizeArray();
    const auto originals = model.getLayerOriginalPosSize();
    resizeAndPositionLayersClass fitting;
    const auto assets = model.getAssetArray();
    const auto layers = model.getLayerArray();
    fitting.resizeAndPositionLayers(scene.drop, assets, layers, qrn::Rect(0, 0, 556, 313));
    EXPECT_EQ(model.getLayerOriginSizeArray(), frames);
    for (const auto& empty : {qrn::Rect(0, 0, 0, 313), qrn::Rect(0, 0, 556, 0), qrn::Rect()}) {
        fitting.resizeAndPositionVideo(model.getVideoLayerView(), empty);
        fitting.resizeAndPositionLayers(scene.drop, assets, layers, empty);
        EXPECT_EQ(model.getLayerOriginSizeArray(), frames);
        EXPECT_EQ(model.getLayerOriginalPosSize(), originals);
        EXPECT_EQ(fitting.getBounds(), qrn::Rect(0, 0, 556, 313));
    }
    // Refitting back from an empty preview is no jump either.
    fitting.resizeAndPositionLayers(scene.drop, assets, layers, qrn::Rect(0, 0, 556, 313));
    EXPECT_EQ(model.getLayerOriginSizeArray(), frames);
}

TEST(PreviewFitting, TheCameraIsRefittedFirstAndCoversItsStoredRectangle) {
    previewScene scene;
    previewLayerClass model;
    model.setVideoOriginSizeArray({100, 50, 200, 100});
    model.reloadVideoPreview(false);
    auto camera = model.getVideoLayerView();
    camera->setHidden(false);
    camera->layer()->setBackgroundColour(qrn::Colour{0, 1, 0, 1});
    resizeAndPositionLayersClass fitting;
    fitting.resizeAndPositionVideo(camera, qrn::Rect(0, 0, 1112, 626));
    expectRect(model.getVideoOriginSizeArray(), {200, 100, 400, 200});
    // The camera refit stores nothing: the layer refit after it still sees the old bounds.
    EXPECT_EQ(fitting.getBounds(), qrn::Rect(0, 0, 556, 313));
    expectRect(camera->layer()->frame(), {200, 100, 400, 200});

    scene.parent->setFrame(qrn::Rect(10, 164, 1112, 626));
    scene.drop->setFrame(scene.parent->bounds());
    const QImage picture =
        qrn::graphics::Renderer().renderToImage(*scene.drop->layer(), scene.drop->bounds().size, 0);
    // Inside the stored rectangle it is the camera's; outside it is not (y grows down in images).
    EXPECT_EQ(picture.pixelColor(205, 626 - 105).green(), 255);
    EXPECT_EQ(picture.pixelColor(595, 626 - 295).green(), 255);
    EXPECT_NE(picture.pixelColor(195, 626 - 105).green(), 255);
    EXPECT_NE(picture.pixelColor(605, 626 - 295).green(), 255);
}

TEST(PreviewCamera, CropMovesTheWindowAndKeepsThePictureInPlace) {
    previewLayerClass model;
    auto view = qrn::ui::View::make(qrn::Rect(0, 0, 400, 300));
    auto crop = qrn::graphics::Layer::make(view->layer()->bounds());
    auto picture = qrn::graphics::Layer::make(view->layer()->bounds());
    crop->addSublayer(picture);
    view->layer()->addSublayer(crop);
    model.cropVideo(*view);
    EXPECT_EQ(crop->frame(), qrn::Rect(0, 0, 400, 300));
    EXPECT_EQ(picture->frame(), qrn::Rect(0, 0, 400, 300));
    model.setVideoCropSizeAndOrigin({50, 50}, {10, 20});
    model.cropVideo(*view);
    EXPECT_EQ(crop->frame(), qrn::Rect(40, 60, 200, 150));
    EXPECT_EQ(picture->frame(), qrn::Rect(-40, -60, 400, 300));
    // A view without the crop and picture layers is left alone.
    auto bare = qrn::ui::View::make(qrn::Rect(0, 0, 400, 300));
    model.cropVideo(*bare);
    EXPECT_TRUE(bare->layer()->sublayers().empty());
    model.setVideoCropSizeAndOrigin({100, 100}, {0, 0});
}

TEST(PreviewCamera, ReloadInPlaceKeepsVisibilityFrameAndSlot) {
    previewScene scene;
    scene.addAsset();
    const auto below = scene.addLayer(1, {0, 0, 10, 10});
    const auto above = scene.addLayer(1, {0, 0, 10, 10}, 0, placement::above);
    previewLayerClass model;
    model.setVideoOriginSizeArray({10, 20, 300, 200});
    model.getVideoLayerView()->setHidden(false);
    const auto old = model.getVideoLayerView();
    model.reloadVideoPreview(false);
    const auto camera = model.getVideoLayerView();
    EXPECT_NE(camera, old);
    EXPECT_FALSE(camera->isHidden());
    EXPECT_EQ(camera->frame(), qrn::Rect(10, 20, 300, 200));
    EXPECT_EQ(dropViewOrder(scene.drop),
              (std::vector<std::string>{"3", "-9", "-10", "-11", below, "camera", "-12", "-13", above}));
}

TEST(PreviewCamera, HidingTheSelectedCameraHidesTheOverlayAndClearsTheSelection) {
    previewScene scene;
    auto overlay = scene.addOverlay();
    previewLayerClass model;
    EXPECT_TRUE(model.displayVideo());
    EXPECT_TRUE(model.getVideoLayerSelected());
    EXPECT_FALSE(overlay->isHidden());
    // The camera picture fills the preview: its overlay is kept inside, handles and all.
    EXPECT_EQ(overlay->frame(), qrn::Rect(0, 0, 556, 313));
    EXPECT_TRUE(overlay->subviews()[2]->isHidden());
    EXPECT_FALSE(model.displayVideo());
    EXPECT_FALSE(model.getVideoLayerSelected());
    EXPECT_TRUE(overlay->isHidden());
    EXPECT_TRUE(model.getVideoLayerView()->isHidden());
}
