#include <gtest/gtest.h>

#include <QImage>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/Symbols/imagePickerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/svgIconClass.h"
#include "View/Editing/SettingsPanel/Symbols/imagePickerController.h"
#include "View/Editing/dragViewView.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/iconViewView.h"
#include "platform/graphics/gradient_layer.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/dragging.h"
#include "platform/ui/image_view.h"
#include "platform/ui/resources.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/window.h"
#include "settings_fixture.h"

using namespace settingstest;

namespace {

class Picker : public SettingsPanelTest {
  protected:
    void TearDown() override {
        qrn::ui::setDragDriver({});
        SettingsPanelTest::TearDown();
    }
    // A picker on a strip and grid area of the given widths, outside any window.
    void makePicker(double stripWidth, double gridWidth) {
        strip = qrn::ui::View::make(qrn::Rect(0, 0, stripWidth, 46));
        grid = qrn::ui::View::make(qrn::Rect(0, 0, gridWidth, 600));
        imagePickerClass picker;
        picker.setViews(grid, strip);
        picker.initializeScrollViews();
    }
    std::shared_ptr<qrn::ui::View> document() const {
        auto scroll = std::dynamic_pointer_cast<qrn::ui::ScrollView>(grid->subviews().front());
        return scroll->documentView();
    }
    std::shared_ptr<qrn::ui::View> strip, grid;
    // Drags started from now on drop at one point of the editing screen's preview; `dragged`
    // gets the last drag's picture.
    static void dropDragsOnThePreview(viewLoaderController& editor, QImage& dragged) {
        qrn::ui::Window* window = editor.view()->window();
        const qrn::Point target = editor.dragView->convertPointToView({200, 150}, nullptr);
        qrn::ui::setDragDriver([window, target, &dragged](const qrn::ui::DragRequest& r) -> unsigned {
            dragged = r.image;
            qrn::ui::DraggingInfo info(target, r.pasteboard, r.operationMask);
            info.setDraggingSource(r.sourceView);
            info.setDraggedImage(r.image);
            window->draggingEntered(info);
            return window->performDrop(info) ? qrn::ui::DragOperationCopy : qrn::ui::DragOperationNone;
        });
    }
};

} // namespace

TEST_F(Picker, TheStripShowsTheIconsThatFitAndTheGridIsCentredInSixColumns) {
    for (const auto& [width, icons] :
         std::vector<std::pair<double, size_t>>{{123, 0}, {124, 1}, {351, 6}, {352, 7}}) {
        makePicker(width, 400);
        EXPECT_EQ(imagePickerClass().getMenuIcons().size(), icons) << width;
    }
    makePicker(352, 300);
    EXPECT_EQ(document()->subviews()[0]->frame(), qrn::Rect(0, 0, 50, 50));
    makePicker(352, 500);
    auto tiles = document()->subviews();
    ASSERT_EQ(tiles.size(), 21u);
    EXPECT_EQ(tiles[0]->frame().origin.x, 100);
    EXPECT_EQ(tiles[7]->frame(), qrn::Rect(152, 52, 50, 50));
    EXPECT_EQ(document()->frame().height(), 208);
    EXPECT_EQ(grid->subviews().front()->frame(), qrn::Rect(0, 10, 500, 580));

    // Animated tiles carry their running number on a hidden first frame; stills carry 0.
    auto firstFrame = [&](size_t i) { return tiles[i]->subviews()[0]; };
    EXPECT_EQ(firstFrame(0)->tag(), 1);
    EXPECT_TRUE(firstFrame(0)->isHidden());
    EXPECT_EQ(firstFrame(3)->tag(), 4);
    EXPECT_EQ(firstFrame(1)->tag(), 0);
    EXPECT_EQ(tiles[0]->subviews()[1]->subviews().size(), 6u);
    EXPECT_EQ(imagePickerClass().getImages(4).size(), 6u);
    EXPECT_TRUE(imagePickerClass().getImages(99).empty());
    EXPECT_EQ(imagePickerClass().getNamedImages(1).front().first, "blizzard01");

    // "uv" is the third icon from the left; a press on it shows its one symbol.
    auto icons = imagePickerClass().getMenuIcons();
    auto uv = strip->subviews()[1]->subviews()[4];
    ASSERT_EQ(uv->subviews()[0]->tag(), 2);
    uv->mouseDown(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {5, 5}));
    for (size_t i = 0; i < icons.size(); ++i)
        EXPECT_EQ(highlighted(icons[i]), i == icons.size() - 1 - 2) << i;
    EXPECT_EQ(document()->subviews().size(), 1u);
    EXPECT_EQ(document()->frame().height(), 52);
}

