#include "platform/imaging/png_decoder.h"

#include <libdeflate.h>

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/imaging/picture_reader.h"

namespace qrn::imaging {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// The inflated rows are held whole while they are read; a larger picture goes to Qt's reader,
// whose own limit then says whether it reads.
constexpr std::size_t kLargestInflated = std::size_t(1) << 30;

uint32_t bigEndian(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool isType(const unsigned char* p, const char* type) {
    return std::memcmp(p, type, 4) == 0;
}

struct pngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 0;
};

// The header when the file is 8-bit RGB or RGBA, not interlaced, with a sound IHDR.
std::optional<pngHeader> readHeader(const unsigned char* bytes, std::size_t size) {
    if (size < 8 + 12 + 13 || std::memcmp(bytes, kSignature, 8) != 0)
        return std::nullopt;
    const unsigned char* chunk = bytes + 8;
    if (bigEndian(chunk) != 13 || !isType(chunk + 4, "IHDR"))
        return std::nullopt;
    if (libdeflate_crc32(0, chunk + 4, 4 + 13) != bigEndian(chunk + 8 + 13))
        return std::nullopt;
    const unsigned char* data = chunk + 8;
    pngHeader header;
    header.width = bigEndian(data);
    header.height = bigEndian(data + 4);
    const int depth = data[8], colour = data[9], compression = data[10], filter = data[11],
              interlace = data[12];
    // Wider or taller pictures go to Qt's reader, so no row this reader keeps is large.
    if (header.width == 0 || header.height == 0 || header.width > 65535 || header.height > 65535)
        return std::nullopt;
    if (depth != 8 || compression != 0 || filter != 0 || interlace != 0)
        return std::nullopt;
    if (colour == 2)
        header.channels = 3;
    else if (colour == 6)
        header.channels = 4;
    else
        return std::nullopt;
    return header;
}

// The image data of the file, joined when it spans several chunks (as it usually does). None
// when a chunk is cut short, damaged or out of order, or asks for what this reader does not do.
std::optional<std::vector<unsigned char>> imageData(const unsigned char* bytes, std::size_t size) {
    std::vector<unsigned char> joined;
    std::size_t at = 8 + 12 + 13;
    bool inData = false, dataDone = false;
    while (size - at >= 12) {
        const uint32_t length = bigEndian(bytes + at);
        if (length > size - at - 12)
            return std::nullopt;
        const unsigned char* type = bytes + at + 4;
        const unsigned char* data = type + 4;
        // A damaged critical chunk is Qt's to refuse or read as it always has.
        const bool critical = (type[0] & 0x20) == 0;
        if (critical && libdeflate_crc32(0, type, 4 + length) != bigEndian(data + length))
            return std::nullopt;
        if (isType(type, "IEND"))
            return inData ? std::optional(std::move(joined)) : std::nullopt;
        if (isType(type, "IDAT")) {
            if (dataDone)
                return std::nullopt;
            joined.insert(joined.end(), data, data + length);
            inData = true;
        } else {
            dataDone = inData;
            // A colour key makes pixels transparent, and an unknown critical chunk changes what
            // the pixels mean: both are Qt's to read.
            if (isType(type, "tRNS") || (critical && !isType(type, "PLTE")))
                return std::nullopt;
        }
        at += 12 + std::size_t(length);
    }
    return std::nullopt;
}

// --- Unfiltering a row in place, given the row above it (already unfiltered). One pixel's
// channels go together, in 16-bit lanes.

__m128i loadPixel(const unsigned char* p, int bpp) {
    uint32_t v = 0;
    std::memcpy(&v, p, size_t(bpp));
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
}

void storePixel(unsigned char* p, __m128i pixel, int bpp) {
    const uint32_t v = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(pixel, pixel)));
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
bool unfilter(int filter, unsigned char* row, const unsigned char* above, std::size_t bytes) {
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
        const uint32_t target = rows_.first[y];
        if (target != currentRow_) {
            finish();
            currentRow_ = target;
        }
        // Most pictures with alpha are opaque nearly everywhere: such rows need no multiplying.
        if (channels == 4 && isOpaque(row))
            accumulate<channels, true>(row, rows_.weight[y]);
        else
            accumulate<channels, false>(row, rows_.weight[y]);
        if (y + 1 == height_)
            finish();
    }

  private:
    void finish() {
        const float whole = float(out_.width());
        std::fill(across_.begin(), across_.end(), 0.0f);
        float* across = across_.data();
        for (uint32_t x = 0; x < width_; ++x) {
            const __m128 source = _mm_loadu_ps(current_.data() + std::size_t(x) * 4);
            float* first = across + std::size_t(columns_.first[x]) * 4;
            const float weight = columns_.weight[x];
            _mm_storeu_ps(first, _mm_add_ps(_mm_loadu_ps(first), _mm_mul_ps(_mm_set1_ps(weight), source)));
            // The spare pixel at the end takes the nothing the last column spills.
            _mm_storeu_ps(first + 4, _mm_add_ps(_mm_loadu_ps(first + 4),
                                                _mm_mul_ps(_mm_set1_ps(whole - weight), source)));
        }
        // R, G, B, A sums to the B, G, R, A bytes of ARGB32.
        auto* line = reinterpret_cast<uint32_t*>(out_.scanLine(int(currentRow_)));
        const __m128 scale = _mm_set1_ps(scale_), half = _mm_set1_ps(0.5f);
        for (int x = 0; x < out_.width(); ++x) {
            __m128 mean = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(across + 4 * x), scale), half);
            mean = _mm_shuffle_ps(mean, mean, _MM_SHUFFLE(3, 0, 1, 2));
            const __m128i words = _mm_packs_epi32(_mm_cvttps_epi32(mean), _mm_setzero_si128());
            line[x] = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
        }
        current_.swap(next_);
        std::fill(next_.begin(), next_.end(), 0.0f);
    }

    bool isOpaque(const unsigned char* row) const {
        uint32_t all = 0xffffffffu;
        for (uint32_t x = 0; x < width_; ++x) {
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
        if (weight < whole) {
            for (uint32_t x = 0; x < width_; ++x) {
                const __m128 pixel = premultiplied<channels, opaque>(row + std::size_t(x) * channels);
                _mm_storeu_ps(current + 4 * x,
                              _mm_add_ps(_mm_loadu_ps(current + 4 * x), _mm_mul_ps(mine, pixel)));
                _mm_storeu_ps(next + 4 * x, _mm_add_ps(_mm_loadu_ps(next + 4 * x), _mm_mul_ps(rest, pixel)));
            }
        } else {
            for (uint32_t x = 0; x < width_; ++x) {
                const __m128 pixel = premultiplied<channels, opaque>(row + std::size_t(x) * channels);
                _mm_storeu_ps(current + 4 * x,
                              _mm_add_ps(_mm_loadu_ps(current + 4 * x), _mm_mul_ps(mine, pixel)));
            }
        }
    }

    QImage& out_;
    uint32_t width_, height_;
    lineShares rows_, columns_;
    std::vector<float> current_, next_, across_;
    float scale_;
    uint32_t currentRow_ = 0;
};

} // namespace

