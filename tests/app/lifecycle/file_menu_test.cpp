#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <vector>

#include <QTemporaryDir>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "app/layers/layers_support.h"
#include "app/model/model_fixture.h"
#include "app/preview/preview_fixture.h"
#include "lifecycle_fixture.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/package_commit.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/replace_question.h"
#include "platform/ui/text_view.h"

using namespace lifecycletest;
using qrn::Json;
using strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

class ProjectFiles : public LifecycleTest {
  protected:
    void SetUp() override {
        LifecycleTest::SetUp();
        qrn::setReplaceQuestionPresenter([this](const fs::path& path) {
            questions.push_back(path.filename().string());
            return replaceAnswer;
        });
    }
    // The first layer of the first regular asset, moved as a drag leaves it: written half a
    // second later.
    std::vector<double> dragFirstLayer() {
        previewLayerClass model;
        auto frames = model.getLayerOriginSizeArray();
        frames[1][0][0] += 37;
        model.setLayerOriginSizeArray(frames);
        persistentDataStorageClass().exportData(true);
        return frames[1][0];
    }
    static std::vector<double> storedFirstFrame(const std::string& path) {
        auto json = qrn::json::readFile(path + "/projectData.json");
        return json.isOk() ? (*json)["LAYER_ORIGIN_SIZE_ARRAY"][1][0].get<std::vector<double>>()
                           : std::vector<double>{};
    }
    std::vector<std::string> questions;
    bool replaceAnswer = true;
};

// The script pane open on the editing screen, as the presenter leaves it between projects.
class ProjectScripts : public ProjectFiles {
  protected:
    void selectAt(size_t position) {
        editViewClass edit;
        const std::string id = previewLayerClass().getAssetArray().at(position);
        auto tile = position == 0
                        ? edit.getConfiguration()->stickyAsset->subviews().front()
                        : edit.getAssetHorizontalScrollView()->viewWithTag(std::stoi(id))->superview();
        edit.assetPreviewSelected(tile);
        ASSERT_EQ(previewLayerClass().getSelectedAssetIndex(), int(position));
    }
    static void type(const std::string& text) {
        auto view = autocueClass().visibleTextView();
        ASSERT_TRUE(view);
        view->userEdited(qrn::AttributedString(text));
    }
    static strings storedScripts(const std::string& path) {
        auto json = qrn::json::readFile(path + "/autocueData.json");
        strings out;
        if (json.isOk())
            for (const auto& entry : *json)
                out.push_back(entry.value("string", ""));
        return out;
    }
    static strings scriptsInMemory() {
        attributedStringStorageClass texts;
        strings out{texts.getProjectNotes().string()};
        for (const auto& script : texts.getAutocueStringArray())
            out.push_back(script.string());
        return out;
    }
};

TEST_F(ProjectFiles, NewFromTheEditorMakesAnEmptyPackageAndShowsOneAssetAfterThePanel) {
    ASSERT_TRUE(createProject());
    layerstest::dropImage(1, {50, 50});
    const std::string path = packagePath("Fresh");
    panelAnswers.push_back(path);
    fileMenuClass().newProject();
    EXPECT_EQ(previewLayerClass().getAssetArray(), strings{"0"}) << "the first asset comes 0.01 s later";
    advance(0.011);
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 2u);
    EXPECT_TRUE(fs::is_directory(path + "/images"));
    EXPECT_TRUE(fs::exists(path + "/.directory"));
    EXPECT_EQ(qrn::RecentDocuments::shared().documents().front(), fs::path(path));
    EXPECT_EQ(persistentDataStorageClass().getProjectName(), "Fresh");
    EXPECT_FALSE(undoRedoClass().getUndoOn());

    // Cancel: nothing is made and the model stays.
    const auto assets = previewLayerClass().getAssetArray();
    const auto entries =
        std::distance(fs::directory_iterator(dir.path().toStdString()), fs::directory_iterator());
    fileMenuClass().newProject();
    advance(1.0);
    EXPECT_EQ(previewLayerClass().getAssetArray(), assets);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path().toStdString()), fs::directory_iterator()),
              entries);
}

TEST_F(ProjectFiles, FromTheStudioNewAndOpenWaitForTheStudioToClose) {
    ASSERT_TRUE(createProject());
    int dismissed = 0;
    recordViewClass::setDismissHandler([&] { ++dismissed; });
    recordViewClass::setStudioState(true, false);
    panelAnswers.push_back(packagePath("Fresh"));
    fileMenuClass().newProject();
    advance(0.011);
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 1u) << "the first asset waits half a second more";
    advance(0.5);
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 2u);

    const std::string other = writePackage("Other", projectDocument({"0", "2", "4"}, {{}, {"3"}, {}}));
    recordViewClass::setStudioState(true, false);
    panelAnswers.push_back(other);
    fileMenuClass().open();
    advance(0.011);
    EXPECT_EQ(dismissed, 2);
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 1u);
    advance(0.5);
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 3u);
    recordViewClass::setDismissHandler(nullptr);
}

