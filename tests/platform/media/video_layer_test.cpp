#include <gtest/gtest.h>

#include "media_test_support.h"
#include "platform/graphics/renderer.h"
#include "platform/media/video_layer.h"

using namespace qrn;
using namespace qrn::media;
using namespace qrn::media::testing;

TEST(VideoPreviewLayer, ShowsTheCameraAspectFitWithTheLayersFilters) {
    TestSession t(false);
    auto layer = VideoPreviewLayer::make();
    layer->setBounds(Rect(0, 0, 320, 320));
    layer->setContentFilters({std::make_shared<GreenFilter>()});
    int changes = 0;
    layer->setChangeHandler([&](const Rect&) { ++changes; });
    layer->setSession(&t.session);
    EXPECT_EQ(t.session.outputs().size(), 2u);
    ASSERT_TRUE(MainQueue::runUntil([&] { return changes >= 2; }, 10));
    EXPECT_EQ(layer->picture().size(), QSize(1280, 720));
    Rect r = layer->pictureRect();
    EXPECT_NEAR(r.width(), 320, 1e-9);
    EXPECT_NEAR(r.height(), 180, 1e-9);
    EXPECT_NEAR(r.midY(), 160, 1e-9);

    QImage image = graphics::Renderer().snapshot(*layer, 0);
    ASSERT_EQ(image.size(), QSize(320, 320));
    QColor middle = image.pixelColor(160, 160);
    EXPECT_EQ(middle.alpha(), 255);
    EXPECT_EQ(middle.red(), 0);
    EXPECT_EQ(middle.green(), 255);
    EXPECT_EQ(image.pixelColor(160, 20).alpha(), 0);  // above the picture
    EXPECT_EQ(image.pixelColor(160, 300).alpha(), 0); // below it

    // Detaching stops the pictures and takes the output out of the session.
    layer->setSession(nullptr);
    EXPECT_EQ(t.session.outputs().size(), 1u);
    MainQueue::runPending();
    int before = changes;
    pumpFor(0.2);
    EXPECT_EQ(changes, before);
}
