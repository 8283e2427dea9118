#include "platform/graphics/picture_sampler.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace qrn::graphics {

namespace {

// Texel coordinates are floats: past this side their fractions get too coarse for 8-bit weights.
constexpr int kMaxSide = 1 << 15;
// A picture squeezed harder than this is well under a pixel: the painter may have it.
constexpr double kMaxInverse = 1e6;
// Width of the column strips a picture is drawn in: a strip's rows of texel pairs stay in the
// nearest cache from one row to the next, while each row's fixed costs are shared by enough
// pixels.
constexpr int kChunk = 256;
// How many rows ahead texels are asked for.
constexpr double kAheadRows = 2;

struct Source {
    const std::uint32_t* pixels;
    int stride; // pixels per row
    int width, height;
};

// Texel coordinates of pixel k of a run: (s0 + k ds, t0 + k dt), texel centres at integers.
struct Run {
    float s0, t0, ds, dt;
    // Texels from one pixel's to those the same pixel a few rows further down will read.
    std::ptrdiff_t ahead = 0;
    // Pixels [inFrom, inTo) read texel pairs wholly inside the picture: nothing to clamp.
    int inFrom = 0, inTo = 0;
    // The coordinates in 16.16 fixed point, where the whole run fits (`fixed`): they then step
    // by exact integer sums, and both row paths take texels and weights from their bits.
    bool fixed = false;
    std::int32_t fixedS0 = 0, fixedT0 = 0, fixedDs = 0, fixedDt = 0;
};

// The columns x of a row whose texel coordinate base + x step (step's reciprocal given too)
// stays within [0, size - 1), with room to spare for the rounding of the rows' float sums.
std::pair<double, double> unclampedColumns(double base, double step, double reciprocal, int size) {
    constexpr double spare = 0.125;
    const double lo = spare, hi = size - 1 - spare;
    if (hi < lo)
        return {0, 0};
    if (step == 0)
        return base < lo || base > hi ? std::pair{0.0, 0.0} : std::pair{-1e9, 1e9};
    const double a = (lo - base) * reciprocal, b = (hi - base) * reciprocal;
    return {std::min(a, b), std::max(a, b)};
}

// Texel weights are in 64ths on each axis: small enough for the AVX2 rows to weigh a column's two
// texels with byte multiplies and the row's two columns with 16-bit ones, all channels at once.
constexpr int kWeightOne = 64;

// A pixel's coverage (0..255) as a factor out of 256, so that full coverage keeps every level.
inline std::uint32_t coverageFactor(std::uint32_t a) {
    return a + (a >> 7);
}

// Every channel times a / 255, rounded: u = x a + 128, then (u + u / 256) / 256, which is what
// one 16-bit multiply by 257 keeping the high half gives the AVX2 rows.
inline std::uint32_t byteMul(std::uint32_t x, std::uint32_t a) {
    std::uint32_t rb = (x & 0xff00ff) * a + 0x800080;
    rb = ((rb + ((rb >> 8) & 0xff00ff)) >> 8) & 0xff00ff;
    std::uint32_t ag = ((x >> 8) & 0xff00ff) * a + 0x800080;
    ag = (ag + ((ag >> 8) & 0xff00ff)) & 0xff00ff00;
    return rb | ag;
}

// Byte-wise sum that stops at 255: a picture that is not properly premultiplied must not carry
// from one channel into the next.
inline std::uint32_t addSaturated(std::uint32_t x, std::uint32_t y) {
    std::uint32_t rb = (x & 0xff00ff) + (y & 0xff00ff);
    rb = (rb | (0x1000100 - ((rb >> 8) & 0x10001))) & 0xff00ff;
    std::uint32_t ag = ((x >> 8) & 0xff00ff) + ((y >> 8) & 0xff00ff);
    ag = (ag | (0x1000100 - ((ag >> 8) & 0x10001))) & 0xff00ff;
    return rb | (ag << 8);
}

// The pair for whole texel x0 with `weight` toward the second: before the picture, the first
// texel alone; past its last pair, the last texel alone.
inline void clampPair(int x0, int size, int& first, std::uint32_t& weight) {
    if (x0 < 0) {
        first = 0;
        weight = 0;
    } else if (x0 > size - 2) {
        first = std::max(size - 2, 0);
        weight = size > 1 ? kWeightOne : 0;
    } else {
        first = x0;
    }
}

// The first of the two texels on an axis and the weight of the second. Past the picture's edge
// the edge texel repeats: the pair is kept inside and the weight moved to the end that counts,
// so the AVX2 rows can fetch both texels of a pair at once. Pictures one texel wide or high
// keep the pair on that texel, which then has no neighbour: only the portable rows draw them.
inline void texelPair(float s, int size, int& first, std::uint32_t& weight) {
    s = std::min(std::max(s, -1.0f), float(size));
    // floor(), without a library call on processors before SSE4.1
    int x0 = int(s);
    x0 -= float(x0) > s;
    const float fs = float(x0);
    weight = std::uint32_t((s - fs) * float(kWeightOne));
    clampPair(x0, size, first, weight);
}

// texelPair for a 16.16 fixed-point coordinate.
inline void texelPairFixed(std::int32_t s, int size, int& first, std::uint32_t& weight) {
    const int x0 = s >> 16;
    weight = std::uint32_t(s >> 10) & (kWeightOne - 1);
    clampPair(x0, size, first, weight);
}

// The bilinear sample at (s, t) times the coverage factor (out of 256). Each channel: the column
// pairs weighed first (at most 255 * 64), then the two columns with the factor folded into their
// weights (at most 64 * 256 together), then one rounding shift; the AVX2 rows do the same sums.
inline std::uint32_t sampleAt(const Source& src, int x, std::uint32_t wx, int y, std::uint32_t wy,
                              std::uint32_t factor) {
    const int x1 = std::min(x + 1, src.width - 1), y1 = std::min(y + 1, src.height - 1);
    const std::uint32_t* rowA = src.pixels + qsizetype(y) * src.stride;
    const std::uint32_t* rowB = src.pixels + qsizetype(y1) * src.stride;
    const std::uint32_t tl = rowA[x], tr = rowA[x1], bl = rowB[x], br = rowB[x1];
    const std::uint32_t h0 = (kWeightOne - wx) * factor, h1 = wx * factor, v0 = kWeightOne - wy;
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t left = ((tl >> shift) & 0xff) * v0 + ((bl >> shift) & 0xff) * wy;
        const std::uint32_t right = ((tr >> shift) & 0xff) * v0 + ((br >> shift) & 0xff) * wy;
        out |= ((left * h0 + right * h1 + (1u << 19)) >> 20) << shift;
    }
    return out;
}

