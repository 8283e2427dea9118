#pragma once
// TIFFs made for tests and benchmarks: a scan-sized picture of one colour in a small file.
// (Qt's writer makes every TIFF whole, in strips.)
#include <QRgb>

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qrn::test {

// A TIFF to write of 8-bit RGBA with straight alpha, its pieces still to be laid out; null when
// it cannot be made.
inline TIFF* openRgbaTiff(const std::string& file, std::uint32_t width, std::uint32_t height,
                          int compression) {
    TIFF* tiff = TIFFOpen(file.c_str(), "w");
    if (!tiff)
        return nullptr;
    const std::uint16_t alpha[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, alpha);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
    return tiff;
}

// An RGBA TIFF of one colour in a single deflated strip, as scanners write them; the first
// `noise` bytes of each row are noise, as a photo's detail, so the file is as large as a scan's.
inline bool writeUniformTiff(const std::string& file, std::uint32_t width, std::uint32_t height, QRgb colour,
                             std::size_t noise = 0) {
    TIFF* tiff = openRgbaTiff(file, width, height, COMPRESSION_ADOBE_DEFLATE);
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    std::vector<unsigned char> row(std::size_t(width) * 4);
    for (std::size_t x = 0; x < width; ++x) {
        const unsigned char pixel[4] = {
            static_cast<unsigned char>(qRed(colour)), static_cast<unsigned char>(qGreen(colour)),
            static_cast<unsigned char>(qBlue(colour)), static_cast<unsigned char>(qAlpha(colour))};
        std::copy(pixel, pixel + 4, row.begin() + std::ptrdiff_t(4 * x));
    }
    z_stream stream{};
    deflateInit(&stream, 1);
    std::vector<unsigned char> out(1 << 20), strip;
    std::uint32_t seed = 12345;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < std::min(noise, row.size()); ++i)
            row[i] = static_cast<unsigned char>((seed = seed * 1664525u + 1013904223u) >> 24);
        stream.next_in = row.data();
        stream.avail_in = uInt(row.size());
        do {
            stream.next_out = out.data();
            stream.avail_out = uInt(out.size());
            deflate(&stream, y + 1 == height ? Z_FINISH : Z_NO_FLUSH);
            strip.insert(strip.end(), out.data(), out.data() + (out.size() - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    const bool written = TIFFWriteRawStrip(tiff, 0, strip.data(), tmsize_t(strip.size())) > 0;
    TIFFClose(tiff);
    return written;
}

} // namespace qrn::test
