#include "platform/imaging/colour_cube.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>

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

ColourCubeRows::ColourCubeRows(const ColourCube& cube, ChannelOrder srcOrder, ChannelOrder dstOrder)
    : cube_(cube), srcOrder_(srcOrder), dstOrder_(dstOrder) {
    if (cube.isValid())
        for (int v = 0; v < 256; ++v)
            opaque_[v] = axisPosition(std::min(1.0f, static_cast<float>(v) / 255.0f), cube.dimension());
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
