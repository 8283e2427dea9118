#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/mouseCursorClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/autocueController.h"
#include "View/Global/mainWindowController.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Global/titleBarContentController.h"
#include "View/Recording/autocueDisplayController.h"
#include "appStartup.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/user_defaults.h"
#include "platform/qt/host_window.h"
#include "platform/ui/dragging.h"
#include "platform/ui/panels.h"
#include "platform/ui/scene_registry.h"
#include "shell_fixture.h"
#include "support/event_pump.h"

using namespace shelltest;

namespace {

// A title bar that counts how it is made and set up.
struct countingBar : titleBarContentController {
    static inline int made = 0, setUp = 0;
    countingBar() { ++made; }
    void loadContent() override { ++setUp; }
};

class Windows : public ShellTest {
  protected:
    std::vector<std::string> lines;
    void SetUp() override {
        ShellTest::SetUp();
        countingBar::made = countingBar::setUp = 0;
    }
    void TearDown() override {
        stopLog();
        ShellTest::TearDown();
    }
    void startLog() {
        qrn::setLogSinkForTesting([this](const std::string& l) { lines.push_back(l); });
        globalAppSettingsClass::setShowLogsForTesting(true);
    }
    void stopLog() {
        qrn::setLogSinkForTesting(nullptr);
        globalAppSettingsClass::setShowLogsForTesting(false);
    }
    // Class names of the "clearClass" entries, in order.
    std::vector<std::string> clears() const {
        std::vector<std::string> out;
        for (const auto& l : lines) {
            const auto at = l.find(" | public clearClass | ");
            if (at == std::string::npos || l.find("Input") == std::string::npos)
                continue;
            const auto start = l.rfind(" | ", at - 1);
            const std::string cls = l.substr(start + 3, at - start - 3);
            // The model's own reset empties the undo history on the way.
            if (cls != "undoRedoClass")
                out.push_back(cls);
        }
        return out;
    }
    size_t firstLine(const std::string& text) const {
        auto it = std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.find(text) != std::string::npos; });
        return size_t(it - lines.begin());
    }
};

} // namespace

TEST_F(Windows, OpeningAWindowWhenNeededOpensOne) {
    mainWindowClass windows;
    windows.openWindowIfNecessary();
    windows.openWindowIfNecessary();
    EXPECT_EQ(qrn::ui::Window::openWindows().size(), 1u);
    EXPECT_TRUE(windows.getAWindowIsOpen());
    EXPECT_EQ(shownScreenIdentifier(), "landingController");
    // Closing it clears the flag; the next command opens a fresh one.
    mainWindow()->close();
    EXPECT_FALSE(windows.getAWindowIsOpen());
    windows.openWindowIfNecessary();
    EXPECT_EQ(qrn::ui::Window::openWindows().size(), 1u);
}

// The test screen (800 points) is smaller than the main window's usual size, as a full-HD
// screen at twice the scale is: the window, placed to fill it, still fits once the window
// manager has framed it, its title bar within reach.
TEST_F(Windows, OnAScreenSmallerThanTheUsualMinimumTheMainWindowFits) {
    qrn::qt::installQtHost();
    appStartup::install();
    mainWindowClass().openWindowIfNecessary();
    auto* window = mainWindow();
    QWidget* host = window ? qrn::qt::hostWidget(*window) : nullptr;
    ASSERT_NE(host, nullptr);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // All of the window, the window manager's frame included, once it has framed the window.
    EXPECT_TRUE(qrn::test::pumpUntil([&] { return screen.contains(host->window()->frameGeometry()); }))
        << "the frame lies at " << host->window()->frameGeometry().y() << " and is "
        << host->window()->frameGeometry().height() << " high";
    window->close();
    mainWindowController::setWindowPreparer(nullptr);
    autocueWindowController::setWindowPreparer(nullptr);
    autocueDisplayController::setSurroundingsProvider(nullptr);
    qrn::ui::Window::setHostFactory(nullptr);
    qrn::ui::setDragDriver(nullptr);
}

