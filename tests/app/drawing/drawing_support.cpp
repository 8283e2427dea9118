#include "drawing_support.h"

#include <QFile>

#include <algorithm>

#include "support/gif_writer.h"

namespace drawingtest {

bool writeSolidColourGif(const std::string& path, int width, int height, const std::vector<QRgb>& colours,
                         int delay) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = qrn::test::solidColourGif(width, height, colours, delay);
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
