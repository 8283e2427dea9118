#include "platform/imaging/picture_reader.h"

#include <QImageReader>

namespace qrn::imaging {

bool looksLikePicture(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    return reader.canRead();
}

Result<QImage> readPicture(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    QImage image = reader.read();
    if (image.isNull())
        return Result<QImage>::failure(path + ": " + reader.errorString().toStdString());
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return Result<QImage>::failure(path + ": out of memory");
    return image;
}

} // namespace qrn::imaging
