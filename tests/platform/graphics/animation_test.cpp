// Keyframe opacity: cuts, repeats, holding and the media-zero timeline.
#include <gtest/gtest.h>

#include "platform/graphics/animation.h"
#include "platform/graphics/layer.h"

using namespace qrn::graphics;

namespace {

constexpr double eps = 1e-11;

// The second of four frames of a half-second loop: opaque during [0.25, 0.5) of each cycle.
KeyframeAnimation secondOfFourFrames(bool asFloats) {
    KeyframeAnimation a;
    a.values = {0, 0, 1, 1, 0};
    a.keyTimes = {0, 0.25 - eps, 0.25, 0.5 - eps, 0.5};
    if (asFloats)
        for (auto& k : a.keyTimes)
            k = double(float(k));
    a.duration = 0.5;
    a.repeatCount = KeyframeAnimation::repeatForever;
    return a;
}

} // namespace

TEST(KeyframeOpacity, CutsAtSlotBoundaries) {
    for (bool asFloats : {false, true}) {
        SCOPED_TRACE(asFloats ? "float key times" : "double key times");
        auto a = secondOfFourFrames(asFloats);
        EXPECT_DOUBLE_EQ(*a.valueAt(0.0), 0);
        EXPECT_DOUBLE_EQ(*a.valueAt(0.1), 0);
        EXPECT_DOUBLE_EQ(*a.valueAt(0.125), 1); // exactly at the cut
        EXPECT_DOUBLE_EQ(*a.valueAt(0.2), 1);
        EXPECT_DOUBLE_EQ(*a.valueAt(0.25), 0);
        EXPECT_DOUBLE_EQ(*a.valueAt(0.4), 0);
    }
    // Between t - 1e-11 and t the double version ramps (over a negligible span).
    auto a = secondOfFourFrames(false);
    EXPECT_DOUBLE_EQ(*a.valueAtFraction(0.25 - 2 * eps), 0);
    double mid = *a.valueAtFraction(0.25 - eps / 2);
    EXPECT_GT(mid, 0.4);
    EXPECT_LT(mid, 0.6);
}

TEST(KeyframeOpacity, RepeatsForEverAndHoldsAfterASingleRun) {
    auto a = secondOfFourFrames(false);
    EXPECT_DOUBLE_EQ(*a.valueAt(100.0 + 0.15), 1);
    EXPECT_DOUBLE_EQ(*a.valueAt(100.0 + 0.3), 0);
    EXPECT_TRUE(a.isActiveAfter(1e6));

    KeyframeAnimation once;
    once.values = {0, 1};
    once.duration = 2;
    EXPECT_DOUBLE_EQ(*once.valueAt(1), 0.5);
    EXPECT_DOUBLE_EQ(*once.valueAt(5), 1); // kept after completion
    EXPECT_FALSE(once.isActiveAfter(5));
    once.removedOnCompletion = true;
    EXPECT_FALSE(once.valueAt(5).has_value());

    KeyframeAnimation twice = once;
    twice.repeatCount = 2;
    EXPECT_DOUBLE_EQ(*twice.valueAt(3), 0.5);
}

TEST(KeyframeOpacity, FirstAndLastFrameShapes) {
    KeyframeAnimation first;
    first.values = {1, 1, 0};
    first.keyTimes = {0, 0.25 - eps, 0.25};
    first.duration = 0.5;
    first.repeatCount = KeyframeAnimation::repeatForever;
    EXPECT_DOUBLE_EQ(*first.valueAt(0), 1);
    EXPECT_DOUBLE_EQ(*first.valueAt(0.12), 1);
    EXPECT_DOUBLE_EQ(*first.valueAt(0.3), 0);
    EXPECT_DOUBLE_EQ(*first.valueAt(0.5), 1); // the next cycle starts opaque

    KeyframeAnimation last;
    last.values = {0, 0, 1};
    last.keyTimes = {0, 0.75 - eps, 0.75};
    last.duration = 0.5;
    last.repeatCount = KeyframeAnimation::repeatForever;
    EXPECT_DOUBLE_EQ(*last.valueAt(0.3), 0);
    EXPECT_DOUBLE_EQ(*last.valueAt(0.375), 1);
    EXPECT_DOUBLE_EQ(*last.valueAt(0.49), 1);

    // One frame alone: opaque for the whole cycle.
    KeyframeAnimation single;
    single.values = {1, 1, 0};
    single.keyTimes = {0, 1 - eps, 1};
    single.duration = 0.5;
    single.repeatCount = KeyframeAnimation::repeatForever;
    for (double t : {0.0, 0.1, 0.25, 0.4999, 0.5, 0.77})
        EXPECT_DOUBLE_EQ(*single.valueAt(t), 1) << t;
}

TEST(KeyframeOpacity, MediaZeroIsTheTimelineStartWhenEverTheAnimationIsAdded) {
    auto layer = Layer::make();
    layer->setOpacity(0.7);
    layer->addAnimation(secondOfFourFrames(false), "opacity");
    // The timeline is absolute: 10.15 s falls in the opaque slot of the 21st cycle.
    EXPECT_DOUBLE_EQ(layer->presentationOpacity(10.15), 1);
    EXPECT_DOUBLE_EQ(layer->presentationOpacity(10.3), 0);

    KeyframeAnimation late = secondOfFourFrames(false);
    late.beginTime = 2;
    layer->addAnimation(late, "opacity");
    EXPECT_DOUBLE_EQ(layer->presentationOpacity(1), 0.7); // not started: the model value shows
    EXPECT_DOUBLE_EQ(layer->presentationOpacity(2.15), 1);
}

TEST(KeyframeOpacity, EvenlySpacedWithoutKeyTimes) {
    KeyframeAnimation a;
    a.values = {0, 1, 0};
    a.duration = 4;
    EXPECT_DOUBLE_EQ(*a.valueAt(1), 0.5);
    EXPECT_DOUBLE_EQ(*a.valueAt(2), 1);
    EXPECT_DOUBLE_EQ(*a.valueAt(3), 0.5);
}
