// Scrolling, jumps, holds, speed and the gating of play and pause, on a script 600 points high
// (ten lines at 50.67 points, shown at 51) at the window's first width.
#include "autocue_fixture.h"

#include <cmath>

#include "Controller/Global/svgButtonClass.h"
#include "View/Recording/autocueButtonHoldClass.h"
#include "View/Recording/autocueDisplayView.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/slider.h"

using namespace autocuetest;

namespace {

constexpr double lineSize = 38.0 * 4 / 3;

class AutocueScrollingWindowOpenedByHand : public AutocueTest {
  protected:
    void SetUp() override {
        AutocueTest::SetUp();
        setScripts({script(10, lineSize), script(3, lineSize)});
        open();
        ASSERT_DOUBLE_EQ(autocueDisplayClass().getTextHeight(), 600);
    }
    void press(const std::shared_ptr<svgButtonClass>& button, bool down) {
        auto e =
            qrn::ui::Event::mouse(down ? qrn::ui::EventType::MouseDown : qrn::ui::EventType::MouseUp, {});
        if (down)
            button->mouseDown(e);
        else
            button->mouseUp(e);
    }
    void typeSpeed(const std::string& text) {
        auto field = window().inputAnimationSpeedSlider();
        field->setStringValue(text);
        field->sendAction();
    }
};

} // namespace

TEST_F(AutocueScrollingWindowOpenedByHand, PlayRunsTheWholeTextAtTheSetSpeed) {
    EXPECT_DOUBLE_EQ(top(), 234);
    EXPECT_TRUE(highlighted(window().buttonPauseAnimation()));
    window().playAnimation();
    EXPECT_TRUE(playing());
    EXPECT_TRUE(highlighted(window().buttonPlayAnimation()));
    EXPECT_FALSE(highlighted(window().buttonPauseAnimation()));
    advance(27.8);
    EXPECT_NEAR(top(), -193, 1);
    advance(27.7);
    EXPECT_TRUE(playing());
    advance(0.2);
    EXPECT_DOUBLE_EQ(top(), -620);
    EXPECT_FALSE(playing());
    EXPECT_TRUE(highlighted(window().buttonPauseAnimation()));
    EXPECT_FALSE(highlighted(window().buttonPlayAnimation()));
}

TEST_F(AutocueScrollingWindowOpenedByHand, HoldsRunAtFourTimesTheSpeed) {
    press(window().buttonForwardAnimation(), true);
    advance(13.8);
    EXPECT_GT(top(), -620);
    advance(0.2);
    EXPECT_DOUBLE_EQ(top(), -620);
    press(window().buttonForwardAnimation(), false);
    EXPECT_FALSE(playing());

    press(window().buttonRewindAnimation(), true);
    advance(14.1);
    EXPECT_LT(top(), 234);
    advance(0.2);
    EXPECT_DOUBLE_EQ(top(), 234);
    press(window().buttonRewindAnimation(), false);
    EXPECT_FALSE(playing());
    EXPECT_FALSE(autocueDisplayClass().getActionInProgress());
}

TEST_F(AutocueScrollingWindowOpenedByHand, RewindAtTheStartOnlyMovesTheHighlight) {
    auto rewind = window().buttonRewindAnimation();
    window().playAnimation();
    press(rewind, true);
    EXPECT_DOUBLE_EQ(top(), 234);
    EXPECT_TRUE(highlighted(window().buttonPauseAnimation()));
    EXPECT_FALSE(highlighted(window().buttonPlayAnimation()));
    advance(1);
    EXPECT_DOUBLE_EQ(top(), 234);
    // It was playing: the release goes on playing.
    press(rewind, false);
    advance(1);
    EXPECT_TRUE(playing());
    EXPECT_LT(top(), 234);

    // Stopped at the start: the release leaves it stopped.
    window().pauseAnimation();
    window().beginningAnimation();
    advance(0.35);
    ASSERT_FALSE(playing());
    press(rewind, true);
    press(rewind, false);
    advance(1);
    EXPECT_FALSE(playing());
    EXPECT_DOUBLE_EQ(top(), 234);
}

TEST_F(AutocueScrollingWindowOpenedByHand, SpeedIsRoundedToATenthWithinZeroToAHundred) {
    typeSpeed("100.04");
    EXPECT_DOUBLE_EQ(autocueDisplayClass().getAnimationSpeed(), 100.0);
    EXPECT_DOUBLE_EQ(window().sliderAnimationSpeed()->doubleValue(), 100.0);
    typeSpeed("-3");
    EXPECT_DOUBLE_EQ(autocueDisplayClass().getAnimationSpeed(), 0);
    EXPECT_DOUBLE_EQ(window().inputAnimationSpeedSlider()->doubleValue(), 0);
    typeSpeed("12.345");
    EXPECT_DOUBLE_EQ(autocueDisplayClass().getAnimationSpeed(), 12.3);
    window().sliderAnimationSpeed()->setDoubleValue(40.06);
    window().sliderAnimationSpeed()->sendAction();
    EXPECT_DOUBLE_EQ(window().inputAnimationSpeedSlider()->doubleValue(), 40.1);
    // A slip of the keyboard keeps the speed and shows it again.
    typeSpeed("4o");
    EXPECT_DOUBLE_EQ(autocueDisplayClass().getAnimationSpeed(), 40.1);
    EXPECT_EQ(window().inputAnimationSpeedSlider()->stringValue(), "40.1");
}