std::optional<QImage> decodeFastPng(const unsigned char* bytes, std::size_t size, QSize drawn) {
    const auto header = readHeader(bytes, size);
    if (!header)
        return std::nullopt;
    const QSize own(int(header->width), int(header->height));
    const QSize target = decodedPictureSize(own, drawn);
    const std::size_t stride = std::size_t(header->width) * size_t(header->channels);
    const std::size_t inflated = (stride + 1) * header->height;
    if (inflated > kLargestInflated)
        return std::nullopt;
    const auto data = imageData(bytes, size);
    if (!data)
        return std::nullopt;

    std::unique_ptr<unsigned char[]> rows(new (std::nothrow) unsigned char[inflated]);
    QImage out(target, QImage::Format_ARGB32_Premultiplied);
    if (!rows || out.isNull())
        return std::nullopt;
    {
        const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
            libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
        if (!inflater || libdeflate_zlib_decompress(inflater.get(), data->data(), data->size(), rows.get(),
                                                    inflated, nullptr) != LIBDEFLATE_SUCCESS)
            return std::nullopt;
    }

    const std::vector<unsigned char> blank(stride, 0);
    std::optional<areaAverager> averager;
    if (target != own)
        averager.emplace(out, header->width, header->height);
    const unsigned char* above = blank.data();
    for (uint32_t y = 0; y < header->height; ++y) {
        unsigned char* row = rows.get() + std::size_t(y) * (stride + 1);
        const bool known = header->channels == 3 ? unfilter<3>(row[0], row + 1, above, stride)
                                                 : unfilter<4>(row[0], row + 1, above, stride);
        if (!known)
            return std::nullopt;
        above = row + 1;
        if (!averager) {
            premultiplyRow(row + 1, header->width, header->channels,
                           reinterpret_cast<uint32_t*>(out.scanLine(int(y))));
            continue;
        }
        if (header->channels == 3)
            averager->add<3>(y, row + 1);
        else
            averager->add<4>(y, row + 1);
    }
    return out;
}

} // namespace qrn::imaging
