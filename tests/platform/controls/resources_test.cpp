#include <gtest/gtest.h>

#include <set>

#include "platform/ui/resources.h"

using namespace qrn;

namespace {

// Every image the screens ask for by name: tool and title-bar icons, the filter icons, the
// package icon, the symbol picker's categories and its fifty symbols with their frames.
std::vector<std::string> imagesTheScreensUse() {
    std::vector<std::string> names = {
        "UTI", "cancel", "text_main", "text_preview", "camera", "video", "audio", "sticky_asset",
        "teleprompter_autocue", "checkbox_enabled", "checkbox_disabled", "ChromaKeyRgb", "BoxBlur", "Median",
        "revert", "aspect_ratio", "crop", "lock", "unlock", "flip_horizontal", "flip_vertical", "duplicate",
        "group_add", "remove", "record_start", "record_stop", "speed", "text_indicator",
        // Buttons of the title bars, the landing screen and the autocue window.
        "new_project", "open_project", "save", "print", "display_video", "record_view", "undo", "redo",
        "video_settings", "symbols_pane", "script_pane", "layer_settings_pane", "add_asset", "text_layer",
        "layer_filters", "editor_view", "autocue", "dismiss_playback", "save_playback", "rewind", "forward",
        // Symbol picker categories and symbols.
        "weather", "pollen", "uv", "location", "sports", "travel", "text_symbols", "cloudsun", "cloudy",
        "compass", "darkclouds", "fog", "hazy", "sun", "temp_cold", "wind", "pollen_h", "pollen_l",
        "pollen_m", "pollen_vh", "uv_green", "arrow_black", "arrow_blue", "arrow_green", "arrow_red",
        "arrow_white", "arrow_yellow", "pin", "red_pin", "mapPin", "mapPointer", "baseball", "cricket",
        "football", "horseRacing", "motorsport", "olympic", "rugby", "soccer", "stadium", "tennis",
        "trainStation", "airport", "carPark"};
    for (const char* stem : {"blizzard", "cloudyrain", "hailsun", "heavyrain", "heavyrainsun", "lighthailsun",
                             "lightning", "lightrain", "lightrainsun", "sleetsun", "snow"})
        for (int i = 1; i <= 6; ++i)
            names.push_back(std::string(stem) + "0" + std::to_string(i));
    for (int i = 1; i <= 6; ++i)
        names.push_back("hurricane" + std::to_string(i));
    return names;
}

} // namespace

TEST(NamedImages, EveryNameTheScreensUseResolvesAndDraws) {
    const auto names = imagesTheScreensUse();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    for (const auto& name : names) {
        ASSERT_TRUE(NamedImages::exists(name)) << name;
        QImage img = NamedImages::render(name, {32, 32});
        ASSERT_FALSE(img.isNull()) << name;
        // Something is drawn: at least one pixel is not transparent.
        bool drawn = false;
        for (int y = 0; y < img.height() && !drawn; ++y)
            for (int x = 0; x < img.width() && !drawn; ++x)
                drawn = qAlpha(img.pixel(x, y)) > 0;
        EXPECT_TRUE(drawn) << name;
    }
    EXPECT_FALSE(NamedImages::exists("star"));
    EXPECT_TRUE(NamedImages::render("star").isNull());
    EXPECT_FALSE(NamedImages::naturalSize("star").has_value());
}

TEST(NamedImages, IconsAreTemplatesAndTintKeepsTheShape) {
    EXPECT_TRUE(NamedImages::isTemplate("revert"));
    EXPECT_FALSE(NamedImages::isTemplate("sun"));
    EXPECT_EQ(NamedImages::naturalSize("revert"), (Size{24, 24}));

    const Colour tint{1, 0, 0, 1};
    QImage plain = NamedImages::render("record_start", {48, 48});
    QImage red = NamedImages::render("record_start", {48, 48}, tint);
    ASSERT_EQ(red.size(), QSize(48, 48));
    // The centre of the filled dot is fully covered and takes the tint; corners stay clear.
    EXPECT_EQ(QColor(red.pixel(24, 24)), QColor(255, 0, 0));
    EXPECT_EQ(qAlpha(red.pixel(0, 0)), 0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            ASSERT_EQ(qAlpha(plain.pixel(x, y)), qAlpha(red.pixel(x, y)));
}

TEST(NamedImages, RepeatedDrawingsKeepTheirOwnSizeAndTintAndCannotBeChangedByAnEarlierCaller) {
    const Colour red{1, 0, 0, 1}, blue{0, 0, 1, 1};
    QImage first = NamedImages::render("record_start", {48, 48}, red);
    // A caller painting over its copy changes nothing for the next one.
    first.fill(Qt::black);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(QColor(NamedImages::render("record_start", {48, 48}, red).pixel(24, 24)),
                  QColor(255, 0, 0));
        EXPECT_EQ(QColor(NamedImages::render("record_start", {48, 48}, blue).pixel(24, 24)),
                  QColor(0, 0, 255));
        EXPECT_NE(QColor(NamedImages::render("record_start", {48, 48}).pixel(24, 24)), QColor(255, 0, 0));
        EXPECT_EQ(NamedImages::render("record_start", {20, 30}, red).size(), QSize(20, 30));
        EXPECT_EQ(NamedImages::render("record_start").size(), QSize(24, 24));
    }
    // Many sizes, more than are kept: each drawing still has the size asked for.
    for (int side = 8; side < 8 + 150; ++side)
        ASSERT_EQ(NamedImages::render("sun", {double(side), double(side)}).size(), QSize(side, side));
    EXPECT_EQ(NamedImages::naturalSize("revert"), (Size{24, 24}));
}
