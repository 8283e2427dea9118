#include "platform/imaging/colour_cube.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <immintrin.h>

#include "platform/imaging/bands.h"

namespace qrn::imaging {

double hueOf(double red, double green, double blue) {
    const double mx = std::max({red, green, blue});
    const double mn = std::min({red, green, blue});
    const double delta = mx - mn;
    if (delta <= 0)
        return 0;
    double h;
    if (mx == red)
        h = (green - blue) / delta;
    else if (mx == green)
        h = 2 + (blue - red) / delta;
    else
        h = 4 + (red - green) / delta;
    h /= 6;
    if (h < 0)
        h += 1;
    return h >= 1 ? 0 : h;
}

ColourCube::ColourCube(int dimension, std::vector<float> data)
    : dimension_(dimension), data_(std::move(data)),
      valid_(dimension >= 2 &&
             data_.size() == 4 * static_cast<std::size_t>(dimension) * dimension * dimension) {
    if (!valid_)
        return;
    const int n = dimension_;
    // Per entry: 1 when it is its own colour, opaque; 2 when it is clear; else 0.
    std::vector<std::uint8_t> kind(static_cast<std::size_t>(n) * n * n, 0);
    // Far below what could move a blended value across a rounding boundary of an 8-bit result.
    const float tolerance = 1e-5f;
    const float step = 1.0f / static_cast<float>(n - 1);
    for (std::size_t i = 0; i < kind.size(); ++i) {
        const float* e = data_.data() + 4 * i;
        const int r = static_cast<int>(i % n), g = static_cast<int>(i / n % n),
                  b = static_cast<int>(i / n / n);
        if (e[3] == 1.0f && std::abs(e[0] - r * step) <= tolerance &&
            std::abs(e[1] - g * step) <= tolerance && std::abs(e[2] - b * step) <= tolerance)
            kind[i] = 1;
        else if (e[0] == 0.0f && e[1] == 0.0f && e[2] == 0.0f && e[3] == 0.0f)
            kind[i] = 2;
    }
    const int m = n - 1;
    cells_.resize(static_cast<std::size_t>(m) * m * m);
    for (int b = 0; b < m; ++b)
        for (int g = 0; g < m; ++g)
            for (int r = 0; r < m; ++r) {
                std::uint8_t all = 3;
                for (int corner = 0; corner < 8; ++corner)
                    all &= kind[offsetOf(r + (corner & 1), g + ((corner >> 1) & 1), b + (corner >> 2)) / 4];
                cells_[static_cast<std::size_t>(r) +
                       static_cast<std::size_t>(m) * (g + static_cast<std::size_t>(m) * b)] =
                    static_cast<Cell>(all);
            }
    findKey(kind);
}

void ColourCube::findKey(const std::vector<std::uint8_t>& kind) {
    const int n = dimension_;
    // A position no opaque entry uses is only ever looked up masked out; NaN marks it unset.
    std::vector<float> positions(3 * static_cast<std::size_t>(n), std::nanf(""));
    for (std::size_t i = 0; i < kind.size(); ++i) {
        if (kind[i] == 0)
            return;
        if (kind[i] != 1)
            continue;
        const float* e = data_.data() + 4 * i;
        const int at[3] = {static_cast<int>(i % n), static_cast<int>(i / n % n), static_cast<int>(i / n / n)};
        for (int axis = 0; axis < 3; ++axis) {
            float& p = positions[static_cast<std::size_t>(axis * n + at[axis])];
            if (std::isnan(p))
                p = e[axis];
            else if (p != e[axis])
                return; // the blend would not be that of one value per position
        }
    }
    for (float& p : positions)
        if (std::isnan(p))
            p = 0;
    const int m = n - 1;
    corners_.resize(static_cast<std::size_t>(m) * m * m + 3);
    const std::size_t stepG = static_cast<std::size_t>(n), stepB = stepG * stepG;
    auto keeps = [&kind](std::size_t i, int corner) { return static_cast<unsigned>(kind[i] == 1) << corner; };
    std::uint8_t* cell = corners_.data();
    for (int b = 0; b < m; ++b)
        for (int g = 0; g < m; ++g)
            for (int r = 0; r < m; ++r) {
                const std::size_t i = static_cast<std::size_t>(r) + stepG * g + stepB * b;
                *cell++ = static_cast<std::uint8_t>(keeps(i, 0) | keeps(i + 1, 1) | keeps(i + stepG, 2) |
                                                    keeps(i + stepG + 1, 3) | keeps(i + stepB, 4) |
                                                    keeps(i + stepB + 1, 5) | keeps(i + stepB + stepG, 6) |
                                                    keeps(i + stepB + stepG + 1, 7));
            }
    positions_ = std::move(positions);
    // Each block of eight values an axis spans a few cells; the block is settled when they agree.
    int first[32], last[32];
    for (int k = 0; k < 32; ++k) {
        first[k] = ColourCubeRows::opaqueCell(8 * k, n);
        last[k] = ColourCubeRows::opaqueCell(8 * k + 7, n);
    }
    blocks_.resize(32 * 32 * 32 + 3);
    for (int b = 0; b < 32; ++b)
        for (int g = 0; g < 32; ++g)
            for (int r = 0; r < 32; ++r) {
                std::uint8_t all = 0xFF, any = 0;
                for (int cb = first[b]; cb <= last[b]; ++cb)
                    for (int cg = first[g]; cg <= last[g]; ++cg)
                        for (int cr = first[r]; cr <= last[r]; ++cr) {
                            const std::uint8_t c = corners_[static_cast<std::size_t>(cr) +
                                                            static_cast<std::size_t>(m) *
                                                                (cg + static_cast<std::size_t>(m) * cb)];
                            all &= c;
                            any |= c;
                        }
                blocks_[static_cast<std::size_t>(r + 32 * (g + 32 * b))] = any == 0 ? 0 : all == 0xFF ? 1 : 2;
            }
}

std::array<float, 4> ColourCube::entry(int r, int g, int b) const {
    const float* p = data_.data() + offsetOf(r, g, b);
    return {p[0], p[1], p[2], p[3]};
}

namespace {

inline __m128 lerp(__m128 a, __m128 b, __m128 t) {
    return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), t));
}

} // namespace

