// Event routing: the press-capturing view, the responder chain, tracking areas and the cursor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/main_queue.h"
#include "platform/ui/cursor.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

using namespace qrn;
using namespace qrn::ui;

namespace {

// Records what reaches it; handles only the kinds it is told to.
class Recorder : public View {
  public:
    Recorder(std::string name, Rect frame, std::vector<std::string>& log, std::vector<EventType> handles = {})
        : View(frame), name_(std::move(name)), log_(log), handles_(std::move(handles)) {}

    void mouseDown(const Event& e) override {
        if (!note("down", e))
            View::mouseDown(e);
    }
    void mouseDragged(const Event& e) override {
        if (!note("dragged", e))
            View::mouseDragged(e);
    }
    void mouseUp(const Event& e) override {
        if (!note("up", e))
            View::mouseUp(e);
    }
    void rightMouseDown(const Event& e) override {
        if (!note("right", e))
            View::rightMouseDown(e);
    }
    void keyDown(const Event& e) override {
        if (!note("key", e))
            View::keyDown(e);
    }
    void flagsChanged(const Event& e) override {
        if (!note("flags", e))
            View::flagsChanged(e);
    }
    void mouseEntered(const Event&) override { log_.push_back(name_ + " entered"); }
    void mouseExited(const Event&) override { log_.push_back(name_ + " exited"); }
    void mouseMoved(const Event& e) override {
        if (!note("moved", e))
            View::mouseMoved(e);
    }
    bool acceptsFirstResponder() const override { return acceptsFirst; }
    bool acceptsFirst = false;

  private:
    // Whether this view takes the event; otherwise it goes on up the chain.
    bool note(const char* what, const Event& e) {
        log_.push_back(name_ + " " + what);
        return std::find(handles_.begin(), handles_.end(), e.type) != handles_.end();
    }
    std::string name_;
    std::vector<std::string>& log_;
    std::vector<EventType> handles_;
};

class RecordingController : public ViewController {
  public:
    explicit RecordingController(std::vector<std::string>& log) : log_(log) {}
    void keyDown(const Event& e) override {
        log_.push_back("controller key");
        ViewController::keyDown(e);
    }

  private:
    std::vector<std::string>& log_;
};

class RecordingWindow : public Window {
  public:
    RecordingWindow(std::vector<std::string>& log) : Window(Rect(0, 0, 400, 300)), log_(log) {}
    void keyDown(const Event&) override { log_.push_back("window key"); }

  private:
    std::vector<std::string>& log_;
};

Event mouse(EventType t, double x, double y) {
    return Event::mouse(t, {x, y});
}

} // namespace

TEST(EventRouting, PressIsCapturedForDragsAndTheReleaseOutside) {
    std::vector<std::string> log;
    auto window = Window::make(Rect(0, 0, 400, 300));
    auto a = std::make_shared<Recorder>(
        "a", Rect(0, 0, 100, 100), log,
        std::vector{EventType::MouseDown, EventType::MouseDragged, EventType::MouseUp});
    auto b = std::make_shared<Recorder>(
        "b", Rect(200, 0, 100, 100), log,
        std::vector{EventType::MouseDown, EventType::MouseDragged, EventType::MouseUp});
    window->contentView()->setSubviews({a, b});
    window->makeKeyAndOrderFront();

    window->sendEvent(mouse(EventType::MouseDown, 50, 50));
    window->sendEvent(mouse(EventType::MouseDragged, 250, 50)); // over b now
    window->sendEvent(mouse(EventType::MouseUp, 250, 50));
    EXPECT_EQ(log, (std::vector<std::string>{"a down", "a dragged", "a up"}));
    EXPECT_EQ(window->mouseCaptureView(), nullptr);

    log.clear();
    window->sendEvent(mouse(EventType::MouseDown, 250, 50));
    EXPECT_EQ(log, (std::vector<std::string>{"b down"}));
}

