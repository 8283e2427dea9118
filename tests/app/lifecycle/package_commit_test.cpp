#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
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

INSTANTIATE_TEST_SUITE_P(RemoveAddReorderSave, PackageCommits,
                         ::testing::Combine(::testing::Values(Change::removeSlide, Change::addSlide,
                                                              Change::reorderSlides, Change::save),
                                            ::testing::Values(Fault::processEnds, Fault::diskFull)));

} // namespace