// A project handed over during a take waits for the take; a project the presenter opens after
// the take is their own choice, and no later take brings the hand-over back. One whose package
// has gone when its take ends opens nothing and says nothing.
TEST_F(ProjectFiles, AHandOverWaitingForATakeGivesWayToFileOpenAndToItsPackageGoing) {
    ASSERT_TRUE(createProject());
    const std::string second = writePackage("Second", projectDocument({"0", "2"}, {{}, {"3"}}));
    const std::string third = writePackage("Third", projectDocument({"0", "2", "4"}, {{}, {"3"}, {}}));
    recordViewClass::setDismissHandler([] {});
    recordViewClass::setStudioState(true, true);
    delegate.application(second);
    // Stopped; while the movie plays the presenter opens Third.
    recordViewClass::setStudioState(true, false);
    recordViewClass().setPlaybackShown(true);
    advance(1.0);
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), packagePath("Demo"));
    openWithMenu(third);
    ASSERT_EQ(persistentDataStorageClass().getProjectDirectory(), third);
    // A later take ends.
    recordViewClass().setPlaybackShown(false);
    recordViewClass().takeMayBeOver();
    advance(2.0);
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), third);

    recordViewClass::setStudioState(true, true);
    delegate.application(second);
    fs::remove_all(second);
    alerts.clear();
    recordViewClass::setStudioState(true, false);
    recordViewClass().takeMayBeOver();
    advance(2.0);
    EXPECT_TRUE(alerts.empty()) << alerts.front();
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), third);
    recordViewClass::setDismissHandler(nullptr);
}

TEST_F(ProjectFiles, NoPanelWhileImportingOrRecording) {
    ASSERT_TRUE(createProject());
    const int shown = savePanelsShown + openPanelsShown;
    persistentDataStorageClass().setInProgressBool(false);
    fileMenuClass().newProject();
    fileMenuClass().open();
    persistentDataStorageClass().setInProgressBool(true);
    recordViewClass::setStudioState(true, true);
    fileMenuClass().newProject();
    fileMenuClass().open();
    recordViewClass::setStudioState(false, false);
    EXPECT_EQ(savePanelsShown + openPanelsShown, shown);
}

TEST_F(ProjectFiles, NewOntoAnExistingPackageAsksThenEmptiesIt) {
    ASSERT_TRUE(createProject());
    const std::string other = writePackage("Other", projectDocument({"0", "2"}, {{}, {"3"}}));
    std::ofstream(other + "/autocueData.json") << "[]";
    replaceAnswer = false;
    panelAnswers.push_back(other);
    fileMenuClass().newProject();
    advance(1.0);
    EXPECT_EQ(questions, strings{"Other.qrn3ks"});
    EXPECT_TRUE(fs::exists(other + "/projectData.json")) << "no: nothing changes";
    EXPECT_EQ(persistentDataStorageClass().getProjectName(), "Demo");

    replaceAnswer = true;
    panelAnswers.push_back(other);
    fileMenuClass().newProject();
    EXPECT_FALSE(fs::exists(other + "/autocueData.json"));
    EXPECT_TRUE(fs::is_directory(other + "/images"));
    advance(1.0);
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(other));
}

TEST_F(ProjectFiles, SaveAsCopiesEveryFileWritesThereAndLeavesTheOldPackageAlone) {
    ASSERT_TRUE(createProject());
    const std::string old = packagePath("Demo");
    layerstest::dropImage(1, {50, 50});
    modeltest::writePng(old + "/images/layer.png", 4, 4, 0x00ff00);
    std::ofstream(old + "/notes.txt") << "kept";
    writeAndRead();
    advance(2.0);
    const auto before = filesOf(old);
    const std::string copy = packagePath("Copy");
    panelAnswers.push_back(copy);
    const auto frame = dragFirstLayer();
    fileMenuClass().saveAs(false);
    EXPECT_EQ(storedFirstFrame(old), frame) << "the pending write went to the old package first";
    const auto flushed = filesOf(old);
    for (const auto& [name, bytes] : flushed)
        if (name != "projectData.json")
            EXPECT_EQ(filesOf(copy)[name], bytes) << name;
    EXPECT_EQ(mainWindow()->title(), "Copy");
    advance(0.49);
    EXPECT_EQ(filesOf(copy)["projectData.json"], flushed.at("projectData.json"));
    auto frames = previewLayerClass().getLayerOriginSizeArray();
    frames[1][0][1] += 5;
    previewLayerClass().setLayerOriginSizeArray(frames);
    persistentDataStorageClass().exportData(true);
    advance(0.6);
    EXPECT_EQ(storedFirstFrame(copy), frames[1][0]);
    EXPECT_EQ(filesOf(old), flushed);
    EXPECT_EQ(before.size(), flushed.size());
    // An extension typed in capitals is the package's extension all the same.
    panelAnswers.push_back((std::filesystem::path(copy).parent_path() / "Talk.QRN3KS").string());
    fileMenuClass().saveAs(false);
    EXPECT_EQ(mainWindow()->title(), "Talk");

    // From the studio: its window names the package the project is now written to.
    qputenv("QRN_TEST_DEVICES", "1");
    auto bar = editScreenTitleBarController::current();
    ASSERT_TRUE(bar && bar->buttonRecordView);
    click(*bar->buttonRecordView,
          {bar->buttonRecordView->bounds().midX(), bar->buttonRecordView->bounds().midY()});
    advance(1.0);
    ASSERT_TRUE(dynamic_cast<recordViewController*>(shownScreen()));
    panelAnswers.push_back(packagePath("Studio copy"));
    fileMenuClass().saveAs(false);
    EXPECT_EQ(mainWindow()->title(), "Studio copy");
    qunsetenv("QRN_TEST_DEVICES");
}

