#include <gtest/gtest.h>

#include <random>

#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/viewLoaderController.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/scroll_view.h"
#include "reorder_fixture.h"

using namespace reordertest;

namespace {

class LayerReorder : public ReorderTest {
  protected:
    // Presses the tile in slot `from`, drags one event per slot to `to` and releases there.
    void dragSlot(int from, int to) {
        const auto tile = layerTile(tilesBySlot()[size_t(from)]);
        press(tile);
        const int step = to > from ? 1 : -1;
        for (int s = from; s != to; s += step)
            dragTo(layerSlotPoint(s + step));
        releaseAt(layerSlotPoint(to));
    }
    int undoRedoSteps() const { return undoRedoClass::getUndoPosition(); }
    static const undoEntry& lastEntry() { return undoRedoClass::getUndoList().back(); }
    static int intValue(const undoValueList& values, size_t i) { return std::get<int>(values[i]); }
    // The colour the preview shows at a point of the preview, as rendered.
    QColor renderedAt(qrn::Point inPreview) {
        editor->mainView->displayIfNeeded();
        const QImage shot = qrn::graphics::Renderer().renderToImage(*editor->mainView->layer(),
                                                                    editor->mainView->bounds().size, 0);
        const qrn::Point p = editor->dragView->convertPointToView(inPreview, editor->mainView.get());
        return shot.pixelColor(int(p.x), int(shot.height() - 1 - p.y));
    }
    void expectListModelAndPreviewAgree() {
        EXPECT_EQ(tilesBySlot(), modelTileOrder(1));
        EXPECT_EQ(previewOrder(1).size(), modelTileOrder(1).size() + 1) << "the background is in the preview";
        strings stacked = previewOrder(1);
        stacked.erase(stacked.begin()); // the background lies under everything
        EXPECT_EQ(stacked, modelTileOrder(1));
    }
};

} // namespace

TEST(LayerSlotRule, StepsOneSlotWithTwentyFivePointsEitherSideAndStopsAtTheEnds) {
    EXPECT_EQ(layerZPositionClass::nextSlot(2, 53.0, 5), 2);
    EXPECT_EQ(layerZPositionClass::nextSlot(2, 52.9, 5), 1);
    EXPECT_EQ(layerZPositionClass::nextSlot(2, 103.0, 5), 2);
    EXPECT_EQ(layerZPositionClass::nextSlot(2, 103.1, 5), 3);
    // One slot per event, however far the pointer went.
    EXPECT_EQ(layerZPositionClass::nextSlot(2, 400.0, 5), 3);
    EXPECT_EQ(layerZPositionClass::nextSlot(2, -400.0, 5), 1);
    EXPECT_EQ(layerZPositionClass::nextSlot(0, -400.0, 5), 0);
    EXPECT_EQ(layerZPositionClass::nextSlot(5, 900.0, 5), 5);
    // The camera slides towards the dragged tile's old place once the tile passes it.
    EXPECT_EQ(layerZPositionClass::shownCameraSlot(2, 0, 1), 2);
    EXPECT_EQ(layerZPositionClass::shownCameraSlot(2, 0, 2), 1);
    EXPECT_EQ(layerZPositionClass::shownCameraSlot(2, 4, 2), 3);
    EXPECT_EQ(layerZPositionClass::shownCameraSlot(2, 4, 3), 2);
}

