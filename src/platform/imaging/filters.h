#pragma once
// The three image filters as objects carrying their parameters: applied to an image directly,
// or handed to a layer as content filters that the renderer runs on the layer's picture.
#include <memory>

#include "platform/graphics/content_filter.h"
#include "platform/imaging/colour_cube.h"

namespace qrn::imaging {

class ImageFilter : public graphics::ContentFilter {
  public:
    // Bands the image into this many rows groups; 0 uses every core.
    void setThreadCount(int threads) { threads_ = threads; }
    int threadCount() const;

    virtual Image applyTo(const Image& image) const = 0;
    QImage apply(const QImage& image) const override;

  private:
    int threads_ = 0;
};

class ColourCubeFilter : public ImageFilter {
  public:
    explicit ColourCubeFilter(std::shared_ptr<const ColourCube> cube) : cube_(std::move(cube)) {}
    std::string name() const override { return "colourCube"; }
    Image applyTo(const Image& image) const override;
    // Shared with whoever built it: equal keys give the very same table.
    const std::shared_ptr<const ColourCube>& cube() const { return cube_; }

  private:
    std::shared_ptr<const ColourCube> cube_;
};

class BoxBlurFilter : public ImageFilter {
  public:
    explicit BoxBlurFilter(double radius) : radius_(radius) {}
    std::string name() const override { return "boxBlur"; }
    Image applyTo(const Image& image) const override;
    double radius() const { return radius_; }

  private:
    double radius_;
};

class MedianFilter : public ImageFilter {
  public:
    std::string name() const override { return "median"; }
    Image applyTo(const Image& image) const override;
};

} // namespace qrn::imaging
