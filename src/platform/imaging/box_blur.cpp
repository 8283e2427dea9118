#include "platform/imaging/box_blur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <vector>

#include "platform/imaging/bands.h"

namespace qrn::imaging {

int boxBlurWholeRadius(double radius) {
    if (!(radius >= 0.5))
        return 0;
    // Beyond this the square covers any image we could hold; keeps the sums in 32 bits.
    return static_cast<int>(std::min(std::floor(radius + 0.5), 2000.0));
}

BoxBlurSize boxBlurSize(double radius) {
    if (!(radius > 0))
        return {};
    radius = std::min(radius, 2000.0);
    const double whole = std::floor(radius);
    const int weight = static_cast<int>(std::lround((radius - whole) * 256));
    if (weight == 256)
        return {static_cast<int>(whole) + 1, 0};
    return {static_cast<int>(whole), weight};
}

__attribute__((target_clones("avx2", "default"))) void mixBoxBlurRows(const std::uint8_t* smaller,
                                                                      const std::uint8_t* larger, int weight,
                                                                      std::size_t bytes, std::uint8_t* out) {
    const std::uint16_t w = static_cast<std::uint16_t>(weight),
                        keep = static_cast<std::uint16_t>(256 - weight);
    for (std::size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>((smaller[i] * keep + larger[i] * w + 128) >> 8);
}

namespace {

inline __m128i loadPixel(const std::uint8_t* p) {
    int word;
    std::memcpy(&word, p, 4);
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
}

// out[x] = sum of row[x - r .. x + r] per channel, pixels outside the row counting as 0.
void horizontalSums(const std::uint8_t* row, int width, int r, std::uint32_t* out) {
    __m128i sum = _mm_setzero_si128();
    const int firstEnd = std::min(r, width - 1);
    for (int x = 0; x <= firstEnd; ++x)
        sum = _mm_add_epi32(sum, loadPixel(row + 4 * x));
    for (int x = 0; x < width; ++x) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), sum);
        if (x + r + 1 < width)
            sum = _mm_add_epi32(sum, loadPixel(row + 4 * (x + r + 1)));
        if (x >= r)
            sum = _mm_sub_epi32(sum, loadPixel(row + 4 * (x - r)));
    }
}

void copyRows(ConstImageView src, ImageView dst, int rowBegin, int rowEnd) {
    const std::size_t bytes = 4 * static_cast<std::size_t>(src.width);
    for (int y = rowBegin; y < rowEnd; ++y)
        std::memcpy(dst.row(y), src.row(y), bytes);
}

// Rows [rowBegin, rowEnd) blurred with whole radius r > 0, row y written to outRow(y).
template <typename OutRow>
void blurRows(ConstImageView src, int r, int rowBegin, int rowEnd, const OutRow& outRow) {
    const int width = src.width, height = src.height;
    const std::size_t lanes = 4 * static_cast<std::size_t>(width);
    // Horizontal sums of the rows the vertical window currently spans, in a ring.
    // Rows outside the image never enter it, so it need not be taller than the image.
    const int ringRows = std::min(2 * r + 2, height);
    std::vector<std::uint32_t> ring(lanes * ringRows);
    std::vector<std::uint32_t> column(lanes, 0);
    auto ringRow = [&](int y) { return ring.data() + lanes * (y % ringRows); };

    const float scale = 1.0f / static_cast<float>((2 * r + 1) * (2 * r + 1));
    const int windowBegin = std::max(0, rowBegin - r);
    const int windowEnd = std::min(height, rowBegin + r + 1);
    for (int y = windowBegin; y < windowEnd; ++y) {
        std::uint32_t* h = ringRow(y);
        horizontalSums(src.row(y), width, r, h);
        for (std::size_t i = 0; i < lanes; ++i)
            column[i] += h[i];
    }
    // A row of zeros stands in for rows above or below the image.
    const std::vector<std::uint32_t> zeros(lanes, 0);
    std::uint32_t* __restrict col = column.data();
    for (int y = rowBegin; y < rowEnd; ++y) {
        std::uint8_t* __restrict out = outRow(y);
        const int incoming = y + r + 1, outgoing = y - r;
        const bool last = y + 1 == rowEnd;
        const std::uint32_t* in = zeros.data();
        if (!last && incoming < height) {
            std::uint32_t* h = ringRow(incoming);
            horizontalSums(src.row(incoming), width, r, h);
            in = h;
        }
        const std::uint32_t* gone = !last && outgoing >= 0 ? ringRow(outgoing) : zeros.data();
        // Write this row out and move the window down one row in the same pass.
        for (std::size_t i = 0; i < lanes; ++i) {
            const std::uint32_t sum = col[i];
            out[i] = static_cast<std::uint8_t>(static_cast<int>(static_cast<float>(sum) * scale + 0.5f));
            col[i] = sum + in[i] - gone[i];
        }
    }
}

} // namespace

