// The application-wide Qt pieces: Edit commands reach the focused native editor, window
// commands reach the real window, and Qt's own widgets are dark.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTextBlock>
#include <QTextEdit>
#include <QVBoxLayout>

#include "platform/qt/host_window.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_menu.h"
#include "platform/ui/menu.h"
#include "support/event_pump.h"

using namespace qrn;
using qrn::test::pumpUntil;
using ui::EditCommand;

namespace {

// A top-level window holding one editor that has the keyboard focus.
struct FocusedEditor {
    QWidget top;
    explicit FocusedEditor(QWidget* editor) {
        auto* layout = new QVBoxLayout(&top);
        layout->addWidget(editor);
        top.show();
        top.activateWindow();
        editor->setFocus();
        EXPECT_TRUE(pumpUntil([editor] { return QApplication::focusWidget() == editor; }));
    }
};

std::shared_ptr<MenuItem> editItem(const std::shared_ptr<Menu>& bar, const char* title) {
    return bar->itemWithTitle("Edit")->submenu()->itemWithTitle(title);
}

} // namespace

TEST(EditCommands, LineEditorCutsCopiesPastesAndDeletesOnlyTheSelection) {
    qt::installEditCommands();
    auto bar = makeStandardMainMenu("QRN");
    auto* line = new QLineEdit("hello world");
    FocusedEditor window(line);
    ASSERT_EQ(qt::focusedTextEditor(), line);

    editItem(bar, "Select All")->perform();
    EXPECT_EQ(line->selectedText(), "hello world");
    editItem(bar, "Copy")->perform();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "hello world");
    line->setSelection(0, 6);
    editItem(bar, "Cut")->perform();
    EXPECT_EQ(line->text(), "world");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "hello ");
    line->setCursorPosition(5);
    editItem(bar, "Paste")->perform();
    EXPECT_EQ(line->text(), "worldhello ");
    // Delete without a selection leaves the text alone; with one it removes just that.
    line->setCursorPosition(0);
    editItem(bar, "Delete")->perform();
    EXPECT_EQ(line->text(), "worldhello ");
    line->setSelection(5, 6);
    editItem(bar, "Delete")->perform();
    EXPECT_EQ(line->text(), "world");
    // A read-only editor still copies but is not changed.
    line->setReadOnly(true);
    line->selectAll();
    editItem(bar, "Cut")->perform();
    EXPECT_EQ(line->text(), "world");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "world");
    ui::Application::shared().setEditCommandHandler(nullptr);
}

TEST(EditCommands, TextEditorsPasteWithOrWithoutTheCopiedStyle) {
    qt::installEditCommands();
    auto bar = makeStandardMainMenu("QRN");
    auto* rich = new QTextEdit();
    FocusedEditor window(rich);
    auto* mime = new QMimeData;
    mime->setHtml("<b>bold</b>");
    mime->setText("bold");
    QGuiApplication::clipboard()->setMimeData(mime);

    editItem(bar, "Paste and Match Style")->perform();
    EXPECT_EQ(rich->toPlainText(), "bold");
    EXPECT_NE(rich->document()->begin().begin().fragment().charFormat().fontWeight(), QFont::Bold);
    editItem(bar, "Select All")->perform();
    editItem(bar, "Delete")->perform();
    EXPECT_TRUE(rich->toPlainText().isEmpty());
    editItem(bar, "Paste")->perform();
    EXPECT_EQ(rich->toPlainText(), "bold");
    EXPECT_EQ(rich->document()->begin().begin().fragment().charFormat().fontWeight(), QFont::Bold);

    auto* plain = new QPlainTextEdit("plain text");
    window.top.layout()->addWidget(plain);
    plain->setFocus();
    ASSERT_TRUE(pumpUntil([plain] { return QApplication::focusWidget() == plain; }));
    editItem(bar, "Select All")->perform();
    editItem(bar, "Cut")->perform();
    EXPECT_TRUE(plain->toPlainText().isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "plain text");

    // Focus elsewhere: the commands find no editor and change nothing.
    auto* other = new QWidget;
    other->setFocusPolicy(Qt::StrongFocus);
    window.top.layout()->addWidget(other);
    other->setFocus();
    ASSERT_TRUE(pumpUntil([other] { return QApplication::focusWidget() == other; }));
    EXPECT_FALSE(ui::Application::shared().performEditCommand(EditCommand::paste));
    EXPECT_EQ(rich->toPlainText(), "bold");
    EXPECT_TRUE(plain->toPlainText().isEmpty());
    ui::Application::shared().setEditCommandHandler(nullptr);
}

TEST(EditCommands, ReachTheEditorOfTheWindowThatTheMenuTookTheFocusFrom) {
    qt::installEditCommands();
    auto bar = makeStandardMainMenu("QRN");
    auto* script = new QTextEdit();
    script->setPlainText("opening line");
    FocusedEditor scriptWindow(script);
    editItem(bar, "Select All")->perform();
    // Choosing an item of the main window's menu activates the main window first.
    QWidget mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == &mainWindow; }));
    ASSERT_EQ(qt::focusedTextEditor(), nullptr);

    editItem(bar, "Cut")->perform();
    EXPECT_TRUE(script->toPlainText().isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "opening line");
    EXPECT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == &scriptWindow.top; }));

    // An editor whose own window moved its focus elsewhere is left alone.
    auto* button = new QWidget;
    button->setFocusPolicy(Qt::StrongFocus);
    scriptWindow.top.layout()->addWidget(button);
    button->setFocus();
    ASSERT_TRUE(pumpUntil([button] { return QApplication::focusWidget() == button; }));
    mainWindow.activateWindow();
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == &mainWindow; }));
    EXPECT_FALSE(ui::Application::shared().performEditCommand(EditCommand::paste));
    EXPECT_TRUE(script->toPlainText().isEmpty());
    ui::Application::shared().setEditCommandHandler(nullptr);
}

