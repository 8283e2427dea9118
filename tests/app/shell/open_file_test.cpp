#include <filesystem>
#include <fstream>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Landing/landingClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/json.h"
#include "platform/ui/recent_documents.h"
#include "shell_fixture.h"

using namespace shelltest;

namespace {

class OpenFile : public ShellTest {
  protected:
    // Launches and opens `project` from the landing screen into the editing screen.
    void openInEditor(const std::string& project) {
        launch();
        delegate.application(project);
        advance(1.0);
        ASSERT_EQ(shownScreenIdentifier(), "viewLoader");
        // The stand-in import reads nothing: give the editor a project of two assets.
        previewLayerClass().clearClass(false);
        previewLayerClass().setAssetArray({"0", "2"});
    }
    std::string readFile(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

} // namespace

TEST_F(OpenFile, FromTheLandingScreenTheEditorIsPresentedHalfASecondLater) {
    const std::string talk = makeProject("Talk");
    launch();
    delegate.application(talk);
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), talk);
    advance(0.49);
    EXPECT_EQ(shownScreenIdentifier(), "landingController");
    EXPECT_TRUE(imports.empty());
    advance(0.02);
    EXPECT_TRUE(landingClass().getOpenExistingProject());
    EXPECT_EQ(qrn::RecentDocuments::shared().documents().front(), talk);
    advance(0.5);
    EXPECT_EQ(shownScreenIdentifier(), "viewLoader");
    ASSERT_EQ(imports.size(), 1u);
    // The editor's own start-up imports, keeping the undo history.
    EXPECT_EQ(imports[0], std::make_tuple(false, true, true));
}

TEST_F(OpenFile, FromTheEditorTheProjectIsImportedInPlaceAfterTenMilliseconds) {
    openInEditor(makeProject("First"));
    auto* editor = shownScreen();
    imports.clear();
    const std::string second = makeProject("Second");
    delegate.application(second);
    // Reset at once, refilled 0.01 s later into the same screen.
    EXPECT_EQ(previewLayerClass().getAssetArray(), std::vector<std::string>{"0"});
    EXPECT_TRUE(imports.empty());
    advance(0.011);
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(imports[0], std::make_tuple(true, true, false));
    EXPECT_EQ(shownScreen(), editor);
    EXPECT_EQ(mainWindow()->title(), "Second");
}

TEST_F(OpenFile, FromTheStudioItClosesAtTenMillisecondsThenImportsHalfASecondLater) {
    openInEditor(makeProject("First"));
    imports.clear();
    int dismissed = 0, studioCleared = 0;
    recordViewClass::setDismissHandler([&] { ++dismissed; });
    recordViewClass::setClearHandler([&] { ++studioCleared; });
    recordViewClass::setStudioState(true, false);
    delegate.application(makeProject("Second"));
    EXPECT_GE(studioCleared, 1);
    advance(0.011);
    EXPECT_EQ(dismissed, 1);
    EXPECT_TRUE(imports.empty());
    advance(0.49);
    EXPECT_TRUE(imports.empty());
    advance(0.02);
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(imports[0], std::make_tuple(true, true, false));
}

TEST_F(OpenFile, AnInvalidPackageLeavesTheOpenProjectAsItWas) {
    const std::string first = makeProject("First");
    openInEditor(first);
    autocueClass().displayAutocueWindow(false);
    const auto assets = previewLayerClass().getAssetArray();
    delegate.application(makeProject("Broken", false));
    EXPECT_EQ(alerts, std::vector<std::string>{"Project Failed to Load"});
    // Only the script editor closed.
    EXPECT_FALSE(autocueClass().getScriptEditorWindowOpen());
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), first);
    EXPECT_EQ(previewLayerClass().getAssetArray(), assets);
    advance(1.0);
    EXPECT_EQ(imports.size(), 1u);
}

