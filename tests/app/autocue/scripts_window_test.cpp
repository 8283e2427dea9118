// The studio's calls (new scripts, closing) and the window around the engine.
#include "autocue_fixture.h"

#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Recording/autocueButtonHoldClass.h"
#include "View/Recording/autocueDisplayView.h"
#include "platform/ui/window.h"

using namespace autocuetest;

namespace {

class AutocueScriptsWindowOpenedByHand : public AutocueTest {
  protected:
    static std::string shownString() { return autocueDisplayClass().getAutocueText().string(); }
};

std::string lines(int n) {
    return script(n).string();
}

} // namespace

TEST_F(AutocueScriptsWindowOpenedByHand, TheWindowOpensOnTheFirstScriptStopped) {
    setScripts({script(4), script(5)});
    open();
    EXPECT_EQ(shownString(), lines(4));
    EXPECT_DOUBLE_EQ(top(), 234);
    EXPECT_FALSE(playing());
    // A second opening brings the same window forward.
    auto first = controller;
    open();
    EXPECT_EQ(controller, first);
    // Minimised, as Hide leaves it, it comes back.
    window().window()->miniaturize();
    open();
    EXPECT_FALSE(window().window()->isMiniaturized());
}

TEST_F(AutocueScriptsWindowOpenedByHand, EachStepLoadsItsScriptFromTheStart) {
    setScripts({script(4), script(5), script(6)});
    open();
    // The recording starts: the first script scrolls from its start.
    autocueDisplayClass().newAutocueText(0, false);
    advance(0.1);
    EXPECT_TRUE(playing());
    // The buttons show it scrolling, not paused.
    EXPECT_TRUE(highlighted(window().buttonPlayAnimation()));
    EXPECT_FALSE(highlighted(window().buttonPauseAnimation()));
    advance(3);
    EXPECT_LT(top(), 234 - 40);
    for (int i : {1, 2}) {
        autocueDisplayClass().newAutocueText(i, false);
        advance(0.05);
        EXPECT_DOUBLE_EQ(top(), 234);
        EXPECT_EQ(shownString(), lines(4 + i));
        advance(2);
        EXPECT_TRUE(playing());
        EXPECT_LT(top(), 234 - 20);
    }
    // Past the last asset nothing changes.
    const double here = top();
    autocueDisplayClass().newAutocueText(3, false);
    autocueDisplayClass().newAutocueText(-1, false);
    EXPECT_EQ(shownString(), lines(6));
    EXPECT_NEAR(top(), here, 1e-9);
    // The reset after the recording: the first script waits at its start.
    autocueDisplayClass().newAutocueText(0, true);
    advance(1);
    EXPECT_EQ(shownString(), lines(4));
    EXPECT_DOUBLE_EQ(top(), 234);
    EXPECT_FALSE(playing());
    EXPECT_TRUE(highlighted(window().buttonPauseAnimation()));
    EXPECT_FALSE(highlighted(window().buttonPlayAnimation()));

    autocueDisplayClass().closeWindow();
    EXPECT_FALSE(autocueDisplayClass().getWindowIsOpen());
    autocueDisplayClass().newAutocueText(1, false);
    EXPECT_EQ(shownString(), lines(4));
}

TEST_F(AutocueScriptsWindowOpenedByHand, ANewScriptTakesTheCurrentSettingWhateverItsRuns) {
    auto longer = run("a ", 12);
    longer.append(run("b ", 30, "Helvetica"));
    longer.append(run("c", 40, "Arial"));
    setScripts({script(2, 20), longer});
    open();
    window().inputFontSize()->setIntegerValue(22);
    window().inputFontSize()->sendAction();
    autocueDisplayClass().newAutocueText(1, true);
    EXPECT_EQ(autocueDisplayClass().getFontPointSizeArray(), (std::vector<double>{14, 32, 42}));
    EXPECT_EQ(shownSizes(), (std::vector<double>{14, 32, 42}));
    EXPECT_EQ(autocueDisplayClass().getMinFontSizeDifference(), 4);
    EXPECT_EQ(autocueDisplayClass().getMaxFontSizeDifference(), 208);
    // And a resize scales it as any other.
    qrn::ui::Window* w = window().window();
    w->setFrame(qrn::Rect(w->frame().origin, {1298, w->frame().height()}));
    EXPECT_EQ(shownSizes(), (std::vector<double>{28, 64, 84}));
}

TEST_F(AutocueScriptsWindowOpenedByHand, AShortScriptListShowsAnEmptyText) {
    setScripts({script(4)}, 4);
    open();
    autocueDisplayClass().newAutocueText(2, false);
    EXPECT_EQ(shownString(), "");
    EXPECT_TRUE(autocueDisplayClass().getFontPointSizeArray().empty());
}