TEST_F(ProjectFiles, SaveAsReplacesAPackageWholeRefusesInnerTargetsAndSurvivesAFailedCopy) {
    ASSERT_TRUE(createProject());
    const std::string old = packagePath("Demo");
    writeAndRead();
    const std::string other = writePackage("Other", projectDocument({"0", "2"}, {{}, {"3"}}));
    modeltest::writePng(other + "/images/foreign.png", 4, 4, 0xff0000);

    replaceAnswer = false;
    panelAnswers.push_back(other);
    fileMenuClass().saveAs(false);
    EXPECT_TRUE(fs::exists(other + "/images/foreign.png"));
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), old);

    replaceAnswer = true;
    panelAnswers.push_back(other);
    fileMenuClass().saveAs(false);
    EXPECT_FALSE(fs::exists(other + "/images/foreign.png")) << "the two projects are not mixed";
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), other);
    advance(1.0);
    EXPECT_EQ(qrn::json::readFile(other + "/projectData.json")->at("ASSET_ARRAY"), (Json{"0", "2"}));
    for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
        EXPECT_EQ(entry.path().filename().string().front() == '.', false) << entry.path();

    // Inside the open package: refused; the package itself: a Save.
    alerts.clear();
    panelAnswers.push_back(other + "/images/Inner.qrn3ks");
    fileMenuClass().saveAs(false);
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_FALSE(fs::exists(other + "/images/Inner.qrn3ks"));
    panelAnswers.push_back(other);
    const size_t asked = questions.size();
    fileMenuClass().saveAs(false);
    EXPECT_EQ(questions.size(), asked + 1);
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), other);
    EXPECT_TRUE(fs::exists(other + "/images"));

    // A stray pipe the project does not use stays behind, named once, and the Save As goes ahead.
    ASSERT_EQ(::mkfifo((other + "/pipe").c_str(), 0600), 0);
    alerts.clear();
    const std::string third = packagePath("Third");
    panelAnswers.push_back(third);
    fileMenuClass().saveAs(false);
    EXPECT_EQ(alerts,
              strings{"\"Third\" was saved without \"pipe\" (it is a pipe), which could not be copied "
                      "from \"Other\" and which the project does not use."});
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), third);
    EXPECT_TRUE(fs::exists(third + "/projectData.json"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(third + "/pipe")));
    // A picture a layer shows cannot be left out: the Save As stops and names it.
    layerstest::dropImage(1, {50, 50});
    ASSERT_EQ(::mkfifo((third + "/images/layer.png").c_str(), 0600), 0);
    alerts.clear();
    panelAnswers.push_back(packagePath("Fourth"));
    fileMenuClass().saveAs(false);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("\"" + third + "/images/layer.png\" could not be read: it is a pipe"),
              std::string::npos)
        << alerts[0];
    EXPECT_FALSE(fs::exists(packagePath("Fourth")));
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), third);
}

// A picture a slide shows that cannot be read stops Save As wherever it goes: the notice names the
// slide and what lets the copy go on, not another place to try.
TEST_F(ProjectFiles, SaveAsStoppedByAPictureThatCannotBeReadNamesItsSlideAndWhatToDo) {
    ASSERT_TRUE(createProject());
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    layerstest::dropImage(2, {50, 50});
    const std::string picture = packagePath("Demo") + "/images/layer.png";
    modeltest::writePng(picture, 4, 4, 0x00ff00);
    advance(1.0);
    qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path& p) {
        if (step != qrn::files::WriteStep::Read || p.filename() != "layer.png")
            return false;
        errno = EACCES;
        return true;
    });
    alerts.clear();
    panelAnswers.push_back(packagePath("Copy"));
    fileMenuClass().saveAs(false);
    qrn::files::setWriteFailureForTesting(nullptr);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "A picture on slide 2 stops the copy: \"" + picture +
                             "\" could not be read: Permission denied. Make that file readable, or remove "
                             "its layer, then choose Save As again. The project stays open where it was.");
    EXPECT_FALSE(fs::exists(packagePath("Copy")));
}

