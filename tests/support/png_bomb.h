#pragma once
// PNGs of a huge picture in a small file, made for tests and benchmarks: every row is the same
// (zero filter, all samples `value`), so a picture of gigabytes deflates to a few hundred KB.
#include <QByteArray>

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace qrn::test {

namespace png_detail {

inline void bigEndian(QByteArray& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char(v >> shift));
}

inline void chunk(QByteArray& out, const char* type, const QByteArray& data) {
    bigEndian(out, std::uint32_t(data.size()));
    const QByteArray typed = QByteArray(type, 4) + data;
    out.append(typed);
    bigEndian(out,
              std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))));
}

} // namespace png_detail

// colour: 0 grey, 2 RGB, 4 grey and alpha, 6 RGBA; depth 8 or 16.
inline QByteArray uniformPng(std::uint32_t width, std::uint32_t height, int depth, int colour,
                             std::uint8_t value = 0x80) {
    const int samples = colour == 0 ? 1 : colour == 2 ? 3 : colour == 4 ? 2 : 4;
    QByteArray file("\x89PNG\r\n\x1a\n", 8), header;
    png_detail::bigEndian(header, width);
    png_detail::bigEndian(header, height);
    header.append(char(depth)).append(char(colour)).append(3, '\0');
    png_detail::chunk(file, "IHDR", header);
    std::vector<unsigned char> row(std::size_t(width) * std::size_t(samples * depth / 8) + 1, value);
    row[0] = 0;
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15, 9, Z_RLE);
    std::vector<unsigned char> out(1 << 20);
    QByteArray data;
    for (std::uint32_t y = 0; y < height; ++y) {
        stream.next_in = row.data();
        stream.avail_in = uInt(row.size());
        const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = out.data();
            stream.avail_out = uInt(out.size());
            deflate(&stream, flush);
            data.append(reinterpret_cast<const char*>(out.data()), qsizetype(out.size() - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    png_detail::chunk(file, "IDAT", data);
    png_detail::chunk(file, "IEND", {});
    return file;
}

} // namespace qrn::test
