#include "platform/imaging/filters.h"

#include "platform/imaging/bands.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/median.h"

namespace qrn::imaging {

int ImageFilter::threadCount() const {
    return threads_ > 0 ? threads_ : defaultThreadCount();
}

void ImageFilter::runBands(const Image& src, Image& dst) const {
    const ConstImageView s = src.view();
    const ImageView d = dst.mutableView();
    forEachBand(src.height(), threadCount(), [&](int b, int e) { run(s, d, b, e); });
}

Image ImageFilter::applyTo(const Image& image) const {
    if (image.isNull() || leavesImageAlone())
        return image;
    Image out = makeLike(image);
    runBands(image, out);
    return out;
}

QImage ImageFilter::apply(const QImage& image) const {
    if (image.isNull() || leavesImageAlone())
        return image;
    const Image src = Image::fromQImage(image);
    std::lock_guard lock(spareMutex_);
    // Only we hold the last output: nobody can see it change.
    Image out;
    if (!spare_.isNull() && spare_.isDetached() && spare_.size() == image.size() &&
        spare_.format() == src.toQImage().format())
        out = Image::fromQImage(spare_);
    else
        out = makeLike(src);
    spare_ = QImage();
    runBands(src, out);
    spare_ = out.toQImage();
    // Callers hand us Format_ARGB32_Premultiplied and expect it back.
    return spare_.format() == image.format() ? spare_ : spare_.convertToFormat(image.format());
}

void ColourCubeFilter::run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd) const {
    applyColourCube(*cube_, src, dst, rowBegin, rowEnd);
}

bool BoxBlurFilter::leavesImageAlone() const {
    return boxBlurWholeRadius(radius_) == 0;
}

void BoxBlurFilter::run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd) const {
    boxBlur(src, dst, radius_, rowBegin, rowEnd);
}

void MedianFilter::run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd) const {
    median3x3(src, dst, rowBegin, rowEnd);
}

} // namespace qrn::imaging