// A received package may hold links to the sender's (or anyone's) files: Save As copies the
// links, never what they point to, so nothing of the presenter's goes out with the package.
TEST_F(ProjectFiles, SaveAsCopiesALinkAsTheLinkNeverWhatItPointsTo) {
    ASSERT_TRUE(createProject());
    writeAndRead();
    const std::string outside = dir.path().toStdString() + "/private";
    fs::create_directories(outside);
    std::ofstream(outside + "/diary.txt") << "private";
    fs::create_symlink(outside + "/diary.txt", packagePath("Demo") + "/notes.txt");
    fs::create_symlink(outside, packagePath("Demo") + "/stuff");
    const std::string copy = packagePath("Copy");
    panelAnswers.push_back(copy);
    fileMenuClass().saveAs(false);
    advance(1.0);
    ASSERT_EQ(persistentDataStorageClass().getProjectDirectory(), copy);
    EXPECT_TRUE(fs::is_symlink(copy + "/notes.txt"));
    EXPECT_TRUE(fs::is_symlink(copy + "/stuff"));
    EXPECT_EQ(fs::read_symlink(copy + "/notes.txt"), fs::path(outside + "/diary.txt"));
}

// A disk that fills while the package is copied is named as the cause, not as a device error.
TEST_F(ProjectFiles, SaveAsOntoADiskThatFillsSaysItIsFull) {
    ASSERT_TRUE(createProject());
    writeAndRead();
    modeltest::writePng(packagePath("Demo") + "/images/layer.png", 64, 64, 0x00ff00);
    qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path& p) {
        return step == qrn::files::WriteStep::Write && p.filename() == "layer.png";
    });
    alerts.clear();
    panelAnswers.push_back(packagePath("Full"));
    fileMenuClass().saveAs(false);
    qrn::files::setWriteFailureForTesting(nullptr);
    ASSERT_EQ(alerts.size(), 1u);
    // The file is named at the place chosen, not in the hidden folder it is copied into first.
    EXPECT_NE(alerts[0].find("\"" + packagePath("Full") +
                             "/images/layer.png\" could not be written: No space "
                             "left on device"),
              std::string::npos)
        << alerts[0];
    EXPECT_EQ(alerts[0].find(".saving"), std::string::npos) << alerts[0];
    EXPECT_FALSE(fs::exists(packagePath("Full")));
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), packagePath("Demo"));
}

// The open project's folder deleted under it: Save As is the presenter's way out, and writes
// what is open into a fresh package, saying that the layers' pictures stayed behind.
TEST_F(ProjectFiles, SaveAsKeepsAProjectWhoseFolderWasDeleted) {
    ASSERT_TRUE(createProject());
    layerstest::dropImage(1, {50, 50});
    writeAndRead();
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    const auto assets = previewLayerClass().getAssetArray();
    fs::remove_all(packagePath("Demo"));
    alerts.clear();
    const std::string rescued = packagePath("Rescued");
    panelAnswers.push_back(rescued);
    fileMenuClass().saveAs(false);
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), rescued);
    EXPECT_TRUE(fs::is_directory(rescued + "/images"));
    EXPECT_TRUE(fs::exists(rescued + "/autocueData.json"));
    auto stored = qrn::json::readFile(rescued + "/projectData.json");
    ASSERT_TRUE(stored.isOk());
    EXPECT_EQ(stored->at("ASSET_ARRAY").get<strings>(), assets);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("without the pictures"), std::string::npos) << alerts[0];
}

// A project opened from a folder that takes no writes (a read-only stick): it opens, and the
// failure of QRN's own rewrite after the open is said once, without speaking of changes the
// presenter never made.
TEST_F(ProjectFiles, AProjectInAReadOnlyFolderOpensAndSaysItCannotBeSavedThere) {
    ASSERT_TRUE(createProject());
    const std::string stick = writePackage("Stick", projectDocument({"0", "2", "4"}, {{}, {"3"}, {"5"}}));
    refuseWrites();
    alerts.clear();
    openWithMenu(stick);
    qrn::files::setWriteFailureForTesting(nullptr);
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 3u);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("The project could not be saved in its folder. ", 0), 0u) << alerts[0];
    EXPECT_NE(alerts[0].find("Read-only file system"), std::string::npos) << alerts[0];
}