ColourCubeRows::AxisPosition ColourCubeRows::axisPosition(float unit, int dimension) {
    const float p = unit * static_cast<float>(dimension - 1);
    const int i = std::min(static_cast<int>(p), dimension - 2);
    return {i, p - static_cast<float>(i)};
}

int ColourCubeRows::opaqueCell(int value, int dimension) {
    return axisPosition(std::min(1.0f, static_cast<float>(value) / 255.0f), dimension).index;
}

ColourCubeRows::Kernels ColourCubeRows::widest() {
    static const Kernels kernels = __builtin_cpu_supports("avx512f") ? Kernels::Avx512
                                   : __builtin_cpu_supports("avx2")  ? Kernels::Avx2
                                                                     : Kernels::Baseline;
    return kernels;
}

ColourCubeRows::ColourCubeRows(const ColourCube& cube, ChannelOrder srcOrder, ChannelOrder dstOrder,
                               Kernels kernels)
    : cube_(cube), srcOrder_(srcOrder), dstOrder_(dstOrder) {
    if (!cube.isValid())
        return;
    for (int v = 0; v < 256; ++v)
        opaque_[v] = axisPosition(std::min(1.0f, static_cast<float>(v) / 255.0f), cube.dimension());
    if (!cube.isKey())
        return;
    kernels_ = std::min(kernels, widest());
    const int m = cube.dimension() - 1;
    keyAxes_ = std::make_unique<KeyAxis[]>(3 * 256);
    for (int axis = 0; axis < 3; ++axis)
        for (int v = 0; v < 256; ++v) {
            const AxisPosition p = opaque_[v];
            const int stride = axis == 0 ? 1 : axis == 1 ? m : m * m;
            keyAxes_[static_cast<std::size_t>(axis * 256 + v)] = {
                p.weight, cube.position(axis, p.index), cube.position(axis, p.index + 1), p.index * stride};
        }
}

void ColourCubeRows::copy(const std::uint8_t* s, std::uint8_t* d, int width) const {
    const ChannelOffsets si = channelOffsets(srcOrder_), di = channelOffsets(dstOrder_);
    for (int x = 0; x < width; ++x, s += 4, d += 4) {
        const std::uint8_t r = s[si.r], g = s[si.g], b = s[si.b], a = s[si.a];
        d[di.r] = r, d[di.g] = g, d[di.b] = b, d[di.a] = a;
    }
}

void ColourCubeRows::operator()(const std::uint8_t* s, std::uint8_t* d, int width) const {
    if (!cube_.isValid()) {
        copy(s, d, width);
        return;
    }
    // With the layouts fixed at compile time the channel offsets are constants, which leaves
    // registers for the lookup.
    const bool srcBgra = srcOrder_ == ChannelOrder::BGRA, dstBgra = dstOrder_ == ChannelOrder::BGRA;
    if (keyAxes_) {
        if (srcBgra && dstBgra)
            lookUpKey<ChannelOrder::BGRA, ChannelOrder::BGRA>(s, d, width);
        else if (srcBgra)
            lookUpKey<ChannelOrder::BGRA, ChannelOrder::RGBA>(s, d, width);
        else if (dstBgra)
            lookUpKey<ChannelOrder::RGBA, ChannelOrder::BGRA>(s, d, width);
        else
            lookUpKey<ChannelOrder::RGBA, ChannelOrder::RGBA>(s, d, width);
    } else if (srcBgra && dstBgra)
        lookUp<ChannelOrder::BGRA, ChannelOrder::BGRA>(s, d, width);
    else if (srcBgra)
        lookUp<ChannelOrder::BGRA, ChannelOrder::RGBA>(s, d, width);
    else if (dstBgra)
        lookUp<ChannelOrder::RGBA, ChannelOrder::BGRA>(s, d, width);
    else
        lookUp<ChannelOrder::RGBA, ChannelOrder::RGBA>(s, d, width);
}