// A full-HD screen at twice the scale, 960 x 540 points: its window manager puts back on it
// the windows that ask to be kept on it, leaving room for a 30-point title bar.
struct smallScreenHost : qrn::ui::WindowHost {
    void show() override {}
    void hide() override {}
    void close() override {}
    void setTitle(const std::string&) override {}
    void setContentRect(const qrn::Rect&) override {}
    void setResizable(bool) override {}
    void setMinContentSize(qrn::Size) override {}
    void activate() override {}
    void miniaturize() override {}
    void deminiaturize() override {}
    void invalidate(const qrn::Rect&) override {}
    void nativeContentChanged() override {}
    void setModal(bool) override {}
    qrn::Rect onScreen(const qrn::Rect& r) const override {
        return qrn::Rect(std::clamp(r.origin.x, 0.0, std::max(0.0, 960 - r.size.width)),
                         std::clamp(r.origin.y, 0.0, std::max(0.0, 510 - r.size.height)), r.size.width,
                         r.size.height);
    }
};

// The script window and the studio's autocue are placed for a large screen; on a small one they
// still come up with their title bars (and the script's menus) within reach.
TEST_F(Windows, OnASmallScreenTheScriptAndAutocueWindowsComeUpWithinReach) {
    qrn::ui::Window::setHostFactory([](qrn::ui::Window&) { return std::make_unique<smallScreenHost>(); });
    auto script = std::make_shared<autocueWindowController>();
    script->showWindow();
    autocueDisplayController::showWindow();
    for (qrn::ui::Window* window : {script->window().get(), autocueDisplayController::current()->window()}) {
        ASSERT_NE(window, nullptr);
        window->hostDidFrame();
        EXPECT_LE(window->frame().maxY(), 510) << window->title();
        window->close();
    }
    qrn::ui::Window::setHostFactory(nullptr);
}

TEST_F(Windows, ClearClassesResetsPerScreenAfterFlushingPendingWrites) {
    const std::string project = makeProject("Clear");
    persistentDataStorageClass().setProjectDirectory(project);
    startLog();
    closeWindowsOrPanelClass().clearClasses(true);
    EXPECT_TRUE(clears().empty());

    editViewClass().setEditViewSelected(true);
    lines.clear();
    closeWindowsOrPanelClass().clearClasses(false);
    EXPECT_EQ(clears(),
              (std::vector<std::string>{"attributedStringStorageClass", "filterClass", "previewLayerClass",
                                        "editViewClass", "previewLayerClass"}));

    recordViewClass::setStudioState(true, false);
    previewLayerClass().clearClass(false);
    persistentDataStorageClass().exportData(true);
    lines.clear();
    closeWindowsOrPanelClass().clearClasses(true);
    auto studio = clears();
    EXPECT_EQ(studio.front(), "attributedStringStorageClass");
    EXPECT_EQ(studio.back(), "recordViewClass");
    // The pending write went out, with the project's own model, before anything was cleared.
    EXPECT_LT(firstLine("exportData"), firstLine(" | public clearClass | "));
    EXPECT_TRUE(previewLayerClass().getAssetArray().empty());
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(project));
}

