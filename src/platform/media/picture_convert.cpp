#include "platform/media/picture_convert.h"

#include <algorithm>
#include <cstring>
#include <emmintrin.h>
#include <vector>

namespace qrn::media {

namespace {

// BT.601 studio range in 15-bit fixed point, as libswscale derives it.
constexpr int ry = 8414, gy = 16519, by = 3208;
constexpr int ru = -4865, gu = -9528, bu = 14392;
constexpr int rv = 14392, gv = -12061, bv = -2332;

inline std::uint8_t clipByte(int v) {
    return std::uint8_t(std::clamp(v, 0, 255));
}

// Four pixels' weighted sums of b, g, r (alpha weighs nothing) from 16 bytes, as 32-bit lanes.
inline __m128i weighted4(__m128i pixels, __m128i weights) {
    const __m128i zero = _mm_setzero_si128();
    // Per pixel two lanes: b*wb + g*wg and r*wr + a*0.
    const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), weights);
    const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), weights);
    const __m128i pairs = _mm_unpacklo_epi64(_mm_shuffle_epi32(lo, _MM_SHUFFLE(2, 0, 2, 0)),
                                             _mm_shuffle_epi32(hi, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i rest = _mm_unpacklo_epi64(_mm_shuffle_epi32(lo, _MM_SHUFFLE(3, 1, 3, 1)),
                                            _mm_shuffle_epi32(hi, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm_add_epi32(pairs, rest);
}

inline __m128i lumaOf4(__m128i pixels) {
    const __m128i weights = _mm_setr_epi16(by, gy, ry, 0, by, gy, ry, 0);
    __m128i y = _mm_add_epi32(weighted4(pixels, weights), _mm_set1_epi32((32 << 14) + (1 << 8)));
    y = _mm_srai_epi32(y, 9);
    return _mm_srai_epi32(_mm_add_epi32(y, _mm_set1_epi32(32)), 6);
}

void lumaRow(const std::uint8_t* s, std::uint8_t* out, int width) {
    int x = 0;
    for (; x + 16 <= width; x += 16, s += 64) {
        auto load = [&](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k)); };
        const __m128i a = _mm_packs_epi32(lumaOf4(load(0)), lumaOf4(load(1)));
        const __m128i b = _mm_packs_epi32(lumaOf4(load(2)), lumaOf4(load(3)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(a, b));
    }
    for (; x < width; ++x, s += 4) {
        const int b = s[0], g = s[1], r = s[2];
        // 15-bit intermediate, then rounded to 8 bits.
        const int y15 = (ry * r + gy * g + by * b + (32 << 14) + (1 << 8)) >> 9;
        out[x] = std::uint8_t((y15 + 32) >> 6);
    }
}

inline int chromaOf(int r, int g, int b, int wr, int wg, int wb) {
    return ((wr * r + wg * g + wb * b + (256 << 15) + (1 << 9)) >> 10) * 2;
}

// Four chroma samples (eight pixels, 32 bytes) as 32-bit lanes.
inline __m128i chromaOf4(__m128i p0, __m128i p1, __m128i weights) {
    const __m128i zero = _mm_setzero_si128();
    // Per sample four lanes whose total is its weighted sum over its two pixels.
    const __m128i a = _mm_madd_epi16(_mm_unpacklo_epi8(p0, zero), weights);
    const __m128i b = _mm_madd_epi16(_mm_unpackhi_epi8(p0, zero), weights);
    const __m128i c = _mm_madd_epi16(_mm_unpacklo_epi8(p1, zero), weights);
    const __m128i d = _mm_madd_epi16(_mm_unpackhi_epi8(p1, zero), weights);
    const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
    const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
    __m128i sum = _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
    sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32((256 << 15) + (1 << 9))), 10);
    return _mm_slli_epi32(sum, 1);
}

