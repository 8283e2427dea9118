#pragma once
// Drawing helpers for views whose painter works in a y-up space.
#include <QPainter>
#include <QRectF>
#include <QString>

#include "platform/foundation/geometry.h"

namespace qrn::graphics {

// Inside its scope, Qt-style drawing (text, icons) within `rect` comes out upright: the painter
// works in a y-down space whose top-left corner is the rectangle's top-left corner, and rect()
// gives the rectangle there. In a space that is already y down (flipped views) nothing changes.
class UprightScope {
  public:
    UprightScope(QPainter& painter, const Rect& r) : painter_(painter) {
        painter_.save();
        Rect s = r.standardized();
        QTransform t = painter_.worldTransform();
        bool yUp = t.determinant() < 0;
        if (yUp) {
            painter_.translate(s.origin.x, s.origin.y + s.size.height);
            painter_.scale(1, -1);
            rect_ = QRectF(0, 0, s.size.width, s.size.height);
        } else {
            rect_ = QRectF(s.origin.x, s.origin.y, s.size.width, s.size.height);
        }
    }
    ~UprightScope() { painter_.restore(); }
    UprightScope(const UprightScope&) = delete;
    UprightScope& operator=(const UprightScope&) = delete;

    QRectF rect() const { return rect_; }

  private:
    QPainter& painter_;
    QRectF rect_;
};

// One line of text in `rect`, aligned by `flags` (Qt::Alignment), with the painter's pen. The
// font's size is in view units whatever the painter draws on (see textLayoutDevice).
void drawTextLine(QPainter& painter, const QRectF& rect, int flags, const QString& text, const QFont& font);
// `text` cut at the tail with an ellipsis to fit `width` view units.
QString elidedTextLine(const QString& text, const QFont& font, double width);

} // namespace qrn::graphics
