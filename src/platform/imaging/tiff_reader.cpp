#include "platform/imaging/tiff_reader.h"

#include <QIODevice>

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/imaging/decode_budget.h"
#include "platform/imaging/picture_reader.h"
#include "platform/imaging/png_decoder.h"

namespace qrn::imaging {

namespace {

// --- libtiff reads through the device: the file is never mapped, since a file cut short by
// another program while mapped would end us.

tmsize_t readFrom(thandle_t handle, void* into, tmsize_t size) {
    return tmsize_t(static_cast<QIODevice*>(handle)->read(static_cast<char*>(into), qint64(size)));
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t seekIn(thandle_t handle, toff_t offset, int whence) {
    auto* device = static_cast<QIODevice*>(handle);
    qint64 at = qint64(offset);
    if (whence == SEEK_CUR)
        at += device->pos();
    else if (whence == SEEK_END)
        at += device->size();
    if (at < 0 || !device->seek(at))
        return toff_t(-1);
    return toff_t(at);
}

int closeNothing(thandle_t) {
    return 0;
}

toff_t sizeOf(thandle_t handle) {
    return toff_t(static_cast<QIODevice*>(handle)->size());
}

int mapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

// Damage is told by the reads' results; libtiff's messages would only reach stderr.
int quietly(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct tiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

template <typename T> T field(TIFF* tiff, ttag_t tag, T otherwise) {
    T value = otherwise;
    return TIFFGetFieldDefaulted(tiff, tag, &value) == 1 ? value : otherwise;
}

// What a row of the file holds, and how to make 8-bit R, G, B (A) of it.
struct layout {
    uint32_t width = 0, height = 0;
    int bits = 0, samples = 0, photometric = 0;
    // The alpha sample's place, -1 for none; whether the colours are already multiplied by it.
    int alpha = -1;
    bool associated = false;
    // Palette entries as 8-bit R, G, B.
    std::vector<uint8_t> palette;
};

uint8_t eightOf(const unsigned char* row, std::size_t index, int bits) {
    if (bits == 8)
        return row[index];
    if (bits == 16) {
        uint16_t v;
        std::memcpy(&v, row + 2 * index, 2);
        // Rounded as Qt rounds 16-bit samples down to 8.
        return uint8_t((uint32_t(v) + 128 - ((uint32_t(v) + 128) >> 8)) >> 8);
    }
    const std::size_t bit = index * std::size_t(bits);
    const int value = (row[bit / 8] >> (8 - bits - int(bit % 8))) & ((1 << bits) - 1);
    return uint8_t(value * 255 / ((1 << bits) - 1));
}

std::size_t indexOf(const unsigned char* row, std::size_t index, int bits) {
    if (bits == 8)
        return row[index];
    const std::size_t bit = index * std::size_t(bits);
    return std::size_t((row[bit / 8] >> (8 - bits - int(bit % 8))) & ((1 << bits) - 1));
}

// The file's layout when it is one this reader takes.
std::optional<layout> layoutOf(TIFF* tiff) {
    layout l;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &l.width) != 1 ||
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &l.height) != 1 || l.width == 0 || l.height == 0 ||
        l.width > 1u << 20 || l.height > 1u << 20)
        return std::nullopt;
    l.bits = field<uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    l.samples = field<uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    if (field<uint16_t>(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) != PLANARCONFIG_CONTIG ||
        field<uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) != SAMPLEFORMAT_UINT ||
        field<uint16_t>(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) != ORIENTATION_TOPLEFT)
        return std::nullopt;
    uint16_t photometric = 0;
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1)
        return std::nullopt;
    l.photometric = photometric;
    // JPEG-compressed YCbCr is turned into RGB by libtiff as it reads.
    if (l.photometric == PHOTOMETRIC_YCBCR &&
        field<uint16_t>(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == COMPRESSION_JPEG && l.bits == 8 &&
        l.samples == 3) {
        if (TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) != 1)
            return std::nullopt;
        l.photometric = PHOTOMETRIC_RGB;
    }
    const bool grey = l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE;
    const int colours = l.photometric == PHOTOMETRIC_RGB ? 3 : 1;
    if (!grey && l.photometric != PHOTOMETRIC_RGB && l.photometric != PHOTOMETRIC_PALETTE)
        return std::nullopt;
    if (l.samples < colours || l.samples > 8)
        return std::nullopt;
    const bool small = l.bits == 1 || l.bits == 2 || l.bits == 4;
    if (!(l.bits == 8 || l.bits == 16 || (small && l.samples == 1 && l.photometric != PHOTOMETRIC_RGB)))
        return std::nullopt;
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        if (l.bits == 16 || l.samples != 1)
            return std::nullopt;
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) != 1 || !red || !green || !blue)
            return std::nullopt;
        const std::size_t entries = std::size_t(1) << l.bits;
        // Some writers store 8-bit entries: when none is above 255, they are taken as such.
        const bool eightBit = std::all_of(red, red + entries, [](uint16_t v) { return v < 256; }) &&
                              std::all_of(green, green + entries, [](uint16_t v) { return v < 256; }) &&
                              std::all_of(blue, blue + entries, [](uint16_t v) { return v < 256; });
        for (std::size_t i = 0; i < entries; ++i)
            for (const uint16_t* table : {red, green, blue})
                l.palette.push_back(uint8_t(eightBit ? table[i] : table[i] >> 8));
    }
    if (l.samples > colours) {
        uint16_t extras = 0;
        uint16_t* kinds = nullptr;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extras, &kinds);
        const int kind = extras > 0 && kinds ? kinds[0] : EXTRASAMPLE_UNSPECIFIED;
        // An extra sample said to be nothing in particular is taken as premultiplied alpha, as
        // libtiff's own reading takes it.
        if (kind == EXTRASAMPLE_UNASSALPHA || kind == EXTRASAMPLE_ASSOCALPHA ||
            (kind == EXTRASAMPLE_UNSPECIFIED && l.samples > 3)) {
            l.alpha = colours;
            l.associated = kind != EXTRASAMPLE_UNASSALPHA;
        }
    }
    return l;
}

