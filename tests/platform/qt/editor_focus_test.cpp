// Clicking an editable text view opens a native editor over it; the keys typed right after
// that first click must reach the editor, though the host shows it only on its next pass. Tab
// steps from field to field.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextEdit>

#include "platform/foundation/main_queue.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_controls.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/window.h"
#include "support/event_pump.h"

using namespace qrn;
using namespace qrn::ui;
using qrn::test::pumpUntil;

namespace {

void pressKey(QWidget* widget, int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(widget, &release);
}

void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text)
        pressKey(widget, c.unicode(), QString(c));
}

// A click at Qt's y-down point `at` of the host.
void click(QWidget* host, const QPointF& at) {
    qrn::test::click(host, at, host->mapToGlobal(at));
}

} // namespace

// A window on show with the keyboard, and its Qt host.
class EditorFocus : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::installQtHost();
        qt::installQtControls();
        window = Window::make(Rect(100, 100, 300, 200));
        host = qt::hostWidget(*window);
        ASSERT_NE(host, nullptr);
        window->makeKeyAndOrderFront();
        host->activateWindow();
        ASSERT_TRUE(pumpUntil([&] { return host->isVisible() && QApplication::activeWindow() == host; }));
    }
    void TearDown() override {
        if (window->isVisible())
            window->close();
    }
    WindowPtr window;
    qt::HostWidget* host = nullptr;
};

TEST_F(EditorFocus, TheFirstClickOnATextViewLeavesItsEditorWithTheKeyboard) {
    auto text = std::make_shared<TextView>(Rect(20, 20, 200, 100));
    text->setString("script");
    window->contentView()->addSubview(text);
    ASSERT_TRUE(pumpUntil([&] { return host->paintCount() > 0; }));

    click(host, QPointF(60, host->height() - 60)); // inside the text view
    ASSERT_TRUE(text->isEditing());
    // Blocks queued by the click run before the host's next pass, as they may in the app.
    MainQueue::advance(0);

    EXPECT_TRUE(pumpUntil([] { return qobject_cast<QTextEdit*>(QApplication::focusWidget()) != nullptr; }))
        << "the editor never took the keyboard focus";
}

// Tab in a field ends its editing as Return does (its action is sent with what was typed) and
// gives the keyboard to the window's next field; Shift+Tab to the one before.
TEST_F(EditorFocus, TabEndsAFieldAsReturnDoesAndTheNextFieldTakesTheKeyboard) {
    auto speed = TextField::make(Rect(20, 20, 80, 24));
    auto size = TextField::make(Rect(120, 20, 80, 24));
    speed->setStringValue("15");
    size->setStringValue("20");
    std::vector<std::string> sent;
    for (const auto& field : {speed, size})
        field->setAction([&sent](Control& c) { sent.push_back(static_cast<TextField&>(c).stringValue()); });
    window->contentView()->addSubview(speed);
    window->contentView()->addSubview(size);
    ASSERT_TRUE(pumpUntil([&] { return host->paintCount() > 0; }));

    click(host, QPointF(40, host->height() - 32)); // inside the first field
    MainQueue::advance(0);
    const auto focusedEditor = [] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); };
    ASSERT_TRUE(pumpUntil([&] { return focusedEditor() != nullptr; }));
    typeText(focusedEditor(), "70");
    pressKey(focusedEditor(), Qt::Key_Tab, "\t");
    MainQueue::advance(0);

    EXPECT_EQ(sent, std::vector<std::string>{"70"});
    EXPECT_FALSE(speed->isEditing());
    EXPECT_TRUE(size->isEditing());
    ASSERT_TRUE(pumpUntil([&] { return focusedEditor() && focusedEditor()->text() == "20"; }))
        << "the next field's editor never took the keyboard";
    typeText(focusedEditor(), "30");
    pressKey(focusedEditor(), Qt::Key_Backtab, {}, Qt::ShiftModifier);
    MainQueue::advance(0);
    EXPECT_EQ(sent, (std::vector<std::string>{"70", "30"}));
    EXPECT_TRUE(speed->isEditing());
    EXPECT_TRUE(pumpUntil([&] { return focusedEditor() && focusedEditor()->text() == "70"; }));
    // Closing ends the editing, which sends the field's action: while `sent` is still here.
    window->close();
}
