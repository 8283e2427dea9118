#pragma once
// The three image filters as objects carrying their parameters: applied to an image directly,
// or handed to a layer as content filters that the renderer runs on the layer's picture.
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/graphics/content_filter.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/colour_cube.h"

namespace qrn::imaging {

class ImageFilter : public graphics::ContentFilter {
  public:
    // Runs on this many threads of the shared worker pool; 0 uses every core the process may
    // use. The image is cut into a few bands a thread; any cut gives the same bytes.
    void setThreadCount(int threads) { threads_ = threads; }
    int threadCount() const;

    // A new image, or `image` itself when the parameters leave every pixel as it is. `scale`:
    // pixels of the image per pixel of the picture's own (ContentFilter::applyScaled).
    Image applyTo(const Image& image, double scale = 1.0) const;
    // For a live picture the output of one frame is written over for the next once the caller
    // has let go of it, so a stream of frames does not allocate a frame each time. The result
    // has the input's format when that is a 32-bit format with alpha, else
    // Format_ARGB32_Premultiplied.
    QImage apply(const QImage& image) const override { return applyScaled(image, 1.0); }
    QImage applyScaled(const QImage& image, double scale) const override;

    // Whether the parameters leave every pixel as it is, at that scale.
    virtual bool leavesImageAlone(double scale = 1.0) const {
        (void)scale;
        return false;
    }

    // What apply() does around its own work, for work that stands in for this filter's (a
    // chain of filters run as one): `fill` writes every row of an output like its source,
    // which is the last output when nobody holds that any more. The same formats as apply().
    using Fill = std::function<void(const Image& src, Image& dst)>;
    QImage applyWith(const QImage& image, const Fill& fill) const;

  protected:
    // The fewest rows worth a band of their own.
    virtual int minimumBandRows(double scale) const {
        (void)scale;
        return 32;
    }
    // Rows [rowBegin, rowEnd) of dst (same size and channel order as src).
    virtual void run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd, double scale) const = 0;

  private:
    void runBands(const Image& src, Image& dst, double scale) const;
    int threads_ = 0;
    mutable std::mutex spareMutex_;
    // Outputs kept to be written over once nobody holds them: a few, as the export's workers
    // and the studio each hold a frame of the same filter while the next is made.
    mutable std::vector<QImage> spares_;
};

class ColourCubeFilter : public ImageFilter {
  public:
    explicit ColourCubeFilter(std::shared_ptr<const ColourCube> cube) : cube_(std::move(cube)) {}
    std::string name() const override { return "colourCube"; }
    // Shared with whoever built it: equal keys give the very same table.
    const std::shared_ptr<const ColourCube>& cube() const { return cube_; }

    bool leavesImageAlone(double = 1.0) const override { return !cube_ || !cube_->isValid(); }

  protected:
    void run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd, double scale) const override;

  private:
    std::shared_ptr<const ColourCube> cube_;
};

// The radius counts in the picture's own pixels.
class BoxBlurFilter : public ImageFilter {
  public:
    explicit BoxBlurFilter(double radius) : radius_(radius) {}
    std::string name() const override { return "boxBlur"; }
    double radius() const { return radius_; }
    // The box on a picture drawn at `scale` times its own size: it keeps its width in the
    // picture, 2R + 1 own pixels for the whole radius R, between two whole sizes where the drawn
    // width falls between them; no blur at any size when there is none at the own size.
    BoxBlurSize sizeAt(double scale) const;
    bool leavesImageAlone(double scale = 1.0) const override;

  protected:
    int minimumBandRows(double scale) const override;
    void run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd, double scale) const override;

  private:
    double radius_;
};

// Its window of 3 x 3 pixels cannot grow or shrink with the picture. Drawn at up to one and a
// half times its own size it runs on the pixels as drawn. Drawn larger it runs on the picture
// brought back to its own size, which is then drawn up again: a speck of one own pixel, drawn
// smoothly over two or three pixels, would outlast it on the drawn pixels. Drawn at under half
// its own size it is left out: three drawn pixels would span six or more of its own and wipe
// out details it keeps at its own size (a slide's miniature), while the specks it takes out are
// below a drawn pixel. A camera of 720 lines in a movie of 1080 stays on the drawn pixels.
class MedianFilter : public ImageFilter {
  public:
    std::string name() const override { return "median"; }
    static constexpr double kSmallestScale = 0.5;
    static constexpr double kLargestScale = 1.5;
    bool leavesImageAlone(double scale = 1.0) const override { return scale < kSmallestScale; }
    QImage applyScaled(const QImage& image, double scale) const override;

  protected:
    void run(ConstImageView src, ImageView dst, int rowBegin, int rowEnd, double scale) const override;
};

} // namespace qrn::imaging
