#include <gtest/gtest.h>

#include "Filters/ChromaKey/RGB/chromaKeyRgbClass.h"
#include "Filters/ChromaKey/chromaKeyClass.h"
#include "Model/globalAppSettingsClass.h"
#include "filters_test_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/imaging/filters.h"

using qrn::Value;

namespace {

std::shared_ptr<const qrn::imaging::ColourCube> cubeFor(std::vector<double> key, double range) {
    auto r = chromaKeyClass().chromaKeyFilter(Value(), key, 0, 0, true, range);
    if (!r || !std::holds_alternative<qrn::graphics::ContentFilterPtr>(*r))
        return nullptr;
    auto f = std::dynamic_pointer_cast<qrn::imaging::ColourCubeFilter>(
        std::get<qrn::graphics::ContentFilterPtr>(*r));
    return f ? f->cube() : nullptr;
}

bool keyed(const qrn::imaging::ColourCube& cube, int r, int g, int b) {
    return cube.entry(r, g, b)[3] == 0.0f;
}

} // namespace

TEST(ChromaKeyCube, LayoutIsRedFastestAndEveryEntryIsClearOrItsOwnOpaqueColour) {
    const auto cube = cubeFor({32.0, 255.0, 0.0, 1.0}, 10);
    ASSERT_TRUE(cube);
    EXPECT_EQ(cube->dimension(), 64);
    EXPECT_EQ(cube->data().size(), 64u * 64 * 64 * 4);
    // Entry (r, g, b) starts at float 4 (r + 64 g + 4096 b).
    EXPECT_EQ(cube->offsetOf(1, 2, 3), 4u * (1 + 64 * 2 + 4096 * 3));
    int keyedCount = 0;
    for (int b = 0; b < 64; ++b)
        for (int g = 0; g < 64; ++g)
            for (int r = 0; r < 64; ++r) {
                const auto e = cube->entry(r, g, b);
                if (e[3] == 0.0f) {
                    ASSERT_EQ(e, (std::array<float, 4>{0, 0, 0, 0}));
                    ++keyedCount;
                } else {
                    ASSERT_EQ(e, (std::array<float, 4>{r / 63.0f, g / 63.0f, b / 63.0f, 1.0f}))
                        << r << g << b;
                }
            }
    EXPECT_GT(keyedCount, 0);
    // Pure green keyed, pure red kept, greys kept (hue 0 is far from the key's 0.31).
    EXPECT_TRUE(keyed(*cube, 0, 63, 0));
    EXPECT_FALSE(keyed(*cube, 63, 0, 0));
    EXPECT_FALSE(keyed(*cube, 0, 0, 0));
    EXPECT_FALSE(keyed(*cube, 63, 63, 63));
    EXPECT_FALSE(keyed(*cube, 30, 30, 30));
}

TEST(ChromaKeyCube, WindowsThatWrapAroundRedTakeBothEndsAndTheGreys) {
    // Hue 0.05: keyed from 0.95 to 1 and from 0 to 0.15.
    auto low = cubeFor({255.0, 76.5, 0.0, 1.0}, 10);
    ASSERT_TRUE(low);
    EXPECT_TRUE(keyed(*low, 63, 50, 0));  // hue 0.132
    EXPECT_FALSE(keyed(*low, 63, 63, 0)); // hue 0.167
    EXPECT_TRUE(keyed(*low, 63, 0, 15));  // hue 0.960
    EXPECT_FALSE(keyed(*low, 63, 0, 25)); // hue 0.934
    EXPECT_TRUE(keyed(*low, 0, 0, 0));
    EXPECT_TRUE(keyed(*low, 63, 63, 63));
    EXPECT_TRUE(keyed(*low, 20, 20, 20));
    EXPECT_FALSE(keyed(*low, 0, 63, 0));

    // Hue 0.95: keyed from 0.85 to 1 and from 0 to 0.05.
    auto high = cubeFor({255.0, 0.0, 76.5, 1.0}, 10);
    ASSERT_TRUE(high);
    EXPECT_TRUE(keyed(*high, 63, 0, 50));  // hue 0.868
    EXPECT_FALSE(keyed(*high, 63, 0, 63)); // hue 0.833
    EXPECT_TRUE(keyed(*high, 63, 15, 0));  // hue 0.040
    EXPECT_FALSE(keyed(*high, 63, 25, 0)); // hue 0.066
    EXPECT_TRUE(keyed(*high, 40, 40, 40));
}

