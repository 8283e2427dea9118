#include <gtest/gtest.h>

#include <filesystem>

#include "Controller/Global/Model/assetDataClass.h"
#include "Controller/Global/Model/layerDataClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/undoRedoClass.h"
#include "model_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/menu.h"

namespace {

class UndoHistory : public ::testing::Test {
  protected:
    std::vector<std::pair<std::string, bool>> replayed;
    std::vector<undoValueList> replayedValues;
    undoRedoClass history;

    void SetUp() override {
        qrn::setMainMenu(qrn::makeStandardMainMenu("QRN"));
        persistentDataStorageClass().setInProgressBool(true);
        previewLayerClass().clearClass(false);
        history.clearClass();
        undoRedoClass::setReplayHandler([this](const undoEntry& e, const undoValueList& v, bool undo) {
            replayed.emplace_back(e.actionType, undo);
            replayedValues.push_back(v);
        });
    }
    void TearDown() override {
        undoRedoClass::setReplayHandler(nullptr);
        undoRedoClass::setUndoRedoButtons(std::nullopt);
        history.clearClass();
        qrn::MainQueue::advance(1);
        previewLayerClass().clearClass(true);
        qrn::setMainMenu(nullptr);
    }
    // A reorder with its before-values stored first, as its caller does.
    void record(int tag) {
        history.setValuesCompare(undoValueList{tag, -tag});
        history.action("reorderAsset", {-tag, tag});
    }
    std::vector<int> recordedTags() {
        std::vector<int> tags;
        for (const auto& e : undoRedoClass::getUndoList())
            tags.push_back(std::get<int>(e.beforeValues.at(0)));
        return tags;
    }
    static void afterBusy() { qrn::MainQueue::advance(0.26); }
    static bool menuEnabled(const std::string& title) {
        return qrn::mainMenu()->itemWithTitle("Edit")->submenu()->itemWithTitle(title)->isEnabled();
    }
};

} // namespace

TEST_F(UndoHistory, RecordingAfterUndoingCutsTheUndoneTail) {
    record(1);
    record(2);
    record(3);
    history.undo();
    afterBusy();
    history.undo();
    afterBusy();
    record(4);
    EXPECT_EQ(recordedTags(), (std::vector<int>{1, 4}));
    EXPECT_EQ(undoRedoClass::getUndoPosition(), 2);
    EXPECT_EQ(undoRedoClass::getRedoList().size(), 2u);
    EXPECT_EQ(undoRedoClass::getPreviewSizeList().size(), 2u);
    EXPECT_TRUE(history.getUndoOn());
    EXPECT_FALSE(history.getRedoOn());

    // Undone down to nothing: everything goes, then the new action alone stays.
    history.clearClass();
    record(5);
    history.undo();
    afterBusy();
    record(6);
    EXPECT_EQ(recordedTags(), std::vector<int>{6});
}

TEST_F(UndoHistory, UndoAndRedoReplayTheEntryAtThePositionAndDropRequestsWhileBusy) {
    record(1);
    record(2);
    history.undo();
    history.undo(); // within 0.25 s: dropped
    EXPECT_EQ(undoRedoClass::getUndoPosition(), 1);
    ASSERT_EQ(replayed.size(), 1u);
    EXPECT_EQ(replayed[0], std::make_pair(std::string("reorderAsset"), true));
    EXPECT_EQ(std::get<int>(replayedValues[0][0]), 2); // the before-values of the second entry
    EXPECT_TRUE(history.getRedoOn());
    afterBusy();
    history.redo();
    EXPECT_EQ(std::get<int>(replayedValues[1][1]), 2); // its after-values
    EXPECT_EQ(undoRedoClass::getUndoPosition(), 2);
    afterBusy();
    history.redo(); // nothing left to redo
    EXPECT_EQ(replayed.size(), 2u);
    history.undo();
    afterBusy();
    history.undo();
    afterBusy();
    history.undo(); // nothing left to undo
    EXPECT_EQ(replayed.size(), 4u);
    EXPECT_FALSE(history.getUndoOn());
    EXPECT_TRUE(history.getRedoOn());
    EXPECT_FALSE(menuEnabled("Undo"));
    EXPECT_TRUE(menuEnabled("Redo"));
}