TEST_F(LayerReorder, RandomDragsLeaveOnlyTheTargetSlotFreeAndReleasesKeepListModelAndPreviewInStep) {
    createProject();
    buildLayeredAsset();
    std::mt19937 random(19);
    const int slotCount = int(tilesBySlot().size());
    for (int drag = 0; drag < 240; ++drag) {
        const strings before = tilesBySlot();
        const int from = std::uniform_int_distribution<int>(0, slotCount - 1)(random);
        if (before[size_t(from)] == "-8")
            continue;
        const auto tile = layerTile(before[size_t(from)]);
        press(tile);
        ASSERT_EQ(layerZPositionClass().getDraggedLayerTag(), std::stoi(before[size_t(from)]));
        const int events = std::uniform_int_distribution<int>(1, 6)(random);
        qrn::Point last;
        for (int e = 0; e < events; ++e) {
            last = {std::uniform_real_distribution<double>(60, 330)(random), 34};
            dragTo(last);
            // Every tile but the dragged one stands in a slot of its own, in its old order,
            // and exactly one slot is free.
            std::vector<int> used;
            strings others;
            for (const auto& id : tilesBySlot()) {
                if (id == before[size_t(from)])
                    continue;
                const double x = layerTile(id)->frame().origin.x;
                ASSERT_EQ(std::fmod(x, 39.0), 0.0) << id;
                used.push_back(int(x / 39.0));
                others.push_back(id);
            }
            strings expected = before;
            expected.erase(expected.begin() + from);
            ASSERT_EQ(others, expected) << "drag " << drag;
            std::sort(used.begin(), used.end());
            ASSERT_TRUE(std::adjacent_find(used.begin(), used.end()) == used.end()) << "drag " << drag;
            ASSERT_EQ(used.size(), size_t(slotCount - 1));
            ASSERT_LE(used.back(), slotCount - 1);
            EXPECT_EQ(tile->layer()->opacity(), 0.0);
        }
        const size_t steps = entries();
        const int saves = writes("projectData.json");
        if (drag % 20 != 19) {
            // Released below the list: everything goes back.
            releaseAt({last.x, 300});
            ASSERT_EQ(tilesBySlot(), before) << "drag " << drag;
            ASSERT_EQ(entries(), steps);
            ASSERT_EQ(writes("projectData.json"), saves);
        } else {
            releaseAt(last);
            expectListModelAndPreviewAgree();
            ASSERT_LE(entries(), steps + 1);
            ASSERT_EQ(writes("projectData.json") - saves, int(entries() - steps));
        }
        EXPECT_EQ(tile->layer()->opacity(), 1.0);
        EXPECT_FALSE(layerZPositionClass().getDraggedLayerTag());
    }
}

TEST_F(LayerReorder, AReleaseInTheListMovesTheLayerEverywhereOnceAndUndoRedoPutItBackExactly) {
    createProject();
    const strings ids = buildLayeredAsset();
    const std::string a = ids[1], b = ids[2], c = ids[3], d = ids[4];
    ASSERT_EQ(tilesBySlot(), (strings{a, b, "-8", c, d}));
    // A overlaps B on its right; B shows on top before the move.
    const qrn::Point overlap{127, 150};
    EXPECT_EQ(renderedAt(overlap), QColor(0, 255, 0));
    const auto before = snapshot();
    const size_t steps = entries();
    const int saves = writes("projectData.json");

    press(layerTile(a));
    for (int s = 1; s <= 4; ++s) {
        dragTo(layerSlotPoint(s));
        if (s == 2) {
            // Mid-drag: the floating tile over slot 2, B and the camera moved aside.
            EXPECT_EQ(layerTile(a)->layer()->opacity(), 0.0) << "A's own tile stays in slot 0, unseen";
            EXPECT_EQ(layerTile(b)->frame().origin.x, 0);
            EXPECT_EQ(layerTile("-8")->frame().origin.x, 39);
            // Part way on towards slot 3: the target stays until 25 points past the slot.
            dragTo({layerSlotPoint(2).x + 20, 30});
            EXPECT_EQ(layerTile(c)->frame().origin.x, 117);
            saveShot("layer_drag");
        }
    }
    releaseAt(layerSlotPoint(4));
    expectListModelAndPreviewAgree();
    EXPECT_EQ(previewLayerClass().getLayerArray()[1], (strings{ids[0], b, c, d, a}));
    EXPECT_EQ(previewLayerClass().getFirstLayerAboveVideoArray()[1], c);
    EXPECT_EQ(renderedAt(overlap), QColor(255, 0, 0)) << "A is drawn over B now";
    ASSERT_EQ(entries(), steps + 1);
    EXPECT_EQ(writes("projectData.json") - saves, 1);
    EXPECT_EQ(lastEntry().actionType, "reorderLayerInSameAsset");
    EXPECT_EQ(lastEntry().beforeValues, (undoValueList{1, std::stoi(a), 0, 1}));
    EXPECT_EQ(undoRedoClass::getRedoList().back(), (undoValueList{1, std::stoi(a), 4, 1}));
    // The pointer leaving the screen after the release finds nothing to end.
    exitAt({700, 700});
    EXPECT_EQ(entries(), steps + 1);
    const auto after = snapshot();

    undoRedoClass().undo();
    advance(0.3);
    EXPECT_EQ(snapshot(), before);
    expectListModelAndPreviewAgree();
    undoRedoClass().redo();
    advance(0.3);
    EXPECT_EQ(snapshot(), after);
    EXPECT_EQ(entries(), steps + 1) << "replays record nothing";
}