void blendPortable(std::uint32_t* dst, int from, int to, const Source& src, const Run& run,
                   const std::uint8_t* alpha) {
    for (int k = from; k < to; ++k) {
        const std::uint32_t a = alpha[k];
        if (a == 0)
            continue;
        int x, y;
        std::uint32_t wx, wy;
        if (run.fixed) {
            texelPairFixed(run.fixedS0 + k * run.fixedDs, src.width, x, wx);
            texelPairFixed(run.fixedT0 + k * run.fixedDt, src.height, y, wy);
        } else {
            const float kf = float(k);
            texelPair(run.s0 + kf * run.ds, src.width, x, wx);
            texelPair(run.t0 + kf * run.dt, src.height, y, wy);
        }
        const std::uint32_t p = sampleAt(src, x, wx, y, wy, coverageFactor(a));
        dst[k] = addSaturated(p, byteMul(dst[k], 255 - (p >> 24)));
    }
}

// `a` holds the factor in both 16-bit halves of each pixel; `half` is 128 and `by257` 257 in every
// 16-bit lane.
__attribute__((target("avx2"))) inline __m256i byteMul8(__m256i x, __m256i a, __m256i low, __m256i half,
                                                        __m256i by257) {
    const __m256i rb =
        _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(x, low), a), half), by257);
    const __m256i ag =
        _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(x, 8), a), half), by257);
    return _mm256_or_si256(rb, _mm256_slli_epi16(ag, 8));
}

__attribute__((target("avx2"))) inline __m256i bothHalves(__m256i v) {
    return _mm256_or_si256(v, _mm256_slli_epi32(v, 16));
}

// Clamps a run of texel coordinates as texelPair does.
__attribute__((target("avx2"))) inline void texelPairs8(__m256 s, int size, __m256i& first, __m256i& weight) {
    s = _mm256_min_ps(_mm256_max_ps(s, _mm256_set1_ps(-1.0f)), _mm256_set1_ps(float(size)));
    const __m256 fs = _mm256_floor_ps(s);
    const __m256i x0 = _mm256_cvttps_epi32(fs);
    const __m256i w =
        _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(s, fs), _mm256_set1_ps(float(kWeightOne))));
    const __m256i last = _mm256_set1_epi32(size - 2);
    const __m256i before = _mm256_cmpgt_epi32(_mm256_setzero_si256(), x0),
                  after = _mm256_cmpgt_epi32(x0, last);
    first = _mm256_min_epi32(_mm256_max_epi32(x0, _mm256_setzero_si256()), last);
    weight = _mm256_blendv_epi8(_mm256_andnot_si256(before, w), _mm256_set1_epi32(kWeightOne), after);
}

