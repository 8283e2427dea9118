#include "platform/imaging/image.h"

namespace qrn::imaging {

namespace {
QImage::Format formatOf(ChannelOrder order) {
    return order == ChannelOrder::BGRA ? QImage::Format_ARGB32_Premultiplied
                                       : QImage::Format_RGBA8888_Premultiplied;
}
} // namespace

Image::Image(int width, int height, ChannelOrder order)
    : image_(width, height, formatOf(order)), order_(order) {
    image_.fill(Qt::transparent);
}

Image Image::fromQImage(const QImage& image) {
    Image out;
    if (image.format() == QImage::Format_RGBA8888_Premultiplied) {
        out.image_ = image;
        out.order_ = ChannelOrder::RGBA;
    } else if (image.format() == QImage::Format_ARGB32_Premultiplied || image.isNull()) {
        out.image_ = image;
        out.order_ = ChannelOrder::BGRA;
    } else {
        out.image_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        out.order_ = ChannelOrder::BGRA;
    }
    return out;
}

ConstImageView Image::view() const {
    return {image_.constBits(), image_.width(), image_.height(), image_.bytesPerLine(), order_};
}

ImageView Image::mutableView() {
    return {image_.bits(), image_.width(), image_.height(), image_.bytesPerLine(), order_};
}

Rgba8 Image::pixel(int x, int y) const {
    const std::uint8_t* p = image_.constScanLine(y) + 4 * x;
    const ChannelOffsets o = channelOffsets(order_);
    return {p[o.r], p[o.g], p[o.b], p[o.a]};
}

void Image::setPixel(int x, int y, Rgba8 px) {
    std::uint8_t* p = image_.scanLine(y) + 4 * x;
    const ChannelOffsets o = channelOffsets(order_);
    p[o.r] = px.r;
    p[o.g] = px.g;
    p[o.b] = px.b;
    p[o.a] = px.a;
}

Image makeLike(const Image& image) {
    if (image.isNull())
        return Image();
    QImage q(image.width(), image.height(), image.toQImage().format());
    return Image::fromQImage(q);
}

} // namespace qrn::imaging
