#pragma once
// GIFs made for tests and benchmarks (Qt reads GIFs but cannot write them): frames of solid
// colours, a long stepping GIF that is small on disk, and pictures in a colour cube.
#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRgb>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace qrn::test {

namespace gif_detail {

inline void little16(QByteArray& out, int v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

// LZW with a starting code size of `minimum` bits, as a GIF image's data sub-blocks.
inline QByteArray compressed(const std::vector<std::uint8_t>& pixels, int minimum = 2) {
    const int clear = 1 << minimum, end = clear + 1;
    QByteArray bytes;
    std::uint32_t buffer = 0;
    int bits = 0, width = minimum + 1, last = end;
    const auto put = [&](int code) {
        buffer |= std::uint32_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            bytes.append(char(buffer & 0xff));
            buffer >>= 8;
            bits -= 8;
        }
    };
    std::unordered_map<std::uint32_t, int> table;
    put(clear);
    int prefix = pixels.front();
    for (size_t i = 1; i < pixels.size(); ++i) {
        const std::uint32_t key = std::uint32_t(prefix) << 8 | pixels[i];
        if (const auto found = table.find(key); found != table.end()) {
            prefix = found->second;
            continue;
        }
        put(prefix);
        table[key] = ++last;
        if (last >= (1 << width))
            ++width;
        if (last == 4095) {
            put(clear);
            table.clear();
            width = minimum + 1;
            last = end;
        }
        prefix = pixels[i];
    }
    put(prefix);
    put(end);
    if (bits > 0)
        bytes.append(char(buffer & 0xff));
    QByteArray out(1, char(minimum));
    for (qsizetype at = 0; at < bytes.size(); at += 255) {
        const QByteArray block = bytes.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append(char(0));
    return out;
}

// The screen's size and a global table of 2^bits colours (missing ones black), looping for ever.
inline QByteArray header(int width, int height, const std::vector<QRgb>& palette, int bits = 2) {
    QByteArray gif("GIF89a");
    little16(gif, width);
    little16(gif, height);
    gif.append(char(0xf0 | (bits - 1)));
    gif.append(char(0));
    gif.append(char(0));
    for (size_t i = 0; i < (size_t(1) << bits); ++i) {
        const QRgb c = i < palette.size() ? palette[i] : 0;
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    gif.append("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    return gif;
}

// An image's frame, its graphic control block first: keep what is under the next frame; `delay`
// hundredths of a second.
inline void frameStart(QByteArray& gif, QPoint at, int w, int h, int delay) {
    gif.append("\x21\xf9\x04\x04", 4);
    little16(gif, delay);
    gif.append(char(0));
    gif.append(char(0));
    gif.append(char(0x2c));
    little16(gif, at.x());
    little16(gif, at.y());
    little16(gif, w);
    little16(gif, h);
    gif.append(char(0));
}

inline void image(QByteArray& gif, QPoint at, int w, int h, std::uint8_t colour, int delay) {
    frameStart(gif, at, w, h, delay);
    gif.append(compressed(std::vector<std::uint8_t>(size_t(w) * size_t(h), colour)));
}

} // namespace gif_detail

// A GIF of width x height whose frames are solid colours (at most four), each shown for `delay`
// hundredths of a second.
inline QByteArray solidColourGif(int width, int height, const std::vector<QRgb>& colours, int delay) {
    using namespace gif_detail;
    QByteArray gif = header(width, height, colours);
    for (size_t i = 0; i < colours.size() && i < 4; ++i)
        image(gif, {0, 0}, width, height, std::uint8_t(i), delay);
    gif.append(char(0x3b));
    return gif;
}

// A black first frame, then each frame lights one more square cell, left to right and row by
// row, and leaves the frames before it in place. Frame k is the one on which cell k turns white,
// so a picture of any moment says which frame it shows.

// Cells per row of a stepping GIF.
inline int steppingCellsPerRow(int width, int cell) {
    return width / cell;
}
// Top-left corner of cell k.
inline QPoint steppingCell(int k, int width, int cell) {
    const int perRow = steppingCellsPerRow(width, cell);
    return {(k % perRow) * cell, (k / perRow) * cell};
}

// `frames` frames of `delay` hundredths of a second each; cells of `cell` pixels.
inline QByteArray steppingGif(int width, int height, int frames, int cell, int delay) {
    using namespace gif_detail;
    QByteArray gif = header(width, height, {qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image(gif, {0, 0}, width, height, 0, delay);
    for (int k = 1; k < frames; ++k)
        image(gif, steppingCell(k, width, cell), cell, cell, 1, delay);
    gif.append(char(0x3b));
    return gif;
}

// The frames (all of the first one's size) in a cube of 6 x 6 x 6 colours, each shown for `delay`
// hundredths of a second.
inline QByteArray pictureGif(const std::vector<QImage>& frames, int delay) {
    using namespace gif_detail;
    if (frames.empty())
        return {};
    const int width = frames.front().width(), height = frames.front().height();
    const auto level = [](int v) { return (v * 5 + 127) / 255; };
    std::vector<QRgb> cube;
    for (int i = 0; i < 216; ++i)
        cube.push_back(qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51));
    QByteArray gif = header(width, height, cube, 8);
    for (const QImage& frame : frames) {
        const QImage rgb = frame.convertToFormat(QImage::Format_RGB32);
        std::vector<std::uint8_t> pixels;
        pixels.reserve(size_t(width) * size_t(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const QRgb c = rgb.pixel(x, y);
                pixels.push_back(std::uint8_t(level(qRed(c)) * 36 + level(qGreen(c)) * 6 + level(qBlue(c))));
            }
        frameStart(gif, {0, 0}, width, height, delay);
        gif.append(compressed(pixels, 8));
    }
    gif.append(char(0x3b));
    return gif;
}

} // namespace qrn::test
