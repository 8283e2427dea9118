#include <gtest/gtest.h>

#include <QDir>

#include <cmath>
#include <fstream>

#include "model_fixture.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"

using namespace modeltest;

namespace {

// Counts completed writes of projectData.json without disturbing them.
struct writeCounter {
    int count = 0;
    writeCounter() {
        qrn::files::setWriteFailureForTesting([this](qrn::files::WriteStep step, const qrn::files::Path& p) {
            if (step == qrn::files::WriteStep::Rename && p.filename() == "projectData.json")
                ++count;
            return false;
        });
    }
    ~writeCounter() { qrn::files::setWriteFailureForTesting(nullptr); }
};

qrn::Json readProject(const tempProject& project) {
    auto json = qrn::json::readFile(project.file("projectData.json"));
    EXPECT_TRUE(json) << json.error();
    return json ? json.value() : qrn::Json();
}

void newProjectModel() {
    previewLayerClass().clearClass(false);
    // The video's frame comes from the editing screen, which these tests do not have.
    previewLayerClass().setVideoOriginSizeArray({0, 0, 0, 0});
    filterClass().clearClass();
}

} // namespace

TEST(ProjectFile, NewProjectMatchesTheGoldenFile) {
    tempProject project;
    newProjectModel();
    ASSERT_TRUE(persistentDataStorageClass().exportData(false));

    auto golden = qrn::json::readFile(std::string(QRN_TEST_FIXTURES) + "/model/new_project.json");
    ASSERT_TRUE(golden);
    const qrn::Json written = readProject(project);
    EXPECT_EQ(written, golden.value()) << written.dump();
    EXPECT_EQ(written.size(), 22u);
    EXPECT_TRUE(written["FIRST_LAYER_ABOVE_VIDEO_ARRAY"][0].is_null());

    // Pretty-printed with sorted keys.
    const std::string text = *qrn::files::readText(project.file("projectData.json"));
    EXPECT_EQ(text.rfind("{\n  \"ASSET_ARRAY\"", 0), 0u);
    EXPECT_LT(text.find("\"VIDEO_SETTINGS_ARRAY\""), text.find("\"cropOrigin\""));
}

TEST(ProjectFile, FilterValuesAndAbsentIdsAreTransformed) {
    tempProject project;
    newProjectModel();
    addAsset();
    addLayer({1, "png", "a"});
    addLayer({1, "png", "b"});
    auto image = std::make_shared<const QImage>(2, 2, QImage::Format_ARGB32);
    filterClass filters;
    auto values = filters.getLayerFilterValues();
    values[1][0] = {filterValuesEntry{image, qrn::Value()}, filterValuesEntry{qrn::Value()}, std::nullopt};
    values[1][1] = {filterValuesEntry{image, qrn::Value::colour(32, 255, 0, 1), 10.0, 0, 0},
                    filterValuesEntry{4.5}, filterValuesEntry{image}};
    filters.setLayerFilterValues(values);
    ASSERT_TRUE(persistentDataStorageClass().exportData(false));

    const qrn::Json written = readProject(project);
    EXPECT_EQ(written["ASSET_BACKGROUND_ID_ARRAY"], qrn::Json::parse("[null]"));
    EXPECT_EQ(written["LAYER_FILTER_VALUES"][1][0], qrn::Json::parse(R"([[""], [""], [""]])"));
    EXPECT_EQ(written["LAYER_FILTER_VALUES"][1][1],
              qrn::Json::parse(R"([[[32, 255, 0, 1], 10, 0, 0], [4.5], []])"));
    EXPECT_EQ(written["LAYER_ARRAY"], qrn::Json::parse(R"([[], ["3", "4"]])"));
    EXPECT_EQ(written["ASSET_BACKGROUND_COLOUR_ARRAY"], qrn::Json::parse("[[0, 0, 0, 1]]"));
}

