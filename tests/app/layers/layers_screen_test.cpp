#include <gtest/gtest.h>

#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Landing/landingClass.h"
#include "Filters/BoxBlur/boxBlurClass.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Landing/landingController.h"
#include "app/filters/filters_test_support.h"
#include "app/model/model_fixture.h"
#include "app/shell/shell_fixture.h"
#include "layers_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/image_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

using namespace shelltest;
using namespace layerstest;

namespace {

class LayersOnScreen : public EditingShellTest {
  protected:
    void TearDown() override {
        previewLayerClass::setAddLayerToAssetScrollViewHook(nullptr);
        setFilterEditingHost(nullptr);
        EditingShellTest::TearDown();
    }

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

TEST_F(LayersOnScreen, EveryKindADuplicateAndAFilteredLayerDrawInThePreview) {
    createProject();
    placeThumbnailsInTiles();
    auto* editor = dynamic_cast<viewLoaderController*>(shownScreen());
    ASSERT_TRUE(editor);
    // The file a dropped picture was stored as, read back by the duplicate.
    modeltest::writePng(dir.path().toStdString() + "/Demo.qrn3ks/images/layer.png", 160, 90, 0xd04020);
    previewLayerClass model;
    const auto image = dropImage(1, {160, 90}, {110, 230}, 0xffd04020);
    const auto animated = dropAnimated(1, {90, 90}, {300, 230});
    const auto text = dropText(1, {430, 240});
    editViewClass().updateSelectedTextSymbolText(qrn::AttributedString("Hello QRN"),
                                                 std::vector<qrn::Value>{false, 1, 2});
    const auto blurred = dropImage(0, {120, 80}, {120, 90}, 0xff2060d0);
    auto filterValues = filterClass().getLayerFilterValues();
    // An edge to blur: half of the picture is white.
    QImage halves(120, 80, QImage::Format_ARGB32_Premultiplied);
    halves.fill(Qt::white);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 60; ++x)
            halves.setPixel(x, y, qRgba(32, 96, 208, 255));
    const auto edge = std::make_shared<const QImage>(halves);
    filterValues[0][0][1] = filterValuesEntry{qrn::Value(edge)};
    filterValues[0][0][0] = filterValuesEntry{qrn::Value(edge)};
    filterClass().setLayerFilterValues(filterValues);
    auto slider = std::make_shared<fakeSlider>();
    boxBlurClass panel(slider, false);
    slider->current = 8.0;
    panel.sliderChanged(false);
    layerstest::dropImage(1, {1, 1}); // selects the asset again
    model.removeLayer(std::nullopt, false);
    model.duplicateLayer(std::nullopt, std::stoi(image));
    const auto copy = std::to_string(*model.getSelectedLayer());
    advance(2.0);
    expectLayerInvariants();

    EXPECT_EQ(model.getLayerArray()[1], (std::vector<std::string>{image, copy, animated, text}));
    // The copy is a picture like its source, though a text layer is on top.
    EXPECT_TRUE(std::dynamic_pointer_cast<qrn::ui::ImageView>(
        editor->dragView->viewWithTag(std::stoi(copy))->superview()->subviews()[1]));
    auto textView = std::dynamic_pointer_cast<qrn::ui::TextView>(
        editor->dragView->viewWithTag(std::stoi(text))->superview()->subviews().back());
    ASSERT_TRUE(textView);
    EXPECT_EQ(textView->string(), "Hello QRN");
    // The strip's tile of the asset holds a copy of each of its layers and of the sticky one.
    for (const auto& id : {image, copy, animated, text, blurred})
        EXPECT_EQ(tilesHolding(id), id == blurred ? 2 : 1) << id;

    editor->mainView->displayIfNeeded();
    const auto size = editor->mainView->bounds().size;
    const QImage shot = qrn::graphics::Renderer().renderToImage(*editor->mainView->layer(), size, 0);
    ASSERT_FALSE(shot.isNull());
    if (const char* folder = std::getenv("QRN_SHOT_DIR")) {
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(shot.save(QString::fromStdString(std::string(folder) + "/layers.png")));
    }
}
