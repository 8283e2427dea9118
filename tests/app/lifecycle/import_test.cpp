#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <tuple>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "app/layers/layers_support.h"
#include "app/model/model_fixture.h"
#include "app/preview/preview_fixture.h"
#include "lifecycle_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/image_view.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/view.h"

using namespace lifecycletest;
using namespace layerstest;
using qrn::Json;
using strings = std::vector<std::string>;

namespace {

class ProjectImport : public LifecycleTest {
  protected:
    // A bundle symbol as the symbol picker drops it, into the selected asset.
    static std::string dropSymbol(const std::string& name) {
        previewLayerClass model;
        model.setImageReferenceArray(1, qrn::Value::List{name}, "png");
        model.addLayer(picture(30, 30), std::nullopt, std::nullopt, qrn::Size{30, 30}, false, false,
                       {300, 150}, std::nullopt, 0, false, false, false, false);
        return std::to_string(*model.getSelectedLayer());
    }
    static std::string dropFrames(const qrn::Value::List& names) {
        previewLayerClass model;
        model.setImageReferenceArray(2, names, std::nullopt);
        std::vector<qrn::ImageHandle> frames(names.size(), picture(8, 8));
        model.addLayer(nullptr, frames, std::nullopt, qrn::Size{40, 40}, false, false, {100, 100},
                       std::nullopt, 0, false, false, false, false);
        return std::to_string(*model.getSelectedLayer());
    }
    // The document with every id replaced by the one at the same place in `ids`.
    static Json withIdsOf(Json saved, const Json& ids) {
        std::map<std::string, std::string> map;
        for (size_t a = 0; a < saved["ASSET_ARRAY"].size(); ++a)
            map[saved["ASSET_ARRAY"][a]] = ids["ASSET_ARRAY"][a];
        for (size_t a = 0; a < saved["LAYER_ARRAY"].size(); ++a)
            for (size_t l = 0; l < saved["LAYER_ARRAY"][a].size(); ++l)
                map[saved["LAYER_ARRAY"][a][l]] = ids["LAYER_ARRAY"][a][l];
        const auto remap = [&](Json& list) {
            for (auto& id : list)
                if (id.is_string())
                    id = map.at(id.get<std::string>());
        };
        remap(saved["ASSET_ARRAY"]);
        for (auto& row : saved["LAYER_ARRAY"])
            remap(row);
        remap(saved["ASSET_BACKGROUND_ID_ARRAY"]);
        remap(saved["FIRST_LAYER_ABOVE_VIDEO_ARRAY"]);
        return saved;
    }
};

TEST_F(ProjectImport, AProjectOfEveryLayerKindComesBackAsSavedUnderFreshIds) {
    ASSERT_TRUE(createProject());
    const std::string path = packagePath("Demo");
    modeltest::writePng(path + "/images/layer.png", 40, 30, 0x3366cc);
    modeltest::writePng(path + "/images/background.png", 64, 36, 0x00aa00);
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    dropImage(0, {60, 40}, {80, 250});
    dropImage(1, {100, 60}, {200, 150});
    dropText(1, {300, 100});
    dropSymbol("camera");
    dropFrames({"camera", "no_such_frame", "crop"});
    dropBackground(2, {320, 180});
    const auto above = dropImage(2, {80, 80}, {400, 200});
    dropImage(2, {50, 50}, {420, 220});
    advance(2.0);
    // Above the camera, flipped, filtered, with settings of the settings pane.
    auto first = model.getFirstLayerAboveVideoArray();
    first[2] = above;
    model.setFirstLayerAboveVideoArray(first);
    auto flips = model.getLayerIsFlippedArray();
    flips[1][0] = {true, false};
    model.setLayerIsFlippedArray(flips);
    filterClass filters;
    auto flags = filters.getLayerFilter();
    flags[1][0][1] = true;
    filters.setLayerFilter(flags);
    layerSettingsClass settings;
    settings.setVideoSettings({1, "kept"});
    settings.setLayerSettings({{}, {{2.5, true}}});

    const Json saved = writeAndRead();
    openWithMenu(path);
    EXPECT_TRUE(alerts.empty());
    expectLayerInvariants();
    const Json reopened = writeAndRead();
    std::string where;
    EXPECT_TRUE(nearlyEqual(withIdsOf(saved, reopened), reopened, &where)) << where;
    EXPECT_EQ(model.getLayerArray()[1].size(), 4u);
    // The stored flags are applied again: the layer is filtered on screen.
    EXPECT_TRUE(filters.getLayerFilter()[1][0][1]);
    EXPECT_EQ(settings.getVideoSettings(), (qrn::Value::List{1, "kept"}));
    // The animated symbol keeps its three frames, the missing one empty.
    EXPECT_EQ(model.getImageReferenceArray()[1][3].size(), 4u);
    EXPECT_FALSE(undoRedoClass().getUndoOn());
    EXPECT_TRUE(persistentDataStorageClass().getInProgressBool());
}

TEST_F(ProjectImport, IdsAreFreshAndOnlyAFileImageNamedByItsAssetIsTheBackground) {
    ASSERT_TRUE(createProject());
    Json d = projectDocument({"0", "7", "9"}, {{"1"}, {"8", "5"}, {"10"}});
    // Asset "0" cannot have one; asset 1's is a file image; asset 2 names a bundle image.
    d["ASSET_BACKGROUND_ID_ARRAY"] = {"8", "10"};
    setReference(d, 1, 0, {3, "png", "back"});
    d["FIRST_LAYER_ABOVE_VIDEO_ARRAY"][1] = "5";
    d["LAYER_FILTER_VALUES"][1][1][0] = Json::array({""});
    d["LAYER_FILTER_VALUES"][1][1][1] = {{32, 255, 0, 1}, 10, 0, 0};
    const std::string path = writePackage("Stored", d);
    modeltest::writePng(path + "/images/back.png", 64, 36, 0x00aa00);
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());

