#include "platform/imaging/picture_reader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cmath>

#include "platform/imaging/png_decoder.h"

namespace qrn::imaging {

namespace {

// Decoders that cannot scale while reading (PNG among them) decode the whole picture first and
// scale it after: a 16384 x 16384 picture still reads, and nothing larger is tried.
constexpr int kTransientMegabytes = 1024;

Result<QImage> decode(QImageReader& reader, const std::string& what, QSize drawn) {
    const QSize own = reader.size();
    if (own.isValid()) {
        const QSize target = decodedPictureSize(own, drawn);
        if (target != own)
            reader.setScaledSize(target);
    }
    reader.setAllocationLimit(kTransientMegabytes);
    QImage image = reader.read();
    if (image.isNull())
        return Result<QImage>::failure(what + ": " + reader.errorString().toStdString());
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return Result<QImage>::failure(what + ": out of memory");
    return image;
}

} // namespace

QSize decodedPictureSize(QSize own, QSize drawn) {
    if (own.isEmpty())
        return own;
    double scale = 1;
    if (drawn.isValid() && !drawn.isEmpty())
        scale = std::min(
            1.0, std::max(double(drawn.width()) / own.width(), double(drawn.height()) / own.height()));
    scale = std::min(scale, double(kLargestPictureSide) / std::max(own.width(), own.height()));
    if (scale >= 1)
        return own;
    return {std::max(1, int(std::ceil(own.width() * scale - 1e-9))),
            std::max(1, int(std::ceil(own.height() * scale - 1e-9)))};
}

bool looksLikePicture(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    return reader.canRead();
}

Result<QImage> readPicture(const std::string& path, QSize drawn) {
    // A file that starts as a PNG may be one the quick reader takes; any other goes to Qt's. It
    // is read rather than mapped: a file cut short by another program while mapped ends us.
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::ReadOnly) && file.peek(1).startsWith('\x89')) {
        const QByteArray whole = file.readAll();
        if (auto picture =
                decodeFastPng(reinterpret_cast<const uchar*>(whole.constData()), size_t(whole.size()), drawn))
            return std::move(*picture);
    }
    file.close();
    QImageReader reader(QString::fromStdString(path));
    return decode(reader, path, drawn);
}

Result<QImage> decodePicture(const QByteArray& bytes, QSize drawn) {
    if (auto picture =
            decodeFastPng(reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size()), drawn))
        return std::move(*picture);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return decode(reader, "dropped picture", drawn);
}

} // namespace qrn::imaging
