#include "platform/imaging/bands.h"

#include <algorithm>

#include "platform/imaging/worker_pool.h"

namespace qrn::imaging {

int defaultThreadCount() {
    return WorkerPool::shared().threadCount();
}

void forEachBand(int height, int bands, const std::function<void(int, int)>& fn) {
    if (height <= 0)
        return;
    bands = std::clamp(bands, 1, height);
    auto bandStart = [&](int i) { return static_cast<int>(static_cast<long long>(height) * i / bands); };
    WorkerPool::shared().forEach(bands, bands, [&](int i) { fn(bandStart(i), bandStart(i + 1)); });
}

RowShares::RowShares(int height, int parts, int chunkRows, int minimumTake)
    : chunk_(std::max(chunkRows, 1)), minimumTake_(std::max(minimumTake, 1)) {
    parts = std::max(parts, 1);
    height = std::max(height, 0);
    shares_.reserve(static_cast<std::size_t>(parts));
    for (int i = 0; i < parts; ++i)
        shares_.push_back({static_cast<int>(static_cast<long long>(height) * i / parts),
                           static_cast<int>(static_cast<long long>(height) * (i + 1) / parts)});
}

bool RowShares::next(int part, int& begin, int& end, bool& fresh) {
    std::lock_guard lock(mutex_);
    Share& own = shares_.at(static_cast<std::size_t>(part));
    fresh = !own.started;
    if (own.next >= own.end) {
        // Take over the lower half of the share with most left.
        Share* most = nullptr;
        for (Share& s : shares_)
            if (!most || s.end - s.next > most->end - most->next)
                most = &s;
        const int left = most->end - most->next;
        if (left < 2 * minimumTake_)
            return false;
        const int middle = most->next + left / 2;
        own = {middle, most->end};
        most->end = middle;
        fresh = true;
    }
    own.started = true;
    begin = own.next;
    end = std::min(own.next + chunk_, own.end);
    own.next = end;
    return true;
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
