#pragma once
// Puts a capture device's buffers on the capture clock. Every device keeps time of its own: a
// microphone by the samples it delivers, a camera driver by the timestamps it gives its
// buffers, a generated test source by its media time. We only see a buffer when the reading
// thread gets to it, which on a busy machine can be a good while after it was captured, and a
// backlog is then read in one burst. Stamping buffers with their arrival would squeeze a burst
// into an instant (sound overlapping itself, pictures piling up) and leave a hole before it.
//
// The mapping keeps the device's own spacing and anchors it to the earliest arrivals seen: a
// burst keeps its spacing, and a device clock that runs a little fast is pulled back at once.
// Time the device really lost (an overrun that threw samples away, a source that could not keep
// up, a clock that runs slow) shows as every buffer of a whole window arriving late; the anchor
// then moves on by that much, leaving a gap where the time went missing.
#include <deque>
#include <optional>

namespace qrn::media {

class DeviceClockMapping {
  public:
    // `window`: seconds of arrivals over which every buffer must come in late, by more than
    // `lostAfter` seconds, before the device is taken to have lost that time.
    explicit DeviceClockMapping(double window = 1.0, double lostAfter = 0.1)
        : window_(window), lostAfter_(lostAfter) {}

    // The capture-clock time of a buffer that starts at `deviceTime` on the device's clock and
    // would have started at `arrival` on the capture clock judging by when it came in (the
    // arrival time less the buffer's length). A device time that runs backwards or leaps ahead
    // by more than `maxJump` seconds starts the mapping over.
    double map(double deviceTime, double arrival);
    // The capture-clock time of a device time, as the mapping stands; the arrival time until
    // the first buffer.
    std::optional<double> toCapture(double deviceTime) const;
    void reset();

    static constexpr double maxJump = 5.0;

  private:
    struct Sample {
        double arrival, lateness; // lateness: arrival - deviceTime
    };
    double window_, lostAfter_;
    std::optional<double> offset_; // capture time - device time
    std::optional<double> last_;   // device time of the latest buffer
    double windowStart_ = 0;       // arrival from which the window has been watched
    std::deque<Sample> minima_;    // ascending lateness: the window's minimum in front
};

} // namespace qrn::media
