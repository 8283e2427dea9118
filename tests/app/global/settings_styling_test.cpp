#include <gtest/gtest.h>

#include "Model/globalAppSettingsClass.h"
#include "Model/stylingClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"

using qrn::MainQueue;

namespace {

struct FakeScreen : MainViewHost {
    bool window = true;
    qrn::Point origin{40, 60};
    qrn::Size size{1200, 800};
    qrn::Size contentSize;
    qrn::Point frameOrigin;
    int madeMain = 0;
    bool hasWindow() const override { return window; }
    qrn::Point windowFrameOrigin() const override { return origin; }
    qrn::Size viewFrameSize() const override { return size; }
    void setWindowContentSize(qrn::Size s) override { contentSize = s; }
    void setWindowFrameOrigin(qrn::Point p) override { frameOrigin = p; }
    void makeMainWindow() override { ++madeMain; }
};

} // namespace

TEST(Settings, DefaultsOnEveryInstance) {
    globalAppSettingsClass s;
    EXPECT_TRUE(s.getSaveOnUserAction());
    EXPECT_FALSE(s.getShowLogs());
    EXPECT_EQ(s.getMaxLayers(), 100);
    EXPECT_DOUBLE_EQ(s.getMinimumLayerSize(), 10.0);
    EXPECT_EQ(s.getLayersZPosOrder(), (std::vector<std::string>{"background", "sticky", "regular"}));
    EXPECT_DOUBLE_EQ(s.getMinimumVideoCropSize(), 30.0);
    EXPECT_EQ(s.getNumberOfAssetPreviewsInRecordView(), 8);
    s.setScriptEditorClosing();
    EXPECT_TRUE(s.getScriptEditorClosing());
    EXPECT_FALSE(globalAppSettingsClass().getScriptEditorClosing());
}

TEST(Settings, FirstThreeFrameNotificationsAfterLoadingWriteNothing) {
    FakeScreen screen;
    globalAppSettingsClass().setIsMainViewControllerLoading(0);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(globalAppSettingsClass().setMainViewRect(&screen));
    EXPECT_FALSE(qrn::UserDefaults::standard().has("mainViewRect"));
    EXPECT_FALSE(globalAppSettingsClass().setMainViewRect(&screen));
    auto stored = qrn::UserDefaults::standard().arrayForKey("mainViewRect");
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, (qrn::Value::List{40.0, 60.0, 1200.0, 800.0}));
}

TEST(Settings, RestoresAStoredFrameAndIgnoresABadOne) {
    FakeScreen screen;
    qrn::UserDefaults::standard().set("mainViewRect", qrn::Value::list({10, 20, 900.0, 700.0}));
    globalAppSettingsClass restored(&screen);
    EXPECT_EQ(screen.contentSize, (qrn::Size{900, 700}));
    EXPECT_EQ(screen.frameOrigin, (qrn::Point{10, 20}));
    EXPECT_EQ(screen.madeMain, 1);

    for (auto bad : {qrn::Value::list({10, 20, 0, 700}), qrn::Value::list({10, 20, 900}), qrn::Value("x"),
                     qrn::Value::list({10, "y", 900, 700})}) {
        qrn::UserDefaults::standard().set("mainViewRect", bad);
        globalAppSettingsClass fallback(&screen);
        EXPECT_EQ(screen.contentSize, (qrn::Size{1200, 800})) << bad.describe();
        EXPECT_EQ(screen.frameOrigin, (qrn::Point{40, 60}));
    }

    FakeScreen windowless;
    windowless.window = false;
    globalAppSettingsClass none(&windowless);
    EXPECT_EQ(windowless.madeMain, 0);
}

TEST(Settings, NoNotificationOfARestoreIsTakenForThePresentersMove) {
    // As a real window does, each change of the frame notifies at once: the size about the top
    // edge moves the origin too, and a frame whose title bar was off the screen moves once more.
    struct NotifyingScreen : FakeScreen {
        std::vector<bool> restoring;
        void notify() { restoring.push_back(globalAppSettingsClass().setMainViewRect(this)); }
        void setWindowContentSize(qrn::Size s) override {
            FakeScreen::setWindowContentSize(s);
            notify();
            notify();
        }
        void setWindowFrameOrigin(qrn::Point p) override {
            FakeScreen::setWindowFrameOrigin(p);
            notify();
            notify();
        }
    } screen;
    qrn::UserDefaults::standard().set("mainViewRect", qrn::Value::list({10.0, -900.0, 900.0, 700.0}));
    globalAppSettingsClass restored(&screen);
    EXPECT_EQ(screen.restoring, std::vector<bool>(4, true));
    EXPECT_EQ(*qrn::UserDefaults::standard().arrayForKey("mainViewRect"),
              (qrn::Value::List{10.0, -900.0, 900.0, 700.0}));
    // The presenter's first move after it is saved.
    EXPECT_FALSE(globalAppSettingsClass().setMainViewRect(&screen));
}

