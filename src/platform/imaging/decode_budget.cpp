#include "platform/imaging/decode_budget.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace qrn::imaging {

namespace {

std::mutex mutex;
std::condition_variable released;
std::size_t held = 0;
std::size_t peak = 0;

} // namespace

DecodeLease::DecodeLease(std::size_t bytes) : bytes_(std::min(bytes, kAllDecodesBytes)) {
    std::unique_lock lock(mutex);
    released.wait(lock, [&] { return held + bytes_ <= kAllDecodesBytes; });
    held += bytes_;
    peak = std::max(peak, held);
}

DecodeLease::~DecodeLease() {
    {
        std::lock_guard lock(mutex);
        held -= bytes_;
    }
    released.notify_all();
}

std::size_t peakLeasedBytes() {
    std::lock_guard lock(mutex);
    return peak;
}

void resetPeakLeasedBytes() {
    std::lock_guard lock(mutex);
    peak = held;
}

} // namespace qrn::imaging
