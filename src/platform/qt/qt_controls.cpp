#include "platform/qt/qt_controls.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSignalBlocker>
#include <QTextCharFormat>
#include <QTextCursor>
#include <cmath>
#include <functional>
#include <vector>

#include <QAbstractTextDocumentLayout>
#include <QTextEdit>
#include <algorithm>

#include "platform/foundation/font.h"
#include "platform/foundation/main_queue.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_menu.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/control.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"

namespace qrn::qt {

namespace {

// Editing ends when the editor loses the focus it was given, not when it is merely moved into
// the window before it ever had it.
class FieldEditor : public QLineEdit {
  public:
    bool hadFocus = false;
    // Tab (forward) and Shift+Tab: the window's widgets are not Qt's to step through.
    std::function<void(bool forward)> tabbed;

  protected:
    void focusInEvent(QFocusEvent* e) override {
        hadFocus = true;
        QLineEdit::focusInEvent(e);
    }
    // Taken from the key press itself: Qt also steps the focus on when a focused editor is
    // hidden (its window closing), which is no Tab.
    bool event(QEvent* e) override {
        if (tabbed && e->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(e);
            const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
            if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
                tabbed(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
                return true;
            }
        }
        return QLineEdit::event(e);
    }
};

// The fields of the tree under `view` that typing can go to, in the order the views are laid in.
void collectKeyFields(const ui::ViewPtr& view, std::vector<ui::ViewPtr>& fields) {
    if (!view || view->isHidden())
        return;
    if (auto field = std::dynamic_pointer_cast<ui::TextField>(view); field && field->acceptsFirstResponder())
        fields.push_back(view);
    else if (auto box = std::dynamic_pointer_cast<ui::ComboBox>(view); box && box->acceptsFirstResponder())
        fields.push_back(view);
    for (const auto& subview : view->subviews())
        collectKeyFields(subview, fields);
}

// The editable field or box of the window after `from` (before it, backwards), round to the
// first, takes the keyboard; nothing happens where `from` is the only one.
void selectKeyFieldAfter(ui::View& from, bool forward) {
    ui::Window* window = from.window();
    if (!window)
        return;
    std::vector<ui::ViewPtr> fields;
    collectKeyFields(window->frameView(), fields);
    const auto at =
        std::find_if(fields.begin(), fields.end(), [&](const ui::ViewPtr& v) { return v.get() == &from; });
    if (at == fields.end() || fields.size() < 2)
        return;
    const auto count = std::ptrdiff_t(fields.size());
    const ui::ViewPtr next = fields[size_t(((at - fields.begin()) + (forward ? 1 : count - 1)) % count)];
    window->makeFirstResponder(next.get());
    if (auto field = std::dynamic_pointer_cast<ui::TextField>(next))
        field->beginEditing();
    else if (auto box = std::dynamic_pointer_cast<ui::ComboBox>(next))
        box->beginEditing();
}

// Tab ends a field's editing as Return does, and the window's next field takes the keyboard.
// The editor goes once its own key event is over.
template <typename Field> void leaveOnTab(Field& field, bool forward) {
    std::weak_ptr<ui::View> weak = field.shared_from_this();
    MainQueue::after(0, [weak, forward] {
        auto f = std::dynamic_pointer_cast<Field>(weak.lock());
        if (!f || !f->isEditing())
            return;
        f->endEditing();
        selectKeyFieldAfter(*f, forward);
    });
}

QString styleFor(const Colour& background, const Colour& text) {
    return QString("background: %1; color: %2; border: none;")
        .arg(background.toQColor().name(QColor::HexArgb), text.toQColor().name(QColor::HexArgb));
}

// Gives the widget the focus when it is first shown, once.
class FocusWhenShown : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            static_cast<QWidget*>(watched)->setFocus(Qt::MouseFocusReason);
            deleteLater();
        }
        return false;
    }
};