// Each chroma sample from the two pixels it covers in the row, as 15-bit intermediates.
void chromaRow(const std::uint8_t* s, std::int16_t* u, std::int16_t* v, int chromaWidth) {
    const __m128i wu = _mm_setr_epi16(bu, gu, ru, 0, bu, gu, ru, 0);
    const __m128i wv = _mm_setr_epi16(bv, gv, rv, 0, bv, gv, rv, 0);
    int i = 0;
    for (; i + 8 <= chromaWidth; i += 8, s += 64) {
        auto load = [&](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k)); };
        const __m128i p0 = load(0), p1 = load(1), p2 = load(2), p3 = load(3);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + i),
                         _mm_packs_epi32(chromaOf4(p0, p1, wu), chromaOf4(p2, p3, wu)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i),
                         _mm_packs_epi32(chromaOf4(p0, p1, wv), chromaOf4(p2, p3, wv)));
    }
    for (; i < chromaWidth; ++i, s += 8) {
        const int b = s[0] + s[4], g = s[1] + s[5], r = s[2] + s[6];
        u[i] = std::int16_t(chromaOf(r, g, b, ru, gu, bu));
        v[i] = std::int16_t(chromaOf(r, g, b, rv, gv, bv));
    }
}

// The vertical 4-tap filter halving the chroma rows. Every row but the last goes the way of the
// library's vector code (16-bit products keeping their high halves); the last row, which the
// library does in plain C, is computed in full.
void verticalRow(const std::int16_t* const rows[4], const int f[4], bool exact, std::uint8_t* out,
                 int chromaWidth) {
    if (exact) {
        for (int i = 0; i < chromaWidth; ++i) {
            int sum = 64 << 12;
            for (int k = 0; k < 4; ++k)
                sum += rows[k][i] * f[k];
            out[i] = clipByte(sum >> 19);
        }
        return;
    }
    const __m128i f0 = _mm_set1_epi16(std::int16_t(f[0])), f1 = _mm_set1_epi16(std::int16_t(f[1]));
    const __m128i f2 = _mm_set1_epi16(std::int16_t(f[2])), f3 = _mm_set1_epi16(std::int16_t(f[3]));
    const __m128i start = _mm_set1_epi16(5);
    auto at = [&](int k, int i) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + i)); };
    int i = 0;
    for (; i + 8 <= chromaWidth; i += 8) {
        __m128i sum = _mm_add_epi16(start, _mm_mulhi_epi16(at(0, i), f0));
        sum = _mm_add_epi16(sum, _mm_mulhi_epi16(at(1, i), f1));
        sum = _mm_add_epi16(sum, _mm_mulhi_epi16(at(2, i), f2));
        sum = _mm_add_epi16(sum, _mm_mulhi_epi16(at(3, i), f3));
        sum = _mm_srai_epi16(sum, 3);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(sum, sum));
    }
    for (; i < chromaWidth; ++i) {
        int sum = 5;
        for (int k = 0; k < 4; ++k)
            sum += (rows[k][i] * f[k]) >> 16;
        out[i] = clipByte(sum >> 3);
    }
}

// The four source rows chroma row `y` of a picture `height` rows high is filtered from, and their
// weights 1:3:3:1 (of 4096). The row sits between source rows 2y and 2y + 1; at the edges the
// filter is moved inside the picture and the weights that fell outside join its nearest tap.
struct ChromaTaps {
    int base;
    int f[4];
};
ChromaTaps chromaTaps(int y, int height) {
    if (2 * y - 1 < 0)
        return {0, {2048, 1536, 512, 0}};
    if (2 * y + 2 > height - 1)
        return {height - 4, {0, 512, 1536, 2048}};
    return {2 * y - 1, {512, 1536, 1536, 512}};
}

} // namespace

