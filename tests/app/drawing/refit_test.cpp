// Refitting the preview: a text layer and an animated symbol draw at the new size, as image
// layers do, measured by the pixels they draw.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "app/layers/layers_support.h"
#include "app/preview/preview_fixture.h"
#include "drawing_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

namespace {

// What the preview draws, one point per pixel (its ground is black).
QImage drawnPreview(previewtest::previewScene& scene) {
    scene.drop->displayIfNeeded();
    qrn::graphics::Renderer renderer;
    return renderer.snapshot(*scene.drop->layer(), qrn::MainQueue::now());
}

// The pixels a layer draws inside its stored frame (grown by a point for antialiasing), in
// preview points.
QRect drawnBy(const QImage& preview, const std::string& id) {
    const auto f = layerstest::frameOf(id);
    const QRect frame(int(f[0]) - 1, preview.height() - int(f[1] + f[3]) - 1, int(f[2]) + 3, int(f[3]) + 3);
    return drawingtest::inkExtent(preview, drawingtest::notBlack, frame);
}

void refit(previewtest::previewScene& scene, qrn::Size size) {
    scene.parent->setFrameSize(size);
    scene.drop->setFrame(qrn::Rect({0, 0}, size));
    previewLayerClass model;
    resizeAndPositionLayersClass().resizeAndPositionLayers(scene.drop, model.getAssetArray(),
                                                           model.getLayerArray(), qrn::Rect({0, 0}, size));
}

} // namespace

TEST(Refit, TextAndAnimatedLayersDrawAtTheirNewSizeLikePictures) {
    previewtest::previewScene scene;
    scene.addAsset();
    const auto text = layerstest::dropText(1, {150, 150});
    const auto animated = layerstest::dropAnimated(1, {80, 80}, {400, 150});
    const auto picture = layerstest::dropImage(1, {60, 40}, {300, 60});
    // The deferred placements of the new layers.
    qrn::MainQueue::advance(1.5);

    const QImage before = drawnPreview(scene);
    if (const char* dir = std::getenv("QRN_SHOT_DIR"))
        before.save(QString(dir) + "/refit_before.png");
    const QRect textBefore = drawnBy(before, text), animatedBefore = drawnBy(before, animated),
                pictureBefore = drawnBy(before, picture);
    // The default text shows whole on one line inside its box.
    EXPECT_GT(textBefore.width(), 85);
    EXPECT_LT(textBefore.width(), 122);
    EXPECT_NEAR(animatedBefore.width(), 80, 2);

    refit(scene, {1112, 626});
    const QImage after = drawnPreview(scene);
    const QRect textAfter = drawnBy(after, text), animatedAfter = drawnBy(after, animated),
                pictureAfter = drawnBy(after, picture);
    EXPECT_NEAR(double(pictureAfter.width()) / pictureBefore.width(), 2.0, 0.06);
    EXPECT_NEAR(double(textAfter.width()) / textBefore.width(), 2.0, 0.06);
    EXPECT_NEAR(double(textAfter.height()) / textBefore.height(), 2.0, 0.12);
    EXPECT_NEAR(double(animatedAfter.width()) / animatedBefore.width(), 2.0, 0.06);
    EXPECT_NEAR(double(animatedAfter.height()) / animatedBefore.height(), 2.0, 0.06);
    // Drawn sharp at its new size, not stretched from the small one.
    auto textView = std::dynamic_pointer_cast<qrn::ui::TextView>(scene.layerView(text)->subviews().back());
    ASSERT_TRUE(textView);
    EXPECT_GE(textView->layer()->contents().width(), int(textView->frame().size.width));

    // Back to the start size: the layers are as they were.
    refit(scene, {556, 313});
    const QImage again = drawnPreview(scene);
    EXPECT_NEAR(drawnBy(again, text).width(), textBefore.width(), 2);
    EXPECT_NEAR(drawnBy(again, animated).width(), animatedBefore.width(), 2);
}

TEST(Refit, ALayerWhoseViewIsAwayFollowsTheRefitsItMisses) {
    previewtest::previewScene scene;
    scene.addAsset();
    const auto picture = layerstest::dropImage(1, {60, 40}, {300, 60});
    qrn::MainQueue::advance(1.5);
    const auto start = layerstest::frameOf(picture);
    // The preview doubles while the layer's view is out of it, and shrinks back once it returns.
    const auto view = scene.layerView(picture);
    const auto holder = view->superview();
    view->removeFromSuperview();
    refit(scene, {1112, 626});
    holder->addSubview(view);
    refit(scene, {556, 313});
    const auto end = layerstest::frameOf(picture);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(end[i], start[i], 0.5) << "value " << i << " of the stored frame";
}
