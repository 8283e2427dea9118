#include <gtest/gtest.h>

#include <map>

#include "Controller/Global/Model/assetDataClass.h"
#include "Controller/Global/directoryAndFilePathsClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/globalAppSettingsClass.h"
#include "model_fixture.h"
#include "platform/foundation/files.h"
#include "platform/ui/view.h"

using namespace modeltest;

namespace {

imageReferenceArray fileRef(const std::string& ext, const std::string& name) {
    return {3, ext, name};
}

std::string thrownMessage(const imageReferenceArray& reference) {
    try {
        previewLayerClass().getImageFromImageReferenceArray(reference);
    } catch (const qrnError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(ProjectModel, ClearClassEmptiesOrMakesTheNewProject) {
    previewLayerClass model;
    model.clearClass(false);
    addAsset();
    addLayer({1, "png", "star"});
    model.setVideoCropSizeAndOrigin({50, 60}, {5, 6});
    auto& gesture = model.getInteractionState();
    gesture.draggingLayer = true;
    model.setResizeButtonSelected(false);
    model.setResizeOrRotateButtonSelected(3);
    gesture.mouseDown = true;
    gesture.dragOrResizeCounter.reset();
    gesture.dragOrResizeCounter.increment();

    model.clearClass(false);
    EXPECT_FALSE(gesture.draggingLayer);
    EXPECT_TRUE(model.getResizeButtonSelected());
    EXPECT_EQ(model.getResizeOrRotateButtonSelected(), 0);
    EXPECT_EQ(gesture.resizeStartLocation, std::make_pair(0.0, 0.0));
    // The mouse is still down and a pending end-of-drag check must still recognise itself.
    EXPECT_TRUE(gesture.mouseDown);
    EXPECT_EQ(gesture.dragOrResizeCounter.value(), 1);
    // The mouse comes up before the next test.
    gesture.mouseDown = false;
    EXPECT_EQ(model.getAssetArray(), std::vector<std::string>{"0"});
    EXPECT_EQ(model.getLayerArray(), (std::vector<std::vector<std::string>>{{}}));
    EXPECT_EQ(model.getFirstLayerAboveVideoArray(), std::vector<std::optional<std::string>>{std::nullopt});
    EXPECT_TRUE(model.getAssetBackgroundIDArray().empty());
    EXPECT_TRUE(model.getAssetBackgroundColour().empty());
    EXPECT_EQ(model.getImageReferenceArray().size(), 1u);
    EXPECT_TRUE(model.getImageReferenceArray()[0].empty());
    EXPECT_EQ(model.getLayerIsFlippedArray().size(), 1u);
    EXPECT_EQ(model.getAssetIdCounter(), 1);
    EXPECT_EQ(model.getLayerIdCounter(), 1);
    EXPECT_EQ(model.getVideoCropSizeAndOrigin().first, (qrn::Size{100, 100}));
    EXPECT_EQ(model.getVideoCropSizeAndOrigin().second, (qrn::Point{0, 0}));
    EXPECT_EQ(model.getSelectedAsset(), 0);
    EXPECT_FALSE(model.getSelectedLayer().has_value());

    int editingScreenCleared = 0;
    previewLayerClass::setEditingScreenClearHandler([&] { ++editingScreenCleared; });
    model.setVideoOriginSizeArray({1, 2, 3, 4});
    model.clearClass(true);
    EXPECT_EQ(editingScreenCleared, 1);
    EXPECT_TRUE(model.getAssetArray().empty());
    EXPECT_TRUE(model.getLayerArray().empty());
    EXPECT_TRUE(model.getFirstLayerAboveVideoArray().empty());
    EXPECT_TRUE(model.getImageReferenceArray().empty());
    EXPECT_TRUE(model.getLayerResizeWithAspectRatioArray().empty());
    EXPECT_EQ(model.getAssetIdCounter(), 0);
    EXPECT_EQ(model.getLayerIdCounter(), 0);
    // The video's place in the preview is not part of the project being closed.
    EXPECT_EQ(model.getVideoOriginSizeArray(), (std::vector<double>{1, 2, 3, 4}));
    previewLayerClass::setEditingScreenClearHandler(nullptr);
}

TEST(ProjectModel, PreviewViewsAreFoundThroughTheConfiguration) {
    previewLayerClass model;
    const auto video = model.getVideoLayerView();
    ASSERT_TRUE(video);
    EXPECT_EQ(model.getVideoLayerView(), video);
    EXPECT_FALSE(model.getSuperviewOfTaggedPreviewView());

    auto parent = qrn::ui::View::make();
    auto container = qrn::ui::View::make();
    // A view with the same tag outside the container must not be taken.
    auto decoyGroup = qrn::ui::View::make();
    auto decoy = qrn::ui::View::make();
    decoy->setTag(-5);
    decoyGroup->addSubview(decoy);
    parent->addSubview(decoyGroup);
    parent->addSubview(container);
    auto groups = qrn::ui::View::make();
    auto marker = qrn::ui::View::make();
    marker->setTag(-5);
    container->addSubview(qrn::ui::View::make());
    container->addSubview(groups);
    groups->addSubview(marker);
    model.setConfiguration(previewLayerConfigurationViews{parent, container});
    EXPECT_EQ(model.getParentPreviewView(), parent);
    EXPECT_EQ(model.getSuperviewOfTaggedPreviewView(), groups);
    model.setConfiguration(std::nullopt);
}

TEST(ProjectModel, AssetsAndLayersShareOneIdCounterWithoutClashingMarkers) {
    previewLayerClass model;
    model.clearClass(true);
    EXPECT_EQ(addAsset(false), "0"); // the sticky asset of a fresh editing screen
    EXPECT_EQ(addAsset(), "2");
    EXPECT_EQ(addAsset(), "4");
    EXPECT_EQ(addAsset(), "6");
    EXPECT_EQ(model.getAssetIdCounter(), 4);
    EXPECT_EQ(addLayer({1, "png", "star"}), "8");
    EXPECT_EQ(model.getSelectedLayer(), 8);
    EXPECT_EQ(addAsset(), "9");
    EXPECT_EQ(model.getLayerIdCounter(), 11); // 10 is the marker of asset 9
    EXPECT_EQ(model.getAssetArray(), (std::vector<std::string>{"0", "2", "4", "6", "9"}));
    EXPECT_EQ(model.getAssetBackgroundColour().size(), 4u);
}

TEST(ProjectModel, PositionLookupsFollowIdsNotCounters) {
    previewLayerClass model;
    model.clearClass(false);
    addAsset();                       // "1"
    const std::string a = addAsset(); // "3"
    EXPECT_EQ(model.getSelectedAssetIndex(), 2);
    EXPECT_EQ(model.getSelectedLayerIndex(true), -1);

    addLayer({1, "png", "a"});
    const std::string second = addLayer({1, "png", "b"});
    addLayer({1, "png", "c"});
    model.setSelectedLayer(std::stoi(second));
    EXPECT_EQ(model.getSelectedLayerIndex(false), 1);
    EXPECT_EQ(model.getSelectedLayerIndex(true), 2);
    auto where = model.layerAssetIndexAndVideoSelectedParameterValues(std::nullopt);
    EXPECT_EQ(where.assetIndex, 2);
    EXPECT_EQ(where.layerIndex, 1);
    where = model.layerAssetIndexAndVideoSelectedParameterValues(
        layerAssetIndexAndVideoSelectedArray{false, 1, 0});
    EXPECT_EQ(where.assetIndex, 1);
    EXPECT_EQ(where.layerIndex, 0);
    where = model.layerAssetIndexAndVideoSelectedParameterValues(
        layerAssetIndexAndVideoSelectedArray{true, 1, 0});
    EXPECT_TRUE(where.videoSelected);
    EXPECT_FALSE(where.layerIndex.has_value());

    auto colours = model.getAssetBackgroundColour();
    colours[1] = {10, 20, 30, 0.5};
    model.setAssetBackgroundColour(colours);
    EXPECT_EQ(model.getSelectedAssetBackgroundColour(), (std::vector<double>{10, 20, 30, 0.5}));
    model.setSelectedAsset(0);
    EXPECT_EQ(model.getSelectedAssetBackgroundColour(), (std::vector<double>{0, 0, 0, 1}));
    EXPECT_EQ(model.getSelectedAssetIndex(), 0);
    (void)a;
}

TEST(ProjectModel, ImageReferencesAreBuiltPerKind) {
    previewLayerClass model;
    model.clearClass(false);
    model.setImageReferenceArray(1, qrn::Value::List{"text_main"}, std::nullopt);
    model.setImageReferenceArray(1, qrn::Value::List{"star"}, "png");
    model.setImageReferenceArray(2, qrn::Value::List{"a", "b"}, std::nullopt);
    model.setImageReferenceArray(3, std::nullopt, "png");
    const auto row = model.getImageReferenceArray()[0];
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(row[0], (imageReferenceArray{1, "", "", 1}));
    EXPECT_EQ(row[1], (imageReferenceArray{1, "png", "star"}));
    EXPECT_EQ(row[2], (imageReferenceArray{2, "a", "b"}));
    EXPECT_EQ(row[3], (imageReferenceArray{3, "png"}));
}

TEST(ProjectModel, ImageReferencesResolveToBundleAndProjectImages) {
    tempProject project;
    std::vector<std::string> asked;
    std::map<std::string, qrn::ImageHandle> bundle{
        {"text_main", std::make_shared<const QImage>(4, 4, QImage::Format_ARGB32)},
        {"star", std::make_shared<const QImage>(8, 8, QImage::Format_ARGB32)},
        {"f1", std::make_shared<const QImage>(2, 2, QImage::Format_ARGB32)}};
    previewLayerClass::setBundleImageLookup([&](const std::string& name) -> qrn::ImageHandle {
        asked.push_back(name);
        auto it = bundle.find(name);
        return it == bundle.end() ? nullptr : it->second;
    });
    previewLayerClass model;

    EXPECT_EQ(model.getImageFromImageReferenceArray(imageReferenceArray{1, "", "", 1}).toImage(),
              bundle["text_main"]);
    EXPECT_EQ(model.getImageFromImageReferenceArray(imageReferenceArray{1, "png", "star"}).toImage(),
              bundle["star"]);
    EXPECT_EQ(asked.back(), "star");
    EXPECT_EQ(thrownMessage({1, "png", "moon"}), "Unable to retrieve local regular image moon.png");

    const auto frames =
        model.getImageFromImageReferenceArray(imageReferenceArray{2, "f1", "gone", "f1"}).toList();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].toImage(), bundle["f1"]);
    ASSERT_TRUE(frames[1].toImage());
    EXPECT_TRUE(frames[1].toImage()->isNull());

    writePng(project.file("images/ABC.png"), 5, 3, 0xff0000);
    const auto image = model.getImageFromImageReferenceArray(fileRef("png", "ABC")).toImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(5, 3));