void blendOver(const std::uint32_t* over, const std::uint32_t* under, std::uint32_t* out, int count) {
    const __m128i alphas = _mm_set1_epi32(int(0xff000000u));
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i full = _mm_set1_epi16(255);
    // Each channel of `under` times (255 - alpha of `over`) / 255, rounded as the painter does.
    auto scaled = [&](__m128i u16, __m128i o16) {
        __m128i a = _mm_shufflelo_epi16(o16, _MM_SHUFFLE(3, 3, 3, 3));
        a = _mm_shufflehi_epi16(a, _MM_SHUFFLE(3, 3, 3, 3));
        __m128i t = _mm_mullo_epi16(u16, _mm_sub_epi16(full, a));
        t = _mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), half);
        return _mm_srli_epi16(t, 8);
    };
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(over + i));
        const __m128i a = _mm_and_si128(o, alphas);
        __m128i result;
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, alphas)) == 0xffff) {
            result = o;
        } else {
            const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(under + i));
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(o, zero)) == 0xffff) {
                result = u;
            } else {
                const __m128i lo = scaled(_mm_unpacklo_epi8(u, zero), _mm_unpacklo_epi8(o, zero));
                const __m128i hi = scaled(_mm_unpackhi_epi8(u, zero), _mm_unpackhi_epi8(o, zero));
                result = _mm_add_epi8(o, _mm_packus_epi16(lo, hi));
            }
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), result);
    }
    for (; i < count; ++i) {
        const std::uint32_t o = over[i];
        if (o >= 0xff000000u) {
            out[i] = o;
            continue;
        }
        const std::uint32_t u = under[i], ia = 255 - (o >> 24);
        std::uint32_t r = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            std::uint32_t t = ((u >> shift) & 0xff) * ia;
            t = (t + (t >> 8) + 0x80) >> 8;
            r |= ((((o >> shift) & 0xff) + t) & 0xff) << shift;
        }
        out[i] = r;
    }
}

bool bgraToYuv420Handles(int width, int height) {
    return width >= 2 && height >= 8 && width % 2 == 0 && height % 2 == 0;
}

BgraToYuv420Rows::BgraToYuv420Rows(int width, int height, std::uint8_t* const planes[3], const int strides[3])
    : width_(width), height_(height), ring_(size_t(8) * size_t(width / 2)) {
    for (int p = 0; p < 3; ++p) {
        planes_[p] = planes[p];
        strides_[p] = strides[p];
    }
}

void BgraToYuv420Rows::push(const std::uint8_t* row) {
    const int cw = width_ / 2, ch = height_ / 2;
    // The chroma intermediates of the last four source rows, row r in slot r % 4.
    auto uRow = [&](int r) { return ring_.data() + size_t(r & 3) * 2 * size_t(cw); };
    auto vRow = [&](int r) { return uRow(r) + cw; };
    const int r = pushed_++;
    lumaRow(row, planes_[0] + size_t(r) * size_t(strides_[0]), width_);
    chromaRow(row, uRow(r), vRow(r), cw);
    // Every chroma row whose source rows have all come. A row still to come overwrites the
    // slot of one no later chroma row reads.
    for (; chromaDone_ < ch; ++chromaDone_) {
        const int y = chromaDone_;
        const auto [base, f] = chromaTaps(y, height_);
        if (base + 3 > r)
            break;
        const std::int16_t* us[4] = {uRow(base), uRow(base + 1), uRow(base + 2), uRow(base + 3)};
        const std::int16_t* vs[4] = {vRow(base), vRow(base + 1), vRow(base + 2), vRow(base + 3)};
        const bool last = 2 * y >= height_ - 2;
        verticalRow(us, f, last, planes_[1] + size_t(y) * size_t(strides_[1]), cw);
        verticalRow(vs, f, last, planes_[2] + size_t(y) * size_t(strides_[2]), cw);
    }
}

namespace {

// t / 255 rounded, for t from 0 to 255 * 255.
inline unsigned div255(unsigned t) {
    t += 128;
    return (t + (t >> 8)) >> 8;
}

// Each byte of `out`: `add` plus `under` times `through` / 255, at most 255.
void drawRow(const std::uint8_t* add, const std::uint8_t* through, const std::uint8_t* under,
             std::uint8_t* out, int count) {
    for (int i = 0; i < count; ++i) {
        const unsigned v = add[i] + div255(unsigned(through[i]) * under[i]);
        out[i] = std::uint8_t(v > 255 ? 255 : v);
    }
}

} // namespace

