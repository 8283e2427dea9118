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
    const int n = dimension_, m = n - 1;
    // Past 256 positions an axis has more cells than 8-bit values, and a cell's offset would
    // not fit the axis words.
    if (n > 256 || std::any_of(kind.begin(), kind.end(), [](std::uint8_t k) { return k == 0; }))
        return;
    cellWords_.resize(static_cast<std::size_t>(m) * m * m);
    const std::size_t stepG = static_cast<std::size_t>(n), stepB = stepG * stepG;
    auto keeps = [&kind](std::size_t i, int corner) { return static_cast<unsigned>(kind[i] == 1) << corner; };
    std::uint32_t* cell = cellWords_.data();
    for (int b = 0; b < m; ++b)
        for (int g = 0; g < m; ++g)
            for (int r = 0; r < m; ++r) {
                const std::size_t i = static_cast<std::size_t>(r) + stepG * g + stepB * b;
                *cell++ = keeps(i, 0) | keeps(i + 1, 1) | keeps(i + stepG, 2) | keeps(i + stepG + 1, 3) |
                          keeps(i + stepB, 4) | keeps(i + stepB + 1, 5) | keeps(i + stepB + stepG, 6) |
                          keeps(i + stepB + stepG + 1, 7);
            }
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
                std::uint32_t all = 0xFF, any = 0;
                for (int cb = first[b]; cb <= last[b]; ++cb)
                    for (int cg = first[g]; cg <= last[g]; ++cg)
                        for (int cr = first[r]; cr <= last[r]; ++cr) {
                            const std::uint32_t c = cellWords_[static_cast<std::size_t>(cr) +
                                                               static_cast<std::size_t>(m) *
                                                                   (cg + static_cast<std::size_t>(m) * cb)];
                            all &= c;
                            any |= c;
                        }
                blocks_[static_cast<std::size_t>(r + 32 * (g + 32 * b))] = any == 0 ? 0 : all == 0xFF ? 1 : 2;
            }
    findEdgeColours();
}

void ColourCube::findEdgeColours() {
    const int n = dimension_, m = n - 1;
    // The values each position holds: a run, as positions rise with the value.
    std::vector<int> firstValue(static_cast<std::size_t>(m), 256), count(static_cast<std::size_t>(m), 0);
    for (int v = 255; v >= 0; --v) {
        const int i = ColourCubeRows::opaqueCell(v, n);
        firstValue[static_cast<std::size_t>(i)] = v;
        ++count[static_cast<std::size_t>(i)];
    }
    const bool placesFit = *std::max_element(count.begin(), count.end()) <= 15;
    axisWords_.resize(3 * 256);
    for (int axis = 0; axis < 3; ++axis)
        for (int v = 0; v < 256; ++v) {
            const auto i = static_cast<std::size_t>(ColourCubeRows::opaqueCell(v, n));
            const std::uint32_t stride = axis == 0 ? 1 : axis == 1 ? m : m * m;
            std::uint32_t word = static_cast<std::uint32_t>(i) * stride;
            if (placesFit)
                word |= static_cast<std::uint32_t>(v - firstValue[i]) << 24 |
                        static_cast<std::uint32_t>(count[i]) << 28;
            axisWords_[static_cast<std::size_t>(axis * 256 + v)] = word;
        }
    if (!placesFit)
        return;
    auto onEdge = [](std::uint32_t word) { return (word & 0xFF) != 0 && (word & 0xFF) != 0xFF; };
    auto cellColours = [&](int r, int g, int b) {
        return static_cast<std::size_t>(count[static_cast<std::size_t>(r)] *
                                        count[static_cast<std::size_t>(g)] *
                                        count[static_cast<std::size_t>(b)]);
    };
    std::size_t total = 0;
    for (int b = 0; b < m; ++b)
        for (int g = 0; g < m; ++g)
            for (int r = 0; r < m; ++r)
                if (onEdge(
                        cellWords_[static_cast<std::size_t>(r + m * (g + static_cast<std::size_t>(m) * b))]))
                    total += cellColours(r, g, b);
    // A hue key has some half a million; a table this coarse is mostly edge and blends instead.
    constexpr std::size_t kMostEdgeColours = std::size_t(1) << 21;
    if (total > kMostEdgeColours)
        return;
    std::vector<std::uint32_t> colours(total);
    std::vector<std::uint8_t> row;
    const ColourCubeRows rows(*this, ChannelOrder::RGBA, ChannelOrder::BGRA);
    std::size_t at = 0;
    for (int b = 0; b < m; ++b)
        for (int g = 0; g < m; ++g)
            for (int r = 0; r < m; ++r) {
                std::uint32_t& word =
                    cellWords_[static_cast<std::size_t>(r + m * (g + static_cast<std::size_t>(m) * b))];
                if (!onEdge(word))
                    continue;
                word |= static_cast<std::uint32_t>(at) << 8;
                row.clear();
                for (int vb = 0; vb < count[static_cast<std::size_t>(b)]; ++vb)
                    for (int vg = 0; vg < count[static_cast<std::size_t>(g)]; ++vg)
                        for (int vr = 0; vr < count[static_cast<std::size_t>(r)]; ++vr)
                            for (int v : {firstValue[static_cast<std::size_t>(r)] + vr,
                                          firstValue[static_cast<std::size_t>(g)] + vg,
                                          firstValue[static_cast<std::size_t>(b)] + vb, 255})
                                row.push_back(static_cast<std::uint8_t>(v));
                const int width = static_cast<int>(row.size() / 4);
                rows.blend(row.data(), reinterpret_cast<std::uint8_t*>(colours.data() + at), width);
                at += static_cast<std::size_t>(width);
            }
    edgeColours_ = std::move(colours);
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
    if (cube.isKey())
        kernels_ = std::min(kernels, widest());
}

