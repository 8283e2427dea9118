#include <gtest/gtest.h>

#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Filters/BoxBlur/boxBlurClass.h"
#include "app/filters/filters_test_support.h"
#include "app/preview/preview_fixture.h"
#include "layers_support.h"
#include "platform/imaging/filters.h"
#include "platform/ui/image_view.h"
#include "platform/ui/view.h"

using namespace layerstest;
using previewtest::previewScene;
using qrn::Value;

namespace {

// A 4 x 4 picture, green on the left half (the key colour), a ramp of reds on the right.
qrn::ImageHandle testPicture() {
    QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            image.setPixel(x, y, x < 2 ? qRgba(0, 255, 0, 255) : qRgba(60 * y, 20, 20, 255));
    return std::make_shared<const QImage>(image);
}

void setLayerTables(int a, int l, std::vector<bool> flags, std::vector<int> order, filterValuesArray values) {
    filterClass filters;
    auto allFlags = filters.getLayerFilter();
    auto allOrders = filters.getLayerFilterOrder();
    auto allValues = filters.getLayerFilterValues();
    allFlags[size_t(a)][size_t(l)] = std::move(flags);
    allOrders[size_t(a)][size_t(l)] = std::move(order);
    allValues[size_t(a)][size_t(l)] = std::move(values);
    filters.setLayerFilter(allFlags);
    filters.setLayerFilterOrder(allOrders);
    filters.setLayerFilterValues(allValues);
}

qrn::ImageHandle apply(int index, const qrn::ImageHandle& image, filterValuesEntry entry) {
    entry[0] = Value(image);
    return std::get<qrn::ImageHandle>(*filterClass().filters(index, entry, false, false));
}

} // namespace

TEST(FilterChain, RunsEnabledFiltersInTheOrderListsSequenceOrNoneForMalformedTables) {
    previewScene scene;
    scene.addAsset();
    dropImage(1, {40, 40});
    editViewClass edit;
    const auto image = testPicture();
    const filterValuesEntry key{Value(image), Value(std::vector<double>{0, 1, 0, 1})};
    const filterValuesEntry median{Value(image)};
    const filterValuesArray values{key, filterValuesEntry{Value(image)}, median};

    setLayerTables(1, 0, {false, false, false}, {0, 1, 2}, values);
    EXPECT_TRUE(edit.getFiltersArrayOrFilteredImage(nullptr, false, std::nullopt, 0).filters.empty());
    EXPECT_EQ(edit.getFiltersArrayOrFilteredImage(image, false, std::nullopt, 0).image, image);

    setLayerTables(1, 0, {true, false, true}, {0, 1, 2}, values);
    EXPECT_EQ(edit.getFiltersArrayOrFilteredImage(nullptr, false, std::nullopt, 0).filters.size(), 2u);
    const auto keyedThenMedian = apply(2, apply(0, image, key), median);
    EXPECT_EQ(*edit.getFiltersArrayOrFilteredImage(image, false, std::nullopt, 0).image, *keyedThenMedian);
    // Another order runs the same filters, each with its own values, the other way round.
    setLayerTables(1, 0, {true, false, true}, {2, 1, 0}, values);
    const auto medianThenKeyed = apply(0, apply(2, image, median), key);
    EXPECT_EQ(*edit.getFiltersArrayOrFilteredImage(image, false, std::nullopt, 0).image, *medianThenKeyed);

    for (const auto& [flags, order] : std::vector<std::pair<std::vector<bool>, std::vector<int>>>{
             {{true}, {0, 1, 2}}, {{true, true, true}, {0, 0, 1}}, {{true, true, true}, {}}}) {
        setLayerTables(1, 0, flags, order, values);
        EXPECT_TRUE(edit.getFiltersArrayOrFilteredImage(nullptr, false, std::nullopt, 0).filters.empty());
        EXPECT_EQ(edit.getFiltersArrayOrFilteredImage(image, false, std::nullopt, 0).image, image);
    }
}

TEST(FilterChain, TheBoxBlurPanelChangesTheSelectedLayersPicture) {
    previewScene scene;
    scene.addAsset();
    const auto id = dropImage(1, {40, 40});
    auto view = scene.layerView(id);
    auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(view->subviews()[1]);
    ASSERT_TRUE(picture);
    const QImage before = picture->image();
    // A blur entry that holds a picture and no radius yet.
    auto values = filterClass().getLayerFilterValues();
    values[1][0][1] = filterValuesEntry{Value(testPicture())};
    filterClass().setLayerFilterValues(values);

    editViewClass::registerFilterEditingHost();
    auto slider = std::make_shared<fakeSlider>();
    boxBlurClass panel(slider, false);
    slider->current = 3.0;
    panel.sliderChanged(false);
    setFilterEditingHost(nullptr);

    EXPECT_EQ(filterClass().getLayerFilter()[1][0][1], true);
    // The layer keeps its own picture; its view blurs it with the panel's radius as it draws it.
    EXPECT_EQ(picture->image(), before);
    const auto& shown = picture->layer()->contentFilters();
    ASSERT_EQ(shown.size(), 1u);
    const auto blur = std::dynamic_pointer_cast<qrn::imaging::BoxBlurFilter>(shown[0]);
    ASSERT_TRUE(blur);
    EXPECT_EQ(blur->radius(), 3.0);
}
