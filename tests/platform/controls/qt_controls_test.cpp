#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "platform/foundation/main_queue.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_controls.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/window.h"

using namespace qrn;
using namespace qrn::ui;

namespace {
void type(QWidget* w, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &press);
    }
}

// The Qt editor a text view edits in; null when it has none.
QTextEdit* editorOf(TextView& view) {
    auto content = std::dynamic_pointer_cast<qt::NativeWidgetContent>(view.nativeContent());
    return content ? qobject_cast<QTextEdit*>(content->widget()) : nullptr;
}
} // namespace

TEST(QtEditors, TypingInTheHostedEditorsReachesTheControls) {
    qt::installQtControls();
    auto field = TextField::make(Rect(0, 0, 100, 22));
    field->setStringValue("20");
    std::vector<std::string> seen;
    field->setTextDidChange([&](TextField& f) { seen.push_back(f.stringValue()); });
    field->beginEditing();
    auto content = std::dynamic_pointer_cast<qt::NativeWidgetContent>(field->nativeContent());
    ASSERT_TRUE(content);
    auto* edit = qobject_cast<QLineEdit*>(content->widget());
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->text(), "20");
    edit->end(false);
    type(edit, "4");
    EXPECT_EQ(field->stringValue(), "204");
    EXPECT_EQ(seen.back(), "204");
    field->endEditing();
    EXPECT_FALSE(field->isEditing());

    auto view = TextView::make(Rect(0, 0, 200, 100));
    TextAttributes typing;
    typing.foregroundColour = Colour{1, 0, 0, 1};
    view->setTypingAttributes(typing);
    int changes = 0;
    view->setTextDidChange([&](TextView&) { ++changes; });
    view->beginEditing();
    auto* textEdit = editorOf(*view);
    ASSERT_TRUE(textEdit);
    type(textEdit, "Hi");
    EXPECT_GE(changes, 1);
    EXPECT_EQ(view->string(), "Hi");
    EXPECT_EQ(view->attributedString().attributesAt(0).foregroundColour, (Colour{1, 0, 0, 1}));
}

TEST(QtEditors, TypingIntoAnEditableComboBoxSelectsTheMatchingItem) {
    qt::installQtControls();
    auto box = ComboBox::make(Rect(0, 0, 120, 24));
    box->addItems({"12", "14", "18"});
    int actions = 0;
    box->setAction([&](Control&) { ++actions; });
    box->beginEditing();
    auto content = std::dynamic_pointer_cast<qt::NativeWidgetContent>(box->nativeContent());
    ASSERT_TRUE(content);
    auto* edit = qobject_cast<QLineEdit*>(content->widget());
    ASSERT_TRUE(edit);
    edit->show();
    edit->setFocus();
    QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(edit, &focusIn);
    type(edit, "14");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &enter);
    EXPECT_EQ(box->stringValue(), "14");
    EXPECT_EQ(box->indexOfSelectedItem(), 1);
    EXPECT_EQ(actions, 1);
    MainQueue::advance(0.01);
    EXPECT_FALSE(box->isEditing());
}

TEST(QtEditors, TextSetByTheProgramShowsInTheOpenEditorWithoutAChangeAndKeepsTheCaret) {
    qt::installQtControls();
    auto view = TextView::make(Rect(0, 0, 200, 100));
    view->setString("Hello world");
    int changes = 0;
    view->setTextDidChange([&](TextView&) { ++changes; });
    view->beginEditing();
    auto* edit = editorOf(*view);
    ASSERT_TRUE(edit);
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);

    view->setAttributedString(AttributedString("Jello world!"));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(edit->toPlainText(), "Jello world!");
    EXPECT_EQ(edit->textCursor().anchor(), 2);
    EXPECT_EQ(edit->textCursor().position(), 5);
    // The next keystroke builds on the new text, not on the editor's old copy.
    type(edit, "X");
    EXPECT_EQ(view->string(), "JeX world!");
    EXPECT_EQ(changes, 1);

    // A shorter text keeps the caret inside it.
    cursor = edit->textCursor();
    cursor.setPosition(8);
    edit->setTextCursor(cursor);
    view->setAttributedString(AttributedString("Hi"));
    EXPECT_EQ(edit->textCursor().position(), 2);
    view->endEditing();
    // Closed again: setting text is plain storage.
    view->setAttributedString(AttributedString("After"));
    EXPECT_EQ(view->string(), "After");
}

