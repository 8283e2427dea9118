#include "platform/imaging/filters.h"

#include "platform/imaging/bands.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/median.h"

namespace qrn::imaging {

int ImageFilter::threadCount() const {
    return threads_ > 0 ? threads_ : defaultThreadCount();
}

QImage ImageFilter::apply(const QImage& image) const {
    if (image.isNull())
        return image;
    const QImage out = applyTo(Image::fromQImage(image)).toQImage();
    // Callers hand us Format_ARGB32_Premultiplied and expect it back.
    return out.format() == image.format() ? out : out.convertToFormat(image.format());
}

Image ColourCubeFilter::applyTo(const Image& image) const {
    if (!cube_)
        return image;
    return applyColourCube(*cube_, image, threadCount());
}

Image BoxBlurFilter::applyTo(const Image& image) const {
    if (boxBlurWholeRadius(radius_) == 0)
        return image;
    return boxBlur(image, radius_, threadCount());
}

Image MedianFilter::applyTo(const Image& image) const {
    return median3x3(image, threadCount());
}

} // namespace qrn::imaging