TEST(Settings, ScreenFlagClearsOnly200msAfterTheLastRaise) {
    globalAppSettingsClass s;
    s.setJustMovedBetweenOrReloadedScreens(true);
    s.setJustMovedBetweenOrReloadedScreensToFalseAfterDelay();
    MainQueue::advance(0.1);
    s.setJustMovedBetweenOrReloadedScreens(true);
    s.setJustMovedBetweenOrReloadedScreensToFalseAfterDelay();
    MainQueue::advance(0.15); // 0.25 s: the first reset is stale
    EXPECT_TRUE(s.getJustMovedBetweenOrReloadedScreens());
    MainQueue::advance(0.05); // 0.3 s: 0.2 s after the second raise
    EXPECT_FALSE(s.getJustMovedBetweenOrReloadedScreens());
}

TEST(Settings, ColourResponderIsSharedAcrossInstances) {
    globalAppSettingsClass().setColourChangeResponderClass(std::string("chromaKey"));
    auto r = globalAppSettingsClass().getColourChangeResponderClass();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(std::any_cast<std::string>(r), "chromaKey");
}

TEST(Styling, HexColoursNeedHashAndExactlyEightHexDigits) {
    auto c = colourFromHex("#1774c8FF");
    ASSERT_TRUE(c);
    EXPECT_DOUBLE_EQ(c->red, 0x17 / 255.0);
    EXPECT_DOUBLE_EQ(c->green, 0x74 / 255.0);
    EXPECT_DOUBLE_EQ(c->blue, 0xc8 / 255.0);
    EXPECT_DOUBLE_EQ(c->alpha, 1.0);
    EXPECT_FALSE(colourFromHex("1774c8FF"));
    EXPECT_FALSE(colourFromHex("#1774c8"));
    EXPECT_FALSE(colourFromHex("#1774c8FG"));
    EXPECT_FALSE(colourFromHex("#+774c8FF"));
    EXPECT_FALSE(colourFromHex(""));
}

TEST(Styling, ColourArraysRoundHalvesAwayFromZero) {
    stylingClass s;
    qrn::Colour red{1, 0, 0, 1};
    EXPECT_EQ(s.colourToArray(red, std::nullopt, true), (std::vector<double>{255, 0, 0, 1}));
    EXPECT_EQ(s.colourToArray(red, 0.5, true), (std::vector<double>{255, 0, 0, 0.5}));
    EXPECT_EQ(s.colourToArray(red, 0.5, false), (std::vector<double>{255, 0, 0, 1}));
    EXPECT_EQ(s.colourToArray({128.5 / 255, 0.2 / 255, 0, 1}, std::nullopt, true)[0], 129);

    qrn::Colour orange = s.arrayToColour({255, 128, 0, 1});
    EXPECT_DOUBLE_EQ(orange.green, 128 / 255.0);
    EXPECT_DOUBLE_EQ(orange.alpha, 1);
    EXPECT_EQ(s.arrayToColour({255, 0}), qrn::Colour::black());
}

TEST(Styling, PaletteIndexesOutOfRangeGiveTransparentWhite) {
    stylingClass s;
    qrn::Colour clearWhite{1, 1, 1, 0};
    EXPECT_EQ(s.getColour(10), clearWhite);
    EXPECT_EQ(s.getColour(-1), clearWhite);
    for (int i = 0; i < 10; ++i) {
        EXPECT_NE(s.getColour(i), clearWhite) << i;
        EXPECT_TRUE(qrn::namedColour(stylingClass::paletteName(i), false)) << i;
    }
    EXPECT_EQ(stylingClass::paletteName(5), "icon_colour_hover_dark");
}

TEST(Styling, InterfaceStyleDefaultsToLightAndIsReadOnce) {
    EXPECT_EQ(stylingClass().interfaceStyle(), "Light");
    qrn::UserDefaults::standard().set("AppleInterfaceStyle", "Dark");
    EXPECT_EQ(stylingClass().interfaceStyle(), "Light");
    stylingClass::resetInterfaceStyleForTesting();
    EXPECT_EQ(stylingClass().interfaceStyle(), "Dark");
}