void ColourCubeRows::copy(const std::uint8_t* s, std::uint8_t* d, int width) const {
    const ChannelOffsets si = channelOffsets(srcOrder_), di = channelOffsets(dstOrder_);
    for (int x = 0; x < width; ++x, s += 4, d += 4) {
        const std::uint8_t r = s[si.r], g = s[si.g], b = s[si.b], a = s[si.a];
        d[di.r] = r, d[di.g] = g, d[di.b] = b, d[di.a] = a;
    }
}

void ColourCubeRows::operator()(const std::uint8_t* s, std::uint8_t* d, int width) const {
    if (!cube_.isKey()) {
        blend(s, d, width);
        return;
    }
    // With the layouts fixed at compile time the channel offsets are constants, which leaves
    // registers for the lookup.
    const bool srcBgra = srcOrder_ == ChannelOrder::BGRA, dstBgra = dstOrder_ == ChannelOrder::BGRA;
    if (srcBgra && dstBgra)
        lookUpKey<ChannelOrder::BGRA, ChannelOrder::BGRA>(s, d, width);
    else if (srcBgra)
        lookUpKey<ChannelOrder::BGRA, ChannelOrder::RGBA>(s, d, width);
    else if (dstBgra)
        lookUpKey<ChannelOrder::RGBA, ChannelOrder::BGRA>(s, d, width);
    else
        lookUpKey<ChannelOrder::RGBA, ChannelOrder::RGBA>(s, d, width);
}

void ColourCubeRows::blend(const std::uint8_t* s, std::uint8_t* d, int width) const {
    if (!cube_.isValid()) {
        copy(s, d, width);
        return;
    }
    const bool srcBgra = srcOrder_ == ChannelOrder::BGRA, dstBgra = dstOrder_ == ChannelOrder::BGRA;
    if (srcBgra && dstBgra)
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

// Red and blue swapped: a word of one layout in the other.
inline std::uint32_t swappedRedBlue(std::uint32_t w) {
    return (w & 0xFF00FF00u) | (w >> 16 & 0xFFu) | (w & 0xFFu) << 16;
}

// Where a colour lies among those of its edge cell, from its three axis words.
inline std::uint32_t placeInCell(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    auto place = [](std::uint32_t a) { return a >> 24 & 15; };
    return place(r) + (r >> 28) * (place(g) + (g >> 28) * place(b));
}

struct KeyTables {
    const std::uint32_t* axes; // red, green, blue: 256 values each
    const std::uint8_t* blocks;
    const std::uint32_t* cells;
    const std::uint32_t* edges; // null when the edge colours blend
};

// Eight pixels at a time with AVX2, chosen at run time: a gather a table where the
// four-at-a-time lookup reads each pixel's entries one by one.
#define QRN_AVX2 __attribute__((target("avx2")))

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

// One axis's words for eight pixels.
template <int Channel> QRN_AVX2 inline __m256i axisOfEight(const std::uint32_t* axis, __m256i w) {
    const __m256i value = _mm256_and_si256(_mm256_srli_epi32(w, 8 * Channel), _mm256_set1_epi32(0xFF));
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(axis), value, 4);
}