void throughPlanes(const std::uint8_t* bgra, int bgraStride, int width, int height, std::uint8_t* through,
                   std::uint8_t* chromaThrough) {
    const int cw = width / 2;
    // Per row, the through of each chroma sample's two pixels together; the latest four rows.
    std::vector<std::uint16_t> pairs(size_t(4) * size_t(cw));
    auto pairRow = [&](int r) { return pairs.data() + size_t(r & 3) * size_t(cw); };
    auto makeRow = [&](int r) {
        const std::uint8_t* in = bgra + size_t(r) * size_t(bgraStride);
        std::uint8_t* out = through + size_t(r) * size_t(width);
        for (int c = 0; c < width; ++c)
            out[c] = std::uint8_t(255 - in[4 * c + 3]);
        std::uint16_t* pair = pairRow(r);
        for (int c = 0; c < cw; ++c)
            pair[c] = std::uint16_t(out[2 * c] + out[2 * c + 1]);
    };
    // Each chroma sample weighs its row pair's pixels over four rows 1:3:3:1, the weights moved
    // inside at the edges, as the conversion weighs them.
    int made = 0;
    for (int cy = 0; cy < height / 2; ++cy) {
        const auto [base, f] = chromaTaps(cy, height);
        for (; made <= std::min(base + 3, height - 1); ++made)
            makeRow(made);
        const std::uint16_t* p0 = pairRow(base);
        const std::uint16_t* p1 = pairRow(base + 1);
        const std::uint16_t* p2 = pairRow(base + 2);
        const std::uint16_t* p3 = pairRow(base + 3);
        std::uint8_t* out = chromaThrough + size_t(cy) * size_t(cw);
        for (int c = 0; c < cw; ++c)
            out[c] = std::uint8_t((f[0] * p0[c] + f[1] * p1[c] + f[2] * p2[c] + f[3] * p3[c] + 4095) >> 13);
    }
    for (; made < height; ++made)
        makeRow(made);
}

namespace {

// Each byte of `out` gains `under` less `black`, times `through` / 255.
void underRow(const std::uint8_t* under, const std::uint8_t* through, std::uint8_t black, std::uint8_t* out,
              int count) {
    constexpr int block = 16;
    for (int i = 0; i < count; i += block) {
        const int n = std::min(block, count - i);
        // Most of a picture lets nothing through.
        std::uint64_t any = 0;
        if (n == block) {
            std::uint64_t a, b;
            std::memcpy(&a, through + i, 8);
            std::memcpy(&b, through + i + 8, 8);
            any = a | b;
        } else {
            for (int k = 0; k < n; ++k)
                any |= through[i + k];
        }
        if (!any)
            continue;
        for (int k = i; k < i + n; ++k) {
            const int v = int(out[k]) + int(div255(unsigned(through[k]) * under[k])) -
                          int(div255(unsigned(through[k]) * black));
            out[k] = clipByte(v);
        }
    }
}

} // namespace

void drawUnder(const std::uint8_t* const under[3], const int underStrides[3],
               const std::uint8_t* const through[2], const int throughStrides[2],
               std::uint8_t* const planes[3], const int strides[3], int width, int height) {
    for (int y = 0; y < height; ++y)
        underRow(under[0] + size_t(y) * size_t(underStrides[0]),
                 through[0] + size_t(y) * size_t(throughStrides[0]), 16,
                 planes[0] + size_t(y) * size_t(strides[0]), width);
    for (int y = 0; y < height / 2; ++y)
        for (int p = 1; p <= 2; ++p)
            underRow(under[p] + size_t(y) * size_t(underStrides[p]),
                     through[1] + size_t(y) * size_t(throughStrides[1]), 128,
                     planes[p] + size_t(y) * size_t(strides[p]), width / 2);
}

