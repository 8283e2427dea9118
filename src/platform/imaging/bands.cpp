#include "platform/imaging/bands.h"

#include <algorithm>
#include <sched.h>
#include <system_error>
#include <thread>
#include <vector>

namespace qrn::imaging {

int defaultThreadCount() {
    // The cores this process may run on, which a pinned process has fewer of than the machine.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

void forEachBand(int height, int bands, const std::function<void(int, int)>& fn) {
    if (height <= 0)
        return;
    bands = std::clamp(bands, 1, height);
    if (bands == 1) {
        fn(0, height);
        return;
    }
    std::vector<std::jthread> workers;
    workers.reserve(bands - 1);
    auto bandStart = [&](int i) { return static_cast<int>(static_cast<long long>(height) * i / bands); };
    for (int i = 1; i < bands; ++i) {
        const int b = bandStart(i), e = bandStart(i + 1);
        try {
            workers.emplace_back([&fn, b, e] { fn(b, e); });
        } catch (const std::system_error&) {
            // No thread to be had: this band runs here instead, the frame is still whole.
            fn(b, e);
        }
    }
    fn(0, bandStart(1));
}

Image runInBands(const Image& src, int threads, const RowKernel& kernel) {
    Image out = makeLike(src);
    if (src.isNull())
        return out;
    const ConstImageView s = src.view();
    const ImageView d = out.mutableView();
    forEachBand(src.height(), threads, [&](int b, int e) { kernel(s, d, b, e); });
    return out;
}

} // namespace qrn::imaging