    previewLayerClass model;
    const auto assets = model.getAssetArray();
    ASSERT_EQ(assets.size(), 3u);
    EXPECT_EQ(assets[0], "0");
    EXPECT_NE(assets[1], "7");
    EXPECT_LT(std::stoi(assets[1]), std::stoi(assets[2]));
    const auto layers = model.getLayerArray();
    const auto backgrounds = model.getAssetBackgroundIDArray();
    ASSERT_EQ(backgrounds.size(), 2u);
    EXPECT_EQ(backgrounds[0], layers[1][0]);
    EXPECT_FALSE(backgrounds[1].has_value()) << "a bundle image is never a background";
    EXPECT_EQ(model.getFirstLayerAboveVideoArray()[1], layers[1][1]);
    const auto values = filterClass().getLayerFilterValues();
    ASSERT_TRUE(values[1][1][0].has_value());
    EXPECT_EQ(*values[1][1][0], (filterValuesEntry{qrn::Value()}));
    ASSERT_TRUE(values[1][1][1].has_value());
    EXPECT_EQ(values[1][1][1]->size(), 4u) << "no image slot is put back";
    EXPECT_EQ(model.getAssetBackgroundColour()[1], (std::vector<double>{20, 20, 30, 1}));
    expectLayerInvariants();
}

TEST_F(ProjectImport, AMissingImageFileShowsCancelKeepsItsReferenceAndLaterLayersComeBack) {
    ASSERT_TRUE(createProject());
    Json d = projectDocument({"0", "2"}, {{}, {"3", "4", "5"}});
    setReference(d, 1, 0, {3, "png", "gone"});
    setReference(d, 1, 1, {3, "png", "here"});
    const std::string path = writePackage("Missing", d);
    modeltest::writePng(path + "/images/here.png", 20, 20, 0xff0000);
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    previewLayerClass model;
    ASSERT_EQ(model.getLayerArray()[1].size(), 3u);
    EXPECT_EQ(model.getImageReferenceArray()[1][0], (imageReferenceArray{3, "png", "gone"}));
    expectLayerInvariants();
    // The file comes back: the next opening shows it.
    modeltest::writePng(path + "/images/gone.png", 20, 20, 0x00ff00);
    writeAndRead();
    openWithMenu(path);
    EXPECT_EQ(model.getImageReferenceArray()[1][0], (imageReferenceArray{3, "png", "gone"}));
}

TEST_F(ProjectImport, APictureOnManyLayersShowsTheFileAsItIsAtEachOpening) {
    ASSERT_TRUE(createProject());
    Json d = projectDocument({"0", "2", "5"}, {{"1"}, {"3", "4"}, {"6"}});
    for (const auto& [a, l] : std::vector<std::pair<size_t, size_t>>{{0, 0}, {1, 0}, {1, 1}, {2, 0}})
        setReference(d, a, l, {3, "png", "shared"});
    const std::string path = writePackage("Shared", d);
    const std::string file = path + "/images/shared.png";
    modeltest::writePng(file, 20, 20, 0xff0000);
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    EXPECT_EQ(shownLayerColours(), std::vector<unsigned>(4, 0xff0000u));
    // Changed between openings: the next one shows the new picture on every layer.
    modeltest::writePng(file, 20, 20, 0x0000ff);
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    EXPECT_EQ(shownLayerColours(), std::vector<unsigned>(4, 0x0000ffu));
    expectLayerInvariants();
}

