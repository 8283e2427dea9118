// Font sizes: scaled to the window width, stepped or typed within the room the script leaves
// between 10 and 250 points.
#include "autocue_fixture.h"

#include <algorithm>

#include "Controller/Global/svgButtonClass.h"
#include "platform/ui/window.h"

using namespace autocuetest;

namespace {

class AutocueFontsWindowOpenedByHand : public AutocueTest {
  protected:
    void typeFontSize(int value) {
        auto field = window().inputFontSize();
        field->setIntegerValue(value);
        field->sendAction();
    }
    void resize(double width) {
        qrn::ui::Window* w = window().window();
        w->setFrame(qrn::Rect(w->frame().origin, {width, w->frame().height()}));
    }
    static int setting() { return autocueDisplayClass().getAutocueFontSize(); }
};

qrn::AttributedString twoSizes(double first, double second) {
    auto text = run("First line\n", first);
    text.append(run("Second line", second, "Helvetica"));
    return text;
}

} // namespace

TEST_F(AutocueFontsWindowOpenedByHand, TheWindowWidthScalesEveryRun) {
    setScripts({twoSizes(12, 30)});
    open();
    EXPECT_EQ(shownSizes(), (std::vector<double>{12, 30}));
    resize(1298);
    EXPECT_EQ(shownSizes(), (std::vector<double>{24, 60}));
    EXPECT_EQ(setting(), 20);
    EXPECT_EQ(autocueDisplayClass().getFontPointSizeArray(), (std::vector<double>{12, 30}));
    // Families keep their stored names; the twin draws them.
    EXPECT_EQ(autocueDisplayClass().getAutocueText().runs().back().attributes.font->family, "Helvetica");
}

TEST_F(AutocueFontsWindowOpenedByHand, ResizesInTheFirstHalfSecondAreIgnored) {
    setScripts({script(3, 16)});
    open(false);
    advance(0.2);
    resize(973.5);
    EXPECT_EQ(shownSizes(), (std::vector<double>{16}));
    advance(0.3);
    EXPECT_EQ(shownSizes(), (std::vector<double>{24}));
}

TEST_F(AutocueFontsWindowOpenedByHand, ASameWidthResizeOnlyLaysOutAgain) {
    setScripts({script(3, 16)});
    open();
    window().increaseFontSize();
    const auto before = autocueDisplayClass().getAutocueText();
    window().windowDidResize(*window().window());
    window().windowDidEndLiveResize(*window().window());
    EXPECT_EQ(autocueDisplayClass().getAutocueText(), before);
    EXPECT_EQ(autocueDisplayClass().getFontPointSizeArray(), (std::vector<double>{17}));
    EXPECT_EQ(autocueDisplayClass().getMaxFontSizeDifference(), 233);
}

TEST_F(AutocueFontsWindowOpenedByHand, TypedSizesStayWithinTheRoom) {
    setScripts({twoSizes(12, 30), script(2, 20)}, 3);
    open();
    EXPECT_EQ(autocueDisplayClass().getMinFontSizeDifference(), 2);
    typeFontSize(3);
    EXPECT_EQ(setting(), 18);
    EXPECT_EQ(window().inputFontSize()->integerValue(), 18);
    EXPECT_EQ(shownSizes(), (std::vector<double>{10, 28}));

    autocueDisplayClass().newAutocueText(1, true);
    typeFontSize(20);
    ASSERT_EQ(autocueDisplayClass().getMaxFontSizeDifference(), 230);
    typeFontSize(150);
    EXPECT_EQ(setting(), 100);
    EXPECT_EQ(shownSizes(), (std::vector<double>{100}));
    // A slip of the keyboard keeps the size and shows it again.
    window().inputFontSize()->setStringValue("2o");
    window().inputFontSize()->sendAction();
    EXPECT_EQ(setting(), 100);
    EXPECT_EQ(shownSizes(), (std::vector<double>{100}));
    EXPECT_EQ(window().inputFontSize()->stringValue(), "100");
}

TEST_F(AutocueFontsWindowOpenedByHand, StepsNeedRoom) {
    setScripts({script(2, 12)});
    open();
    window().decreaseFontSize();
    window().decreaseFontSize();
    EXPECT_EQ(setting(), 18);
    EXPECT_EQ(shownSizes(), (std::vector<double>{10}));
    window().decreaseFontSize();
    EXPECT_EQ(setting(), 18);
    EXPECT_EQ(shownSizes(), (std::vector<double>{10}));

    autocueDisplayClass().closeWindow();
    setScripts({script(1, 250)});
    open();
    EXPECT_EQ(autocueDisplayClass().getMaxFontSizeDifference(), 0);
    window().increaseFontSize();
    EXPECT_EQ(setting(), 20);
    EXPECT_EQ(shownSizes(), (std::vector<double>{250}));
}

TEST_F(AutocueFontsWindowOpenedByHand, RunsNeverPassTheLargestSize) {
    // Two runs close to the top: after shrinking both, growing stops when the larger is at 250.
    setScripts({twoSizes(240, 239)});
    open();
    typeFontSize(18);
    for (int i = 0; i < 20; ++i)
        window().increaseFontSize();
    const auto sizes = autocueDisplayClass().getFontPointSizeArray();
    EXPECT_DOUBLE_EQ(*std::max_element(sizes.begin(), sizes.end()), 250);
    EXPECT_EQ(autocueDisplayClass().getMaxFontSizeDifference(), 0);
}

TEST_F(AutocueFontsWindowOpenedByHand, UnknownFamiliesAndPlainRunsShowInTheFallbackAtTheSetting) {
    auto script = run("Known ", 30);
    script.append(run("unknown ", 30, "No Such Family QRN"));
    script.append(qrn::AttributedString(" plain"));
    setScripts({script});
    open();
    resize(1298);
    const auto text = autocueDisplayClass().getAutocueText();
    const auto& runs = text.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].attributes.font->family, "DejaVu Sans");
    EXPECT_DOUBLE_EQ(runs[0].attributes.font->size, 60);
    EXPECT_EQ(runs[1].attributes.font->family, "Arial");
    EXPECT_DOUBLE_EQ(runs[1].attributes.font->size, 40);
}

TEST_F(AutocueFontsWindowOpenedByHand, OnlyTheFirstSizingOfTheProcessBringsAnUndersizedScriptBackInStep) {
    setScripts({script(2, 8)});
    open();
    EXPECT_EQ(setting(), 21);
    EXPECT_EQ(autocueDisplayClass().getFontPointSizeArray(), (std::vector<double>{9}));
    // What shows is the corrected size, not the pass's first attempt.
    EXPECT_EQ(shownSizes(), (std::vector<double>{9}));

    autocueDisplayClass().closeWindow();
    open();
    EXPECT_EQ(setting(), 20);
    EXPECT_EQ(shownSizes(), (std::vector<double>{8}));
}
