#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Model/undoRedoClass.h"
#include "app/model/model_fixture.h"
#include "lifecycle_fixture.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/files.h"

using namespace lifecycletest;

namespace {

// The position of the layer whose picture is the stored file `name`.
std::optional<layerAssetIndexAndVideoSelectedArray> layerNaming(const std::string& name) {
    const auto rows = previewLayerClass().getImageReferenceArray();
    for (size_t a = 0; a < rows.size(); ++a)
        for (size_t l = 0; l < rows[a].size(); ++l)
            if (rows[a][l].size() >= 3 && rows[a][l][2].isString() && rows[a][l][2].toString() == name)
                return layerAssetIndexAndVideoSelectedArray{false, int(a), int(l)};
    return std::nullopt;
}

} // namespace

// Undo keeps a removed layer's file while the application runs; quitting ends the history, so
// the file goes then. Files that layers still show stay, shared or not.
TEST_F(LifecycleTest, QuittingDeletesTheFilesOfRemovedLayersThatOnlyTheUndoHistoryNamed) {
    ASSERT_TRUE(createProject());
    qrn::Json d = projectDocument({"0", "9"}, {{}, {"1", "2", "3", "4"}});
    setReference(d, 1, 0, {3, "png", "GONE"});
    setReference(d, 1, 1, {3, "png", "SHOWN"});
    setReference(d, 1, 2, {3, "png", "SHARED"});
    setReference(d, 1, 3, {3, "png", "SHARED"});
    const std::string path = writePackage("Quit", d);
    modeltest::writePng(path + "/images/GONE.png", 20, 20, 0xcc2020);
    modeltest::writePng(path + "/images/SHOWN.png", 30, 30, 0x20cc20);
    modeltest::writePng(path + "/images/SHARED.png", 40, 40, 0x2020cc);
    openWithMenu(path);

    // Removed as the tile's menu removes it: an undo entry keeps the layer and names its file.
    auto gone = layerNaming("GONE");
    ASSERT_TRUE(gone);
    previewLayerClass().removeLayer(gone, false);
    auto shared = layerNaming("SHARED");
    ASSERT_TRUE(shared);
    previewLayerClass().removeLayer(shared, false);
    ASSERT_FALSE(layerNaming("GONE"));
    ASSERT_TRUE(layerNaming("SHARED"));
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(path + "/images/GONE.png"));

    delegate.applicationWillTerminate();
    EXPECT_FALSE(std::filesystem::exists(path + "/images/GONE.png"));
    EXPECT_TRUE(std::filesystem::exists(path + "/images/SHOWN.png"));
    EXPECT_TRUE(std::filesystem::exists(path + "/images/SHARED.png"));
}

// A package that turns read-only: the failed autosave is said once, the title stops saying it
// saved, and Quit asks; trying again once the package can be written keeps the new slide.
TEST_F(LifecycleTest, QuitAfterAFailedWriteAsksAndTryingAgainKeepsTheEdit) {
    ASSERT_TRUE(createProject());
    const std::string path = packagePath("Demo");
    fileMenuClass().save();
    ASSERT_EQ(mainWindow()->title(), "Demo - saved");
    bool readOnly = true;
    qrn::files::setWriteFailureForTesting([&](qrn::files::WriteStep step, const qrn::files::Path&) {
        if (!readOnly || step != qrn::files::WriteStep::Open)
            return false;
        errno = EACCES;
        return true;
    });
    std::vector<qrn::Question> asked;
    qrn::setQuestionPresenter([&](const qrn::Question& question) {
        asked.push_back(question);
        readOnly = false;
        return true;
    });
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find(".json\": Permission denied"), std::string::npos) << alerts[0];
    EXPECT_EQ(mainWindow()->title(), "Demo");

    EXPECT_TRUE(delegate.applicationShouldTerminate());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].defaultButton, "Try Saving Again");
    EXPECT_EQ(asked[0].otherButton, "Quit Without Saving");
    delegate.applicationWillTerminate();
    const auto stored = qrn::json::readFile(path + "/projectData.json");
    ASSERT_TRUE(stored.isOk());
    EXPECT_EQ((*stored)["ASSET_ARRAY"].size(), model.getAssetArray().size());
    qrn::files::setWriteFailureForTesting(nullptr);
}

// A folder that keeps refusing the project: Cancel on the question keeps QRN and its window
// open with the project, for Save As to keep it elsewhere, whether Quit or the close asked.
TEST_F(LifecycleTest, CancelOnTheFailedWriteQuestionKeepsQRNOpenForSaveAs) {
    ASSERT_TRUE(createProject());
    refuseWrites();
    int asked = 0;
    qrn::setChoicePresenter([&](const qrn::Question&, const std::string& cancel) {
        ++asked;
        EXPECT_EQ(cancel, "Cancel");
        return qrn::QuestionChoice::cancel;
    });
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    const auto assets = model.getAssetArray();
    EXPECT_FALSE(delegate.applicationShouldTerminate());
    mainWindow()->performClose();
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(mainWindow()->isClosed());
    EXPECT_EQ(model.getAssetArray(), assets);
    qrn::files::setWriteFailureForTesting(nullptr);
}
