#include <gtest/gtest.h>

#include "Controller/Global/filterClass.h"
#include "Filters/ChromaKey/chromaKeyClass.h"
#include "Model/globalAppSettingsClass.h"
#include "filters_test_support.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/json.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/filters.h"
#include "platform/imaging/median.h"
#include "support/log_capture.h"

using qrn::Value;

namespace {

const filterValuesEntry kEmpty{Value()};

template <typename T> std::shared_ptr<T> filterOf(const std::optional<filterResult>& r) {
    if (!r || !std::holds_alternative<qrn::graphics::ContentFilterPtr>(*r))
        return nullptr;
    return std::dynamic_pointer_cast<T>(std::get<qrn::graphics::ContentFilterPtr>(*r));
}

QImage imageOf(const std::optional<filterResult>& r) {
    if (!r || !std::holds_alternative<qrn::ImageHandle>(*r) || !std::get<qrn::ImageHandle>(*r))
        return {};
    return *std::get<qrn::ImageHandle>(*r);
}

qrn::ImageHandle speckledImage() {
    QImage img(9, 7, QImage::Format_ARGB32_Premultiplied);
    img.fill(qRgba(40, 80, 120, 255));
    img.setPixel(4, 3, qRgba(255, 255, 255, 255));
    return std::make_shared<const QImage>(img);
}

} // namespace