TEST(QtEditors, ATextViewsEditorLaysItsTextOutAsTheViewDrawsIt) {
    // Text without a font of its own used to grow or shrink, and shift by the editor's margin,
    // as soon as the presenter clicked into it.
    qt::installQtControls();
    auto view = TextView::make(Rect(0, 0, 300, 200));
    view->setTextInset(6);
    view->setString("A script line that wraps once it grows long enough to need a second one");
    const double drawnHeight = view->usedHeight();
    view->beginEditing();
    auto* edit = editorOf(*view);
    ASSERT_TRUE(edit);
    QTextDocument* document = edit->document();
    EXPECT_EQ(document->defaultFont(), TextView::baseFont());
    EXPECT_EQ(edit->viewport()->geometry().topLeft(), QPoint(6, 6));
    document->setTextWidth(300 - 12);
    EXPECT_NEAR(document->size().height() + 12, drawnHeight, 0.5);
    // Typing keeps the base font.
    type(edit, "X");
    EXPECT_NEAR(document->size().height() + 12, view->usedHeight(), 0.5);
}

TEST(QtEditors, UndoInAnOpenedEditorStopsAtTheTextItWasGiven) {
    // Undo used to take the given script apart paragraph by paragraph, each step stored.
    qt::installQtControls();
    auto view = TextView::make(Rect(0, 0, 300, 200));
    view->setString("First paragraph\nSecond paragraph\nThird");
    view->beginEditing();
    auto* edit = editorOf(*view);
    ASSERT_TRUE(edit);
    edit->moveCursor(QTextCursor::End);
    type(edit, "!");
    for (int i = 0; i < 5; ++i)
        edit->undo();
    EXPECT_EQ(view->string(), "First paragraph\nSecond paragraph\nThird");
    // Text the program puts in while it is open is a new starting point too.
    view->setAttributedString(AttributedString("Replaced\nby the program"));
    for (int i = 0; i < 5; ++i)
        edit->undo();
    EXPECT_EQ(edit->toPlainText(), "Replaced\nby the program");
    EXPECT_EQ(view->string(), "Replaced\nby the program");
    view->endEditing();
}

TEST(QtEditors, AClickIntoATextViewPutsTheCaretWhereItWas) {
    // The caret used to go to the end of the text, so that a word typed into the middle of a
    // long script landed after its last line.
    qt::installQtControls();
    auto view = TextView::make(Rect(0, 0, 300, 200));
    view->setString("Line one\nLine two\nLine three");
    const double line = view->usedHeight() / 3;
    view->mouseDown(Event::mouse(EventType::MouseDown, Point(1, 200 - line * 1.5)));
    auto* edit = editorOf(*view);
    ASSERT_TRUE(edit);
    type(edit, "X");
    EXPECT_EQ(view->string(), "Line one\nXLine two\nLine three");
    view->endEditing();
}

TEST(QtEditors, ATextViewShowsItsTextAgainOnceItsEditorCloses) {
    // While the editor lay over it the view drew no text of its own; closed without new text
    // (New or Open leaving the script pane), the pane stayed blank over a script still there.
    qt::installQtControls();
    auto window = Window::make(Rect(0, 0, 300, 200));
    window->setBackgroundColour(Colour::black());
    auto view = TextView::make(Rect(0, 0, 300, 200));
    view->setDefaultTextColour(Colour::white());
    view->setString("A script the presenter reads");
    window->contentView()->addSubview(view);
    auto lit = [&] {
        const QImage shot = window->snapshot(0);
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                n += shot.pixelColor(x, y).lightness() > 128;
        return n;
    };
    const int drawn = lit();
    ASSERT_GT(drawn, 0);
    view->beginEditing();
    auto* edit = editorOf(*view);
    ASSERT_TRUE(edit);
    type(edit, "X");
    window->displayIfNeeded();
    view->endEditing();
    EXPECT_GT(lit(), drawn);
}

TEST(QtEditors, TextTypedAfterDeletingAllOfItKeepsItsLook) {
    // The text tab puts each change back into the editor. Emptied so, a title typed again came
    // out in the typing attributes' font, size and colour, while the tab still showed the ones
    // the presenter had chosen.
    qt::installQtControls();
    auto view = TextView::make(Rect(0, 0, 300, 200));
    TextAttributes typing;
    typing.font = fontWithFamily("Nimbus Sans", 20);
    view->setTypingAttributes(typing);
    TextAttributes chosen;
    chosen.font = fontWithFamily("Nimbus Sans", 48);
    chosen.foregroundColour = Colour{1, 0, 0, 1};
    view->setAttributedString(AttributedString("Old title", chosen));
    view->setTextDidChange([](TextView& v) { v.setAttributedString(v.attributedString()); });
    view->beginEditing();
    auto* edit = editorOf(*view);
    ASSERT_TRUE(edit);
    edit->selectAll();
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &erase);
    ASSERT_EQ(view->string(), "");
    type(edit, "New");
    EXPECT_EQ(view->string(), "New");
    const TextAttributes typed = view->attributedString().attributesAt(0);
    ASSERT_TRUE(typed.font);
    EXPECT_EQ(typed.font->size, 48);
    EXPECT_EQ(typed.foregroundColour, (Colour{1, 0, 0, 1}));
    view->endEditing();
}
