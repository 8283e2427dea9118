// A window showing the main menu bar: the bar sits above the content, which keeps its size,
// its y-up space, its input, its native widgets and its partial repaints.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QWindow>

#include "platform/foundation/font.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_menu.h"
#include "platform/ui/menu.h"
#include "support/event_pump.h"

using namespace qrn;
using namespace qrn::ui;
using qrn::test::pumpUntil;

namespace {

class Presses : public View {
  public:
    using View::View;
    std::vector<Point> at;
    int entered = 0, exited = 0;
    void mouseDown(const Event& e) override { at.push_back(e.locationInWindow); }
    void mouseEntered(const Event&) override { ++entered; }
    void mouseExited(const Event&) override { ++exited; }
};

QAction* findAction(const QList<QAction*>& actions, const QString& text) {
    for (QAction* a : actions) {
        if (a->text() == text)
            return a;
        if (a->menu())
            if (QAction* found = findAction(a->menu()->actions(), text))
                return found;
    }
    return nullptr;
}

struct MenuBarWindow : ::testing::Test {
    WindowPtr window;
    qt::HostWidget* host = nullptr;
    QMenuBar* bar = nullptr;
    int newCount = 0;

    void SetUp() override {
        qt::installQtHost();
        auto menu = makeStandardMainMenu("QRN");
        menu->itemWithTitle("File")->submenu()->itemWithTitle("New")->setAction(
            [this](MenuItem&) { ++newCount; });
        setMainMenu(menu);
        window = Window::make(Rect(100, 100, 300, 200));
        window->setBackgroundColour(Colour::white());
        host = qt::hostWidget(*window);
        ASSERT_NE(host, nullptr);
        bar = qt::showMainMenuBar(*window);
        ASSERT_NE(bar, nullptr);
        window->makeKeyAndOrderFront();
        ASSERT_TRUE(pumpUntil([&] { return host->isVisible() && host->paintCount() > 0; }));
    }
    void TearDown() override {
        window->close();
        setMainMenu(nullptr);
    }
    int inset() const { return host->topInset(); }
    // A press as the windowing system delivers it: to the window, which picks the widget.
    void pressAt(QPoint p) {
        QWindow* w = host->windowHandle();
        ASSERT_NE(w, nullptr);
        qrn::test::click(w, p, w->mapToGlobal(p));
    }
};

} // namespace

TEST_F(MenuBarWindow, BarSitsAboveTheContentWhichKeepsItsSizeAndPlace) {
    ASSERT_GT(inset(), 0);
    EXPECT_EQ(bar->parentWidget(), host);
    EXPECT_EQ(bar->geometry(), QRect(0, 0, 300, inset()));
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(host->size(), QSize(300, 200 + inset()));
    EXPECT_EQ(host->contentArea(), QRect(0, inset(), 300, 200));
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(window->contentSize(), (Size{300, 200}));
    EXPECT_EQ(window->frame().origin, (Point{100, 100}));
    EXPECT_EQ(window->contentView()->frame(), Rect(0, 0, 300, 200));

    // Resizing from code keeps the bar out of the content's size.
    window->setContentSize({320, 240});
    ASSERT_TRUE(pumpUntil([&] { return host->size() == QSize(320, 240 + inset()); }));
    EXPECT_EQ(bar->width(), 320);
    EXPECT_EQ(window->contentSize(), (Size{320, 240}));
    // So do the limits the user resizes within.
    window->setMinSize({200, 150});
    EXPECT_EQ(host->minimumSize(), QSize(200, 150 + inset()));
}

TEST_F(MenuBarWindow, ABarAddedToAShownFixedSizeWindowKeepsTheContent) {
    auto fixed = Window::make(Rect(50, 60, 240, 160), WindowStyleTitled | WindowStyleClosable);
    auto* fixedHost = qt::hostWidget(*fixed);
    fixed->makeKeyAndOrderFront();
    ASSERT_TRUE(pumpUntil([&] { return fixedHost->isVisible(); }));
    ASSERT_NE(qt::showMainMenuBar(*fixed), nullptr);
    const int barHeight = fixedHost->topInset();
    ASSERT_TRUE(pumpUntil([&] { return fixedHost->size() == QSize(240, 160 + barHeight); }));
    EXPECT_EQ(fixed->contentSize(), (Size{240, 160}));
    EXPECT_EQ(fixed->frame().origin, (Point{50, 60}));
    // A window that is not resizable still takes a new size from code.
    fixed->setContentSize({260, 180});
    ASSERT_TRUE(pumpUntil([&] { return fixedHost->size() == QSize(260, 180 + barHeight); }));
    EXPECT_EQ(fixed->contentSize(), (Size{260, 180}));
    fixed->close();
}

