#include <gtest/gtest.h>

#include "../preview/preview_fixture.h"
#include "Controller/Editing/Preview/previewGestureUndo.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/dragViewView.h"
#include "platform/ui/event.h"
#include "platform/ui/tracking_area.h"
#include "platform/ui/view.h"

using namespace previewtest;

namespace {

struct mouseScene {
    previewScene scene;
    previewLayerClass model;
    std::shared_ptr<dragViewView> view = qrn::ui::makeView<dragViewView>(qrn::Rect(0, 0, 556, 313));
    int symbolTagClears = 0;

    mouseScene() {
        undoRedoClass().clearClass();
        scene.addOverlay();
        scene.addAsset();
        scene.addLayer(1, {100, 50, 200, 100});
        dragViewView::setClearSymbolTagHook([this] { ++symbolTagClears; });
    }
    ~mouseScene() {
        dragViewView::setClearSymbolTagHook(nullptr);
        dragViewView::setGetDraggedLayerTagHook(nullptr);
        undoRedoClass().clearClass();
        model.setRotateButtonSelected(0);
        model.setResizeButtonSelected(true);
        model.setDraggingLayer(false);
        model.setMouseDown(false);
    }
    qrn::ui::Event at(qrn::ui::EventType type, qrn::Point inPreview) const {
        return qrn::ui::Event::mouse(type, scene.drop->convertPointToView(inPreview, nullptr));
    }
};

using qrn::ui::EventType;

} // namespace

TEST(GestureMouse, ADragMovesTheLayerAndMouseUpEndsItAndForgetsThePickedSymbol) {
    mouseScene g;
    ASSERT_EQ(g.view->trackingAreas().size(), 1u);
    EXPECT_EQ(g.view->trackingAreas()[0]->options(), 0x221u);
    g.model.layerHitTestAtPoint({150, 100});
    ASSERT_TRUE(g.model.getDraggingLayer());
    g.view->mouseDragged(g.at(EventType::MouseDragged, {150, 100}));
    g.view->mouseDragged(g.at(EventType::MouseDragged, {170, 110}));
    g.view->mouseUp(g.at(EventType::MouseUp, {170, 110}));
    EXPECT_EQ(g.model.getLayerOriginSizeArray()[1][0], (std::vector<double>{120, 60, 200, 100}));
    EXPECT_FALSE(g.model.getDraggingLayer());
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 1u);
    EXPECT_EQ(g.symbolTagClears, 1);

    // Leaving the preview ends the next drag the same way but keeps the picked symbol.
    g.model.setDraggingLayer(true);
    g.view->mouseDragged(g.at(EventType::MouseDragged, {170, 110}));
    g.view->mouseDragged(g.at(EventType::MouseDragged, {160, 110}));
    g.view->mouseExited(g.at(EventType::MouseExited, {160, 110}));
    EXPECT_EQ(g.model.getLayerOriginSizeArray()[1][0][0], 110);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 2u);
    EXPECT_EQ(g.symbolTagClears, 1);
    expectModelInvariants();
}

TEST(GestureMouse, AHandleDragTurnsAndItsSettleStepRecordsOneEntry) {
    mouseScene g;
    g.model.layerHitTestAtPoint({150, 100});
    undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(true), std::nullopt);
    g.model.setRotateButtonSelected(-1);
    g.view->mouseDragged(g.at(EventType::MouseDragged, {300, 50}));
    EXPECT_TRUE(g.model.getRotatedStarted());
    EXPECT_FALSE(g.model.getResizeButtonSelected());
    g.view->mouseDragged(g.at(EventType::MouseDragged, {300, 150}));
    g.view->mouseUp(g.at(EventType::MouseUp, {300, 150}));
    EXPECT_EQ(g.model.getRotateButtonSelected(), 0);
    EXPECT_TRUE(g.model.getResizeButtonSelected());
    EXPECT_FALSE(g.model.getRotatedStarted());
    EXPECT_NE(g.model.getLayerRotateArray()[1][0], 0);
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    qrn::MainQueue::advance(0.11);
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 1u);
    EXPECT_EQ(undoRedoClass::getUndoList()[0].actionType, "rotateLayer");
    expectModelInvariants();
}

