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