TEST_F(AutocueScriptsWindowOpenedByHand, AResetRightAfterAStepKeepsTheTextAtItsStart) {
    setScripts({script(4), script(5)});
    open();
    autocueDisplayClass().newAutocueText(1, false);
    advance(0.05);
    autocueDisplayClass().newAutocueText(0, true);
    advance(1);
    EXPECT_DOUBLE_EQ(top(), 234);
    EXPECT_FALSE(playing());
}

TEST_F(AutocueScriptsWindowOpenedByHand, HoldButtonsEndTheHoldWhenThePointerLeaves) {
    setScripts({script(10, 38)});
    open();
    qrn::ui::Window* w = window().window();
    auto rewind = window().buttonRewindAnimation();
    auto centre = [](const std::shared_ptr<svgButtonClass>& b) {
        return b->convertPointToView({b->bounds().midX(), b->bounds().midY()}, nullptr);
    };
    using qrn::ui::Event;
    using qrn::ui::EventType;
    // Forward held through the window, then dragged out.
    auto forward = window().buttonForwardAnimation();
    w->sendEvent(Event::mouse(EventType::MouseMoved, centre(forward)));
    w->sendEvent(Event::mouse(EventType::MouseDown, centre(forward)));
    advance(1);
    EXPECT_LT(top(), 234);
    w->sendEvent(Event::mouse(EventType::MouseDragged, {600, 400}));
    EXPECT_FALSE(autocueDisplayClass().getActionInProgress());
    const double here = top();
    advance(1);
    EXPECT_DOUBLE_EQ(top(), here);
    w->sendEvent(Event::mouse(EventType::MouseUp, {600, 400}));

    // Passing over rewind without a press changes nothing.
    w->sendEvent(Event::mouse(EventType::MouseMoved, centre(rewind)));
    w->sendEvent(Event::mouse(EventType::MouseMoved, {600, 400}));
    advance(1);
    EXPECT_DOUBLE_EQ(top(), here);
    EXPECT_FALSE(playing());

    // A hold button without a type goes forward.
    auto untyped = autocueButtonHoldClass::make(svgButtonClass::Configuration{}, std::nullopt);
    untyped->mouseDown(Event::mouse(EventType::MouseDown, {}));
    advance(1);
    EXPECT_LT(top(), here);
    untyped->mouseUp(Event::mouse(EventType::MouseUp, {}));
}

TEST_F(AutocueScriptsWindowOpenedByHand, KeyNameAndTheShellsCloseAll) {
    setScripts({script(2)});
    open();
    EXPECT_EQ(persistentDataStorageClass().getActiveWindow(), "autocueDisplay");
    EXPECT_TRUE(autocueDisplayClass().getWindowIsOpen());

    // The shell's close-all closes it while the studio is shown.
    recordViewClass::setStudioState(true, false);
    closeWindowsOrPanelClass().closeAllExternalWindows();
    recordViewClass::setStudioState(false, false);
    EXPECT_TRUE(window().window() == nullptr || window().window()->isClosed());
    EXPECT_FALSE(autocueDisplayClass().getWindowIsOpen());
}

TEST_F(AutocueScriptsWindowOpenedByHand, ShrunkAsFarAsItGoesTheControlsStayApartAndTheReadingLineInView) {
    setScripts({script(4)});
    open();
    qrn::ui::Window* w = window().window();
    w->setFrame(qrn::Rect(w->frame().origin, {100, 100}));
    EXPECT_LE(window().inputAnimationSpeedSlider()->frame().maxX(),
              window().buttonDecreaseFontSize()->frame().minX());
    // The marker and the script's first two lines, which start beside it, inside the text area.
    const auto area = window().parentContainer()->bounds();
    EXPECT_GE(window().iconTextIndicator()->frame().minY(), area.minY());
    EXPECT_GE(area.height(), top() + 2 * 30) << "the text area is " << area.height() << " high";
}

TEST_F(AutocueScriptsWindowOpenedByHand, TheSizingStepOfAClosedWindowDoesNothing) {
    setScripts({script(3, 16)});
    open(false);
    autocueDisplayClass().closeWindow();
    advance(1);
    EXPECT_EQ(shownSizes(), (std::vector<double>{16}));
    EXPECT_TRUE(autocueDisplayClass().getFontPointSizeArray().empty());
}

TEST_F(AutocueScriptsWindowOpenedByHand, ALongScriptIsDrawnAtFullSharpness) {
    // 400 lines at 30 points: some 14,000 points of text, beyond the usual largest picture.
    setScripts({script(400, 30)});
    open();
    const auto text = window().parentContainer()->textView();
    ASSERT_TRUE(text);
    window().parentContainer()->displayIfNeeded();
    const double height = text->bounds().size.height;
    ASSERT_GT(height, qrn::ui::View::maxPictureSide);
    const double scale = text->window() ? text->window()->backingScaleFactor() : 1.0;
    EXPECT_GE(text->layer()->contents().height(), int(height * scale)) << "drawn coarser and stretched";
}