TEST_F(LayerReorder, PassingTheCameraOnlyChangesTheFirstLayerAboveIt) {
    createProject();
    const strings ids = buildLayeredAsset();
    const std::string a = ids[1], b = ids[2], c = ids[3], d = ids[4];
    auto before = snapshot();
    const size_t steps = entries();
    const int saves = writes("projectData.json");

    // B one slot right swaps with the camera and becomes the first layer above it.
    dragSlot(1, 2);
    EXPECT_EQ(tilesBySlot(), (strings{a, "-8", b, c, d}));
    auto after = snapshot();
    EXPECT_EQ(after.firsts[1], b);
    after.firsts = before.firsts;
    EXPECT_EQ(after, before) << "nothing else changes";
    EXPECT_EQ(entries(), steps + 1);
    EXPECT_EQ(writes("projectData.json") - saves, 1);
    expectListModelAndPreviewAgree();

    // The first layer above moving up: the next layer takes its place.
    dragSlot(2, 4);
    EXPECT_EQ(previewLayerClass().getFirstLayerAboveVideoArray()[1], c);
    expectListModelAndPreviewAgree();
    // Moving it below the camera: again the next layer.
    dragSlot(2, 0);
    EXPECT_EQ(tilesBySlot(), (strings{c, a, "-8", d, b}));
    EXPECT_EQ(previewLayerClass().getFirstLayerAboveVideoArray()[1], d);
    dragSlot(3, 0);
    EXPECT_EQ(previewLayerClass().getFirstLayerAboveVideoArray()[1], b);
    // The only layer above leaving it: none is above the camera.
    dragSlot(4, 1);
    EXPECT_EQ(tilesBySlot(), (strings{d, b, c, a, "-8"}));
    EXPECT_EQ(previewLayerClass().getFirstLayerAboveVideoArray()[1], std::nullopt);
    expectListModelAndPreviewAgree();
    EXPECT_EQ(entries(), steps + 5);
}

TEST_F(LayerReorder, AReleaseOutsideTheListATapAndADropOnTheStartingSlotChangeNothing) {
    createProject();
    const strings ids = buildLayeredAsset();
    const auto before = snapshot();
    const strings tiles = tilesBySlot();
    const size_t steps = entries();
    const int saves = writes("projectData.json");

    // Above the list's band.
    press(layerTile(ids[1]));
    dragTo(layerSlotPoint(1));
    dragTo(layerSlotPoint(2));
    releaseAt({layerSlotPoint(2).x, 120});
    EXPECT_EQ(tilesBySlot(), tiles);
    // Left of the list: no step until the floating tile reaches 4 points into it.
    press(layerTile(ids[2]));
    dragTo({83, 34});
    EXPECT_EQ(layerTile(ids[1])->frame().origin.x, 0);
    dragTo({85, 34});
    EXPECT_EQ(layerTile(ids[1])->frame().origin.x, 39) << "A slid into B's slot";
    releaseAt({40, 34});
    EXPECT_EQ(tilesBySlot(), tiles);
    // A tap.
    press(layerTile(ids[4]));
    releaseAt(layerSlotPoint(4));
    // Out and back to the starting slot.
    press(layerTile(ids[3]));
    dragTo(layerSlotPoint(4));
    dragTo(layerSlotPoint(3));
    releaseAt(layerSlotPoint(3));

    EXPECT_EQ(tilesBySlot(), tiles);
    for (const auto& id : tiles)
        EXPECT_EQ(layerTile(id)->layer()->opacity(), 1.0);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(entries(), steps);
    EXPECT_EQ(writes("projectData.json"), saves);
}