template <ChannelOrder Src, ChannelOrder Dst>
void ColourCubeRows::lookUp(const std::uint8_t* s, std::uint8_t* d, int width) const {
    // Locals rather than members: the byte stores below could alias any member.
    const int n = cube_.dimension();
    const float* table = cube_.data().data();
    const AxisPosition* opaque = opaque_;
    const std::ptrdiff_t stepG = 4 * static_cast<std::ptrdiff_t>(n);
    const std::ptrdiff_t stepB = stepG * n;
    constexpr ChannelOffsets si = channelOffsets(Src), di = channelOffsets(Dst);
    constexpr bool sameOrder = Src == Dst, dstBgra = Dst == ChannelOrder::BGRA;
    const ColourCube::Cell* cells = cube_.cells();
    const std::ptrdiff_t cellStepG = n - 1, cellStepB = static_cast<std::ptrdiff_t>(n - 1) * (n - 1);
    const __m128 zero = _mm_setzero_ps();
    const __m128 maxByte = _mm_set1_ps(255.0f);
    const __m128 half = _mm_set1_ps(0.5f);

    // Runs of one colour (backdrops, keyed screens, padding) are common: a pixel like the
    // one before it gets the result that one got.
    std::uint32_t lastIn = 0;
    const std::uint8_t* lastOut = nullptr;
    for (int x = 0; x < width; ++x, s += 4, d += 4) {
        std::uint32_t in;
        std::memcpy(&in, s, 4);
        if (lastOut && in == lastIn) {
            std::memcpy(d, lastOut, 4);
            continue;
        }
        lastIn = in;
        lastOut = d;
        const int a = s[si.a];
        if (a == 0) {
            std::memset(d, 0, 4);
            continue;
        }
        AxisPosition pr, pg, pb;
        if (a == 255) {
            pr = opaque[s[si.r]];
            pg = opaque[s[si.g]];
            pb = opaque[s[si.b]];
            const ColourCube::Cell kind = cells[pr.index + cellStepG * pg.index + cellStepB * pb.index];
            if (kind == ColourCube::Cell::Unchanged) {
                if constexpr (sameOrder)
                    std::memcpy(d, s, 4);
                else
                    d[di.r] = s[si.r], d[di.g] = s[si.g], d[di.b] = s[si.b], d[di.a] = 255;
                continue;
            }
            if (kind == ColourCube::Cell::Clear) {
                std::memset(d, 0, 4);
                continue;
            }
        } else {
            const float fa = static_cast<float>(a);
            pr = axisPosition(std::min(1.0f, static_cast<float>(s[si.r]) / fa), n);
            pg = axisPosition(std::min(1.0f, static_cast<float>(s[si.g]) / fa), n);
            pb = axisPosition(std::min(1.0f, static_cast<float>(s[si.b]) / fa), n);
        }
        const float* c = table + 4 * pr.index + stepG * pg.index + stepB * pb.index;
        const __m128 tr = _mm_set1_ps(pr.weight);
        const __m128 c00 = lerp(_mm_loadu_ps(c), _mm_loadu_ps(c + 4), tr);
        const __m128 c10 = lerp(_mm_loadu_ps(c + stepG), _mm_loadu_ps(c + stepG + 4), tr);
        const __m128 c01 = lerp(_mm_loadu_ps(c + stepB), _mm_loadu_ps(c + stepB + 4), tr);
        const __m128 c11 = lerp(_mm_loadu_ps(c + stepB + stepG), _mm_loadu_ps(c + stepB + stepG + 4), tr);
        const __m128 tg = _mm_set1_ps(pg.weight);
        __m128 v = lerp(lerp(c00, c10, tg), lerp(c01, c11, tg), _mm_set1_ps(pb.weight));
        v = _mm_mul_ps(_mm_min_ps(_mm_max_ps(v, zero), _mm_set1_ps(1.0f)),
                       _mm_set1_ps(static_cast<float>(a)));
        v = _mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)));
        v = _mm_add_ps(_mm_min_ps(v, maxByte), half);
        if constexpr (dstBgra)
            v = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 0, 1, 2));
        __m128i q = _mm_cvttps_epi32(v);
        q = _mm_packs_epi32(q, q);
        q = _mm_packus_epi16(q, q);
        const int word = _mm_cvtsi128_si32(q);
        std::memcpy(d, &word, 4);
    }
}

namespace {

// Four pixels whose cells keep all they hold (corners 0xFF) as they are, as the table lookup
// leaves them, in the destination's layout; the others from `otherwise`.
template <ChannelOrder Src, ChannelOrder Dst>
__m128i keptOrCleared(const std::uint8_t* s, const std::uint32_t m[4], __m128i otherwise) {
    __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    if constexpr (Src != Dst)
        in = _mm_or_si128(_mm_and_si128(in, _mm_set1_epi32(static_cast<int>(0xFF00FF00u))),
                          _mm_or_si128(_mm_and_si128(_mm_srli_epi32(in, 16), _mm_set1_epi32(0xFF)),
                                       _mm_slli_epi32(_mm_and_si128(in, _mm_set1_epi32(0xFF)), 16)));
    const __m128i bits = _mm_set_epi32(static_cast<int>(m[3]), static_cast<int>(m[2]), static_cast<int>(m[1]),
                                       static_cast<int>(m[0]));
    const __m128i whole = _mm_cmpeq_epi32(bits, _mm_set1_epi32(0xFF));
    return _mm_or_si128(_mm_and_si128(whole, in), _mm_andnot_si128(whole, otherwise));
}

// Eight pixels at a time with AVX2, chosen at run time. The arithmetic is that of the table
// lookup, lane by lane, in the same order. The file is built without fused multiply-adds
// (see CMakeLists.txt): one would round a blend step differently.
#define QRN_AVX2 __attribute__((target("avx2")))

struct KeyTables {
    const ColourCubeRows::KeyAxis* axes; // red, green, blue: 256 values each
    const std::uint8_t* blocks;
    const std::uint8_t* corners;
};

QRN_AVX2 inline __m256 lerp8(__m256 a, __m256 b, __m256 t) {
    return _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(b, a), t));
}