// texelPairs8 for 16.16 fixed-point coordinates.
__attribute__((target("avx2"))) inline void texelPairsFixed8(__m256i s, int size, __m256i& first,
                                                             __m256i& weight) {
    const __m256i x0 = _mm256_srai_epi32(s, 16);
    const __m256i w = _mm256_and_si256(_mm256_srli_epi32(s, 10), _mm256_set1_epi32(kWeightOne - 1));
    const __m256i last = _mm256_set1_epi32(size - 2);
    const __m256i before = _mm256_cmpgt_epi32(_mm256_setzero_si256(), x0),
                  after = _mm256_cmpgt_epi32(x0, last);
    first = _mm256_min_epi32(_mm256_max_epi32(x0, _mm256_setzero_si256()), last);
    weight = _mm256_blendv_epi8(_mm256_andnot_si256(before, w), _mm256_set1_epi32(kWeightOne), after);
}

// Pixels m and m + 4 in one register, each a 128-bit half holding its four texels; every channel's
// four are weighed down to one 32-bit sum: the column pairs by byte multiplies, then the two
// columns, then the rounding shift of sampleAt.
__attribute__((target("avx2"))) inline __m256i weigh(__m256i texels, __m256i byChannel, __m256i columnWeights,
                                                     __m256i rowWeights) {
    const __m256i columns = _mm256_maddubs_epi16(_mm256_shuffle_epi8(texels, byChannel), columnWeights);
    return _mm256_srli_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(columns, rowWeights), _mm256_set1_epi32(1 << 19)), 20);
}

// What the groups of eight pixels of a run share.
struct Eights {
    __m256 s0, t0, ds, dt;
    __m256i stride, one, low, half, by257, alphaBoth, byChannel;
    // The rows of texel pairs, and those a few rows ahead.
    const std::uint32_t *above, *below, *aheadAbove, *aheadBelow;
    int width, height;
};

// Pixels k..k + 7 of a run (the last ones past n read and written through a mask; their factors
// are 0). `inside`: their texel pairs all lie inside the picture, nothing to clamp.
// `fixed`: the coordinates are the 16.16 fixed-point fs and ft rather than the floats from k.
template <bool inside, bool fixed>
__attribute__((target("avx2"), always_inline)) inline void
blendEight(std::uint32_t* dst, int k, int n, const Eights& e, const std::uint8_t* alpha, __m256i fs,
           __m256i ft) {
    const __m128i a8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(alpha + k));
    if (_mm_testz_si128(a8, _mm_set_epi64x(0, -1)))
        return; // nothing of the picture reaches these pixels
    __m256i x, y, wx, wy;
    if (fixed) {
        if (inside) {
            const __m256i fraction = _mm256_set1_epi32(kWeightOne - 1);
            x = _mm256_srai_epi32(fs, 16);
            y = _mm256_srai_epi32(ft, 16);
            wx = _mm256_and_si256(_mm256_srli_epi32(fs, 10), fraction);
            wy = _mm256_and_si256(_mm256_srli_epi32(ft, 10), fraction);
        } else {
            texelPairsFixed8(fs, e.width, x, wx);
            texelPairsFixed8(ft, e.height, y, wy);
        }
    } else {
        const __m256 kf = _mm256_add_ps(_mm256_set1_ps(float(k)), _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7));
        const __m256 s = _mm256_add_ps(e.s0, _mm256_mul_ps(kf, e.ds)),
                     t = _mm256_add_ps(e.t0, _mm256_mul_ps(kf, e.dt));
        if (inside) {
            // Not negative, so truncation floors; the same numbers as texelPairs8 gives.
            const __m256 scale = _mm256_set1_ps(float(kWeightOne));
            x = _mm256_cvttps_epi32(s);
            y = _mm256_cvttps_epi32(t);
            wx = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(s, _mm256_cvtepi32_ps(x)), scale));
            wy = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(t, _mm256_cvtepi32_ps(y)), scale));
        } else {
            texelPairs8(s, e.width, x, wx);
            texelPairs8(t, e.height, y, wy);
        }
    }
    const __m256i top = _mm256_add_epi32(_mm256_mullo_epi32(y, e.stride), x);
    // Each pair is one 64-bit load; gathers cost more than plain loads here. The indices go
    // through memory: read back one by one they cost less than taken out of the register.
    alignas(32) int at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), top);
    asm("" : "+m"(at));
    // Rows further down will want these texels' neighbours soon; asking for them now hides
    // the wait for memory behind this row's arithmetic.
    for (int i = 0; i < 8; i += 2) {
        _mm_prefetch(reinterpret_cast<const char*>(e.aheadAbove + at[i]), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(e.aheadBelow + at[i]), _MM_HINT_T0);
    }
    auto quad = [&](int i) {
        const std::ptrdiff_t at64 = at[i];
        const __m128i pair = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(e.above + at64));
        return _mm_castpd_si128(
            _mm_loadh_pd(_mm_castsi128_pd(pair), reinterpret_cast<const double*>(e.below + at64)));
    };
    // Bytes (64 - wy, wy) in every pair, and words ((64 - wx) f, wx f) for the coverage
    // factor f; lane m of the low half is pixel m, of the high half pixel m + 4.
    const __m256i column = _mm256_or_si256(_mm256_sub_epi32(e.one, wy), _mm256_slli_epi32(wy, 8));
    const __m256i columnWeights = _mm256_or_si256(column, _mm256_slli_epi32(column, 16));
    const __m256i factor = _mm256_cvtepu8_epi32(a8);
    const __m256i rowWeights =
        _mm256_mullo_epi16(_mm256_or_si256(_mm256_sub_epi32(e.one, wx), _mm256_slli_epi32(wx, 16)),
                           bothHalves(_mm256_add_epi32(factor, _mm256_srli_epi32(factor, 7))));
    const __m256i p0 =
        weigh(_mm256_setr_m128i(quad(0), quad(4)), e.byChannel, _mm256_shuffle_epi32(columnWeights, 0x00),
              _mm256_shuffle_epi32(rowWeights, 0x00));
    const __m256i p1 =
        weigh(_mm256_setr_m128i(quad(1), quad(5)), e.byChannel, _mm256_shuffle_epi32(columnWeights, 0x55),
              _mm256_shuffle_epi32(rowWeights, 0x55));
    const __m256i p2 =
        weigh(_mm256_setr_m128i(quad(2), quad(6)), e.byChannel, _mm256_shuffle_epi32(columnWeights, 0xaa),
              _mm256_shuffle_epi32(rowWeights, 0xaa));
    const __m256i p3 =
        weigh(_mm256_setr_m128i(quad(3), quad(7)), e.byChannel, _mm256_shuffle_epi32(columnWeights, 0xff),
              _mm256_shuffle_epi32(rowWeights, 0xff));
    // Back to pixels 0..7 in order, a byte a channel.
    const __m256i p = _mm256_packus_epi16(_mm256_packus_epi32(p0, p1), _mm256_packus_epi32(p2, p3));
    // 255 less each pixel's alpha, in both 16-bit halves.
    const __m256i keep = _mm256_xor_si256(_mm256_shuffle_epi8(p, e.alphaBoth), e.low);
    if (inside || k + 8 <= n) {
        auto* out = reinterpret_cast<__m256i*>(dst + k);
        _mm256_storeu_si256(
            out, _mm256_adds_epu8(p, byteMul8(_mm256_loadu_si256(out), keep, e.low, e.half, e.by257)));
    } else {
        auto* out = reinterpret_cast<int*>(dst + k);
        const __m256i within =
            _mm256_cmpgt_epi32(_mm256_set1_epi32(n - k), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        _mm256_maskstore_epi32(
            out, within,
            _mm256_adds_epu8(p, byteMul8(_mm256_maskload_epi32(out, within), keep, e.low, e.half, e.by257)));
    }
}