TEST_F(LayerReorder, AScrolledListDropsTheLayerInTheSlotUnderTheFloatingTile) {
    createProject();
    strings ids;
    for (int i = 0; i < 15; ++i)
        ids.push_back(addLayer(1, {40.0 + 30 * i, 100}, 0xff000000 + unsigned(i * 0x101010)));
    editViewClass().loadScrollViewLayers();
    editViewClass().getConfiguration()->layerTableView->scrollToPoint({78, 0});
    ASSERT_EQ(editViewClass().getConfiguration()->layerTableView->documentVisibleRect().origin.x, 78);
    // The tile in slot 2 shows at the list's left edge; it is carried three slots right.
    press(layerTile(ids[2]));
    for (int shown = 1; shown <= 3; ++shown)
        dragTo(layerSlotPoint(shown));
    releaseAt(layerSlotPoint(3));
    EXPECT_EQ(tilesBySlot()[5], ids[2]);
    EXPECT_EQ(previewLayerClass().getLayerArray()[1][5], ids[2]);
    EXPECT_EQ(tilesBySlot(), modelTileOrder(1));
}

TEST_F(LayerReorder, AShortPerLayerRowMovesNothingRecordsNothingAndPutsTheTilesBack) {
    createProject();
    const strings ids = buildLayeredAsset();
    auto rotations = previewLayerClass().getLayerRotateArray();
    rotations[1].pop_back();
    previewLayerClass().setLayerRotateArray(rotations);
    const auto before = snapshot();
    const strings tiles = tilesBySlot();
    const size_t steps = entries();
    const int saves = writes("projectData.json");

    dragSlot(0, 3);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(previewLayerClass().getLayerRotateArray(), rotations);
    EXPECT_EQ(tilesBySlot(), tiles);
    EXPECT_EQ(entries(), steps);
    EXPECT_EQ(writes("projectData.json"), saves);
}

TEST_F(LayerReorder, TextsAndHitPathsTravelWithTheirLayers) {
    createProject();
    const std::string first = addText(1, "first", {60, 60});
    const std::string x = addLayer(1, {160, 60}, 0xffff0000);
    const std::string second = addText(1, "second", {260, 60});
    const std::string y = addLayer(1, {400, 60}, 0xff0000ff);
    editViewClass().loadScrollViewLayers();
    ASSERT_EQ(tilesBySlot(), (strings{first, x, second, y, "-8"}));

    dragSlot(0, 3);
    ASSERT_EQ(previewLayerClass().getLayerArray()[1], (strings{x, second, y, first}));
    const auto textOf = [](const std::string& id) {
        const auto row = previewLayerClass().getLayerArray()[1];
        const int l = int(std::find(row.begin(), row.end(), id) - row.begin());
        return editViewClass().getSelectedTextSymbolText(std::vector<qrn::Value>{false, 1, l})->string();
    };
    EXPECT_EQ(textOf(first), "first");
    EXPECT_EQ(textOf(second), "second");
    // The hit paths keep the layers' order, so the size correction finds each layer's own.
    EXPECT_EQ(snapshot().pathOwners[1], previewLayerClass().getLayerArray()[1]);
    // After the size correction every layer is still hit where it is.
    advance(0.2);
    previewLayerClass model;
    for (const auto& id : {first, x, second, y}) {
        const auto holder = editor->dragView->viewWithTag(std::stoi(id))->superview();
        model.noLayerSelected();
        model.layerHitTestAtPoint(holder->frame().center());
        EXPECT_EQ(model.getSelectedLayer(), std::stoi(id)) << id;
    }
}

TEST_F(LayerReorder, TheSizeCorrectionFindsItsLayersByIdWhenItRuns) {
    createProject();
    const strings ids = buildLayeredAsset();
    const auto before = snapshot();
    dragSlot(0, 4);
    // Undone within the tenth of a second: the correction applies to the layers it moved.
    undoRedoClass().undo();
    advance(0.3);
    EXPECT_EQ(snapshot(), before);
    for (const auto& id : ids) {
        const auto holder = editor->dragView->viewWithTag(std::stoi(id))->superview();
        const auto row = previewLayerClass().getLayerArray()[1];
        const size_t l = size_t(std::find(row.begin(), row.end(), id) - row.begin());
        const auto frame = previewLayerClass().getLayerOriginSizeArray()[1][l];
        EXPECT_NEAR(holder->frame().size.width, frame[2], 0.5) << id;
    }
}