TEST_F(MenuBarWindow, ClicksBelowTheBarReachTheViewsThere) {
    auto top = std::make_shared<Presses>(Rect(0, 180, 100, 20)); // the content's top strip
    auto bottom = std::make_shared<Presses>(Rect(200, 0, 100, 20));
    window->contentView()->setSubviews({top, bottom});
    pressAt(QPoint(10, inset() + 5));
    pressAt(QPoint(210, inset() + 195));
    ASSERT_EQ(top->at.size(), 1u);
    EXPECT_EQ(top->at[0], (Point{10, 195}));
    ASSERT_EQ(bottom->at.size(), 1u);
    EXPECT_EQ(bottom->at[0], (Point{210, 5}));
    // The pointer moving up onto the bar leaves the content, though not the widget.
    top->addTrackingArea(Rect(),
                         TrackingMouseEnteredAndExited | TrackingActiveAlways | TrackingInVisibleRect);
    QMouseEvent move(QEvent::MouseMove, QPointF(10, inset() + 2), QPointF(10, inset() + 2), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(host, &move);
    EXPECT_EQ(top->entered, 1);
    QEvent enterBar(QEvent::Enter);
    QApplication::sendEvent(bar, &enterBar);
    EXPECT_EQ(top->exited, 1);

    // Presses on the bar are the bar's own.
    QWidget* onBar = host->childAt(QPoint(10, inset() / 2));
    EXPECT_TRUE(onBar == bar || bar->isAncestorOf(onBar));
    EXPECT_EQ(host->childAt(QPoint(10, inset() + 1)), nullptr);
}

TEST_F(MenuBarWindow, PaintingAndNativeWidgetsStayBelowTheBar) {
    auto corner = View::make(Rect(0, 160, 40, 40)); // top-left corner of the content
    corner->layer()->setBackgroundColour({1, 0, 0, 1});
    window->contentView()->addSubview(corner);
    ASSERT_TRUE(
        pumpUntil([&] { return host->grab().toImage().pixelColor(10, inset() + 10) == QColor(Qt::red); }));
    EXPECT_EQ(host->grab().toImage().pixelColor(10, inset() + 50), QColor(Qt::white));

    pumpUntil([] { return false; }, 200);
    int before = host->paintCount();
    corner->layer()->setBackgroundColour({0, 0, 1, 1});
    ASSERT_TRUE(pumpUntil([&] { return host->paintCount() > before; }));
    QRect painted = host->lastPaintedRegion().boundingRect();
    EXPECT_TRUE(QRect(0, inset(), 45, 45).contains(painted))
        << painted.x() << "," << painted.y() << " " << painted.width() << "x" << painted.height();
    EXPECT_EQ(host->grab().toImage().pixelColor(10, inset() + 10), QColor(Qt::blue));

    auto field = View::make(Rect(60, 150, 120, 24));
    window->contentView()->addSubview(field);
    auto* edit = new QLineEdit;
    qt::hostNativeWidget(*field, edit);
    ASSERT_TRUE(pumpUntil([&] { return edit->parentWidget() == host && edit->isVisible(); }));
    // 200 - 174 = 26 below the content's top edge, which is the bar's lower edge.
    EXPECT_EQ(edit->geometry(), QRect(60, inset() + 26, 120, 24));
}

TEST_F(MenuBarWindow, BarItemsRunTheirMenuItemsActions) {
    QAction* item = findAction(bar->actions(), "New");
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_EQ(newCount, 1);
    // The bar follows the model: a disabled item neither shows enabled nor runs.
    mainMenu()->itemWithTitle("File")->submenu()->itemWithTitle("New")->setEnabled(false);
    EXPECT_FALSE(item->isEnabled());
    item->trigger();
    EXPECT_EQ(newCount, 1);
}

TEST_F(MenuBarWindow, AnotherWindowsCopyShowsTheModelAsItIsWhenItsMenusOpen) {
    auto second = Window::make(Rect(500, 100, 300, 200));
    QMenuBar* copy = qt::showMainMenuBarCopy(*second);
    ASSERT_NE(copy, nullptr);
    EXPECT_GT(qt::hostWidget(*second)->topInset(), 0);
    QMenu* file = nullptr;
    for (QAction* a : copy->actions())
        if (a->text() == "File")
            file = a->menu();
    ASSERT_NE(file, nullptr);
    auto newItem = mainMenu()->itemWithTitle("File")->submenu()->itemWithTitle("New");
    newItem->setEnabled(false);
    emit file->aboutToShow();
    QAction* copied =
        findAction(file->actions(), "New\t" + QKeySequence("Ctrl+N").toString(QKeySequence::NativeText));
    ASSERT_NE(copied, nullptr);
    EXPECT_FALSE(copied->isEnabled());
    // The key equivalent stays with the main bar, which handles it in every window.
    EXPECT_TRUE(copied->shortcut().isEmpty());
    newItem->setEnabled(true);
    emit file->aboutToShow();
    copied = findAction(file->actions(), "New\t" + QKeySequence("Ctrl+N").toString(QKeySequence::NativeText));
    ASSERT_NE(copied, nullptr);
    copied->trigger();
    EXPECT_EQ(newCount, 1);
    // The main bar still follows the model's changes.
    newItem->setEnabled(false);
    EXPECT_FALSE(findAction(bar->actions(), "New")->isEnabled());
    second->close();
}

TEST_F(MenuBarWindow, AClickOnTheBarLeavesTheFocusInTheEditor) {
    auto field = View::make(Rect(10, 10, 120, 24));
    window->contentView()->addSubview(field);
    auto* edit = new QLineEdit("script");
    qt::hostNativeWidget(*field, edit);
    ASSERT_TRUE(pumpUntil([&] { return edit->parentWidget() == host && edit->isVisible(); }));
    host->activateWindow();
    edit->setFocus();
    ASSERT_TRUE(pumpUntil([&] { return QApplication::focusWidget() == edit; }));
    // Qt hands a click on the bar's empty end to the host, the nearest widget that takes focus.
    QCursor::setPos(bar->mapToGlobal(QPoint(bar->width() - 5, bar->height() / 2)));
    host->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    // A click on the content below does take the focus from it.
    QCursor::setPos(host->mapToGlobal(QPoint(200, inset() + 150)));
    host->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), host);
}

