#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "lifecycle_fixture.h"
#include "platform/foundation/package_commit.h"

using namespace lifecycletest;
namespace fs = std::filesystem;

namespace {

enum class Change { removeSlide, addSlide, reorderSlides, save };
enum class Fault { processEnds, diskFull };
using Files = std::map<std::string, std::string>;
using strings = std::vector<std::string>;

// A change that writes the package's three files, made in a child process whose writes meet a
// fault at a chosen step; the package must then hold the state before or the state after.
class PackageCommits : public LifecycleTest, public ::testing::WithParamInterface<std::tuple<Change, Fault>> {
  protected:
    void TearDown() override {
        qrn::files::setWriteFailureForTesting(nullptr);
        LifecycleTest::TearDown();
    }
    Files packageNow() const {
        Files files;
        for (const auto& [name, bytes] : filesOf(path))
            if (name.find('/') == std::string::npos)
                files[name] = bytes;
        return files;
    }
    void restore(const Files& files) const {
        for (const auto& entry : fs::directory_iterator(path))
            if (entry.is_regular_file())
                fs::remove(entry.path());
        for (const auto& [name, bytes] : files)
            ASSERT_TRUE(qrn::files::replaceAtomically(path + "/" + name, bytes));
    }
    static void make(Change change) {
        previewLayerClass model;
        switch (change) {
        case Change::removeSlide:
            model.removeAsset(std::stoi(model.getAssetArray()[2]), false);
            break;
        case Change::addSlide:
            model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
            break;
        case Change::reorderSlides:
            assetZPositionClass().revertUndoRedoAction(1, 3);
            break;
        case Change::save:
            fileMenuClass().save();
            break;
        }
    }
    // True when the change met the fault at write step n; false when it finished before.
    static bool changeInChild(Change change, std::optional<Fault> fault, int n) {
        const pid_t child = ::fork();
        if (child == 0) {
            int steps = 0;
            qrn::files::setWriteFailureForTesting([&](qrn::files::WriteStep step, const qrn::files::Path&) {
                if (!fault || ++steps < n)
                    return false;
                if (*fault == Fault::processEnds)
                    ::_exit(2);
                return step == qrn::files::WriteStep::Write;
            });
            make(change);
            ::_exit(fault && steps >= n ? 2 : 0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        return WIFEXITED(status) && WEXITSTATUS(status) == 2;
    }
    std::string path;
};

TEST_P(PackageCommits, LeaveTheOldStateOrTheNewAtEveryWriteStep) {
    const auto [change, fault] = GetParam();
    ASSERT_TRUE(createProject());
    path = packagePath("Demo");
    previewLayerClass model;
    attributedStringStorageClass texts;
    for (int i = 0; i < 3; ++i)
        model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    advance(2.0);
    // Every slide's script and text its own, so that a file out of step with the others shows.
    std::vector<qrn::AttributedString> scripts;
    auto symbols = texts.getTextSymbolStringArray();
    for (size_t i = 0; i < symbols.size(); ++i) {
        symbols[i] = {qrn::AttributedString("text of slide " + std::to_string(i))};
        if (i > 0)
            scripts.emplace_back("script of slide " + std::to_string(i));
    }
    texts.setAutocueStringArray(scripts);
    texts.setTextSymbolStringArray(symbols, 1);
    ASSERT_TRUE(persistentDataStorageClass().saveProject());
    if (change == Change::save) {
        // Edits in memory only, for Save to write.
        auto colours = model.getAssetBackgroundColour();
        colours[0] = {200, 100, 50, 1};
        model.setAssetBackgroundColour(colours);
        texts.setScriptAfterDelay(1, qrn::AttributedString("typed"));
        symbols[1] = {qrn::AttributedString("edited")};
        texts.setTextSymbolStringArray(symbols, 0);
    }
    const Files before = packageNow();
    ASSERT_FALSE(changeInChild(change, std::nullopt, 0));
    const Files after = packageNow();
    for (const char* name : {"projectData.json", "autocueData.json", "specialSymbolData.json"})
        ASSERT_NE(before.at(name), after.at(name)) << name;

    for (int n = 1; n < 100; ++n) {
        restore(before);
        const bool met = changeInChild(change, fault, n);
        // What the change left is finished or cleared when QRN next opens the package.
        ASSERT_TRUE(persistentDataStorageClass::claimPackage(path));
        const Files now = packageNow();
        EXPECT_TRUE(now == before || now == after) << "fault at write step " << n;
        if (!met)
            break;
    }
}

// A package whose last save was cut short, opened where it cannot be written (a read-only
// backup, another user's folder): the commit cannot be finished, so the project is read as its
// record left it, whole, and Save As writes that state elsewhere.
class InterruptedCommits : public LifecycleTest {
  protected:
    void TearDown() override {
        qrn::files::setWriteFailureForTesting(nullptr);
        LifecycleTest::TearDown();
    }
    static strings scripts() {
        strings out;
        for (const auto& script : attributedStringStorageClass().getAutocueStringArray())
            out.push_back(script.string());
        return out;
    }
};

TEST_F(InterruptedCommits, OneCutShortInAReadOnlyFolderOpensWholeAndSaveAsWritesItWhole) {
    ASSERT_TRUE(createProject());
    const std::string path = packagePath("Demo");
    previewLayerClass model;
    attributedStringStorageClass texts;
    // Four slides: the new project's two and two more.
    for (int i = 0; i < 2; ++i)
        model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    advance(2.0);
    texts.setAutocueStringArray({qrn::AttributedString("script 1"), qrn::AttributedString("script 2"),
                                 qrn::AttributedString("script 3")});
    ASSERT_TRUE(persistentDataStorageClass().saveProject());

    // The slide delete stops right after its first rename (autocueData.json).
    const pid_t child = ::fork();
    if (child == 0) {
        qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path& p) {
            if (step == qrn::files::WriteStep::Rename && p.filename() == "projectData.json")
                ::_exit(2);
            return false;
        });
        model.removeAsset(std::stoi(model.getAssetArray()[2]), false);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    ASSERT_TRUE(fs::exists(path + "/" + qrn::files::commitRecordName()));

    // Opened again where it cannot be written: the folder refuses new files and renames.
    qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path& p) {
        if (p.parent_path().filename() != "Demo.qrn3ks" ||
            (step != qrn::files::WriteStep::Open && step != qrn::files::WriteStep::Rename))
            return false;
        errno = EROFS;
        return true;
    });
    panelAnswers.push_back(packagePath("Other"));
    fileMenuClass().newProject();
    advance(2.0);
    ASSERT_TRUE(alerts.empty()) << alerts.front();
    openWithMenu(path);
    EXPECT_EQ(model.getAssetArray().size(), 3u);
    EXPECT_EQ(scripts(), (strings{"script 1", "script 3"}));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("The project could not be saved in its folder. Its last save was cut short", 0),
              0u)
        << alerts[0];

    const std::string copy = packagePath("Copy");
    panelAnswers.push_back(copy);
    fileMenuClass().saveAs(false);
    advance(2.0);
    auto stored = qrn::json::readFile(copy + "/projectData.json");
    auto storedScripts = qrn::json::readFile(copy + "/autocueData.json");
    ASSERT_TRUE(stored && storedScripts);
    EXPECT_EQ(stored->at("ASSET_ARRAY").size(), 3u);
    ASSERT_EQ(storedScripts->size(), 3u);
    EXPECT_EQ((*storedScripts)[2].value("string", ""), "script 3");
    EXPECT_FALSE(fs::exists(copy + "/" + qrn::files::commitRecordName()));
}

