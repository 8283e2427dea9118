#include "platform/ui/text_field.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

#include <cmath>
#include <cstdlib>

#include "platform/foundation/font.h"
#include "platform/graphics/painting.h"
#include "platform/ui/window.h"
#include "platform/ui/workspace.h"

namespace qrn::ui {

namespace {

TextFieldEditorFactory& editorFactory() {
    static TextFieldEditorFactory f;
    return f;
}

Qt::Alignment qtAlignment(TextAlignment a) {
    switch (a) {
    case TextAlignment::right:
        return Qt::AlignRight;
    case TextAlignment::center:
        return Qt::AlignHCenter;
    default:
        return Qt::AlignLeft;
    }
}

constexpr double kInset = 2;

// Every field starts with this font and shares it until it is given another: a font of its own
// costs each of the strip's number labels a few hundred bytes.
const QFont& defaultFieldFont() {
    // Never destroyed: fields may outlive the application object at exit.
    static const QFont* font = [] {
        auto* f = new QFont;
        f->setPointSizeF(13);
        return f;
    }();
    return *font;
}

} // namespace

void setTextFieldEditorFactory(TextFieldEditorFactory factory) {
    editorFactory() = std::move(factory);
}

TextField::TextField(const Rect& frame)
    : Control(frame), backgroundColour_(control_colours::controlBackground()),
      textColour_(control_colours::text()) {
    font_ = defaultFieldFont();
}

std::shared_ptr<TextField> TextField::makeLabel(const std::string& text, const Rect& frame) {
    auto label = make(frame);
    label->setEditable(false);
    label->setSelectable(false);
    label->setBordered(false);
    label->setDrawsBackground(false);
    label->setStringValue(text);
    return label;
}

Marker::Marker(int tag) : View(SharedStandInLayer{}) {
    setHidden(true);
    setTag(tag);
}

void TextField::setStringValue(const std::string& text) {
    setAttributedStringValue(AttributedString(text));
}

void TextField::setAttributedStringValue(const AttributedString& text) {
    value_ = text;
    setNeedsDisplay();
}

long long TextField::integerValue() const {
    const std::string s = stringValue();
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(d))
        return 0;
    return static_cast<long long>(d);
}

double TextField::doubleValue() const {
    const std::string s = stringValue();
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    return (end == s.c_str() || !std::isfinite(d)) ? 0 : d;
}

void TextField::setIntegerValue(long long v) {
    setStringValue(std::to_string(v));
}

void TextField::setDoubleValue(double v) {
    setStringValue(QString::number(v, 'g', 12).toStdString());
}

void TextField::setPlaceholder(std::string text) {
    placeholder_ = std::move(text);
    setNeedsDisplay();
}

void TextField::setEditable(bool editable) {
    editable_ = editable;
    if (!editable)
        endEditing();
    setNeedsDisplay();
}

void TextField::setUsesSingleLineMode(bool on) {
    singleLine_ = on;
    setNeedsDisplay();
}

void TextField::setBordered(bool on) {
    bordered_ = on;
    setNeedsDisplay();
}

void TextField::setDrawsBackground(bool on) {
    drawsBackground_ = on;
    setNeedsDisplay();
}

void TextField::setBackgroundColour(const Colour& c) {
    backgroundColour_ = c;
    setNeedsDisplay();
}

void TextField::setTextColour(const Colour& c) {
    textColour_ = c;
    setNeedsDisplay();
}

void TextField::setAlignment(TextAlignment a) {
    alignment_ = a;
    setNeedsDisplay();
}

void TextField::userEdited(const std::string& text) {
    // Typing keeps the attributes of the text around the change, as the plain value suggests.
    const TextAttributes keep = value_.isEmpty() ? TextAttributes{} : value_.attributesAt(0);
    value_ = AttributedString(text, keep);
    setNeedsDisplay();
    if (didChange_)
        didChange_(*this);
}

void TextField::userEndedEditing() {
    if (didEnd_)
        didEnd_(*this);
    sendAction();
}

void TextField::beginEditing() {
    if (!editable_ || !isEnabled() || isEditing() || !editorFactory())
        return;
    if (auto editor = editorFactory()(*this))
        setNativeContent(std::move(editor));
}