TEST_F(ProjectImport, ASingleAssetGetsItsFirstRegularAssetAndTheImportBlocksTheEditor) {
    ASSERT_TRUE(createProject());
    const std::string path = writePackage("Empty", projectDocument({"0"}, {{"1"}}));
    std::vector<bool> inProgressDuringAdds, resizableDuringAdds;
    previewLayerClass::setAddLayerToAssetScrollViewHook(
        [&](int, const auto&, const auto&, const auto&, double) {
            inProgressDuringAdds.push_back(persistentDataStorageClass().getInProgressBool());
            resizableDuringAdds.push_back(mainWindow()->isResizable());
        });
    openWithMenu(path);
    previewLayerClass::setAddLayerToAssetScrollViewHook(nullptr);
    ASSERT_FALSE(inProgressDuringAdds.empty());
    EXPECT_EQ(inProgressDuringAdds, std::vector<bool>(inProgressDuringAdds.size(), false));
    EXPECT_EQ(resizableDuringAdds, std::vector<bool>(resizableDuringAdds.size(), false));
    EXPECT_EQ(previewLayerClass().getAssetArray().size(), 2u);
    EXPECT_TRUE(persistentDataStorageClass().getInProgressBool());
    EXPECT_TRUE(mainWindow()->isResizable());
    EXPECT_FALSE(previewLayerClass().getImportMarker());
    expectLayerInvariants();
}

TEST_F(ProjectImport, APackageHandedOverAtLaunchOpensWithItsLayers) {
    Json d = projectDocument({"0", "2", "4"}, {{"1"}, {"3", "5"}, {}});
    const std::string path = writePackage("Handed", d);
    launch({path});
    advance(2.0);
    ASSERT_TRUE(editor());
    EXPECT_TRUE(alerts.empty());
    previewLayerClass model;
    EXPECT_EQ(model.getAssetArray().size(), 3u);
    EXPECT_EQ(model.getLayerArray()[1].size(), 2u);
    EXPECT_EQ(editor()->stickyAsset->subviews().size(), 1u);
    EXPECT_EQ(editor()->assetTableView->documentView()->subviews().size(), 2u);
    expectLayerInvariants();
    // Written again in its re-created form a second after the import.
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(path));
}

// Each damaged shape, opened from the menu and imported directly: refused with the alert,
// nothing of the package touched, the editor left with a usable project.
TEST_F(ProjectImport, MalformedFilesAreRefusedAndLeftByteIdentical) {
    ASSERT_TRUE(createProject());
    const Json good = projectDocument({"0", "2"}, {{"1"}, {"3", "4"}});
    std::vector<std::pair<std::string, std::string>> cases;
    const auto add = [&](const std::string& name, const Json& d) { cases.emplace_back(name, d.dump()); };
    cases.emplace_back("NotJson", "{\"ASSET_ARRAY\": [\"0\"");
    cases.emplace_back("TopArray", "[1, 2]");
    {
        Json d = good;
        d.erase("LAYER_FILTER_ORDER");
        add("MissingKey", d);
    }
    {
        Json d = good;
        d["cropOrigin"] = {5};
        add("ShortCrop", d);
    }
    {
        Json d = good;
        d["LAYER_ARRAY"] = Json::array();
        add("NoRowForAssetZero", d);
    }
    {
        Json d = good;
        setReference(d, 1, 0, {"three", "png", "x"});
        add("BadReference", d);
    }
    {
        Json d = good;
        d["LAYER_FILTER"][1][1] = {true};
        add("ShortFlags", d);
    }
    {
        Json d = good;
        d["LAYER_ROTATE_ARRAY"][1] = {0};
        add("ShortPerLayerRow", d);
    }
    {
        Json d = good;
        d["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = "wide";
        add("WrongKind", d);
    }
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        const std::string path = packagePath(name);
        std::filesystem::create_directories(path + "/images");
        std::ofstream(path + "/projectData.json") << text;
        std::ofstream(path + "/autocueData.json") << "{}";
        const auto before = filesOf(path);
        EXPECT_FALSE(persistentDataStorageClass().checkIfProjectDataIsValid(path));

        alerts.clear();
        openWithMenu(path);
        EXPECT_EQ(alerts, strings{"Project Failed to Load"});

        // The import reached by another road checks again and recovers.
        alerts.clear();
        persistentDataStorageClass storage;
        const size_t assetsBefore = previewLayerClass().getAssetArray().size();
        storage.setProjectDirectory(path);
        storage.importDataAction(true, true, false);
        advance(2.0);
        EXPECT_EQ(alerts, strings{"Project Failed to Load"});
        EXPECT_EQ(previewLayerClass().getAssetArray().size(), assetsBefore + 1);
        EXPECT_TRUE(storage.getInProgressBool());
        EXPECT_TRUE(mainWindow()->isResizable());
        EXPECT_FALSE(previewLayerClass().getImportMarker());
        EXPECT_FALSE(storage.exportData(false)) << "nothing is written over a package that failed to load";
        advance(2.0);
        EXPECT_EQ(filesOf(path), before);
        previewtest::expectModelInvariants();
    }
}