TEST(EventRouting, UnhandledEventsBubbleUpTheResponderChain) {
    std::vector<std::string> log;
    auto window = std::make_shared<RecordingWindow>(log);
    auto controller = std::make_shared<RecordingController>(log);
    auto root =
        std::make_shared<Recorder>("root", Rect(0, 0, 400, 300), log, std::vector{EventType::MouseDragged});
    controller->setView(root);
    auto parent = std::make_shared<Recorder>("parent", Rect(0, 0, 200, 200), log,
                                             std::vector{EventType::MouseDown, EventType::RightMouseDown});
    auto tile =
        std::make_shared<Recorder>("tile", Rect(10, 10, 50, 50), log, std::vector{EventType::MouseDown});
    root->addSubview(parent);
    parent->addSubview(tile);
    window->setContentViewController(controller);
    window->makeKeyAndOrderFront();

    // The tile takes the press only; its drags travel up to the root view.
    window->sendEvent(mouse(EventType::MouseDown, 20, 20));
    window->sendEvent(mouse(EventType::MouseDragged, 30, 30));
    window->sendEvent(mouse(EventType::RightMouseDown, 20, 20));
    EXPECT_EQ(log, (std::vector<std::string>{"tile down", "tile dragged", "parent dragged", "root dragged",
                                             "tile right", "parent right"}));

    // Keys go to the first responder and on through the controller to the window.
    log.clear();
    tile->acceptsFirst = true;
    window->sendEvent(mouse(EventType::MouseDown, 20, 20));
    EXPECT_EQ(window->firstResponder(), tile.get());
    log.clear();
    window->sendEvent(Event::key(EventType::KeyDown, keycode::A, "a"));
    EXPECT_EQ(log, (std::vector<std::string>{"tile key", "parent key", "root key", "controller key",
                                             "window key"}));

    // A first responder that leaves the window hands the keys back to the window.
    tile->removeFromSuperview();
    log.clear();
    window->sendEvent(Event::key(EventType::FlagsChanged, keycode::Shift, "", ModifierShift));
    EXPECT_EQ(window->firstResponder(), window.get());
}