// A package from read-only media or another user's folder: the presenter (never root, which
// ignores modes) opens it, adds a slide and saves it in a folder of their own. The copy is whole,
// and theirs to write. The presenter's part runs as this test again in a fresh process under an
// ordinary user id: the threads earlier tests started would not survive a mere fork.
TEST_F(ProjectFiles, SaveAsOfAPackageThePresenterCannotWriteGivesTheirOwnWritableCopy) {
    constexpr uid_t presenter = 65534;
    if (const char* area = std::getenv("QRN_TEST_PRESENTER_AREA")) {
        ASSERT_EQ(::geteuid(), presenter);
        const std::string talk = std::string(area) + "/Talk.qrn3ks",
                          copy = std::string(area) + "/mine/Copy.qrn3ks";
        launch();
        openWithMenu(talk, false);
        EXPECT_EQ(alerts.size(), 1u) << "the open says the folder takes no writes";
        previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
        advance(1.0);
        alerts.clear();
        panelAnswers.push_back(copy);
        fileMenuClass().saveAs(false);
        advance(2.0);
        for (const auto& alert : alerts)
            ADD_FAILURE() << alert;
        ASSERT_EQ(persistentDataStorageClass().getProjectDirectory(), copy);
        const auto copied = filesOf(copy);
        for (const auto& [name, bytes] : filesOf(talk))
            if (name.find(".json") == std::string::npos)
                EXPECT_EQ(copied.count(name) ? copied.at(name) : "missing", bytes) << name;
        auto stored = qrn::json::readFile(copy + "/projectData.json");
        EXPECT_TRUE(stored && stored->at("ASSET_ARRAY").size() == 3u) << "the new slide was not written";
        for (const auto& entry : fs::recursive_directory_iterator(copy))
            EXPECT_EQ(::access(entry.path().c_str(), W_OK), 0) << entry.path();
        EXPECT_TRUE(std::ofstream(copy + "/images/new.png") << "x") << "the images folder takes no new file";
        return;
    }
    // Under /tmp, which every user may pass through.
    QTemporaryDir shared("/tmp/qrn-presenter-XXXXXX");
    const std::string base = shared.path().toStdString();
    ASSERT_EQ(::chmod(base.c_str(), 0755), 0);
    const std::string talk = base + "/Talk.qrn3ks", mine = base + "/mine";
    auto document = projectDocument({"0", "2"}, {{}, {"3"}});
    setReference(document, 1, 0, {3, "png", "face"});
    fs::create_directories(talk + "/images");
    std::ofstream(talk + "/projectData.json") << document.dump();
    modeltest::writePng(talk + "/images/face.png", 8, 8, 0x3366ff);
    std::ofstream(talk + "/7F1C.mov") << "a take";
    for (const auto& entry : fs::recursive_directory_iterator(talk))
        ASSERT_EQ(::chmod(entry.path().c_str(), entry.is_directory() ? 0555 : 0444), 0);
    ASSERT_EQ(::chmod(talk.c_str(), 0555), 0);
    fs::create_directories(mine);
    ASSERT_EQ(::chown(mine.c_str(), presenter, presenter), 0);
    const auto original = filesOf(talk);

    // Made before the fork: between fork and exec only plain system calls are safe.
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::vector<std::string> environment{"QRN_TEST_PRESENTER_AREA=" + base, "TMPDIR=/tmp", "HOME=" + mine};
    for (char** variable = environ; *variable; ++variable)
        if (!std::string_view(*variable).starts_with("TMPDIR=") &&
            !std::string_view(*variable).starts_with("HOME="))
            environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (auto& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    char program[] = "tests_app";
    char* argv[] = {program, const_cast<char*>(filter.c_str()), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) == 0 && ::setresgid(presenter, presenter, presenter) == 0 &&
            ::setresuid(presenter, presenter, presenter) == 0)
            ::execve("/proc/self/exe", argv, envp.data());
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the presenter's Save As failed (see above)";
    EXPECT_TRUE(fs::exists(mine + "/Copy.qrn3ks/images/face.png"));
    EXPECT_EQ(filesOf(talk), original) << "the package saved from was changed";
}

// Changes the project's folder refused are not dropped by opening another project: the
// presenter is asked first, and Cancel keeps the project open for Save As.
TEST_F(ProjectFiles, OpenAfterAFailedWriteAsksAndCancelKeepsTheProject) {
    ASSERT_TRUE(createProject());
    const std::string other = writePackage("Other", projectDocument({"0", "2"}, {{}, {"3"}}));
    refuseWrites();
    std::vector<std::string> leaveButtons;
    qrn::setChoicePresenter([&](const qrn::Question& question, const std::string&) {
        leaveButtons.push_back(question.otherButton);
        return qrn::QuestionChoice::cancel;
    });
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    const auto assets = previewLayerClass().getAssetArray();
    openWithMenu(other);
    panelAnswers.push_back(packagePath("Fresh"));
    fileMenuClass().newProject();
    advance(1.0);
    qrn::files::setWriteFailureForTesting(nullptr);
    EXPECT_EQ(leaveButtons, (strings{"Leave Without Saving", "Leave Without Saving"}));
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), packagePath("Demo"));
    EXPECT_EQ(previewLayerClass().getAssetArray(), assets);
    EXPECT_FALSE(fs::exists(packagePath("Fresh")));
}

// A script typed while the folder refused writes is not left behind by Save As: the copy holds
// the folder's old files, so the new package is written whole from what is open.
TEST_F(ProjectFiles, SaveAsAfterAFailedWriteWritesWhatTheFolderRefused) {
    ASSERT_TRUE(createProject());
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    advance(1.0);
    refuseWrites("Demo.qrn3ks");
    attributedStringStorageClass().setScriptAfterDelay(1, qrn::AttributedString("typed while refused"));
    advance(1.0);
    ASSERT_TRUE(persistentDataStorageClass::hasUnwrittenChanges());
    const std::string copy = packagePath("Copy");
    panelAnswers.push_back(copy);
    fileMenuClass().saveAs(false);
    advance(1.0);
    qrn::files::setWriteFailureForTesting(nullptr);
    EXPECT_NE(filesOf(copy)["autocueData.json"].find("typed while refused"), std::string::npos);
}

