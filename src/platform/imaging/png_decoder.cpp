#include "platform/imaging/png_decoder.h"

#include <QPainter>

#include <libdeflate.h>
#include <zlib.h>

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/imaging/picture_reader.h"

namespace qrn::imaging {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// What is read from the file, and inflated, at a time: small enough that a decode holds next to
// nothing besides the picture it makes.
constexpr std::size_t kReadPiece = std::size_t(64) << 10;
constexpr std::size_t kInflatedPiece = std::size_t(256) << 10;
// A picture whose rows inflate to no more than this (a 4K frame of RGBA) is inflated in one go
// from all its image data, which takes well under half the time of inflating it a piece at a
// time; a larger one is read a piece at a time, so what a decode holds stays bounded.
constexpr std::size_t kWholeInflateBytes = std::size_t(40) << 20;

// What the image data of a picture inflated whole may take in the file: the rows, and what a
// writer's stored blocks and flushes may add to them.
std::size_t mostPackedBytes(std::size_t inflated) {
    return inflated + inflated / 8 + (std::size_t(64) << 10);
}

uint32_t bigEndian(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool isType(const unsigned char* p, const char* type) {
    return std::memcmp(p, type, 4) == 0;
}

uint32_t crcOf(uint32_t crc, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const auto part = uInt(std::min<std::size_t>(n, 1u << 30));
        crc = uint32_t(crc32(crc, p, part));
        p += part;
        n -= part;
    }
    return crc;
}

// zlib's Adler-32 of the inflated data, sixteen bytes at a time: zlib's own costs a sixth of a
// decode. Within a run of kAdlerRun bytes no sum can overflow 32 bits.
constexpr uint32_t kAdlerBase = 65521;
constexpr std::size_t kAdlerRun = 5552 / 16 * 16;

uint32_t adlerOf(uint32_t adler, const unsigned char* p, std::size_t n) {
    uint64_t s1 = adler & 0xffff, s2 = adler >> 16;
    const __m128i zero = _mm_setzero_si128();
    const __m128i front = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i back = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    const auto total = [](__m128i v) {
        alignas(16) uint32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
        return uint64_t(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
    };
    while (n >= 16) {
        const std::size_t run = std::min(n / 16 * 16, kAdlerRun);
        // Byte sums, the byte sums before each block of sixteen, and the sums weighted by
        // place within each block.
        __m128i sums = zero, before = zero, weighted = zero;
        for (std::size_t i = 0; i < run; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            before = _mm_add_epi32(before, sums);
            sums = _mm_add_epi32(sums, _mm_sad_epu8(bytes, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), front));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), back));
        }
        s2 = (s2 + s1 * run + 16 * total(before) + total(weighted)) % kAdlerBase;
        s1 = (s1 + total(sums)) % kAdlerBase;
        p += run;
        n -= run;
    }
    for (; n > 0; --n) {
        s1 += *p++;
        s2 += s1;
    }
    return uint32_t(s2 % kAdlerBase) << 16 | uint32_t(s1 % kAdlerBase);
}

struct pngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    int depth = 0;
    int colour = 0;
    // Samples of a pixel in the file, and bytes of a whole pixel (at least 1) for unfiltering.
    int samples = 0;
    int pixelBytes = 0;
    std::size_t stride = 0;
    bool interlaced = false;
};

// The header when the file is a PNG this reader takes: any kind, with a sound IHDR.
std::optional<pngHeader> readHeader(const unsigned char* bytes, std::size_t size) {
    if (size < kPngHeaderBytes || std::memcmp(bytes, kSignature, 8) != 0)
        return std::nullopt;
    const unsigned char* chunk = bytes + 8;
    if (bigEndian(chunk) != 13 || !isType(chunk + 4, "IHDR"))
        return std::nullopt;
    if (crcOf(0, chunk + 4, 4 + 13) != bigEndian(chunk + 8 + 13))
        return std::nullopt;
    const unsigned char* data = chunk + 8;
    pngHeader header;
    header.width = bigEndian(data);
    header.height = bigEndian(data + 4);
    header.depth = data[8];
    header.colour = data[9];
    const int compression = data[10], filter = data[11], interlace = data[12];
    // Wider or taller pictures go to Qt's reader, so no row this reader keeps is large.
    if (header.width == 0 || header.height == 0 || header.width > 65535 || header.height > 65535)
        return std::nullopt;
    if (compression != 0 || filter != 0 || interlace > 1)
        return std::nullopt;
    header.interlaced = interlace == 1;
    const int d = header.depth;
    switch (header.colour) {
    case 0:
        header.samples = 1;
        if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16)
            return std::nullopt;
        break;
    case 3:
        header.samples = 1;
        if (d != 1 && d != 2 && d != 4 && d != 8)
            return std::nullopt;
        break;
    case 2:
    case 4:
    case 6:
        header.samples = header.colour == 2 ? 3 : header.colour == 4 ? 2 : 4;
        if (d != 8 && d != 16)
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }
    header.pixelBytes = std::max(1, header.samples * d / 8);
    header.stride = (std::size_t(header.width) * std::size_t(header.samples * d) + 7) / 8;
    return header;
}

// Bytes that are written before they are read: a vector of them is not cleared first, which for
// a picture's rows costs a good part of inflating them.
struct uncleared : std::allocator<unsigned char> {
    template <class U> struct rebind { using other = uncleared; };
    void construct(unsigned char* at) { ::new (static_cast<void*>(at)) unsigned char; }
    void construct(unsigned char* at, unsigned char value) { *at = value; }
};
using byteBuffer = std::vector<unsigned char, uncleared>;

// The bytes the image data of a picture that is not interlaced inflates to: every row with its
// filter byte.
std::size_t inflatedBytes(const pngHeader& header) {
    return (header.stride + 1) * std::size_t(header.height);
}

bool inflatesWhole(const pngHeader& header) {
    return !header.interlaced && inflatedBytes(header) <= kWholeInflateBytes;
}

// --- Unfiltering a row in place, given the row above it (already unfiltered). One pixel's
// channels go together, in 16-bit lanes.