bool TextField::resignFirstResponder() {
    if (isEditing()) {
        endEditing();
        userEndedEditing();
    }
    return true;
}

void TextField::endEditing() {
    if (isEditing())
        setNativeContent(nullptr);
}

QRectF TextField::textRect(QRectF b) const {
    const double inset = bordered_ ? kInset + 1 : kInset;
    return b.adjusted(inset, 0, -inset, 0);
}

double TextField::layOutValue(QTextDocument& doc, const QRectF& r) const {
    doc.documentLayout()->setPaintDevice(textLayoutDevice());
    doc.setDefaultFont(font_);
    doc.setDocumentMargin(0);
    QTextOption option(qtAlignment(alignment_));
    option.setWrapMode(singleLine_ ? QTextOption::NoWrap : QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc.setDefaultTextOption(option);
    value_.writeTo(doc);
    doc.setTextWidth(r.width());
    const double h = doc.size().height();
    return singleLine_ ? r.top() + std::max(0.0, (r.height() - h) / 2) : r.top() + 1;
}

void TextField::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        if (drawsBackground_)
            p.fillRect(b, backgroundColour_.toQColor());
        if (bordered_) {
            p.setPen(QPen(control_colours::controlBorder().toQColor(), 1));
            p.drawRect(b.adjusted(0.5, 0.5, -0.5, -0.5));
        }
        const QRectF r = textRect(b);
        QColor colour = textColour_.toQColor();
        if (!isEnabled())
            colour.setAlphaF(colour.alphaF() * 0.5f);
        if (value_.isEmpty()) {
            if (!placeholder_.empty()) {
                p.setPen(control_colours::secondaryText().toQColor());
                graphics::drawTextLine(p, r, int(qtAlignment(alignment_) | Qt::AlignVCenter),
                                       QString::fromStdString(placeholder_), font_);
            }
            return;
        }
        const bool plain = value_.runs().size() == 1 && value_.runs()[0].attributes.isEmpty();
        if (plain && singleLine_) {
            // Tail truncation of a single plain line.
            p.setPen(colour);
            const QString shown = graphics::elidedTextLine(value_.text(), font_, r.width());
            graphics::drawTextLine(p, r, int(qtAlignment(alignment_) | Qt::AlignVCenter), shown, font_);
            return;
        }
        QTextDocument doc;
        const double top = layOutValue(doc, r);
        p.save();
        p.setClipRect(r);
        p.translate(r.left(), top);
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.palette.setColor(QPalette::Text, colour);
        doc.documentLayout()->draw(&p, ctx);
        p.restore();
    });
}

std::optional<std::string> TextField::linkAt(Point point) const {
    if (value_.isEmpty())
        return std::nullopt;
    const QRectF b(bounds().origin.x, bounds().origin.y, bounds().size.width, bounds().size.height);
    const QRectF r = textRect(b);
    QTextDocument doc;
    const double top = layOutValue(doc, r);
    // Bounds space to the document's top-down space.
    const double yDown = isFlipped() ? point.y : b.top() + b.bottom() - point.y;
    const int pos = doc.documentLayout()->hitTest(QPointF(point.x - r.left(), yDown - top), Qt::ExactHit);
    if (pos < 0 || pos >= value_.length())
        return std::nullopt;
    const auto& link = value_.attributesAt(pos).link;
    if (!link || link->empty())
        return std::nullopt;
    return link;
}

void TextField::mouseDown(const Event& e) {
    pressedLink_.reset();
    if (!isEnabled())
        return;
    if (editable_) {
        if (window())
            window()->makeFirstResponder(this);
        beginEditing();
        return;
    }
    if (isSelectable())
        pressedLink_ = linkAt(convertPointFromView(e.locationInWindow, nullptr));
    if (!isSelectable() || !pressedLink_)
        Control::mouseDown(e);
}

void TextField::mouseUp(const Event& e) {
    if (!pressedLink_) {
        Control::mouseUp(e);
        return;
    }
    // Follow the link when the press and the release are on the same one.
    const auto releasedOn = linkAt(convertPointFromView(e.locationInWindow, nullptr));
    if (releasedOn == pressedLink_)
        openWebAddress(*pressedLink_);
    pressedLink_.reset();
}

} // namespace qrn::ui
