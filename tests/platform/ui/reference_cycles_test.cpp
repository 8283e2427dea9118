// Objects that refer to each other must still be freed once nobody else holds them.
#include <gtest/gtest.h>

#include "platform/foundation/main_queue.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

using namespace qrn;
using namespace qrn::ui;

TEST(ReferenceCycles, ControllersPresentedFromOneWithoutAWindowAreFreedWithIt) {
    std::weak_ptr<ViewController> presenter, presented;
    {
        auto loose = std::make_shared<ViewController>();
        auto other = std::make_shared<ViewController>();
        presenter = loose;
        presented = other;
        loose->present(other, nullptr);
        MainQueue::advance(1.0);
        // The presenter still lists what it presented while someone holds it.
        ASSERT_EQ(loose->presentedViewControllers().size(), 1u);
        EXPECT_EQ(other->presentingViewController(), loose.get());
    }
    EXPECT_TRUE(presenter.expired());
    EXPECT_TRUE(presented.expired());
}

TEST(ReferenceCycles, APresenterReplacedInItsWindowIsKeptByTheControllerInItsPlace) {
    auto window = Window::make();
    std::weak_ptr<ViewController> presenter;
    {
        auto landing = std::make_shared<ViewController>();
        presenter = landing;
        window->setContentViewController(landing);
        window->makeKeyAndOrderFront();
        landing->present(std::make_shared<ViewController>(), nullptr);
    }
    MainQueue::advance(1.0);
    ASSERT_FALSE(presenter.expired());
    auto landing = presenter.lock();
    ASSERT_NE(window->contentViewController(), landing.get());
    window->contentViewController()->dismiss();
    MainQueue::advance(1.0);
    EXPECT_EQ(window->contentViewController(), landing.get());
    EXPECT_TRUE(landing->presentedViewControllers().empty());
}

TEST(ReferenceCycles, AWindowThatGoesAwayTakesThePresenterAndThePresentedAlong) {
    std::weak_ptr<ViewController> presenter, presented;
    {
        auto window = Window::make();
        auto landing = std::make_shared<ViewController>();
        auto editor = std::make_shared<ViewController>();
        presenter = landing;
        presented = editor;
        window->setContentViewController(landing);
        window->makeKeyAndOrderFront();
        landing->present(editor, nullptr);
        MainQueue::advance(1.0);
        ASSERT_EQ(window->contentViewController(), editor.get());
        window->close();
    }
    EXPECT_TRUE(presenter.expired());
    EXPECT_TRUE(presented.expired());
}

TEST(ReferenceCycles, AWindowOfItsOwnClosedWithoutDismissalGoesWithItsController) {
    std::weak_ptr<ViewController> presented;
    std::weak_ptr<Window> ownWindow;
    auto main = std::make_shared<ViewController>();
    {
        auto inWindow = std::make_shared<ViewController>();
        presented = inWindow;
        main->presentInWindow(inWindow);
        ASSERT_NE(inWindow->window(), nullptr);
        ownWindow = inWindow->window()->weak_from_this();
    }
    // The user closes it with the title bar's button: the window goes, its controller stays
    // listed until dismissed or until the presenter goes.
    ownWindow.lock()->close();
    EXPECT_TRUE(ownWindow.expired());
    EXPECT_FALSE(presented.expired());
    main.reset();
    EXPECT_TRUE(presented.expired());
}
