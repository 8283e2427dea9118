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
    // Rows are numbered in 12 bits, and a value's place in its cell in 4.
    if (n > 65 || std::any_of(kind.begin(), kind.end(), [](std::uint8_t k) { return k == 0; }))
        return;
    // The values each position holds: a run, as positions rise with the value.
    std::vector<int> firstValue(static_cast<std::size_t>(m), 256), count(static_cast<std::size_t>(m), 0);
    for (int v = 255; v >= 0; --v) {
        const auto i = static_cast<std::size_t>(ColourCubeRows::opaqueCell(v, n));
        firstValue[i] = v;
        ++count[i];
    }
    if (*std::max_element(count.begin(), count.end()) > 15)
        return;
    // Per cell, red fastest: bit (dr | dg << 1 | db << 2) set when corner (r + dr, g + dg, b + db)
    // keeps its colour.
    std::vector<std::uint8_t> corners(static_cast<std::size_t>(m) * m * m);
    const std::size_t stepG = static_cast<std::size_t>(n), stepB = stepG * stepG;
    auto keeps = [&kind](std::size_t i, int corner) { return static_cast<unsigned>(kind[i] == 1) << corner; };
    for (int b = 0, c = 0; b < m; ++b)
        for (int g = 0; g < m; ++g)
            for (int r = 0; r < m; ++r, ++c) {
                const std::size_t i = static_cast<std::size_t>(r) + stepG * g + stepB * b;
                corners[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(
                    keeps(i, 0) | keeps(i + 1, 1) | keeps(i + stepG, 2) | keeps(i + stepG + 1, 3) |
                    keeps(i + stepB, 4) | keeps(i + stepB + 1, 5) | keeps(i + stepB + stepG, 6) |
                    keeps(i + stepB + stepG + 1, 7));
            }
    auto cornersAt = [&](const int at[3]) {
        return corners[static_cast<std::size_t>(at[0]) +
                       static_cast<std::size_t>(m) * (at[1] + static_cast<std::size_t>(m) * at[2])];
    };
    auto onEdge = [](std::uint8_t c) { return c != 0 && c != 0xFF; };

    // The edge cells of a row along `axis` (the other two axes' positions fixed) lie between its
    // first and last; the cells before them are all kept or all clear, as two cells side by side
    // share four corners, and so are those after. The table holds every colour from the first to
    // the last, which is least along the axis the key's edge crosses once a row.
    struct Row {
        int first = -1, last = -1; // edge cells, or -1 when none
    };
    auto rowsAlong = [&](int axis) {
        std::vector<Row> rows(static_cast<std::size_t>(m) * m);
        std::size_t colours = 0;
        const int p = (axis + 1) % 3, q = (axis + 2) % 3;
        for (int k = 0; k < m; ++k)
            for (int j = 0; j < m; ++j) {
                Row& row = rows[static_cast<std::size_t>(j + m * k)];
                int at[3];
                at[p] = j, at[q] = k;
                for (at[axis] = 0; at[axis] < m; ++at[axis])
                    if (onEdge(cornersAt(at))) {
                        if (row.first < 0)
                            row.first = at[axis];
                        row.last = at[axis];
                    }
                if (row.first >= 0)
                    colours += static_cast<std::size_t>(firstValue[static_cast<std::size_t>(row.last)] +
                                                        count[static_cast<std::size_t>(row.last)] -
                                                        firstValue[static_cast<std::size_t>(row.first)]) *
                               static_cast<std::size_t>(count[static_cast<std::size_t>(j)] *
                                                        count[static_cast<std::size_t>(k)]);
            }
        return std::pair{std::move(rows), colours};
    };
    int axis = 0;
    auto [rows, colours] = rowsAlong(0);
    for (int a : {1, 2})
        if (auto [other, otherColours] = rowsAlong(a); otherColours < colours)
            axis = a, rows = std::move(other), colours = otherColours;
    // A hue key has some half a million; a table this coarse is mostly edge and blends instead.
    constexpr std::size_t kMostEdgeColours = std::size_t(1) << 21;
    if (colours > kMostEdgeColours)
        return;
    const int p = (axis + 1) % 3, q = (axis + 2) % 3;

    axisWords_.resize(3 * 256);
    for (int v = 0; v < 256; ++v) {
        const auto i = static_cast<std::size_t>(ColourCubeRows::opaqueCell(v, n));
        const auto place = static_cast<std::uint32_t>(v - firstValue[i]);
        axisWords_[static_cast<std::size_t>(axis * 256 + v)] = static_cast<std::uint32_t>(v) << 12;
        axisWords_[static_cast<std::size_t>(p * 256 + v)] =
            static_cast<std::uint32_t>(i) | place << 20 | static_cast<std::uint32_t>(count[i]) << 28;
        axisWords_[static_cast<std::size_t>(q * 256 + v)] = static_cast<std::uint32_t>(i * m) | place << 24;
    }
    rowWords_.resize(2 * rows.size());
    std::vector<std::uint32_t> table(colours);
    std::vector<std::uint8_t> pixels;
    const ColourCubeRows blender(*this, ChannelOrder::RGBA, ChannelOrder::BGRA);
    std::size_t at = 0;
    for (int k = 0; k < m; ++k)
        for (int j = 0; j < m; ++j) {
            const std::size_t r = static_cast<std::size_t>(j + m * k);
            const Row row = rows[r];
            int cell[3];
            cell[p] = j, cell[q] = k;
            auto keptAt = [&](int i) {
                cell[axis] = std::clamp(i, 0, m - 1);
                return static_cast<std::uint32_t>(cornersAt(cell) == 0xFF);
            };
            if (row.first < 0) {
                // No edge: every value is before it.
                rowWords_[2 * r] = keptAt(0) << 24;
                rowWords_[2 * r + 1] = 256;
                continue;
            }
            const int firstV = firstValue[static_cast<std::size_t>(row.first)],
                      lastV = firstValue[static_cast<std::size_t>(row.last)] +
                              count[static_cast<std::size_t>(row.last)] - 1;
            rowWords_[2 * r] =
                static_cast<std::uint32_t>(at) | keptAt(row.first - 1) << 24 | keptAt(row.last + 1) << 25;
            rowWords_[2 * r + 1] = static_cast<std::uint32_t>(firstV) | static_cast<std::uint32_t>(lastV)
                                                                            << 9;
            pixels.clear();
            for (int pq = 0; pq < count[static_cast<std::size_t>(k)]; ++pq)
                for (int pp = 0; pp < count[static_cast<std::size_t>(j)]; ++pp)
                    for (int va = firstV; va <= lastV; ++va) {
                        std::uint8_t px[4] = {0, 0, 0, 255};
                        px[axis] = static_cast<std::uint8_t>(va);
                        px[p] = static_cast<std::uint8_t>(firstValue[static_cast<std::size_t>(j)] + pp);
                        px[q] = static_cast<std::uint8_t>(firstValue[static_cast<std::size_t>(k)] + pq);
                        pixels.insert(pixels.end(), px, px + 4);
                    }
            const int width = static_cast<int>(pixels.size() / 4);
            blender.blend(pixels.data(), reinterpret_cast<std::uint8_t*>(table.data() + at), width);
            at += static_cast<std::size_t>(width);
        }
    edgeColours_ = std::move(table);

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
                int c[3];
                for (c[2] = first[b]; c[2] <= last[b]; ++c[2])
                    for (c[1] = first[g]; c[1] <= last[g]; ++c[1])
                        for (c[0] = first[r]; c[0] <= last[r]; ++c[0]) {
                            all &= cornersAt(c);
                            any |= cornersAt(c);
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

// A key's tables, as the lookup reads them.
struct KeyTables {
    const std::uint32_t* axes; // red, green, blue: 256 values each
    const std::uint8_t* blocks;
    const std::uint32_t* rows;
    const std::uint32_t* edges;
};

namespace {

// Red and blue swapped: a word of one layout in the other.
inline std::uint32_t swappedRedBlue(std::uint32_t w) {
    return (w & 0xFF00FF00u) | (w >> 16 & 0xFFu) | (w & 0xFFu) << 16;
}

// An opaque pixel of a key, from the sum of its three axis words: its own colour (`in`, in
// the destination's layout), clear, or the edge's result.
template <ChannelOrder Dst>
inline std::uint32_t keyed(const KeyTables& t, std::uint32_t sum, std::uint32_t in) {
    const std::uint32_t* row = t.rows + 2 * (sum & 0xFFF);
    const std::uint32_t value = sum >> 12 & 0xFF, first = row[1] & 0x1FF, last = row[1] >> 9;
    if (value < first)
        return row[0] >> 24 & 1 ? in : 0;
    if (value > last)
        return row[0] >> 25 & 1 ? in : 0;
    const std::uint32_t out =
        t.edges[(row[0] & 0xFFFFFF) + value - first +
                (last - first + 1) * ((sum >> 20 & 15) + (sum >> 28) * (sum >> 24 & 15))];
    return Dst == ChannelOrder::BGRA ? out : swappedRedBlue(out);
}

// Eight pixels at a time with AVX2, chosen at run time: gathers where the four-at-a-time
// lookup reads each pixel's entries one by one.
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

QRN_AVX2 inline __m256i swappedRedBlue8(__m256i w) {
    const __m256i low = _mm256_set1_epi32(0xFF);
    return _mm256_or_si256(_mm256_and_si256(w, _mm256_set1_epi32(static_cast<int>(0xFF00FF00u))),
                           _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(w, 16), low),
                                           _mm256_slli_epi32(_mm256_and_si256(w, low), 16)));
}

// keyed() for eight pixels. Places and counts are below 16 and spans at most 256 values, so
// 16-bit products do.
QRN_AVX2 inline __m256i keyedEight(const KeyTables& t, __m256i sum, __m256i in, __m256i& spot,
                                   __m256i& inside) {
    const int* rows = reinterpret_cast<const int*>(t.rows);
    const __m256i row = _mm256_slli_epi32(_mm256_and_si256(sum, _mm256_set1_epi32(0xFFF)), 1);
    const __m256i head = _mm256_i32gather_epi32(rows, row, 4),
                  span = _mm256_i32gather_epi32(rows + 1, row, 4);
    const __m256i value = _mm256_and_si256(_mm256_srli_epi32(sum, 12), _mm256_set1_epi32(0xFF));
    const __m256i first = _mm256_and_si256(span, _mm256_set1_epi32(0x1FF)), last = _mm256_srli_epi32(span, 9);
    const __m256i before = _mm256_cmpgt_epi32(first, value), after = _mm256_cmpgt_epi32(value, last);
    // Bit 24 of the head, kept before the edge, and bit 25, after it, moved to the sign.
    const __m256i kept =
        _mm256_srai_epi32(_mm256_or_si256(_mm256_and_si256(before, _mm256_slli_epi32(head, 7)),
                                          _mm256_and_si256(after, _mm256_slli_epi32(head, 6))),
                          31);
    const __m256i out = _mm256_and_si256(kept, in);
    inside = _mm256_andnot_si256(_mm256_or_si256(before, after), _mm256_set1_epi32(-1));
    if (_mm256_testz_si256(inside, inside))
        return out;
    const __m256i nibble = _mm256_set1_epi32(15);
    const __m256i across = _mm256_add_epi32(
        _mm256_and_si256(_mm256_srli_epi32(sum, 20), nibble),
        _mm256_mullo_epi16(_mm256_srli_epi32(sum, 28), _mm256_and_si256(_mm256_srli_epi32(sum, 24), nibble)));
    spot = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_and_si256(head, _mm256_set1_epi32(0xFFFFFF)), _mm256_sub_epi32(value, first)),
        _mm256_mullo_epi16(_mm256_sub_epi32(_mm256_add_epi32(last, _mm256_set1_epi32(1)), first), across));
    return out;
}