__attribute__((target("avx2"))) void blendAvx2(std::uint32_t* dst, int n, const Source& src, const Run& run,
                                               const std::uint8_t* alpha) {
    if (src.width < 2 || src.height < 2) {
        blendPortable(dst, 0, n, src, run, alpha);
        return;
    }
    Eights e;
    e.s0 = _mm256_set1_ps(run.s0);
    e.t0 = _mm256_set1_ps(run.t0);
    e.ds = _mm256_set1_ps(run.ds);
    e.dt = _mm256_set1_ps(run.dt);
    e.stride = _mm256_set1_epi32(src.stride);
    e.one = _mm256_set1_epi32(kWeightOne);
    e.low = _mm256_set1_epi32(0x00ff00ff);
    // Opaque to the compiler, which would otherwise build them anew in every group from
    // immediates rather than read them back from the stack.
    e.half = _mm256_set1_epi16(0x80);
    e.by257 = _mm256_set1_epi16(257);
    asm("" : "+x"(e.half), "+x"(e.by257));
    e.alphaBoth = _mm256_setr_epi8(3, -1, 3, -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1, 3, -1, 3, -1,
                                   7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1);
    // A pixel's four texels, top pair then bottom pair, become (top left, bottom left, top right,
    // bottom right) for each channel in turn.
    e.byChannel = _mm256_setr_epi8(0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15, 0, 8, 4, 12, 1, 9, 5,
                                   13, 2, 10, 6, 14, 3, 11, 7, 15);
    e.above = src.pixels;
    e.below = src.pixels + src.stride;
    e.aheadAbove = e.above + run.ahead;
    e.aheadBelow = e.below + run.ahead;
    e.width = src.width;
    e.height = src.height;
    // Groups wholly within [inFrom, inTo) skip the clamping, and never reach past the run.
    const int insideFrom = std::min(n, (run.inFrom + 7) / 8 * 8);
    const int insideTo = insideFrom + std::max(0, (run.inTo - insideFrom) / 8 * 8);
    int k = 0;
    if (run.fixed) {
        // Coordinates of the group's pixels, stepped on by exact sums.
        const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        __m256i fs = _mm256_add_epi32(_mm256_set1_epi32(run.fixedS0),
                                      _mm256_mullo_epi32(lanes, _mm256_set1_epi32(run.fixedDs)));
        __m256i ft = _mm256_add_epi32(_mm256_set1_epi32(run.fixedT0),
                                      _mm256_mullo_epi32(lanes, _mm256_set1_epi32(run.fixedDt)));
        const __m256i stepS = _mm256_set1_epi32(8 * run.fixedDs), stepT = _mm256_set1_epi32(8 * run.fixedDt);
        for (; k < insideFrom; k += 8, fs = _mm256_add_epi32(fs, stepS), ft = _mm256_add_epi32(ft, stepT))
            blendEight<false, true>(dst, k, n, e, alpha, fs, ft);
        for (; k < insideTo; k += 8, fs = _mm256_add_epi32(fs, stepS), ft = _mm256_add_epi32(ft, stepT))
            blendEight<true, true>(dst, k, n, e, alpha, fs, ft);
        for (; k < n; k += 8, fs = _mm256_add_epi32(fs, stepS), ft = _mm256_add_epi32(ft, stepT))
            blendEight<false, true>(dst, k, n, e, alpha, fs, ft);
        return;
    }
    const __m256i unused = _mm256_setzero_si256();
    for (; k < insideFrom; k += 8)
        blendEight<false, false>(dst, k, n, e, alpha, unused, unused);
    for (; k < insideTo; k += 8)
        blendEight<true, false>(dst, k, n, e, alpha, unused, unused);
    for (; k < n; k += 8)
        blendEight<false, false>(dst, k, n, e, alpha, unused, unused);
}