// The top five bits of a channel of each pixel, moved from bit 8 * channel + 3 to bit `to`.
template <int Channel, int To> QRN_AVX2 inline __m256i blockField(__m256i w) {
    constexpr int from = 8 * Channel + 3;
    __m256i moved;
    if constexpr (from >= To)
        moved = _mm256_srli_epi32(w, from - To);
    else
        moved = _mm256_slli_epi32(w, To - from);
    return _mm256_and_si256(moved, _mm256_set1_epi32(31 << To));
}

// One axis's table entries for eight pixels, transposed: a vector per field, a pixel a lane.
QRN_AVX2 inline void axisOfEight(const ColourCubeRows::KeyAxis* table, const std::uint8_t* s, int offset,
                                 __m256& weight, __m256& lower, __m256& upper, __m256i& cell) {
    const __m256 p0 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(&table[s[offset]].weight)),
                                           _mm_load_ps(&table[s[16 + offset]].weight), 1);
    const __m256 p1 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(&table[s[4 + offset]].weight)),
                                           _mm_load_ps(&table[s[20 + offset]].weight), 1);
    const __m256 p2 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(&table[s[8 + offset]].weight)),
                                           _mm_load_ps(&table[s[24 + offset]].weight), 1);
    const __m256 p3 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(&table[s[12 + offset]].weight)),
                                           _mm_load_ps(&table[s[28 + offset]].weight), 1);
    const __m256d t0 = _mm256_castps_pd(_mm256_unpacklo_ps(p0, p1)),
                  t1 = _mm256_castps_pd(_mm256_unpacklo_ps(p2, p3)),
                  t2 = _mm256_castps_pd(_mm256_unpackhi_ps(p0, p1)),
                  t3 = _mm256_castps_pd(_mm256_unpackhi_ps(p2, p3));
    weight = _mm256_castpd_ps(_mm256_unpacklo_pd(t0, t1));
    lower = _mm256_castpd_ps(_mm256_unpackhi_pd(t0, t1));
    upper = _mm256_castpd_ps(_mm256_unpacklo_pd(t2, t3));
    cell = _mm256_castpd_si256(_mm256_unpackhi_pd(t2, t3));
}

// The eight corners of one channel, blended along red, then green, then blue.
QRN_AVX2 inline __m256 blendCorners(const __m256 c[8], __m256 tr, __m256 tg, __m256 tb) {
    const __m256 c00 = lerp8(c[0], c[1], tr), c10 = lerp8(c[2], c[3], tr);
    const __m256 c01 = lerp8(c[4], c[5], tr), c11 = lerp8(c[6], c[7], tr);
    return lerp8(lerp8(c00, c10, tg), lerp8(c01, c11, tg), tb);
}

QRN_AVX2 inline __m256 scaledToByte(__m256 v) {
    return _mm256_mul_ps(_mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(1.0f)),
                         _mm256_set1_ps(255.0f));
}

QRN_AVX2 inline __m256i roundedUnder(__m256 v, __m256 alpha) {
    return _mm256_cvttps_epi32(
        _mm256_add_ps(_mm256_min_ps(_mm256_min_ps(v, alpha), _mm256_set1_ps(255.0f)), _mm256_set1_ps(0.5f)));
}

// Per axis, the weight, lower and upper value of eight pixels, a vector each.
struct AxesOfEight {
    __m256 tr, r0, r1, tg, g0, g1, tb, b0, b1;
};

// Eight opaque pixels in cells whose corners are `corners`: the blend of each.
template <ChannelOrder Dst> QRN_AVX2 inline __m256i blendEight(const AxesOfEight& p, __m256i corners) {
    constexpr ChannelOffsets di = channelOffsets(Dst);
    const __m256 tr = p.tr, r0 = p.r0, r1 = p.r1, tg = p.tg, g0 = p.g0, g1 = p.g1, tb = p.tb, b0 = p.b0,
                 b1 = p.b1;
    __m256 keeps[8];
    for (int k = 0; k < 8; ++k) {
        const __m256i bit = _mm256_set1_epi32(1 << k);
        keeps[k] = _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(corners, bit), bit));
    }
    __m256 c[8];
    for (int k = 0; k < 8; ++k)
        c[k] = _mm256_and_ps(_mm256_set1_ps(1.0f), keeps[k]);
    const __m256 a = scaledToByte(blendCorners(c, tr, tg, tb));
    for (int k = 0; k < 8; ++k)
        c[k] = _mm256_and_ps(k & 1 ? r1 : r0, keeps[k]);
    const __m256i r = roundedUnder(scaledToByte(blendCorners(c, tr, tg, tb)), a);
    for (int k = 0; k < 8; ++k)
        c[k] = _mm256_and_ps(k & 2 ? g1 : g0, keeps[k]);
    const __m256i g = roundedUnder(scaledToByte(blendCorners(c, tr, tg, tb)), a);
    for (int k = 0; k < 8; ++k)
        c[k] = _mm256_and_ps(k & 4 ? b1 : b0, keeps[k]);
    const __m256i b = roundedUnder(scaledToByte(blendCorners(c, tr, tg, tb)), a);
    const __m256i alpha = roundedUnder(a, a);
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_slli_epi32(r, 8 * di.r), _mm256_slli_epi32(g, 8 * di.g)),
        _mm256_or_si256(_mm256_slli_epi32(b, 8 * di.b), _mm256_slli_epi32(alpha, 8 * di.a)));
}

