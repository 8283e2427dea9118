#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/SettingsPanel/LayerSettings/layerSettingsValuesController.h"
#include "platform/ui/button.h"
#include "platform/ui/menu.h"
#include "settings_fixture.h"

using namespace settingstest;
using icon = layerSettingsValuesClass::icon;

namespace {

class ToolIcons : public SettingsPanelTest {
  protected:
    layerSettingsValuesController* tools() {
        auto tab = shownTab();
        return tab ? dynamic_cast<layerSettingsValuesController*>(tab->viewController()) : nullptr;
    }
    void showTools() {
        settingsViewClass().loadSettingsView(2);
        layerSettingsClass().loadSettingsView(0);
        ASSERT_TRUE(tools());
    }
    struct state {
        std::vector<bool> enabled, highlighted;
        bool cropShown;
    };
    state iconState() {
        state s;
        for (size_t i = 0; i < 6; ++i) {
            s.enabled.push_back(enabled(i));
            s.highlighted.push_back(highlighted(i));
        }
        s.cropShown = !tools()->videoCropping->isHidden();
        return s;
    }
    static std::vector<double> lockOf(const std::string& id) {
        previewLayerClass model;
        const auto layers = model.getLayerArray();
        for (size_t a = 0; a < layers.size(); ++a)
            for (size_t l = 0; l < layers[a].size(); ++l)
                if (layers[a][l] == id)
                    return model.getLayerResizeWithAspectRatioArray()[a][l];
        return {};
    }
};

using bools = std::vector<bool>;

} // namespace

TEST_F(ToolIcons, EachSelectionShowsItsEnabledAndHighlightedIcons) {
    ASSERT_TRUE(createProject());
    const std::string image = addImageLayer();
    const std::string text = addTextLayer();
    previewLayerClass model;
    // The layer's picture as the project stores it.
    QImage stored(120, 80, QImage::Format_ARGB32);
    stored.fill(Qt::red);
    ASSERT_TRUE(stored.save(QString::fromStdString(projectPath() + "/images/layer.png")));

    model.noLayerSelected();
    showTools();
    auto s = iconState();
    EXPECT_EQ(s.enabled, bools(6, false));
    EXPECT_EQ(s.highlighted, bools(6, false));
    EXPECT_TRUE(tools()->layerImageView->subviews().empty());
    EXPECT_EQ(layerSettingsValuesClass().getIconReferenceArray().size(), 6u);

    model.selectVideoLayer();
    s = iconState();
    EXPECT_EQ(s.enabled, (bools{true, true, true, false, true, true}));
    EXPECT_EQ(s.highlighted, (bools{false, true, false, false, false, false}));
    EXPECT_TRUE(s.cropShown);
    EXPECT_EQ(tools()->layerImageView->subviews().size(), 1u);

    selectLayer(image);
    model.mirrorLayer(true, std::nullopt, false);
    layerSettingsClass().loadSettingsView(std::nullopt);
    s = iconState();
    EXPECT_EQ(s.enabled, (bools{true, true, true, false, true, true}));
    EXPECT_EQ(s.highlighted, (bools{false, true, false, false, true, false}));
    EXPECT_FALSE(s.cropShown);
    // The picture, fitted into the thumbnail and centred: 120 x 80 in 100 x 100.
    ASSERT_EQ(tools()->layerImageView->subviews().size(), 1u);
    const auto thumbnail = tools()->layerImageView->subviews()[0]->frame();
    EXPECT_NEAR(thumbnail.midX(), 50, 0.5);
    EXPECT_NEAR(thumbnail.midY(), 50, 0.5);

    selectLayer(text);
    s = iconState();
    EXPECT_EQ(s.enabled, (bools{true, false, true, false, true, true}));
    EXPECT_TRUE(s.highlighted[icon::aspectRatioIcon]);
}

TEST_F(ToolIcons, TheLockTogglesRecordsEachStepAndTheCameraOnlySaves) {
    ASSERT_TRUE(createProject());
    const std::string image = addImageLayer();
    selectLayer(image);
    showTools();
    undoRedoClass().clearClass();
    ASSERT_EQ(lockOf(image)[0], 1.0);
    clickCentre(*tools()->aspectRatioResizeView);
    EXPECT_EQ(lockOf(image)[0], 0.0);
    EXPECT_FALSE(highlighted(icon::aspectRatioIcon));
    clickCentre(*tools()->aspectRatioResizeView);
    EXPECT_EQ(lockOf(image)[0], 1.0);
    EXPECT_TRUE(highlighted(icon::aspectRatioIcon));
    EXPECT_EQ(undoActions(), (std::vector<std::string>{"layerAspectRatioLock", "layerAspectRatioLock"}));

    // From any other value the lock goes on first.
    auto locks = previewLayerClass().getLayerResizeWithAspectRatioArray();
    locks[size_t(previewLayerClass().getSelectedAssetIndex())].back()[0] = 0.5;
    previewLayerClass().setLayerResizeWithAspectRatioArray(locks);
    layerSettingsValuesClass().layerSettingOnclick(0);
    EXPECT_EQ(lockOf(image)[0], 1.0);
    EXPECT_EQ(undoActions().size(), 3u);

    // The camera: nothing changes, nothing is recorded, the project is written.
    previewLayerClass().selectVideoLayer();
    std::filesystem::remove(projectPath() + "/projectData.json");
    layerSettingsValuesClass().layerSettingOnclick(0);
    EXPECT_TRUE(highlighted(icon::aspectRatioIcon));
    EXPECT_EQ(undoActions().size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(projectPath() + "/projectData.json"));

    // Nothing selected: no tool records anything.
    previewLayerClass().noLayerSelected();
    for (int tool = 0; tool <= 5; ++tool)
        layerSettingsValuesClass().layerSettingOnclick(tool);
    EXPECT_EQ(undoActions().size(), 3u);
    // The lock button is inert.
    const auto flips = previewLayerClass().getLayerIsFlippedArray();
    selectLayer(image);
    clickCentre(*tools()->lockView);
    EXPECT_EQ(previewLayerClass().getLayerIsFlippedArray(), flips);
    EXPECT_EQ(undoActions().size(), 3u);
}

