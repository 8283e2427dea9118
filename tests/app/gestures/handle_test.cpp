#include <gtest/gtest.h>

#include "../preview/preview_fixture.h"
#include "Controller/Editing/Preview/previewGestureUndo.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/Preview/manipulateImageView.h"
#include "platform/graphics/layer.h"
#include "platform/ui/cursor.h"
#include "platform/ui/event.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

using namespace previewtest;

namespace {

std::shared_ptr<manipulateImageView> handle(int tag) {
    auto view = manipulateImageView::makeHandleView(qrn::Rect(0, 0, 12, 12));
    view->addSubview(qrn::ui::TextField::makeMarker(tag));
    return view;
}

const qrn::ui::Event press = qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {0, 0});

struct handleScene {
    previewScene scene;
    previewLayerClass model;
    handleScene() {
        undoRedoClass().clearClass();
        scene.addAsset();
        scene.addOverlay();
    }
    ~handleScene() {
        undoRedoClass().clearClass();
        model.setRotateButtonSelected(0);
        model.setResizeOrRotateButtonSelected(0);
        model.setMouseDown(false);
    }
};

} // namespace

TEST(GestureHandles, HoverShowsTheClosedHandAndLeavingTheArrow) {
    handleScene g;
    auto rotate = handle(-1);
    ASSERT_EQ(rotate->trackingAreas().size(), 1u);
    EXPECT_EQ(rotate->trackingAreas()[0]->options(),
              unsigned(qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow));
    rotate->mouseEntered(press);
    EXPECT_EQ(g.model.getResizeOrRotateButtonSelected(), -1);
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::ClosedHand);
    rotate->mouseExited(press);
    EXPECT_EQ(g.model.getResizeOrRotateButtonSelected(), 0);
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::Arrow);
}

TEST(GestureHandles, APressKeepsTheBeforeValuesOnceAndOnlyWithASelection) {
    handleScene g;
    g.scene.addLayer(1, {100, 50, 200, 100}, 0.4);
    auto rotate = handle(-1), resize = handle(-2);
    rotate->mouseDown(press);
    EXPECT_EQ(g.model.getRotateButtonSelected(), -1);
    EXPECT_FALSE(undoRedoClass::getValuesCompare().has_value());

    g.model.layerHitTestAtPoint({150, 100});
    resize->mouseDown(press);
    EXPECT_EQ(g.model.getRotateButtonSelected(), -2);
    const auto kept = undoRedoClass::getValuesCompare();
    ASSERT_TRUE(kept.has_value());
    ASSERT_EQ(kept->size(), 3u);
    EXPECT_EQ(std::get<qrn::Size>((*kept)[0]), (qrn::Size{200, 100}));
    EXPECT_EQ(std::get<qrn::Point>((*kept)[1]), (qrn::Point{100, 50}));
    EXPECT_DOUBLE_EQ(std::get<double>((*kept)[2]), 0.4);
    // A second press before the drag ended keeps the first values.
    rotate->mouseDown(press);
    EXPECT_EQ(undoRedoClass::getValuesCompare()->size(), 3u);
    undoRedoClass().setValuesCompare(std::nullopt);
    rotate->mouseDown(press);
    ASSERT_EQ(undoRedoClass::getValuesCompare()->size(), 2u);
    EXPECT_DOUBLE_EQ(std::get<double>((*undoRedoClass::getValuesCompare())[0]), 0.4);
    EXPECT_EQ(std::get<qrn::Size>((*undoRedoClass::getValuesCompare())[1]), (qrn::Size{1, 1}));
}

TEST(GestureHandles, AHandleAboveALayerTakesThePressWhateverItsSiblingOrder) {
    handleScene g;
    const auto id = g.scene.addLayer(1, {100, 50, 200, 100});
    g.model.getSuperviewOfTaggedPreviewView()->setHidden(true);
    auto overlay = qrn::ui::View::make(qrn::Rect(280, 130, 30, 30));
    overlay->layer()->setZPosition(9999999.0);
    auto rotate = handle(-1);
    overlay->addSubview(rotate);
    // Below the layer in sibling order, drawn above it.
    g.scene.drop->addSubview(overlay, qrn::ui::Ordering::Below, g.scene.layerView(id).get());
    const qrn::ui::View* hit =
        g.scene.drop->hitTest(g.scene.drop->convertPointToView({285, 135}, g.scene.parent.get()));
    ASSERT_TRUE(hit);
    EXPECT_TRUE(hit == rotate.get() || hit->superviewPointer() == rotate.get());
    // Elsewhere the layer is still hit.
    hit = g.scene.drop->hitTest(g.scene.drop->convertPointToView({150, 100}, g.scene.parent.get()));
    ASSERT_TRUE(hit);
    EXPECT_TRUE(hit == g.scene.layerView(id).get() || hit->superviewPointer() == g.scene.layerView(id).get());
}
