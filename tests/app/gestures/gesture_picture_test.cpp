#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include <numbers>

#include "../preview/preview_fixture.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Model/undoRedoClass.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/view.h"

using namespace previewtest;

// A turned, resized layer drawn with its overlay: the picture covers the turned rectangle the
// model holds, and the overlay turns with it. QRN_PICTURE_DIR keeps the picture for a look.
TEST(GesturePicture, ATurnedResizedLayerIsDrawnWhereTheModelSaysWithItsOverlay) {
    previewScene scene;
    undoRedoClass().clearClass();
    auto overlay = scene.addOverlay();
    scene.addAsset();
    const auto id = scene.addLayer(1, {150, 100, 120, 60});
    previewLayerClass model;
    model.layerHitTestAtPoint({200, 130});
    model.resizeOrRotateLayer(false, std::vector<double>{200, 100, 0}, false, std::nullopt, false, false,
                              false, false, 0, 0, false, false);
    model.resizeOrRotateLayer(true, std::vector<double>{std::numbers::pi / 2}, false, std::nullopt, false,
                              false, false, false, 0, 0, false, false);
    scene.parent->displayIfNeeded();
    const QImage picture = qrn::graphics::Renderer().renderToImage(*scene.drop->layer(), {556, 313}, 0);
    if (const char* dir = std::getenv("QRN_PICTURE_DIR"))
        picture.save(QDir(dir).filePath("turned_layer.png"));
    // Frame (150, 100, 200, 100) turned a quarter: it covers x 200...300 and y 50...250 (y up).
    const auto at = [&](double x, double y) { return picture.pixelColor(int(x), int(313 - y)); };
    const QColor fill = at(250, 150);
    EXPECT_EQ(fill.alpha(), 255);
    EXPECT_EQ(at(250, 230), fill);
    EXPECT_EQ(at(220, 70), fill);
    EXPECT_NE(at(170, 150), fill);
    EXPECT_NE(at(330, 150), fill);
    EXPECT_NEAR(overlay->frameCenterRotation(), 90, 1e-9);
    EXPECT_FALSE(overlay->isHidden());
    (void)id;
    undoRedoClass().clearClass();
}