TEST_F(AutocueScrollingWindowOpenedByHand, AtSpeedZeroTheTextWaitsUntilTheSpeedIsRaised) {
    typeSpeed("0");
    window().playAnimation();
    advance(5);
    EXPECT_DOUBLE_EQ(top(), 234);
    EXPECT_TRUE(playing());
    // Holds do nothing at all.
    press(window().buttonForwardAnimation(), true);
    EXPECT_FALSE(autocueDisplayClass().getActionInProgress());
    press(window().buttonForwardAnimation(), false);
    press(window().buttonRewindAnimation(), true);
    EXPECT_FALSE(autocueDisplayClass().getActionInProgress());
    advance(1);
    EXPECT_DOUBLE_EQ(top(), 234);

    typeSpeed("15");
    advance(27.8);
    EXPECT_NEAR(top(), -193, 1);
}

TEST_F(AutocueScrollingWindowOpenedByHand, ASpeedChangeGoesOnFromTheCurrentPlace) {
    window().playAnimation();
    advance(10);
    const double here = top();
    typeSpeed("30");
    EXPECT_NEAR(top(), here, 1e-9);
    EXPECT_TRUE(playing());
    // The rest of the way, (c + h) / speed, at the new speed.
    const double rest = (here + 600) / 30;
    advance(rest - 0.1);
    EXPECT_GT(top(), -620);
    advance(0.2);
    EXPECT_DOUBLE_EQ(top(), -620);

    // While stopped it only stores the speed.
    window().beginningAnimation();
    advance(0.35);
    typeSpeed("20");
    advance(2);
    EXPECT_DOUBLE_EQ(top(), 234);
    EXPECT_FALSE(playing());
}

TEST_F(AutocueScrollingWindowOpenedByHand, PlayAndPauseAreRefusedOutOfTurn) {
    // Pause while stopped.
    window().pauseAnimation();
    EXPECT_FALSE(playing());
    EXPECT_TRUE(highlighted(window().buttonPauseAnimation()));

    // Play while scrolling does not restart the scroll.
    window().playAnimation();
    advance(5);
    const double here = top();
    window().playAnimation();
    advance(1);
    EXPECT_NEAR(top(), here - 854.0 / 55.6, 0.1);

    // During the end jump.
    window().endAnimation();
    window().playAnimation();
    advance(0.35);
    EXPECT_DOUBLE_EQ(top(), -620);
    EXPECT_FALSE(playing());
    window().playAnimation();
    EXPECT_TRUE(playing());

    // During a hold.
    window().beginningAnimation();
    advance(0.35);
    window().pauseAnimation();
    press(window().buttonForwardAnimation(), true);
    window().pauseAnimation();
    advance(1);
    EXPECT_TRUE(playing());
    EXPECT_LT(top(), 234);
    press(window().buttonForwardAnimation(), false);

    // Just after a text change: it is playing, and pause waits for the change to finish.
    autocueDisplayClass().newAutocueText(1, false);
    window().pauseAnimation();
    advance(0.05);
    window().pauseAnimation();
    advance(0.1);
    EXPECT_TRUE(playing());
    EXPECT_LT(top(), 234);
}

TEST_F(AutocueScrollingWindowOpenedByHand, ASupersededCompletionLeavesFlagsAndIconsAlone) {
    window().playAnimation();
    advance(10);
    // Slower: the first scroll would have ended at 55.6 s.
    typeSpeed("7.5");
    advance(50);
    EXPECT_TRUE(playing());
    EXPECT_TRUE(highlighted(window().buttonPlayAnimation()));
    EXPECT_FALSE(highlighted(window().buttonPauseAnimation()));
}

TEST_F(AutocueScrollingWindowOpenedByHand, AResetRightAfterBeginningLeavesTheTextAtItsStart) {
    window().playAnimation();
    advance(5);
    window().beginningAnimation();
    advance(0.1);
    autocueDisplayClass().newAutocueText(0, true);
    advance(2);
    EXPECT_DOUBLE_EQ(top(), 234);
    EXPECT_FALSE(playing());
    EXPECT_FALSE(autocueDisplayClass().getActionInProgress());

    // Beginning alone while playing resumes from the start after the jump.
    window().playAnimation();
    advance(5);
    window().beginningAnimation();
    advance(0.35);
    EXPECT_TRUE(playing());
    EXPECT_NEAR(top(), 234 - 0.05 * 854 / 55.6, 0.3);
}

namespace {

class AutocuePlacementWindowOpenedByHand : public AutocueTest {};

} // namespace

// As it scrolls the text stands on whole pixels, its top edge within half a pixel of where the
// distance puts it, so its picture is shown one to one and redrawn only when it has moved.
TEST_F(AutocuePlacementWindowOpenedByHand, TheTextScrollsOnWholePixels) {
    setScripts({script(7, 17.3), script(2)});
    open();
    const double height = autocueDisplayClass().getTextHeight();
    auto field = window().textField();
    auto text = std::dynamic_pointer_cast<qrn::ui::View>(field->documentView());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->frame().height(), std::ceil(height));
    EXPECT_EQ(field->frame().height(), std::ceil(height));

    auto area = window().parentContainer();
    const double areaHeight = area->bounds().size.height;
    int placements = 0;
    area->setTextPlacedObserver([&](double placedTop) {
        ++placements;
        const qrn::Rect f = field->frame();
        EXPECT_EQ(f.origin.y, std::round(f.origin.y));
        EXPECT_NEAR(f.maxY(), areaHeight - placedTop, 0.5);
    });
    window().playAnimation();
    advance(2);
    EXPECT_GT(placements, 100);
    area->setTextPlacedObserver({});
    // The end of the scroll is reckoned from the exact height.
    advance(200);
    EXPECT_DOUBLE_EQ(top(), -20 - height);
    EXPECT_DOUBLE_EQ(autocueDisplayClass().getTextHeight(), height);
}