// Groups whose edge results are still to be read. Read a batch at a time, away from the work
// that finds where they are, many of them are on their way from memory at once: the edge
// table is larger than the cache, and reading each group's results as it comes took twice
// as long on a picture all on the edge.
struct EdgeReads8 {
    static constexpr int kBatch = 32;
    __m256i spots[kBatch], inside[kBatch];
    std::uint8_t* to[kBatch];
    int count = 0;
};

template <ChannelOrder Dst> QRN_AVX2 void readEdges8(const KeyTables& t, EdgeReads8& r) {
    for (int i = 0; i < r.count; ++i) {
        __m256i got = _mm256_mask_i32gather_epi32(
            _mm256_setzero_si256(), reinterpret_cast<const int*>(t.edges), r.spots[i], r.inside[i], 4);
        if constexpr (Dst != ChannelOrder::BGRA)
            got = swappedRedBlue8(got);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(r.to[i]), r.inside[i], got);
    }
    r.count = 0;
}

// Whole groups of eight from the start of the row, up to the first group with a pixel that is
// not opaque; returns how many pixels it did.
template <ChannelOrder Src, ChannelOrder Dst>
QRN_AVX2 int lookUpKeyByEight(const KeyTables& t, const std::uint8_t* s, std::uint8_t* d, int width) {
    constexpr ChannelOffsets si = channelOffsets(Src);
    EdgeReads8 reads;
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
        // A block's summary agrees with every cell in it, so looking all eight up is right
        // whatever their blocks said.
        const __m256i sum = _mm256_add_epi32(
            _mm256_add_epi32(axisOfEight<si.r>(t.axes, w), axisOfEight<si.g>(t.axes + 256, w)),
            axisOfEight<si.b>(t.axes + 512, w));
        EdgeReads8& r = reads;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                            keyedEight(t, sum, in, r.spots[r.count], r.inside[r.count]));
        if (!_mm256_testz_si256(r.inside[r.count], r.inside[r.count])) {
            r.to[r.count] = d;
            if (++r.count == EdgeReads8::kBatch)
                readEdges8<Dst>(t, r);
        }
    }
    readEdges8<Dst>(t, reads);
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

