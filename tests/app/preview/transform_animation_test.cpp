#include <gtest/gtest.h>

#include <QImage>

#include <cmath>

#include "Controller/Global/animatedImagesClass.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/view.h"
#include "preview_fixture.h"

using namespace previewtest;

TEST(PreviewTransforms, FlipsNegateTheirColumnsOnTopOfTheTurn) {
    previewScene scene;
    scene.addAsset();
    const auto id = scene.addLayer(1, {100, 50, 200, 100});
    previewLayerClass model;
    const layerAssetIndexAndVideoSelectedArray address{false, 1, 0};
    auto flips = model.getLayerIsFlippedArray();
    flips[1][0] = {true, false};
    model.setLayerIsFlippedArray(flips);
    EXPECT_TRUE(model.checkIfLayerIsFlipped(true, address));
    EXPECT_FALSE(model.checkIfLayerIsFlipped(false, address));
    const auto layer = scene.layerView(id)->layer();
    layer->setTransform({});
    model.mirrorLayerCheck(address, nullptr);
    EXPECT_EQ(layer->transform(), (qrn::AffineTransform{1, 0, 0, -1, 0, 0}));

    // Both flags on a turned layer: a half-turn of the picture.
    flips[1][0] = {true, true};
    model.setLayerIsFlippedArray(flips);
    const auto turn = qrn::AffineTransform::rotation(0.4);
    layer->setTransform(turn);
    model.mirrorLayerCheck(address, nullptr);
    EXPECT_TRUE(layer->transform().approxEquals({-turn.a, -turn.b, -turn.c, -turn.d, 0, 0}));
    // Nothing named: nothing changes.
    model.mirrorLayerCheck(layerAssetIndexAndVideoSelectedArray{false, 1, qrn::Value()}, nullptr);
    EXPECT_TRUE(layer->transform().approxEquals({-turn.a, -turn.b, -turn.c, -turn.d, 0, 0}));

    auto view = qrn::ui::View::make(qrn::Rect(0, 0, 10, 10));
    model.rotateLayer(*view, std::numbers::pi / 2);
    EXPECT_NEAR(view->frameCenterRotation(), 90, 1e-9);
}

TEST(PreviewAnimation, FramesTakeTurnsFromTheMediaOrigin) {
    std::vector<qrn::ImageHandle> frames;
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (const auto& colour : colours) {
        QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
        image.fill(colour);
        frames.push_back(std::make_shared<const QImage>(image));
    }
    auto view = animatedImages().createAnimatedImage(nullptr, 0.5, frames, {0, 0}, {20, 20}, true, true);
    ASSERT_EQ(view->subviews().size(), 4u);
    const auto* second = view->subviews()[1]->layer()->animation("opacity");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->values, (std::vector<double>{0, 0, 1, 1, 0}));
    EXPECT_EQ(second->keyTimes, (std::vector<double>{0, 0.25, 0.25, 0.5, 0.5}));
    EXPECT_EQ(view->subviews()[3]->layer()->animation("opacity")->keyTimes,
              (std::vector<double>{0, 0.75, 0.75}));

    const QImage picture = qrn::graphics::Renderer().renderToImage(*view->layer(), {20, 20}, 0.13);
    EXPECT_EQ(picture.pixelColor(10, 10), QColor(Qt::green));
    const QImage later = qrn::graphics::Renderer().renderToImage(*view->layer(), {20, 20}, 0.5 + 0.4);
    EXPECT_EQ(later.pixelColor(10, 10), QColor(Qt::yellow));

    // A single frame shows for the whole cycle; without animating only the first shows.
    auto single =
        animatedImages().createAnimatedImage(nullptr, 0.5, {frames[0]}, {0, 0}, {20, 20}, true, true);
    EXPECT_EQ(qrn::graphics::Renderer().renderToImage(*single->layer(), {20, 20}, 0.49).pixelColor(10, 10),
              QColor(Qt::red));
    auto still = animatedImages().createAnimatedImage(nullptr, 0.5, frames, {0, 0}, {20, 20}, false, true);
    EXPECT_EQ(qrn::graphics::Renderer().renderToImage(*still->layer(), {20, 20}, 0.3).pixelColor(10, 10),
              QColor(Qt::red));
    // With a parent the frame comes from it.
    auto parent = qrn::ui::View::make(qrn::Rect(5, 5, 40, 30));
    auto framed = animatedImages().createAnimatedImage(parent, 0.5, frames, {100, 100}, {20, 20}, true, true);
    EXPECT_EQ(framed->frame(), qrn::Rect(0, 0, 40, 30));
}