// Whole groups of eight from the start of the row, up to the first group with a pixel that is
// not opaque; returns how many pixels it did.
template <ChannelOrder Src, ChannelOrder Dst>
QRN_AVX2 int lookUpKeyByEight(const KeyTables& t, const std::uint8_t* s, std::uint8_t* d, int width) {
    constexpr ChannelOffsets si = channelOffsets(Src);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFFu << (8 * si.a)));
    const __m256i low = _mm256_set1_epi32(0xFF), zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + 8 <= width; x += 8, s += 32, d += 32) {
        _mm_prefetch(reinterpret_cast<const char*>(s) + 1024, _MM_HINT_T0);
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(w, opaque), opaque)) != -1)
            break;
        const __m256i at = _mm256_or_si256(_mm256_or_si256(blockField<si.r, 0>(w), blockField<si.g, 5>(w)),
                                           blockField<si.b, 10>(w));
        const __m256i block =
            _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(t.blocks), at, 1), low);
        if (_mm256_testz_si256(block, block)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), zero);
            continue;
        }
        __m256i in = w;
        if constexpr (Src != Dst)
            in = _mm256_or_si256(_mm256_and_si256(in, _mm256_set1_epi32(static_cast<int>(0xFF00FF00u))),
                                 _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(in, 16), low),
                                                 _mm256_slli_epi32(_mm256_and_si256(in, low), 16)));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(block, _mm256_set1_epi32(1))) == -1) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), in);
            continue;
        }
        // A block's summary agrees with the corners of every cell in it, so reading the
        // corners of all eight is right whatever their blocks said.
        AxesOfEight p;
        __m256i cr, cg, cb;
        axisOfEight(t.axes, s, si.r, p.tr, p.r0, p.r1, cr);
        axisOfEight(t.axes + 256, s, si.g, p.tg, p.g0, p.g1, cg);
        axisOfEight(t.axes + 512, s, si.b, p.tb, p.b0, p.b1, cb);
        // The cell of each pixel: the offsets of its three axis positions, added.
        const __m256i cell = _mm256_add_epi32(_mm256_add_epi32(cr, cg), cb);
        const __m256i corners =
            _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(t.corners), cell, 1), low);
        // Only cells with corners of both kinds blend; the others keep or clear their pixel.
        const __m256i edge = _mm256_and_si256(_mm256_xor_si256(corners, _mm256_srli_epi32(corners, 1)),
                                              _mm256_set1_epi32(0x7F));
        const __m256i whole = _mm256_cmpeq_epi32(corners, low);
        const __m256i otherwise = _mm256_testz_si256(edge, edge) ? zero : blendEight<Dst>(p, corners);
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(d),
            _mm256_or_si256(_mm256_and_si256(whole, in), _mm256_andnot_si256(whole, otherwise)));
    }
    return x;
}

#undef QRN_AVX2

// The same with AVX-512, sixteen pixels at a time: twice the lanes and enough registers that
// nothing is set aside in memory.
#define QRN_AVX512 __attribute__((target("avx512f")))

QRN_AVX512 inline __m512 lerp16(__m512 a, __m512 b, __m512 t) {
    return _mm512_add_ps(a, _mm512_mul_ps(_mm512_sub_ps(b, a), t));
}

template <int Channel, int To> QRN_AVX512 inline __m512i blockField16(__m512i w) {
    constexpr int from = 8 * Channel + 3;
    __m512i moved;
    if constexpr (from >= To)
        moved = _mm512_srli_epi32(w, from - To);
    else
        moved = _mm512_slli_epi32(w, To - from);
    return _mm512_and_si512(moved, _mm512_set1_epi32(31 << To));
}

// Four pixels' entries, a 128-bit lane each: pixels j, j + 4, j + 8 and j + 12.
QRN_AVX512 inline __m512 entriesOfFour(const ColourCubeRows::KeyAxis* table, const std::uint8_t* s, int at) {
    __m512 v = _mm512_castps128_ps512(_mm_load_ps(&table[s[at]].weight));
    v = _mm512_insertf32x4(v, _mm_load_ps(&table[s[at + 16]].weight), 1);
    v = _mm512_insertf32x4(v, _mm_load_ps(&table[s[at + 32]].weight), 2);
    return _mm512_insertf32x4(v, _mm_load_ps(&table[s[at + 48]].weight), 3);
}

struct AxesOfSixteen {
    __m512 tr, r0, r1, tg, g0, g1, tb, b0, b1;
};

QRN_AVX512 inline void axisOfSixteen(const ColourCubeRows::KeyAxis* table, const std::uint8_t* s, int offset,
                                     __m512& weight, __m512& lower, __m512& upper, __m512i& cell) {
    const __m512 p0 = entriesOfFour(table, s, offset), p1 = entriesOfFour(table, s, 4 + offset),
                 p2 = entriesOfFour(table, s, 8 + offset), p3 = entriesOfFour(table, s, 12 + offset);
    const __m512d t0 = _mm512_castps_pd(_mm512_unpacklo_ps(p0, p1)),
                  t1 = _mm512_castps_pd(_mm512_unpacklo_ps(p2, p3)),
                  t2 = _mm512_castps_pd(_mm512_unpackhi_ps(p0, p1)),
                  t3 = _mm512_castps_pd(_mm512_unpackhi_ps(p2, p3));
    weight = _mm512_castpd_ps(_mm512_unpacklo_pd(t0, t1));
    lower = _mm512_castpd_ps(_mm512_unpackhi_pd(t0, t1));
    upper = _mm512_castpd_ps(_mm512_unpacklo_pd(t2, t3));
    cell = _mm512_castpd_si512(_mm512_unpackhi_pd(t2, t3));
}