bool YuvOverlay::make(const std::uint8_t* bgra, int bgraStride, int width, int height, int x, int y,
                      int frameWidth, int frameHeight) {
    if (!bgraToYuv420Handles(frameWidth, frameHeight))
        return false;
    // Cut to the frame.
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min(x + width, frameWidth), bottom = std::min(y + height, frameHeight);
    if (right <= left || bottom <= top) {
        width_ = height_ = 0;
        return true;
    }
    // On whole chroma samples, with two clear rows above and below the picture: a chroma row reads
    // one source row beyond its own two, and where the conversion reaches the edge of what it is
    // given it moves its weights inside, so these margins (or the frame's own edges) make the
    // planes here those of the whole frame.
    x0_ = left & ~1;
    const int x1 = std::min(frameWidth, (right + 1) & ~1);
    y0_ = std::max(0, (top & ~1) - 2);
    int y1 = std::min(frameHeight, ((bottom + 1) & ~1) + 2);
    if (y1 - y0_ < 8) {
        y1 = std::min(frameHeight, y0_ + 8);
        y0_ = std::max(0, y1 - 8);
    }
    width_ = x1 - x0_;
    height_ = y1 - y0_;
    std::vector<std::uint32_t> padded(size_t(width_) * size_t(height_), 0);
    for (int r = top; r < bottom; ++r)
        std::memcpy(padded.data() + size_t(r - y0_) * size_t(width_) + (left - x0_),
                    bgra + size_t(r - y) * size_t(bgraStride) + size_t(left - x) * 4,
                    size_t(right - left) * 4);
    const int cw = width_ / 2, ch = height_ / 2;
    std::vector<std::uint8_t> planes(size_t(width_) * size_t(height_) + 2 * size_t(cw) * size_t(ch));
    std::uint8_t* const to[3] = {planes.data(), planes.data() + size_t(width_) * size_t(height_),
                                 planes.data() + size_t(width_) * size_t(height_) + size_t(cw) * size_t(ch)};
    const int strides[3] = {width_, cw, cw};
    bgraToYuv420(reinterpret_cast<const std::uint8_t*>(padded.data()), width_ * 4, width_, height_, to,
                 strides);
    lumaThrough_.resize(size_t(width_) * size_t(height_));
    chromaThrough_.resize(size_t(cw) * size_t(ch));
    throughPlanes(reinterpret_cast<const std::uint8_t*>(padded.data()), width_ * 4, width_, height_,
                  lumaThrough_.data(), chromaThrough_.data());

    // The converted overlay is its own premultiplied colour over black, black being 16 in luma and
    // 128 in chroma: what shows through is taken off those, and the picture under it added in.
    luma_.resize(lumaThrough_.size());
    rowDrawn_.assign(size_t(height_), false);
    for (int r = 0; r < height_; ++r)
        for (int c = 0; c < width_; ++c) {
            const size_t i = size_t(r) * size_t(width_) + size_t(c);
            luma_[i] = clipByte(int(to[0][i]) - int(div255(16u * lumaThrough_[i])));
            if (lumaThrough_[i] < 255)
                rowDrawn_[size_t(r)] = true;
        }
    chroma_.resize(size_t(2) * size_t(cw) * size_t(ch));
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            const size_t i = size_t(cy) * size_t(cw) + size_t(cx);
            const unsigned black = div255(128u * chromaThrough_[i]);
            chroma_[size_t(cy) * size_t(2 * cw) + size_t(cx)] = clipByte(int(to[1][i]) - int(black));
            chroma_[size_t(cy) * size_t(2 * cw) + size_t(cw + cx)] = clipByte(int(to[2][i]) - int(black));
        }
    return true;
}

void YuvOverlay::drawOver(std::uint8_t* const planes[3], const int strides[3]) const {
    const int cw = width_ / 2;
    for (int r = 0; r < height_; ++r) {
        if (!rowDrawn_[size_t(r)])
            continue;
        std::uint8_t* row = planes[0] + size_t(y0_ + r) * size_t(strides[0]) + x0_;
        const size_t at = size_t(r) * size_t(width_);
        drawRow(luma_.data() + at, lumaThrough_.data() + at, row, row, width_);
    }
    for (int cy = 0; cy < height_ / 2; ++cy) {
        // A chroma row reads the luma rows of its pair and one on either side.
        const int from = std::max(0, 2 * cy - 1), to = std::min(height_ - 1, 2 * cy + 2);
        bool drawn = false;
        for (int r = from; r <= to && !drawn; ++r)
            drawn = rowDrawn_[size_t(r)];
        if (!drawn)
            continue;
        const size_t at = size_t(cy) * size_t(cw);
        for (int p = 1; p <= 2; ++p) {
            std::uint8_t* row = planes[p] + size_t(y0_ / 2 + cy) * size_t(strides[p]) + x0_ / 2;
            drawRow(chroma_.data() + 2 * at + size_t(p - 1) * size_t(cw), chromaThrough_.data() + at, row,
                    row, cw);
        }
    }
}

void bgraToYuv420(const std::uint8_t* bgra, int bgraStride, int width, int height,
                  std::uint8_t* const planes[3], const int strides[3]) {
    BgraToYuv420Rows rows(width, height, planes, strides);
    for (int y = 0; y < height; ++y)
        rows.push(bgra + size_t(y) * size_t(bgraStride));
}

} // namespace qrn::media