TEST_F(Picker, EveryNameIsAPictureAndTilesShadeFromBlueToClear) {
    size_t entries = 0, animated = 0;
    for (const auto& category : imagePickerClass::symbolTable())
        for (const auto& entry : category.front()) {
            ++entries;
            animated += entry[0].toInt() == 3;
            for (size_t i = 1; i < entry.size(); ++i)
                EXPECT_TRUE(qrn::NamedImages::exists(entry[i].toString())) << entry[i].toString();
        }
    EXPECT_EQ(entries, 50u);
    EXPECT_EQ(animated, 12u);
    for (const auto& [one, name] : imagePickerClass::categoryTable())
        EXPECT_TRUE(qrn::NamedImages::exists(name)) << name;

    makePicker(352, 500);
    auto tile = document()->subviews()[2];
    auto gradient =
        std::dynamic_pointer_cast<qrn::graphics::GradientLayer>(tile->layer()->sublayers().front());
    ASSERT_TRUE(gradient);
    // Only the gradient: the picture is hidden for the look of the shading alone.
    tile->subviews()[0]->setHidden(true);
    const QImage drawn = qrn::graphics::Renderer().snapshot(*tile->layer(), 0, 1.0);
    const QColor topLeft = drawn.pixelColor(2, 2), bottomRight = drawn.pixelColor(47, 47);
    EXPECT_GT(topLeft.blue(), 150);
    EXPECT_GT(topLeft.alpha(), 200);
    EXPECT_EQ(bottomRight.alpha(), 0);
}

TEST_F(Picker, TilesDraggedOntoThePreviewBecomeLayers) {
    ASSERT_TRUE(createProject());
    auto* editor = screen();
    auto pane = shownPane();
    ASSERT_TRUE(pane);
    auto* picker = dynamic_cast<imagePickerController*>(pane->viewController());
    ASSERT_TRUE(picker);
    QImage dragged;
    dropDragsOnThePreview(*editor, dragged);
    auto scroll = std::dynamic_pointer_cast<qrn::ui::ScrollView>(picker->parentView->subviews().front());
    const auto tiles = scroll->documentView()->subviews();
    const auto previous = previewLayerClass().getImageReferenceArray();
    const size_t a = size_t(previewLayerClass().getSelectedAssetIndex());
    const size_t layersBefore = previewLayerClass().getLayerArray()[a].size();
    // "sun" is tile 18, "blizzard" tile 0.
    clickCentre(*tiles[18]);
    EXPECT_EQ(previewLayerClass().getLayerArray()[a].size(), layersBefore + 1);
    clickCentre(*tiles[0]);
    const auto references = previewLayerClass().getImageReferenceArray()[a];
    ASSERT_EQ(references.size(), previous[a].size() + 2);
    EXPECT_EQ(references[references.size() - 2][2].toString(), "sun");
    EXPECT_EQ(references.back()[0].toInt(), 2);
    EXPECT_EQ(references.back()[1].toString(), "blizzard01");
    EXPECT_EQ(previewLayerClass().getLayerArray()[a].size(), layersBefore + 2);
    // The tile's first frame is hidden again after its snapshot.
    EXPECT_TRUE(tiles[0]->subviews()[0]->isHidden());
}

TEST_F(Picker, ADroppedStillSymbolCarriesNoneOfTheTilesShading) {
    ASSERT_TRUE(createProject());
    auto* editor = screen();
    auto* picker = dynamic_cast<imagePickerController*>(shownPane()->viewController());
    ASSERT_TRUE(picker);
    QImage dragged;
    dropDragsOnThePreview(*editor, dragged);
    auto scroll = std::dynamic_pointer_cast<qrn::ui::ScrollView>(picker->parentView->subviews().front());
    auto tile = scroll->documentView()->subviews()[18]; // "sun"
    clickCentre(*tile);
    advance(1.0);
    // The tile itself keeps its shading.
    EXPECT_EQ(tile->layer()->sublayers().size(), 2u);
    EXPECT_FALSE(tile->layer()->sublayers().front()->isHidden());
    ASSERT_FALSE(dragged.isNull());
    EXPECT_EQ(qAlpha(dragged.pixel(4, 4)), 0);

    // With a filter on, the layer is drawn from the dropped picture: its corners stay clear.
    const size_t a = size_t(previewLayerClass().getSelectedAssetIndex());
    const std::string id = previewLayerClass().getLayerArray()[a].back();
    editViewClass().applyFilter(true, 2, filterValuesEntry{qrn::Value()}, false, true);
    auto container =
        previewLayerClass().getConfiguration()->layerContainerView->viewWithTag(std::stoi(id))->superview();
    auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(container->subviews()[1]);
    ASSERT_TRUE(picture);
    const QImage shown = picture->image();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(qAlpha(shown.pixel(1, 1)), 0);
    EXPECT_GT(qAlpha(shown.pixel(shown.width() / 2, shown.height() / 2)), 200);
}