// Up to eight bytes: a pixel of 16-bit RGBA is the widest.
__m128i loadPixel(const unsigned char* p, int bpp) {
    if (bpp <= 4) {
        uint32_t v = 0;
        std::memcpy(&v, p, size_t(bpp));
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
    }
    uint64_t v = 0;
    std::memcpy(&v, p, size_t(bpp));
    return _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(v)), _mm_setzero_si128());
}

void storePixel(unsigned char* p, __m128i pixel, int bpp) {
    const __m128i packed = _mm_packus_epi16(pixel, pixel);
    if (bpp <= 4) {
        const uint32_t v = uint32_t(_mm_cvtsi128_si32(packed));
        std::memcpy(p, &v, size_t(bpp));
        return;
    }
    const uint64_t v = uint64_t(_mm_cvtsi128_si64(packed));
    std::memcpy(p, &v, size_t(bpp));
}

__m128i lowByte(__m128i x) {
    return _mm_and_si128(x, _mm_set1_epi16(0xff));
}

__m128i absolute(__m128i x) {
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

__m128i choose(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <int bpp> void unfilterSub(unsigned char* row, std::size_t bytes) {
    __m128i left = _mm_setzero_si128();
    for (std::size_t i = 0; i < bytes; i += bpp) {
        left = lowByte(_mm_add_epi16(loadPixel(row + i, bpp), left));
        storePixel(row + i, left, bpp);
    }
}

template <int bpp> void unfilterAverage(unsigned char* row, const unsigned char* above, std::size_t bytes) {
    __m128i left = _mm_setzero_si128();
    for (std::size_t i = 0; i < bytes; i += bpp) {
        const __m128i mean = _mm_srli_epi16(_mm_add_epi16(left, loadPixel(above + i, bpp)), 1);
        left = lowByte(_mm_add_epi16(loadPixel(row + i, bpp), mean));
        storePixel(row + i, left, bpp);
    }
}

template <int bpp> void unfilterPaeth(unsigned char* row, const unsigned char* above, std::size_t bytes) {
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    for (std::size_t i = 0; i < bytes; i += bpp) {
        const __m128i b = loadPixel(above + i, bpp);
        // The neighbour nearest to a + b - c, preferring left, then above.
        const __m128i towardsA = _mm_sub_epi16(b, c);
        const __m128i towardsB = _mm_sub_epi16(a, c);
        const __m128i pc = absolute(_mm_add_epi16(towardsA, towardsB));
        const __m128i pa = absolute(towardsA), pb = absolute(towardsB);
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        const __m128i nearest =
            choose(_mm_cmpeq_epi16(pa, smallest), a, choose(_mm_cmpeq_epi16(pb, smallest), b, c));
        a = lowByte(_mm_add_epi16(loadPixel(row + i, bpp), nearest));
        storePixel(row + i, a, bpp);
        c = b;
    }
}

template <int bpp>
bool unfilterAs(int filter, unsigned char* row, const unsigned char* above, std::size_t bytes) {
    switch (filter) {
    case 0:
        return true;
    case 1:
        unfilterSub<bpp>(row, bytes);
        return true;
    case 2:
        for (std::size_t i = 0; i < bytes; ++i)
            row[i] = static_cast<unsigned char>(row[i] + above[i]);
        return true;
    case 3:
        unfilterAverage<bpp>(row, above, bytes);
        return true;
    case 4:
        unfilterPaeth<bpp>(row, above, bytes);
        return true;
    default:
        return false;
    }
}

void premultiplyRow(const unsigned char* row, uint32_t width, int channels, uint32_t* out) {
    if (channels == 3) {
        for (uint32_t x = 0; x < width; ++x, row += 3)
            out[x] = 0xff000000u | uint32_t(row[0]) << 16 | uint32_t(row[1]) << 8 | row[2];
        return;
    }
    for (uint32_t x = 0; x < width; ++x, row += 4)
        out[x] = qPremultiply(qRgba(row[0], row[1], row[2], row[3]));
}

bool unfilter(int bpp, int filter, unsigned char* row, const unsigned char* above, std::size_t bytes) {
    switch (bpp) {
    case 1:
        return unfilterAs<1>(filter, row, above, bytes);
    case 2:
        return unfilterAs<2>(filter, row, above, bytes);
    case 3:
        return unfilterAs<3>(filter, row, above, bytes);
    case 4:
        return unfilterAs<4>(filter, row, above, bytes);
    case 6:
        return unfilterAs<6>(filter, row, above, bytes);
    default:
        return unfilterAs<8>(filter, row, above, bytes);
    }
}

// --- Turning an unfiltered row of any kind into 8-bit RGB or RGBA, as Qt would read it.

uint8_t eightBits(const unsigned char* sample) {
    // Rounded as Qt rounds 16-bit samples down to 8.
    const uint32_t v = uint32_t(sample[0]) << 8 | sample[1];
    return uint8_t((v + 128 - ((v + 128) >> 8)) >> 8);
}

class rowExpander {
  public:
    rowExpander(const pngHeader& header, const std::vector<unsigned char>& palette,
                const std::vector<unsigned char>& transparency)
        : header_(header) {
        const bool keyed = !transparency.empty();
        if (header.colour == 3) {
            // Indexes past the palette's end read as Qt reads them: as the first colour, or
            // as white in a two-colour picture.
            for (std::size_t i = 0; i < 256; ++i) {
                const bool known = 3 * i + 2 < palette.size();
                const std::size_t at = known ? i : 0;
                table_[i] = {palette[3 * at], palette[3 * at + 1], palette[3 * at + 2],
                             at < transparency.size() ? transparency[at] : uint8_t(255)};
                if (!known && header.depth == 1)
                    table_[i] = {255, 255, 255, 255};
            }
            channels_ = keyed ? 4 : 3;
        } else if (header.colour == 0 || header.colour == 2) {
            channels_ = keyed ? 4 : 3;
            // An 8-bit colour's key wider than its samples is kept, and only its low byte
            // compared, as libpng (which Qt's reader uses for such pictures) does. A grey key out
            // of range matches nothing, as in Qt's reader.
            const int mask = header.colour == 2 && header.depth == 8 ? 0xff : 0xffff;
            if (keyed)
                for (std::size_t i = 0; i + 1 < transparency.size() && i < 6; i += 2)
                    key_[i / 2] = (int(transparency[i]) << 8 | transparency[i + 1]) & mask;
        } else {
            channels_ = 4;
        }
        direct_ = header.depth == 8 && ((header.colour == 2 && !keyed) || header.colour == 6);
        if (!direct_)
            out_.resize(std::size_t(header.width) * std::size_t(channels_));
    }

    // 3 (RGB) or 4 (RGBA).
    int channels() const { return channels_; }

    const unsigned char* expand(const unsigned char* row) {
        if (direct_)
            return row;
        const uint32_t width = header_.width;
        unsigned char* out = out_.data();
        const int depth = header_.depth;
        // The common kinds in loops of their own; the rest sample by sample.
        if (channels_ == 3 && header_.colour == 0 && depth >= 8) {
            const std::size_t step = std::size_t(depth / 8);
            for (uint32_t x = 0; x < width; ++x, out += 3, row += step)
                out[0] = out[1] = out[2] = depth == 8 ? row[0] : eightBits(row);
            return out_.data();
        }
        if (header_.colour == 4 || (header_.colour == 6 && depth == 16)) {
            const int samples = header_.samples;
            const std::size_t step = std::size_t(samples * depth / 8), size = std::size_t(depth / 8);
            for (uint32_t x = 0; x < width; ++x, out += 4, row += step) {
                const auto at = [&](int s) { return size == 1 ? row[s] : eightBits(row + 2 * s); };
                if (samples == 2) {
                    out[0] = out[1] = out[2] = at(0);
                    out[3] = at(1);
                } else {
                    out[0] = at(0), out[1] = at(1), out[2] = at(2), out[3] = at(3);
                }
            }
            return out_.data();
        }
        const auto sample = [&](uint32_t x, int s) -> int {
            if (depth == 16)
                return int(row[(std::size_t(x) * header_.samples + s) * 2]) << 8 |
                       row[(std::size_t(x) * header_.samples + s) * 2 + 1];
            if (depth == 8)
                return row[std::size_t(x) * header_.samples + s];
            const std::size_t bit = std::size_t(x) * std::size_t(depth);
            return (row[bit / 8] >> (8 - depth - int(bit % 8))) & ((1 << depth) - 1);
        };
        const auto eight = [&](uint32_t x, int s) -> uint8_t {
            if (depth == 16)
                return eightBits(row + (std::size_t(x) * header_.samples + s) * 2);
            if (depth == 8)
                return row[std::size_t(x) * header_.samples + s];
            return uint8_t(sample(x, s) * 255 / ((1 << depth) - 1));
        };
        for (uint32_t x = 0; x < width; ++x, out += channels_) {
            switch (header_.colour) {
            case 3: {
                const auto& entry = table_[size_t(sample(x, 0))];
                std::memcpy(out, entry.data(), size_t(channels_));
                break;
            }
            case 0:
                out[0] = out[1] = out[2] = eight(x, 0);
                if (channels_ == 4)
                    out[3] = sample(x, 0) == key_[0] ? 0 : 255;
                break;
            default:
                for (int s = 0; s < header_.samples; ++s)
                    out[s] = eight(x, s);
                if (channels_ == 4)
                    out[3] = sample(x, 0) == key_[0] && sample(x, 1) == key_[1] && sample(x, 2) == key_[2]
                                 ? 0
                                 : 255;
            }
        }
        return out_.data();
    }

  private:
    const pngHeader& header_;
    std::array<std::array<uint8_t, 4>, 256> table_{};
    std::array<int, 3> key_{-1, -1, -1};
    int channels_ = 4;
    bool direct_ = false;
    std::vector<unsigned char> out_;
};

// --- Averaging down: every output pixel is the mean of the premultiplied source area it covers,
// pixels at its edges counting by the share of them it covers.

// Where each source pixel of a line of `from` goes in a line of `to` (to <= from). In units
// where a source pixel weighs `to` and an output pixel gathers `from`: the output pixel it
// starts in and the weight it gives that one; the rest goes to the next.
struct lineShares {
    std::vector<uint32_t> first;
    std::vector<float> weight;
};

lineShares sharesOf(uint32_t from, uint32_t to) {
    lineShares shares;
    shares.first.resize(from);
    shares.weight.resize(from);
    for (uint32_t i = 0; i < from; ++i) {
        const uint64_t start = uint64_t(i) * to, end = start + to;
        const uint64_t out = start / from, boundary = (out + 1) * from;
        shares.first[i] = uint32_t(out);
        shares.weight[i] = float(end <= boundary ? to : boundary - start);
    }
    return shares;
}

// One pixel of a row as premultiplied R, G, B, A; `opaque` when its alpha is known to be full.
template <int channels, bool opaque> __m128 premultiplied(const unsigned char* p) {
    uint32_t v = 0xff000000u;
    std::memcpy(&v, p, channels);
    const __m128i zero = _mm_setzero_si128();
    const __m128 pixel =
        _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), zero), zero));
    if constexpr (channels == 3 || opaque)
        return pixel;
    const __m128 alpha = _mm_shuffle_ps(pixel, pixel, _MM_SHUFFLE(3, 3, 3, 3));
    const __m128 colour = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
    const __m128 scaled = _mm_mul_ps(pixel, _mm_mul_ps(alpha, _mm_set1_ps(1.0f / 255)));
    return _mm_or_ps(_mm_and_ps(colour, scaled), _mm_andnot_ps(colour, pixel));
}