// One row of the file as 8-bit R, G, B, A into `out`.
void expand(const layout& l, const unsigned char* row, unsigned char* out) {
    const std::size_t samples = std::size_t(l.samples);
    for (uint32_t x = 0; x < l.width; ++x, out += 4) {
        const std::size_t first = std::size_t(x) * samples;
        if (l.photometric == PHOTOMETRIC_PALETTE) {
            std::memcpy(out, l.palette.data() + 3 * indexOf(row, first, l.bits), 3);
        } else if (l.photometric == PHOTOMETRIC_RGB) {
            for (std::size_t s = 0; s < 3; ++s)
                out[s] = eightOf(row, first + s, l.bits);
        } else {
            uint8_t grey = eightOf(row, first, l.bits);
            if (l.photometric == PHOTOMETRIC_MINISWHITE)
                grey = uint8_t(255 - grey);
            out[0] = out[1] = out[2] = grey;
        }
        out[3] = l.alpha < 0 ? 255 : eightOf(row, first + std::size_t(l.alpha), l.bits);
        // Premultiplied colours never exceed their alpha, whatever the file says.
        if (l.alpha >= 0 && l.associated)
            for (int s = 0; s < 3; ++s)
                out[s] = std::min(out[s], out[3]);
    }
}

} // namespace

bool startsAsTiff(const unsigned char* start, std::size_t size) {
    if (size < 4)
        return false;
    return (start[0] == 'I' && start[1] == 'I' && (start[2] == 42 || start[2] == 43) && start[3] == 0) ||
           (start[0] == 'M' && start[1] == 'M' && start[2] == 0 && (start[3] == 42 || start[3] == 43));
}

