#pragma once
// PNGs made for tests, fuzzing and benchmarks: a huge picture in a small file, where every row is
// the same (zero filter, all samples `value`), so a picture of gigabytes deflates to a few hundred
// KB; and a picture's pixels with every filter, interlaced or not.
#include <QByteArray>
#include <QImage>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace qrn::test {

namespace png_detail {

// Where each of an interlaced picture's seven passes starts (x, y) and its steps across and down.
inline constexpr std::array<std::array<std::uint32_t, 4>, 7> kPasses = {
    {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};

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

// colour: 0 grey, 2 RGB, 4 grey and alpha, 6 RGBA; depth 8 or 16. Interlaced, its rows come in
// the seven passes of every eighth, fourth and second pixel.
inline QByteArray uniformPng(std::uint32_t width, std::uint32_t height, int depth, int colour,
                             std::uint8_t value = 0x80, bool interlaced = false) {
    const int samples = colour == 0 ? 1 : colour == 2 ? 3 : colour == 4 ? 2 : 4;
    QByteArray file("\x89PNG\r\n\x1a\n", 8), header;
    png_detail::bigEndian(header, width);
    png_detail::bigEndian(header, height);
    header.append(char(depth)).append(char(colour)).append(2, '\0').append(char(interlaced ? 1 : 0));
    png_detail::chunk(file, "IHDR", header);
    // Each pass's width and rows: the whole picture when not interlaced.
    struct pass {
        std::uint32_t width, rows;
    };
    std::vector<pass> passes;
    if (!interlaced)
        passes.push_back({width, height});
    else
        for (const auto [x0, y0, dx, dy] : png_detail::kPasses)
            if (width > x0 && height > y0)
                passes.push_back({(width - x0 + dx - 1) / dx, (height - y0 + dy - 1) / dy});
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15, 9, Z_RLE);
    std::vector<unsigned char> out(1 << 20);
    QByteArray data;
    for (std::size_t p = 0; p < passes.size(); ++p) {
        std::vector<unsigned char> row(std::size_t(passes[p].width) * std::size_t(samples * depth / 8) + 1,
                                       value);
        row[0] = 0;
        for (std::uint32_t y = 0; y < passes[p].rows; ++y) {
            stream.next_in = row.data();
            stream.avail_in = uInt(row.size());
            const int flush = p + 1 == passes.size() && y + 1 == passes[p].rows ? Z_FINISH : Z_NO_FLUSH;
            do {
                stream.next_out = out.data();
                stream.avail_out = uInt(out.size());
                deflate(&stream, flush);
                data.append(reinterpret_cast<const char*>(out.data()),
                            qsizetype(out.size() - stream.avail_out));
            } while (stream.avail_out == 0);
        }
    }
    deflateEnd(&stream);
    png_detail::chunk(file, "IDAT", data);
    png_detail::chunk(file, "IEND", {});
    return file;
}

// The rows of `picture`'s pixels from (x0, y0) on, every dx-th and dy-th, as 8-bit samples of
// `channels` (3: RGB, 4: RGBA), each row filtered with filter (row % 5) so every filter meets
// every kind of row above it.
inline QByteArray everyFilterRows(const QImage& picture, int channels, int x0, int y0, int dx, int dy) {
    const int width = picture.width() > x0 ? (picture.width() - x0 + dx - 1) / dx : 0;
    const int stride = width * channels;
    QByteArray raw;
    std::vector<std::uint8_t> above(std::size_t(stride), 0), row = above;
    for (int n = 0, y = y0; width > 0 && y < picture.height(); ++n, y += dy) {
        for (int k = 0; k < width; ++k) {
            const QRgb p = picture.pixel(x0 + k * dx, y);
            const std::uint8_t channel[4] = {std::uint8_t(qRed(p)), std::uint8_t(qGreen(p)),
                                             std::uint8_t(qBlue(p)), std::uint8_t(qAlpha(p))};
            std::copy(channel, channel + channels, row.begin() + k * channels);
        }
        const int filter = n % 5;
        raw.append(char(filter));
        for (int i = 0; i < stride; ++i) {
            const int a = i >= channels ? row[std::size_t(i - channels)] : 0, b = above[std::size_t(i)],
                      c = i >= channels ? above[std::size_t(i - channels)] : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int predicted[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
            raw.append(char(row[std::size_t(i)] - predicted[filter]));
        }
        above = row;
    }
    return raw;
}

// An 8-bit PNG of `picture` with every filter, interlaced in seven passes or not.
inline QByteArray everyFilterPng(const QImage& picture, int channels, bool interlaced = false) {
    const int width = picture.width();
    QByteArray raw;
    if (!interlaced)
        raw = everyFilterRows(picture, channels, 0, 0, 1, 1);
    else
        for (const auto [x0, y0, dx, dy] : png_detail::kPasses)
            raw += everyFilterRows(picture, channels, int(x0), int(y0), int(dx), int(dy));
    QByteArray file("\x89PNG\r\n\x1a\n", 8), header;
    for (const std::uint32_t v : {std::uint32_t(width), std::uint32_t(picture.height())})
        for (int shift = 24; shift >= 0; shift -= 8)
            header.append(char(v >> shift));
    header.append(char(8)).append(char(channels == 4 ? 6 : 2)).append(2, '\0').append(char(interlaced));
    png_detail::chunk(file, "IHDR", header);
    // A zlib stream split over two chunks, as writers do.
    const QByteArray stream = qCompress(raw).mid(4);
    png_detail::chunk(file, "IDAT", stream.left(stream.size() / 2));
    png_detail::chunk(file, "IDAT", stream.mid(stream.size() / 2));
    png_detail::chunk(file, "IEND", {});
    return file;
}

} // namespace qrn::test