// A script file found damaged while one project was open is that project's news: a later
// project that fails to load says so and names nothing of the earlier one, by either road.
TEST_F(ProjectImport, AFailedLoadNamesNoDamagedFileOfAnEarlierProject) {
    ASSERT_TRUE(createProject());
    const std::string demo = packagePath("Demo");
    const auto damageScriptOfDemo = [&] {
        persistentDataStorageClass().setProjectDirectory(demo);
        std::ofstream(demo + "/autocueData.json") << "{ not a script";
        attributedStringStorageClass().importAutocueText();
    };
    const std::string broken = writePackage("Broken", Json::array({1, 2}));
    const auto before = filesOf(broken);

    damageScriptOfDemo();
    alerts.clear();
    openWithMenu(broken);
    EXPECT_EQ(alerts, strings{"Project Failed to Load"});

    damageScriptOfDemo();
    alerts.clear();
    persistentDataStorageClass storage;
    storage.setProjectDirectory(broken);
    storage.importDataAction(true, true, false);
    advance(2.0);
    EXPECT_EQ(alerts, strings{"Project Failed to Load"});
    EXPECT_EQ(filesOf(broken), before);
    EXPECT_TRUE(std::filesystem::exists(demo + "/autocueData.json.damaged"));
}

// The open checks the file and imports what the check read: a file replaced or rewritten after
// the check is read again, and one that became unusable is refused.
TEST_F(ProjectImport, TheImportReadsAFileReplacedAfterItsCheck) {
    ASSERT_TRUE(createProject());
    const std::string path = writePackage("Swapped", projectDocument({"0", "2"}, {{}, {"3"}}));
    const std::string file = path + "/projectData.json";
    // Each open stops before its import; the file changes there, then the import runs.
    const auto openChangedAfterCheck = [&](const std::function<void()>& change) {
        std::optional<std::tuple<bool, bool, bool>> held;
        persistentDataStorageClass::setImportHandler([&](bool a, bool b, bool c) { held.emplace(a, b, c); });
        openWithMenu(path, false);
        persistentDataStorageClass::setImportHandler(nullptr);
        ASSERT_TRUE(held);
        change();
        persistentDataStorageClass().importDataAction(std::get<0>(*held), std::get<1>(*held),
                                                      std::get<2>(*held));
        waitForPictures();
        advance(2.0);
    };
    openChangedAfterCheck([&] {
        // As a save replaces it: another file under the name.
        ASSERT_TRUE(qrn::json::writeFile(file, projectDocument({"0", "2", "5"}, {{}, {"3"}, {"6", "7"}})));
    });
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(previewLayerClass().getLayerArray().size(), 3u);
    EXPECT_EQ(previewLayerClass().getLayerArray()[2].size(), 2u);

    openChangedAfterCheck([&] { std::ofstream(file) << projectDocument({"0", "2"}, {{"1"}, {}}).dump(); });
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(previewLayerClass().getLayerArray().size(), 2u);
    EXPECT_EQ(previewLayerClass().getLayerArray()[0].size(), 1u);

    openChangedAfterCheck([&] { std::ofstream(file) << "[1, 2]"; });
    EXPECT_EQ(alerts, strings{"Project Failed to Load"});
}

TEST_F(ProjectImport, LongerRowsAreCutAndSettingsAreCarriedAsStored) {
    ASSERT_TRUE(createProject());
    Json d = projectDocument({"0", "2"}, {{}, {"3"}});
    d["LAYER_ROTATE_ARRAY"][1].push_back(0.5);
    d["LAYER_ORIGIN_SIZE_ARRAY"][1].push_back({1, 2, 3, 4});
    d["VIDEO_SETTINGS_ARRAY"] = {{"nested", 1}, 2};
    const std::string path = writePackage("Long", d);
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(path));
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    EXPECT_EQ(previewLayerClass().getLayerRotateArray()[1].size(), 1u);
    expectLayerInvariants();
    EXPECT_EQ(writeAndRead()["VIDEO_SETTINGS_ARRAY"], (Json{{"nested", 1}, 2}));
}

} // namespace