TEST_F(Windows, EditorStudioEditorMakesEachBarOnceAndSetsItUpOnReturn) {
    qrn::ui::SceneRegistry::registerViewController("editScreenTitleBarController",
                                                   [] { return std::make_shared<countingBar>(); });
    qrn::ui::SceneRegistry::registerViewController("recordScreenTitleBarController",
                                                   [] { return std::make_shared<countingBar>(); });
    auto accessory = std::make_shared<screenTitleBarAccessoryViewController>();
    accessory->loadView(true);
    EXPECT_EQ(countingBar::made, 1);
    EXPECT_EQ(countingBar::setUp, 0);
    advance(0.1);
    EXPECT_EQ(countingBar::setUp, 1);
    accessory->loadView(false);
    advance(0.1);
    accessory->loadView(true);
    EXPECT_EQ(countingBar::made, 2);
    // The editor's bar is set up again at once, without the delay.
    EXPECT_EQ(countingBar::setUp, 3);
    EXPECT_EQ(screenTitleBarAccessoryViewController::getCachedTitleBar(true)->view()->frame().height(), 38.0);

    // A window that closes before a new bar's set-up leaves nothing to set up.
    screenTitleBarAccessoryViewController::clearCachedTitleBars();
    accessory->loadView(true);
    screenTitleBarAccessoryViewController::clearCachedTitleBars();
    advance(0.2);
    EXPECT_EQ(countingBar::made, 3);
    EXPECT_EQ(countingBar::setUp, 3);
}

TEST_F(Windows, TheEditorWindowAddsItsTitleBarAndCleansUpWhenItCloses) {
    auto countBars = [] {
        qrn::ui::SceneRegistry::registerViewController("editScreenTitleBarController",
                                                       [] { return std::make_shared<countingBar>(); });
    };
    const std::string project = makeProject("Editor");
    launch();
    countBars();
    const qrn::Size before = mainWindow()->contentSize();
    delegate.application(project);
    advance(1.0);
    ASSERT_EQ(shownScreenIdentifier(), "viewLoader");
    EXPECT_EQ(countingBar::made, 1);
    auto* w = mainWindow();
    EXPECT_EQ(w->titlebarAccessoryHeight(), 38.0);
    // Remembering the frame gives the window back its size, title-bar strip included.
    EXPECT_EQ(w->contentSize(), before);
    EXPECT_NE(persistentDataStorageClass().getMainWindow(), nullptr);
    w->makeKeyAndOrderFront();
    EXPECT_EQ(persistentDataStorageClass().getActiveWindow(), "editorView");
    w->close();
    EXPECT_FALSE(mainWindowClass().getAWindowIsOpen());
    EXPECT_FALSE(editViewClass().getEditViewSelected());
    EXPECT_EQ(screenTitleBarAccessoryViewController::getCachedTitleBar(true), nullptr);
    // A later editor makes its bar afresh.
    launch();
    countBars();
    delegate.application(project);
    advance(1.0);
    EXPECT_EQ(countingBar::made, 2);
}

TEST_F(Windows, FullScreenLeavesTheRememberedFrameAsItWasBefore) {
    const std::string project = makeProject("Full");
    launch();
    delegate.application(project);
    advance(1.0);
    ASSERT_EQ(shownScreenIdentifier(), "viewLoader");
    auto* w = mainWindow();
    auto& defaults = qrn::UserDefaults::standard();
    w->hostDidMove({60, 50});
    const auto before = defaults.arrayForKey("mainViewRect");
    ASSERT_TRUE(before);
    // The window system answers with the screen's frame, then the window's own again.
    const qrn::Rect frame = w->frame();
    w->toggleFullScreen();
    w->hostDidResize({1920, 1080}, false, qrn::Point{0, 0});
    EXPECT_EQ(*defaults.arrayForKey("mainViewRect"), *before);
    w->toggleFullScreen();
    w->hostDidResize(frame.size, false, frame.origin);
    EXPECT_EQ(*defaults.arrayForKey("mainViewRect"), *before);
    w->close();
}

TEST_F(Windows, CursorFollowsTheCallsAndTheColourPanelIsNeverMadeToBeClosed) {
    mouseCursorClass().changeCursor(qrn::ui::CursorShape::PointingHand);
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::PointingHand);
    mouseCursorClass().changeCursor(std::nullopt);
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::Arrow);

    const bool existed = qrn::ColourPanel::sharedExists();
    closeWindowsOrPanelClass().closeColourPanel();
    EXPECT_EQ(qrn::ColourPanel::sharedExists(), existed);
}
