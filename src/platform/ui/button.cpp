#include "platform/ui/button.h"

#include <QPainterPath>

#include "platform/foundation/font.h"
#include "platform/graphics/painting.h"
#include "platform/ui/resources.h"

namespace qrn::ui {

Button::Button(const Rect& frame, ButtonType type) : Control(frame), type_(type) {
    font_.setPointSizeF(13);
    if (type == ButtonType::image || type == ButtonType::checkBox)
        bordered_ = false;
}

std::shared_ptr<Button> Button::makeCheckBox(const std::string& title, const Rect& frame) {
    auto b = make(frame, ButtonType::checkBox);
    b->setTitle(title);
    return b;
}

std::shared_ptr<Button> Button::makeImageButton(const QImage& image, const Rect& frame) {
    auto b = make(frame, ButtonType::image);
    b->setImage(image);
    return b;
}

void Button::setTitle(std::string title) {
    title_ = std::move(title);
    setNeedsDisplay();
}

void Button::setImage(const QImage& image) {
    image_ = image;
    setNeedsDisplay();
}

bool Button::setImageNamed(const std::string& name, Size size) {
    if (!NamedImages::exists(name))
        return false;
    std::optional<Colour> tint;
    if (NamedImages::isTemplate(name))
        tint = control_colours::text();
    setImage(NamedImages::render(name, {size.width * 2, size.height * 2}, tint));
    return true;
}

void Button::setBordered(bool on) {
    bordered_ = on;
    setNeedsDisplay();
}

void Button::setState(ControlState s) {
    state_ = s;
    setNeedsDisplay();
}

void Button::performClick() {
    if (!isEnabled())
        return;
    if (type_ == ButtonType::checkBox)
        setState(state_ == ControlState::on ? ControlState::off : ControlState::on);
    sendAction();
}

bool Button::inside(const Event& e) const {
    const Point p = convertPointFromView(e.locationInWindow, nullptr);
    return bounds().contains(p);
}

void Button::mouseDown(const Event& e) {
    if (!isEnabled()) {
        Control::mouseDown(e);
        return;
    }
    tracking_ = true;
    highlighted_ = true;
    setNeedsDisplay();
}

void Button::mouseDragged(const Event& e) {
    if (!tracking_)
        return Control::mouseDragged(e);
    const bool in = inside(e);
    if (in != highlighted_) {
        highlighted_ = in;
        setNeedsDisplay();
    }
}

void Button::mouseUp(const Event& e) {
    if (!tracking_)
        return Control::mouseUp(e);
    tracking_ = false;
    highlighted_ = false;
    setNeedsDisplay();
    if (inside(e))
        performClick();
}

void Button::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        if (!isEnabled())
            p.setOpacity(0.45);
        const QColor text = control_colours::text().toQColor();
        if (type_ == ButtonType::checkBox) {
            const double side = std::min(14.0, b.height() - 2);
            const QRectF box(b.left() + 1, b.center().y() - side / 2, side, side);
            p.setPen(QPen(control_colours::controlBorder().toQColor(), 1));
            p.setBrush(state_ == ControlState::on ? control_colours::accent().toQColor()
                                                  : control_colours::controlBackground().toQColor());
            p.drawRoundedRect(box, 3, 3);
            if (state_ == ControlState::on) {
                QPainterPath tick;
                tick.moveTo(box.left() + side * 0.22, box.top() + side * 0.52);
                tick.lineTo(box.left() + side * 0.42, box.top() + side * 0.72);
                tick.lineTo(box.left() + side * 0.78, box.top() + side * 0.3);
                p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                p.setBrush(Qt::NoBrush);
                p.drawPath(tick);
            }
            p.setPen(text);
            graphics::drawTextLine(p, b.adjusted(side + 6, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                                   QString::fromStdString(title_), font_);
            return;
        }
        if (bordered_) {
            QColor fill = highlighted_ ? control_colours::accent().toQColor()
                                       : control_colours::controlBackground().toQColor().lighter(130);
            p.setPen(QPen(control_colours::controlBorder().toQColor(), 1));
            p.setBrush(fill);
            p.drawRoundedRect(b.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        } else if (highlighted_) {
            p.setOpacity(p.opacity() * 0.7);
        }
        QRectF content = b.adjusted(4, 2, -4, -2);
        if (!image_.isNull()) {
            QSizeF s = image_.size();
            s.scale(title_.empty() ? content.size() : QSizeF(content.height(), content.height()),
                    Qt::KeepAspectRatio);
            const QRectF r(title_.empty() ? content.center().x() - s.width() / 2 : content.left(),
                           content.center().y() - s.height() / 2, s.width(), s.height());
            p.drawImage(r, image_);
            content.setLeft(r.right() + 4);
        }
        if (!title_.empty()) {
            p.setPen(text);
            graphics::drawTextLine(p, content, Qt::AlignCenter, QString::fromStdString(title_), font_);
        }
    });
}

} // namespace qrn::ui