TEST(ChromaKeyCube, RangeZeroKeysOnlyTheKeyHue) {
    const auto cube = cubeFor({0.0, 255.0, 0.0, 1.0}, 0);
    ASSERT_TRUE(cube);
    EXPECT_TRUE(keyed(*cube, 0, 63, 0));
    EXPECT_TRUE(keyed(*cube, 10, 40, 10));
    EXPECT_FALSE(keyed(*cube, 1, 63, 0));
    EXPECT_FALSE(keyed(*cube, 0, 63, 1));
    EXPECT_FALSE(keyed(*cube, 0, 0, 0));
}

TEST(ChromaKeyCube, TableIsReusedForTheSameKeyAndRebuiltIdenticallyAfterAChange) {
    const auto first = cubeFor({32.0, 255.0, 0.0, 1.0}, 10);
    EXPECT_EQ(cubeFor({32.0, 255.0, 0.0, 0.5}, 10), first); // alpha plays no part
    const auto other = cubeFor({32.0, 255.0, 0.0, 1.0}, 12);
    EXPECT_NE(other, first);
    EXPECT_NE(other->data(), first->data());
    const auto again = cubeFor({32.0, 255.0, 0.0, 1.0}, 10);
    EXPECT_NE(again, first);
    EXPECT_EQ(again->data(), first->data());
}

TEST(ChromaKeyFilter, KeysAnImageUnlessTheFilterObjectIsAskedFor) {
    QImage img(2, 1, QImage::Format_ARGB32_Premultiplied);
    img.setPixel(0, 0, qRgba(0, 255, 0, 255));
    img.setPixel(1, 0, qRgba(255, 0, 0, 255));
    const Value image(qrn::ImageHandle(std::make_shared<const QImage>(img)));
    auto result = chromaKeyClass().chromaKeyFilter(image, {32.0, 255.0, 0.0, 1.0}, 0, 0, false, 10);
    ASSERT_TRUE(result && std::holds_alternative<qrn::ImageHandle>(*result));
    const QImage& out = *std::get<qrn::ImageHandle>(*result);
    EXPECT_EQ(out.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(out.pixel(0, 0), 0u);
    EXPECT_EQ(out.pixel(1, 0), qRgba(255, 0, 0, 255));
    result = chromaKeyClass().chromaKeyFilter(image, {32.0, 255.0, 0.0, 1.0}, 0, 0, true, 10);
    EXPECT_TRUE(result && std::holds_alternative<qrn::graphics::ContentFilterPtr>(*result));
    EXPECT_FALSE(chromaKeyClass().chromaKeyFilter(image, {32.0, 255.0, 0.0, 1.0}, 0, 0, false, NAN));
}

class ChromaKeyPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        setFilterEditingHost(host);
        host->videoValues = {filterValuesEntry{Value()}, filterValuesEntry{Value()},
                             filterValuesEntry{Value()}};
        host->layerValues = {
            filterValuesEntry{Value(layerImage), Value::colour(0, 0, 255, 1), Value(7.0), Value(0), Value(0)},
            filterValuesEntry{Value()}, filterValuesEntry{Value()}};
        chromaKeyRgbClass().setPanelOutlets(swatch, slider);
    }
    std::shared_ptr<fakeEditingHost> host = std::make_shared<fakeEditingHost>();
    std::shared_ptr<fakeSwatch> swatch = std::make_shared<fakeSwatch>();
    std::shared_ptr<fakeSlider> slider = std::make_shared<fakeSlider>();
    qrn::ImageHandle layerImage = solidImage(2, 2, qRgba(1, 2, 3, 255));
};

TEST_F(ChromaKeyPanel, TwoChangesInABurstApplyOnceWithTheSecondValue) {
    chromaKeyRgbClass panel;
    slider->current = 20;
    panel.sliderChanged(qrn::Colour{1, 0, 0, 1}, true);
    EXPECT_EQ(swatch->background, (qrn::Colour{1, 0, 0, 1}));
    qrn::MainQueue::advance(0.02);
    slider->current = 25;
    panel.sliderChanged(qrn::Colour{0, 0, 1, 1}, true);
    qrn::MainQueue::advance(0.04);
    EXPECT_TRUE(host->applied.empty());
    qrn::MainQueue::advance(0.02);
    ASSERT_EQ(host->applied.size(), 1u);
    const appliedFilter& a = host->applied[0];
    EXPECT_TRUE(a.display);
    EXPECT_EQ(a.index, 0);
    EXPECT_TRUE(a.video);
    EXPECT_TRUE(a.exportData);
    EXPECT_EQ(a.values, (filterValuesEntry{Value::colour(0, 0, 255, 1), Value(25.0), Value(0), Value(0)}));
    qrn::MainQueue::advance(1);
    EXPECT_EQ(host->applied.size(), 1u);
}

