// The preview's edge: layers are cut at the preview's frame, as the movie cuts them, and the
// handles of a layer that fills the preview stay inside it and take presses.
#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "View/Editing/viewLoaderController.h"
#include "app/layers/layers_support.h"
#include "app/reorder/reorder_fixture.h"
#include "drawing_support.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/view.h"

namespace {

class PreviewEdge : public reordertest::ReorderTest {
  protected:
    QImage shot() {
        editor->mainView->displayIfNeeded();
        return qrn::graphics::Renderer().renderToImage(*editor->mainView->layer(),
                                                       editor->mainView->bounds().size, 0);
    }
    // The preview's frame in the rendered picture (rows from the top).
    QRect previewInShot(const QImage& picture) const {
        const qrn::Rect r =
            editor->dragView->convertRectToView(editor->dragView->bounds(), editor->mainView.get());
        return QRect(int(std::lround(r.minX())), int(std::lround(picture.height() - r.maxY())),
                     int(std::lround(r.width())), int(std::lround(r.height())));
    }
};

bool isRed(QRgb p) {
    return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}

} // namespace

TEST_F(PreviewEdge, LayersAreCutAtThePreviewAndTheHandlesOfAFullLayerTakePresses) {
    createProject();
    const qrn::Rect preview = editor->dragView->bounds();
    const std::string full = layerstest::dropImage(1, {preview.width() * 2, preview.height() * 2},
                                                   {preview.width() / 2, preview.height() / 2}, 0xffff0000);
    ASSERT_FALSE(full.empty());
    advance(0.5);
    previewLayerClass model;
    model.layerHitTestAtPoint(preview.center());
    ASSERT_EQ(model.getSelectedLayer(), std::stoi(full));

    // Each handle lies wholly inside the preview and answers a press.
    for (int tag : {-2, -1}) {
        const auto marker = editor->dragView->viewWithTag(tag);
        ASSERT_TRUE(marker && marker->superview());
        const auto handle = marker->superview();
        const qrn::Rect inPreview = handle->convertRectToView(handle->bounds(), editor->dragView.get());
        EXPECT_GE(inPreview.minX(), -1e-6) << tag;
        EXPECT_GE(inPreview.minY(), -1e-6) << tag;
        EXPECT_LE(inPreview.maxX(), preview.maxX() + 1e-6) << tag;
        EXPECT_LE(inPreview.maxY(), preview.maxY() + 1e-6) << tag;
        model.setRotateButtonSelected(0);
        press(handle, handle->bounds().center());
        EXPECT_EQ(model.getRotateButtonSelected(), tag) << "the handle took the press";
        releaseAt(inMain(handle, handle->bounds().center()));
    }

    // Turned, the full layer's corners reach past the preview; nothing of it shows outside.
    model.resizeOrRotateLayer(true, std::vector<double>{0.5}, false, std::nullopt, false, false, false, true,
                              0, 0, false, false);
    const QImage picture = shot();
    const QRect inside = previewInShot(picture);
    // Bands just above and below the preview, which the turned corners would cover.
    const QRect above(inside.left(), inside.top() - 10, inside.width(), 9);
    const QRect below(inside.left(), inside.bottom() + 2, inside.width(), 9);
    EXPECT_TRUE(drawingtest::inkExtent(picture, isRed, above).isEmpty());
    EXPECT_TRUE(drawingtest::inkExtent(picture, isRed, below).isEmpty());
    // Inside, it reaches the edge: the cut is at the preview's frame.
    const QRect drawn = drawingtest::inkExtent(picture, isRed, inside);
    EXPECT_GE(drawn.width(), inside.width() - 2);
    EXPECT_GE(drawn.height(), inside.height() - 2);
}