TEST_F(UndoHistory, GesturesThatEndWhereTheyBeganRecordNothing) {
    // A drag back to its start.
    history.compareValuesBeforeAndAfter({qrn::Point{10, 20}}, std::nullopt);
    // Later steps of the same gesture keep the first step's values.
    history.compareValuesBeforeAndAfter({qrn::Point{30, 40}}, std::nullopt);
    EXPECT_EQ(std::get<qrn::Point>(undoRedoClass::getValuesCompare()->at(0)), (qrn::Point{10, 20}));
    history.action("dragLayerInVideoViewLayer", {qrn::Point{10, 20}});
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    EXPECT_FALSE(undoRedoClass::getValuesCompare().has_value());

    // A revert compares origin, size and rotation: equal in all three records nothing...
    const undoValueList start{qrn::Point{1, 2}, qrn::Size{3, 4}, 0.5};
    history.compareValuesBeforeAndAfter(start, std::nullopt);
    history.action("layerBackToOriginalPositionAndSize", start);
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    // ...while a rotation alone is a change.
    history.compareValuesBeforeAndAfter(start, std::nullopt);
    history.action("layerBackToOriginalPositionAndSize", {qrn::Point{1, 2}, qrn::Size{3, 4}, 0.25});
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 1u);
    EXPECT_EQ(std::get<double>(undoRedoClass::getUndoList()[0].beforeValues[2]), 0.5);
    // Its context names the selection, the layer left out while the video is selected.
    previewLayerClass().setVideoLayerSelected(true);
    history.compareValuesBeforeAndAfter({qrn::Size{1, 1}}, std::nullopt);
    history.action("cropVideoSize", {qrn::Size{2, 2}});
    const auto& context = undoRedoClass::getUndoList().back().context;
    ASSERT_EQ(context.size(), 3u);
    EXPECT_TRUE(context[0].toBool());
    EXPECT_TRUE(context[2].isEmpty());
    previewLayerClass().setVideoLayerSelected(false);
}

TEST_F(UndoHistory, NothingIsRecordedDuringAnImportOrForAnUnknownType) {
    persistentDataStorageClass().setInProgressBool(false);
    history.setValuesCompare(undoValueList{1});
    history.action("reorderAsset", {2});
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    // The import leaves the pending values alone.
    EXPECT_TRUE(undoRedoClass::getValuesCompare().has_value());
    persistentDataStorageClass().setInProgressBool(true);
    history.action("paintTheSlide", {1});
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    EXPECT_FALSE(undoRedoClass::getValuesCompare().has_value());
    // A type that needs before-values and finds none records nothing rather than a broken entry.
    history.action("horizontalLayerFlip", {true});
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
}

TEST_F(UndoHistory, StructuralActionsKeepSnapshotsOfTheModel) {
    modeltest::addAsset();
    const std::string id =
        modeltest::addLayer({qrn::Value(1), qrn::Value("png"), qrn::Value("star")}, {5, 6, 70, 80});
    history.action("addLayer", {0});
    history.action("addAsset", {1});
    history.action("duplicateAsset", {1, 1});
    const auto& entries = undoRedoClass::getUndoList();
    ASSERT_EQ(entries.size(), 3u);
    auto layer = std::get<std::shared_ptr<layerDataClass>>(entries[0].beforeValues.at(0));
    EXPECT_EQ(layer->getLayerOriginSizeArray(), (std::vector<double>{5, 6, 70, 80}));
    // One snapshot serves undo and redo.
    EXPECT_EQ(std::get<std::shared_ptr<layerDataClass>>(undoRedoClass::getRedoList()[0].at(0)), layer);
    auto asset = std::get<std::shared_ptr<assetDataClass>>(entries[1].beforeValues.at(0));
    EXPECT_EQ(asset->getAssetIndex(), 1);
    EXPECT_EQ(asset->getLayerDataObjects().size(), 1u);
    EXPECT_TRUE(entries[1].context.empty());
}

