// After a layer is moved in the layer list, the selection overlay and its handles stay on the
// selected layer; the size correction that follows a move refits other layers too, and the
// handles once went to the last of them, so a handle drag then moved the selected layer there.
#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "View/Editing/viewLoaderController.h"
#include "app/reorder/reorder_fixture.h"

using namespace reordertest;

namespace {

class ReorderSelection : public ReorderTest {
  protected:
    void dragSlot(int from, int to) {
        press(layerTile(tilesBySlot()[size_t(from)]));
        const int step = to > from ? 1 : -1;
        for (int s = from; s != to; s += step)
            dragTo(layerSlotPoint(s + step));
        releaseAt(layerSlotPoint(to));
    }
    qrn::Point centreOf(const ViewPtr& view) const {
        const qrn::Rect r = view->windowRect();
        return {r.midX(), r.midY()};
    }
};

} // namespace

TEST_F(ReorderSelection, TheOverlayStaysOnTheSelectedLayerAfterAMoveInTheList) {
    createProject();
    const std::string low = addLayer(1, {60, 60}, 0xffff0000);
    const std::string high = addLayer(1, {220, 140}, 0xff00ff00);
    editViewClass().loadScrollViewLayers();
    advance(1.0);
    ASSERT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(high));
    ASSERT_EQ(tilesBySlot(), (strings{low, high, "-8"}));

    dragSlot(1, 0);
    advance(1.0);
    ASSERT_EQ(tilesBySlot(), (strings{high, low, "-8"}));

    const auto overlay = previewLayerClass().getSuperviewOfTaggedPreviewView();
    ASSERT_TRUE(overlay && !overlay->isHidden());
    const auto selected = editor->dragView->viewWithTag(std::stoi(high))->superview();
    const qrn::Point want = centreOf(selected), got = centreOf(overlay);
    EXPECT_NEAR(got.x, want.x, 1.0);
    EXPECT_NEAR(got.y, want.y, 1.0);
}