    ASSERT_TRUE(qrn::files::remove(project.file("images/ABC.png")));
    EXPECT_EQ(thrownMessage(fileRef("png", "ABC")), "Unable to retrieve remote regular image ABC.png");
    previewLayerClass::setBundleImageLookup(nullptr);
}

TEST(ProjectModel, SymbolAndTextLayersLoadTheShippedPictures) {
    previewLayerClass model;
    const auto symbol =
        model.getImageFromImageReferenceArray(imageReferenceArray{1, "svg", "airport"}).toImage();
    ASSERT_TRUE(symbol);
    EXPECT_FALSE(symbol->isNull());
    const auto text = model.getImageFromImageReferenceArray(imageReferenceArray{1, "", "", 1}).toImage();
    ASSERT_TRUE(text);
    EXPECT_FALSE(text->isNull());
    const auto frames =
        model.getImageFromImageReferenceArray(imageReferenceArray{2, "blizzard01", "blizzard02"}).toList();
    ASSERT_EQ(frames.size(), 2u);
    for (const auto& frame : frames)
        EXPECT_FALSE(frame.toImage()->isNull());
    // Names are looked up, never taken as paths into the resources.
    EXPECT_EQ(thrownMessage({1, "svg", "symbols/airport"}),
              "Unable to retrieve local regular image symbols/airport.svg");
}