TEST_F(OpenFile, WaitsWhileTheStudioRecordsAndIsRefusedWhileAnImportRuns) {
    const std::string first = makeProject("First");
    openInEditor(first);
    imports.clear();
    recordViewClass::setStudioState(true, true);
    delegate.application(makeProject("Second"));
    advance(1.0);
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), first);
    EXPECT_TRUE(imports.empty());
    EXPECT_EQ(previewLayerClass().getAssetArray(), (std::vector<std::string>{"0", "2"}));

    recordViewClass::setStudioState(false, false);
    persistentDataStorageClass().setInProgressBool(false);
    delegate.application(makeProject("Third"));
    advance(1.0);
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), first);
    EXPECT_TRUE(imports.empty());
}

TEST_F(OpenFile, OnlyTheNewestOfTwoQuickRequestsOpensAndOnlyOnce) {
    const std::string one = makeProject("One");
    const std::string two = makeProject("Two");
    launch();
    delegate.application(one);
    advance(0.005);
    delegate.application(two);
    advance(2.0);
    EXPECT_EQ(shownScreenIdentifier(), "viewLoader");
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), two);
    EXPECT_EQ(imports.size(), 1u);

    // Several files at once: the last wins.
    imports.clear();
    delegate.applicationOpenFiles({one, two});
    advance(1.0);
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), two);
    EXPECT_EQ(imports.size(), 1u);
}

TEST_F(OpenFile, AFileOnTheCommandLineOpensOnceTheLandingScreenIsThere) {
    const std::string talk = makeProject("Talk");
    launch({talk});
    advance(1.0);
    EXPECT_EQ(shownScreenIdentifier(), "viewLoader");
    EXPECT_EQ(imports.size(), 1u);
}

TEST_F(OpenFile, WithNoMainWindowOneIsOpenedToPresentFrom) {
    const std::string talk = makeProject("Talk");
    launch();
    mainWindow()->close();
    advance(1.0);
    ASSERT_EQ(mainWindow(), nullptr);
    delegate.application(talk);
    advance(1.0);
    EXPECT_EQ(shownScreenIdentifier(), "viewLoader");
    EXPECT_EQ(imports.size(), 1u);
}

TEST_F(OpenFile, SwitchingProjectsWritesThePendingChangesIntoTheOldPackage) {
    const std::string first = makeProject("First");
    openInEditor(first);
    // The editor stand-in imports nothing: give the model a new project to write.
    previewLayerClass().clearClass(false);
    persistentDataStorageClass().exportData(true);
    delegate.application(makeProject("Second"));
    const auto written = qrn::json::parse(readFile(first + "/projectData.json"));
    ASSERT_TRUE(written.isOk());
    EXPECT_EQ(written.value()["ASSET_ARRAY"], qrn::Json::array({"0"}));
    // Nothing later overwrites either package with the emptied model.
    advance(2.0);
    EXPECT_EQ(qrn::json::parse(readFile(first + "/projectData.json")).value()["ASSET_ARRAY"],
              qrn::Json::array({"0"}));
}

TEST_F(OpenFile, TerminationWritesTheProjectsOwnModelThenDeletesMarkedImages) {
    const std::string first = makeProject("First");
    openInEditor(first);
    previewLayerClass().clearClass(false);
    persistentDataStorageClass().exportData(true);
    const std::string image = first + "/images/OLD.png";
    std::ofstream(image) << "png";
    imageManipulationClass().markImageForPermanentRemoval("OLD", "png");
    delegate.applicationWillTerminate();
    const auto written = qrn::json::parse(readFile(first + "/projectData.json"));
    ASSERT_TRUE(written.isOk());
    EXPECT_EQ(written.value()["ASSET_ARRAY"], qrn::Json::array({"0"}));
    EXPECT_FALSE(std::filesystem::exists(image));
}

TEST_F(OpenFile, ClosingTheEditorNeverWritesTheEmptiedModel) {
    const std::string first = makeProject("First");
    openInEditor(first);
    previewLayerClass().clearClass(false);
    persistentDataStorageClass().exportData(true);
    mainWindow()->close();
    advance(1.0);
    EXPECT_TRUE(previewLayerClass().getAssetArray().empty());
    EXPECT_EQ(qrn::json::parse(readFile(first + "/projectData.json")).value()["ASSET_ARRAY"],
              qrn::Json::array({"0"}));
    // A write asked for now refuses the empty model.
    EXPECT_FALSE(persistentDataStorageClass().exportData(false));
}
