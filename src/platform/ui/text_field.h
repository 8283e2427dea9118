#pragma once
// Text fields: labels (neither editable nor selectable), selectable text whose links open on a
// click, and editable fields. Single-line fields truncate at the tail. While an editable field
// is being edited, the Qt bridge hosts a native line editor over it.
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/attributed_string.h"
#include "platform/ui/control.h"

class QTextDocument;

namespace qrn::ui {

class TextField;

// A hidden, empty view that only carries a tag, marking the view it sits in (a slide's
// container, a layer's view, an order anchor). Decks hold many of them, so it keeps nothing of
// a text field's text, font or look, nor a layer of its own.
class Marker final : public View {
  public:
    explicit Marker(int tag);
};

// The Qt bridge installs this so editable fields get a native editor; without it (tests)
// fields are edited through userEdited().
using TextFieldEditorFactory = std::function<std::shared_ptr<NativeContent>(TextField&)>;
void setTextFieldEditorFactory(TextFieldEditorFactory factory);

class TextField : public Control {
  public:
    explicit TextField(const Rect& frame = {});
    static std::shared_ptr<TextField> make(const Rect& frame = {}) {
        return std::make_shared<TextField>(frame);
    }
    // A label: not editable, not selectable, no border or background.
    static std::shared_ptr<TextField> makeLabel(const std::string& text, const Rect& frame = {});
    // A hidden marker that only carries a tag (see Marker).
    static std::shared_ptr<Marker> makeMarker(int tag) { return std::make_shared<Marker>(tag); }

    // --- Value
    std::string stringValue() const { return value_.string(); }
    void setStringValue(const std::string& text);
    const AttributedString& attributedStringValue() const { return value_; }
    void setAttributedStringValue(const AttributedString& text);
    // Leading number of the text ("12abc" reads 12); 0 when there is none.
    long long integerValue() const;
    double doubleValue() const;
    void setIntegerValue(long long v);
    void setDoubleValue(double v);
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string text);

    // --- Behaviour
    bool isEditable() const { return editable_; }
    void setEditable(bool editable);
    bool isSelectable() const { return selectable_ || editable_; }
    void setSelectable(bool selectable) { selectable_ = selectable; }
    // Editing the attributes of the text (links are only followed in fields that allow it).
    bool allowsEditingTextAttributes() const { return allowsEditingTextAttributes_; }
    void setAllowsEditingTextAttributes(bool on) { allowsEditingTextAttributes_ = on; }
    bool usesSingleLineMode() const { return singleLine_; }
    void setUsesSingleLineMode(bool on);

    // --- Look
    bool isBordered() const { return bordered_; }
    void setBordered(bool on);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool on);
    const Colour& backgroundColour() const { return backgroundColour_; }
    void setBackgroundColour(const Colour& c);
    const Colour& textColour() const { return textColour_; }
    void setTextColour(const Colour& c);
    TextAlignment alignment() const { return alignment_; }
    void setAlignment(TextAlignment a);

    // --- Editing
    // Called on every change the user makes, and when editing ends (Return or leaving).
    void setTextDidChange(std::function<void(TextField&)> fn) { didChange_ = std::move(fn); }
    void setTextDidEndEditing(std::function<void(TextField&)> fn) { didEnd_ = std::move(fn); }
    // The user changed the text (the native editor calls this; tests too).
    void userEdited(const std::string& text);
    // The user finished editing: the action is sent.
    void userEndedEditing();
    bool isEditing() const { return nativeContent() != nullptr; }
    void beginEditing();
    void endEditing();

    // --- Links: the address at a point of the bounds, if the text there carries one.
    std::optional<std::string> linkAt(Point pointInBounds) const;

    void draw(QPainter& painter, const Rect& dirty) override;
    void mouseDown(const Event& e) override;
    void mouseUp(const Event& e) override;
    bool acceptsFirstResponder() const override { return editable_ && isEnabled(); }
    // Leaving the field ends its editing, as Return does.
    bool resignFirstResponder() override;

  private:
    QRectF textRect(QRectF bounds) const;
    // Lays the value out in `doc` across the text rectangle `r`; gives the top of the text there.
    double layOutValue(QTextDocument& doc, const QRectF& r) const;
    AttributedString value_;
    std::string placeholder_;
    bool editable_ = true;
    bool selectable_ = true;
    bool allowsEditingTextAttributes_ = false;
    bool singleLine_ = true;
    bool bordered_ = true;
    bool drawsBackground_ = true;
    Colour backgroundColour_;
    Colour textColour_;
    TextAlignment alignment_ = TextAlignment::natural;
    std::function<void(TextField&)> didChange_;
    std::function<void(TextField&)> didEnd_;
    std::optional<std::string> pressedLink_;
};

} // namespace qrn::ui