// Sums source rows into output rows (still at the source's width), then each finished row
// across into the picture: the first sum is the one done for every source row.
class areaAverager {
  public:
    areaAverager(QImage& out, uint32_t width, uint32_t height)
        : out_(out), width_(width), height_(height), rows_(sharesOf(height, uint32_t(out.height()))),
          columns_(sharesOf(width, uint32_t(out.width()))), current_(std::size_t(width) * 4),
          next_(std::size_t(width) * 4), across_(std::size_t(out.width() + 1) * 4),
          scale_(float(1.0 / (double(width) * height))) {}

    template <int channels> void add(uint32_t y, const unsigned char* row) {
        begin(y);
        // Most pictures with alpha are opaque nearly everywhere: such rows need no multiplying.
        if (channels == 4 && isOpaque(row))
            accumulate<channels, true>(row, rows_.weight[y]);
        else
            accumulate<channels, false>(row, rows_.weight[y]);
        end(y);
    }
    // A row of R, G, B, A bytes already premultiplied.
    void addPremultiplied(uint32_t y, const unsigned char* row) {
        begin(y);
        accumulate<4, true>(row, rows_.weight[y]);
        end(y);
    }

  private:
    void begin(uint32_t y) {
        const uint32_t target = rows_.first[y];
        if (target != currentRow_) {
            finish();
            currentRow_ = target;
        }
    }
    void end(uint32_t y) {
        if (y + 1 == height_)
            finish();
    }
    // Members are read into locals first: the stores through float pointers could otherwise
    // alias them, and they would be read again for every pixel.
    void finish() {
        const uint32_t width = width_;
        const int outWidth = out_.width();
        const float whole = float(outWidth);
        std::fill(across_.begin(), across_.end(), 0.0f);
        float* across = across_.data();
        const float* current = current_.data();
        const uint32_t* firsts = columns_.first.data();
        const float* weights = columns_.weight.data();
        // The output pixel a column starts in never goes back, and only the last column of an
        // output pixel spills into the next (the others add nothing to it), so each output pixel
        // is summed in a register from what that column spilled: the same additions in the same
        // order as adding every column's two parts into `across`, without each waiting on the
        // last. The spare pixel at the end takes the nothing the last column spills.
        __m128 sum = _mm_setzero_ps(), previous = _mm_setzero_ps();
        uint32_t at = 0;
        for (uint32_t x = 0; x < width; ++x) {
            const __m128 source = _mm_loadu_ps(current + std::size_t(x) * 4);
            if (firsts[x] != at) {
                _mm_storeu_ps(across + std::size_t(at) * 4, sum);
                const __m128 spilled = _mm_mul_ps(_mm_set1_ps(whole - weights[x - 1]), previous);
                if (firsts[x] == at + 1) {
                    sum = spilled;
                } else {
                    _mm_storeu_ps(across + std::size_t(at + 1) * 4, spilled);
                    sum = _mm_setzero_ps();
                }
                at = firsts[x];
            }
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(weights[x]), source));
            previous = source;
        }
        _mm_storeu_ps(across + std::size_t(at) * 4, sum);
        if (width > 0)
            _mm_storeu_ps(across + std::size_t(at + 1) * 4,
                          _mm_mul_ps(_mm_set1_ps(whole - weights[width - 1]), previous));
        // R, G, B, A sums to the B, G, R, A bytes of ARGB32.
        auto* line = reinterpret_cast<uint32_t*>(out_.scanLine(int(currentRow_)));
        const __m128 scale = _mm_set1_ps(scale_), half = _mm_set1_ps(0.5f);
        for (int x = 0; x < outWidth; ++x) {
            __m128 mean = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(across + 4 * x), scale), half);
            mean = _mm_shuffle_ps(mean, mean, _MM_SHUFFLE(3, 0, 1, 2));
            const __m128i words = _mm_packs_epi32(_mm_cvttps_epi32(mean), _mm_setzero_si128());
            line[x] = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
        }
        current_.swap(next_);
        std::fill(next_.begin(), next_.end(), 0.0f);
    }

    bool isOpaque(const unsigned char* row) const {
        const uint32_t width = width_;
        __m128i four = _mm_set1_epi32(-1);
        uint32_t x = 0;
        for (; x + 4 <= width; x += 4)
            four = _mm_and_si128(four, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * x)));
        alignas(16) uint32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), four);
        uint32_t all = lanes[0] & lanes[1] & lanes[2] & lanes[3];
        for (; x < width; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, 4);
            all &= pixel;
        }
        return (all >> 24) == 0xff;
    }

    template <int channels, bool opaque> void accumulate(const unsigned char* row, float weight) {
        const float whole = float(out_.height());
        const __m128 mine = _mm_set1_ps(weight), rest = _mm_set1_ps(whole - weight);
        float* current = current_.data();
        float* next = next_.data();
        const uint32_t width = width_;
        static const bool wide = __builtin_cpu_supports("avx2");
        // Two pixels at a time where the processor can, with the same steps for each sum, so
        // the picture comes out the same.
        const uint32_t paired = wide ? accumulatePairs<channels, opaque>(row, weight, whole - weight) : 0;
        if (weight < whole) {
            for (uint32_t x = paired; x < width; ++x) {
                const __m128 pixel = premultiplied<channels, opaque>(row + std::size_t(x) * channels);
                _mm_storeu_ps(current + 4 * x,
                              _mm_add_ps(_mm_loadu_ps(current + 4 * x), _mm_mul_ps(mine, pixel)));
                _mm_storeu_ps(next + 4 * x, _mm_add_ps(_mm_loadu_ps(next + 4 * x), _mm_mul_ps(rest, pixel)));
            }
        } else {
            for (uint32_t x = paired; x < width; ++x) {
                const __m128 pixel = premultiplied<channels, opaque>(row + std::size_t(x) * channels);
                _mm_storeu_ps(current + 4 * x,
                              _mm_add_ps(_mm_loadu_ps(current + 4 * x), _mm_mul_ps(mine, pixel)));
            }
        }
    }

    // accumulate's sums for the row's first pixels, two at a time; how many it summed. It reads
    // no byte past the row's end.
    template <int channels, bool opaque>
    __attribute__((target("avx2"))) uint32_t accumulatePairs(const unsigned char* row, float weight,
                                                             float spill) {
        const __m256 mine = _mm256_set1_ps(weight), rest = _mm256_set1_ps(spill);
        float* current = current_.data();
        float* next = next_.data();
        const uint32_t width = width_;
        // Three-byte pixels are loaded eight bytes at a time, so the last pair is left over.
        const uint32_t pairs = channels == 4 ? width / 2 : width >= 3 ? (width - 1) / 2 : 0;
        const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        const __m128i opaqueAlpha = _mm_setr_epi8(0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0);
        for (uint32_t k = 0; k < pairs; ++k) {
            __m128i bytes =
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + std::size_t(k) * 2 * channels));
            if constexpr (channels == 3)
                bytes = _mm_or_si128(_mm_shuffle_epi8(bytes, spread), opaqueAlpha);
            __m256 pixels = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
            if constexpr (channels == 4 && !opaque) {
                const __m256 alpha = _mm256_shuffle_ps(pixels, pixels, _MM_SHUFFLE(3, 3, 3, 3));
                const __m256 scaled = _mm256_mul_ps(pixels, _mm256_mul_ps(alpha, _mm256_set1_ps(1.0f / 255)));
                pixels = _mm256_blend_ps(scaled, pixels, 0x88);
            }
            float* sum = current + std::size_t(k) * 8;
            _mm256_storeu_ps(sum, _mm256_add_ps(_mm256_loadu_ps(sum), _mm256_mul_ps(mine, pixels)));
            if (spill > 0) {
                float* below = next + std::size_t(k) * 8;
                _mm256_storeu_ps(below, _mm256_add_ps(_mm256_loadu_ps(below), _mm256_mul_ps(rest, pixels)));
            }
        }
        return pairs * 2;
    }

    QImage& out_;
    uint32_t width_, height_;
    lineShares rows_, columns_;
    std::vector<float> current_, next_, across_;
    float scale_;
    uint32_t currentRow_ = 0;
};

