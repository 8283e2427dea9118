// The Qt host: painting through the renderer with dirty regions, Qt input turned into our
// events with y flipped once, drops, and native widgets placed over their views.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "platform/qt/host_window.h"
#include "platform/ui/application.h"
#include "support/event_pump.h"

using namespace qrn;
using namespace qrn::ui;
using qrn::test::pumpUntil;

namespace {

class Clicks : public View {
  public:
    using View::View;
    std::vector<Event> events;
    void mouseDown(const Event& e) override { events.push_back(e); }
    void mouseDragged(const Event& e) override { events.push_back(e); }
    void mouseUp(const Event& e) override { events.push_back(e); }
    void keyDown(const Event& e) override { events.push_back(e); }
    void flagsChanged(const Event& e) override { events.push_back(e); }
    bool acceptsFirstResponder() const override { return true; }
};

class Drops : public View {
  public:
    explicit Drops(Rect r) : View(r) { registerForDraggedTypes({pasteboard_type::fileURL}); }
    std::vector<QUrl> got;
    unsigned draggingEntered(DraggingInfo&) override { return DragOperationCopy; }
    bool performDragOperation(DraggingInfo& info) override {
        got = info.draggingPasteboard().readURLs(true);
        return true;
    }
};

struct HostFixture : ::testing::Test {
    WindowPtr window;
    qt::HostWidget* host = nullptr;
    void SetUp() override {
        qt::installQtHost();
        window = Window::make(Rect(100, 100, 300, 200));
        window->setBackgroundColour(Colour::white());
        host = qt::hostWidget(*window);
        ASSERT_NE(host, nullptr);
        window->makeKeyAndOrderFront();
        ASSERT_TRUE(pumpUntil([&] { return host->isVisible() && host->paintCount() > 0; }));
    }
    void TearDown() override { window->close(); }
    QImage grab() { return host->grab().toImage(); }
};

} // namespace

TEST_F(HostFixture, WindowPropertiesReachTheWidget) {
    window->setTitle("Editor");
    EXPECT_EQ(host->windowTitle(), "Editor");
    EXPECT_EQ(host->size(), QSize(300, 200));
    window->setContentSize({320, 240});
    EXPECT_EQ(host->size(), QSize(320, 240));
    // Screen space is y up from the bottom of the primary screen.
    Rect back = qt::screenRectFromQt(qt::screenRectToQt(Rect(10, 20, 300, 200)));
    EXPECT_EQ(back, Rect(10, 20, 300, 200));
    // A frame kept from a taller screen comes back with its title bar on this one, moved only
    // down; one on a screen already stays where it is.
    window->setFrameOrigin({100, 5000});
    window->keepOnScreen();
    EXPECT_GE(host->frameGeometry().top(), QGuiApplication::primaryScreen()->availableGeometry().top());
    EXPECT_EQ(window->frame().origin.x, 100);
    window->setFrameOrigin({100, 100});
    window->keepOnScreen();
    EXPECT_EQ(window->frame().origin, (Point{100, 100}));
    // One larger than the screen is made as large as the screen, all of it on it.
    window->setFrame(Rect(-50, 0, 3000, 2000));
    window->keepOnScreen();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(host->frameGeometry()));
}

TEST_F(HostFixture, AWindowOfAnothersIsAToolWindowTransientForIt) {
    // What the window manager reads to keep a palette above its window and no other.
    auto palette = Window::make(Rect(150, 150, 200, 120));
    palette->setParentWindow(window);
    auto* paletteHost = qt::hostWidget(*palette);
    ASSERT_TRUE(paletteHost && paletteHost->windowHandle());
    // Its native window is placed by the inside, as every other window is, or the window
    // manager would hang the frame where the inside should be and each opening would creep.
    EXPECT_EQ(paletteHost->windowHandle()->geometry().topLeft(),
              qt::screenRectToQt(palette->frame()).topLeft());
    palette->makeKeyAndOrderFront();
    EXPECT_EQ(palette->parentWindow(), window);
    EXPECT_EQ(paletteHost->windowType(), Qt::Tool);
    EXPECT_EQ(paletteHost->windowHandle()->transientParent(), host->windowHandle());
    // Shown again, it still belongs; a window of nobody's is an ordinary one.
    palette->orderOut();
    palette->orderFront();
    EXPECT_EQ(paletteHost->windowHandle()->transientParent(), host->windowHandle());
    EXPECT_EQ(host->windowType(), Qt::Window);
    EXPECT_EQ(host->windowHandle()->transientParent(), nullptr);
    // Closed while it has the keyboard, it hands it back to its window, whose menu keys work
    // again with no window manager there to pass it on.
    palette->makeKeyAndOrderFront();
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == paletteHost; }));
    palette->close();
    EXPECT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == host; }));
    EXPECT_TRUE(window->isKeyWindow());
}

