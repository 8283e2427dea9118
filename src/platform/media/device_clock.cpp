#include "platform/media/device_clock.h"

namespace qrn::media {

void DeviceClockMapping::reset() {
    offset_.reset();
    last_.reset();
    minima_.clear();
}

std::optional<double> DeviceClockMapping::toCapture(double deviceTime) const {
    if (!offset_)
        return std::nullopt;
    return deviceTime + *offset_;
}

double DeviceClockMapping::map(double deviceTime, double arrival) {
    if (last_ && (deviceTime < *last_ || deviceTime - *last_ > maxJump))
        reset();
    last_ = deviceTime;
    double lateness = arrival - deviceTime;
    if (!offset_ || lateness < *offset_) {
        // The first buffer, or one that came in earlier than the anchor allows: the device's
        // clock is a little ahead of ours, or the earlier buffers were already late.
        offset_ = lateness;
        minima_.clear();
        windowStart_ = arrival;
    }
    while (!minima_.empty() && minima_.back().lateness >= lateness)
        minima_.pop_back();
    minima_.push_back({arrival, lateness});
    while (minima_.front().arrival < arrival - window_)
        minima_.pop_front();
    // Late by more than the allowance all through a full window: the time is gone for good.
    // (Watched by arrival, so that a source that falls ever further behind is caught up with
    // within a window, however few buffers it manages meanwhile.)
    if (arrival - windowStart_ >= window_ && minima_.front().lateness - *offset_ > lostAfter_) {
        offset_ = minima_.front().lateness;
        minima_.clear();
        minima_.push_back({arrival, lateness});
        windowStart_ = arrival;
    }
    return deviceTime + *offset_;
}

} // namespace qrn::media
