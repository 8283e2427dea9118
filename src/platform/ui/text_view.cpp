#include "platform/ui/text_view.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

#include "platform/ui/window.h"

namespace qrn::ui {

namespace {
TextViewEditorFactory& editorFactory() {
    static TextViewEditorFactory f;
    return f;
}

void prepare(QTextDocument& doc, const AttributedString& text, double width) {
    doc.setDocumentMargin(0);
    QFont base;
    base.setPointSizeF(12);
    doc.setDefaultFont(base);
    text.writeTo(doc);
    doc.setTextWidth(std::max(1.0, width));
}
} // namespace

void setTextViewEditorFactory(TextViewEditorFactory factory) {
    editorFactory() = std::move(factory);
}

TextView::TextView(const Rect& frame) : View(frame), defaultColour_(control_colours::text()) {
    setNeedsDisplay();
}

void TextView::setAttributedString(const AttributedString& text) {
    text_ = text;
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
    if (isEditing())
        setNativeContent(nullptr);
}

bool TextView::resignFirstResponder() {
    endEditing();
    return true;
}

double TextView::usedHeight() const {
    QTextDocument doc;
    prepare(doc, text_, bounds().size.width - 2 * inset_);
    return doc.size().height() + 2 * inset_;
}

void TextView::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        if (drawsBackground_)
            p.fillRect(b, background_.toQColor());
        // While a native editor is over the view it shows the text itself.
        if (isEditing() || text_.isEmpty())
            return;
        QTextDocument doc;
        prepare(doc, text_, b.width() - 2 * inset_);
        p.translate(b.left() + inset_, b.top() + inset_);
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.palette.setColor(QPalette::Text, defaultColour_.toQColor());
        doc.documentLayout()->draw(&p, ctx);
    });
}

void TextView::mouseDown(const Event& e) {
    if (!editable_)
        return View::mouseDown(e);
    if (window())
        window()->makeFirstResponder(this);
    beginEditing();
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