TEST(MainMenuBar, NeedsAMainMenu) {
    qt::installQtHost();
    setMainMenu(nullptr);
    auto window = Window::make(Rect(0, 0, 100, 100));
    EXPECT_EQ(qt::showMainMenuBar(*window), nullptr);
    EXPECT_EQ(qt::hostWidget(*window)->topInset(), 0);
    window->close();
}

TEST(MenuFont, MenusDrawInTheSizeTheyMeasureAfterViewsLaidTextOutInTheSamePixels) {
    const double dpi = QFontInfo(QApplication::font()).pixelSize() * 72.0 / QApplication::font().pointSizeF();
    if (std::abs(dpi - 72.0) < 1)
        GTEST_SKIP() << "a 72 dpi screen: view and screen sizes agree";
    // A menu font of 15 pixels on this screen, and a view that laid 15 pt text out before any
    // menu showed (15 pixels at the views' 72 dpi).
    const QFont saved = QApplication::font("QMenu");
    QFont screenFont = QApplication::font();
    screenFont.setPointSizeF(15 * 72.0 / dpi);
    QApplication::setFont(screenFont, "QMenu");
    QFont viewFont = QApplication::font();
    viewFont.setPointSizeF(15);
    EXPECT_GT(viewUnitMetrics(viewFont).horizontalAdvance("Check for Updates"), 0);

    auto model = Menu::make("Arrange");
    model->addItem("Flip Horizontally");
    std::unique_ptr<QMenu> menu(makeQtMenu(model));
    // The menu style draws in the point size the font cache reports for the menu's font.
    EXPECT_NEAR(QFontInfo(menu->font()).pointSizeF(), menu->font().pointSizeF(), 0.01);
    QMenu list;
    keepMenuFontApart(&list);
    EXPECT_NEAR(QFontInfo(list.font()).pointSizeF(), list.font().pointSizeF(), 0.01);
    QApplication::setFont(saved, "QMenu");
}