QRN_AVX512 inline __m512i swappedRedBlue16(__m512i w) {
    const __m512i low = _mm512_set1_epi32(0xFF);
    return _mm512_or_si512(_mm512_and_si512(w, _mm512_set1_epi32(static_cast<int>(0xFF00FF00u))),
                           _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(w, 16), low),
                                           _mm512_slli_epi32(_mm512_and_si512(w, low), 16)));
}

// Sixteen pixels kept or cleared, and for those on the edge (`inside`) where their results are.
QRN_AVX512 inline __m512i keyedSixteen(const KeyTables& t, __m512i sum, __m512i in, __m512i& spot,
                                       __mmask16& inside) {
    const __m512i row = _mm512_slli_epi32(_mm512_and_si512(sum, _mm512_set1_epi32(0xFFF)), 1);
    const __m512i head = _mm512_i32gather_epi32(row, t.rows, 4),
                  span = _mm512_i32gather_epi32(row, t.rows + 1, 4);
    const __m512i value = _mm512_and_si512(_mm512_srli_epi32(sum, 12), _mm512_set1_epi32(0xFF));
    const __m512i first = _mm512_and_si512(span, _mm512_set1_epi32(0x1FF)), last = _mm512_srli_epi32(span, 9);
    const __mmask16 before = _mm512_cmplt_epi32_mask(value, first),
                    after = _mm512_cmpgt_epi32_mask(value, last);
    const __mmask16 kept = (before & _mm512_test_epi32_mask(head, _mm512_set1_epi32(1 << 24))) |
                           (after & _mm512_test_epi32_mask(head, _mm512_set1_epi32(1 << 25)));
    const __m512i out = _mm512_maskz_mov_epi32(kept, in);
    inside = static_cast<__mmask16>(~(before | after));
    if (inside == 0)
        return out;
    const __m512i nibble = _mm512_set1_epi32(15);
    const __m512i across = _mm512_add_epi32(
        _mm512_and_si512(_mm512_srli_epi32(sum, 20), nibble),
        _mm512_mullo_epi32(_mm512_srli_epi32(sum, 28), _mm512_and_si512(_mm512_srli_epi32(sum, 24), nibble)));
    spot = _mm512_add_epi32(
        _mm512_add_epi32(_mm512_and_si512(head, _mm512_set1_epi32(0xFFFFFF)), _mm512_sub_epi32(value, first)),
        _mm512_mullo_epi32(_mm512_sub_epi32(_mm512_add_epi32(last, _mm512_set1_epi32(1)), first), across));
    return out;
}