TEST(WindowCommands, FullScreenZoomAndMinimiseReachTheRealWindow) {
    qt::installQtHost();
    auto bar = makeStandardMainMenu("QRN");
    auto window = ui::Window::make(Rect(100, 100, 300, 200));
    auto* host = qt::hostWidget(*window);
    ASSERT_NE(host, nullptr);
    window->makeKeyAndOrderFront();
    ASSERT_TRUE(pumpUntil([&] { return host->isVisible(); }));
    const auto item = [&](const char* menu, const char* title) {
        return bar->itemWithTitle(menu)->submenu()->itemWithTitle(title);
    };

    // What the window's menu bar says of full screen; the program still addresses the item by
    // its own title.
    std::unique_ptr<QMenuBar> shownBar(makeQtMenuBar(bar, nullptr));
    const auto fullScreenText = [&] {
        for (QAction* top : shownBar->actions())
            if (top->text() == "View")
                for (QAction* a : top->menu()->actions())
                    if (a->shortcut() == QKeySequence(Qt::Key_F11))
                        return a->text().toStdString();
        return std::string();
    };
    EXPECT_EQ(fullScreenText(), "Enter Full Screen");
    item("View", "Enter Full Screen")->perform();
    EXPECT_TRUE(pumpUntil([&] { return host->isFullScreen(); }));
    EXPECT_TRUE(window->isFullScreen());
    EXPECT_EQ(fullScreenText(), "Exit Full Screen");
    item("View", "Enter Full Screen")->perform();
    EXPECT_TRUE(pumpUntil([&] { return !host->isFullScreen(); }));
    EXPECT_EQ(fullScreenText(), "Enter Full Screen");
    item("Window", "Zoom")->perform();
    EXPECT_TRUE(pumpUntil([&] { return host->isMaximized(); }));
    item("Window", "Zoom")->perform();
    EXPECT_TRUE(pumpUntil([&] { return !host->isMaximized(); }));
    EXPECT_FALSE(window->isZoomed() || window->isFullScreen());
    item("Window", "Minimise")->perform();
    EXPECT_TRUE(pumpUntil([&] { return host->isMinimized(); }));
    EXPECT_TRUE(window->isMiniaturized());
    window->close();
}

// The window manager gives a window that belongs to another no full screen of its own: F11 while
// the autocue has the keyboard takes the studio's window in and out of full screen.
TEST(WindowCommands, FullScreenFromAWindowThatBelongsToAnotherIsThatWindowsFullScreen) {
    qt::installQtHost();
    auto bar = makeStandardMainMenu("QRN");
    auto main = ui::Window::make(Rect(100, 100, 300, 200));
    auto autocue = ui::Window::make(Rect(150, 150, 100, 80));
    autocue->setParentWindow(main);
    main->makeKeyAndOrderFront();
    autocue->makeKeyAndOrderFront();
    auto* mainHost = qt::hostWidget(*main);
    ASSERT_TRUE(pumpUntil([&] { return mainHost->isVisible(); }));
    const auto fullScreenItem = bar->itemWithTitle("View")->submenu()->itemWithTitle("Enter Full Screen");

    fullScreenItem->perform();
    EXPECT_TRUE(pumpUntil([&] { return mainHost->isFullScreen(); }));
    EXPECT_TRUE(main->isFullScreen());
    EXPECT_FALSE(autocue->isFullScreen());
    EXPECT_EQ(fullScreenItem->shownTitle(), "Exit Full Screen");
    fullScreenItem->perform();
    EXPECT_TRUE(pumpUntil([&] { return !mainHost->isFullScreen(); }));
    EXPECT_EQ(fullScreenItem->shownTitle(), "Enter Full Screen");
    autocue->close();
    main->close();
}

TEST(DarkAppearance, QtsOwnWidgetsAreDarkWhateverTheDesktopSays) {
    const QString styleBefore = QApplication::style()->name();
    const QPalette paletteBefore = QApplication::palette();
    QApplication::setPalette(QPalette(Qt::white)); // a light desktop theme

    qt::applyDarkAppearance();
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    QMenu menu;
    QLineEdit editor;
    for (const QPalette& p : {QApplication::palette(), menu.palette(), editor.palette()}) {
        EXPECT_LT(p.color(QPalette::Window).lightness(), 80);
        EXPECT_LT(p.color(QPalette::Base).lightness(), 80);
        EXPECT_GT(p.color(QPalette::Text).lightness(), 180);
        EXPECT_GT(p.color(QPalette::WindowText).lightness(), 180);
        EXPECT_GT(p.color(QPalette::ButtonText).lightness(), 180);
    }
    // Disabled text stays readable but dimmer.
    const QPalette p = QApplication::palette();
    EXPECT_LT(p.color(QPalette::Disabled, QPalette::Text).lightness(), p.color(QPalette::Text).lightness());

    QApplication::setStyle(styleBefore);
    QApplication::setPalette(paletteBefore);
}