bool detectAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// floor() and ceil() of a value well inside int's range, without a library call on processors
// before SSE4.1.
inline int floorOf(double v) {
    const int i = int(v);
    return i - (double(i) > v);
}
inline int ceilOf(double v) {
    const int i = int(v);
    return i + (double(i) < v);
}

// Signed distance in target pixels to one side of the mapped picture, positive inside, and how
// much of a pixel square at that distance lies inside.
struct Edge {
    double a = 0, b = 0, c = 0; // distance at (x, y) = a x + b y + c
    double lo = 0, hi = 0;      // the smaller and larger of |a| and |b|
    double reach = 0;           // half the pixel square's extent across the side
    double inverseA = 0;        // 1 / a, for finding where rows cross the side
    double inverseArea = 0;     // 1 / (2 lo hi)

    // Sides along the pixel grid cut the square straight across.
    bool alongGrid() const { return lo < 1e-9; }

    // The square's part inside, from its outermost corner's distance s into the side (0 to
    // 2 reach): the area swept by a line across a lo by hi rectangle, as sums of squares that stay
    // free of branches so that rows of pixels are worked out side by side.
    double coverage(double d) const {
        if (alongGrid())
            return std::min(std::max(d + 0.5, 0.0), 1.0);
        return slantedCoverage(d);
    }
    double slantedCoverage(double d) const {
        const double s = std::min(std::max(d + reach, 0.0), 2 * reach);
        const auto square = [](double v) {
            v = std::max(v, 0.0);
            return v * v;
        };
        const double swept = square(s) - square(s - lo) - square(s - hi) + square(s - lo - hi);
        return std::min(swept * inverseArea, 1.0);
    }
};

} // namespace

bool samplerHasAvx2() {
    static const bool has = detectAvx2();
    return has;
}