// A zlib stream's first two bytes: deflate, a window a PNG may have, no preset dictionary.
bool isZlibWrapper(const unsigned char* p) {
    return (p[0] & 0x0f) == 8 && (p[0] >> 4) <= 7 && (p[1] & 0x20) == 0 && (p[0] * 256 + p[1]) % 31 == 0;
}

// --- Reading the file as it comes: chunk by chunk, the image data inflated a piece at a time.

class chunkReader {
  public:
    explicit chunkReader(const PngSource& source) : source_(source) {}

    bool read(unsigned char* into, std::size_t size) {
        while (size > 0) {
            const std::size_t got = source_(into, size);
            if (got == 0 || got > size)
                return false;
            into += got;
            size -= got;
        }
        return true;
    }

    // The next chunk's length and type; false when the file ends, or the length or the type is
    // not one a PNG may have.
    bool next() {
        if (!read(head_, 8))
            return false;
        length_ = bigEndian(head_);
        left_ = length_;
        crc_ = crcOf(0, head_ + 4, 4);
        const auto letter = [](unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
        return length_ <= 0x7fffffffu && std::all_of(head_ + 4, head_ + 8, letter);
    }
    const unsigned char* type() const { return head_ + 4; }
    bool critical() const { return (head_[4] & 0x20) == 0; }
    uint32_t length() const { return length_; }
    uint32_t left() const { return left_; }

    // Up to `size` more bytes of the chunk's data.
    std::size_t data(unsigned char* into, std::size_t size) {
        size = std::min<std::size_t>(size, left_);
        if (size == 0 || !read(into, size))
            return 0;
        crc_ = crcOf(crc_, into, size);
        left_ -= uint32_t(size);
        return size;
    }
    // The rest of the chunk read, and whether its check matches (only a critical chunk's is
    // held to it: a damaged note in the file does not stop the picture, it is left out).
    bool finish(std::vector<unsigned char>& scratch) {
        while (left_ > 0)
            if (data(scratch.data(), scratch.size()) == 0)
                return false;
        unsigned char stored[4];
        if (!read(stored, 4))
            return false;
        sound_ = bigEndian(stored) == crc_;
        return sound_ || !critical();
    }
    // Whether the chunk finish read last was whole.
    bool sound() const { return sound_; }

  private:
    const PngSource& source_;
    unsigned char head_[8] = {};
    uint32_t length_ = 0, left_ = 0, crc_ = 0;
    bool sound_ = false;
};

// --- Interlaced pictures: seven passes, each a small picture of every eighth, fourth or second
// pixel, one after the other in the file. A pass's rows are unfiltered against the pass's own
// row above. Unscaled, each pixel goes straight to its place; scaled, each pass is averaged
// into sums for the whole picture held, kept as sixteen bits a channel (a 256th of a level),
// since every pass reaches every part of the picture.
class interlacedPasses {
  public:
    interlacedPasses(const pngHeader& header, const std::vector<unsigned char>& palette,
                     const std::vector<unsigned char>& transparency, QImage& out)
        : header_(header), palette_(palette), transparency_(transparency), out_(out),
          scaled_(out.width() != int(header.width) || out.height() != int(header.height)) {
        if (scaled_) {
            rows_ = sharesOf(header.height, uint32_t(out.height()));
            columns_ = sharesOf(header.width, uint32_t(out.width()));
            sums_.assign(std::size_t(out.width()) * std::size_t(out.height()) * 4, 0);
            const std::size_t line = std::size_t(out.width() + 1) * 4;
            across_.resize(line);
            current_.resize(line);
            next_.resize(line);
            scale_ = float(256.0 / (double(header.width) * header.height));
        }
        startPass(0);
    }

