#include "platform/ui/text_view.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

#include "platform/foundation/font.h"
#include "platform/ui/window.h"

namespace qrn::ui {

namespace {
TextViewEditorFactory& editorFactory() {
    static TextViewEditorFactory f;
    return f;
}

// Lengths of the layout are `scale` times view units: 1 on the unit device, fineTextLayoutScale
// on the finer one that keeps fractional font sizes.
void prepare(QTextDocument& doc, const AttributedString& text, double width, double scale, bool wrap = true) {
    doc.documentLayout()->setPaintDevice(scale == 1 ? textLayoutDevice() : fineTextLayoutDevice());
    doc.setDocumentMargin(0);
    doc.setDefaultFont(TextView::baseFont());
    if (!wrap) {
        QTextOption option = doc.defaultTextOption();
        option.setWrapMode(QTextOption::NoWrap);
        doc.setDefaultTextOption(option);
    }
    text.writeTo(doc);
    doc.setTextWidth(std::max(1.0, width) * scale);
}

double oneLineWidth(const AttributedString& text, double scale) {
    QTextDocument doc;
    prepare(doc, text, 1, scale, false);
    return doc.idealWidth() / scale;
}

bool isLineBreak(QChar c) {
    return c == '\n' || c == '\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}
} // namespace

QFont TextView::baseFont() {
    QFont base;
    base.setPointSizeF(12);
    return base;
}

void setTextViewEditorFactory(TextViewEditorFactory factory) {
    editorFactory() = std::move(factory);
}

TextView::TextView(const Rect& frame) : View(frame), defaultColour_(control_colours::text()) {
    setNeedsDisplay();
}

void TextView::setAttributedString(const AttributedString& text) {
    text_ = text;
    // Without this the editor keeps its own copy and the next keystroke writes it back.
    if (isEditing() && editorSink_)
        editorSink_(text_);
    setNeedsDisplay();
}

void TextView::setString(const std::string& text) {
    setAttributedString(AttributedString(text, typing_));
}

void TextView::setEditable(bool on) {
    editable_ = on;
    if (!on)
        endEditing();
}

void TextView::setDrawsBackground(bool on) {
    drawsBackground_ = on;
    setNeedsDisplay();
}

void TextView::setBackgroundColour(const Colour& c) {
    background_ = c;
    setNeedsDisplay();
}

void TextView::setDefaultTextColour(const Colour& c) {
    defaultColour_ = c;
    setNeedsDisplay();
}

void TextView::setTextInset(double inset) {
    inset_ = inset;
    setNeedsDisplay();
}

void TextView::setTruncatesToOneLine(bool on) {
    truncatesToOneLine_ = on;
    setNeedsDisplay();
}

AttributedString TextView::displayedText() const {
    if (!truncatesToOneLine_)
        return text_;
    const double width = bounds().size.width - 2 * inset_;
    int end = 0;
    while (end < text_.length() && !isLineBreak(text_.text()[end]))
        ++end;
    const AttributedString line = text_.substring({0, end});
    if (end == text_.length() && oneLineWidth(line, layoutScale()) <= width)
        return line;
    // The longest start of the line that fits with the ellipsis after it, which takes the
    // attributes of the character it follows.
    const auto cut = [&](int length) {
        // Never between the halves of a surrogate pair.
        if (length > 0 && line.text()[length - 1].isHighSurrogate())
            --length;
        AttributedString shown = line.substring({0, length});
        shown.append(AttributedString(QString(QChar(0x2026)), line.attributesAt(std::max(0, length - 1))));
        return shown;
    };
    int low = 0, high = line.length();
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (oneLineWidth(cut(mid), layoutScale()) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    return cut(low);
}

void TextView::userEdited(const AttributedString& text) {
    text_ = text;
    setNeedsDisplay();
    if (didChange_)
        didChange_(*this);
}

void TextView::userInserted(const QString& text, int location) {
    AttributedString updated = text_;
    updated.replaceCharacters({location, 0}, AttributedString(text, typing_));
    userEdited(updated);
}

void TextView::beginEditing() {
    if (!editable_ || isEditing() || !editorFactory())
        return;
    if (auto editor = editorFactory()(*this))
        setNativeContent(std::move(editor));
}

void TextView::endEditing() {
    editorSink_ = nullptr;
    if (!isEditing())
        return;
    setNativeContent(nullptr);
    // What was drawn while the editor covered the view holds no text.
    setNeedsDisplay();
}

bool TextView::resignFirstResponder() {
    endEditing();
    return true;
}

void TextView::setHonoursFractionalSizes(bool on) {
    honoursFractionalSizes_ = on;
    setNeedsDisplay();
}

double TextView::layoutScale() const {
    return honoursFractionalSizes_ ? fineTextLayoutScale : 1.0;
}

int TextView::characterIndexAt(Point point) const {
    const Rect& b = bounds();
    const double x = point.x - b.origin.x - inset_;
    const double y = (isFlipped() ? point.y - b.origin.y : b.maxY() - point.y) - inset_;
    QTextDocument doc;
    prepare(doc, text_, b.size.width - 2 * inset_, layoutScale());
    const int found = doc.documentLayout()->hitTest(QPointF(x, y) * layoutScale(), Qt::FuzzyHit);
    return std::clamp(found, 0, text_.length());
}

double TextView::usedHeight() const {
    QTextDocument doc;
    prepare(doc, text_, bounds().size.width - 2 * inset_, layoutScale());
    return doc.size().height() / layoutScale() + 2 * inset_;
}

void TextView::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        if (drawsBackground_)
            p.fillRect(b, background_.toQColor());
        // While a native editor is over the view it shows the text itself.
        if (isEditing() || text_.isEmpty())
            return;
        QTextDocument doc;
        prepare(doc, displayedText(), b.width() - 2 * inset_, layoutScale(), !truncatesToOneLine_);
        if (truncatesToOneLine_)
            p.setClipRect(b);
        p.translate(b.left() + inset_, b.top() + inset_);
        p.scale(1 / layoutScale(), 1 / layoutScale());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.palette.setColor(QPalette::Text, defaultColour_.toQColor());
        doc.documentLayout()->draw(&p, ctx);
    });
}

