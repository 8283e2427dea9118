#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsTextClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/SettingsPanel/layerSettingsController.h"
#include "View/Editing/autocueController.h"
#include "app/layers/layers_support.h"
#include "app/model/model_fixture.h"
#include "lifecycle_fixture.h"
#include "platform/ui/button.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_view.h"

using namespace lifecycletest;
using namespace layerstest;
using qrn::Json;

namespace {

class Replay : public LifecycleTest {
  protected:
    void SetUp() override {
        LifecycleTest::SetUp();
        ASSERT_TRUE(createProject());
        modeltest::writePng(packagePath("Demo") + "/images/layer.png", 30, 20, 0x3366cc);
        modeltest::writePng(packagePath("Demo") + "/images/background.png", 64, 36, 0x00aa00);
    }
    void TearDown() override {
        editViewClass::setDuplicateLayerInternalHook(nullptr);
        LifecycleTest::TearDown();
    }
    static Json model() { return persistentDataStorageClass().buildProjectDictionary(); }
    void settle() { advance(2.0); }
    void undo() {
        undoRedoClass().undo();
        settle();
    }
    void redo() {
        undoRedoClass().redo();
        settle();
    }
    // Undo, redo and undo again land exactly on the recorded models, every row in step, and the
    // replays record nothing of their own.
    void expectCycle(const Json& before, const Json& after, const std::string& what) {
        SCOPED_TRACE(what);
        const size_t entries = undoRedoClass::getUndoList().size();
        std::string where;
        undo();
        EXPECT_TRUE(nearlyEqual(model(), before, &where)) << "undo: " << where;
        expectLayerInvariants();
        redo();
        EXPECT_TRUE(nearlyEqual(model(), after, &where)) << "redo: " << where;
        expectLayerInvariants();
        undo();
        EXPECT_TRUE(nearlyEqual(model(), before, &where)) << "undo again: " << where;
        expectLayerInvariants();
        EXPECT_EQ(undoRedoClass::getUndoList().size(), entries);
    }
    // The project with every script and every layer text, formatting included.
    static Json state() {
        attributedStringStorageClass texts;
        Json rows = Json::array();
        for (const auto& row : texts.getTextSymbolStringArray())
            rows.push_back(texts.saveAttributedString(row));
        return Json{{"project", model()},
                    {"scripts", texts.saveAttributedString(texts.getAutocueStringArray())},
                    {"texts", rows}};
    }
    // The editing screen's own controls.
    void pressPlus() {
        auto& plus = *editor()->addAssetButtonView;
        click(plus, {plus.bounds().midX(), plus.bounds().midY()});
        settle();
    }
    void clickTile(int position) {
        const std::string id = previewLayerClass().getAssetArray()[size_t(position)];
        editViewClass edit;
        edit.assetPreviewSelected(
            edit.getAssetHorizontalScrollView()->viewWithTag(std::stoi(id))->superview());
        ASSERT_EQ(previewLayerClass().getSelectedAssetIndex(), position);
    }
    void clickLayer(const std::string& id) {
        previewLayerClass model_;
        model_.layerSelected(
            model_.getConfiguration()->layerContainerView->viewWithTag(std::stoi(id))->superview());
    }
    void typeScript(const std::string& text) {
        settingsViewClass().loadSettingsView(1);
        auto* pane = dynamic_cast<autocueViewController*>(
            editor()->settingsView->subviews().front()->viewController());
        ASSERT_TRUE(pane);
        std::dynamic_pointer_cast<qrn::ui::TextView>(pane->textField->documentView())
            ->userEdited(qrn::AttributedString(text));
    }
    // Tab 1 (text) or 2 (filters) of the selected layer's settings.
    std::shared_ptr<qrn::ui::View> layerTab(int tab) {
        settingsViewClass().loadSettingsView(2);
        layerSettingsClass().loadSettingsView(0);
        layerSettingsClass().loadSettingsView(tab);
        auto* pane = dynamic_cast<layerSettingsController*>(
            editor()->settingsView->subviews().front()->viewController());
        return pane ? pane->layerSettingsView->subviews().front() : nullptr;
    }
    void writeText(const std::string& text, int size) {
        layerTab(1);
        const auto views = *layerSettingsTextClass::getViews();
        views.textView->userEdited(qrn::AttributedString(text));
        views.fontSizeInput->setStringValue(std::to_string(size));
        views.fontSizeInput->sendAction();
    }
    // Switches the blur on in the filter list and drags its radius.
    void blur(double radius) {
        // The list is built again when a filter is switched on, so its row is looked up each time.
        const auto blurRow = [this]() -> std::shared_ptr<qrn::ui::View> {
            const auto tab = layerTab(2);
            for (const auto& v : tab ? tab->subviews() : std::vector<std::shared_ptr<qrn::ui::View>>{})
                if (auto list = std::dynamic_pointer_cast<qrn::ui::ScrollView>(v);
                    list && list->documentView())
                    for (const auto& row : list->documentView()->subviews())
                        if (row->subviews().size() == 5 &&
                            row->subviews()[0]->tag() == -2 - *filterClass().filterIndex("BoxBlur"))
                            return row;
            return nullptr;
        };
        auto row = blurRow();
        ASSERT_TRUE(row);
        click(*row->subviews()[2], {100, 20});
        row = blurRow();
        for (const auto& v : row->subviews().back()->subviews())
            if (auto slider = std::dynamic_pointer_cast<qrn::ui::Slider>(v)) {
                slider->setDoubleValue(radius);
                slider->sendAction();
                return;
            }
        FAIL() << "no blur slider";
    }
    static std::pair<bool, double> blurOf(const std::string& id) {
        previewLayerClass model_;
        const int a = model_.getSelectedAssetIndex();
        const auto& row = model_.getLayerArrayReference()[size_t(a)];
        const size_t l = size_t(std::find(row.begin(), row.end(), id) - row.begin());
        const int blur = *filterClass().filterIndex("BoxBlur");
        filterClass filters;
        const auto values = filters.getLayerFilterValues()[size_t(a)][l][size_t(blur)];
        return {filters.getLayerFilter()[size_t(a)][l][size_t(blur)],
                values && !values->empty() ? values->back().toReal() : 0.0};
    }