// A nearly full disk takes the small project file but not the scripts: a script it refused stays
// unwritten whatever is written after it. The refusal is said once, Quit asks about the script,
// and Save As writes it into the copy.
TEST_F(ProjectFiles, AScriptTheDiskRefusedIsAskedAboutAtQuitAndSavedByAsAfterTheProjectFileWasWritten) {
    ASSERT_TRUE(createProject());
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    layerstest::dropImage(1, {50, 50});
    layerstest::dropImage(1, {50, 50});
    advance(1.0);
    ASSERT_EQ(model.getLayerArray()[1].size(), 2u);
    qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path& p) {
        return step == qrn::files::WriteStep::Write && p.filename() == "autocueData.json" &&
               p.parent_path().filename() == "Demo.qrn3ks";
    });
    const auto storedLayers = [&] {
        const auto written = qrn::json::readFile(packagePath("Demo") + "/projectData.json");
        return written.isOk() ? (*written)["LAYER_ARRAY"][1].size() : 99u;
    };
    attributedStringStorageClass texts;
    texts.setScriptAfterDelay(1, qrn::AttributedString("typed on a full disk"));
    advance(1.0);
    model.removeLayer(layerAssetIndexAndVideoSelectedArray{false, 1, 0}, false);
    advance(1.0);
    ASSERT_EQ(storedLayers(), 1u) << "the project file was written";
    texts.setScriptAfterDelay(1, qrn::AttributedString("typed on a full disk, and more"));
    advance(1.0);
    EXPECT_EQ(alerts.size(), 1u) << "said once, not at every write refused again";
    model.removeLayer(layerAssetIndexAndVideoSelectedArray{false, 1, 0}, false);
    advance(1.0);
    ASSERT_EQ(storedLayers(), 0u);

    std::vector<qrn::Question> asked;
    qrn::setChoicePresenter([&](const qrn::Question& question, const std::string&) {
        asked.push_back(question);
        return qrn::QuestionChoice::cancel;
    });
    EXPECT_FALSE(delegate.applicationShouldTerminate());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].informativeText.find("autocueData.json"), std::string::npos)
        << asked[0].informativeText;

    const std::string copy = packagePath("Copy");
    panelAnswers.push_back(copy);
    fileMenuClass().saveAs(false);
    advance(1.0);
    qrn::files::setWriteFailureForTesting(nullptr);
    EXPECT_NE(filesOf(copy)["autocueData.json"].find("typed on a full disk, and more"), std::string::npos);
    EXPECT_EQ(alerts.size(), 1u);
}

// A layer removed while the folder refuses writes is still in the project on disk: its picture
// stays for it when the presenter quits without saving.
TEST_F(ProjectFiles, APictureTheStoredProjectStillNamesIsKeptWhenItsRemovalWasNotSaved) {
    ASSERT_TRUE(createProject());
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    layerstest::dropImage(1, {50, 50});
    const std::string picture = packagePath("Demo") + "/images/layer.png";
    modeltest::writePng(picture, 4, 4, 0x00ff00);
    advance(1.0);
    const auto stored = filesOf(packagePath("Demo"));
    refuseWrites("Demo.qrn3ks");
    model.removeLayer(layerAssetIndexAndVideoSelectedArray{false, 1, 0}, false);
    advance(1.0);
    ASSERT_TRUE(persistentDataStorageClass::hasUnwrittenChanges());
    qrn::setChoicePresenter(
        [&](const qrn::Question&, const std::string&) { return qrn::QuestionChoice::otherButton; });
    EXPECT_TRUE(delegate.applicationShouldTerminate());
    delegate.applicationWillTerminate();
    qrn::files::setWriteFailureForTesting(nullptr);
    qrn::setChoicePresenter(nullptr);
    EXPECT_EQ(filesOf(packagePath("Demo")), stored);
}

TEST_F(ProjectFiles, APendingWriteReachesTheOldProjectBeforeNewOpenOrClose) {
    ASSERT_TRUE(createProject());
    layerstest::dropImage(1, {50, 50});
    writeAndRead();
    auto frame = dragFirstLayer();
    panelAnswers.push_back(packagePath("Next"));
    fileMenuClass().newProject();
    advance(2.0);
    EXPECT_EQ(storedFirstFrame(packagePath("Demo")), frame) << "New";
    EXPECT_FALSE(undoRedoClass().getUndoOn());

    layerstest::dropImage(1, {50, 50});
    writeAndRead();
    frame = dragFirstLayer();
    const std::string target = writePackage("Target", projectDocument({"0", "2"}, {{}, {"3"}}));
    openWithMenu(target);
    EXPECT_EQ(storedFirstFrame(packagePath("Next")), frame) << "Open";
    EXPECT_FALSE(undoRedoClass().getUndoOn());

    frame = dragFirstLayer();
    mainWindow()->performClose();
    advance(2.0);
    EXPECT_EQ(storedFirstFrame(target), frame) << "close";
}