TEST_F(ChromaKeyPanel, ALayerKeepsItsImageInFrontAndANegativeRangeIsStoredAsZero) {
    chromaKeyRgbClass panel;
    swatch->background = qrn::Colour{0.5, 1, 0, 1};
    slider->current = -3;
    panel.sliderChanged(std::nullopt, false);
    qrn::MainQueue::advance(0.05);
    ASSERT_EQ(host->applied.size(), 1u);
    EXPECT_EQ(host->applied[0].values, (filterValuesEntry{Value(layerImage), Value::colour(128, 255, 0, 1),
                                                          Value(0.0), Value(0), Value(0)}));
    EXPECT_FALSE(host->applied[0].video);
}

TEST_F(ChromaKeyPanel, ControlsShowTheGivenOrStoredKey) {
    chromaKeyRgbClass panel;
    panel.changeSliderValues(std::nullopt, std::nullopt, std::nullopt, std::nullopt, false);
    EXPECT_EQ(swatch->background, (qrn::Colour{0, 0, 1, 1}));
    EXPECT_EQ(slider->current, 7.0);
    EXPECT_EQ(swatch->borderWidth, 1.0);
    EXPECT_EQ(swatch->cornerRadius, 4.0);
    // The video has no key yet: the defaults.
    panel.changeSliderValues(std::nullopt, std::nullopt, std::nullopt, std::nullopt, true);
    EXPECT_EQ(swatch->background, (qrn::Colour{32.0 / 255, 1, 0, 1}));
    EXPECT_EQ(slider->current, 10.0);
    panel.changeSliderValues(std::vector<double>{255, 0, 0, 1}, 3.0, 0, 0, true);
    EXPECT_EQ(swatch->background, (qrn::Colour{1, 0, 0, 1}));
    EXPECT_EQ(slider->current, 3.0);
    // A video key as a reopened project holds it: a plain list of numbers.
    host->videoValues[0] = filterValuesEntry{Value::list({255, 0, 0, 1}), Value(12.0), Value(0), Value(0)};
    panel.changeSliderValues(std::nullopt, std::nullopt, std::nullopt, std::nullopt, true);
    EXPECT_EQ(swatch->background, (qrn::Colour{1, 0, 0, 1}));
    EXPECT_EQ(slider->current, 12.0);
}

TEST_F(ChromaKeyPanel, ColourPanelOpensOnTheSelectedTargetsKey) {
    auto panelWindow = std::make_shared<fakeColourPanel>();
    setSharedColourPanel(panelWindow);
    chromaKeyRgbClass panel;
    panel.setColourChangeResponder(std::string("chroma key panel"));
    panel.openColourPanel(); // nothing selected: the default key
    EXPECT_EQ(panelWindow->colour, (qrn::Colour{32.0 / 255, 1, 0, 1}));
    EXPECT_FALSE(panelWindow->showsAlpha);
    EXPECT_EQ(std::any_cast<std::string>(globalAppSettingsClass().getColourChangeResponderClass()),
              "chroma key panel");
    host->layerSelected = true;
    panel.openColourPanel();
    EXPECT_EQ(panelWindow->colour, (qrn::Colour{0, 0, 1, 1}));
    EXPECT_EQ(panelWindow->shown, 2);
}

TEST(ChromaKeyPanelUnloaded, ChangesWithoutControlsDoNothing) {
    auto host = std::make_shared<fakeEditingHost>();
    setFilterEditingHost(host);
    chromaKeyRgbClass().changeSliderValues(std::nullopt, std::nullopt, std::nullopt, std::nullopt, true);
    chromaKeyRgbClass().sliderChanged(qrn::Colour{1, 0, 0, 1}, true);
    qrn::MainQueue::advance(1);
    EXPECT_TRUE(host->applied.empty());
}