    // A second asset with a sticky-free mix of layers, settled, with an empty history.
    void layeredAsset() {
        previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
        dropImage(2, {60, 40}, {100, 100});
        dropText(2, {300, 200});
        dropImage(2, {80, 50}, {400, 100});
        settle();
        undoRedoClass().clearClass();
    }
};

TEST_F(Replay, AssetsComeAndGoWithTheirLayersInPlace) {
    layeredAsset();
    Json before = model();
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    settle();
    expectCycle(before, model(), "addAsset");
    redo();

    // The asset in the middle, with its layers.
    previewLayerClass model_;
    const std::string middle = model_.getAssetArray()[2];
    before = model();
    model_.removeAsset(std::stoi(middle), false);
    settle();
    expectCycle(before, model(), "removeAsset");
    EXPECT_EQ(model_.getAssetArray()[2], middle);
    EXPECT_EQ(model_.getLayerArray()[2].size(), 3u);

    editViewClass::setDuplicateLayerInternalHook([](int source, int j, bool toSelected) {
        previewLayerClass().duplicateLayerInternal(source, j, toSelected);
    });
    before = model();
    editViewClass().duplicateAsset(std::stoi(middle));
    settle();
    expectCycle(before, model(), "duplicateAsset");
}

// A script typed, a text restyled or a filter set records no entry of its own; whatever undo or
// redo takes away comes back as it was taken, not as its entry first found it.
TEST_F(Replay, WhatUndoOrRedoTookAwayComesBackWithItsScriptTextAndFilters) {
    previewLayerClass model_;
    const Json empty = state();
    pressPlus();
    const int slide = int(model_.getAssetArray().size()) - 1;
    clickTile(slide);
    typeScript("Welcome to the talk");
    const std::string text = dropText(slide, {300, 200});
    writeText("Hello world", 36);
    const std::string image = dropImage(slide, {60, 40}, {100, 100});
    blur(18.9);
    settle();
    ASSERT_EQ(blurOf(image), std::make_pair(true, 18.9));
    ASSERT_EQ(attributedStringStorageClass().getTextSymbolStringArray()[size_t(slide)][0].string(),
              "Hello world");
    const Json done = state();
    const int steps = undoRedoClass::getUndoPosition();
    std::string where;
    for (int i = 0; i < steps; ++i)
        undo();
    EXPECT_TRUE(nearlyEqual(state(), empty, &where)) << "all undone: " << where;
    for (int i = 0; i < steps; ++i)
        redo();
    EXPECT_TRUE(nearlyEqual(state(), done, &where)) << "all redone: " << where;

    // Taken away by redo: changed after an undo brought it back, removed again, back again.
    clickLayer(text);
    model_.removeLayer(std::nullopt, false);
    settle();
    undo();
    clickLayer(text);
    writeText("Hello again", 48);
    settle();
    Json changed = state();
    redo();
    undo();
    EXPECT_TRUE(nearlyEqual(state(), changed, &where)) << "removeLayer: " << where;

    model_.removeAsset(std::stoi(model_.getAssetArray()[size_t(slide)]), false);
    settle();
    undo();
    clickTile(slide);
    typeScript("Second draft");
    settle();
    changed = state();
    redo();
    undo();
    EXPECT_TRUE(nearlyEqual(state(), changed, &where)) << "removeAsset: " << where;

    editViewClass().duplicateAsset(std::stoi(model_.getAssetArray()[size_t(slide)]));
    settle();
    clickTile(slide + 1);
    typeScript("The copy's own words");
    settle();
    changed = state();
    undo();
    redo();
    EXPECT_TRUE(nearlyEqual(state(), changed, &where)) << "duplicateAsset: " << where;

    // A background replaced, then blurred: undo takes the blurred one away, redo brings it back.
    clickTile(slide);
    dropBackground(slide, {320, 180});
    settle();
    const std::string background = dropBackground(slide, {200, 100}, 0xff0000ff);
    settle();
    ASSERT_EQ(undoRedoClass::getUndoList().back().actionType, "replaceBackgroundLayer");
    clickLayer(background);
    blur(6);
    settle();
    changed = state();
    undo();
    redo();
    EXPECT_TRUE(nearlyEqual(state(), changed, &where)) << "replaceBackgroundLayer: " << where;

    // Taken away after the window grew: back where it was in the grown preview.
    const qrn::Size window = mainWindow()->contentSize();
    mainWindow()->setContentSize({window.width * 2, window.height * 2});
    settle();
    changed = state();
    const int all = undoRedoClass::getUndoPosition();
    for (int i = 0; i < all; ++i)
        undo();
    for (int i = 0; i < all; ++i)
        redo();
    EXPECT_TRUE(nearlyEqual(state(), changed, &where)) << "in the grown window: " << where;
    mainWindow()->setContentSize(window);
    expectLayerInvariants();
}

// Undo past the start and redo to the end again: the package's files come back byte for byte,
// the texts of slides without a text layer of their own included.
TEST_F(Replay, UndoingAndRedoingEverythingWritesThePackageBackAsItWas) {
    previewLayerClass model_;
    const int slide = int(model_.getAssetArray().size()) - 1;
    clickTile(slide);
    dropText(slide, {300, 200});
    writeText("First words", 30);
    dropImage(slide, {60, 40}, {100, 100});
    pressPlus();
    pressPlus();
    settle();
    const auto files = [this] {
        auto all = filesOf(packagePath("Demo"));
        return std::map<std::string, std::string>{{"projectData.json", all["projectData.json"]},
                                                  {"autocueData.json", all["autocueData.json"]},
                                                  {"specialSymbolData.json", all["specialSymbolData.json"]}};
    };
    const auto done = files();
    const int steps = undoRedoClass::getUndoPosition() + 2;
    for (int i = 0; i < steps; ++i)
        undo();
    for (int i = 0; i < steps; ++i)
        redo();
    const auto again = files();
    for (const auto& [name, bytes] : done)
        EXPECT_EQ(again.at(name), bytes) << name;
}

TEST_F(Replay, LayersComeBackWithTheirValuesAndAReplacedBackgroundWithItsImage) {
    layeredAsset();
    previewLayerClass model_;
    Json before = model();
    dropImage(2, {40, 40}, {250, 150});
    settle();
    expectCycle(before, model(), "addLayer");

    model_.setSelectedLayer(std::stoi(model_.getLayerArray()[2][1]));
    before = model();
    model_.removeLayer(std::nullopt, false);
    settle();
    expectCycle(before, model(), "removeLayer");

    dropBackground(2, {320, 180});
    settle();
    undoRedoClass().clearClass();
    before = model();
    const auto oldReference = model_.getImageReferenceArray()[2].back();
    undoRedoClass().setValuesCompare(undoValueList{imageReferenceArray{3, "png", "background"}});
    dropBackground(2, {200, 100}, 0xff0000ff);
    settle();
    ASSERT_EQ(undoRedoClass::getUndoList().back().actionType, "replaceBackgroundLayer");
    expectCycle(before, model(), "replaceBackgroundLayer");
    (void)oldReference;
}

// The replacement starts plain (originals, lock, flips of its own); undo gives the old picture
// its own back, so Revert goes where the old picture was first placed, and redo the new one's.
TEST_F(Replay, AReplacedBackgroundComesBackWithItsOwnOriginalsLockAndFlips) {
    layeredAsset();
    previewLayerClass model_;
    const std::string id = dropBackground(2, {320, 180});
    settle();
    const auto index = [&] {
        const auto row = model_.getLayerArray()[2];
        return size_t(std::find(row.begin(), row.end(), id) - row.begin());
    };
    auto originals = model_.getLayerOriginalPosSize();
    auto& own = originals[2][index()];
    own[0] += 12, own[1] -= 8, own[2] -= 30, own[3] -= 20;
    const auto oldOriginal = own;
    model_.setLayerOriginalPosSize(originals);
    auto locks = model_.getLayerResizeWithAspectRatioArray();
    locks[2][index()] = {0.0, 1.25};
    model_.setLayerResizeWithAspectRatioArray(locks);
    auto flips = model_.getLayerIsFlippedArray();
    flips[2][index()] = {true, false};
    model_.setLayerIsFlippedArray(flips);
    settle();
    undoRedoClass().clearClass();
    const Json before = model();

    // No picture handed over by a drop: the replaced layer's own reference is what undo shows.
    undoRedoClass().setValuesCompare(std::nullopt);
    EXPECT_EQ(dropBackground(2, {200, 100}, 0xff0000ff), id);
    settle();
    ASSERT_EQ(undoRedoClass::getUndoList().back().actionType, "replaceBackgroundLayer");
    const Json after = model();
    const auto newOriginal = model_.getLayerOriginalPosSize()[2][index()];
    const auto newLock = model_.getLayerResizeWithAspectRatioArray()[2][index()];
    ASSERT_NE(newOriginal, oldOriginal);
    EXPECT_EQ(newLock[0], 1.0);
    EXPECT_EQ(model_.getLayerIsFlippedArray()[2][index()], (std::vector<bool>{false, false}));
    expectCycle(before, after, "replaceBackgroundLayer");

    // Undone: the old background's own values.
    EXPECT_EQ(model_.getLayerOriginalPosSize()[2][index()], oldOriginal);
    EXPECT_EQ(model_.getLayerResizeWithAspectRatioArray()[2][index()], (std::vector<double>{0.0, 1.25}));
    EXPECT_EQ(model_.getLayerIsFlippedArray()[2][index()], (std::vector<bool>{true, false}));
    redo();
    EXPECT_EQ(model_.getLayerOriginalPosSize()[2][index()], newOriginal);
    EXPECT_EQ(model_.getLayerResizeWithAspectRatioArray()[2][index()], newLock);
    undo();

    model_.setVideoLayerSelected(false);
    model_.setSelectedLayer(std::stoi(id));
    model_.revertLayerToOriginal();
    settle();
    const auto frame = frameOf(id);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(frame[i], oldOriginal[i], 1e-6) << i;
}

TEST_F(Replay, GesturesFlipsAndRevertGoBackAndForth) {
    layeredAsset();
    previewLayerClass model_;
    undoRedoClass history;
    const auto select = [&] {
        model_.setVideoLayerSelected(false);
        model_.setSelectedLayer(std::stoi(model_.getLayerArray()[2][0]));
    };
    const layerAssetIndexAndVideoSelectedArray layer{false, 2, 0};

    select();
    Json before = model();
    auto f = model_.getLayerOriginSizeArray()[2][0];
    history.compareValuesBeforeAndAfter({qrn::Point{f[0], f[1]}}, std::nullopt);
    model_.dragLayerInVideoViewLayer(std::nullopt, false, std::vector<double>{f[0] + 40, f[1] - 15}, true,
                                     false, layer, true, false, false);
    select();
    history.action("dragLayerInVideoViewLayer", {qrn::Point{f[0] + 40, f[1] - 15}});
    settle();
    expectCycle(before, model(), "drag");

    select();
    before = model();
    f = model_.getLayerOriginSizeArray()[2][0];
    history.compareValuesBeforeAndAfter({qrn::Size{f[2], f[3]}, qrn::Point{f[0], f[1]}, 0.0}, std::nullopt);
    model_.resizeOrRotateLayer(false, std::vector<double>{f[2] * 2, f[3] * 1.5, 0}, false, layer, false, true,
                               false, false, 0, 0, false, false);
    select();
    const auto g = model_.getLayerOriginSizeArray()[2][0];
    history.action("resizeLayer", {qrn::Size{g[2], g[3]}, qrn::Point{g[0], g[1]}, 0.0});
    settle();
    expectCycle(before, model(), "resize");

    select();
    before = model();
    history.compareValuesBeforeAndAfter({0.0, qrn::Size{g[2], g[3]}}, std::nullopt);
    model_.resizeOrRotateLayer(true, std::vector<double>{0.6, g[2], g[3]}, false, layer, false, true, false,
                               false, 0, 0, false, false);
    select();
    history.action("rotateLayer", {0.6, qrn::Size{g[2], g[3]}});
    settle();
    expectCycle(before, model(), "rotate");

    select();
    before = model();
    model_.mirrorLayer(true, std::nullopt, false);
    settle();
    expectCycle(before, model(), "flip");

    // Away from its original place first (unrecorded), then back to it.
    f = model_.getLayerOriginSizeArray()[2][0];
    model_.dragLayerInVideoViewLayer(std::nullopt, false, std::vector<double>{f[0] + 25, f[1] + 25}, true,
                                     false, layer, true, false, false);
    model_.resizeOrRotateLayer(true, std::vector<double>{0.3, f[2], f[3]}, false, layer, false, true, false,
                               false, 0, 0, false, false);
    settle();
    select();
    before = model();
    model_.revertLayerToOriginal();
    settle();
    ASSERT_EQ(undoRedoClass::getUndoList().back().actionType, "layerBackToOriginalPositionAndSize");
    expectCycle(before, model(), "revert");
}

TEST_F(Replay, TheCameraCropTheAspectLockAndAnAssetColourGoBackAndForth) {
    layeredAsset();
    previewLayerClass model_;
    undoRedoClass history;
    const layerAssetIndexAndVideoSelectedArray camera{true, qrn::Value(), qrn::Value()};
    const auto selectCamera = [&] {
        model_.setSelectedLayer(std::nullopt);
        model_.setVideoLayerSelected(true);
    };

    selectCamera();
    Json before = model();
    auto [size, origin] = model_.getVideoCropSizeAndOrigin();
    history.compareValuesBeforeAndAfter({origin}, std::nullopt);
    model_.dragLayerInVideoViewLayer(std::nullopt, false, std::vector<double>{12, 8}, true, false, camera,
                                     true, false, true);
    selectCamera();
    history.action("cropVideoOrigin", {qrn::Point{12, 8}});
    settle();
    expectCycle(before, model(), "crop origin");

    selectCamera();
    before = model();
    std::tie(size, origin) = model_.getVideoCropSizeAndOrigin();
    history.compareValuesBeforeAndAfter({size}, std::nullopt);
    model_.setVideoCropSizeAndOrigin({60, 50}, origin);
    selectCamera();
    history.action("cropVideoSize", {qrn::Size{60, 50}});
    settle();
    expectCycle(before, model(), "crop size");

    model_.setVideoLayerSelected(false);
    model_.setSelectedLayer(std::stoi(model_.getLayerArray()[2][0]));
    before = model();
    model_.resizeLayerWithAspectRatio(std::nullopt, true, std::nullopt, false);
    settle();
    ASSERT_EQ(undoRedoClass::getUndoList().back().actionType, "layerAspectRatioLock");
    expectCycle(before, model(), "aspect lock");

    before = model();
    history.setValuesCompare(undoValueList{model_.getAssetBackgroundColour()[1]});
    auto colours = model_.getAssetBackgroundColour();
    colours[1] = {200, 100, 50, 1};
    model_.setAssetBackgroundColour(colours);
    history.action("changeAssetBackgroundColour", {std::vector<double>{200, 100, 50, 1}});
    settle();
    expectCycle(before, model(), "asset colour");
}

TEST_F(Replay, ALayerRemovedBeforeThePreviewDoubledComesBackAtTwiceItsFrame) {
    layeredAsset();
    previewLayerClass model_;
    const std::string id = model_.getLayerArray()[2][0];
    const auto frame = frameOf(id);
    model_.setSelectedLayer(std::stoi(id));
    model_.removeLayer(std::nullopt, false);
    settle();
    auto parent = model_.getParentPreviewView();
    const auto size = parent->frame().size;
    parent->setFrameSize({size.width * 2, size.height * 2});
    undo();
    const auto back = frameOf(id);
    ASSERT_EQ(back.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(back[i], frame[i] * 2, 1e-6) << i;
    parent->setFrameSize(size);
}

TEST_F(Replay, AResizeUndoneAfterTheWindowGrewKeepsItsPlaceInTheGrownPreview) {
    layeredAsset();
    previewLayerClass model_;
    undoRedoClass history;
    const layerAssetIndexAndVideoSelectedArray layer{false, 2, 0};
    const auto select = [&] {
        model_.setVideoLayerSelected(false);
        model_.setSelectedLayer(std::stoi(model_.getLayerArray()[2][0]));
    };
    select();
    const auto f = model_.getLayerOriginSizeArray()[2][0];
    history.compareValuesBeforeAndAfter({qrn::Size{f[2], f[3]}, qrn::Point{f[0], f[1]}, 0.0}, std::nullopt);
    model_.resizeOrRotateLayer(false, std::vector<double>{f[2] * 1.5, f[3] * 1.5, 0}, false, layer, false,
                               true, false, false, 0, 0, false, false);
    select();
    const auto g = model_.getLayerOriginSizeArray()[2][0];
    history.action("resizeLayer", {qrn::Size{g[2], g[3]}, qrn::Point{g[0], g[1]}, 0.0});
    settle();

    auto parent = model_.getParentPreviewView();
    const qrn::Size preview = parent->frame().size, window = mainWindow()->contentSize();
    mainWindow()->setContentSize({window.width * 2, window.height * 2});
    settle();
    const double kx = parent->frame().size.width / preview.width,
                 ky = parent->frame().size.height / preview.height;
    ASSERT_GT(kx, 1.5);
    const auto expectFrame = [&](const std::vector<double>& recorded, const char* when) {
        const auto now = model_.getLayerOriginSizeArray()[2][0];
        const std::vector<double> k{kx, ky, kx, ky};
        for (size_t i = 0; i < 4; ++i)
            EXPECT_NEAR(now[i], recorded[i] * k[i], 1e-6) << when << " " << i;
    };
    undo();
    expectFrame(f, "undo");
    redo();
    expectFrame(g, "redo");
    mainWindow()->setContentSize(window);
}

TEST_F(Replay, ReordersAndSettingsReachTheirSeamsAndBadEntriesAreSkipped) {
    layeredAsset();
    std::vector<std::vector<int>> layerMoves;
    std::vector<std::pair<int, int>> assetMoves;
    std::vector<std::tuple<int, layerAssetIndexAndVideoSelectedArray, qrn::Value>> settings;
    undoRedoClass::setReorderLayerReplayHook([&](int from, std::optional<int> to, int l, int t, int v) {
        layerMoves.push_back({from, to.value_or(-1), l, t, v});
    });
    undoRedoClass::setReorderAssetReplayHook([&](int i, int j) { assetMoves.emplace_back(i, j); });
    undoRedoClass::setLayerSettingReplayHook([&](int s, const layerAssetIndexAndVideoSelectedArray& c,
                                                 const qrn::Value& v) { settings.emplace_back(s, c, v); });
    undoRedoClass history;
    history.setValuesCompare(undoValueList{2, 0, 2, 1});
    history.action("reorderLayerInSameAsset", {2, 2, 0, 1});
    history.setValuesCompare(undoValueList{2, 1, 0, 1, 1});
    history.action("reorderLayerToDifferentAsset", {1, 2, 1, 0, 1});
    history.setValuesCompare(undoValueList{2, 1});
    history.action("reorderAsset", {1, 2});
    previewLayerClass().setSelectedLayer(std::stoi(previewLayerClass().getLayerArray()[2][0]));
    history.setValuesCompare(undoValueList{false});
    history.action("horizontalLayerFlip", {true});
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 4u);
    for (int i = 0; i < 4; ++i)
        undo();
    redo();
    EXPECT_EQ(settings.size(), 1u);
    ASSERT_EQ(layerMoves.size(), 3u);
    EXPECT_EQ(layerMoves[0], (std::vector<int>{2, 1, 0, 1, 1}));
    EXPECT_EQ(layerMoves[1], (std::vector<int>{2, -1, 0, 2, 1}));
    EXPECT_EQ(layerMoves[2], (std::vector<int>{2, -1, 2, 0, 1}));
    EXPECT_EQ(assetMoves, (std::vector<std::pair<int, int>>{{2, 1}}));
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(std::get<0>(settings[0]), 1);
    EXPECT_EQ(std::get<1>(settings[0]), (layerAssetIndexAndVideoSelectedArray{false, 2, 0}));
    EXPECT_EQ(std::get<2>(settings[0]), qrn::Value(false));
    EXPECT_EQ(undoRedoClass::getUndoList().size(), 4u);

    // Positions that are gone by the time of the replay: skipped, nothing else happens.
    undoRedoClass().clearClass();
    history.setValuesCompare(undoValueList{2, 9});
    history.action("reorderAsset", {9, 2});
    const Json before = model();
    undo();
    EXPECT_EQ(assetMoves.size(), 1u);
    std::string where;
    EXPECT_TRUE(nearlyEqual(model(), before, &where)) << where;
}

TEST_F(Replay, ALayerPutBackKeepsItsImageFileThroughThePurge) {
    layeredAsset();
    previewLayerClass model_;
    model_.setSelectedLayer(std::stoi(model_.getLayerArray()[2][0]));
    model_.removeLayer(std::nullopt, false);
    settle();
    undo();
    undoRedoClass().clearClass();
    imageManipulationClass().permanentlyRemoveImagesMarkedForRemoval();
    EXPECT_TRUE(std::filesystem::exists(packagePath("Demo") + "/images/layer.png"));
    EXPECT_EQ(model_.getImageReferenceArray()[2][0], (imageReferenceArray{3, "png", "layer"}));
}

} // namespace
