#include <gtest/gtest.h>

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/viewLoaderController.h"
#include "platform/ui/event.h"
#include "platform/ui/scroll_view.h"
#include "reorder_fixture.h"

using namespace reordertest;

namespace {

class AssetReorder : public ReorderTest {
  protected:
    // Every asset gets its own script, colour, text layer (with its text), picture layer with a
    // filter switched on, and background, so that a move shows in every list.
    void markEveryAsset() {
        attributedStringStorageClass storage;
        auto scripts = storage.getAutocueStringArray();
        for (size_t i = 0; i < scripts.size(); ++i)
            scripts[i] = qrn::AttributedString("script of asset " + std::to_string(i + 1));
        storage.setAutocueStringArray(scripts);
        auto colours = previewLayerClass().getAssetBackgroundColour();
        for (size_t i = 0; i < colours.size(); ++i)
            colours[i] = {double(40 * i), 10, 200, 1};
        previewLayerClass().setAssetBackgroundColour(colours);
        for (int a = 1; a <= 4; ++a) {
            addText(a, "text of asset " + std::to_string(a), {100, 100});
            addLayer(a, {200.0 + 20 * a, 150}, 0xff000000u | unsigned(0x3f * a) << 8);
            auto flags = filterClass().getLayerFilter();
            flags[size_t(a)].back() = {a % 2 == 0, true, a == 3};
            filterClass().setLayerFilter(flags);
        }
        advance(1.0);
    }
    // The number each tile shows, by slot.
    strings labelsBySlot() const {
        std::vector<std::pair<double, std::string>> shown;
        for (const auto& tile : editViewClass().getAssetHorizontalScrollView()->subviews())
            shown.emplace_back(tile->frame().origin.x,
                               assetLabel(std::to_string(tile->subviews()[0]->tag().value_or(-1))));
        std::sort(shown.begin(), shown.end());
        strings labels;
        for (const auto& [x, label] : shown)
            labels.push_back(label);
        return labels;
    }
    std::vector<double> tileXs() const {
        std::vector<double> xs;
        for (const auto& id : previewLayerClass().getAssetArray())
            if (id != "0")
                xs.push_back(assetTile(id)->frame().origin.x);
        return xs;
    }
    // The strip starts at x 134 of the main view; a tile is pressed 38 points in.
    static qrn::Point stripPoint(double x) { return {134 + x, 110}; }
    static qrn::Point slotPoint(int slot) { return stripPoint((slot - 1) * 80 + 38); }
    void dragAsset(int fromSlot, int toSlot, bool release = true) {
        press(assetTile(previewLayerClass().getAssetArray()[size_t(fromSlot)]));
        // Selecting the tile stores the script pane's text; only the move's own writes count.
        written.clear();
        const int step = toSlot > fromSlot ? 1 : -1;
        for (int s = fromSlot; s != toSlot; s += step)
            dragTo(slotPoint(s + step));
        if (release)
            releaseAt(slotPoint(toSlot));
    }
};

// Each per-asset list after the move holds, at every place, what the list held at the place the
// permutation names.
template <typename List>
void expectMoved(const List& before, const List& after, std::vector<int> order, const char* name,
                 int shift = 0) {
    ASSERT_EQ(before.size(), after.size()) << name;
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i], before[size_t(order[i + size_t(shift)] - shift)]) << name << " at " << i;
}

} // namespace

TEST(AssetSlotRule, StepsPastTheNeighboursMiddleAndNeverIntoTheStickySlot) {
    // The tile in slot 3 (x 160, width 77) moves left once its left edge is 10 points past
    // the middle of slot 2's tile, right once it is 10 points past its own middle.
    EXPECT_EQ(assetZPositionClass::nextSlot(3, 108.5, 4, 77), 3);
    EXPECT_EQ(assetZPositionClass::nextSlot(3, 108.4, 4, 77), 2);
    EXPECT_EQ(assetZPositionClass::nextSlot(3, 208.5, 4, 77), 3);
    EXPECT_EQ(assetZPositionClass::nextSlot(3, 208.6, 4, 77), 4);
    EXPECT_EQ(assetZPositionClass::nextSlot(1, 0, 4, 77), 1);
    EXPECT_EQ(assetZPositionClass::nextSlot(4, 900, 4, 77), 4);
    EXPECT_EQ(assetZPositionClass::getXValueFromAssetIndex(4), 240);
}