std::optional<Result<QImage>> readTiff(QIODevice& device, const std::string& what, QSize drawn) {
    const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                               TIFFOpenOptionsFree);
    if (!options)
        return std::nullopt;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quietly, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quietly, nullptr);
    // No single allocation of libtiff's may pass what one picture may hold.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kPictureDecodeBytes));
    const std::unique_ptr<TIFF, tiffCloser> tiff(TIFFClientOpenExt(what.c_str(), "rm", &device, readFrom,
                                                                   writeNothing, seekIn, closeNothing, sizeOf,
                                                                   mapNothing, unmapNothing, options.get()));
    if (!tiff)
        return std::nullopt;
    const auto l = layoutOf(tiff.get());
    if (!l)
        return std::nullopt;

    const QSize own(int(l->width), int(l->height));
    const QSize target = decodedPictureSize(own, drawn);
    const bool tiled = TIFFIsTiled(tiff.get());
    uint32_t tileWidth = 0, tileHeight = 0;
    if (tiled &&
        (TIFFGetField(tiff.get(), TIFFTAG_TILEWIDTH, &tileWidth) != 1 ||
         TIFFGetField(tiff.get(), TIFFTAG_TILELENGTH, &tileHeight) != 1 || tileWidth == 0 || tileHeight == 0))
        return std::nullopt;
    const std::size_t rowBytes = std::size_t(TIFFScanlineSize64(tiff.get()));
    const std::size_t tileBytes = tiled ? std::size_t(TIFFTileSize64(tiff.get())) : 0;
    const std::size_t tileRowBytes = tiled ? std::size_t(TIFFTileRowSize64(tiff.get())) : 0;
    if (rowBytes == 0 || (tiled && (tileBytes == 0 || tileRowBytes == 0)))
        return std::nullopt;
    // A row of tiles is read at a time; a strip is inflated a row at a time, but libtiff holds
    // the stored strip (at most the file) while it does.
    const std::size_t bandRows = tiled ? tileHeight : 1;
    std::size_t stored = 0;
    const uint32_t pieces = tiled ? TIFFNumberOfTiles(tiff.get()) : TIFFNumberOfStrips(tiff.get());
    for (uint32_t i = 0; i < pieces; ++i)
        stored = std::max<std::size_t>(stored, std::size_t(TIFFGetStrileByteCount(tiff.get(), i)));
    stored = std::min<std::size_t>(stored, std::size_t(std::max<qint64>(0, device.size())));
    const std::size_t working = std::size_t(target.width()) * std::size_t(target.height()) * 4 +
                                PictureRows::workingBytes(own) + bandRows * rowBytes + tileBytes + stored +
                                std::size_t(l->width) * 4 + (std::size_t(1) << 20);
    if (working > kAllDecodesBytes)
        return Result<QImage>::failure(tooLargeToRead(what));
    DecodeLease lease(working);

    PictureRows rows(own, target);
    if (!rows.isValid())
        return Result<QImage>::failure(what + ": out of memory");
    std::vector<unsigned char> band(bandRows * rowBytes), tile(tileBytes),
        expanded(std::size_t(l->width) * 4);
    const PictureRows::Kind kind = l->alpha < 0    ? PictureRows::Kind::rgba
                                   : l->associated ? PictureRows::Kind::premultipliedRgba
                                                   : PictureRows::Kind::rgba;
    const bool direct =
        l->bits == 8 && l->photometric == PHOTOMETRIC_RGB &&
        ((l->samples == 3 && l->alpha < 0) || (l->samples == 4 && l->alpha == 3 && !l->associated));
    for (uint32_t top = 0; top < l->height; top += uint32_t(bandRows)) {
        const uint32_t count = std::min<uint32_t>(uint32_t(bandRows), l->height - top);
        if (tiled) {
            for (uint32_t left = 0; left < l->width; left += tileWidth) {
                if (TIFFReadTile(tiff.get(), tile.data(), left, top, 0, 0) < 0)
                    return std::nullopt;
                // Tiles are as wide as a whole number of bytes, so their rows are too.
                const std::size_t at = std::size_t(left) * std::size_t(l->samples * l->bits) / 8;
                const std::size_t length = std::min(tileRowBytes, rowBytes - at);
                for (uint32_t r = 0; r < count; ++r)
                    std::memcpy(band.data() + r * rowBytes + at, tile.data() + r * tileRowBytes, length);
            }
        } else if (TIFFReadScanline(tiff.get(), band.data(), top, 0) < 0) {
            return std::nullopt;
        }
        for (uint32_t r = 0; r < count; ++r) {
            const unsigned char* row = band.data() + r * rowBytes;
            // 8-bit RGB, and RGBA with straight alpha, go as they are.
            if (direct) {
                rows.add(top + r, row, l->samples == 3 ? PictureRows::Kind::rgb : PictureRows::Kind::rgba);
                continue;
            }
            expand(*l, row, expanded.data());
            rows.add(top + r, expanded.data(), kind);
        }
    }
    QImage picture = rows.take();
    setOwnPictureSize(picture, own);
    return Result<QImage>(std::move(picture));
}

} // namespace qrn::imaging
