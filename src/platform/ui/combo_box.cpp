#include "platform/ui/combo_box.h"

#include "platform/foundation/font.h"
#include "platform/graphics/painting.h"
#include "platform/ui/window.h"

#include <cmath>
#include <cstdlib>

namespace qrn::ui {

namespace {
std::function<int(ComboBox&)>& listPresenter() {
    static std::function<int(ComboBox&)> fn;
    return fn;
}
} // namespace

namespace {
std::function<std::shared_ptr<NativeContent>(ComboBox&)>& editorFactory() {
    static std::function<std::shared_ptr<NativeContent>(ComboBox&)> fn;
    return fn;
}
} // namespace

void setComboBoxEditorFactory(std::function<std::shared_ptr<NativeContent>(ComboBox&)> factory) {
    editorFactory() = std::move(factory);
}

void setComboBoxListPresenter(std::function<int(ComboBox&)> presenter) {
    listPresenter() = std::move(presenter);
}

ComboBox::ComboBox(const Rect& frame) : Control(frame) {
    font_.setPointSizeF(13);
}

void ComboBox::addItem(const std::string& item) {
    items_.push_back(item);
    setNeedsDisplay();
}

void ComboBox::addItems(const std::vector<std::string>& items) {
    items_.insert(items_.end(), items.begin(), items.end());
    setNeedsDisplay();
}

void ComboBox::removeAllItems() {
    items_.clear();
    if (selected_ != -1) {
        selected_ = -1;
        if (selectionDidChange_)
            selectionDidChange_(*this);
    }
    setNeedsDisplay();
}

std::string ComboBox::itemAt(int index) const {
    if (index < 0 || index >= numberOfItems())
        return {};
    return items_[static_cast<size_t>(index)];
}

int ComboBox::indexOf(const std::string& item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i] == item)
            return static_cast<int>(i);
    return -1;
}

void ComboBox::selectItem(int index) {
    if (index < 0 || index >= numberOfItems())
        index = -1;
    const bool changed = index != selected_;
    selected_ = index;
    if (index >= 0)
        text_ = items_[static_cast<size_t>(index)];
    setNeedsDisplay();
    if (changed && selectionDidChange_)
        selectionDidChange_(*this);
}

void ComboBox::setStringValue(const std::string& text) {
    text_ = text;
    setNeedsDisplay();
}

long long ComboBox::integerValue() const {
    char* end = nullptr;
    const double d = std::strtod(text_.c_str(), &end);
    if (end == text_.c_str() || !std::isfinite(d))
        return 0;
    return static_cast<long long>(d);
}

void ComboBox::setEditable(bool on) {
    editable_ = on;
    setNeedsDisplay();
}

void ComboBox::userSelected(int index) {
    if (!isEnabled())
        return;
    listOpen_ = false;
    selectItem(index);
    sendAction();
}

void ComboBox::userEntered(const std::string& text) {
    if (!isEnabled() || !editable_)
        return;
    text_ = text;
    const int match = indexOf(text);
    if (match != selected_) {
        selected_ = match;
        if (selectionDidChange_)
            selectionDidChange_(*this);
    }
    setNeedsDisplay();
    sendAction();
}

void ComboBox::setListOpen(bool open) {
    listOpen_ = open && isEnabled() && !items_.empty();
    setNeedsDisplay();
}

void ComboBox::beginEditing() {
    if (!editable_ || !isEnabled() || isEditing() || !editorFactory())
        return;
    if (auto editor = editorFactory()(*this))
        setNativeContent(std::move(editor));
}

void ComboBox::endEditing() {
    if (isEditing())
        setNativeContent(nullptr);
}

bool ComboBox::resignFirstResponder() {
    endEditing();
    return true;
}

void ComboBox::mouseDown(const Event& e) {
    if (!isEnabled())
        return Control::mouseDown(e);
    // The text part of an editable box takes typing; the arrow opens the list.
    const Point p = convertPointFromView(e.locationInWindow, nullptr);
    const double arrowWidth = std::min(20.0, bounds().size.height);
    if (editable_ && editorFactory() && p.x < bounds().maxX() - arrowWidth) {
        if (window())
            window()->makeFirstResponder(this);
        beginEditing();
        return;
    }
    if (listPresenter() && !items_.empty()) {
        listOpen_ = true;
        const int picked = listPresenter()(*this);
        listOpen_ = false;
        if (picked >= 0)
            userSelected(picked);
        return;
    }
    setListOpen(!listOpen_);
}

void ComboBox::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        if (!isEnabled())
            p.setOpacity(0.45);
        p.setPen(QPen(control_colours::controlBorder().toQColor(), 1));
        p.setBrush(control_colours::controlBackground().toQColor());
        p.drawRoundedRect(b.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        const double arrowWidth = std::min(20.0, b.height());
        const QRectF arrow(b.right() - arrowWidth, b.top(), arrowWidth, b.height());
        p.setBrush(control_colours::accent().toQColor());
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(arrow.adjusted(1, 1, -1, -1), 3, 3);
        p.setBrush(Qt::white);
        const double cx = arrow.center().x(), cy = arrow.center().y();
        p.drawPolygon(QPolygonF({{cx - 4, cy - 2}, {cx + 4, cy - 2}, {cx, cy + 3}}));
        p.setPen(control_colours::text().toQColor());
        const QRectF textRect = b.adjusted(5, 0, -arrowWidth - 3, 0);
        graphics::drawTextLine(
            p, textRect, Qt::AlignLeft | Qt::AlignVCenter,
            graphics::elidedTextLine(QString::fromStdString(text_), font_, textRect.width()), font_);
    });
}

} // namespace qrn::ui
