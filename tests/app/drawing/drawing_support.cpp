#include "drawing_support.h"

#include <QFile>

#include <algorithm>

namespace drawingtest {

namespace {

// LZW data with a clear code before every pixel: the code table never grows, so every code
// keeps the starting width and no compression is needed.
QByteArray pixelCodes(int count, int index) {
    constexpr int minimumCodeSize = 2, clear = 4, end = 5, width = 3;
    QByteArray bytes;
    unsigned buffer = 0;
    int bits = 0;
    const auto put = [&](int code) {
        buffer |= unsigned(code) << bits;
        bits += width;
        while (bits >= 8) {
            bytes.append(char(buffer & 0xff));
            buffer >>= 8;
            bits -= 8;
        }
    };
    for (int i = 0; i < count; ++i) {
        put(clear);
        put(index);
    }
    put(end);
    if (bits > 0)
        bytes.append(char(buffer & 0xff));
    QByteArray out;
    out.append(char(minimumCodeSize));
    for (qsizetype at = 0; at < bytes.size(); at += 255) {
        const QByteArray block = bytes.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append(char(0));
    return out;
}

void little16(QByteArray& out, int v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

} // namespace

QByteArray solidColourGif(int width, int height, const std::vector<QRgb>& colours, int delay) {
    QByteArray gif("GIF89a");
    little16(gif, width);
    little16(gif, height);
    // A global table of four colours.
    gif.append(char(0xf1));
    gif.append(char(0));
    gif.append(char(0));
    for (size_t i = 0; i < 4; ++i) {
        const QRgb c = i < colours.size() ? colours[i] : 0;
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    // Loop for ever.
    gif.append("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (size_t i = 0; i < colours.size() && i < 4; ++i) {
        gif.append("\x21\xf9\x04\x00", 4);
        little16(gif, delay);
        gif.append(char(0));
        gif.append(char(0));
        gif.append(char(0x2c));
        little16(gif, 0);
        little16(gif, 0);
        little16(gif, width);
        little16(gif, height);
        gif.append(char(0));
        gif.append(pixelCodes(width * height, int(i)));
    }
    gif.append(char(0x3b));
    return gif;
}

bool writeSolidColourGif(const std::string& path, int width, int height, const std::vector<QRgb>& colours,
                         int delay) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = solidColourGif(width, height, colours, delay);
    return file.write(bytes) == bytes.size();
}

QRect inkExtent(const QImage& image, const std::function<bool(QRgb)>& drawn, QRect within) {
    const QRect area = within.isNull() ? image.rect() : within.intersected(image.rect());
    int left = area.right() + 1, right = area.left() - 1, top = area.bottom() + 1, bottom = area.top() - 1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (drawn(image.pixel(x, y))) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    return right < left ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

bool opaque(QRgb pixel) {
    return qAlpha(pixel) > 0;
}

bool notBlack(QRgb pixel) {
    return qAlpha(pixel) > 0 && std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) > 60;
}

bool light(QRgb pixel) {
    return qGray(pixel) > 128;
}

} // namespace drawingtest