TEST(ProjectFile, DelayedWritesCollapseIntoOne) {
    tempProject project;
    newProjectModel();
    writeCounter writes;
    persistentDataStorageClass storage;
    for (int i = 0; i < 3; ++i) {
        storage.exportData(true);
        qrn::MainQueue::advance(0.1);
    }
    EXPECT_EQ(writes.count, 0);
    qrn::MainQueue::advance(0.35);
    EXPECT_EQ(writes.count, 0);
    qrn::MainQueue::advance(0.1); // 0.5 s after the third call
    EXPECT_EQ(writes.count, 1);
    qrn::MainQueue::advance(2);
    EXPECT_EQ(writes.count, 1);

    // An immediate write supersedes a pending delayed one.
    storage.exportData(true);
    storage.exportData(false);
    EXPECT_EQ(writes.count, 2);
    qrn::MainQueue::advance(1);
    EXPECT_EQ(writes.count, 2);

    // A pending write can be made at once, and then does not happen again.
    storage.exportData(true);
    storage.flushPendingExport();
    EXPECT_EQ(writes.count, 3);
    qrn::MainQueue::advance(1);
    EXPECT_EQ(writes.count, 3);
    storage.flushPendingExport();
    EXPECT_EQ(writes.count, 3);
}

// The write after an open compares the file with the model first, behind the screen: a file that
// holds the model as QRN writes it is left alone, another is written. Until the answer the write
// waits as a delayed one does: a flush makes it, a later write takes its place, and the late
// answer adds nothing.
TEST(ProjectFile, TheFileIsWrittenUnlessItHoldsTheModelAndAWriteWaitingForTheAnswerIsFlushed) {
    tempProject project;
    newProjectModel();
    addAsset();
    addLayer({1, "png", "a"});
    persistentDataStorageClass storage;
    ASSERT_TRUE(storage.exportData(false));
    const std::string asWritten = *qrn::files::readText(project.file("projectData.json"));
    const auto answered = [] {
        return qrn::MainQueue::runUntil([] { return !persistentDataStorageClass::isComparingWithFile(); },
                                        30);
    };
    // The same project as another program might lay it out.
    const auto compacted = [&] {
        std::ofstream(project.file("projectData.json"), std::ios::trunc)
            << qrn::Json::parse(asWritten).dump();
    };
    writeCounter writes;
    storage.exportDataUnlessFileHoldsModel();
    EXPECT_TRUE(persistentDataStorageClass::isComparingWithFile());
    ASSERT_TRUE(answered());
    EXPECT_EQ(writes.count, 0);

    compacted();
    storage.exportDataUnlessFileHoldsModel();
    ASSERT_TRUE(answered());
    EXPECT_EQ(writes.count, 1);
    EXPECT_EQ(*qrn::files::readText(project.file("projectData.json")), asWritten);

    compacted();
    storage.exportDataUnlessFileHoldsModel();
    storage.flushPendingExport();
    EXPECT_EQ(writes.count, 2);
    ASSERT_TRUE(answered());
    EXPECT_EQ(writes.count, 2);

    // The model changes while its copies are compared: its own write holds the change.
    compacted();
    storage.exportDataUnlessFileHoldsModel();
    addAsset();
    storage.exportData(true);
    ASSERT_TRUE(answered());
    EXPECT_EQ(writes.count, 2);
    qrn::MainQueue::advance(0.5);
    EXPECT_EQ(writes.count, 3);
    EXPECT_EQ(readProject(project)["ASSET_ARRAY"].size(), 3u);

    // The application ends with a comparison under way: the blocks that carried it are dropped,
    // and it no longer counts.
    compacted();
    storage.exportDataUnlessFileHoldsModel();
    ASSERT_TRUE(persistentDataStorageClass::isComparingWithFile());
    qrn::MainQueue::discardPending();
    EXPECT_TRUE(
        qrn::MainQueue::runUntil([] { return !persistentDataStorageClass::isComparingWithFile(); }, 5));
}

TEST(ProjectFile, GenerationWrapsAt10000) {
    tempProject project;
    newProjectModel();
    writeCounter writes;
    persistentDataStorageClass storage;
    // Bring the counter to its last value before the wrap with delayed calls, which write nothing
    // until the last of them is due. The write it then makes is a call of its own and wraps.
    for (int i = storage.getExportGeneration(); i < 9999; ++i)
        storage.exportData(true);
    EXPECT_EQ(storage.getExportGeneration(), 9999);
    qrn::MainQueue::advance(0.5);
    EXPECT_EQ(writes.count, 1);
    EXPECT_EQ(storage.getExportGeneration(), 0);

    // A delayed write scheduled at 9999 is superseded by the call that wraps the counter.
    for (int i = 0; i < 9999; ++i)
        storage.exportData(true);
    ASSERT_EQ(storage.getExportGeneration(), 9999);
    storage.exportData(false);
    EXPECT_EQ(storage.getExportGeneration(), 0);
    EXPECT_EQ(writes.count, 2);
    qrn::MainQueue::advance(1);
    EXPECT_EQ(writes.count, 2);
    storage.exportData(true);
    EXPECT_EQ(storage.getExportGeneration(), 1);
}