TEST_F(AssetReorder, MovingAssetTwoToSlotFourMovesEveryListAlikeWritesThreeFilesAndUndoesExactly) {
    createProject();
    markEveryAsset();
    const auto before = snapshot();
    const auto filterValues = filterClass().getLayerFilterValues();
    const size_t steps = entries();
    written.clear();

    dragAsset(2, 4);
    // Index i now holds what index order[i] held.
    const std::vector<int> order{0, 1, 3, 4, 2};
    const auto after = snapshot();
    expectMoved(before.assets, after.assets, order, "ASSET_ARRAY");
    expectMoved(before.layers, after.layers, order, "LAYER_ARRAY");
    expectMoved(before.firsts, after.firsts, order, "FIRST_LAYER_ABOVE_VIDEO_ARRAY");
    expectMoved(before.references, after.references, order, "IMAGE_REFERENCE_ARRAY");
    expectMoved(before.frames, after.frames, order, "LAYER_ORIGIN_SIZE_ARRAY");
    expectMoved(before.rotations, after.rotations, order, "LAYER_ROTATE_ARRAY");
    expectMoved(before.flips, after.flips, order, "LAYER_IS_FLIPPED_ARRAY");
    expectMoved(before.locks, after.locks, order, "LAYER_RESIZE_WITH_ASPECT_RATIO");
    expectMoved(before.originals, after.originals, order, "LAYER_ORIGINAL_POS_SIZE_ROT");
    expectMoved(before.filterFlags, after.filterFlags, order, "LAYER_FILTER");
    expectMoved(before.filterOrders, after.filterOrders, order, "LAYER_FILTER_ORDER");
    expectMoved(before.texts, after.texts, order, "texts");
    expectMoved(before.pathOwners, after.pathOwners, order, "hit paths");
    expectMoved(before.scripts, after.scripts, order, "scripts", 1);
    expectMoved(before.colours, after.colours, order, "colours", 1);
    expectMoved(before.backgrounds, after.backgrounds, order, "background ids", 1);
    EXPECT_EQ(filterClass().getLayerFilterValues().size(), filterValues.size());
    EXPECT_EQ(labelsBySlot(), (strings{"1", "2", "3", "4"}));
    EXPECT_EQ(tileXs(), (std::vector<double>{0, 80, 160, 240}));
    EXPECT_EQ(writes("projectData.json"), 1);
    EXPECT_EQ(writes("autocueData.json"), 1);
    EXPECT_EQ(writes("specialSymbolData.json"), 1);
    ASSERT_EQ(entries(), steps + 1);
    EXPECT_EQ(undoRedoClass::getUndoList().back().actionType, "reorderAsset");
    EXPECT_EQ(undoRedoClass::getUndoList().back().beforeValues, (undoValueList{4, 2}));
    EXPECT_EQ(undoRedoClass::getRedoList().back(), (undoValueList{2, 4}));

    undoRedoClass().undo();
    advance(0.3);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(labelsBySlot(), (strings{"1", "2", "3", "4"}));
    EXPECT_EQ(tileXs(), (std::vector<double>{0, 80, 160, 240}));
    EXPECT_EQ(entries(), steps + 1);
    undoRedoClass().redo();
    EXPECT_EQ(snapshot(), after);
}

// Eight slides overflow the strip: after the presenter has scrolled away, undo and redo of a
// move bring the selected tile back into view where it went.
TEST_F(AssetReorder, UndoAndRedoOfAMoveShowTheSelectedTile) {
    createProject();
    for (int i = 0; i < 4; ++i)
        previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    advance(1.0);
    select(1);
    dragAsset(1, 2);
    const auto strip = editor->assetTableView;
    const auto shown = [&] {
        const auto tile =
            assetTile(
                previewLayerClass().getAssetArray()[size_t(previewLayerClass().getSelectedAssetIndex())])
                ->frame();
        const auto visible = strip->documentVisibleRect();
        return tile.minX() >= visible.minX() && tile.maxX() <= visible.maxX();
    };
    ASSERT_EQ(previewLayerClass().getSelectedAssetIndex(), 2);
    strip->scrollToPoint({8 * 80.0, 0});
    ASSERT_FALSE(shown());
    undoRedoClass().undo();
    advance(0.3);
    EXPECT_EQ(previewLayerClass().getSelectedAssetIndex(), 1);
    EXPECT_TRUE(shown()) << "after undo";
    strip->scrollToPoint({8 * 80.0, 0});
    undoRedoClass().redo();
    advance(0.3);
    EXPECT_TRUE(shown()) << "after redo";
}