// Along red, a pair of corners gives one of four values by which of the two keep their
// colour: neither 0, the upper alone upper * t, the lower alone lower - lower * t, both
// lower + (upper - lower) * t. Those are the blend's own steps with the zeros left out, so
// the values are the same; each is worked out once for all the pairs that share it.
struct PairValues {
    __m512 upperOnly, lowerOnly, both;
};

QRN_AVX512 inline __m512 pairValue(const PairValues& v, __mmask16 lower, __mmask16 upper) {
    return _mm512_mask_mov_ps(_mm512_maskz_mov_ps(upper, v.upperOnly), lower,
                              _mm512_mask_blend_ps(upper, v.lowerOnly, v.both));
}

// A channel whose value is the same at both corners of a pair.
QRN_AVX512 inline PairValues evenPair(__m512 value, __m512 t) {
    const __m512 upper = _mm512_mul_ps(value, t);
    return {upper, _mm512_sub_ps(value, upper), value};
}

QRN_AVX512 inline __m512 blendPairs(__m512 c00, __m512 c10, __m512 c01, __m512 c11, __m512 tg, __m512 tb) {
    return lerp16(lerp16(c00, c10, tg), lerp16(c01, c11, tg), tb);
}

QRN_AVX512 inline __m512 scaledToByte16(__m512 v) {
    return _mm512_mul_ps(_mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(1.0f)),
                         _mm512_set1_ps(255.0f));
}

QRN_AVX512 inline __m512i roundedUnder16(__m512 v, __m512 alpha) {
    return _mm512_cvttps_epi32(
        _mm512_add_ps(_mm512_min_ps(_mm512_min_ps(v, alpha), _mm512_set1_ps(255.0f)), _mm512_set1_ps(0.5f)));
}

template <ChannelOrder Dst> QRN_AVX512 inline __m512i blendSixteen(const AxesOfSixteen& p, __m512i corners) {
    constexpr ChannelOffsets di = channelOffsets(Dst);
    __mmask16 k[8];
    for (int i = 0; i < 8; ++i)
        k[i] = _mm512_test_epi32_mask(corners, _mm512_set1_epi32(1 << i));
    const __m512 one = _mm512_set1_ps(1.0f);
    const PairValues alphaPair{p.tr, _mm512_sub_ps(one, p.tr), one};
    const __m512 a = scaledToByte16(
        blendPairs(pairValue(alphaPair, k[0], k[1]), pairValue(alphaPair, k[2], k[3]),
                   pairValue(alphaPair, k[4], k[5]), pairValue(alphaPair, k[6], k[7]), p.tg, p.tb));
    const __m512 r0t = _mm512_mul_ps(p.r0, p.tr);
    const PairValues redPair{_mm512_mul_ps(p.r1, p.tr), _mm512_sub_ps(p.r0, r0t),
                             _mm512_add_ps(p.r0, _mm512_mul_ps(_mm512_sub_ps(p.r1, p.r0), p.tr))};
    const __m512i r =
        roundedUnder16(scaledToByte16(blendPairs(
                           pairValue(redPair, k[0], k[1]), pairValue(redPair, k[2], k[3]),
                           pairValue(redPair, k[4], k[5]), pairValue(redPair, k[6], k[7]), p.tg, p.tb)),
                       a);
    const PairValues green0 = evenPair(p.g0, p.tr), green1 = evenPair(p.g1, p.tr);
    const __m512i g = roundedUnder16(
        scaledToByte16(blendPairs(pairValue(green0, k[0], k[1]), pairValue(green1, k[2], k[3]),
                                  pairValue(green0, k[4], k[5]), pairValue(green1, k[6], k[7]), p.tg, p.tb)),
        a);
    const PairValues blue0 = evenPair(p.b0, p.tr), blue1 = evenPair(p.b1, p.tr);
    const __m512i b = roundedUnder16(
        scaledToByte16(blendPairs(pairValue(blue0, k[0], k[1]), pairValue(blue0, k[2], k[3]),
                                  pairValue(blue1, k[4], k[5]), pairValue(blue1, k[6], k[7]), p.tg, p.tb)),
        a);
    const __m512i alpha = roundedUnder16(a, a);
    return _mm512_or_si512(
        _mm512_or_si512(_mm512_slli_epi32(r, 8 * di.r), _mm512_slli_epi32(g, 8 * di.g)),
        _mm512_or_si512(_mm512_slli_epi32(b, 8 * di.b), _mm512_slli_epi32(alpha, 8 * di.a)));
}

