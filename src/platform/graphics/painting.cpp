#include "platform/graphics/painting.h"

#include <QTextLayout>

#include <limits>

#include "platform/foundation/font.h"

namespace qrn::graphics {

void drawTextLine(QPainter& painter, const QRectF& rect, int flags, const QString& text, const QFont& font) {
    if (text.isEmpty())
        return;
    QString shown = text;
    shown.replace('\n', QChar::LineSeparator);
    QTextLayout layout(shown, font, textLayoutDevice());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    double width = 0, height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        // Lines are as long as they need: the width only has to be set for the line to be laid out.
        line.setLineWidth(std::numeric_limits<float>::max() / 4);
        line.setPosition(QPointF(0, height));
        width = std::max(width, line.naturalTextWidth());
        height += line.height();
    }
    layout.endLayout();
    double x = rect.left(), y = rect.top();
    if (flags & Qt::AlignHCenter)
        x += (rect.width() - width) / 2;
    else if (flags & Qt::AlignRight)
        x += rect.width() - width;
    if (flags & Qt::AlignVCenter)
        y += (rect.height() - height) / 2;
    else if (flags & Qt::AlignBottom)
        y += rect.height() - height;
    layout.draw(&painter, QPointF(x, y));
}

QString elidedTextLine(const QString& text, const QFont& font, double width) {
    return viewUnitMetrics(font).elidedText(text, Qt::ElideRight, width);
}

} // namespace qrn::graphics