TEST(ProjectFile, ValidityNeedsAnObjectNamingEveryKey) {
    tempProject project;
    persistentDataStorageClass storage;
    EXPECT_FALSE(storage.checkIfProjectDataIsValid(project.path));
    newProjectModel();
    ASSERT_TRUE(storage.exportData(false));
    EXPECT_TRUE(storage.checkIfProjectDataIsValid(project.path));

    qrn::Json withoutCrop = readProject(project);
    withoutCrop.erase("cropSize");
    ASSERT_TRUE(qrn::json::writeFile(project.file("projectData.json"), withoutCrop));
    EXPECT_FALSE(storage.checkIfProjectDataIsValid(project.path));

    std::string allNames;
    for (const auto& key : persistentDataStorageClass::projectDataKeys())
        allNames += key + " ";
    // Naming the keys is not enough: the import could not use such a file.
    ASSERT_TRUE(qrn::json::writeFile(project.file("projectData.json"), qrn::Json{{"notes", allNames}}));
    EXPECT_FALSE(storage.checkIfProjectDataIsValid(project.path));

    ASSERT_TRUE(qrn::json::writeFile(project.file("projectData.json"),
                                     qrn::Json(persistentDataStorageClass::projectDataKeys())));
    EXPECT_FALSE(storage.checkIfProjectDataIsValid(project.path));
}

TEST(ProjectFile, FailedWriteLeavesThePreviousFileWhole) {
    tempProject project;
    newProjectModel();
    persistentDataStorageClass storage;
    ASSERT_TRUE(storage.exportData(false));
    const std::string before = *qrn::files::readText(project.file("projectData.json"));

    struct window : projectMainWindow {
        bool resizable = false;
        void setResizable(bool r) override { resizable = r; }
        bool isResizable() const override { return resizable; }
    };
    auto mainWindow = std::make_shared<window>();
    storage.setMainWindow(mainWindow);

    addAsset();
    int attempts = 0;
    qrn::files::setWriteFailureForTesting([&](qrn::files::WriteStep step, const qrn::files::Path&) {
        if (step == qrn::files::WriteStep::Write) {
            ++attempts;
            return true;
        }
        return false;
    });
    EXPECT_FALSE(storage.exportData(false));
    qrn::files::setWriteFailureForTesting(nullptr);
    EXPECT_GT(attempts, 1);
    EXPECT_LT(attempts, 10);
    EXPECT_EQ(*qrn::files::readText(project.file("projectData.json")), before);
    EXPECT_TRUE(storage.checkIfProjectDataIsValid(project.path));
    // The window becomes resizable again even when the write failed.
    EXPECT_TRUE(mainWindow->resizable);
    const auto entries = QDir(QString::fromStdString(project.path)).entryList(QDir::Files);
    EXPECT_EQ(entries, QStringList{"projectData.json"});
    storage.setMainWindow(nullptr);
}

TEST(ProjectFile, NumbersJsonCannotHoldFailTheWriteAndKeepThePreviousFile) {
    tempProject project;
    newProjectModel();
    addAsset();
    addLayer({1, "svg", "airport"});
    persistentDataStorageClass storage;
    ASSERT_TRUE(storage.exportData(false));
    const std::string before = *qrn::files::readText(project.file("projectData.json"));

    previewLayerClass model;
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        auto rotations = model.getLayerRotateArray();
        rotations.back().back() = bad;
        model.setLayerRotateArray(rotations);
        EXPECT_FALSE(storage.exportData(false)) << bad;
        EXPECT_TRUE(*qrn::files::readText(project.file("projectData.json")) == before) << bad;
    }
    // The delayed write fails the same way when it runs.
    storage.exportData(true);
    qrn::MainQueue::advance(1);
    EXPECT_TRUE(*qrn::files::readText(project.file("projectData.json")) == before);
    EXPECT_TRUE(storage.checkIfProjectDataIsValid(project.path));
}

TEST(ProjectFile, NothingIsWrittenWithoutAProjectFolder) {
    newProjectModel();
    writeCounter writes;
    persistentDataStorageClass storage;
    storage.setProjectDirectory("");
    EXPECT_FALSE(storage.exportData(false));
    EXPECT_EQ(writes.count, 0);
    EXPECT_FALSE(qrn::files::exists("/projectData.json"));
}