TEST_F(HostFixture, PaintsTheLayerTreeYUpAndRepaintsOnlyWhatChanged) {
    auto corner = View::make(Rect(0, 0, 40, 40));
    corner->layer()->setBackgroundColour({1, 0, 0, 1});
    auto other = View::make(Rect(200, 100, 20, 20));
    other->layer()->setBackgroundColour({0, 0, 1, 1});
    window->contentView()->setSubviews({corner, other});
    QImage img = grab();
    EXPECT_EQ(img.pixelColor(10, 190), QColor(Qt::red)); // bottom-left in our space
    EXPECT_EQ(img.pixelColor(10, 10), QColor(Qt::white));

    // Let the repaints of the set-up land first.
    pumpUntil([] { return false; }, 200);
    int before = host->paintCount();
    other->layer()->setBackgroundColour({0, 1, 0, 1});
    ASSERT_TRUE(pumpUntil([&] { return host->paintCount() > before; }));
    QRect painted = host->lastPaintedRegion().boundingRect();
    EXPECT_TRUE(QRect(195, 75, 30, 30).contains(painted))
        << painted.x() << "," << painted.y() << " " << painted.width() << "x" << painted.height();
    EXPECT_EQ(grab().pixelColor(210, 90), QColor(Qt::green));
}

TEST_F(HostFixture, AViewThatRedrawsRepaintsOnlyItsOwnArea) {
    struct Swatch : View {
        using View::View;
        QColor colour = Qt::red;
        void draw(QPainter& p, const Rect&) override { p.fillRect(QRectF(0, 0, 30, 30), colour); }
    };
    auto swatch = std::make_shared<Swatch>(Rect(250, 150, 30, 30));
    window->contentView()->addSubview(swatch);
    swatch->setNeedsDisplay();
    ASSERT_TRUE(pumpUntil([&] { return grab().pixelColor(260, 30) == QColor(Qt::red); }));
    pumpUntil([] { return false; }, 200);
    int before = host->paintCount();
    swatch->colour = Qt::blue;
    swatch->setNeedsDisplay();
    ASSERT_TRUE(pumpUntil([&] { return host->paintCount() > before; }));
    EXPECT_TRUE(QRect(245, 15, 40, 40).contains(host->lastPaintedRegion().boundingRect()));
    EXPECT_EQ(grab().pixelColor(260, 30), QColor(Qt::blue));
}

TEST_F(HostFixture, MouseAndKeysArriveInOurSpace) {
    auto target = std::make_shared<Clicks>(Rect(0, 0, 100, 50));
    window->contentView()->addSubview(target);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 190), QPointF(10, 190), Qt::LeftButton,
                      Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(host, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(250, 20), QPointF(250, 20), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(host, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(250, 20), QPointF(250, 20), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(host, &release);
    ASSERT_EQ(target->events.size(), 3u);
    EXPECT_EQ(target->events[0].type, EventType::MouseDown);
    EXPECT_EQ(target->events[0].locationInWindow, (Point{10, 10}));
    EXPECT_TRUE(target->events[0].hasModifier(ModifierShift));
    EXPECT_EQ(target->events[0].clickCount, 1);
    EXPECT_EQ(target->events[1].type, EventType::MouseDragged); // captured though outside
    EXPECT_EQ(target->events[2].locationInWindow, (Point{250, 180}));

    target->events.clear();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(host, &key);
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, 50, 0xffe1, 0);
    QApplication::sendEvent(host, &shift);
    QKeyEvent rightControl(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier, 105, 0xffe4, 0);
    QApplication::sendEvent(host, &rightControl);
    ASSERT_EQ(target->events.size(), 3u);
    EXPECT_EQ(target->events[0].keyCode, keycode::A);
    EXPECT_EQ(target->events[0].characters, "a");
    EXPECT_EQ(target->events[1].type, EventType::FlagsChanged);
    EXPECT_EQ(target->events[1].keyCode, keycode::Shift);
    EXPECT_TRUE(target->events[1].hasModifier(ModifierShift));
    EXPECT_EQ(target->events[2].keyCode, keycode::RightControl);
}