// placeInCell() for eight pixels. Places and counts are below 16, so 16-bit products do.
QRN_AVX2 inline __m256i placeInCellOfEight(__m256i r, __m256i g, __m256i b) {
    const __m256i nibble = _mm256_set1_epi32(15);
    const __m256i pr = _mm256_and_si256(_mm256_srli_epi32(r, 24), nibble),
                  pg = _mm256_and_si256(_mm256_srli_epi32(g, 24), nibble),
                  pb = _mm256_and_si256(_mm256_srli_epi32(b, 24), nibble);
    return _mm256_add_epi32(
        pr, _mm256_mullo_epi16(_mm256_srli_epi32(r, 28),
                               _mm256_add_epi32(pg, _mm256_mullo_epi16(_mm256_srli_epi32(g, 28), pb))));
}

QRN_AVX2 inline __m256i swappedRedBlue8(__m256i w) {
    const __m256i low = _mm256_set1_epi32(0xFF);
    return _mm256_or_si256(_mm256_and_si256(w, _mm256_set1_epi32(static_cast<int>(0xFF00FF00u))),
                           _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(w, 16), low),
                                           _mm256_slli_epi32(_mm256_and_si256(w, low), 16)));
}

// Whole groups of eight from the start of the row, up to the first group with a pixel that is
// not opaque, or on the key's edge when its colours blend; returns how many pixels it did.
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
            in = swappedRedBlue8(in);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(block, _mm256_set1_epi32(1))) == -1) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), in);
            continue;
        }
        // A block's summary agrees with the corners of every cell in it, so reading the
        // cells of all eight is right whatever their blocks said.
        const __m256i ar = axisOfEight<si.r>(t.axes, w), ag = axisOfEight<si.g>(t.axes + 256, w),
                      ab = axisOfEight<si.b>(t.axes + 512, w);
        const __m256i cell =
            _mm256_and_si256(_mm256_add_epi32(_mm256_add_epi32(ar, ag), ab), _mm256_set1_epi32(0xFFFFFF));
        const __m256i word = _mm256_i32gather_epi32(reinterpret_cast<const int*>(t.cells), cell, 4);
        const __m256i corners = _mm256_and_si256(word, low);
        const __m256i whole = _mm256_cmpeq_epi32(corners, low);
        const __m256i edge = _mm256_andnot_si256(_mm256_or_si256(whole, _mm256_cmpeq_epi32(corners, zero)),
                                                 _mm256_set1_epi32(-1));
        __m256i out = _mm256_and_si256(whole, in);
        if (!_mm256_testz_si256(edge, edge)) {
            if (!t.edges)
                break;
            const __m256i inCell = placeInCellOfEight(ar, ag, ab);
            __m256i got =
                _mm256_mask_i32gather_epi32(zero, reinterpret_cast<const int*>(t.edges),
                                            _mm256_add_epi32(_mm256_srli_epi32(word, 8), inCell), edge, 4);
            if constexpr (Dst != ChannelOrder::BGRA)
                got = swappedRedBlue8(got);
            out = _mm256_or_si256(out, got);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), out);
    }
    return x;
}

#undef QRN_AVX2

// The same with AVX-512, sixteen pixels at a time.
#define QRN_AVX512 __attribute__((target("avx512f")))

template <int Channel, int To> QRN_AVX512 inline __m512i blockField16(__m512i w) {
    constexpr int from = 8 * Channel + 3;
    __m512i moved;
    if constexpr (from >= To)
        moved = _mm512_srli_epi32(w, from - To);
    else
        moved = _mm512_slli_epi32(w, To - from);
    return _mm512_and_si512(moved, _mm512_set1_epi32(31 << To));
}

template <int Channel> QRN_AVX512 inline __m512i axisOfSixteen(const std::uint32_t* axis, __m512i w) {
    const __m512i value = _mm512_and_si512(_mm512_srli_epi32(w, 8 * Channel), _mm512_set1_epi32(0xFF));
    return _mm512_i32gather_epi32(value, axis, 4);
}

