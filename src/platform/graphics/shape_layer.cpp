#include "platform/graphics/shape_layer.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace qrn::graphics {

void ShapeLayer::setPath(const Path& p) {
    invalidate();
    path_ = p;
    invalidate();
}

void ShapeLayer::setStrokeColour(const Colour& c) {
    strokeColour_ = c;
    invalidate();
}

void ShapeLayer::setLineWidth(double w) {
    invalidate();
    lineWidth_ = std::max(0.0, w);
    invalidate();
}

void ShapeLayer::setLineDashPattern(std::vector<double> pattern) {
    dashPattern_ = std::move(pattern);
    invalidate();
}

void ShapeLayer::setLineDashPhase(double phase) {
    dashPhase_ = phase;
    invalidate();
}

void ShapeLayer::drawInContext(QPainter& painter) const {
    if (lineWidth_ <= 0 || strokeColour_.alpha <= 0 || path_.isEmpty())
        return;
    QPainterPath qp;
    for (const auto& poly : path_.subpaths()) {
        if (poly.size() < 2)
            continue;
        qp.moveTo(poly[0].x, poly[0].y);
        for (size_t i = 1; i < poly.size(); ++i)
            qp.lineTo(poly[i].x, poly[i].y);
        qp.closeSubpath();
    }
    QPen pen(strokeColour_.toQColor(), lineWidth_);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    // Qt's dashes are in units of the line width; ours are in points.
    bool dashed = false;
    for (double d : dashPattern_)
        dashed = dashed || d > 0;
    if (dashed) {
        QList<qreal> dashes;
        for (double d : dashPattern_)
            dashes.append(std::max(0.0, d) / lineWidth_);
        if (dashes.size() % 2)
            dashes.append(dashes); // an odd pattern repeats with dash and gap swapped
        pen.setDashPattern(dashes);
        pen.setDashOffset(dashPhase_ / lineWidth_);
    }
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(qp);
}

Rect ShapeLayer::visualBounds() const {
    Rect box = path_.boundingBox();
    double m = lineWidth_; // miter joins can reach past half the width
    return bounds().united(box.isEmpty() ? box : box.insetBy(-m, -m));
}

} // namespace qrn::graphics
