// Stepping through the assets while recording and the strip that shows what comes next.
#include <gtest/gtest.h>

#include "Controller/Global/captureSessionClass.h"
#include "app/layers/layers_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"
#include "take_fixture.h"

using namespace taketest;

namespace {

// Countdown, then the stand-in recording (the test session has no camera and microphone).
void startTake(studioByHand& s) {
    recordViewClass().recordButtonPressed();
    qrn::MainQueue::advance(4.5);
    ASSERT_TRUE(captureSessionClass().getStartedRecording());
    ASSERT_TRUE(recordViewClass().getRecordingStartDate());
    (void)s;
}

std::vector<bool> cardsShown(const studioByHand& s) {
    std::vector<bool> out;
    for (int n = 1; n <= 8; ++n)
        out.push_back(s.card(n) && !s.card(n)->isHidden());
    return out;
}

} // namespace

TEST(TakeStripStudioByHand, NumbersAndCardsForTwoFourAndThirteenAssets) {
    {
        studioByHand s(1); // ASSET_ARRAY count 2
        s.open();
        EXPECT_TRUE(s.views.nextAssetPreview->isHidden());
        EXPECT_EQ(s.views.nextAssetNumberOne->string(), "0");
        EXPECT_EQ(s.views.nextAssetNumberTwo->string(), "/  0");
        EXPECT_EQ(cardsShown(s), std::vector<bool>(8, false));
    }
    {
        studioByHand s(3); // count 4
        s.open();
        EXPECT_FALSE(s.views.nextAssetPreview->isHidden());
        EXPECT_EQ(s.views.nextAssetNumberOne->string(), "2");
        EXPECT_EQ(s.views.nextAssetNumberTwo->string(), "/  3");
        EXPECT_EQ(cardsShown(s), (std::vector<bool>{true, false, false, false, false, false, false, false}));
        // Card n: 5n further along both axes, 10n narrower, from the middle of the parent.
        for (int n = 1; n <= 8; ++n) {
            auto f = s.card(n)->frame();
            EXPECT_EQ(f.origin.x, 200 - 120 + 5 * n);
            EXPECT_EQ(f.origin.y, 47 + 5 * n);
            EXPECT_EQ(f.size.width, 240 - 10 * n);
            EXPECT_EQ(f.size.height, 135);
            EXPECT_EQ(s.card(n)->layer()->zPosition(), 1.0);
        }
        EXPECT_EQ(s.views.nextAssetPreview->layer()->zPosition(), 3.0);
        // A second opening does not pile up a second set of cards.
        s.open();
        EXPECT_EQ(s.views.nextAssetParent->subviews().size(), 1u + 8u);
    }
    {
        studioByHand s(12, false); // count 13
        s.open();
        EXPECT_EQ(s.views.nextAssetNumberTwo->string(), "/  12");
        EXPECT_EQ(cardsShown(s), std::vector<bool>(8, true));
        startTake(s);
        for (int step = 0; step < 4; ++step) {
            recordingAt(step + 1.0);
            recordViewClass().selectNextAsset();
        }
        // Asset 5 on show, 6 next; the cards are counted before the step moves the index on.
        EXPECT_EQ(s.views.nextAssetNumberOne->string(), "6");
        EXPECT_EQ(cardsShown(s), (std::vector<bool>{true, true, true, true, true, true, false, false}));
    }
}

TEST(TakeStripStudioByHand, TheNextSlideIsDrawnInsideItsCard) {
    studioByHand s(3);
    // Slide 2's thumbnail reaches 60 points past the card's right edge.
    auto thumbnail = qrn::ui::View::make(qrn::Rect(200, 40, 100, 50));
    thumbnail->layer()->setBackgroundColour(qrn::Colour{0, 1, 0, 1});
    s.views.assetPreviewLayers[2] = {thumbnail};
    s.sync();
    s.open();
    const QImage shot = qrn::graphics::Renderer().snapshot(*s.views.nextAssetParent->layer(), 0);
    const auto card = s.views.nextAssetPreview->frame();
    // Image rows run down from the parent's top.
    const auto green = [&](double x, double y) {
        return shot.pixel(int(x), shot.height() - 1 - int(y)) == 0xff00ff00u;
    };
    const double y = card.minY() + 65;
    EXPECT_TRUE(green(card.maxX() - 10, y)) << "the thumbnail is not in the card";
    EXPECT_FALSE(green(card.maxX() + 10, y)) << "the thumbnail spills past the card";
}

TEST(TakeStepsStudioByHand, ClicksOutsideARecordingOrPastTheLastAssetDoNothing) {
    studioByHand s(3);
    s.open();
    recordViewClass r;
    r.selectNextAsset(); // before recording
    recordViewClass().recordButtonPressed();
    qrn::MainQueue::advance(2.0);
    r.selectNextAsset(); // in the countdown
    EXPECT_EQ(r.getAssetTimingArray(), std::vector<double>{0.0});
    EXPECT_EQ(r.getNextAssetIndex(), 2);
    EXPECT_FALSE(s.holder(s.layerIds[1])->isHidden());

    qrn::MainQueue::advance(2.5);
    // The stand-in take has no movie output running and still steps.
    ASSERT_TRUE(captureSessionClass().getStartedRecording());
    recordingAt(2.0);
    r.selectNextAsset();
    recordingAt(4.0);
    r.selectNextAsset();
    recordingAt(5.0);
    r.selectNextAsset(); // past the last asset
    auto timing = r.getAssetTimingArray();
    ASSERT_EQ(timing.size(), 3u);
    EXPECT_NEAR(timing[1], 2.0, 0.05);
    EXPECT_NEAR(timing[2], 4.0, 0.05);
    // Asset 3 on show: its container and layer; the others' hidden; the sticky layers stay.
    EXPECT_TRUE(s.holder(s.layerIds[1])->isHidden());
    EXPECT_TRUE(s.holder(s.layerIds[2])->isHidden());
    EXPECT_FALSE(s.holder(s.layerIds[3])->isHidden());
    EXPECT_FALSE(s.container(s.views.assets[3])->isHidden());
    EXPECT_TRUE(s.container(s.views.assets[2])->isHidden());
    EXPECT_EQ(s.views.nextAssetNumberOne->string(), "3");
    EXPECT_TRUE(s.views.nextAssetPreview->isHidden());

    // The stop appends the whole length.
    recordingAt(6.0);
    recordViewClass().recordButtonPressed();
    // (The stand-in's composition and export run on; the studio's clean-up cancels them.)
}

TEST(TakeStepsStudioByHand, StickyLayersNeverHideAndNoViewsAreMade) {
    studioByHand s(3);
    const auto sticky = s.scene.addLayer(0, qrn::Rect(20, 20, 50, 50), 0, previewtest::placement::above);
    s.views.layers = previewLayerClass().getLayerArray();
    s.sync();
    s.open();
    startTake(s);
    auto countViews = [&] {
        std::function<int(const qrn::ui::View&)> count = [&](const qrn::ui::View& v) {
            int n = 1;
            for (auto& c : v.subviews())
                n += count(*c);
            return n;
        };
        return count(*s.views.recordingView);
    };
    const int before = countViews();
    recordingAt(1.0);
    recordViewClass().selectNextAsset();
    recordingAt(2.0);
    recordViewClass().selectNextAsset();
    EXPECT_FALSE(s.holder(sticky)->isHidden());
    EXPECT_EQ(countViews(), before);
}
