#include "platform/ui/slider.h"

#include <QPainterPath>

#include <algorithm>

namespace qrn::ui {

namespace {
constexpr double kKnob = 16;
}

void RangeControl::setRange(double min, double max) {
    min_ = std::min(min, max);
    max_ = std::max(min, max);
    setDoubleValue(value_);
}

void RangeControl::setDoubleValue(double v) {
    value_ = std::clamp(v, min_, max_);
    setNeedsDisplay();
}

Slider::Slider(const Rect& frame) : RangeControl(frame, 1) {}

double Slider::valueAt(Point p) const {
    const Rect& b = bounds();
    double f = isVertical() ? (p.y - b.origin.y - kKnob / 2) / std::max(1.0, b.size.height - kKnob)
                            : (p.x - b.origin.x - kKnob / 2) / std::max(1.0, b.size.width - kKnob);
    // Flipped vertical sliders still put the minimum at the bottom.
    if (isVertical() && isFlipped())
        f = 1 - f;
    return min_ + std::clamp(f, 0.0, 1.0) * (max_ - min_);
}

void Slider::track(const Event& e) {
    const double before = value_;
    setDoubleValue(valueAt(convertPointFromView(e.locationInWindow, nullptr)));
    if (continuous_ && value_ != before)
        sendAction();
}

void Slider::mouseDown(const Event& e) {
    if (!isEnabled())
        return Control::mouseDown(e);
    tracking_ = true;
    track(e);
}

void Slider::mouseDragged(const Event& e) {
    if (tracking_)
        track(e);
}

void Slider::mouseUp(const Event& e) {
    if (!tracking_)
        return Control::mouseUp(e);
    tracking_ = false;
    track(e);
    if (!continuous_)
        sendAction();
}

void Slider::scrollWheel(const Event& e) {
    if (!isEnabled())
        return Control::scrollWheel(e);
    const double step = (max_ - min_) / 100;
    setDoubleValue(value_ + (e.scrollingDeltaY + e.scrollingDeltaX) * step);
    sendAction();
}

void Slider::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        if (!isEnabled())
            p.setOpacity(0.45);
        const double f = max_ > min_ ? (value_ - min_) / (max_ - min_) : 0;
        const bool vertical = isVertical();
        QRectF track, filled;
        QPointF knob;
        if (vertical) {
            const double x = b.center().x();
            const double top = b.top() + kKnob / 2, bottom = b.bottom() - kKnob / 2;
            track = QRectF(x - 2, top, 4, bottom - top);
            const double y = bottom - f * (bottom - top);
            filled = QRectF(x - 2, y, 4, bottom - y);
            knob = {x, y};
        } else {
            const double y = b.center().y();
            const double left = b.left() + kKnob / 2, right = b.right() - kKnob / 2;
            track = QRectF(left, y - 2, right - left, 4);
            const double x = left + f * (right - left);
            filled = QRectF(left, y - 2, x - left, 4);
            knob = {x, y};
        }
        p.setPen(Qt::NoPen);
        p.setBrush(control_colours::controlBorder().toQColor());
        p.drawRoundedRect(track, 2, 2);
        p.setBrush(control_colours::accent().toQColor());
        p.drawRoundedRect(filled, 2, 2);
        p.setPen(QPen(control_colours::controlBorder().toQColor(), 1));
        p.setBrush(QColor(235, 235, 235));
        p.drawEllipse(knob, kKnob / 2 - 1, kKnob / 2 - 1);
    });
}

void Stepper::step(double delta) {
    if (!isEnabled())
        return;
    double v = value_ + delta;
    if (wraps_) {
        if (v > max_)
            v = min_;
        else if (v < min_)
            v = max_;
    }
    setDoubleValue(v);
    sendAction();
}

void Stepper::stepUp() {
    step(increment_);
}
void Stepper::stepDown() {
    step(-increment_);
}

void Stepper::mouseDown(const Event& e) {
    const Point p = convertPointFromView(e.locationInWindow, nullptr);
    const bool upperHalf = isFlipped() ? p.y < bounds().midY() : p.y >= bounds().midY();
    if (upperHalf)
        stepUp();
    else
        stepDown();
}

void Stepper::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        if (!isEnabled())
            p.setOpacity(0.45);
        p.setPen(QPen(control_colours::controlBorder().toQColor(), 1));
        p.setBrush(control_colours::controlBackground().toQColor().lighter(130));
        p.drawRoundedRect(b.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        p.drawLine(QPointF(b.left() + 2, b.center().y()), QPointF(b.right() - 2, b.center().y()));
        p.setBrush(control_colours::text().toQColor());
        p.setPen(Qt::NoPen);
        const double cx = b.center().x(), w = std::min(8.0, b.width() * 0.5), h = w * 0.5;
        const double upY = b.top() + b.height() / 4, downY = b.top() + 3 * b.height() / 4;
        p.drawPolygon(QPolygonF({{cx - w / 2, upY + h / 2}, {cx + w / 2, upY + h / 2}, {cx, upY - h / 2}}));
        p.drawPolygon(
            QPolygonF({{cx - w / 2, downY - h / 2}, {cx + w / 2, downY - h / 2}, {cx, downY + h / 2}}));
    });
}

} // namespace qrn::ui
