#pragma once
// A layer that fills its bounds with an axial gradient between colours. The start and end
// points are in the unit square of the bounds, y up: (0, 0) is the bottom-left corner and
// (0, 1) the top-left. Colours are spread evenly unless locations (0 to 1) are given.
#include <vector>

#include "platform/graphics/layer.h"

namespace qrn::graphics {

class GradientLayer;
using GradientLayerPtr = std::shared_ptr<GradientLayer>;

class GradientLayer : public Layer {
  public:
    static GradientLayerPtr make() { return std::make_shared<GradientLayer>(); }

    const std::vector<Colour>& colours() const { return colours_; }
    void setColours(std::vector<Colour> colours);
    // Empty, or one location per colour.
    const std::vector<double>& locations() const { return locations_; }
    void setLocations(std::vector<double> locations);
    Point startPoint() const { return start_; }
    void setStartPoint(Point p);
    Point endPoint() const { return end_; }
    void setEndPoint(Point p);

    void drawInContext(QPainter& painter) const override;

  protected:
    LayerPtr makeSnapshot() const override {
        auto copy = std::make_shared<GradientLayer>();
        copy->colours_ = colours_;
        copy->locations_ = locations_;
        copy->start_ = start_;
        copy->end_ = end_;
        return copy;
    }

  private:
    std::vector<Colour> colours_;
    std::vector<double> locations_;
    Point start_{0.5, 1};
    Point end_{0.5, 0};
};

} // namespace qrn::graphics