// Groups whose edge results are still to be read, as with AVX2 above.
struct EdgeReads16 {
    static constexpr int kBatch = 32;
    __m512i spots[kBatch];
    __mmask16 inside[kBatch];
    std::uint8_t* to[kBatch];
    int count = 0;
};

template <ChannelOrder Dst> QRN_AVX512 void readEdges16(const KeyTables& t, EdgeReads16& r) {
    for (int i = 0; i < r.count; ++i) {
        __m512i got =
            _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), r.inside[i], r.spots[i], t.edges, 4);
        if constexpr (Dst != ChannelOrder::BGRA)
            got = swappedRedBlue16(got);
        _mm512_mask_storeu_epi32(r.to[i], r.inside[i], got);
    }
    r.count = 0;
}

template <ChannelOrder Src, ChannelOrder Dst>
QRN_AVX512 int lookUpKeyBySixteen(const KeyTables& t, const std::uint8_t* s, std::uint8_t* d, int width) {
    constexpr ChannelOffsets si = channelOffsets(Src);
    EdgeReads16 reads;
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
        const __m512i sum = _mm512_add_epi32(
            _mm512_add_epi32(axisOfSixteen<si.r>(t.axes, w), axisOfSixteen<si.g>(t.axes + 256, w)),
            axisOfSixteen<si.b>(t.axes + 512, w));
        EdgeReads16& r = reads;
        _mm512_storeu_si512(d, keyedSixteen(t, sum, in, r.spots[r.count], r.inside[r.count]));
        if (r.inside[r.count] != 0) {
            r.to[r.count] = d;
            if (++r.count == EdgeReads16::kBatch)
                readEdges16<Dst>(t, r);
        }
    }
    readEdges16<Dst>(t, reads);
    return x;
}