// The host places and shows the widget on its next pass, which may come after the blocks
// queued now: focus it when it is shown, so the keys typed after the click that opened it
// are not lost.
void focusSoon(QWidget* w) {
    auto* filter = new FocusWhenShown(w);
    w->installEventFilter(filter);
    QPointer<QWidget> guard(w);
    QPointer<QObject> pending(filter);
    MainQueue::after(0, [guard, pending] {
        if (!guard || !guard->isVisible())
            return;
        delete pending.data();
        guard->setFocus(Qt::MouseFocusReason);
    });
}

QWidget* makeLineEditor(ui::TextField& field) {
    auto* edit = new FieldEditor();
    edit->setText(QString::fromStdString(field.stringValue()));
    edit->setFont(viewUnitFont(field.font()));
    edit->setFrame(false);
    edit->setStyleSheet(styleFor(field.backgroundColour(), field.textColour()));
    edit->selectAll();
    focusSoon(edit);
    std::weak_ptr<ui::View> weak = field.shared_from_this();
    QObject::connect(edit, &QLineEdit::textEdited, edit, [weak](const QString& text) {
        if (auto f = std::dynamic_pointer_cast<ui::TextField>(weak.lock()))
            f->userEdited(text.toStdString());
    });
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [weak, edit] {
        if (!edit->hadFocus)
            return;
        auto f = std::dynamic_pointer_cast<ui::TextField>(weak.lock());
        // A field that already ended (it lost first responder) has reported the end.
        if (!f || !f->isEditing())
            return;
        f->userEndedEditing();
        // Removing the editor destroys this widget: not while its own signal runs.
        MainQueue::after(0, [weak] {
            if (auto f = std::dynamic_pointer_cast<ui::TextField>(weak.lock()))
                f->endEditing();
        });
    });
    edit->tabbed = [weak](bool forward) {
        auto f = std::dynamic_pointer_cast<ui::TextField>(weak.lock());
        if (!f || !f->isEditing())
            return;
        f->userEndedEditing();
        leaveOnTab(*f, forward);
    };
    return edit;
}

class ViewEditor : public QTextEdit {
  public:
    void setInset(int inset) { setViewportMargins(inset, inset, inset, inset); }
};

// Puts text in the editor as its starting point: undo goes back to it and never takes apart
// the text the editor was given, which would otherwise be undone piece by piece and stored.
void loadEditorText(QTextEdit& edit, const AttributedString& text) {
    QTextDocument& document = *edit.document();
    document.setUndoRedoEnabled(false);
    text.writeTo(document);
    document.setUndoRedoEnabled(true);
}

