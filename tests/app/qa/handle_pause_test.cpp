// A handle drag with pauses: the presenter holds the mouse still for a moment while resizing or
// turning a layer. Each pause records the drag so far and the release records the rest, so undo
// steps back through every pause to before the press and redo forward to the release.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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
    // Presses a handle as its view does and takes it to `grab`, then drags through the points,
    // resting a quarter of a second at each but the last, and releases there at once. Returns the
    // state before the press, at each rest and after the release.
    std::vector<std::vector<double>> dragHandle(int handle, qrn::Point grab,
                                                std::initializer_list<qrn::Point> points) {
        std::vector<std::vector<double>> states{state()};
        undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(handle == -1), std::nullopt);
        model.setRotateButtonSelected(handle);
        view->mouseDragged(at(EventType::MouseDragged, grab));
        size_t left = points.size();
        for (const auto& p : points) {
            view->mouseDragged(at(EventType::MouseDragged, p));
            if (--left == 0)
                view->mouseUp(at(EventType::MouseUp, p));
            qrn::MainQueue::advance(0.25);
            states.push_back(state());
        }
        return states;
    }
    // The layer's frame and turn.
    std::vector<double> state() {
        auto out = model.getLayerOriginSizeArray()[1][0];
        out.resize(4);
        out.push_back(model.getLayerRotateArray()[1][0]);
        return out;
    }
};

void expectState(const std::vector<double>& seen, const std::vector<double>& want, const std::string& when) {
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(seen[i], want[i], 1e-6) << when << ", value " << i;
}

// One entry per pause and one for the rest of the drag: each undo, as the Edit menu does it,
// goes back one state, and each redo forward one, to the release.
void expectStepsBackAndForth(pausedHandleScene& g, const std::vector<std::vector<double>>& states) {
    ASSERT_EQ(undoRedoClass::getUndoList().size(), states.size() - 1)
        << "one entry for each pause and one for the release";
    for (size_t i = states.size() - 1; i-- > 0;) {
        undoRedoClass().undo();
        qrn::MainQueue::advance(0.3);
        expectState(g.state(), states[i], "undo to state " + std::to_string(i));
    }
    for (size_t i = 1; i < states.size(); ++i) {
        undoRedoClass().redo();
        qrn::MainQueue::advance(0.3);
        expectState(g.state(), states[i], "redo to state " + std::to_string(i));
    }
}

} // namespace

TEST(HandlePause, AResizeWithPausesStepsBackToBeforeThePressAndForwardToTheRelease) {
    pausedHandleScene g;
    const auto states = g.dragHandle(-2, {300, 150}, {{310, 155}, {320, 160}, {340, 170}});
    ASSERT_NEAR(states.back()[2], 240, 1e-6);
    EXPECT_EQ(undoRedoClass::getUndoList().front().actionType, "resizeLayer");
    expectStepsBackAndForth(g, states);
}

TEST(HandlePause, ATurnWithPausesStepsBackToBeforeThePressAndForwardToTheRelease) {
    pausedHandleScene g;
    const auto states = g.dragHandle(-1, {350, 150}, {{340, 180}, {330, 220}, {300, 250}});
    ASSERT_GT(std::abs(states.back()[4]), 0.1);
    EXPECT_EQ(undoRedoClass::getUndoList().front().actionType, "rotateLayer");
    expectStepsBackAndForth(g, states);
}
