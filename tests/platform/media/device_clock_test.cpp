#include <gtest/gtest.h>

#include "platform/media/device_clock.h"

#include <vector>

using namespace qrn::media;

namespace {
// A microphone delivering 20 ms buffers from capture-clock time 100: buffer k starts at device
// time k * 0.02; `delay(k)` is how late the reading thread gets to it.
template <typename Delay>
std::vector<double> feed(DeviceClockMapping& clock, int buffers, Delay delay, double lost = 0,
                         int lostAt = -1) {
    std::vector<double> times;
    for (int k = 0; k < buffers; ++k) {
        double device = k * 0.02;
        double captured = 100 + device + (k >= lostAt && lostAt >= 0 ? lost : 0);
        times.push_back(clock.map(device, captured + delay(k)));
    }
    return times;
}
} // namespace

TEST(DeviceClockMapping, ABacklogReadInOneBurstKeepsTheDevicesSpacing) {
    DeviceClockMapping clock;
    // Buffers 50 to 59 wait while the reader is held up for 0.2 s, then come in together.
    auto times = feed(clock, 200, [](int k) {
        if (k >= 50 && k < 60)
            return 0.2 - (k - 50) * 0.02;
        return 0.001 * (k % 3); // ordinary jitter
    });
    for (size_t k = 0; k < times.size(); ++k)
        EXPECT_NEAR(times[k], 100 + k * 0.02, 1e-9) << k;
}

TEST(DeviceClockMapping, AnchorsOnTheEarliestArrivalAndFollowsAClockThatRunsFast) {
    DeviceClockMapping clock;
    // The first buffer is read late; the ones after it show when the device really started.
    auto times = feed(clock, 10, [](int k) { return k == 0 ? 0.05 : 0.0; });
    EXPECT_NEAR(times[0], 100.05, 1e-9); // nothing better known yet
    for (int k = 1; k < 10; ++k)
        EXPECT_NEAR(times[size_t(k)], 100 + k * 0.02, 1e-9);

    // A device clock that runs 1% fast: its buffers arrive ever earlier than it says.
    DeviceClockMapping fast;
    for (int k = 0; k < 100; ++k) {
        double device = k * 0.02 * 1.01, captured = 100 + k * 0.02;
        EXPECT_NEAR(fast.map(device, captured), captured, 1e-9);
    }
}

TEST(DeviceClockMapping, TimeTheDeviceLostLeavesAGap) {
    DeviceClockMapping clock(1.0, 0.1);
    // From buffer 100 on the device lost 0.3 s (an overrun): every buffer comes in that much
    // later than the count of its samples says.
    auto times = feed(
        clock, 300, [](int) { return 0.0; }, 0.3, 100);
    for (int k = 0; k < 100; ++k)
        EXPECT_NEAR(times[size_t(k)], 100 + k * 0.02, 1e-9);
    // Within a window the anchor has moved on by the lost time, and stays there.
    for (int k = 160; k < 300; ++k)
        EXPECT_NEAR(times[size_t(k)], 100.3 + k * 0.02, 1e-9) << k;
    for (size_t k = 1; k < times.size(); ++k)
        EXPECT_GT(times[k], times[k - 1]);

    // Lateness below the allowance is jitter, not loss.
    DeviceClockMapping steady(1.0, 0.1);
    auto late = feed(steady, 200, [](int k) { return k == 0 ? 0.0 : 0.08; });
    EXPECT_NEAR(late.back(), 100 + 199 * 0.02, 1e-9);
}

TEST(DeviceClockMapping, ADeviceClockThatRestartsIsAnchoredAfresh) {
    DeviceClockMapping clock;
    EXPECT_FALSE(clock.toCapture(0));
    EXPECT_NEAR(clock.map(10.0, 100.0), 100.0, 1e-9);
    EXPECT_NEAR(*clock.toCapture(10.5), 100.5, 1e-9);
    EXPECT_NEAR(clock.map(10.02, 100.02), 100.02, 1e-9);
    // Backwards, and a leap far ahead: both start over from the arrival.
    EXPECT_NEAR(clock.map(0.0, 101.0), 101.0, 1e-9);
    EXPECT_NEAR(clock.map(0.02, 101.02), 101.02, 1e-9);
    EXPECT_NEAR(clock.map(60.0, 102.0), 102.0, 1e-9);
}