TEST(TrackingAreas, EnterAndExitIncludingDuringADragAndWhenHidden) {
    std::vector<std::string> log;
    auto window = Window::make(Rect(0, 0, 400, 300));
    auto area =
        std::make_shared<Recorder>("area", Rect(100, 100, 100, 100), log, std::vector{EventType::MouseDown});
    area->addTrackingArea(Rect(),
                          TrackingMouseEnteredAndExited | TrackingActiveInKeyWindow | TrackingInVisibleRect);
    window->contentView()->addSubview(area);
    window->makeKeyAndOrderFront();

    window->sendEvent(mouse(EventType::MouseMoved, 50, 50));
    window->sendEvent(mouse(EventType::MouseMoved, 150, 150));
    window->sendEvent(mouse(EventType::MouseMoved, 160, 150));
    EXPECT_EQ(log, (std::vector<std::string>{"area entered"}));

    // A press inside, a drag out: exited arrives during the drag, before the release.
    window->sendEvent(mouse(EventType::MouseDown, 160, 150));
    window->sendEvent(mouse(EventType::MouseDragged, 300, 150));
    window->sendEvent(mouse(EventType::MouseUp, 300, 150));
    EXPECT_EQ(log, (std::vector<std::string>{"area entered", "area down", "area exited", "area dragged",
                                             "area up"}));

    // Hiding the view under the pointer exits it; showing it again enters.
    window->sendEvent(mouse(EventType::MouseMoved, 150, 150));
    log.clear();
    area->setHidden(true);
    area->setHidden(false);
    EXPECT_EQ(log, (std::vector<std::string>{"area exited", "area entered"}));

    // Only active while the window is key; leaving the window exits.
    log.clear();
    auto other = Window::make();
    other->makeKeyAndOrderFront();
    EXPECT_EQ(log, (std::vector<std::string>{"area exited"}));
    window->makeKeyAndOrderFront();
    window->mouseLeftWindow();
    EXPECT_EQ(log, (std::vector<std::string>{"area exited", "area entered", "area exited"}));

    // Under a view that clips its subviews (a scroll view's clip) the part clipped away is not
    // entered; hiding an ancestor exits what the pointer was in.
    log.clear();
    auto clip = View::make(Rect(0, 0, 120, 80));
    clip->layer()->setMasksToBounds(true);
    auto tile = std::make_shared<Recorder>("tile", Rect(50, 0, 150, 50), log, std::vector<EventType>{});
    tile->addTrackingArea(tile->bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways);
    clip->addSubview(tile);
    window->contentView()->addSubview(clip);
    window->sendEvent(mouse(EventType::MouseMoved, 150, 20));
    EXPECT_TRUE(log.empty());
    window->sendEvent(mouse(EventType::MouseMoved, 100, 20));
    clip->setHidden(true);
    EXPECT_EQ(log, (std::vector<std::string>{"tile entered", "tile exited"}));

    // A clipping tile far along the clip's content is entered once scrolled under the pointer.
    clip->setHidden(false);
    auto far = std::make_shared<Recorder>("far", Rect(5000, 0, 40, 50), log, std::vector<EventType>{});
    far->layer()->setMasksToBounds(true);
    far->addTrackingArea(far->bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways);
    clip->addSubview(far);
    window->sendEvent(mouse(EventType::MouseMoved, 20, 20));
    log.clear();
    clip->setBoundsOrigin({4990, 0});
    window->sendEvent(mouse(EventType::MouseMoved, 21, 20));
    window->sendEvent(mouse(EventType::MouseMoved, 60, 20));
    EXPECT_EQ(log, (std::vector<std::string>{"far entered", "far exited"}));
}

// A strip of a thousand clipping tiles scrolled under a resting pointer: the tile there is
// entered and takes the click, through scrolls, a far tile moved under the pointer or raised
// over its neighbour, and tiles whose subtree reaches outside them from the start or later.
TEST(TrackingAreas, ALongStripFindsTheTileUnderThePointerThroughScrollsAndMoves) {
    std::vector<std::string> log;
    auto window = Window::make(Rect(0, 0, 400, 300));
    auto clip = View::make(Rect(0, 0, 200, 50));
    clip->layer()->setMasksToBounds(true);
    std::vector<std::shared_ptr<Recorder>> tiles;
    for (int i = 0; i < 1000; ++i) {
        tiles.push_back(std::make_shared<Recorder>("tile" + std::to_string(i), Rect(i * 40, 0, 38, 50), log,
                                                   std::vector{EventType::MouseDown}));
        tiles.back()->layer()->setMasksToBounds(true);
        tiles.back()->addTrackingArea(tiles.back()->bounds(),
                                      TrackingMouseEnteredAndExited | TrackingActiveAlways);
        clip->addSubview(tiles.back());
    }
    window->contentView()->addSubview(clip);
    // What entered, and what took the press, with the pointer at x 100 over the strip scrolled by `scroll`.
    const auto pointAt = [&](double scroll, double x = 100) {
        clip->setBoundsOrigin({scroll, 0});
        log.clear();
        window->sendEvent(mouse(EventType::MouseMoved, x, 20));
        window->sendEvent(mouse(EventType::MouseDown, x, 20));
        std::string seen;
        for (const auto& line : log)
            if (!line.ends_with("exited"))
                seen += (seen.empty() ? "" : ", ") + line;
        window->sendEvent(mouse(EventType::MouseUp, x, 20));
        return seen;
    };
    for (int k = 0; k < 39; ++k) {
        const double scroll = k * 1000 + (k % 7) * 5;
        const std::string tile = "tile" + std::to_string(int(scroll + 100) / 40);
        EXPECT_EQ(pointAt(scroll), tile + " entered, " + tile + " down") << scroll;
    }

    tiles[900]->setFrameOrigin({20100 - 19, 0}); // over tile 502 at scroll 20000
    EXPECT_EQ(pointAt(20000), "tile502 entered, tile900 entered, tile900 down");
    tiles[501]->setFrameOrigin({20100 - 30, 0});
    EXPECT_EQ(pointAt(20000, 101), "tile501 entered, tile900 down"); // below tile 900 among the siblings
    clip->addSubview(tiles[501]); // raised over the others, as a pressed tile is
    EXPECT_EQ(pointAt(20000, 102), "tile501 down");
    tiles[900]->layer()->setZPosition(1);
    EXPECT_EQ(pointAt(20000, 103), "tile900 down");

    // A far tile holding a view reaching under the pointer, unclipped from the start or later.
    for (int far : {10, 20}) {
        auto reach = std::make_shared<Recorder>(
            "reach" + std::to_string(far), Rect(30000 - far * 40, 0, 10, 50), log, std::vector<EventType>{});
        reach->addTrackingArea(reach->bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways);
        tiles[size_t(far)]->addSubview(reach);
    }
    tiles[10]->layer()->setMasksToBounds(false);
    // Entered where they reach; a press there goes to the tile, as presses stay inside views.
    EXPECT_EQ(pointAt(29900, 104), "reach10 entered, tile750 entered, tile750 down");
    tiles[20]->layer()->setMasksToBounds(false);
    EXPECT_EQ(pointAt(29900, 105), "reach20 entered, tile750 down");
}

