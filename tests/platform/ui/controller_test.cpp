// View controllers, windows, the scene registry and window controllers.
#include <gtest/gtest.h>

#include "platform/foundation/main_queue.h"
#include "platform/ui/application.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/window_controller.h"

using namespace qrn;
using namespace qrn::ui;

namespace {

class LoggingController : public ViewController {
  public:
    LoggingController(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

  protected:
    void viewDidLoad() override { log_.push_back(name_ + " loaded"); }
    void viewWillAppear() override { log_.push_back(name_ + " will appear"); }
    void viewDidAppear() override { log_.push_back(name_ + " did appear"); }
    void viewWillDisappear() override { log_.push_back(name_ + " will disappear"); }
    void viewDidDisappear() override { log_.push_back(name_ + " did disappear"); }

  private:
    std::string name_;
    std::vector<std::string>& log_;
};

class LoggingDelegate : public WindowDelegate {
  public:
    std::vector<std::string> log;
    bool allowClose = true;
    bool windowShouldClose(Window&) override { return allowClose; }
    void windowWillClose(Window&) override { log.push_back("will close"); }
    void windowDidMove(Window&) override { log.push_back("did move"); }
    void windowDidResize(Window&) override { log.push_back("did resize"); }
    void windowDidBecomeKey(Window&) override { log.push_back("did become key"); }
    void windowWillMiniaturize(Window&) override { log.push_back("will miniaturize"); }
    void windowDidDeminiaturize(Window&) override { log.push_back("did deminiaturize"); }
};

} // namespace

TEST(ViewControllers, ViewLoadsOnceAndAppearsOnEachContentSwap) {
    std::vector<std::string> log;
    auto first = std::make_shared<LoggingController>("first", log);
    auto second = std::make_shared<LoggingController>("second", log);
    auto window = Window::make();
    window->setContentViewController(first); // not shown yet: loads only
    EXPECT_EQ(log, (std::vector<std::string>{"first loaded"}));
    window->makeKeyAndOrderFront();
    window->setContentViewController(second);
    window->setContentViewController(first);
    // The incoming controller's view loads before the outgoing one leaves.
    EXPECT_EQ(log,
              (std::vector<std::string>{"first loaded", "first will appear", "first did appear",
                                        "second loaded", "first will disappear", "first did disappear",
                                        "second will appear", "second did appear", "second will disappear",
                                        "second did disappear", "first will appear", "first did appear"}));
    EXPECT_EQ(window->contentView(), first->view());
    EXPECT_EQ(first->view()->nextResponder(), first.get());
    EXPECT_EQ(first->nextResponder(), window->frameView().get());

    log.clear();
    window->close();
    EXPECT_EQ(log, (std::vector<std::string>{"first will disappear", "first did disappear"}));
}

TEST(ViewControllers, FadedSwapAndPresentationWithDismissal) {
    std::vector<std::string> log;
    auto landing = std::make_shared<LoggingController>("landing", log);
    auto editor = std::make_shared<LoggingController>("editor", log);
    auto window = Window::make();
    window->setContentViewController(landing);
    window->makeKeyAndOrderFront();
    log.clear();

    landing->present(editor, nullptr); // the default animator fades the content over
    EXPECT_EQ(window->contentViewController(), landing.get());
    EXPECT_LT(landing->view()->alphaValue(), 1.0 + 1e-12);
    MainQueue::advance(1.0);
    EXPECT_EQ(window->contentViewController(), editor.get());
    EXPECT_DOUBLE_EQ(editor->view()->alphaValue(), 1.0);
    EXPECT_EQ(editor->presentingViewController(), landing.get());
    EXPECT_EQ(log,
              (std::vector<std::string>{"editor loaded", "landing will disappear", "landing did disappear",
                                        "editor will appear", "editor did appear"}));

    editor->dismiss();
    MainQueue::advance(1.0);
    EXPECT_EQ(window->contentViewController(), landing.get());
    EXPECT_DOUBLE_EQ(landing->view()->alphaValue(), 1.0);
    EXPECT_EQ(editor->presentingViewController(), nullptr);

    // Steps that run late do not add up: the fade ends when its duration is up, and the
    // presented screen is in the window then.
    MainQueue::setManualLatenessForTesting(0.002);
    landing->present(editor, nullptr);
    MainQueue::advance(0.255);
    EXPECT_EQ(window->contentViewController(), editor.get()) << "the fade out ran past its 0.25 s";
    MainQueue::advance(1.0);
    EXPECT_DOUBLE_EQ(editor->view()->alphaValue(), 1.0);
    MainQueue::setManualLatenessForTesting(0);
    editor->dismiss();
    MainQueue::advance(1.0);
    EXPECT_EQ(window->contentViewController(), landing.get());

    // Presenting from a controller whose view is in no window leaves everything as it was.
    auto loose = std::make_shared<LoggingController>("loose", log);
    auto other = std::make_shared<LoggingController>("other", log);
    loose->present(other, nullptr);
    MainQueue::advance(1.0);
    EXPECT_EQ(window->contentViewController(), landing.get());
    EXPECT_EQ(other->window(), nullptr);
}

TEST(ViewControllers, ModalSheetAndSeparateWindows) {
    std::vector<std::string> log;
    auto main = std::make_shared<LoggingController>("main", log);
    auto window = Window::make();
    window->setContentViewController(main);
    window->makeKeyAndOrderFront();

    auto sheet = std::make_shared<LoggingController>("sheet", log);
    main->presentAsSheet(sheet);
    ASSERT_NE(window->attachedSheet(), nullptr);
    EXPECT_TRUE(sheet->isAppeared());
    // The parent refuses input while the sheet is up.
    struct Clicks : View {
        using View::View;
        int n = 0;
        void mouseDown(const Event&) override { ++n; }
    };
    auto clicks = std::make_shared<Clicks>(Rect(0, 0, 800, 600));
    main->view()->addSubview(clicks);
    window->sendEvent(Event::mouse(EventType::MouseDown, {10, 10}));
    EXPECT_EQ(clicks->n, 0);
    sheet->dismiss();
    EXPECT_EQ(window->attachedSheet(), nullptr);
    window->sendEvent(Event::mouse(EventType::MouseDown, {10, 10}));
    EXPECT_EQ(clicks->n, 1);

    auto modal = std::make_shared<LoggingController>("modal", log);
    main->presentAsModalWindow(modal);
    EXPECT_EQ(Application::shared().modalWindow(), modal->window());
    window->sendEvent(Event::mouse(EventType::MouseDown, {10, 10}));
    EXPECT_EQ(clicks->n, 1);
    modal->dismiss();
    EXPECT_EQ(Application::shared().modalWindow(), nullptr);

    auto separate = std::make_shared<LoggingController>("separate", log);
    main->presentInWindow(separate);
    Window* w = separate->window();
    ASSERT_NE(w, nullptr);
    EXPECT_NE(w, window.get());
    EXPECT_TRUE(w->isKeyWindow());
    separate->dismiss();
    EXPECT_EQ(separate->window() ? separate->window()->isVisible() : false, false);
}

TEST(Windows, DelegateHearsMovesResizesKeyCloseAndMiniaturising) {
    LoggingDelegate d;
    auto window = Window::make(Rect(100, 100, 400, 300));
    window->setDelegate(&d);
    window->makeKeyAndOrderFront();
    window->setFrameOrigin({120, 100});
    window->setContentSize({500, 300});
    window->setMinSize({450, 350}); // grows to the minimum height
    EXPECT_EQ(window->contentSize(), (Size{500, 350}));
    window->miniaturize();
    window->deminiaturize();
    d.allowClose = false;
    window->performClose();
    EXPECT_FALSE(window->isClosed());
    d.allowClose = true;
    window->performClose();
    EXPECT_TRUE(window->isClosed());
    // Growing keeps the top edge in place, so the taller minimum also moves the origin.
    EXPECT_EQ(d.log,
              (std::vector<std::string>{"did become key", "did move", "did resize", "did resize", "did move",
                                        "will miniaturize", "did deminiaturize", "will close"}));
}

TEST(Windows, TitlebarAccessorySitsAboveTheContent) {
    auto window = Window::make(Rect(0, 0, 400, 300));
    auto bar = std::make_shared<ViewController>();
    window->setTitlebarAccessory(bar, 38);
    EXPECT_EQ(bar->view()->windowRect(), Rect(0, 262, 400, 38));
    EXPECT_EQ(window->contentView()->frame(), Rect(0, 0, 400, 262));
    window->setContentSize({600, 400});
    EXPECT_EQ(bar->view()->windowRect(), Rect(0, 362, 600, 38));

    // Swapping the controller's view puts the new view in the strip.
    auto other = View::make(Rect(0, 0, 10, 10));
    bar->setView(other);
    EXPECT_EQ(other->windowRect(), Rect(0, 362, 600, 38));
    EXPECT_EQ(window->frameView()->hitTest({10, 380}), other.get());
}

TEST(Scenes, ControllersByIdentifierAndWindowControllersOwnTheirWindow) {
    SceneRegistry::clear();
    std::vector<std::string> log;
    SceneRegistry::registerViewController("viewLoader",
                                          [&] { return std::make_shared<LoggingController>("editor", log); });
    struct MainWindowController : WindowController {
        WindowPtr makeWindow() override { return Window::make(Rect(0, 0, 640, 360)); }
    };
    SceneRegistry::registerWindowController("mainWindowController",
                                            [] { return std::make_shared<MainWindowController>(); });

    auto vc = SceneRegistry::instantiateViewController("viewLoader");
    ASSERT_NE(vc, nullptr);
    EXPECT_EQ(vc->identifier(), "viewLoader");
    EXPECT_NE(SceneRegistry::instantiateViewController("viewLoader"), vc); // a new one each time
    EXPECT_EQ(SceneRegistry::instantiateViewController("missing"), nullptr);

    std::weak_ptr<WindowController> weak;
    Window* shown = nullptr;
    {
        auto wc = SceneRegistry::instantiateWindowController("mainWindowController");
        ASSERT_NE(wc, nullptr);
        wc->setContentViewController(vc);
        wc->showWindow();
        weak = wc;
        shown = wc->window().get();
    }
    // Showing keeps the controller and its window alive until the window closes.
    ASSERT_FALSE(weak.expired());
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->contentSize(), (Size{640, 360}));
    EXPECT_TRUE(vc->isAppeared());
    weak.lock()->close();
    MainQueue::advance(0);
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(vc->isAppeared());
}