QWidget* makeTextEditor(ui::TextView& view) {
    auto* edit = new ViewEditor();
    edit->setFrameStyle(0);
    edit->setStyleSheet(
        styleFor(view.drawsBackground() ? view.backgroundColour() : ui::control_colours::controlBackground(),
                 view.defaultTextColour()));
    // Laid out as the view lays it out, so the text keeps its size and place while it is edited.
    edit->document()->documentLayout()->setPaintDevice(textLayoutDevice());
    edit->document()->setDefaultFont(ui::TextView::baseFont());
    // The inset as margins round the text, not a document margin, which lays lines out a pixel
    // apart from the view's.
    edit->document()->setDocumentMargin(0);
    const int inset = int(std::lround(view.textInset()));
    edit->setInset(inset);
    loadEditorText(*edit, view.attributedString());
    if (const auto caret = view.takeEditCaret()) {
        QTextCursor cursor(edit->document());
        cursor.setPosition(std::clamp(*caret, 0, std::max(0, edit->document()->characterCount() - 1)));
        edit->setTextCursor(cursor);
    }
    focusSoon(edit);
    // Text the program sets while the editor is open: shown without a change report, the caret
    // and selection kept at their offsets (clamped to the new length).
    QPointer<QTextEdit> guard(edit);
    view.setEditorTextSink([guard](const AttributedString& text) {
        if (!guard)
            return;
        const QTextCursor old = guard->textCursor();
        const int position = old.position(), anchor = old.anchor();
        // An emptied text goes on in the look of what was deleted, as the editor itself does:
        // a title cleared and typed again keeps its font, size and colour.
        const QTextCharFormat typingOn = guard->currentCharFormat();
        {
            const QSignalBlocker block(guard);
            loadEditorText(*guard, text);
        }
        const int last = std::max(0, guard->document()->characterCount() - 1);
        QTextCursor cursor(guard->document());
        cursor.setPosition(std::clamp(anchor, 0, last));
        cursor.setPosition(std::clamp(position, 0, last), QTextCursor::KeepAnchor);
        const QSignalBlocker block(guard);
        guard->setTextCursor(cursor);
        if (text.isEmpty())
            guard->setCurrentCharFormat(typingOn);
    });
    std::weak_ptr<ui::View> weak = view.shared_from_this();
    QObject::connect(edit, &QTextEdit::textChanged, edit, [weak, edit] {
        auto v = std::dynamic_pointer_cast<ui::TextView>(weak.lock());
        if (!v)
            return;
        // Text typed where nothing else applies takes the typing attributes.
        AttributedString text = AttributedString::fromTextDocument(*edit->document());
        const TextAttributes& typing = v->typingAttributes();
        text.updateEachRun([&typing](TextAttributes& attributes) {
            if (attributes.isEmpty())
                attributes = typing;
        });
        v->userEdited(text);
    });
    return edit;
}

QWidget* makeComboEditor(ui::ComboBox& box) {
    auto* edit = new FieldEditor();
    edit->setText(QString::fromStdString(box.stringValue()));
    edit->setFont(viewUnitFont(box.font()));
    edit->setFrame(false);
    edit->setStyleSheet(styleFor(ui::control_colours::controlBackground(), ui::control_colours::text()));
    edit->selectAll();
    focusSoon(edit);
    std::weak_ptr<ui::View> weak = box.shared_from_this();
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [weak, edit] {
        auto b = std::dynamic_pointer_cast<ui::ComboBox>(weak.lock());
        if (!edit->hadFocus || !b || !b->isEditing())
            return;
        const std::string text = edit->text().toStdString();
        MainQueue::after(0, [weak] {
            if (auto b = std::dynamic_pointer_cast<ui::ComboBox>(weak.lock()))
                b->endEditing();
        });
        b->userEntered(text);
    });
    edit->tabbed = [weak, edit](bool forward) {
        auto b = std::dynamic_pointer_cast<ui::ComboBox>(weak.lock());
        if (!b || !b->isEditing())
            return;
        b->userEntered(edit->text().toStdString());
        leaveOnTab(*b, forward);
    };
    return edit;
}

} // namespace

void installQtControls() {
    ui::setComboBoxEditorFactory([](ui::ComboBox& b) -> std::shared_ptr<ui::NativeContent> {
        return std::make_shared<NativeWidgetContent>(makeComboEditor(b));
    });
    ui::setTextFieldEditorFactory([](ui::TextField& f) -> std::shared_ptr<ui::NativeContent> {
        return std::make_shared<NativeWidgetContent>(makeLineEditor(f));
    });
    ui::setTextViewEditorFactory([](ui::TextView& v) -> std::shared_ptr<ui::NativeContent> {
        return std::make_shared<NativeWidgetContent>(makeTextEditor(v));
    });
    ui::setComboBoxListPresenter([](ui::ComboBox& box) {
        QMenu menu;
        keepMenuFontApart(&menu);
        for (int i = 0; i < box.numberOfItems(); ++i) {
            QAction* a = menu.addAction(QString::fromStdString(box.itemAt(i)));
            a->setData(i);
            a->setCheckable(true);
            a->setChecked(i == box.indexOfSelectedItem());
        }
        QAction* picked = menu.exec(QCursor::pos());
        return picked ? picked->data().toInt() : -1;
    });
}

} // namespace qrn::qt