// A crafted record, or something else at a commit's names, is set aside once with a notice that
// names it; it never makes the package unsaveable.
TEST_F(InterruptedCommits, WhatStandsInTheWayOfACommitIsSetAsideAndThePackageSaves) {
    ASSERT_TRUE(createProject());
    const std::string record = qrn::files::commitRecordName();
    const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> crafted{
        {record, [](const std::string& at) { std::ofstream(at) << std::string(70000, 'x'); }},
        {record, [](const std::string& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {record, [](const std::string& at) { fs::create_directory(at); }},
        {".projectData.json.commit-tmp", [](const std::string& at) { fs::create_directory(at); }},
    };
    int n = 0;
    for (const auto& [name, craft] : crafted) {
        const std::string path =
            writePackage("Crafted" + std::to_string(++n), projectDocument({"0", "2"}, {{}, {"3"}}));
        craft(path + "/" + name);
        alerts.clear();
        openWithMenu(path);
        fileMenuClass().save();
        advance(2.0);
        ASSERT_EQ(alerts.size(), 1u) << name << ": " << (alerts.empty() ? "" : alerts.back());
        EXPECT_EQ(alerts[0].rfind("\"" + name + "\" in the folder of the project \"Crafted", 0), 0u)
            << alerts[0];
        EXPECT_TRUE(fs::exists(fs::symlink_status(path + "/" + name + ".damaged"))) << name;
        EXPECT_FALSE(persistentDataStorageClass::hasUnwrittenChanges()) << name;
        EXPECT_TRUE(fs::exists(path + "/autocueData.json")) << name;
    }
}

// A folder whose file system has no locks (flock fails with ENOLCK) is saved into as any other.
TEST_F(InterruptedCommits, AFolderWithoutLocksIsSavedInto) {
    ASSERT_TRUE(createProject());
    const std::string path = writePackage("Unlocked", projectDocument({"0", "2"}, {{}, {"3"}}));
    qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path&) {
        if (step != qrn::files::WriteStep::Lock)
            return false;
        errno = ENOLCK;
        return true;
    });
    alerts.clear();
    openWithMenu(path);
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    fileMenuClass().save();
    advance(2.0);
    EXPECT_TRUE(alerts.empty()) << alerts.front();
    auto stored = qrn::json::readFile(path + "/projectData.json");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->at("ASSET_ARRAY").size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(RemoveAddReorderSave, PackageCommits,
                         ::testing::Combine(::testing::Values(Change::removeSlide, Change::addSlide,
                                                              Change::reorderSlides, Change::save),
                                            ::testing::Values(Fault::processEnds, Fault::diskFull)));

} // namespace
