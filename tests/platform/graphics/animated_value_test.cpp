// The animated number behind scrolling text: linear from the clock, stopped by a set, and the
// completion only for the animation that is still current.
#include <gtest/gtest.h>

#include <vector>

#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"

using qrn::MainQueue;
using qrn::graphics::AnimatedValue;

namespace {

struct AnimatedValueTest : ::testing::Test {
    void SetUp() override { MainQueue::useManualClock(); }
    void TearDown() override { MainQueue::useManualClock(); }
};

} // namespace

TEST_F(AnimatedValueTest, MovesLinearlyAndReadsBetweenSteps) {
    AnimatedValue v(100);
    std::vector<double> applied;
    v.setOnChange([&](double x) { applied.push_back(x); });
    int done = 0;
    v.animate(-100, 10, [&] { ++done; });
    EXPECT_TRUE(v.isAnimating());
    EXPECT_DOUBLE_EQ(v.target(), -100);
    MainQueue::advance(2.5);
    EXPECT_NEAR(v.value(), 50, 1e-9);
    // Between steps the value still follows the clock.
    MainQueue::advance(0.005);
    EXPECT_NEAR(v.value(), 49.9, 1e-9);
    // Steps come at display rate and each lands on the line.
    EXPECT_NEAR(double(applied.size()), 2.5 * 60, 2);
    MainQueue::advance(7.5);
    EXPECT_DOUBLE_EQ(v.value(), -100);
    EXPECT_DOUBLE_EQ(applied.back(), -100);
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(v.isAnimating());
    MainQueue::advance(1);
    EXPECT_EQ(done, 1);
}

TEST_F(AnimatedValueTest, SettingOrStoppingFreezesAndDropsTheCompletion) {
    AnimatedValue v(0);
    int done = 0;
    v.animate(60, 6, [&] { ++done; });
    MainQueue::advance(3);
    v.stop();
    EXPECT_NEAR(v.value(), 30, 1e-9);
    MainQueue::advance(10);
    EXPECT_NEAR(v.value(), 30, 1e-9);
    EXPECT_EQ(done, 0);

    v.animate(0, 1, [&] { ++done; });
    v.setValue(7);
    MainQueue::advance(2);
    EXPECT_DOUBLE_EQ(v.value(), 7);
    EXPECT_EQ(done, 0);
}

TEST_F(AnimatedValueTest, ANewerAnimationStartsFromWhereTheOldOneStood) {
    AnimatedValue v(0);
    int first = 0, second = 0;
    v.animate(100, 10, [&] { ++first; });
    MainQueue::advance(5);
    v.animate(0, 5, [&] { ++second; });
    MainQueue::advance(2.5);
    EXPECT_NEAR(v.value(), 25, 1e-9);
    MainQueue::advance(10);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST_F(AnimatedValueTest, ZeroDurationSetsAtOnceAndCompletesOnTheQueue) {
    AnimatedValue v(5);
    int done = 0;
    v.animate(9, 0, [&] { ++done; });
    EXPECT_DOUBLE_EQ(v.value(), 9);
    EXPECT_FALSE(v.isAnimating());
    EXPECT_EQ(done, 0);
    MainQueue::runPending();
    EXPECT_EQ(done, 1);

    // Superseded before the queue ran it.
    v.animate(1, -3, [&] { ++done; });
    v.setValue(2);
    MainQueue::runPending();
    EXPECT_EQ(done, 1);
    EXPECT_DOUBLE_EQ(v.value(), 2);
}

TEST_F(AnimatedValueTest, ADestroyedValueStopsStepping) {
    int calls = 0;
    {
        AnimatedValue v(0);
        v.animate(1, 1, [&] { ++calls; });
        v.setOnChange([&](double) { ++calls; });
    }
    MainQueue::advance(2);
    EXPECT_EQ(calls, 0);
}