QRN_AVX512 inline __m512i placeInCellOfSixteen(__m512i r, __m512i g, __m512i b) {
    const __m512i nibble = _mm512_set1_epi32(15);
    const __m512i pr = _mm512_and_si512(_mm512_srli_epi32(r, 24), nibble),
                  pg = _mm512_and_si512(_mm512_srli_epi32(g, 24), nibble),
                  pb = _mm512_and_si512(_mm512_srli_epi32(b, 24), nibble);
    return _mm512_add_epi32(
        pr, _mm512_mullo_epi32(_mm512_srli_epi32(r, 28),
                               _mm512_add_epi32(pg, _mm512_mullo_epi32(_mm512_srli_epi32(g, 28), pb))));
}

QRN_AVX512 inline __m512i swappedRedBlue16(__m512i w) {
    const __m512i low = _mm512_set1_epi32(0xFF);
    return _mm512_or_si512(_mm512_and_si512(w, _mm512_set1_epi32(static_cast<int>(0xFF00FF00u))),
                           _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(w, 16), low),
                                           _mm512_slli_epi32(_mm512_and_si512(w, low), 16)));
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
            in = swappedRedBlue16(in);
        if (_mm512_cmpeq_epi32_mask(block, _mm512_set1_epi32(1)) == 0xFFFF) {
            _mm512_storeu_si512(d, in);
            continue;
        }
        const __m512i ar = axisOfSixteen<si.r>(t.axes, w), ag = axisOfSixteen<si.g>(t.axes + 256, w),
                      ab = axisOfSixteen<si.b>(t.axes + 512, w);
        const __m512i cell =
            _mm512_and_si512(_mm512_add_epi32(_mm512_add_epi32(ar, ag), ab), _mm512_set1_epi32(0xFFFFFF));
        const __m512i word = _mm512_i32gather_epi32(cell, t.cells, 4);
        const __m512i corners = _mm512_and_si512(word, low);
        const __mmask16 whole = _mm512_cmpeq_epi32_mask(corners, low);
        const __mmask16 edge = _mm512_test_epi32_mask(corners, corners) & static_cast<__mmask16>(~whole);
        __m512i out = _mm512_maskz_mov_epi32(whole, in);
        if (edge) {
            if (!t.edges)
                break;
            const __m512i inCell = placeInCellOfSixteen(ar, ag, ab);
            __m512i got = _mm512_mask_i32gather_epi32(
                zero, edge, _mm512_add_epi32(_mm512_srli_epi32(word, 8), inCell), t.edges, 4);
            if constexpr (Dst != ChannelOrder::BGRA)
                got = swappedRedBlue16(got);
            out = _mm512_or_si512(out, got);
        }
        _mm512_storeu_si512(d, out);
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
    const KeyTables tables{cube_.axisWords(), cube_.blocks(), cube_.cellWords(), cube_.edgeColours()};
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
        // A group with a pixel that is not opaque, or one that blends: the general lookup.
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
    const std::uint32_t* axes = cube_.axisWords();
    const std::uint32_t* cells = cube_.cellWords();
    const std::uint32_t* edges = cube_.edgeColours();
    const std::uint8_t* blocks = cube_.blocks();
    // Four pixels at a time: those of a camera picture mostly lie in cells that keep or clear
    // all they hold, and the four together are copied or cleared.

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
        std::uint32_t out[4];
        bool blends = false;
        for (int j = 0; j < 4; ++j) {
            const std::uint8_t* p = s + 4 * j;
            std::uint32_t in;
            std::memcpy(&in, p, 4);
            if constexpr (Src != Dst)
                in = swappedRedBlue(in);
            out[j] = block[j] == 1 ? in : 0;
            if (block[j] != 2)
                continue;
            const std::uint32_t r = axes[p[si.r]], g = axes[256 + p[si.g]], b = axes[512 + p[si.b]];
            const std::uint32_t word = cells[(r + g + b) & 0xFFFFFF], corners = word & 0xFF;
            if (corners == 0xFF)
                out[j] = in;
            else if (corners == 0)
                out[j] = 0;
            else if (edges)
                out[j] = Dst == ChannelOrder::BGRA
                             ? edges[(word >> 8) + placeInCell(r, g, b)]
                             : swappedRedBlue(edges[(word >> 8) + placeInCell(r, g, b)]);
            else
                blends = true;
        }
        if (blends)
            lookUp<Src, Dst>(s, d, 4);
        else
            std::memcpy(d, out, sizeof out);
    }
    if (x < width)
        lookUp<Src, Dst>(s, d, width - x);
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