TEST(GestureMouse, ARunningLayerListDragOwnsTheMouse) {
    mouseScene g;
    g.model.layerHitTestAtPoint({150, 100});
    dragViewView::setGetDraggedLayerTagHook([] { return std::optional<int>(7); });
    g.view->mouseDragged(g.at(EventType::MouseDragged, {150, 100}));
    g.view->mouseDragged(g.at(EventType::MouseDragged, {170, 110}));
    g.view->mouseUp(g.at(EventType::MouseUp, {170, 110}));
    g.view->mouseExited(g.at(EventType::MouseExited, {170, 110}));
    EXPECT_EQ(g.model.getLayerOriginSizeArray()[1][0], (std::vector<double>{100, 50, 200, 100}));
    EXPECT_TRUE(g.model.getDraggingLayer());
    EXPECT_EQ(g.symbolTagClears, 0);
    // The press still reaches the preview.
    g.view->mouseDown(g.at(EventType::MouseDown, {150, 100}));
    EXPECT_TRUE(g.model.getMouseDown());
}

TEST(GestureMouse, AHandleClickWithoutMotionChangesAndRecordsNothing) {
    mouseScene g;
    g.model.layerHitTestAtPoint({150, 100});
    for (const int handle : {-1, -2}) {
        undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(handle == -1), std::nullopt);
        g.model.setRotateButtonSelected(handle);
        g.view->mouseUp(g.at(EventType::MouseUp, {306, 44}));
        qrn::MainQueue::advance(0.11);
        EXPECT_EQ(g.model.getLayerOriginSizeArray()[1][0], (std::vector<double>{100, 50, 200, 100}));
        EXPECT_EQ(g.model.getLayerRotateArray()[1][0], 0);
        EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    }
    // A flip afterwards records its own before-value.
    g.model.mirrorLayer(true, std::nullopt, false);
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 1u);
    EXPECT_EQ(std::get<bool>(undoRedoClass::getUndoList()[0].beforeValues[0]), false);
}

TEST(GestureMouse, AnActionInTheMomentAfterAHandleReleaseComesAfterTheDragsEntry) {
    // The release's entry waits 0.1 s for the handle to settle; a flip or a second handle press
    // in that time used to take the drag's before-values, and both entries were lost.
    mouseScene g;
    g.model.layerHitTestAtPoint({150, 100});
    undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(true), std::nullopt);
    g.model.setRotateButtonSelected(-1);
    g.view->mouseDragged(g.at(EventType::MouseDragged, {300, 50}));
    g.view->mouseDragged(g.at(EventType::MouseDragged, {300, 150}));
    g.view->mouseUp(g.at(EventType::MouseUp, {300, 150}));
    const double turned = g.model.getLayerRotateArray()[1][0];
    ASSERT_NE(turned, 0);
    g.model.mirrorLayer(true, std::nullopt, false);
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 2u);
    EXPECT_EQ(undoRedoClass::getUndoList()[0].actionType, "rotateLayer");
    EXPECT_EQ(undoRedoClass::getUndoList()[1].actionType, "horizontalLayerFlip");
    EXPECT_EQ(std::get<bool>(undoRedoClass::getUndoList()[1].beforeValues[0]), false);
    // The settle's own time later changes nothing.
    qrn::MainQueue::advance(0.11);
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 2u);

    // A second handle drag pressed within the moment keeps its own before-values.
    undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(false), std::nullopt);
    g.model.setRotateButtonSelected(-2);
    g.view->mouseDragged(g.at(EventType::MouseDragged, {320, 40}));
    g.view->mouseDragged(g.at(EventType::MouseDragged, {340, 30}));
    g.view->mouseUp(g.at(EventType::MouseUp, {340, 30}));
    undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(true), std::nullopt);
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 3u);
    EXPECT_EQ(undoRedoClass::getUndoList()[2].actionType, "resizeLayer");
    EXPECT_EQ(std::get<qrn::Size>(undoRedoClass::getUndoList()[2].beforeValues[0]).width, 200);

    // Undo puts the flip, the resize and the turn back, in that order.
    undoRedoClass().setValuesCompare(std::nullopt);
    for (int i = 0; i < 3; ++i) {
        undoRedoClass().undo();
        qrn::MainQueue::advance(0.3);
    }
    EXPECT_EQ(g.model.getLayerRotateArray()[1][0], 0);
    EXPECT_EQ(g.model.getLayerOriginSizeArray()[1][0][2], 200);
    EXPECT_FALSE(g.model.checkIfLayerIsFlipped(true, std::nullopt));
    expectModelInvariants();
}