TEST(TrackingAreas, MovedEventsAndRotatedAreas) {
    std::vector<std::string> log;
    auto window = Window::make(Rect(0, 0, 400, 300));
    auto bar =
        std::make_shared<Recorder>("bar", Rect(100, 140, 200, 20), log, std::vector{EventType::MouseMoved});
    bar->addTrackingArea(Rect(0, 0, 200, 20),
                         TrackingMouseEnteredAndExited | TrackingMouseMoved | TrackingActiveAlways);
    bar->setFrameCenterRotation(90);
    window->contentView()->addSubview(bar);
    window->sendEvent(mouse(EventType::MouseMoved, 120, 150)); // in the unrotated frame only
    EXPECT_TRUE(log.empty());
    window->sendEvent(mouse(EventType::MouseMoved, 200, 240));
    window->sendEvent(mouse(EventType::MouseMoved, 201, 230));
    EXPECT_EQ(log, (std::vector<std::string>{"bar entered", "bar moved"}));
}

TEST(Cursor, EachCallReplacesTheShape) {
    std::vector<CursorShape> applied;
    Cursor::setApplier([&](CursorShape s) { applied.push_back(s); });
    Cursor::set(CursorShape::PointingHand);
    Cursor::set(CursorShape::Arrow);
    Cursor::set(CursorShape::PointingHand);
    Cursor::set(CursorShape::ClosedHand);
    EXPECT_EQ(Cursor::current(), CursorShape::ClosedHand);
    EXPECT_EQ(applied.size(), 4u);
    Cursor::setApplier({});
}

TEST(EventRouting, AHandlerMayCloseTheLastReferenceToItsWindow) {
    struct Closer : View {
        using View::View;
        void mouseDown(const Event& e) override { e.window->close(); }
    };
    std::weak_ptr<Window> weak;
    {
        auto window = Window::make(Rect(0, 0, 100, 100));
        window->contentView()->addSubview(std::make_shared<Closer>(Rect(0, 0, 100, 100)));
        window->makeKeyAndOrderFront();
        weak = window;
    }
    ASSERT_FALSE(weak.expired()); // shown windows are kept until closed
    weak.lock()->sendEvent(Event::mouse(EventType::MouseDown, {50, 50}));
    EXPECT_TRUE(weak.expired());
}
