#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "platform/graphics/gradient_layer.h"
#include "platform/graphics/renderer.h"

using namespace qrn;
using namespace qrn::graphics;

TEST(GradientLayer, RunsFromTheStartPointToTheEndPointInTheUnitSquareWithYUp) {
    auto layer = GradientLayer::make();
    layer->setFrame(Rect(0, 0, 100, 100));
    layer->setColours({Colour{0, 0, 1, 1}, Colour{0, 0, 0, 0}});
    // (0, 1) is the top-left corner; past the end point the last colour holds.
    layer->setStartPoint({0, 1});
    layer->setEndPoint({0.3, 0.3});
    const QImage image = Renderer().snapshot(*layer, 0, 1.0);
    ASSERT_EQ(image.width(), 100);
    const QColor topLeft = image.pixelColor(1, 1), bottomRight = image.pixelColor(98, 98);
    EXPECT_GT(topLeft.blue(), 240);
    EXPECT_GT(topLeft.alpha(), 240);
    EXPECT_EQ(bottomRight.alpha(), 0);
    // Halfway along the axis the colours are mixed.
    const QColor middle = image.pixelColor(15, 50);
    EXPECT_GT(middle.alpha(), 20);
    EXPECT_LT(middle.alpha(), 235);

    // With one colour the layer is filled with it.
    layer->setColours({Colour{1, 0, 0, 1}});
    const QImage flat = Renderer().snapshot(*layer, 0, 1.0);
    EXPECT_EQ(flat.pixelColor(50, 50), QColor(255, 0, 0));
}