TEST_F(AssetReorder, EachRestAfterASlotChangeRecordsOneEntryAndARestInPlaceNone) {
    createProject();
    const size_t steps = entries();
    dragAsset(1, 2, false);
    advance(0.4);
    EXPECT_EQ(entries(), steps + 1);
    EXPECT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "4", "2", "6", "8"}));
    dragTo({slotPoint(2).x + 3, 110});
    advance(0.4);
    EXPECT_EQ(entries(), steps + 1) << "the slot did not change";
    dragTo(slotPoint(3));
    advance(0.2);
    dragTo(slotPoint(4));
    advance(0.4);
    EXPECT_EQ(entries(), steps + 2);
    EXPECT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "4", "6", "8", "2"}));
    releaseAt(slotPoint(4));
    EXPECT_EQ(entries(), steps + 2);
    EXPECT_EQ(labelsBySlot(), (strings{"1", "2", "3", "4"}));
    // Undo steps back one rest at a time.
    undoRedoClass().undo();
    advance(0.3);
    EXPECT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "4", "2", "6", "8"}));
}

TEST_F(AssetReorder, TheFirstTileStopsAtZeroAndTheGrabOffsetIsKept) {
    createProject();
    const auto tile = assetTile("2");
    press(tile, {50, 40});
    dragTo(stripPoint(-200));
    EXPECT_EQ(tile->frame().origin.x, 0);
    dragTo(stripPoint(150));
    EXPECT_EQ(tile->frame().origin.x, 100) << "50 points between the pointer and the tile's edge";
    dragTo(stripPoint(10));
    EXPECT_EQ(tile->frame().origin.x, 0);
    releaseAt(stripPoint(10));
    EXPECT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "2", "4", "6", "8"}));
    EXPECT_EQ(editor->stickyAsset->subviews().front()->frame().origin.x, 0);
}

TEST_F(AssetReorder, TheHoveredTileEndsLastInTheStrip) {
    createProject();
    const auto hovered = assetTile("4");
    dragAsset(3, 4, false);
    // The pointer over another tile as the drag ends; the dragged tile itself never counts.
    hovered->mouseEntered(qrn::ui::Event::mouse(qrn::ui::EventType::MouseEntered, {}));
    assetTile("6")->mouseEntered(qrn::ui::Event::mouse(qrn::ui::EventType::MouseEntered, {}));
    releaseAt(slotPoint(4));
    EXPECT_EQ(editViewClass().getAssetHorizontalScrollView()->subviews().back(), hovered);
}

TEST_F(AssetReorder, AListOutOfStepMovesNothingAndPutsTheTilesBack) {
    createProject();
    attributedStringStorageClass storage;
    auto scripts = storage.getAutocueStringArray();
    scripts.pop_back();
    storage.setAutocueStringArray(scripts);
    const auto before = snapshot();
    const size_t steps = entries();
    written.clear();
    dragAsset(1, 3);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(entries(), steps);
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(labelsBySlot(), (strings{"1", "2", "3", "4"}));
    EXPECT_EQ(tileXs(), (std::vector<double>{0, 80, 160, 240}));
}

TEST_F(AssetReorder, TheTilesAfterAnIndexTakeTheirOwnSlotsAndNumbers) {
    createProject();
    for (const auto& id : {"4", "6", "8"})
        assetTile(id)->setFrameOrigin({400, 0});
    assetZPositionClass().moveAllAssetPreviewsAfterIndexForwardsByOne(1);
    EXPECT_EQ(tileXs(), (std::vector<double>{0, 80, 160, 240}));
    EXPECT_EQ(labelsBySlot(), (strings{"1", "2", "3", "4"}));
    // It leaves no drag state behind: the next drag starts from the model.
    dragAsset(1, 2);
    EXPECT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "4", "2", "6", "8"}));
}
