#include "platform/ui/control.h"

#include <QGuiApplication>
#include <QPalette>

namespace qrn::ui {

void Control::setEnabled(bool enabled) {
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    setNeedsDisplay();
}

void Control::sendAction() {
    if (!action_)
        return;
    // The action may replace itself while it runs.
    Action action = action_;
    action(*this);
}

void Control::setFont(const QFont& font) {
    font_ = font;
    setNeedsDisplay();
}

void paintTopDown(QPainter& painter, const View& view, const std::function<void(QPainter&, QRectF)>& fn) {
    painter.save();
    const Rect& b = view.bounds();
    if (!view.isFlipped()) {
        painter.translate(0, b.origin.y * 2 + b.size.height);
        painter.scale(1, -1);
    }
    fn(painter, QRectF(b.origin.x, b.origin.y, b.size.width, b.size.height));
    painter.restore();
}

namespace control_colours {
// The program runs in its dark appearance throughout.
Colour text() {
    return {0.92, 0.92, 0.92, 1};
}
Colour secondaryText() {
    return {0.62, 0.62, 0.64, 1};
}
Colour controlBackground() {
    return {0.20, 0.20, 0.22, 1};
}
Colour controlBorder() {
    return {0.38, 0.38, 0.41, 1};
}
Colour accent() {
    return {0.09, 0.45, 0.78, 1};
}
} // namespace control_colours

} // namespace qrn::ui
