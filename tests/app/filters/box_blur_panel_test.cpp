#include <gtest/gtest.h>

#include "Filters/BoxBlur/boxBlurClass.h"
#include "filters_test_support.h"

using qrn::Value;

TEST(BoxBlurPanel, SliderStartsAtTheStoredRadiusOrItsMinimum) {
    auto host = std::make_shared<fakeEditingHost>();
    setFilterEditingHost(host);
    auto slider = std::make_shared<fakeSlider>();
    slider->minimum = 0.5;
    const qrn::ImageHandle image = solidImage(2, 2, qRgba(1, 2, 3, 255));
    host->layerValues = {filterValuesEntry{Value()}, filterValuesEntry{Value()}, filterValuesEntry{Value()}};
    boxBlurClass(slider, false);
    EXPECT_EQ(slider->current, 0.5);
    host->layerValues[1] = filterValuesEntry{Value(image), Value(4.0)};
    boxBlurClass(slider, false);
    EXPECT_EQ(slider->current, 4.0);
    host->layerValues[1] = filterValuesEntry{Value(image)};
    boxBlurClass(slider, false);
    EXPECT_EQ(slider->current, 0.5);
    host->videoValues = {filterValuesEntry{Value()}, filterValuesEntry{Value(3.0)},
                         filterValuesEntry{Value()}};
    boxBlurClass(slider, true);
    EXPECT_EQ(slider->current, 3.0);
    EXPECT_EQ(boxBlurClass().getMinimumSliderValue(), 0.0);
}

TEST(BoxBlurPanel, SliderMovesStoreTheRadiusAtOnceKeepingALayersImage) {
    auto host = std::make_shared<fakeEditingHost>();
    setFilterEditingHost(host);
    auto slider = std::make_shared<fakeSlider>();
    const qrn::ImageHandle image = solidImage(2, 2, qRgba(1, 2, 3, 255));
    host->videoValues = {filterValuesEntry{Value()}, filterValuesEntry{Value()}, filterValuesEntry{Value()}};
    host->layerValues = {filterValuesEntry{Value()}, filterValuesEntry{Value(image), Value(1.0)},
                         filterValuesEntry{Value()}};
    boxBlurClass panel(slider, true);
    slider->current = 6.5;
    panel.sliderChanged(true);
    slider->current = 2.0;
    panel.sliderChanged(false);
    ASSERT_EQ(host->applied.size(), 2u);
    EXPECT_EQ(host->applied[0].values, filterValuesEntry{Value(6.5)});
    EXPECT_TRUE(host->applied[0].video);
    EXPECT_EQ(host->applied[1].values, (filterValuesEntry{Value(image), Value(2.0)}));
    EXPECT_EQ(host->applied[1].index, 1);
    EXPECT_TRUE(host->applied[1].display && host->applied[1].exportData);
}