#undef QRN_AVX512

} // namespace

template <ChannelOrder Src, ChannelOrder Dst>
void ColourCubeRows::lookUpKey(const std::uint8_t* s, std::uint8_t* d, int width) const {
    const KeyTables tables{cube_.axisWords(), cube_.blocks(), cube_.rowWords(), cube_.edgeColours()};
    int x = 0;
    while (kernels_ == Kernels::Avx512 && width - x >= 16) {
        x += lookUpKeyBySixteen<Src, Dst>(tables, s + 4 * x, d + 4 * x, width - x);
        if (width - x >= 16) {
            lookUp<Src, Dst>(s + 4 * x, d + 4 * x, 16);
            x += 16;
        }
    }
    while (kernels_ != Kernels::Baseline && width - x >= 8) {
        x += lookUpKeyByEight<Src, Dst>(tables, s + 4 * x, d + 4 * x, width - x);
        // A group with a pixel that is not opaque: the general lookup.
        if (width - x >= 8) {
            lookUp<Src, Dst>(s + 4 * x, d + 4 * x, 8);
            x += 8;
        }
    }
    lookUpKeyByFour<Src, Dst>(tables, s + 4 * x, d + 4 * x, width - x);
}

template <ChannelOrder Src, ChannelOrder Dst>
void ColourCubeRows::lookUpKeyByFour(const KeyTables& t, const std::uint8_t* s, std::uint8_t* d,
                                     int width) const {
    constexpr ChannelOffsets si = channelOffsets(Src);
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
        const std::uint8_t block[4] = {t.blocks[at[0]], t.blocks[at[1]], t.blocks[at[2]], t.blocks[at[3]]};
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
        for (int j = 0; j < 4; ++j) {
            const std::uint8_t* p = s + 4 * j;
            std::uint32_t in;
            std::memcpy(&in, p, 4);
            if constexpr (Src != Dst)
                in = swappedRedBlue(in);
            out[j] = block[j] == 0 ? 0
                     : block[j] == 1
                         ? in
                         : keyed<Dst>(t, t.axes[p[si.r]] + t.axes[256 + p[si.g]] + t.axes[512 + p[si.b]], in);
        }
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