namespace {

// The same rows a row at a time from column sums in 16 bits (vertical first, then across): the
// same bytes as blurRows in well under half the time, for the radii whose sums fit.
template <typename OutRow>
void blurRowsByColumns(ConstImageView src, int r, int rowBegin, int rowEnd, const OutRow& outRow) {
    const int height = src.height;
    const std::size_t lanes = 4 * static_cast<std::size_t>(src.width);
    std::vector<std::uint16_t> columns(lanes, 0);
    for (int k = std::max(0, rowBegin - r); k <= std::min(height - 1, rowBegin + r); ++k)
        slideBoxBlurColumns(columns.data(), src.row(k), nullptr, lanes);
    for (int y = rowBegin; y < rowEnd; ++y) {
        boxBlurRowFromColumns(columns.data(), src.width, r, outRow(y));
        if (y + 1 == rowEnd)
            break;
        const int entering = y + 1 + r, leaving = y - r;
        slideBoxBlurColumns(columns.data(), entering < height ? src.row(entering) : nullptr,
                            leaving >= 0 ? src.row(leaving) : nullptr, lanes);
    }
}

template <typename OutRow>
void blurRowsQuickest(ConstImageView src, int r, int rowBegin, int rowEnd, const OutRow& outRow) {
    if (r <= kMaxRowBoxBlurRadius)
        blurRowsByColumns(src, r, rowBegin, rowEnd, outRow);
    else
        blurRows(src, r, rowBegin, rowEnd, outRow);
}

} // namespace

void boxBlur(ConstImageView src, ImageView dst, double radius, int rowBegin, int rowEnd) {
    boxBlur(src, dst, BoxBlurSize{boxBlurWholeRadius(radius), 0}, rowBegin, rowEnd);
}

void boxBlur(ConstImageView src, ImageView dst, BoxBlurSize size, int rowBegin, int rowEnd) {
    rowBegin = std::max(rowBegin, 0);
    rowEnd = std::min(rowEnd, src.height);
    if (rowBegin >= rowEnd || src.width <= 0)
        return;
    if (size.whole == 0)
        copyRows(src, dst, rowBegin, rowEnd);
    else
        blurRowsQuickest(src, size.whole, rowBegin, rowEnd, [&](int y) { return dst.row(y); });
    if (size.weight == 0)
        return;
    // The larger box into rows of its own, then mixed into what the smaller made.
    const std::size_t bytes = 4 * static_cast<std::size_t>(src.width);
    std::vector<std::uint8_t> larger(bytes * static_cast<std::size_t>(rowEnd - rowBegin));
    blurRowsQuickest(src, size.whole + 1, rowBegin, rowEnd,
                     [&](int y) { return larger.data() + bytes * static_cast<std::size_t>(y - rowBegin); });
    for (int y = rowBegin; y < rowEnd; ++y)
        mixBoxBlurRows(dst.row(y), larger.data() + bytes * static_cast<std::size_t>(y - rowBegin),
                       size.weight, bytes, dst.row(y));
}

