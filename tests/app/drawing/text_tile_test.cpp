// A text layer's tile in the layer list is the text picture, also when the list is rebuilt
// after the preview has drawn the text (a reorder and its undo rebuild it).
#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/viewLoaderController.h"
#include "app/reorder/reorder_fixture.h"
#include "platform/ui/image_view.h"
#include "platform/ui/view.h"

namespace {

class TextTile : public reordertest::ReorderTest {
  protected:
    // The picture a layer's tile shows.
    static QImage tilePicture(const std::string& id) {
        const auto tile = layerTile(id);
        if (!tile)
            return {};
        for (const auto& sub : tile->subviews())
            if (auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(sub))
                return picture->image();
        return {};
    }
};

} // namespace

TEST_F(TextTile, ATextLayersTileShowsTheTextPictureAfterAReorderAndItsUndo) {
    createProject();
    const std::string text = addText(1, "A title", {100, 200});
    const std::string picture = addLayer(1, {300, 100}, 0xffff0000);
    editViewClass().loadScrollViewLayers();
    // The preview has drawn the text by now.
    editor->mainView->displayIfNeeded();
    const auto row = previewLayerClass().getLayerArray()[1];
    const size_t l = size_t(std::find(row.begin(), row.end(), text) - row.begin());
    const QImage textMain =
        *previewLayerClass()
             .getImageFromImageReferenceArray(previewLayerClass().getImageReferenceArray()[1][l])
             .toImage();
    ASSERT_EQ(tilePicture(text), textMain);

    const auto order = tilesBySlot();
    const int from = int(std::find(order.begin(), order.end(), text) - order.begin());
    const int to = int(std::find(order.begin(), order.end(), picture) - order.begin());
    press(layerTile(text));
    dragTo(layerSlotPoint(to));
    releaseAt(layerSlotPoint(to));
    ASSERT_NE(tilesBySlot(), order);
    EXPECT_EQ(tilePicture(text), textMain);
    undoRedoClass().undo();
    advance(0.3);
    editor->mainView->displayIfNeeded();
    ASSERT_EQ(tilesBySlot(), order);
    EXPECT_EQ(tilePicture(text), textMain) << "moved from slot " << from;
    EXPECT_FALSE(tilePicture(picture).isNull());
}
