#include "platform/imaging/decode_budget.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace qrn::imaging {

namespace {

std::mutex mutex;
std::condition_variable released;
std::size_t held = 0;

} // namespace

DecodeLease::DecodeLease(std::size_t bytes) : bytes_(std::min(bytes, kAllDecodesBytes)) {
    std::unique_lock lock(mutex);
    released.wait(lock, [&] { return held + bytes_ <= kAllDecodesBytes; });
    held += bytes_;
}

DecodeLease::~DecodeLease() {
    {
        std::lock_guard lock(mutex);
        held -= bytes_;
    }
    released.notify_all();
}

} // namespace qrn::imaging