TEST_F(HostFixture, DropsReachTheRegisteredView) {
    auto drops = std::make_shared<Drops>(Rect(0, 0, 150, 200));
    window->contentView()->addSubview(drops);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/picture.png")});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(window->dragDestination(), drops.get());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(drops->got.size(), 1u);
    EXPECT_EQ(drops->got[0].toLocalFile(), "/tmp/picture.png");

    // Outside any registered view nothing may be dropped.
    QDragEnterEvent elsewhere(QPoint(250, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &elsewhere);
    EXPECT_EQ(elsewhere.dropAction(), Qt::IgnoreAction);
}

TEST_F(HostFixture, NativeWidgetsFollowTheirViews) {
    auto holder = View::make(Rect(50, 50, 200, 100));
    auto field = View::make(Rect(10, 10, 120, 24));
    holder->addSubview(field);
    window->contentView()->addSubview(holder);
    auto* edit = new QLineEdit;
    qt::hostNativeWidget(*field, edit);
    ASSERT_TRUE(pumpUntil([&] { return edit->parentWidget() == host && edit->isVisible(); }));
    // Window rect (60, 60, 120, 24) is 200 - 84 = 116 from the top.
    EXPECT_EQ(edit->geometry(), QRect(60, 116, 120, 24));

    holder->setFrameOrigin({0, 0});
    ASSERT_TRUE(pumpUntil([&] { return edit->geometry().topLeft() == QPoint(10, 166); }));
    holder->setHidden(true);
    ASSERT_TRUE(pumpUntil([&] { return !edit->isVisible(); }));
    holder->setHidden(false);
    field->removeFromSuperview();
    ASSERT_TRUE(pumpUntil([&] { return !edit->isVisible(); }));
}

TEST_F(HostFixture, ClosingFromTheWidgetAsksTheDelegate) {
    struct Refuse : WindowDelegate {
        bool allow = false;
        bool windowShouldClose(Window&) override { return allow; }
    } refuse;
    window->setDelegate(&refuse);
    host->close();
    EXPECT_FALSE(window->isClosed());
    refuse.allow = true;
    host->close();
    EXPECT_TRUE(window->isClosed());
    EXPECT_FALSE(host->isVisible());
    window->setDelegate(nullptr);
}

TEST(HostWidget, ClickThatClosesAndReleasesItsWindow) {
    qt::installQtHost();
    struct Closer : View {
        using View::View;
        void mouseDown(const Event& e) override { e.window->close(); }
    };
    std::weak_ptr<Window> weak;
    QPointer<QWidget> widget;
    {
        auto window = Window::make(Rect(0, 0, 100, 100));
        window->contentView()->addSubview(std::make_shared<Closer>(Rect(0, 0, 100, 100)));
        window->makeKeyAndOrderFront();
        weak = window;
        widget = qt::hostWidget(*window);
    }
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(50, 50), QPointF(50, 50), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    EXPECT_TRUE(weak.expired());
    // Events still queued for the widget are dropped, and it goes away soon after.
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(50, 50), QPointF(50, 50), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    if (widget)
        QApplication::sendEvent(widget, &release);
    EXPECT_TRUE(pumpUntil([&] { return widget.isNull(); }));
}

// The end of the application: what queued blocks hold is released by us, not inside Qt's own
// teardown, and every widget goes while Qt is still there, even those of windows that screens
// keep until the process ends.
TEST(HostWidget, EndingTheApplicationReleasesQueuedBlocksAndEveryWidget) {
    qt::installQtHost();
    MainQueue::useEventLoop();
    auto kept = Window::make(Rect(0, 0, 120, 80));
    kept->makeKeyAndOrderFront();
    QPointer<QWidget> keptWidget = qt::hostWidget(*kept);
    std::weak_ptr<Window> queuedOnly;
    QPointer<QWidget> queuedWidget;
    bool ran = false;
    {
        auto window = Window::make(Rect(200, 0, 120, 80));
        window->makeKeyAndOrderFront();
        queuedWidget = qt::hostWidget(*window);
        queuedOnly = window;
        // Held by nothing but a block that would run after the loop has ended.
        MainQueue::after(60, [window, &ran] { ran = true; });
        window->close();
    }
    ASSERT_FALSE(queuedOnly.expired());
    ASSERT_TRUE(keptWidget && queuedWidget);

    qt::endApplication();

    EXPECT_TRUE(queuedOnly.expired());
    EXPECT_TRUE(queuedWidget.isNull());
    EXPECT_TRUE(keptWidget.isNull());
    EXPECT_TRUE(kept->isClosed());
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    EXPECT_EQ(MainQueue::pendingCount(), 0);
    // A window kept past the end lets go quietly, and its host no longer reaches for the widget.
    kept->setTitle("after the end");
    kept.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    MainQueue::useManualClock();
}

// Quit, once the delegate has let it happen and the application has begun to end, ends the
// loop even when a window would not close now: nothing is left to ask, and a process that stayed
// would answer no later Quit.
TEST(HostWidget, QuitEndsTheLoopThoughAWindowWouldStayOpen) {
    struct Stays : WindowDelegate {
        bool windowShouldClose(Window&) override { return false; }
    } stays;
    ApplicationDelegate delegate;
    ASSERT_TRUE(qt::startApplication({"qrn"}, delegate));
    auto window = Window::make(Rect(0, 0, 120, 80));
    window->setDelegate(&stays);
    window->makeKeyAndOrderFront();
    QTimer::singleShot(0, [] { Application::shared().terminate(); });
    // Only a loop that Quit left running gets this far.
    QTimer stayed;
    stayed.setSingleShot(true);
    QObject::connect(&stayed, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    stayed.start(3000);
    EXPECT_EQ(QApplication::exec(), 0);
    stayed.stop();
    qt::endApplication();
    EXPECT_TRUE(window->isClosed());
    window->setDelegate(nullptr);
    MainQueue::useManualClock();
}