template <ChannelOrder Src, ChannelOrder Dst>
QRN_AVX512 int lookUpKeyBySixteen(const KeyTables& t, const std::uint8_t* s, std::uint8_t* d, int width) {
    constexpr ChannelOffsets si = channelOffsets(Src);
    const __m512i opaque = _mm512_set1_epi32(static_cast<int>(0xFFu << (8 * si.a)));
    const __m512i low = _mm512_set1_epi32(0xFF), zero = _mm512_setzero_si512();
    int x = 0;
    for (; x + 16 <= width; x += 16, s += 64, d += 64) {
        _mm_prefetch(reinterpret_cast<const char*>(s) + 1024, _MM_HINT_T0);
        const __m512i w = _mm512_loadu_si512(s);
        if (_mm512_cmpeq_epi32_mask(_mm512_and_si512(w, opaque), opaque) != 0xFFFF)
            break;
        const __m512i at = _mm512_or_si512(
            _mm512_or_si512(blockField16<si.r, 0>(w), blockField16<si.g, 5>(w)), blockField16<si.b, 10>(w));
        const __m512i block = _mm512_and_si512(_mm512_i32gather_epi32(at, t.blocks, 1), low);
        if (_mm512_test_epi32_mask(block, block) == 0) {
            _mm512_storeu_si512(d, zero);
            continue;
        }
        __m512i in = w;
        if constexpr (Src != Dst)
            in = _mm512_or_si512(_mm512_and_si512(in, _mm512_set1_epi32(static_cast<int>(0xFF00FF00u))),
                                 _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(in, 16), low),
                                                 _mm512_slli_epi32(_mm512_and_si512(in, low), 16)));
        if (_mm512_cmpeq_epi32_mask(block, _mm512_set1_epi32(1)) == 0xFFFF) {
            _mm512_storeu_si512(d, in);
            continue;
        }
        AxesOfSixteen p;
        __m512i cr, cg, cb;
        axisOfSixteen(t.axes, s, si.r, p.tr, p.r0, p.r1, cr);
        axisOfSixteen(t.axes + 256, s, si.g, p.tg, p.g0, p.g1, cg);
        axisOfSixteen(t.axes + 512, s, si.b, p.tb, p.b0, p.b1, cb);
        const __m512i cell = _mm512_add_epi32(_mm512_add_epi32(cr, cg), cb);
        const __m512i corners = _mm512_and_si512(_mm512_i32gather_epi32(cell, t.corners, 1), low);
        const __m512i edge = _mm512_and_si512(_mm512_xor_si512(corners, _mm512_srli_epi32(corners, 1)),
                                              _mm512_set1_epi32(0x7F));
        const __mmask16 whole = _mm512_cmpeq_epi32_mask(corners, low);
        const __m512i otherwise =
            _mm512_test_epi32_mask(edge, edge) == 0 ? zero : blendSixteen<Dst>(p, corners);
        _mm512_storeu_si512(d, _mm512_mask_mov_epi32(otherwise, whole, in));
    }
    return x;
}

#undef QRN_AVX512

} // namespace

template <ChannelOrder Src, ChannelOrder Dst>
void ColourCubeRows::lookUpKey(const std::uint8_t* s, std::uint8_t* d, int width) const {
    if (kernels_ == Kernels::Baseline) {
        lookUpKeyByFour<Src, Dst>(s, d, width);
        return;
    }
    const KeyTables tables{keyAxes_.get(), cube_.blocks(), cube_.corners()};
    int x = 0;
    while (kernels_ == Kernels::Avx512 && width - x >= 16) {
        x += lookUpKeyBySixteen<Src, Dst>(tables, s + 4 * x, d + 4 * x, width - x);
        if (width - x >= 16) {
            lookUp<Src, Dst>(s + 4 * x, d + 4 * x, 16);
            x += 16;
        }
    }
    while (width - x >= 8) {
        x += lookUpKeyByEight<Src, Dst>(tables, s + 4 * x, d + 4 * x, width - x);
        // A group with a pixel that is not opaque: the general lookup.
        if (width - x >= 8) {
            lookUp<Src, Dst>(s + 4 * x, d + 4 * x, 8);
            x += 8;
        }
    }
    lookUpKeyByFour<Src, Dst>(s + 4 * x, d + 4 * x, width - x);
}

template <ChannelOrder Src, ChannelOrder Dst>
void ColourCubeRows::lookUpKeyByFour(const std::uint8_t* s, std::uint8_t* d, int width) const {
    constexpr ChannelOffsets si = channelOffsets(Src);
    const std::uint8_t* corners = cube_.corners();
    const std::uint8_t* blocks = cube_.blocks();
    const KeyAxis* red = keyAxes_.get();
    const KeyAxis* green = red + 256;
    const KeyAxis* blue = green + 256;
    // Four pixels at a time: those of a camera picture mostly lie in cells that keep or clear
    // all they hold, and the four together are copied or cleared; a group with a cell on the
    // key's edge is blended in one go.

    // The block of a pixel: the top five bits of red, green and blue side by side, moved from
    // where the channel lies in the pixel's word.
    auto field = [](__m128i w, int channel, int to) {
        const int from = 8 * channel + 3;
        const __m128i moved = from >= to ? _mm_srli_epi32(w, from - to) : _mm_slli_epi32(w, to - from);
        return _mm_and_si128(moved, _mm_set1_epi32(31 << to));
    };
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFFu << (8 * si.a)));
    int x = 0;
    for (; x + 4 <= width; x += 4, s += 16, d += 16) {
        // Little work a pixel leaves the loop waiting on memory unless the source is asked for
        // ahead: this halves the time on a picture that is not in the cache.
        _mm_prefetch(reinterpret_cast<const char*>(s) + 1024, _MM_HINT_T0);
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(w, opaque), opaque)) != 0xFFFF) {
            lookUp<Src, Dst>(s, d, 4);
            continue;
        }
        alignas(16) std::int32_t at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at),
                        _mm_or_si128(_mm_or_si128(field(w, si.r, 0), field(w, si.g, 5)), field(w, si.b, 10)));
        const std::uint8_t block[4] = {blocks[at[0]], blocks[at[1]], blocks[at[2]], blocks[at[3]]};
        std::uint32_t all;
        std::memcpy(&all, block, 4);
        if (all == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_setzero_si128());
            continue;
        }
        if (all == 0x01010101u && Src == Dst) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), w);
            continue;
        }
        std::uint32_t m[4];
        for (int j = 0; j < 4; ++j) {
            const std::uint8_t* p = s + 4 * j;
            m[j] = block[j] == 2   ? corners[red[p[si.r]].cell + green[p[si.g]].cell + blue[p[si.b]].cell]
                   : block[j] == 1 ? 0xFF
                                   : 0;
        }
        // Only cells with corners of both kinds blend; the others keep or clear their pixel.
        std::uint32_t edge = 0;
        for (int j = 0; j < 4; ++j)
            edge |= (m[j] ^ (m[j] >> 1)) & 0x7F;
        if (edge)
            blendFour<Src, Dst>(s, d, m);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                             keptOrCleared<Src, Dst>(s, m, _mm_setzero_si128()));
    }
    if (x < width)
        lookUp<Src, Dst>(s, d, width - x);
}

