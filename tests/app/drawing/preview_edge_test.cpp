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
    // A red picture twice the preview's size dropped in its middle, selected by a press there.
    std::string selectRedLayerTwiceThePreview() {
        const qrn::Rect preview = editor->dragView->bounds();
        const std::string full =
            layerstest::dropImage(1, {preview.width() * 2, preview.height() * 2},
                                  {preview.width() / 2, preview.height() / 2}, 0xffff0000);
        EXPECT_FALSE(full.empty());
        if (full.empty())
            return full;
        advance(0.5);
        previewLayerClass model;
        model.layerHitTestAtPoint(preview.center());
        EXPECT_EQ(model.getSelectedLayer(), std::stoi(full));
        return full;
    }
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
    selectRedLayerTwiceThePreview();
    ASSERT_FALSE(HasFailure());
    previewLayerClass model;

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

namespace {

qrn::Point turned(qrn::Point p, qrn::Point about, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return {about.x + c * (p.x - about.x) - s * (p.y - about.y),
            about.y + s * (p.x - about.x) + c * (p.y - about.y)};
}

} // namespace

TEST_F(PreviewEdge, TheHandlesOfATurnedFullLayerStayInsideAndWorkAsItsCornersWould) {
    createProject();
    const qrn::Rect preview = editor->dragView->bounds();
    const std::string full = selectRedLayerTwiceThePreview();
    ASSERT_FALSE(HasFailure());
    previewLayerClass model;
    model.resizeOrRotateLayer(true, std::vector<double>{0.5}, false, std::nullopt, false, false, false, true,
                              0, 0, false, false);
    const auto handleView = [&](int tag) {
        const auto marker = editor->dragView->viewWithTag(tag);
        return marker ? marker->superview() : nullptr;
    };
    const auto expectInside = [&](const char* when) {
        for (int tag : {-2, -1}) {
            const auto handle = handleView(tag);
            ASSERT_TRUE(handle);
            const qrn::Rect r = handle->convertRectToView(handle->bounds(), editor->dragView.get());
            EXPECT_GE(r.minX(), -1e-6) << when << " " << tag;
            EXPECT_GE(r.minY(), -1e-6) << when << " " << tag;
            EXPECT_LE(r.maxX(), preview.maxX() + 1e-6) << when << " " << tag;
            EXPECT_LE(r.maxY(), preview.maxY() + 1e-6) << when << " " << tag;
        }
    };
    expectInside("turned");
    const auto centre = [&] {
        const auto f = layerstest::frameOf(full);
        return qrn::Point{f[0] + f[2] / 2, f[1] + f[3] / 2};
    };
    const qrn::Point c = editor->dragView->convertPointToView(centre(), editor->mainView.get());

    // Turning by the handle: a further 0.3 about the centre turns the layer by 0.3.
    auto rotate = handleView(-1);
    const qrn::Point from = inMain(rotate, {-1, -1});
    press(rotate);
    for (int step = 1; step <= 6; ++step)
        dragTo(turned(from, c, 0.05 * step));
    releaseAt(turned(from, c, 0.3));
    advance(0.5);
    EXPECT_NEAR(model.getLayerRotateArray()[1][0], 0.8, 0.03);
    expectInside("turned by the handle");

    // Resizing by the handle, the ratio free: the corner it works moves with the pointer, as it
    // does when the handle sits on its corner; a handle shown nearer the centre does not pull it in.
    auto locks = model.getLayerResizeWithAspectRatioArray();
    locks[1][0][0] = 0.0;
    model.setLayerResizeWithAspectRatioArray(locks);
    const double r = model.getLayerRotateArray()[1][0];
    const auto workedCorner = [&] {
        const auto f = layerstest::frameOf(full);
        return turned({f[0] + f[2], f[1] + f[3]}, {f[0] + f[2] / 2, f[1] + f[3] / 2}, r);
    };
    const qrn::Point corner = workedCorner();
    const auto sizeBefore = layerstest::frameOf(full);
    auto resize = handleView(-2);
    const qrn::Point grip = inMain(resize, {-1, -1});
    press(resize);
    for (int step = 1; step <= 4; ++step)
        dragTo({grip.x + 3 * step, grip.y + 2 * step});
    releaseAt({grip.x + 12, grip.y + 8});
    advance(0.5);
    const auto sizeAfter = layerstest::frameOf(full);
    EXPECT_GT(std::abs(sizeAfter[2] - sizeBefore[2]) + std::abs(sizeAfter[3] - sizeBefore[3]), 3.0)
        << "the layer changed size";
    EXPECT_NEAR(workedCorner().x, corner.x + 12, 1.0);
    EXPECT_NEAR(workedCorner().y, corner.y + 8, 1.0);
    expectInside("resized by the handle");
}