TEST_F(UndoHistory, ButtonsAndMenuFollowThePositionAndAResetTurnsEverythingOff) {
    svgButtonClass::Configuration config;
    config.frame = qrn::Rect(0, 0, 20, 20);
    config.iconName = "undo";
    auto undoButton = svgButtonClass::make(config);
    config.iconName = "redo";
    auto redoButton = svgButtonClass::make(config);
    undoButton->layout();
    redoButton->layout();
    undoRedoClass::setUndoRedoButtons(std::make_pair(undoButton, redoButton));
    history.enableActionButtons(0);
    EXPECT_FALSE(undoButton->svgIconObj()->getIsButtonEnabled());
    record(1);
    EXPECT_TRUE(undoButton->svgIconObj()->getIsButtonEnabled());
    EXPECT_FALSE(redoButton->svgIconObj()->getIsButtonEnabled());
    EXPECT_TRUE(menuEnabled("Undo"));
    history.undo();
    EXPECT_FALSE(undoButton->svgIconObj()->getIsButtonEnabled());
    EXPECT_TRUE(redoButton->svgIconObj()->getIsButtonEnabled());
    history.clearClass();
    EXPECT_FALSE(undoButton->svgIconObj()->getIsButtonEnabled());
    EXPECT_FALSE(redoButton->svgIconObj()->getIsButtonEnabled());
    EXPECT_FALSE(menuEnabled("Undo"));
    EXPECT_FALSE(menuEnabled("Redo"));
    EXPECT_EQ(undoRedoClass::getUndoPosition(), 0);
    // A reset also ends the busy time at once.
    record(2);
    history.undo();
    history.clearClass();
    record(3);
    history.undo();
    EXPECT_EQ(undoRedoClass::getUndoPosition(), 0);
}

TEST_F(UndoHistory, AModelResetEmptiesTheHistory) {
    record(1);
    previewLayerClass().clearClass(false);
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    EXPECT_FALSE(history.getUndoOn());
}

TEST_F(UndoHistory, BeforeValuesLaidOutOtherwiseRecordNothing) {
    history.setValuesCompare(undoValueList{qrn::Size{1, 2}});
    history.action("dragLayerInVideoViewLayer", {qrn::Point{3, 4}});
    history.setValuesCompare(undoValueList{true, 1});
    history.action("horizontalLayerFlip", {false});
    history.setValuesCompare(undoValueList{std::vector<double>{1, 2, 3, 1}});
    history.action("changeAssetBackgroundColour", {1.0});
    EXPECT_TRUE(undoRedoClass::getUndoList().empty());
    EXPECT_FALSE(undoRedoClass::getValuesCompare().has_value());
}

TEST_F(UndoHistory, AnImageFileNamedOnlyByASnapshotSurvivesThePurge) {
    modeltest::tempProject project;
    modeltest::addAsset();
    modeltest::writePng(project.file("images/PIC.png"), 4, 4, 0xff0000);
    modeltest::addLayer({qrn::Value(3), qrn::Value("png"), qrn::Value("PIC")});
    history.action("removeLayer", {0});
    // The layer is gone from the model; only the undo entry still names its file.
    auto references = previewLayerClass().getImageReferenceArray();
    references[1][0] = {qrn::Value(1), qrn::Value("png"), qrn::Value("star")};
    previewLayerClass().setEntireImageReferenceArray(references);
    // Saved as the editor saves a removal: the project on disk no longer names the file either.
    persistentDataStorageClass().exportData(false);
    imageManipulationClass images;
    images.markImageForPermanentRemoval("PIC", "png");
    images.permanentlyRemoveImagesMarkedForRemoval();
    EXPECT_TRUE(std::filesystem::exists(project.file("images/PIC.png")));
    // Once the history is gone, so is the file at the next purge.
    history.clearClass();
    images.markImageForPermanentRemoval("PIC", "png");
    images.permanentlyRemoveImagesMarkedForRemoval();
    EXPECT_FALSE(std::filesystem::exists(project.file("images/PIC.png")));
}
