#include "platform/imaging/filters.h"

#include "platform/imaging/bands.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/median.h"
#include "platform/imaging/worker_pool.h"

#include <algorithm>
#include <cmath>

namespace qrn::imaging {

namespace {

bool keepsFormat(QImage::Format format) {
    switch (format) {
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return true;
    default:
        return false;
    }
}

} // namespace

int ImageFilter::threadCount() const {
    return threads_ > 0 ? threads_ : defaultThreadCount();
}

void ImageFilter::runBands(const Image& src, Image& dst, double scale) const {
    const ConstImageView s = src.view();
    const ImageView d = dst.mutableView();
    const int threads = threadCount(), height = src.height();
    // Up to four bands a thread: a thread that starts late, its core busy with other work,
    // finds fewer left, and the others take them rather than wait for it.
    const int bands =
        threads <= 1 ? 1
                     : std::min(height, std::clamp(height / minimumBandRows(scale), threads, 4 * threads));
    auto bandStart = [&](int i) { return static_cast<int>(static_cast<long long>(height) * i / bands); };
    WorkerPool::shared().forEach(bands, threads,
                                 [&](int i) { run(s, d, bandStart(i), bandStart(i + 1), scale); });
}

Image ImageFilter::applyTo(const Image& image, double scale) const {
    if (image.isNull() || leavesImageAlone(scale))
        return image;
    Image out = makeLike(image);
    runBands(image, out, scale);
    return out;
}

QImage ImageFilter::applyScaled(const QImage& image, double scale) const {
    if (image.isNull() || leavesImageAlone(scale))
        return image;
    return applyWith(image, [this, scale](const Image& src, Image& dst) { runBands(src, dst, scale); });
}

QImage ImageFilter::applyWith(const QImage& image, const Fill& fill) const {
    if (image.isNull())
        return image;
    const Image src = Image::fromQImage(image);
    std::lock_guard lock(spareMutex_);
    // Only we hold a kept output: nobody can see it change.
    constexpr size_t kSpares = 4;
    const QImage::Format format = src.toQImage().format();
    auto spare = std::find_if(spares_.begin(), spares_.end(), [&](const QImage& s) {
        return s.isDetached() && s.size() == image.size() && s.format() == format;
    });
    Image out;
    if (spare != spares_.end()) {
        out = Image::fromQImage(*spare);
        spares_.erase(spare);
    } else {
        out = makeLike(src);
    }
    fill(src, out);
    const QImage made = out.toQImage();
    // The most recent first; the oldest goes when there are more than the workers need.
    spares_.insert(spares_.begin(), made);
    if (spares_.size() > kSpares)
        spares_.pop_back();
    // A caller gets its own format back when that can hold what the filters make (the
    // renderer hands us Format_ARGB32_Premultiplied). An opaque image, such as a decoded JPEG,
    // gets premultiplied ARGB: converting back would turn keyed pixels black and opaque.
    if (made.format() == image.format() || !keepsFormat(image.format()))
        return made;
    return made.convertToFormat(image.format());
}

void ColourCubeFilter::run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd, double) const {
    applyColourCube(*cube_, src, dst, rowBegin, rowEnd);
}

BoxBlurSize BoxBlurFilter::sizeAt(double scale) const {
    const int own = boxBlurWholeRadius(radius_);
    if (own == 0 || scale == 1.0 || !(scale > 0) || !std::isfinite(scale))
        return {own, 0};
    return boxBlurSize(((2 * own + 1) * scale - 1) / 2);
}

int BoxBlurFilter::minimumBandRows(double scale) const {
    // Each band first sums the 2r + 1 rows around its top: keep that a small share of it.
    return std::max(ImageFilter::minimumBandRows(scale), 8 * (2 * sizeAt(scale).largest() + 1));
}

bool BoxBlurFilter::leavesImageAlone(double scale) const {
    return sizeAt(scale).leavesImageAlone();
}

void BoxBlurFilter::run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd, double scale) const {
    boxBlur(src, dst, sizeAt(scale), rowBegin, rowEnd);
}

QImage MedianFilter::applyScaled(const QImage& image, double scale) const {
    if (image.isNull() || !(scale > kLargestScale) || !std::isfinite(scale))
        return ImageFilter::applyScaled(image, scale);
    const QSize own(std::max(1, int(std::lround(image.width() / scale))),
                    std::max(1, int(std::lround(image.height() / scale))));
    const QImage filtered =
        ImageFilter::applyScaled(image.scaled(own, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 1.0);
    const QImage out = filtered.scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return out.format() == image.format() || !keepsFormat(image.format())
               ? out
               : out.convertToFormat(image.format());
}

void MedianFilter::run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd, double) const {
    median3x3(src, dst, rowBegin, rowEnd);
}

} // namespace qrn::imaging