void TextView::mouseDown(const Event& e) {
    if (passesMouse_) {
        if (View* superview = superviewPointer())
            superview->mouseDown(e);
        return;
    }
    if (!editable_)
        return View::mouseDown(e);
    if (window())
        window()->makeFirstResponder(this);
    // The caret goes where the click was, not to the end of a script the click was in.
    if (!isEditing())
        editCaret_ = characterIndexAt(convertPointFromView(e.locationInWindow, nullptr));
    beginEditing();
    editCaret_.reset();
}

std::shared_ptr<ClickGestureRecognizer> ClickGestureRecognizer::attach(const ViewPtr& view, Action action) {
    auto r = std::make_shared<ClickGestureRecognizer>(std::move(action));
    r->setFrame(view->bounds());
    r->setAutoresizingMask(WidthSizable | HeightSizable);
    view->addSubview(r);
    return r;
}

View* ClickGestureRecognizer::hitTest(Point p) {
    if (!enabled_)
        return nullptr;
    return View::hitTest(p);
}

void ClickGestureRecognizer::mouseDown(const Event&) {
    pressed_ = true;
}

void ClickGestureRecognizer::mouseUp(const Event& e) {
    if (!pressed_)
        return;
    pressed_ = false;
    const Point inside = convertPointFromView(e.locationInWindow, nullptr);
    if (!bounds().contains(inside) || !enabled_)
        return;
    location_ = inside;
    if (action_) {
        Action action = action_;
        action(*this);
    }
}

} // namespace qrn::ui
