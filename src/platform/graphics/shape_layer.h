#pragma once
// A layer that strokes a path (selection outlines, guides). It never fills.
#include <vector>

#include "platform/graphics/layer.h"

namespace qrn::graphics {

class ShapeLayer;
using ShapeLayerPtr = std::shared_ptr<ShapeLayer>;

class ShapeLayer : public Layer {
  public:
    static ShapeLayerPtr make() { return std::make_shared<ShapeLayer>(); }

    // In the layer's bounds space, y up; every subpath is a closed polygon.
    const Path& path() const { return path_; }
    void setPath(const Path& p);
    const Colour& strokeColour() const { return strokeColour_; }
    void setStrokeColour(const Colour& c);
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double w);
    // Alternating dash and gap lengths in points; empty draws a solid line.
    const std::vector<double>& lineDashPattern() const { return dashPattern_; }
    void setLineDashPattern(std::vector<double> pattern);
    double lineDashPhase() const { return dashPhase_; }
    void setLineDashPhase(double phase);

    void drawInContext(QPainter& painter) const override;
    Rect visualBounds() const override;

  protected:
    LayerPtr makeSnapshot() const override {
        auto copy = make();
        copy->path_ = path_;
        copy->strokeColour_ = strokeColour_;
        copy->lineWidth_ = lineWidth_;
        copy->dashPattern_ = dashPattern_;
        copy->dashPhase_ = dashPhase_;
        return copy;
    }

  private:
    Path path_;
    Colour strokeColour_ = Colour::black();
    double lineWidth_ = 1;
    std::vector<double> dashPattern_;
    double dashPhase_ = 0;
};

} // namespace qrn::graphics
