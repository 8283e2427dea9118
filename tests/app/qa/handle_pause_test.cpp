// A handle drag with pauses: the presenter holds the mouse still for a moment while resizing or
// turning a layer. The drag is one change, recorded at the release, so undo goes all the way
// back to before the press and redo all the way to the release.
#include <gtest/gtest.h>

#include "../preview/preview_fixture.h"
#include "Controller/Editing/Preview/previewGestureUndo.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/dragViewView.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/event.h"

using namespace previewtest;
using qrn::ui::EventType;

namespace {

struct pausedHandleScene {
    previewScene scene;
    previewLayerClass model;
    std::shared_ptr<dragViewView> view = qrn::ui::makeView<dragViewView>(qrn::Rect(0, 0, 556, 313));

    pausedHandleScene() {
        undoRedoClass().clearClass();
        scene.addOverlay();
        scene.addAsset();
        scene.addLayer(1, {100, 50, 200, 100});
        auto locks = model.getLayerResizeWithAspectRatioArray();
        locks[1][0] = {0.0, 2.0};
        model.setLayerResizeWithAspectRatioArray(locks);
        model.layerHitTestAtPoint({150, 100});
    }
    ~pausedHandleScene() {
        undoRedoClass().clearClass();
        model.setRotateButtonSelected(0);
        model.setResizeButtonSelected(true);
        model.setDraggingLayer(false);
        model.setMouseDown(false);
    }
    qrn::ui::Event at(EventType type, qrn::Point inPreview) const {
        return qrn::ui::Event::mouse(type, scene.drop->convertPointToView(inPreview, nullptr));
    }
    // Presses a handle as its view does, then drags through the points, resting a quarter of a
    // second at each, and releases at the last.
    void dragHandle(int handle, std::initializer_list<qrn::Point> points) {
        undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(handle == -1), std::nullopt);
        model.setRotateButtonSelected(handle);
        qrn::Point last;
        for (const auto& p : points) {
            view->mouseDragged(at(EventType::MouseDragged, p));
            qrn::MainQueue::advance(0.25);
            last = p;
        }
        view->mouseUp(at(EventType::MouseUp, last));
        qrn::MainQueue::advance(0.25);
    }
    std::vector<double> frame() { return model.getLayerOriginSizeArray()[1][0]; }
};

} // namespace

// Undoes every entry, then redoes every entry, each step as the Edit menu does it.
void undoAll() {
    while (undoRedoClass::getUndoPosition() > 0) {
        undoRedoClass().undo();
        qrn::MainQueue::advance(0.3);
    }
}
void redoAll() {
    while (undoRedoClass::getUndoPosition() < int(undoRedoClass::getUndoList().size())) {
        undoRedoClass().redo();
        qrn::MainQueue::advance(0.3);
    }
}

TEST(HandlePause, AResizeWithPausesUndoesToBeforeThePressAndRedoesToTheRelease) {
    pausedHandleScene g;
    g.dragHandle(-2, {{300, 150}, {320, 160}, {340, 170}});
    const auto resized = g.frame();
    ASSERT_NEAR(resized[2], 240, 1e-6);
    const auto& undo = undoRedoClass::getUndoList();
    ASSERT_FALSE(undo.empty()) << "the resize left nothing to undo";
    EXPECT_EQ(undo.front().actionType, "resizeLayer");
    EXPECT_EQ(std::get<qrn::Size>(undo.front().beforeValues[0]), (qrn::Size{200, 100}));
    EXPECT_EQ(std::get<qrn::Size>(undoRedoClass::getRedoList().back()[0]),
              (qrn::Size{resized[2], resized[3]}));

    undoAll();
    const std::vector<double> start{100, 50, 200, 100};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(g.frame()[i], start[i], 1e-6) << i;
    redoAll();
    EXPECT_NEAR(g.frame()[2], resized[2], 1e-6);
    EXPECT_NEAR(g.frame()[3], resized[3], 1e-6);
}

TEST(HandlePause, ATurnWithPausesUndoesToBeforeThePressAndRedoesToTheRelease) {
    pausedHandleScene g;
    g.dragHandle(-1, {{350, 150}, {330, 220}, {300, 250}});
    const double turned = g.model.getLayerRotateArray()[1][0];
    const auto& undo = undoRedoClass::getUndoList();
    ASSERT_FALSE(undo.empty());
    EXPECT_EQ(undo.front().actionType, "rotateLayer");
    EXPECT_DOUBLE_EQ(std::get<double>(undo.front().beforeValues[0]), 0.0);
    EXPECT_DOUBLE_EQ(std::get<double>(undoRedoClass::getRedoList().back()[0]), turned);

    undoAll();
    EXPECT_DOUBLE_EQ(g.model.getLayerRotateArray()[1][0], 0.0);
    redoAll();
    EXPECT_DOUBLE_EQ(g.model.getLayerRotateArray()[1][0], turned);
}
