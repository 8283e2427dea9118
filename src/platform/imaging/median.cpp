#include "platform/imaging/median.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/imaging/bands.h"

namespace qrn::imaging {

namespace {

inline std::uint8_t min8(std::uint8_t a, std::uint8_t b) {
    return a < b ? a : b;
}
inline std::uint8_t max8(std::uint8_t a, std::uint8_t b) {
    return a < b ? b : a;
}
inline std::uint8_t med3(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return max8(min8(a, b), min8(max8(a, b), c));
}

} // namespace

std::size_t medianScratchBytes(int width) {
    // Low, middle and high of each column, with one repeated edge pixel on each side.
    return 3 * (4 * static_cast<std::size_t>(std::max(width, 0)) + 8);
}

// With each column of three sorted into low, middle and high, the median of the nine is the
// median of (largest low, median of the middles, smallest high). All branch-free byte min/max,
// which the compiler turns into 16-byte vector operations.
// Also built for AVX2, chosen when the processor has it: the same operations on twice the
// lanes, so the same bytes come out.
// Nothing written aliases anything read (rows read may be the same row at the edges), which
// lets the compiler vectorise without checking.
__attribute__((target_clones("avx2", "default"))) void median3x3Row(const std::uint8_t* __restrict above,
                                                                    const std::uint8_t* __restrict here,
                                                                    const std::uint8_t* __restrict below,
                                                                    std::uint8_t* __restrict out, int width,
                                                                    std::uint8_t* __restrict scratch) {
    if (width <= 0)
        return;
    const std::size_t lanes = 4 * static_cast<std::size_t>(width);
    const std::size_t padded = lanes + 8;
    std::uint8_t* lo = scratch;
    std::uint8_t* mid = lo + padded;
    std::uint8_t* hi = mid + padded;
    std::uint8_t* l = lo + 4;
    std::uint8_t* m = mid + 4;
    std::uint8_t* h = hi + 4;
    for (std::size_t i = 0; i < lanes; ++i) {
        const std::uint8_t a = above[i], b = here[i], c = below[i];
        const std::uint8_t mn = min8(a, b), mx = max8(a, b);
        l[i] = min8(mn, c);
        h[i] = max8(mx, c);
        m[i] = max8(mn, min8(mx, c));
    }
    for (std::uint8_t* p : {lo, mid, hi}) {
        std::memcpy(p, p + 4, 4);
        std::memcpy(p + lanes + 4, p + lanes, 4);
    }
    for (std::size_t i = 0; i < lanes; ++i) {
        const std::uint8_t low = max8(max8(lo[i], lo[i + 4]), lo[i + 8]);
        const std::uint8_t high = min8(min8(hi[i], hi[i + 4]), hi[i + 8]);
        const std::uint8_t middle = med3(mid[i], mid[i + 4], mid[i + 8]);
        out[i] = med3(low, middle, high);
    }
}

void median3x3(ConstImageView src, ImageView dst, int rowBegin, int rowEnd) {
    const int width = src.width, height = src.height;
    rowBegin = std::max(rowBegin, 0);
    rowEnd = std::min(rowEnd, height);
    if (rowBegin >= rowEnd || width <= 0)
        return;
    std::vector<std::uint8_t> scratch(medianScratchBytes(width));
    for (int y = rowBegin; y < rowEnd; ++y)
        median3x3Row(src.row(std::max(y - 1, 0)), src.row(y), src.row(std::min(y + 1, height - 1)),
                     dst.row(y), width, scratch.data());
}

Image median3x3(const Image& src, int threads) {
    return runInBands(src, threads,
                      [](ConstImageView s, ImageView d, int b, int e) { median3x3(s, d, b, e); });
}

} // namespace qrn::imaging