template <ChannelOrder Src, ChannelOrder Dst>
void ColourCubeRows::blendFour(const std::uint8_t* s, std::uint8_t* d, const std::uint32_t m[4]) const {
    constexpr ChannelOffsets si = channelOffsets(Src), di = channelOffsets(Dst);
    // Per pixel and axis: weight, lower value, upper value, cell offset; transposed, a vector
    // per field with a pixel a lane.
    auto axis = [s](const KeyAxis* table, int offset, __m128& weight, __m128& lower, __m128& upper) {
        __m128 p0 = _mm_load_ps(&table[s[offset]].weight), p1 = _mm_load_ps(&table[s[4 + offset]].weight),
               p2 = _mm_load_ps(&table[s[8 + offset]].weight),
               p3 = _mm_load_ps(&table[s[12 + offset]].weight);
        _MM_TRANSPOSE4_PS(p0, p1, p2, p3);
        weight = p0, lower = p1, upper = p2;
    };
    const KeyAxis* table = keyAxes_.get();
    __m128 tr, r0, r1, tg, g0, g1, tb, b0, b1;
    axis(table, si.r, tr, r0, r1);
    axis(table + 256, si.g, tg, g0, g1);
    axis(table + 512, si.b, tb, b0, b1);
    const __m128i bits = _mm_set_epi32(static_cast<int>(m[3]), static_cast<int>(m[2]), static_cast<int>(m[1]),
                                       static_cast<int>(m[0]));
    __m128 keeps[8];
    for (int k = 0; k < 8; ++k) {
        const __m128i bit = _mm_set1_epi32(1 << k);
        keeps[k] = _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(bits, bit), bit));
    }
    // The corner entries of one channel, blended as the table lookup blends them, lane by lane,
    // so the bytes are the same.
    auto blend = [&](auto corner) {
        const __m128 c00 = lerp(corner(0), corner(1), tr), c10 = lerp(corner(2), corner(3), tr);
        const __m128 c01 = lerp(corner(4), corner(5), tr), c11 = lerp(corner(6), corner(7), tr);
        return lerp(lerp(c00, c10, tg), lerp(c01, c11, tg), tb);
    };
    const __m128 one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps(), maxByte = _mm_set1_ps(255.0f);
    auto scaled = [&](__m128 v) { return _mm_mul_ps(_mm_min_ps(_mm_max_ps(v, zero), one), maxByte); };
    const __m128 a = scaled(blend([&](int k) { return _mm_and_ps(one, keeps[k]); }));
    // Colour capped at the alpha, rounded to a byte.
    auto rounded = [&](__m128 v) {
        return _mm_cvttps_epi32(_mm_add_ps(_mm_min_ps(_mm_min_ps(v, a), maxByte), _mm_set1_ps(0.5f)));
    };
    const __m128i r = rounded(scaled(blend([&](int k) { return _mm_and_ps(k & 1 ? r1 : r0, keeps[k]); })));
    const __m128i g = rounded(scaled(blend([&](int k) { return _mm_and_ps(k & 2 ? g1 : g0, keeps[k]); })));
    const __m128i b = rounded(scaled(blend([&](int k) { return _mm_and_ps(k & 4 ? b1 : b0, keeps[k]); })));
    const __m128i alpha = rounded(a);
    __m128i out = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(r, 8 * di.r), _mm_slli_epi32(g, 8 * di.g)),
                               _mm_or_si128(_mm_slli_epi32(b, 8 * di.b), _mm_slli_epi32(alpha, 8 * di.a)));
    out = keptOrCleared<Src, Dst>(s, m, out);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), out);
}

void applyColourCube(const ColourCube& cube, ConstImageView src, ImageView dst, int rowBegin, int rowEnd) {
    const int width = std::min(src.width, dst.width);
    const ColourCubeRows rows(cube, src.order, dst.order);
    for (int y = rowBegin; y < rowEnd; ++y)
        rows(src.row(y), dst.row(y), width);
}

Image applyColourCube(const ColourCube& cube, const Image& src, int threads) {
    return runInBands(src, threads, [&cube](ConstImageView s, ImageView d, int b, int e) {
        applyColourCube(cube, s, d, b, e);
    });
}

} // namespace qrn::imaging
