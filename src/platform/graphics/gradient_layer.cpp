#include "platform/graphics/gradient_layer.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace qrn::graphics {

void GradientLayer::setColours(std::vector<Colour> colours) {
    colours_ = std::move(colours);
    invalidate();
}

void GradientLayer::setLocations(std::vector<double> locations) {
    locations_ = std::move(locations);
    invalidate();
}

void GradientLayer::setStartPoint(Point p) {
    start_ = p;
    invalidate();
}

void GradientLayer::setEndPoint(Point p) {
    end_ = p;
    invalidate();
}

void GradientLayer::drawInContext(QPainter& painter) const {
    const Rect& b = bounds();
    if (colours_.empty() || b.isEmpty())
        return;
    // The painter works in the bounds space with y up, as the unit points are given.
    const auto at = [&](Point unit) {
        return QPointF(b.origin.x + unit.x * b.size.width, b.origin.y + unit.y * b.size.height);
    };
    QLinearGradient gradient(at(start_), at(end_));
    const bool placed = locations_.size() == colours_.size();
    for (size_t i = 0; i < colours_.size(); ++i) {
        const double spread = colours_.size() == 1 ? 0.0 : double(i) / double(colours_.size() - 1);
        gradient.setColorAt(std::clamp(placed ? locations_[i] : spread, 0.0, 1.0), colours_[i].toQColor());
    }
    gradient.setSpread(QGradient::PadSpread);
    painter.fillRect(QRectF(b.origin.x, b.origin.y, b.size.width, b.size.height), gradient);
}

} // namespace qrn::graphics
