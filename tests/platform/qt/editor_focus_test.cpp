// Clicking an editable text view opens a native editor over it; the keys typed right after
// that first click must reach the editor, though the host shows it only on its next pass.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTextEdit>

#include "platform/foundation/main_queue.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_controls.h"
#include "platform/ui/text_view.h"
#include "platform/ui/window.h"
#include "support/event_pump.h"

using namespace qrn;
using namespace qrn::ui;
using qrn::test::pumpUntil;

TEST(EditorFocus, TheFirstClickOnATextViewLeavesItsEditorWithTheKeyboard) {
    qt::installQtHost();
    qt::installQtControls();
    auto window = Window::make(Rect(100, 100, 300, 200));
    auto* host = qt::hostWidget(*window);
    ASSERT_NE(host, nullptr);
    window->makeKeyAndOrderFront();
    host->activateWindow();
    ASSERT_TRUE(pumpUntil([&] { return host->isVisible() && QApplication::activeWindow() == host; }));
    auto text = std::make_shared<TextView>(Rect(20, 20, 200, 100));
    text->setString("script");
    window->contentView()->addSubview(text);
    ASSERT_TRUE(pumpUntil([&] { return host->paintCount() > 0; }));

    // Qt's y-down point inside the text view.
    const QPointF at(60, host->height() - 60);
    QMouseEvent press(QEvent::MouseButtonPress, at, host->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(host, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, host->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(host, &release);
    ASSERT_TRUE(text->isEditing());
    // Blocks queued by the click run before the host's next pass, as they may in the app.
    MainQueue::advance(0);

    EXPECT_TRUE(pumpUntil([] { return qobject_cast<QTextEdit*>(QApplication::focusWidget()) != nullptr; }))
        << "the editor never took the keyboard focus";
    window->close();
}