__attribute__((target_clones("avx2", "default"))) void slideBoxBlurColumns(std::uint16_t* columns,
                                                                           const std::uint8_t* add,
                                                                           const std::uint8_t* remove,
                                                                           std::size_t lanes) {
    std::uint16_t* __restrict c = columns;
    if (add && remove) {
        for (std::size_t i = 0; i < lanes; ++i)
            c[i] = static_cast<std::uint16_t>(c[i] + add[i] - remove[i]);
    } else if (add) {
        for (std::size_t i = 0; i < lanes; ++i)
            c[i] = static_cast<std::uint16_t>(c[i] + add[i]);
    } else if (remove) {
        for (std::size_t i = 0; i < lanes; ++i)
            c[i] = static_cast<std::uint16_t>(c[i] - remove[i]);
    }
}

namespace {

struct RowQuantizer {
    __m128 scale, half;
    // The same float steps as the whole-image blur, so the same bytes.
    __m128i operator()(__m128i sum) const {
        return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(sum), scale), half));
    }
};

inline __m128i columnSum(const std::uint16_t* columns, int x) {
    return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(columns + 4 * x)),
                              _mm_setzero_si128());
}

// Writes pixels [x, xEnd), moving the window one pixel on after each: taking in the column
// r + 1 to the right when Add, letting go of the one r to the left when Remove.
template <bool Add, bool Remove>
void blurPixels(const std::uint16_t* columns, int r, int x, int xEnd, __m128i& sum,
                const RowQuantizer& quantize, std::uint8_t* out) {
    auto step = [&](int at) {
        if constexpr (Add)
            sum = _mm_add_epi32(sum, columnSum(columns, at + r + 1));
        if constexpr (Remove)
            sum = _mm_sub_epi32(sum, columnSum(columns, at - r));
    };
    for (; x + 4 <= xEnd; x += 4) {
        const __m128i q0 = quantize(sum);
        step(x);
        const __m128i q1 = quantize(sum);
        step(x + 1);
        const __m128i q2 = quantize(sum);
        step(x + 2);
        const __m128i q3 = quantize(sum);
        step(x + 3);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                         _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_packs_epi32(q2, q3)));
    }
    for (; x < xEnd; ++x) {
        __m128i q = quantize(sum);
        q = _mm_packus_epi16(_mm_packs_epi32(q, q), q);
        const int word = _mm_cvtsi128_si32(q);
        std::memcpy(out + 4 * x, &word, 4);
        step(x);
    }
}

} // namespace

void boxBlurRowFromColumns(const std::uint16_t* columns, int width, int r, std::uint8_t* out) {
    if (width <= 0)
        return;
    const RowQuantizer quantize{_mm_set1_ps(1.0f / static_cast<float>((2 * r + 1) * (2 * r + 1))),
                                _mm_set1_ps(0.5f)};
    __m128i sum = _mm_setzero_si128();
    const int firstEnd = std::min(r, width - 1);
    for (int x = 0; x <= firstEnd; ++x)
        sum = _mm_add_epi32(sum, columnSum(columns, x));
    // After pixel x the window takes in a column while x < width - r - 1 and lets one go once
    // x >= r: three stretches of the row, each without a test per pixel.
    const int addsUntil = width - r - 1, removesFrom = r;
    const int first = std::clamp(std::min(addsUntil, removesFrom), 0, width);
    const int second = std::clamp(std::max(addsUntil, removesFrom), 0, width);
    blurPixels<true, false>(columns, r, 0, first, sum, quantize, out);
    if (addsUntil < removesFrom)
        blurPixels<false, false>(columns, r, first, second, sum, quantize, out);
    else
        blurPixels<true, true>(columns, r, first, second, sum, quantize, out);
    blurPixels<false, true>(columns, r, second, width, sum, quantize, out);
}

Image boxBlur(const Image& src, double radius, int threads) {
    return runInBands(src, threads,
                      [radius](ConstImageView s, ImageView d, int b, int e) { boxBlur(s, d, radius, b, e); });
}

} // namespace qrn::imaging