TEST(ProjectModel, HostileImageNamesNeverReachOutsideThePackage) {
    tempProject project;
    // A real picture beside the package that a crafted project file might try to name.
    writePng(project.file("../outside.png"), 2, 2, 0x00ff00);
    writePng(project.file("secret.png"), 2, 2, 0x00ff00);
    for (const auto& reference :
         {fileRef("png", "../../outside"), fileRef("png", "../secret"), fileRef("png", "..\\secret"),
          fileRef("png/../..", "secret"), fileRef("png", ""), imageReferenceArray{3, "png"}}) {
        EXPECT_EQ(thrownMessage(reference).rfind("Unable to retrieve remote regular image ", 0), 0u)
            << qrn::Value(reference).describe();
    }
}

TEST(LayerAndAssetRecords, LayerWrittenBackByAppendAndInsertInEveryTable) {
    previewLayerClass model;
    filterClass filters;
    model.clearClass(false);
    filters.clearClass();
    addAsset();
    const std::string first = addLayer({1, "png", "a"}, {1, 2, 3, 4});
    addLayer({1, "png", "b"}, {5, 6, 7, 8});

    layerDataClass record;
    record.assetIndex = 1;
    record.layerIndex = 0;
    record.fillObjectWithData();
    EXPECT_EQ(record.getLayerString(), first);
    EXPECT_EQ(record.getLayerOriginSizeArray(), (std::vector<double>{1, 2, 3, 4}));
    ASSERT_TRUE(record.LAYER_FILTER_VALUES.has_value());
    EXPECT_EQ(record.LAYER_FILTER_VALUES->size(), 3u);

    // Append: the position is the row length.
    record.layerIndex = 2;
    record.fillArraysWithObjectData();
    // Insert: position 0.
    record.layerIndex = 0;
    record.fillArraysWithObjectData();

    const auto ids = model.getLayerArray()[1];
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(ids[0], first);
    EXPECT_EQ(ids[3], first);
    for (size_t rowLength :
         {model.getImageReferenceArray()[1].size(), model.getLayerOriginSizeArray()[1].size(),
          model.getLayerTransformedOrigin()[1].size(), model.getLayerRotateArray()[1].size(),
          model.getLayerTransformedSize()[1].size(), model.getLayerOriginalPosSize()[1].size(),
          model.getLayerIsFlippedArray()[1].size(), model.getLayerResizeWithAspectRatioArray()[1].size(),
          filters.getLayerFilter()[1].size(), filters.getLayerFilterOrder()[1].size(),
          filters.getLayerFilterValues()[1].size()})
        EXPECT_EQ(rowLength, 4u);
    EXPECT_EQ(model.getLayerOriginSizeArray()[1][0], (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(model.getLayerOriginSizeArray()[1][1], (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(model.getLayerOriginSizeArray()[1][2], (std::vector<double>{5, 6, 7, 8}));
    EXPECT_EQ(model.getImageReferenceArray()[1][3], (imageReferenceArray{1, "png", "a"}));
}

TEST(LayerAndAssetRecords, RecordWithoutFilterFieldsGetsPlaceholderFilterRows) {
    previewLayerClass model;
    filterClass filters;
    model.clearClass(false);
    filters.clearClass();
    addAsset();
    addLayer({1, "png", "a"});
    addLayer({1, "png", "b"});
    const auto before = filters.getLayerFilterValues()[1];
    const filterValuesArray placeholders{filterValuesEntry{qrn::Value()}, filterValuesEntry{qrn::Value()},
                                         filterValuesEntry{qrn::Value()}};

    // Between the two layers, and past the end of the row.
    for (int position : {1, 7}) {
        layerDataClass record;
        record.assetIndex = 1;
        record.layerIndex = position;
        record.layerString = "restored";
        record.IMAGE_REFERENCE_ARRAY = imageReferenceArray{1, "png", "c"};
        record.fillArraysWithObjectData();
    }
    const auto flags = filters.getLayerFilter()[1];
    const auto orders = filters.getLayerFilterOrder()[1];
    const auto values = filters.getLayerFilterValues()[1];
    ASSERT_EQ(flags.size(), 4u);
    ASSERT_EQ(orders.size(), 4u);
    ASSERT_EQ(values.size(), 4u);
    for (size_t at : {size_t(1), size_t(3)}) {
        EXPECT_EQ(flags[at], (std::vector<bool>{false, false, false})) << at;
        EXPECT_EQ(orders[at], (std::vector<int>{0, 1, 2})) << at;
        EXPECT_EQ(values[at], placeholders) << at;
    }
    // The layers around them keep their own rows.
    EXPECT_EQ(values[0], before[0]);
    EXPECT_EQ(values[2], before[1]);

    // A record holding only some filter fields keeps them; the rest are placeholders.
    layerDataClass partial;
    partial.assetIndex = 1;
    partial.layerIndex = 0;
    partial.layerString = "partial";
    partial.LAYER_FILTER = std::vector<bool>{true, false, true};
    partial.fillArraysWithObjectData();
    EXPECT_EQ(filters.getLayerFilter()[1][0], (std::vector<bool>{true, false, true}));
    EXPECT_EQ(filters.getLayerFilterOrder()[1][0], (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(filters.getLayerFilterValues()[1][0], placeholders);
    EXPECT_EQ(filters.getLayerFilterValues()[1].size(), 5u);
}

TEST(LayerAndAssetRecords, AssetRecordPutsTheBackgroundLayerFirstAndWritesBack) {
    tempProject project;
    previewLayerClass model;
    model.clearClass(false);
    filterClass().clearClass();
    attributedStringStorageClass texts;
    addAsset();
    addLayer({1, "png", "a"});
    addLayer({1, "png", "b"});
    const std::string background = addLayer({1, "png", "bg"});
    model.setAssetBackgroundIDArray({background});
    model.setAssetBackgroundColour({{1, 2, 3, 1}});
    texts.setAutocueStringArray({qrn::AttributedString("script one")});

    assetDataClass record(1, 1, true);
    EXPECT_EQ(record.getAssetString(), "1");
    ASSERT_EQ(record.LAYER_DATA_OBJECTS_ARRAY.size(), 3u);
    EXPECT_EQ(record.LAYER_DATA_OBJECTS_ARRAY[0].layerString, background);
    EXPECT_TRUE(record.LAYER_DATA_OBJECTS_ARRAY[0].isBackgroundLayer);
    EXPECT_EQ(record.ASSET_BACKGROUND_ID_ARRAY, background);
    EXPECT_EQ(record.autocueString->string(), "script one");

    // Re-inserting past the end appends the asset and its per-asset entries.
    record.assetIndex = 5;
    record.fillArraysWithObjectData();
    EXPECT_EQ(model.getAssetArray(), (std::vector<std::string>{"0", "1", "1"}));
    EXPECT_EQ(model.getAssetBackgroundIDArray().size(), 2u);
    EXPECT_EQ(model.getAssetBackgroundColour().back(), (std::vector<double>{1, 2, 3, 1}));
    ASSERT_EQ(texts.getAutocueStringArray().size(), 2u);
    // Inserting at position 1 puts the entries in front.
    record.assetIndex = 1;
    record.ASSET_BACKGROUND_COLOUR_ARRAY = std::vector<double>{9, 9, 9, 1};
    record.fillArraysWithObjectData();
    EXPECT_EQ(model.getAssetBackgroundColour().front(), (std::vector<double>{9, 9, 9, 1}));
    EXPECT_EQ(texts.getAutocueStringArray().size(), 3u);
}

TEST(LayerAndAssetRecords, AssetRecordMovedToAnotherPositionTakesTheIdsFoundThere) {
    tempProject project;
    previewLayerClass model;
    model.clearClass(false);
    filterClass().clearClass();
    const std::string first = addAsset();
    addLayer({1, "png", "a"});
    addLayer({1, "png", "b"});
    const std::string second = addAsset();
    const std::string x = addLayer({1, "png", "x"});
    const std::string y = addLayer({1, "png", "y"});
    attributedStringStorageClass().setAutocueStringArray(
        {qrn::AttributedString("first"), qrn::AttributedString("second")});

    // Recorded from position 1 for a move to position 2: the content is the first asset's, the
    // ids are those standing at position 2.
    assetDataClass moved(1, 2, false);
    EXPECT_EQ(moved.getAssetIndex(), 2);
    EXPECT_EQ(moved.getAssetString(), second);
    EXPECT_EQ(moved.autocueString->string(), "first");
    ASSERT_EQ(moved.getLayerDataObjects().size(), 2u);
    EXPECT_EQ(moved.LAYER_DATA_OBJECTS_ARRAY[0].getLayerString(), x);
    EXPECT_EQ(moved.LAYER_DATA_OBJECTS_ARRAY[1].getLayerString(), y);
    EXPECT_EQ(moved.LAYER_DATA_OBJECTS_ARRAY[1].getImageReferenceArray(),
              (imageReferenceArray{1, "png", "b"}));

    assetDataClass kept(1, 2, true);
    EXPECT_EQ(kept.getAssetIndex(), 1);
    EXPECT_EQ(kept.getAssetString(), first);
}

TEST(ProjectModel, TracingTheModelDoesNotDisturbIt) {
    globalAppSettingsClass::setShowLogsForTesting(true);
    testing::internal::CaptureStdout();
    {
        tempProject project;
        previewLayerClass model;
        model.clearClass(false);
        filterClass().clearClass();
        attributedStringStorageClass().clearClass();
        addAsset();
        addLayer({3, "png"});
        addLayer({1, "", "", 1});
        assetDataClass record(1, 1, true);
        record.assetIndex = 2;
        record.fillArraysWithObjectData();
        persistentDataStorageClass state;
        state.setTempLayerArray(std::nullopt);
        EXPECT_TRUE(state.exportData(false));
        // The asset record put back only its own entries: three assets, layer rows for two. Such a
        // file could not be opened, and the check says so.
        EXPECT_FALSE(state.checkIfProjectDataIsValid(project.path));
        EXPECT_TRUE(state.getTempLayerArray().empty());
        state.setTempLayerArray(std::vector<std::vector<std::string>>{{"1"}});
        EXPECT_EQ(state.getTempLayerArray().size(), 1u);
        state.setTempLayerArray(std::nullopt);
        EXPECT_EQ(thrownMessage({3, "png"}), "Unable to retrieve remote regular image .png");
        attributedStringStorageClass texts;
        texts.importAutocueText();
        EXPECT_EQ(texts.getAutocueStringArray().size(), 2u);
    }
    const std::string trace = testing::internal::GetCapturedStdout();
    globalAppSettingsClass::setShowLogsForTesting(false);
    EXPECT_NE(trace.find("[Input]"), std::string::npos);
    EXPECT_NE(trace.find("[Output]"), std::string::npos);
}

TEST(RunTimeState, ProjectNameComesFromThePackageFolder) {
    struct fakeController : projectViewController {
        bool window = true;
        std::string title;
        bool hasWindow() const override { return window; }
        void setWindowTitle(const std::string& t) override { title = t; }
    };
    auto controller = std::make_shared<fakeController>();
    persistentDataStorageClass state;
    state.setViewController(controller);

    state.setProjectDirectory("/home/u/Demo.qrn3ks");
    EXPECT_EQ(state.getProjectDirectory(), "/home/u/Demo.qrn3ks");
    EXPECT_EQ(state.getProjectName(), "Demo");
    EXPECT_EQ(controller->title, "Demo");

    state.setProjectDirectory("/home/u/Demo.qrn3ks/");
    EXPECT_EQ(state.getProjectDirectory(), "/home/u/Demo.qrn3ks");
    EXPECT_EQ(state.getProjectName(), "Demo");

    state.setProjectDirectory("Plan..qrn3ks");
    EXPECT_EQ(state.getProjectName(), "Plan.");
    // A folder without the package suffix keeps its whole name.
    state.setProjectDirectory("/tmp/abc");
    EXPECT_EQ(state.getProjectName(), "abc");

    controller->window = false;
    controller->title.clear();
    state.setProjectDirectory("/x/Other.qrn3ks");
    EXPECT_EQ(state.getProjectName(), "Other");
    EXPECT_EQ(controller->title, "");
    state.setViewController(nullptr);
}

TEST(RunTimeState, EditMenuTextItemsOnlyForTheScriptEditor) {
    std::vector<bool> states;
    persistentDataStorageClass::setEditMenuItemsHandler([&](bool enabled) { states.push_back(enabled); });
    persistentDataStorageClass state;
    EXPECT_TRUE(state.getInProgressBool());
    for (const char* name : {"scriptEditor", "autocueDisplay", "editorView", "scriptEditor", "mainApp"})
        state.setActiveWindow(name);
    EXPECT_EQ(states, (std::vector<bool>{true, false, false, true, false}));
    EXPECT_EQ(state.getActiveWindow(), "mainApp");
    persistentDataStorageClass::setEditMenuItemsHandler(nullptr);
}

TEST(RunTimeState, UniqueFileNamesAreFreeAndCreateNothing) {
    tempProject project;
    const std::string folder = project.file("images/");
    directoryAndFilePathsClass paths;
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        auto name = paths.createFileWithUniqueID("png", folder);
        ASSERT_TRUE(name);
        EXPECT_EQ(name->first.size(), 36u);
        EXPECT_EQ(name->second, folder + name->first + ".png");
        EXPECT_FALSE(qrn::files::exists(name->second));
        EXPECT_TRUE(seen.insert(name->first).second);
        // Occupy it, so a repeat would be noticed.
        ASSERT_TRUE(qrn::files::replaceAtomically(name->second, "x"));
    }
    EXPECT_FALSE(paths.createFileWithUniqueID("png", "", 20));
    EXPECT_TRUE(paths.createFileWithUniqueID("png", folder, 20));
}