    // The most it holds besides the picture, for a picture of `own` held at `target`.
    static std::size_t workingBytes(QSize own, QSize target) {
        const std::size_t sums =
            own == target ? 0 : std::size_t(target.width()) * std::size_t(target.height()) * 8;
        return sums + std::size_t(own.width()) * (2 * 8 + 4 + 4 + 16) + std::size_t(target.width() + 1) * 48;
    }

    // Takes the next `n` inflated bytes; false when they do not fit the picture.
    bool take(const unsigned char* data, std::size_t n) {
        while (n > 0) {
            if (pass_ == 7)
                return false;
            const std::size_t part = std::min(n, row_.size() - filled_);
            std::memcpy(row_.data() + filled_, data, part);
            filled_ += part;
            data += part;
            n -= part;
            if (filled_ == row_.size() && !finishRow())
                return false;
        }
        return true;
    }

    bool complete() {
        if (pass_ != 7 || filled_ != 0)
            return false;
        if (scaled_)
            writeSums();
        return true;
    }

  private:
    struct passGrid {
        uint32_t x0, y0, dx, dy;
    };
    static constexpr passGrid kPasses[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

    // The first pass from `from` on that has pixels; 7 when none is left.
    void startPass(int from) {
        for (pass_ = from; pass_ < 7; ++pass_) {
            const passGrid& g = kPasses[pass_];
            const uint32_t width = header_.width > g.x0 ? (header_.width - g.x0 + g.dx - 1) / g.dx : 0;
            const uint32_t height = header_.height > g.y0 ? (header_.height - g.y0 + g.dy - 1) / g.dy : 0;
            if (width == 0 || height == 0)
                continue;
            passHeader_ = header_;
            passHeader_.width = width;
            passHeader_.height = height;
            passHeader_.stride = (std::size_t(width) * std::size_t(header_.samples * header_.depth) + 7) / 8;
            expander_.emplace(passHeader_, palette_, transparency_);
            row_.assign(passHeader_.stride + 1, 0);
            above_.assign(passHeader_.stride, 0);
            premultiplied_.resize(width);
            filled_ = 0;
            passRow_ = 0;
            sumsRow_ = -1;
            return;
        }
    }

    bool finishRow() {
        const passGrid& g = kPasses[pass_];
        unsigned char* data = row_.data() + 1;
        if (!unfilter(header_.pixelBytes, row_[0], data, above_.data(), passHeader_.stride))
            return false;
        const unsigned char* pixels = expander_->expand(data);
        const uint32_t y = g.y0 + passRow_ * g.dy;
        if (scaled_) {
            if (expander_->channels() == 3)
                addRow<3>(y, pixels);
            else
                addRow<4>(y, pixels);
        } else {
            premultiplyRow(pixels, passHeader_.width, expander_->channels(), premultiplied_.data());
            auto* line = reinterpret_cast<uint32_t*>(out_.scanLine(int(y)));
            for (uint32_t k = 0; k < passHeader_.width; ++k)
                line[g.x0 + k * g.dx] = premultiplied_[k];
        }
        std::memcpy(above_.data(), data, passHeader_.stride);
        filled_ = 0;
        if (++passRow_ == passHeader_.height) {
            if (scaled_)
                flushRows(-1);
            startPass(pass_ + 1);
        }
        return true;
    }

    // A pass's row across into the output's columns, then into the two output rows it reaches.
    template <int channels> void addRow(uint32_t y, const unsigned char* pixels) {
        const passGrid& g = kPasses[pass_];
        const float wide = float(out_.width());
        std::fill(across_.begin(), across_.end(), 0.0f);
        float* across = across_.data();
        for (uint32_t k = 0; k < passHeader_.width; ++k) {
            const uint32_t x = g.x0 + k * g.dx;
            const __m128 pixel = premultiplied<channels, false>(pixels + std::size_t(k) * channels);
            float* first = across + std::size_t(columns_.first[x]) * 4;
            const float weight = columns_.weight[x];
            _mm_storeu_ps(first, _mm_add_ps(_mm_loadu_ps(first), _mm_mul_ps(_mm_set1_ps(weight), pixel)));
            _mm_storeu_ps(first + 4,
                          _mm_add_ps(_mm_loadu_ps(first + 4), _mm_mul_ps(_mm_set1_ps(wide - weight), pixel)));
        }
        const int target = int(rows_.first[y]);
        flushRows(target);
        const float mine = rows_.weight[y], rest = float(out_.height()) - mine;
        for (std::size_t i = 0; i < across_.size(); ++i) {
            current_[i] += mine * across_[i];
            next_[i] += rest * across_[i];
        }
    }

    // Moves the pass's two rows of sums on to output row `target` (-1: the pass has ended),
    // adding those left behind to the picture's sums.
    void flushRows(int target) {
        if (sumsRow_ == target)
            return;
        if (sumsRow_ >= 0) {
            addToSums(sumsRow_, current_);
            if (target == sumsRow_ + 1) {
                current_.swap(next_);
            } else {
                addToSums(sumsRow_ + 1, next_);
                std::fill(current_.begin(), current_.end(), 0.0f);
            }
            std::fill(next_.begin(), next_.end(), 0.0f);
        }
        sumsRow_ = target;
    }

    void addToSums(int row, const std::vector<float>& line) {
        if (row < 0 || row >= out_.height())
            return;
        uint16_t* sums = sums_.data() + std::size_t(row) * std::size_t(out_.width()) * 4;
        for (std::size_t i = 0, n = std::size_t(out_.width()) * 4; i < n; ++i)
            sums[i] = uint16_t(std::min(65535.0f, float(sums[i]) + line[i] * scale_ + 0.5f));
    }

    void writeSums() {
        const int width = out_.width();
        for (int y = 0; y < out_.height(); ++y) {
            const uint16_t* sums = sums_.data() + std::size_t(y) * std::size_t(width) * 4;
            auto* line = reinterpret_cast<uint32_t*>(out_.scanLine(y));
            for (int x = 0; x < width; ++x, sums += 4) {
                const uint32_t a = std::min<uint32_t>(255, (uint32_t(sums[3]) + 128) >> 8);
                const auto level = [&](int c) {
                    return std::min<uint32_t>(a, (uint32_t(sums[c]) + 128) >> 8);
                };
                line[x] = a << 24 | level(0) << 16 | level(1) << 8 | level(2);
            }
        }
    }

    const pngHeader& header_;
    const std::vector<unsigned char>& palette_;
    const std::vector<unsigned char>& transparency_;
    QImage& out_;
    const bool scaled_;
    int pass_ = 0;
    pngHeader passHeader_;
    std::optional<rowExpander> expander_;
    std::vector<unsigned char> row_, above_;
    std::vector<uint32_t> premultiplied_;
    std::size_t filled_ = 0;
    uint32_t passRow_ = 0;
    lineShares rows_, columns_;
    std::vector<uint16_t> sums_;
    std::vector<float> across_, current_, next_;
    float scale_ = 0;
    int sumsRow_ = -1;
};

std::optional<QImage> decode(const PngSource& source, QSize drawn) {
    unsigned char start[kPngHeaderBytes];
    chunkReader chunks(source);
    if (!chunks.read(start, sizeof start))
        return std::nullopt;
    const auto header = readHeader(start, sizeof start);
    if (!header)
        return std::nullopt;
    std::vector<unsigned char> input(kReadPiece);

    // What comes before the image data: a palette and transparency are taken in; anything
    // else critical changes what the pixels mean, and is Qt's to read.
    std::vector<unsigned char> palette, transparency;
    for (;;) {
        if (!chunks.next())
            return std::nullopt;
        if (isType(chunks.type(), "IDAT"))
            break;
        // A palette or transparency that is repeated, out of place or of a length other than
        // its kind has is left to Qt's reader, which tells which to keep.
        std::vector<unsigned char>* keep = nullptr;
        if (isType(chunks.type(), "PLTE"))
            keep = &palette;
        else if (isType(chunks.type(), "tRNS"))
            keep = &transparency;
        else if (chunks.critical())
            return std::nullopt;
        if (keep) {
            const uint32_t length = chunks.length();
            const bool fits = keep == &palette
                                  ? length > 0 && length <= 768 && length % 3 == 0 && transparency.empty()
                              : header->colour == 3 ? length > 0 && length <= palette.size() / 3
                              : header->colour == 0 ? length == 2
                              : header->colour == 2 ? length == 6
                                                    : length <= 768;
            if (!keep->empty() || !fits)
                return std::nullopt;
            keep->resize(chunks.length());
            if (chunks.length() > 0 && chunks.data(keep->data(), keep->size()) != keep->size())
                return std::nullopt;
        }
        if (!chunks.finish(input))
            return std::nullopt;
        // A damaged transparency is left out, as other readers leave it.
        if (keep && !chunks.sound())
            keep->clear();
    }
    if (header->colour == 3 && palette.empty())
        return std::nullopt;
    if (header->colour == 4 || header->colour == 6)
        transparency.clear();

    const QSize own(int(header->width), int(header->height));
    const QSize target = decodedPictureSize(own, drawn);
    QImage out(target, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return std::nullopt;
    rowExpander expander(*header, palette, transparency);
    std::optional<areaAverager> averager;
    std::optional<interlacedPasses> passes;
    if (header->interlaced)
        passes.emplace(*header, palette, transparency, out);
    else if (target != own)
        averager.emplace(out, header->width, header->height);

    // Rows are inflated a block at a time; the last row of a block is kept as the one above
    // the next block's first. An interlaced picture's rows are gathered by its passes. A picture
    // that inflates whole takes all its rows as one block.
    const bool whole = inflatesWhole(*header);
    const std::size_t rowBytes = header->stride + 1;
    const std::size_t blockRows = std::max<std::size_t>(1, kInflatedPiece / rowBytes);
    byteBuffer block(passes ? kInflatedPiece : whole ? inflatedBytes(*header) : blockRows * rowBytes);
    std::vector<unsigned char> above(passes ? 0 : header->stride, 0);
    // All the image data of a picture that inflates whole, as it is in the file.
    byteBuffer packed;
    std::size_t filled = 0, done = 0;
    uint32_t y = 0;

    // The zlib wrapper is read here and the data inflated raw, its checksum worked out by
    // adlerOf, which is quicker than the inflater's own.
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        return std::nullopt;
    const std::unique_ptr<z_stream, int (*)(z_stream*)> ending(&stream, inflateEnd);
    unsigned char wrapper[2], check[4];
    int wrapperRead = 0, checkRead = 0;
    uint32_t adler = 1;
    bool ended = false;
    const auto inflated = [&]() {
        const int status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t before = filled;
        filled = block.size() - stream.avail_out;
        adler = adlerOf(adler, block.data() + before, filled - before);
        return status;
    };
    const auto takeRows = [&]() -> bool {
        if (passes) {
            const bool fits = passes->take(block.data(), filled);
            filled = done = 0;
            return fits;
        }
        for (; done + rowBytes <= filled; done += rowBytes, ++y) {
            if (y >= header->height)
                return false;
            unsigned char* row = block.data() + done;
            const unsigned char* up = done == 0 ? above.data() : row - rowBytes + 1;
            if (!unfilter(header->pixelBytes, row[0], row + 1, up, header->stride))
                return false;
            const unsigned char* pixels = expander.expand(row + 1);
            if (!averager)
                premultiplyRow(pixels, header->width, expander.channels(),
                               reinterpret_cast<uint32_t*>(out.scanLine(int(y))));
            else if (expander.channels() == 3)
                averager->add<3>(y, pixels);
            else
                averager->add<4>(y, pixels);
        }
        if (filled == block.size()) {
            std::memcpy(above.data(), block.data() + block.size() - header->stride, header->stride);
            filled = done = 0;
        }
        return true;
    };

    // The image data, over as many chunks as the writer split it into; nothing else between them.
    for (;;) {
        if (whole) {
            const std::size_t at = packed.size(), more = chunks.left();
            if (more > mostPackedBytes(block.size()) - at)
                return std::nullopt;
            packed.resize(at + more);
            if (more > 0 && chunks.data(packed.data() + at, more) != more)
                return std::nullopt;
        }
        while (chunks.left() > 0) {
            const std::size_t got = chunks.data(input.data(), input.size());
            if (got == 0)
                return std::nullopt;
            stream.next_in = input.data();
            stream.avail_in = uInt(got);
            while (stream.avail_in > 0) {
                if (wrapperRead < 2) {
                    wrapper[wrapperRead++] = *stream.next_in++;
                    --stream.avail_in;
                    if (wrapperRead == 2 && !isZlibWrapper(wrapper))
                        return std::nullopt;
                    continue;
                }
                if (ended) {
                    // The stream's checksum follows; anything more is damage.
                    const uInt taken = std::min<uInt>(stream.avail_in, uInt(4 - checkRead));
                    if (taken == 0)
                        return std::nullopt;
                    std::memcpy(check + checkRead, stream.next_in, taken);
                    checkRead += int(taken);
                    stream.next_in += taken;
                    stream.avail_in -= taken;
                    continue;
                }
                stream.next_out = block.data() + filled;
                stream.avail_out = uInt(block.size() - filled);
                const int status = inflated();
                if (status != Z_OK && status != Z_STREAM_END)
                    return std::nullopt;
                ended = status == Z_STREAM_END;
                if (!takeRows())
                    return std::nullopt;
            }
        }
        if (!chunks.finish(input) || !chunks.next())
            return std::nullopt;
        if (!isType(chunks.type(), "IDAT"))
            break;
    }
    if (whole) {
        // The same checks as a piece at a time: the wrapper, every row and nothing after them,
        // the checksum, and no bytes after it.
        const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
            libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
        std::size_t read = 0;
        if (!inflater || packed.size() < 2 || !isZlibWrapper(packed.data()) ||
            libdeflate_zlib_decompress_ex(inflater.get(), packed.data(), packed.size(), block.data(),
                                          block.size(), &read, &filled) != LIBDEFLATE_SUCCESS ||
            read != packed.size())
            return std::nullopt;
        packed = {};
        ended = true;
        if (!takeRows())
            return std::nullopt;
    }
    // The inflater may still hold output it had no room for.
    while (!ended) {
        stream.next_out = block.data() + filled;
        stream.avail_out = uInt(block.size() - filled);
        const std::size_t before = filled;
        const int status = inflated();
        if (status != Z_OK && status != Z_STREAM_END)
            return std::nullopt;
        ended = status == Z_STREAM_END;
        const bool moved = filled != before;
        if (!takeRows() || (!ended && !moved))
            return std::nullopt;
    }
    if (passes ? !passes->complete() : y != header->height || filled != done)
        return std::nullopt;
    // A stream whose checksum is wrong or missing is refused, as zlib itself refuses it.
    if (!whole && (checkRead != 4 || bigEndian(check) != adler))
        return std::nullopt;

    // The rest of the file: nothing critical but its end (no image data after other chunks), and
    // the end must be there, whole.
    for (;;) {
        if (isType(chunks.type(), "IEND"))
            return chunks.finish(input) ? std::optional<QImage>(std::move(out)) : std::nullopt;
        if (chunks.critical() || !chunks.finish(input) || !chunks.next())
            return std::nullopt;
    }
}

} // namespace

std::optional<QImage> decodeFastPng(const PngSource& source, QSize drawn) {
    return decode(source, drawn);
}

std::optional<QImage> decodeFastPng(const unsigned char* bytes, std::size_t size, QSize drawn) {
    std::size_t at = 0;
    const PngSource source = [&](unsigned char* into, std::size_t want) {
        const std::size_t n = std::min(want, size - at);
        std::memcpy(into, bytes + at, n);
        at += n;
        return n;
    };
    return decode(source, drawn);
}

std::optional<QSize> fastPngSize(const unsigned char* start, std::size_t size, bool* interlaced) {
    const auto header = readHeader(start, size);
    if (!header)
        return std::nullopt;
    if (interlaced)
        *interlaced = header->interlaced;
    return QSize(int(header->width), int(header->height));
}

std::size_t fastPngWorkingBytes(const unsigned char* start, std::size_t size, QSize target) {
    const auto header = readHeader(start, size);
    if (!header)
        return 0;
    // The picture made, its rows as read and as expanded, the sums of the averaging, the pieces
    // read and inflated, and the inflater's window; or, inflated whole, all its rows and all its
    // image data as read.
    const QSize own(int(header->width), int(header->height));
    const std::size_t width = std::size_t(header->width);
    return std::size_t(std::max(0, target.width())) * std::size_t(std::max(0, target.height())) * 4 +
           width * (2 * 8 + 4 + 2 * 16) + std::size_t(std::max(0, target.width()) + 1) * 16 + kReadPiece +
           (inflatesWhole(*header) ? inflatedBytes(*header) + mostPackedBytes(inflatedBytes(*header))
                                   : kInflatedPiece) +
           (std::size_t(64) << 10) + (header->interlaced ? interlacedPasses::workingBytes(own, target) : 0);
}

QImage averagedDown(const QImage& image, QSize target) {
    constexpr int kStrip = 32;
    QImage out(target, QImage::Format_ARGB32_Premultiplied);
    QImage strip(image.width(), kStrip, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull() || out.isNull() || strip.isNull())
        return {};
    areaAverager averager(out, uint32_t(image.width()), uint32_t(image.height()));
    // Each strip is painted into the one strip image, converting as it goes: no copy of the
    // picture, nor of a strip, is made per strip.
    for (int top = 0; top < image.height(); top += kStrip) {
        const int rows = std::min(kStrip, image.height() - top);
        QImage part(image.constScanLine(top), image.width(), rows, image.bytesPerLine(), image.format());
        if (image.colorCount() > 0)
            part.setColorTable(image.colorTable());
        QPainter painter(&strip);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, part);
        painter.end();
        for (int r = 0; r < rows; ++r)
            averager.addPremultiplied(uint32_t(top + r), strip.constScanLine(r));
    }
    return out;
}

} // namespace qrn::imaging