bool PictureSampler::canSample(const QImage& picture, const QTransform& toTarget) {
    if (picture.isNull() || picture.format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    if (picture.width() > kMaxSide || picture.height() > kMaxSide)
        return false;
    // The AVX2 rows address texels by 32-bit indices.
    if (double(picture.bytesPerLine() / 4) * picture.height() >= double(std::numeric_limits<int>::max()))
        return false;
    if (!toTarget.isAffine())
        return false;
    const double m[] = {toTarget.m11(), toTarget.m12(), toTarget.m21(),
                        toTarget.m22(), toTarget.dx(),  toTarget.dy()};
    for (double v : m)
        if (!std::isfinite(v) || std::abs(v) > 1e9)
            return false;
    bool invertible = false;
    const QTransform inverse = toTarget.inverted(&invertible);
    if (!invertible)
        return false;
    for (double v : {inverse.m11(), inverse.m12(), inverse.m21(), inverse.m22()})
        if (!std::isfinite(v) || std::abs(v) > kMaxInverse)
            return false;
    return std::isfinite(inverse.dx()) && std::isfinite(inverse.dy());
}

void PictureSampler::draw(const PixelTarget& target, const PictureDraw& draw, SamplerPath path) {
    if (target.isNull() || !draw.picture || !canSample(*draw.picture, draw.toTarget))
        return;
    const QImage& picture = *draw.picture;
    if (!(draw.opacity > 0))
        return; // none, or not a number
    const int alpha = int(std::lround(std::min(draw.opacity, 1.0) * 255));
    if (alpha == 0)
        return;
    const int w = picture.width(), h = picture.height();
    const QTransform& m = draw.toTarget;
    const QTransform inv = m.inverted();
    const Source src{reinterpret_cast<const std::uint32_t*>(picture.constBits()),
                     int(picture.bytesPerLine() / 4), w, h};
    const bool avx2 = path != SamplerPath::Portable && samplerHasAvx2();

    // The picture's sides in the target, their insides facing its centre.
    const std::array<QPointF, 4> corner{m.map(QPointF(0, 0)), m.map(QPointF(w, 0)), m.map(QPointF(w, h)),
                                        m.map(QPointF(0, h))};
    const QPointF centre = m.map(QPointF(w / 2.0, h / 2.0));
    std::array<Edge, 4> edges;
    for (int i = 0; i < 4; ++i) {
        const QPointF p = corner[size_t(i)], q = corner[size_t(i + 1) % 4];
        const double len = std::hypot(q.x() - p.x(), q.y() - p.y());
        if (!(len > 0))
            return;
        Edge& e = edges[size_t(i)];
        e.a = -(q.y() - p.y()) / len;
        e.b = (q.x() - p.x()) / len;
        e.c = -(e.a * p.x() + e.b * p.y());
        if (e.a * centre.x() + e.b * centre.y() + e.c < 0) {
            e.a = -e.a;
            e.b = -e.b;
            e.c = -e.c;
        }
        e.lo = std::min(std::abs(e.a), std::abs(e.b));
        e.hi = std::max(std::abs(e.a), std::abs(e.b));
        e.reach = (e.lo + e.hi) / 2;
        e.inverseA = e.a == 0 ? 0 : 1 / e.a;
        e.inverseArea = e.alongGrid() ? 0 : 1 / (2 * e.lo * e.hi);
    }

    // Rounded corners: the corner squares of the picture, in the target, are where pixels are
    // worked out one by one.
    const double rx = std::min(draw.cornerX, w / 2.0), ry = std::min(draw.cornerY, h / 2.0);
    const bool rounded = rx > 0 && ry > 0;
    std::array<QRectF, 4> cornerBoxes;
    if (rounded) {
        const QRectF squares[] = {QRectF(0, 0, rx, ry), QRectF(w - rx, 0, rx, ry),
                                  QRectF(w - rx, h - ry, rx, ry), QRectF(0, h - ry, rx, ry)};
        for (int i = 0; i < 4; ++i)
            cornerBoxes[size_t(i)] = m.mapRect(squares[i]).adjusted(-1, -1, 1, 1);
    }

    const double opacity = alpha / 255.0;
    // How much of the pixel centred at (xc, yc) the rounded corners leave: 1 outside the corner
    // squares.
    auto cornerFactor = [&](double xc, double yc) {
        const double u = inv.m11() * xc + inv.m21() * yc + inv.dx();
        const double v = inv.m12() * xc + inv.m22() * yc + inv.dy();
        const double cx = u < rx ? rx : (u > w - rx ? w - rx : -1);
        const double cy = v < ry ? ry : (v > h - ry ? h - ry : -1);
        if (cx < 0 || cy < 0)
            return 1.0;
        // Distance to the ellipse quarter, turned into target pixels by the gradient.
        const double qx = (u - cx) / rx, qy = (v - cy) / ry;
        const double len = std::sqrt(qx * qx + qy * qy);
        if (!(len > 0))
            return 1.0;
        const double fu = qx / (rx * len), fv = qy / (ry * len);
        const double gx = fu * inv.m11() + fv * inv.m12(), gy = fu * inv.m21() + fv * inv.m22();
        const double g = std::sqrt(gx * gx + gy * gy);
        return g > 0 ? std::clamp((1 - len) / g + 0.5, 0.0, 1.0) : 1.0;
    };

    const QRect& clip = target.clip;
    const double clipLeft = clip.left(), clipRight = double(clip.left()) + clip.width();
    double top = corner[0].y(), bottom = top;
    for (const QPointF& p : corner) {
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    // Clamped on both sides before becoming ints: a picture far off may lie beyond their range.
    const double clipTop = clip.top(), clipBottom = clipTop + clip.height();
    const int y0 = int(std::clamp(std::floor(top) - 1, clipTop, clipBottom));
    const int y1 = int(std::clamp(std::ceil(bottom) + 1, clipTop, clipBottom));

    // Where along each row some of the picture may reach, and where all of it covers.
    struct Span {
        int from, to, innerFrom, innerTo;
        // Where the texel pairs read lie inside the picture.
        int unclampedFrom, unclampedTo;
        // Where each side may cut pixels short: further than one pixel from these, a pixel of
        // the span lies wholly on the side's inner side.
        std::array<std::pair<int, int>, 4> sides;
    };
    thread_local std::vector<Span> spans;
    spans.assign(size_t(std::max(0, y1 - y0)), Span{0, 0, 0, 0, 0, 0, {}});
    const double sideLeft = clipLeft - 2, sideRight = clipRight + 2;
    const double stepS = inv.m11(), stepT = inv.m12();
    const double reciprocalS = stepS == 0 ? 0 : 1 / stepS, reciprocalT = stepT == 0 ? 0 : 1 / stepT;
    int left = std::numeric_limits<int>::max(), right = std::numeric_limits<int>::min();
    for (int y = y0; y < y1; ++y) {
        const double yc = y + 0.5;
        double outerLo = clipLeft - 1, outerHi = clipRight + 1, innerLo = outerLo, innerHi = outerHi;
        bool empty = false;
        Span& span = spans[size_t(y - y0)];
        for (size_t i = 0; i < edges.size(); ++i) {
            const Edge& e = edges[i];
            const double base = e.b * yc + e.c;
            // Sides (nearly) along the rows may cut any pixel of the row.
            span.sides[i] = {int(sideLeft), int(sideRight)};
            if (std::abs(e.a) < 1e-12) {
                if (base <= -e.reach)
                    empty = true;
                if (base < e.reach)
                    innerHi = innerLo; // nowhere fully inside
                continue;
            }
            // The pixel x has its centre at x + 0.5.
            const double outer = (-e.reach - base) * e.inverseA - 0.5,
                         inner = (e.reach - base) * e.inverseA - 0.5;
            if (e.a > 0) {
                outerLo = std::max(outerLo, outer);
                innerLo = std::max(innerLo, inner);
            } else {
                outerHi = std::min(outerHi, outer);
                innerHi = std::min(innerHi, inner);
            }
            if (std::abs(e.a) >= 1e-6)
                span.sides[i] = {floorOf(std::clamp(std::min(outer, inner), sideLeft, sideRight)) - 1,
                                 ceilOf(std::clamp(std::max(outer, inner), sideLeft, sideRight)) + 2};
        }
        if (empty) {
            span.from = span.to = 0;
            continue;
        }
        span.from = std::max(int(clipLeft), floorOf(std::clamp(outerLo, sideLeft, sideRight)));
        span.to = std::min(int(clipRight), ceilOf(std::clamp(outerHi, sideLeft, sideRight)) + 1);
        if (span.from >= span.to) {
            span.to = span.from;
            continue;
        }
        span.innerFrom = ceilOf(std::clamp(innerLo, sideLeft, sideRight) + 1e-7);
        span.innerTo = floorOf(std::clamp(innerHi, sideLeft, sideRight) - 1e-7) + 1;
        if (innerHi <= innerLo)
            span.innerFrom = span.innerTo = span.from;
        // Texel coordinates at pixel x: (x + 0.5) step + the row's part, less half a texel.
        const auto [sFrom, sTo] =
            unclampedColumns(0.5 * stepS + inv.m21() * yc + inv.dx() - 0.5, stepS, reciprocalS, w);
        const auto [tFrom, tTo] =
            unclampedColumns(0.5 * stepT + inv.m22() * yc + inv.dy() - 0.5, stepT, reciprocalT, h);
        const double from = std::max(sFrom, tFrom), to = std::min(sTo, tTo);
        span.unclampedFrom = ceilOf(std::clamp(from, sideLeft, sideRight));
        span.unclampedTo = floorOf(std::clamp(to, sideLeft, sideRight)) + 1;
        if (!(to >= from))
            span.unclampedFrom = span.unclampedTo = span.from;
        left = std::min(left, span.from);
        right = std::max(right, span.to);
    }

    // Columns a strip at a time, so the texels one strip's rows share stay in the nearest cache
    // from one row to the next instead of being fetched again for every row.
    // Runs step through texels in 16.16 fixed point where they fit.
    constexpr double kFixedReach = 1 << 14;
    const auto toFixed = [](double v) {
        v *= 65536;
        return std::int32_t(v + (v < 0 ? -0.5 : 0.5));
    };
    const double stepSF = float(inv.m11()), stepTF = float(inv.m12());
    const bool stepsFit = std::abs(stepSF) < kFixedReach && std::abs(stepTF) < kFixedReach;
    const std::int32_t fixedDs = stepsFit ? toFixed(stepSF) : 0, fixedDt = stepsFit ? toFixed(stepTF) : 0;
    std::array<std::uint8_t, kChunk + 8> alphas{};
    // The coverage of a row's pixels, the product of what each side and corner leaves.
    std::array<double, kChunk> covered;
    const std::ptrdiff_t ahead =
        std::ptrdiff_t(std::lround(std::clamp(kAheadRows * inv.m22(), -1e6, 1e6))) * src.stride +
        std::lround(std::clamp(kAheadRows * inv.m21(), -1e6, 1e6));
    for (int strip = left; strip < right; strip += kChunk) {
        for (int y = y0; y < y1; ++y) {
            const Span& span = spans[size_t(y - y0)];
            const int x0 = std::max(span.from, strip), x1 = std::min(span.to, strip + kChunk);
            if (x0 >= x1)
                continue;
            const int n = x1 - x0;
            const double yc = y + 0.5;
            const int innerFrom = std::clamp(span.innerFrom - x0, 0, n);
            const int innerTo = std::clamp(span.innerTo - x0, innerFrom, n);
            // Fully inside: the opacity alone. Elsewhere each side weighs only the pixels it
            // crosses: a pixel of the row further than one from them lies wholly on its inner
            // side (the row's span keeps out those wholly on the outer one).
            std::memset(alphas.data() + innerFrom, alpha, size_t(innerTo - innerFrom));
            if (innerFrom > 0 || innerTo < n) {
                std::fill_n(covered.begin(), innerFrom, 1.0);
                std::fill_n(covered.begin() + innerTo, n - innerTo, 1.0);
                for (size_t i = 0; i < edges.size(); ++i) {
                    const Edge& e = edges[i];
                    const int from = std::max(0, span.sides[i].first - x0),
                              to = std::min(n, span.sides[i].second - x0);
                    if (from >= to)
                        continue;
                    const double base = e.b * yc + e.c;
                    const auto weigh = [&](int k0, int k1) {
                        if (e.alongGrid())
                            for (int k = k0; k < k1; ++k)
                                covered[size_t(k)] *= e.coverage(base + e.a * (x0 + k + 0.5));
                        else
                            for (int k = k0; k < k1; ++k)
                                covered[size_t(k)] *= e.slantedCoverage(base + e.a * (x0 + k + 0.5));
                    };
                    weigh(from, std::min(to, innerFrom));
                    weigh(std::max(from, innerTo), to);
                }
                for (int k = 0; k < innerFrom; ++k)
                    alphas[size_t(k)] = std::uint8_t(int(covered[size_t(k)] * opacity * 255 + 0.5));
                for (int k = innerTo; k < n; ++k)
                    alphas[size_t(k)] = std::uint8_t(int(covered[size_t(k)] * opacity * 255 + 0.5));
            }
            // The corner squares the row passes through, once each even where they overlap.
            if (rounded) {
                std::array<std::pair<int, int>, 4> runs;
                int count = 0;
                for (const QRectF& box : cornerBoxes) {
                    if (yc < box.top() || yc > box.bottom())
                        continue;
                    const double from = std::clamp(box.left(), x0 - 1.0, x1 + 1.0);
                    const double to = std::clamp(box.right(), x0 - 1.0, x1 + 1.0);
                    const int k0 = std::max(x0, int(std::floor(from))) - x0,
                              k1 = std::min(x1, int(std::ceil(to)) + 1) - x0;
                    if (k0 < k1)
                        runs[size_t(count++)] = {k0, k1};
                }
                for (int i = 1; i < count; ++i) // by where they start
                    for (int j = i; j > 0 && runs[size_t(j)].first < runs[size_t(j - 1)].first; --j)
                        std::swap(runs[size_t(j)], runs[size_t(j - 1)]);
                for (int i = 0, done = 0; i < count; ++i)
                    for (int k = std::max(runs[size_t(i)].first, done); k < runs[size_t(i)].second; ++k) {
                        const double edgesLeave = k >= innerFrom && k < innerTo ? 1.0 : covered[size_t(k)];
                        const double c = edgesLeave * cornerFactor(x0 + k + 0.5, yc);
                        alphas[size_t(k)] = std::uint8_t(int(c * opacity * 255 + 0.5));
                        done = k + 1;
                    }
            }
            auto* row = reinterpret_cast<std::uint32_t*>(target.bits + qsizetype(y) * target.stride);
            const double xc = x0 + 0.5;
            Run run{float(std::clamp(inv.m11() * xc + inv.m21() * yc + inv.dx() - 0.5, -1e7, 1e7)),
                    float(std::clamp(inv.m12() * xc + inv.m22() * yc + inv.dy() - 0.5, -1e7, 1e7)),
                    float(inv.m11()), float(inv.m12()), ahead};
            // Fixed point where every coordinate of the run, and of the groups past its end, stays
            // well inside 16.16's range.
            const double sLast = run.s0 + (n + 16) * stepSF, tLast = run.t0 + (n + 16) * stepTF;
            if (std::abs(run.s0) < kFixedReach && std::abs(sLast) < kFixedReach &&
                std::abs(run.t0) < kFixedReach && std::abs(tLast) < kFixedReach) {
                run.fixed = true;
                run.fixedS0 = toFixed(run.s0);
                run.fixedT0 = toFixed(run.t0);
                run.fixedDs = fixedDs;
                run.fixedDt = fixedDt;
            }
            run.inFrom = std::clamp(span.unclampedFrom - x0, 0, n);
            run.inTo = std::clamp(span.unclampedTo - x0, run.inFrom, n);
            std::memset(alphas.data() + n, 0, 8);
            if (avx2)
                blendAvx2(row + x0, n, src, run, alphas.data());
            else
                blendPortable(row + x0, 0, n, src, run, alphas.data());
        }
    }
}

} // namespace qrn::graphics
