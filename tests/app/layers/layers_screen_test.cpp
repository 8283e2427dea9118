#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Landing/landingClass.h"
#include "Filters/BoxBlur/boxBlurClass.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Landing/landingController.h"
#include "app/filters/filters_test_support.h"
#include "app/shell/shell_fixture.h"
#include "layers_support.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

using namespace shelltest;
using namespace layerstest;

namespace {

class LayersOnScreen : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        filterClass filters;
        flags = filters.getLayerFilter();
        orders = filters.getLayerFilterOrder();
        values = filters.getLayerFilterValues();
        videoFilter = filters.getVideoFilter();
        videoValues = filters.getVideoFilterValues();
        videoFrame = previewLayerClass().getVideoOriginSizeArray();
        videoScale = previewLayerClass().getVideoTransformedSize();
    }
    void TearDown() override {
        previewLayerClass::setAddLayerToAssetScrollViewHook(nullptr);
        setFilterEditingHost(nullptr);
        ShellTest::TearDown();
        filterClass filters;
        filters.setLayerFilter(flags);
        filters.setLayerFilterOrder(orders);
        filters.setLayerFilterValues(values);
        filters.setVideoFilter(videoFilter);
        filters.setVideoFilterValues(videoValues);
        previewLayerClass().setVideoOriginSizeArray(videoFrame);
        previewLayerClass().setVideoTransformedSize(videoScale);
    }
    layerFilterArray flags;
    layerFilterOrderArray orders;
    layerFilterValuesArray values;
    std::vector<bool> videoFilter;
    filterValuesArray videoValues;
    std::vector<double> videoFrame;
    qrn::Size videoScale;

    void createProject() {
        launch();
        panelAnswers.push_back(dir.path().toStdString() + "/Demo.qrn3ks");
        landingClass::getLandingViewController()->createNewProject();
        advance(1.0);
    }

    // The tile of an asset: the sticky tile, or the strip's tile labelled with the asset id.
    static std::shared_ptr<qrn::ui::View> tileOf(int asset) {
        editViewClass edit;
        if (asset == 0)
            return edit.getConfiguration()->stickyAsset->subviews().front();
        const auto id = std::stoi(previewLayerClass().getAssetArray()[size_t(asset)]);
        return edit.getAssetHorizontalScrollView()->viewWithTag(id)->superview();
    }
    // Puts thumbnails into the tiles as the asset strip does.
    static void placeThumbnailsInTiles() {
        previewLayerClass::setAddLayerToAssetScrollViewHook(
            [](int asset, const auto&, const std::vector<std::shared_ptr<qrn::ui::View>>& thumbnails,
               const std::string&, double) {
                for (size_t i = 0; i < thumbnails.size(); ++i)
                    tileOf(asset == 0 ? int(i) : asset)->subviews().back()->addSubview(thumbnails[i]);
            });
    }
    static int tilesHolding(const std::string& id) {
        int n = 0;
        for (size_t a = 0; a < previewLayerClass().getAssetArray().size(); ++a)
            n += tileOf(int(a))->subviews().back()->viewWithTag(std::stoi(id)) ? 1 : 0;
        return n;
    }
};

} // namespace

TEST_F(LayersOnScreen, TheHundredthLayerIsAddedTheNextShowTheLimitForThreeSecondsAfterTheLast) {
    createProject();
    auto label = editViewClass().getConfiguration()->videoLabel;
    ASSERT_TRUE(label);
    for (int i = 0; i < 100; ++i)
        ASSERT_FALSE(dropImage(1, {20, 20}, {100, 100}).empty()) << i;
    expectLayerInvariants();
    previewLayerClass model;
    const auto rows = model.getLayerArray();
    const auto references = model.getImageReferenceArray();
    EXPECT_TRUE(dropImage(1, {20, 20}).empty());
    advance(0.01);
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(label->stringValue(), "100/100 layers");
    EXPECT_EQ(model.getLayerArray(), rows);
    EXPECT_EQ(model.getImageReferenceArray(), references) << "the refused reference is taken back";
    advance(2.0);
    EXPECT_TRUE(dropText(1).empty());
    advance(2.0);
    EXPECT_FALSE(label->isHidden()) << "3 s after the second refusal, not the first";
    advance(1.1);
    EXPECT_TRUE(label->isHidden());
    expectLayerInvariants();
}

TEST_F(LayersOnScreen, AStickyLayerIsInEveryTileFilteredInEachAndLeavesThemAll) {
    createProject();
    placeThumbnailsInTiles();
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, true, false, false);
    model.addAsset(true, true, true, std::nullopt, std::nullopt, true, false, false);
    const auto sticky = dropImage(0, {80, 60});
    ASSERT_EQ(tilesHolding(sticky), 4);

    auto filterValues = filterClass().getLayerFilterValues();
    ASSERT_EQ(filterValues[0].size(), 1u);
    auto slider = std::make_shared<fakeSlider>();
    boxBlurClass panel(slider, false);
    slider->current = 4.0;
    panel.sliderChanged(false);
    for (size_t a = 0; a < model.getAssetArray().size(); ++a) {
        auto copy = tileOf(int(a))->subviews().back()->viewWithTag(std::stoi(sticky))->superview();
        EXPECT_EQ(copy->layer()->contentFilters().size(), 1u) << "tile " << a;
    }

    model.removeLayer(std::nullopt, false);
    EXPECT_EQ(tilesHolding(sticky), 0);
    expectLayerInvariants();
}
