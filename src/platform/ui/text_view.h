#pragma once
// Multi-line styled text. Shown text is drawn into the view's layer, so it turns and fades with
// it (text layers in the preview rely on this). An editable text view, once clicked, is edited
// in a native editor that the Qt bridge hosts over it.
#include <QFont>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/foundation/attributed_string.h"
#include "platform/ui/control.h"

namespace qrn::ui {

class TextView;
using TextViewEditorFactory = std::function<std::shared_ptr<NativeContent>(TextView&)>;
void setTextViewEditorFactory(TextViewEditorFactory factory);

class TextView : public View {
  public:
    explicit TextView(const Rect& frame = {});
    static std::shared_ptr<TextView> make(const Rect& frame = {}) {
        return std::make_shared<TextView>(frame);
    }

    const AttributedString& attributedString() const { return text_; }
    // Replaces the whole text; does not report a change (the user did not make it). An open
    // editor shows the new text at once, keeping its caret and selection where they were.
    void setAttributedString(const AttributedString& text);
    std::string string() const { return text_.string(); }
    void setString(const std::string& text);

    bool isEditable() const { return editable_; }
    void setEditable(bool on);
    bool isSelectable() const { return selectable_ || editable_; }
    void setSelectable(bool on) { selectable_ = on; }
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool on);
    const Colour& backgroundColour() const { return background_; }
    void setBackgroundColour(const Colour& c);
    // Attributes given to text the user types where nothing else applies.
    const TextAttributes& typingAttributes() const { return typing_; }
    void setTypingAttributes(const TextAttributes& a) { typing_ = a; }
    // Colour of text without a colour of its own.
    const Colour& defaultTextColour() const { return defaultColour_; }
    void setDefaultTextColour(const Colour& c);
    double textInset() const { return inset_; }
    void setTextInset(double inset);
    // One line only, cut at the tail with "…" when it does not fit the width (names in lists).
    bool truncatesToOneLine() const { return truncatesToOneLine_; }
    void setTruncatesToOneLine(bool on);
    // The text as it is drawn: with truncatesToOneLine, its first line cut to the width.
    AttributedString displayedText() const;
    // A press goes straight to the superview's mouseDown, so a label inside a clickable row
    // acts as part of the row.
    // The size range the view keeps to (text layers fix it to their frame).
    Size minSize() const { return minSize_; }
    void setMinSize(Size size) { minSize_ = size; }
    Size maxSize() const { return maxSize_; }
    void setMaxSize(Size size) { maxSize_ = size; }
    bool passesMouseToSuperview() const { return passesMouse_; }
    void setPassesMouseToSuperview(bool on) { passesMouse_ = on; }

    // Reported after every change the user makes.
    void setTextDidChange(std::function<void(TextView&)> fn) { didChange_ = std::move(fn); }
    // The editor reports the user's new text.
    void userEdited(const AttributedString& text);
    // The user typed `text` at `location` (UTF-16), taking the typing attributes.
    void userInserted(const QString& text, int location);

    // The open editor's way to take text the program sets; its factory installs it and it goes
    // with the editor.
    void setEditorTextSink(std::function<void(const AttributedString&)> sink) {
        editorSink_ = std::move(sink);
    }

    bool isEditing() const { return nativeContent() != nullptr; }
    // The character offset (UTF-16) nearest to `point` (view space) in the text as drawn.
    int characterIndexAt(Point point) const;
    // Where the click that opened the editor puts the caret; the editor takes it once. None
    // when the editor was opened otherwise.
    std::optional<int> takeEditCaret() { return std::exchange(editCaret_, std::nullopt); }
    void beginEditing();
    void endEditing();
    // The font of text that names none, in the view and in its editor alike.
    static QFont baseFont();
    // Height the text needs at the current width.
    double usedHeight() const;
    // Laid out on the finer device (fineTextLayoutScale), so that a font of 51.5 is not laid
    // out as one of 52. For text that is sized in points and scaled with a picture; other text
    // keeps the unit layout its native editor shares.
    bool honoursFractionalSizes() const { return honoursFractionalSizes_; }
    void setHonoursFractionalSizes(bool on);

    void draw(QPainter& painter, const Rect& dirty) override;
    void mouseDown(const Event& e) override;
    // One that passes presses on is part of its superview and never takes the focus.
    bool acceptsFirstResponder() const override { return editable_ && !passesMouse_; }
    bool resignFirstResponder() override;

  private:
    AttributedString text_;
    TextAttributes typing_;
    Colour defaultColour_;
    Colour background_ = Colour::clear();
    bool editable_ = true;
    bool selectable_ = true;
    bool drawsBackground_ = false;
    bool truncatesToOneLine_ = false;
    Size minSize_{};
    Size maxSize_{1e7, 1e7};
    bool passesMouse_ = false;
    bool honoursFractionalSizes_ = false;
    double inset_ = 0;
    std::function<void(TextView&)> didChange_;
    std::function<void(const AttributedString&)> editorSink_;
    std::optional<int> editCaret_;

    double layoutScale() const;
};

// Calls an action on a click (press and release over the view). Views have no recognisers of
// their own, so it sits as a transparent view on top of the view it serves and takes its clicks.
class ClickGestureRecognizer : public View {
  public:
    using Action = std::function<void(ClickGestureRecognizer&)>;
    explicit ClickGestureRecognizer(Action action) : action_(std::move(action)) {}
    // Covers `view` (following its size) and returns the recogniser.
    static std::shared_ptr<ClickGestureRecognizer> attach(const ViewPtr& view, Action action);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }
    View* servedView() const { return superviewPointer(); }
    // Location of the last click in the served view's bounds.
    Point location() const { return location_; }

    View* hitTest(Point pointInSuperview) override;
    void mouseDown(const Event& e) override;
    void mouseUp(const Event& e) override;

  private:
    Action action_;
    bool enabled_ = true;
    bool pressed_ = false;
    Point location_;
};

} // namespace qrn::ui