TEST_F(ToolIcons, ReplaysSetTheHighlightOnlyForTheSelectedLayerOfTheSelectedAsset) {
    ASSERT_TRUE(createProject());
    const std::string image = addImageLayer();
    selectLayer(image);
    showTools();
    previewLayerClass model;
    const int a = model.getSelectedAssetIndex();
    const int l = model.getSelectedLayerIndex(false);
    layerSettingsValuesClass values;
    values.undoRedoActionForLayerSetting(0, qrn::Value::List{false, a, l}, 0.0);
    EXPECT_EQ(lockOf(image)[0], 0.0);
    EXPECT_FALSE(highlighted(icon::aspectRatioIcon));
    values.undoRedoActionForLayerSetting(0, qrn::Value::List{false, a, l}, 1.0);
    EXPECT_TRUE(highlighted(icon::aspectRatioIcon));
    values.undoRedoActionForLayerSetting(1, qrn::Value::List{false, a, l}, true);
    EXPECT_TRUE(model.checkIfLayerIsFlipped(true, std::nullopt));
    EXPECT_TRUE(highlighted(icon::flipHorizontalIcon));
    EXPECT_TRUE(undoActions().empty() || undoActions().back() != "horizontalLayerFlip");

    // The same layer position in another asset is another layer: its replay leaves the icons.
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    const int other = model.getSelectedAssetIndex();
    const std::string second = addImageLayer();
    selectLayer(second);
    ASSERT_EQ(model.getSelectedLayerIndex(false), l);
    showTools();
    EXPECT_FALSE(highlighted(icon::flipVerticalIcon));
    values.undoRedoActionForLayerSetting(2, qrn::Value::List{false, a, l}, true);
    EXPECT_FALSE(highlighted(icon::flipVerticalIcon));
    EXPECT_FALSE(model.checkIfLayerIsFlipped(false, std::nullopt));
    EXPECT_TRUE(model.checkIfLayerIsFlipped(false, qrn::Value::List{false, a, l}));
    EXPECT_NE(other, a);
}

TEST_F(ToolIcons, TheArrangeMenuFlipsWhileTheTextTabIsShownLeaveTheAbsentIconsAlone) {
    ASSERT_TRUE(createProject());
    const std::string image = addImageLayer();
    selectLayer(image);
    ASSERT_TRUE(settingsViewClass().loadSettingsView(2));
    ASSERT_TRUE(layerSettingsClass().loadSettingsView(1));
    EXPECT_TRUE(layerSettingsValuesClass().getIconReferenceArray().empty());
    undoRedoClass().clearClass();
    auto arrange = qrn::mainMenu()->itemWithTitle("Arrange")->submenu();
    auto horizontal = arrange->itemWithTitle("Flip Horizontally");
    ASSERT_TRUE(horizontal);
    horizontal->setEnabled(true);
    horizontal->perform();
    EXPECT_EQ(undoActions(), std::vector<std::string>{"horizontalLayerFlip"});
    EXPECT_TRUE(previewLayerClass().checkIfLayerIsFlipped(true, std::nullopt));
    arrange->itemWithTitle("Flip Vertically")->setEnabled(true);
    arrange->itemWithTitle("Flip Vertically")->perform();
    EXPECT_EQ(undoActions().back(), "verticalLayerFlip");
    layerSettingsClass().loadSettingsView(0);
}

TEST_F(ToolIcons, UndoAndRedoOfTheToolsGoThroughTheirReplay) {
    ASSERT_TRUE(createProject());
    const std::string image = addImageLayer();
    selectLayer(image);
    showTools();
    undoRedoClass().clearClass();
    clickCentre(*tools()->aspectRatioResizeView);
    clickCentre(*tools()->flipVerticalView);
    ASSERT_EQ(undoActions(), (std::vector<std::string>{"layerAspectRatioLock", "verticalLayerFlip"}));
    EXPECT_TRUE(highlighted(icon::flipVerticalIcon));
    undoRedoClass().undo();
    advance(0.3);
    EXPECT_FALSE(previewLayerClass().checkIfLayerIsFlipped(false, std::nullopt));
    EXPECT_FALSE(highlighted(icon::flipVerticalIcon));
    undoRedoClass().undo();
    advance(0.3);
    EXPECT_EQ(lockOf(image)[0], 1.0);
    EXPECT_TRUE(highlighted(icon::aspectRatioIcon));
    undoRedoClass().redo();
    advance(0.3);
    EXPECT_EQ(lockOf(image)[0], 0.0);
    EXPECT_FALSE(highlighted(icon::aspectRatioIcon));
}