TEST(FilterModel, NewProjectDefaultsAndASecondInstanceChangesNothing) {
    filterClass f;
    f.clearClass();
    EXPECT_EQ(f.getFilterString(), (std::vector<std::string>{"ChromaKeyRgb", "BoxBlur", "Median"}));
    EXPECT_EQ(f.getVideoFilter(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(f.getVideoFilterOrder(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(f.getVideoFilterValues(), (filterValuesArray{kEmpty, kEmpty, kEmpty}));

    f.setVideoFilter({true, false, true});
    f.setVideoFilterValues(
        {filterValuesEntry{Value::colour(1, 2, 3, 1), Value(5.0), Value(0), Value(0)}, kEmpty, std::nullopt});
    filterClass second;
    EXPECT_EQ(second.getVideoFilter(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(second.getVideoFilterValues()[0]->at(1), Value(5.0));
    EXPECT_FALSE(second.getVideoFilterValues()[2].has_value());
    EXPECT_EQ(second.getVideoFilterOrder(), (std::vector<int>{0, 1, 2}));
}

TEST(FilterModel, ClearClassResetsToOneEmptyAssetRowAndVideoDefaults) {
    filterClass f;
    f.setLayerFilter({{{true, false, false}}, {{false, true, false}, {false, false, true}}});
    f.setLayerFilterOrder({{{0, 1, 2}}, {{0, 1, 2}, {0, 1, 2}}});
    f.setLayerFilterValues(
        {{{kEmpty, kEmpty, kEmpty}}, {{kEmpty, kEmpty, kEmpty}, {kEmpty, kEmpty, kEmpty}}});
    f.setVideoFilter({true, true, true});
    f.setVideoFilterValues({std::nullopt, filterValuesEntry{Value(3.0)}, kEmpty});
    f.setFiltersForVideo(true);
    f.clearClass();
    EXPECT_EQ(f.getLayerFilter(), layerFilterArray{{}});
    EXPECT_EQ(f.getLayerFilterOrder(), layerFilterOrderArray{{}});
    EXPECT_EQ(f.getLayerFilterValues(), layerFilterValuesArray{{}});
    EXPECT_EQ(f.getVideoFilter(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(f.getVideoFilterOrder(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(f.getVideoFilterValues(), (filterValuesArray{kEmpty, kEmpty, kEmpty}));
    EXPECT_TRUE(f.getFiltersForVideo());
}

TEST(FilterModel, PlaceholdersCarryAReadableImageInEveryEntry) {
    filterClass f;
    f.clearClass();
    const qrn::ImageHandle image = speckledImage();
    f.addPlaceholderValuesToLayerArray(0, image, 0, true);
    f.addPlaceholderValuesToLayerArray(0, nullptr, 0, true);
    f.addPlaceholderValuesToLayerArray(0, std::make_shared<const QImage>(), 0, true);
    // Inserted in front of the others.
    f.addPlaceholderValuesToLayerArray(0, image, 0, false);

    const auto values = f.getLayerFilterValues()[0];
    ASSERT_EQ(values.size(), 4u);
    for (std::size_t layer : {0u, 1u})
        for (int id : {0, 1, 2}) {
            const filterValuesEntry& e = *values[layer][id];
            ASSERT_EQ(e.size(), 2u) << layer << " " << id;
            ASSERT_TRUE(e[0].isImage());
            EXPECT_EQ(*e[0].toImage(), *image);
            EXPECT_TRUE(e[1].isEmpty());
        }
    EXPECT_EQ(values[2], (filterValuesArray{kEmpty, kEmpty, kEmpty}));
    EXPECT_EQ(values[3], (filterValuesArray{kEmpty, kEmpty, kEmpty}));
    EXPECT_EQ(f.getLayerFilter()[0], (std::vector<std::vector<bool>>(4, {false, false, false})));
    EXPECT_EQ(f.getLayerFilterOrder()[0], (std::vector<std::vector<int>>(4, {0, 1, 2})));

    // So each filter of a fresh layer works on the layer's picture, not on nothing.
    EXPECT_EQ(imageOf(f.filters(1, values[0][1], false, false)), *image);
    EXPECT_EQ(imageOf(f.filters(2, values[0][2], false, false)),
              qrn::imaging::median3x3(qrn::imaging::Image::fromQImage(*image)).toQImage());

    // An asset the arrays do not have is left alone rather than written past the end.
    f.addPlaceholderValuesToLayerArray(3, nullptr, 0, true);
    EXPECT_EQ(f.getLayerFilter().size(), 1u);
}

namespace {

// Whether a chroma key result is the filter for this key and range: the table of the last key
// is kept, so asking for the same key and range again gives the very same table.
::testing::AssertionResult keyedWith(const std::optional<filterResult>& result, std::vector<double> key,
                                     double range) {
    const auto got = filterOf<qrn::imaging::ColourCubeFilter>(result);
    if (!got)
        return ::testing::AssertionFailure() << "no colour cube filter";
    const auto want = filterOf<qrn::imaging::ColourCubeFilter>(
        chromaKeyClass().chromaKeyFilter(Value(), key, 0, 0, true, range));
    if (got->cube() != want->cube())
        return ::testing::AssertionFailure() << "keyed with other parameters";
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(FilterDispatch, ChromaKeyRowsReadTheirParametersFromTheRightSlots) {
    filterClass f;
    const qrn::ImageHandle green = solidImage(3, 2, qRgba(0, 255, 0, 255));
    const qrn::ImageHandle red = solidImage(3, 2, qRgba(255, 0, 0, 255));
    const std::vector<double> defaultKey{32.0, 255.0, 0.0, 1.0}, blueKey{0.0, 0.0, 255.0, 1.0};

    // The filter-object flag goes to the chroma key, so every row can hand back its filter.
    EXPECT_TRUE(keyedWith(f.filters(0, kEmpty, true, true), defaultKey, 10.0));
    EXPECT_TRUE(
        keyedWith(f.filters(0, filterValuesEntry{Value(red), Value()}, false, true), defaultKey, 10.0));
    // Range 7 sits between a saturation range 3 and a brightness range 4 that the table ignores.
    const filterValuesEntry layerEntry{Value(red), Value(blueKey), Value(7.0), Value(3), Value(4)};
    EXPECT_TRUE(keyedWith(f.filters(0, layerEntry, false, true), blueKey, 7.0));
    const filterValuesEntry videoEntry{Value(blueKey), Value(7.0), Value(3), Value(4)};
    EXPECT_TRUE(keyedWith(f.filters(0, videoEntry, true, true), blueKey, 7.0));
    // A key colour as a project file gives it back: a plain list of numbers.
    const filterValuesEntry reread(
        qrn::json::toValue(qrn::Json::parse(R"([[0, 0, 255, 1], 7.0, 0, 0])")).toList());
    ASSERT_TRUE(reread[0].isList());
    EXPECT_TRUE(keyedWith(f.filters(0, reread, true, true), blueKey, 7.0));

    // With an image and the flag clear the image is keyed: default key, then a red key.
    EXPECT_EQ(imageOf(f.filters(0, filterValuesEntry{Value(green), Value()}, false, false)).pixel(0, 0), 0u);
    EXPECT_EQ(imageOf(f.filters(0, filterValuesEntry{Value(red), Value()}, false, false)).pixel(0, 0),
              qRgba(255, 0, 0, 255));
    const filterValuesEntry redKey{Value(red), Value::colour(255, 0, 0, 1), Value(10.0), Value(0), Value(0)};
    EXPECT_EQ(imageOf(f.filters(0, redKey, false, false)).pixel(2, 1), 0u);

    // Slots of the wrong kind are refused.
    EXPECT_FALSE(f.filters(0, filterValuesEntry{Value(red), Value("green")}, false, false));
    EXPECT_FALSE(f.filters(0, filterValuesEntry{Value::colour(255, 0, 0, 1), Value("wide")}, true, true));
    EXPECT_FALSE(f.filters(0, filterValuesEntry{Value::list({1, 2, "3", 4}), Value(7.0)}, true, true));
}

TEST(FilterDispatch, BoxBlurMedianAndUnknownRows) {
    filterClass f;
    const qrn::ImageHandle image = speckledImage();

    auto blur = filterOf<qrn::imaging::BoxBlurFilter>(f.filters(1, kEmpty, true, true));
    ASSERT_TRUE(blur);
    EXPECT_EQ(blur->radius(), 0.0);
    EXPECT_EQ(imageOf(f.filters(1, filterValuesEntry{Value(image), Value()}, false, false)), *image);
    const QImage blurred = imageOf(f.filters(1, filterValuesEntry{Value(image), Value(4.5)}, false, false));
    EXPECT_EQ(blurred, qrn::imaging::boxBlur(qrn::imaging::Image::fromQImage(*image), 4.5).toQImage());
    EXPECT_NE(blurred, *image);
    // The blur gets no filter-object flag: with an image it always filters.
    EXPECT_FALSE(imageOf(f.filters(1, filterValuesEntry{Value(image), Value(4.5)}, false, true)).isNull());
    blur = filterOf<qrn::imaging::BoxBlurFilter>(f.filters(1, filterValuesEntry{Value(4.5)}, true, true));
    ASSERT_TRUE(blur);
    EXPECT_EQ(blur->radius(), 4.5);

    EXPECT_EQ(imageOf(f.filters(2, filterValuesEntry{Value(image)}, false, false)),
              qrn::imaging::median3x3(qrn::imaging::Image::fromQImage(*image)).toQImage());
    EXPECT_TRUE(filterOf<qrn::imaging::MedianFilter>(f.filters(2, kEmpty, true, true)));
    EXPECT_TRUE(filterOf<qrn::imaging::MedianFilter>(f.filters(2, filterValuesEntry{}, true, true)));

    EXPECT_FALSE(f.filters(3, kEmpty, true, true));
    EXPECT_FALSE(f.filters(-1, kEmpty, true, true));
    for (int id : {0, 1, 2})
        EXPECT_FALSE(f.filters(id, std::nullopt, true, true)) << id;
}

TEST(FilterEditingStandIn, StoresTheVideoEntryAndFlagAndKeepsValuesForAnEmptyEntry) {
    filterClass f;
    f.clearClass();
    filterEditing().applyFilter(true, 1, filterValuesEntry{Value(6.0)}, true, false);
    EXPECT_EQ(f.getVideoFilter(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(f.getVideoFilterValues()[1], filterValuesEntry{Value(6.0)});
    filterEditing().applyFilter(false, 1, kEmpty, true, false);
    EXPECT_EQ(f.getVideoFilter(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(f.getVideoFilterValues()[1], filterValuesEntry{Value(6.0)});
    EXPECT_EQ(filterEditing().getLayerFilterValues(true), f.getVideoFilterValues());
}

namespace {

class FilterTrace : public qrn::test::LogCapture {
  protected:
    // The values of the first line of `stage` logged by `type`'s `function`.
    std::string values(const std::string& type, const std::string& function, const std::string& stage) {
        for (const auto& l : lines)
            if (l.find("[" + stage + "]") != std::string::npos &&
                l.find("| " + type + " | public " + function + " |") != std::string::npos)
                return l.substr(l.find(" - Values: "));
        return "(not logged)";
    }
};

} // namespace

TEST_F(FilterTrace, DispatchAndTheFiltersLogTheirNamedValues) {
    filterClass f;
    f.clearClass();
    f.addPlaceholderValuesToLayerArray(0, solidImage(2, 2, qRgba(0, 0, 0, 255)), 0, true);
    EXPECT_EQ(values("filterClass", "addPlaceholderValuesToLayerArray", "Input"),
              R"( - Values: {["assetArrayIndex": 0, "image": image(2x2)]})");

    f.filters(1, filterValuesEntry{Value(4.5)}, true, true);
    EXPECT_EQ(values("filterClass", "filters", "Input"),
              R"( - Values: {["VALUES_ARRAY": [4.5], "index": 1, "videoSelected": true]})");
    EXPECT_EQ(values("filterClass", "filters", "Output"), R"( - Values: {["filter": "boxBlur"]})");
    EXPECT_EQ(values("boxBlurClass", "boxBlurFilter", "Input"),
              R"( - Values: {["image": nil, "value": 4.5]})");

    lines.clear();
    f.filters(0, filterValuesEntry{Value(solidImage(1, 1, qRgba(0, 0, 0, 255))), Value()}, false, false);
    EXPECT_EQ(values("chromaKeyClass", "chromaKeyFilter", "Input"),
              R"( - Values: {["RGB_VALUES_ARRAY": colour[32.0, 255.0, 0.0, 1.0], "brightnessRangeValue": 0, )"
              R"("image": image(1x1), "saturationRangeValue": 0]})");
    EXPECT_EQ(values("chromaKeyClass", "chromaKeyFilter", "Output"), R"( - Values: {["image": image(1x1)]})");

    lines.clear();
    f.filters(2, kEmpty, false, false);
    EXPECT_EQ(values("medianClass", "medianFilter", "Input"), R"( - Values: {["image": nil]})");
    EXPECT_EQ(values("medianClass", "medianFilter", "Output"), R"( - Values: {["filter": "median"]})");
}