namespace qrn::imaging {

struct PictureRows::State {
    QImage out;
    std::optional<areaAverager> averager;
};

PictureRows::PictureRows(QSize own, QSize target) : state_(std::make_unique<State>()) {
    state_->out = QImage(target, QImage::Format_ARGB32_Premultiplied);
    if (!state_->out.isNull() && target != own)
        state_->averager.emplace(state_->out, uint32_t(own.width()), uint32_t(own.height()));
}

PictureRows::~PictureRows() = default;

bool PictureRows::isValid() const {
    return !state_->out.isNull();
}

void PictureRows::add(uint32_t y, const unsigned char* row, Kind kind) {
    if (auto& averager = state_->averager) {
        if (kind == Kind::rgb)
            averager->add<3>(y, row);
        else if (kind == Kind::rgba)
            averager->add<4>(y, row);
        else
            averager->addPremultiplied(y, row);
        return;
    }
    auto* line = reinterpret_cast<uint32_t*>(state_->out.scanLine(int(y)));
    const uint32_t width = uint32_t(state_->out.width());
    if (kind != Kind::premultipliedRgba) {
        premultiplyRow(row, width, kind == Kind::rgb ? 3 : 4, line);
        return;
    }
    for (uint32_t x = 0; x < width; ++x, row += 4)
        line[x] = uint32_t(row[3]) << 24 | uint32_t(row[0]) << 16 | uint32_t(row[1]) << 8 | row[2];
}

QImage PictureRows::take() {
    return std::move(state_->out);
}

std::size_t PictureRows::workingBytes(QSize own) {
    // The averager's two rows of sums, and its row across.
    return std::size_t(std::max(0, own.width())) * 2 * 16 + (std::size_t(64) << 10);
}

} // namespace qrn::imaging