TEST_F(ProjectFiles, TheWriteAfterAnImportIsDroppedWhenNewComesFirst) {
    ASSERT_TRUE(createProject());
    const std::string opened = writePackage("Opened", projectDocument({"0", "2", "4"}, {{}, {"3"}, {"5"}}));
    const auto stored = filesOf(opened);
    panelAnswers.push_back(opened);
    fileMenuClass().open();
    advance(0.3);
    panelAnswers.push_back(packagePath("Fresh"));
    fileMenuClass().newProject();
    advance(2.0);
    EXPECT_EQ(filesOf(opened).at("projectData.json"), stored.at("projectData.json"));
    auto fresh = qrn::json::readFile(packagePath("Fresh") + "/projectData.json");
    ASSERT_TRUE(fresh.isOk());
    EXPECT_EQ((*fresh)["ASSET_ARRAY"].size(), 2u) << "the new project's own file, not the opened one's";
}

TEST_F(ProjectFiles, TwoQuickOpensImportOnlyTheNewestOnce) {
    ASSERT_TRUE(createProject());
    const std::string first = writePackage("First", projectDocument({"0", "2"}, {{}, {"3"}}));
    const std::string second =
        writePackage("Second", projectDocument({"0", "2", "4", "6"}, {{}, {"3"}, {}, {}}));
    panelAnswers.push_back(first);
    fileMenuClass().open();
    advance(0.005);
    panelAnswers.push_back(second);
    fileMenuClass().open();
    advance(2.0);
    EXPECT_EQ(persistentDataStorageClass().getProjectName(), "Second");
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 4u);
    layerstest::expectLayerInvariants();
}

TEST_F(ProjectScripts, TheScriptShownWhenLeavingAProjectGoesToNoAssetOfTheNextOne) {
    ASSERT_TRUE(createProject("Left"));
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    selectAt(0);
    type("Notes of Left");
    selectAt(2);
    type("Second script of Left");
    advance(1.0);
    const strings left{"Notes of Left", "", "Second script of Left"};
    ASSERT_EQ(storedScripts(packagePath("Left")), left);

    // New, with the pane still on the second slide of the project left.
    panelAnswers.push_back(packagePath("Fresh"));
    fileMenuClass().newProject();
    advance(2.0);
    EXPECT_EQ(scriptsInMemory(), (strings{"PROJECT NOTES", ""}));
    EXPECT_EQ(storedScripts(packagePath("Fresh")), (strings{"PROJECT NOTES", ""}));
    EXPECT_EQ(autocueClass().getTextField()->string(), "");
    EXPECT_EQ(storedScripts(packagePath("Left")), left);

    // Open, with the pane on the fresh project's slide: the opened project's texts as stored.
    selectAt(1);
    type("Fresh script");
    advance(1.0);
    openWithMenu(packagePath("Left"));
    advance(2.0);
    EXPECT_EQ(scriptsInMemory(), left);
    EXPECT_EQ(storedScripts(packagePath("Left")), left);
    EXPECT_EQ(storedScripts(packagePath("Fresh")), (strings{"PROJECT NOTES", "Fresh script"}));
    // The pane shows the slide selected after the import, and typing there keeps to it.
    const int shown = previewLayerClass().getSelectedAssetIndex();
    ASSERT_EQ(shown, 2);
    EXPECT_EQ(autocueClass().getTextField()->string(), "Second script of Left");
    type("Second script, changed");
    advance(1.0);
    EXPECT_EQ(storedScripts(packagePath("Left")), (strings{"Notes of Left", "", "Second script, changed"}));
}

} // namespace

// A deck opened with the script pane showing encodes its scripts once, not once for every slide
// the opening shows on its way: that made opening quadratic in the slides.
TEST_F(ProjectScripts, ADeckOpenedWithThePaneShowingEncodesItsScriptsOnce) {
    constexpr int slides = 24;
    ASSERT_TRUE(createProject("Deck"));
    for (int i = 1; i < slides; ++i)
        previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    advance(1.0);
    ASSERT_EQ(storedScripts(packagePath("Deck")).size(), size_t(slides) + 1);
    panelAnswers.push_back(packagePath("Fresh"));
    fileMenuClass().newProject();
    advance(2.0);

    // The trace log names each encoding with the number of texts it takes.
    std::vector<std::string> lines;
    qrn::setLogSinkForTesting([&](const std::string& l) { lines.push_back(l); });
    globalAppSettingsClass::setShowLogsForTesting(true);
    openWithMenu(packagePath("Deck"));
    advance(2.0);
    globalAppSettingsClass::setShowLogsForTesting(false);
    qrn::setLogSinkForTesting(nullptr);
    ASSERT_EQ(scriptsInMemory().size(), size_t(slides) + 1);
    const std::string every = std::to_string(slides + 1);
    const auto wholeScriptEncodings = std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        const auto at = l.find("saveAttributedString");
        const auto count = l.find("attributedStrings");
        return at != std::string::npos && count != std::string::npos &&
               l.find(every, count) != std::string::npos;
    });
    EXPECT_GE(wholeScriptEncodings, 0);
    EXPECT_LE(wholeScriptEncodings, 2) << lines.size() << " trace lines";
}

// Opening shows each slide's script as it was read, which changes nothing: the text files are
// written again only when the open changed what they hold (a scripts file short of a slide).
TEST_F(ProjectScripts, AnOpenWritesTheTextFilesOnlyWhenItChangedThem) {
    constexpr int slides = 6;
    ASSERT_TRUE(createProject("Deck"));
    for (int i = 1; i < slides; ++i)
        previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    type("The last slide's words");
    advance(1.0);
    const std::string deck = packagePath("Deck");
    ASSERT_EQ(storedScripts(deck).size(), size_t(slides) + 1);
    panelAnswers.push_back(packagePath("Fresh"));
    fileMenuClass().newProject();
    advance(2.0);

    std::map<std::string, int> writes;
    qrn::files::setWriteFailureForTesting([&](qrn::files::WriteStep step, const qrn::files::Path& file) {
        if (step == qrn::files::WriteStep::Open && file.parent_path() == deck)
            for (const char* name : {"autocueData", "specialSymbolData"})
                if (file.filename().string().starts_with(name))
                    ++writes[name];
        return false;
    });
    openWithMenu(deck);
    advance(2.0);
    EXPECT_EQ(writes["autocueData"], 0);
    EXPECT_EQ(writes["specialSymbolData"], 0);
    EXPECT_EQ(scriptsInMemory().back(), "The last slide's words");

    // Two scripts short: the open pads the file and writes it once.
    auto stored = qrn::json::readFile(deck + "/autocueData.json");
    ASSERT_TRUE(stored.isOk());
    qrn::Json shorter = *stored;
    shorter.erase(shorter.size() - 1);
    shorter.erase(shorter.size() - 1);
    ASSERT_TRUE(qrn::json::writeFile(deck + "/autocueData.json", shorter));
    panelAnswers.push_back(packagePath("Other"));
    fileMenuClass().newProject();
    advance(2.0);
    writes.clear();
    openWithMenu(deck);
    advance(2.0);
    qrn::files::setWriteFailureForTesting(nullptr);
    EXPECT_EQ(writes["autocueData"], 1);
    EXPECT_EQ(storedScripts(deck).size(), size_t(slides) + 1);
}

// Another QRN (a second process) holds the package: it is not opened, and the presenter is told
// why. Once that process has ended, without letting go, the package opens.
TEST_F(ProjectFiles, APackageAnotherQRNHoldsOpensOnlyAfterThatQRNEnds) {
    ASSERT_TRUE(createProject());
    const std::string shared = writePackage("Shared", projectDocument({"0", "2"}, {{}, {"3"}}));
    int ask[2], answer[2];
    ASSERT_EQ(::pipe(ask), 0);
    ASSERT_EQ(::pipe(answer), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        qrn::files::FolderLock lock;
        const char taken = lock.take(shared) == qrn::files::FolderLock::Outcome::taken ? 'y' : 'n';
        (void)!::write(answer[1], &taken, 1);
        char end;
        (void)!::read(ask[0], &end, 1);
        ::_exit(0);
    }
    char taken = 0;
    ASSERT_EQ(::read(answer[0], &taken, 1), 1);
    ASSERT_EQ(taken, 'y');

    openWithMenu(shared, false);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "The project \"Shared\" is open in another QRN. Close it there to open it here.");
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), packagePath("Demo"));

    (void)!::write(ask[1], "x", 1);
    ::waitpid(other, nullptr, 0);
    for (int fd : {ask[0], ask[1], answer[0], answer[1]})
        ::close(fd);
    alerts.clear();
    openWithMenu(shared);
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), shared);
    EXPECT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "2"}));
}

// Save As onto a package another QRN has open leaves it alone and says why.
TEST_F(ProjectFiles, SaveAsOntoAPackageAnotherQRNHoldsSaysItCannotBeReplaced) {
    ASSERT_TRUE(createProject());
    const std::string shared = writePackage("Shared", projectDocument({"0", "2"}, {{}, {"3"}}));
    qrn::files::FolderLock otherQrn;
    ASSERT_EQ(otherQrn.take(shared), qrn::files::FolderLock::Outcome::taken);
    panelAnswers.push_back(shared);
    fileMenuClass().saveAs(false);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "The project \"Shared\" is open in another QRN and cannot be replaced.");
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), packagePath("Demo"));
}

// New over a package another QRN has open neither empties that package nor leaves the project.
TEST_F(ProjectFiles, NewOverAPackageAnotherQRNHoldsLeavesBothAlone) {
    ASSERT_TRUE(createProject());
    const std::string shared = writePackage("Shared", projectDocument({"0", "2"}, {{}, {"3"}}));
    std::ofstream(shared + "/autocueData.json") << "[]";
    // A lock on a descriptor of its own refuses this QRN as another process's would.
    qrn::files::FolderLock otherQrn;
    ASSERT_EQ(otherQrn.take(shared), qrn::files::FolderLock::Outcome::taken);

    panelAnswers.push_back(shared);
    fileMenuClass().newProject();
    advance(1.0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "The project \"Shared\" is open in another QRN. Close it there to replace it here.");
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(shared));
    EXPECT_TRUE(fs::exists(shared + "/autocueData.json"));
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), packagePath("Demo"));
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 2u);
}
