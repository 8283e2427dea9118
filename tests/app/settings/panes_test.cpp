#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/filterOrderedListClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/SettingsPanel/layerSettingsController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/svgIconView.h"
#include "platform/foundation/json.h"
#include "platform/ui/image_view.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/slider.h"
#include "settings_fixture.h"
#include <QDir>
#include <QImage>
#include <functional>

using namespace settingstest;

namespace {
class Panes : public SettingsPanelTest {};

std::string identifierOf(const std::shared_ptr<qrn::ui::View>& view) {
    return view && view->viewController() ? view->viewController()->identifier() : std::string();
}
} // namespace

TEST(PanesBeforeSetUp, NothingIsShownWithoutTheContainer) {
    EXPECT_FALSE(settingsViewClass().loadSettingsView(1));
    EXPECT_FALSE(settingsViewClass().loadSettingsView(std::nullopt));
    EXPECT_FALSE(layerSettingsClass().loadSettingsView(2));
}

TEST_F(Panes, SwitchingShowsEachPaneOnceKeepsControllersAndRebuildsEmptiedSlots) {
    ASSERT_TRUE(createProject());
    settingsViewClass panes;
    // A new project shows the symbols pane.
    EXPECT_EQ(identifierOf(shownPane()), "symbolsView");
    EXPECT_FALSE(panes.loadSettingsView(0));
    EXPECT_EQ(identifierOf(shownPane()), "symbolsView");

    ASSERT_TRUE(panes.loadSettingsView(1));
    const auto script = panes.getViewReferenceArray()[1];
    EXPECT_EQ(shownPane(), script->view());
    EXPECT_EQ(shownPane()->frame(), panel().get()->bounds());
    EXPECT_TRUE(panes.loadSettingsView(0));
    EXPECT_TRUE(panes.loadSettingsView(1));
    EXPECT_EQ(panes.getViewReferenceArray()[1], script);

    // The studio lets go of the panes: the pane on show is built again, even asked by its number.
    panes.setViewReferenceArray(std::vector<qrn::ui::ViewControllerPtr>(3));
    EXPECT_TRUE(panes.loadSettingsView(1));
    EXPECT_NE(panes.getViewReferenceArray()[1], script);
    EXPECT_EQ(identifierOf(shownPane()), "scriptView");
    EXPECT_EQ(panel().get()->subviews().size(), 1u);
}

TEST_F(Panes, TabsBuildAFreshControllerAtEveryShowingAndTheFiltersTabSurvivesAPaneSwitch) {
    ASSERT_TRUE(createProject());
    const std::string image = addImageLayer();
    selectLayer(image);
    settingsViewClass panes;
    ASSERT_TRUE(panes.loadSettingsView(2));
    layerSettingsClass tabs;
    ASSERT_EQ(tabs.getSelectedMenuItemValue(), 0);
    EXPECT_EQ(identifierOf(shownTab()), "layerSettingsView");
    const auto first = shownTab();

    // The shown tab again: nothing changes.
    EXPECT_FALSE(tabs.loadSettingsView(0));
    EXPECT_EQ(shownTab(), first);
    // A reload builds the tab again.
    EXPECT_TRUE(tabs.loadSettingsView(std::nullopt));
    EXPECT_NE(shownTab(), first);

    // Through the menu's button (laid out, as on screen): the filters tab, highlighted alone.
    menu().view()->layoutSubtreeIfNeeded();
    clickCentre(*menu().buttonLayerFilters);
    EXPECT_EQ(tabs.getSelectedMenuItemValue(), 2);
    EXPECT_EQ(identifierOf(shownTab()), "layerFilterView");
    EXPECT_TRUE(highlighted(menu().buttonLayerFilters->svgIconObj()));
    EXPECT_FALSE(highlighted(menu().buttonLayerSettings->svgIconObj()));
    const auto filters = shownTab();

    ASSERT_TRUE(panes.loadSettingsView(0));
    ASSERT_TRUE(panes.loadSettingsView(2));
    EXPECT_EQ(identifierOf(shownTab()), "layerFilterView");
    EXPECT_NE(shownTab(), filters);
    ASSERT_EQ(shownTab()->subviews().size(), 1u);
    EXPECT_EQ(shownTab()->subviews()[0]->identifier(), "false");

    // Selecting another layer rebuilds the list for it.
    const auto before = shownTab();
    selectLayer(addImageLayer());
    EXPECT_NE(shownTab(), before);

    // A duplicate is selected the moment it is made: the tab shows the filters it took along,
    // the blur ticked and open at its strength.
    const QString images = QString::fromStdString(projectPath() + "/images");
    ASSERT_TRUE(QDir().mkpath(images));
    QImage file(120, 80, QImage::Format_ARGB32);
    file.fill(Qt::red);
    ASSERT_TRUE(file.save(images + "/layer.png"));
    editViewClass().applyFilter(true, 1, filterValuesEntry{qrn::Value(20.06)}, false, false);
    previewLayerClass().duplicateLayer(std::nullopt, std::nullopt);
    advance(0.5);
    const auto list = std::dynamic_pointer_cast<qrn::ui::ScrollView>(shownTab()->subviews()[0]);
    ASSERT_TRUE(list && list->documentView());
    std::vector<std::string> ticks;
    std::vector<double> strengths; // of the open panels
    const std::function<void(const std::shared_ptr<qrn::ui::View>&)> read = [&](const auto& view) {
        if (auto box = std::dynamic_pointer_cast<svgIconView>(view)) {
            const auto name =
                std::static_pointer_cast<qrn::ui::ImageView>(box->subviews().front())->imageName();
            if (name.starts_with("checkbox"))
                ticks.push_back(name);
        }
        if (auto slider = std::dynamic_pointer_cast<qrn::ui::Slider>(view))
            strengths.push_back(slider->doubleValue());
        for (const auto& subview : view->subviews())
            if (subview->alphaValue() > 0)
                read(subview);
    };
    for (const auto& row : list->documentView()->subviews())
        read(row);
    EXPECT_EQ(ticks,
              (std::vector<std::string>{"checkbox_disabled", "checkbox_enabled", "checkbox_disabled"}));
    ASSERT_EQ(strengths.size(), 1u);
    EXPECT_NEAR(strengths[0], 20.06, 1e-5);
    // Back to the tools tab for the tests that follow in this process.
    EXPECT_TRUE(tabs.loadSettingsView(0));
}

TEST_F(Panes, TheTabMenuHighlightsItsFirstButtonOnceItsIconExists) {
    ASSERT_TRUE(createProject());
    ASSERT_TRUE(settingsViewClass().loadSettingsView(2));
    // The pane has not been laid out yet: after both tries the button takes the highlight at its
    // first layout.
    advance(0.05);
    menu().view()->layoutSubtreeIfNeeded();
    ASSERT_TRUE(menu().buttonLayerSettings->svgIconObj());
    if (layerSettingsClass().getSelectedMenuItemValue() == 0)
        EXPECT_TRUE(highlighted(menu().buttonLayerSettings->svgIconObj()));
}

TEST(SettingsArrays, ObjectsAndEveryOtherKindAreWrittenAndReadBackUnchanged) {
    const auto parsed = qrn::json::parse(R"([1, 2.5, "a", true, null, [1, [2]], {"k": [1, {"z": null}]}])");
    ASSERT_TRUE(parsed.isOk());
    const qrn::Value value = qrn::json::toValue(parsed.value());
    ASSERT_EQ(value.toList().size(), 7u);
    EXPECT_TRUE(value.toList()[6].isObject());
    layerSettingsClass settings;
    settings.setVideoSettings(value.toList());
    settings.setLayerSettings({{value.toList()}});
    EXPECT_EQ(qrn::json::fromValue(qrn::Value(settings.getVideoSettings())), parsed.value());
    EXPECT_EQ(qrn::json::fromValue(qrn::Value(settings.getLayerSettings()[0][0])), parsed.value());
    // Equal by content, whatever order the keys came in.
    EXPECT_EQ(qrn::json::toValue(qrn::Json::parse(R"({"b": 1, "a": 2})")),
              qrn::json::toValue(qrn::Json::parse(R"({"a": 2, "b": 1})")));
    EXPECT_NE(qrn::json::toValue(qrn::Json::parse(R"({"a": 1})")),
              qrn::json::toValue(qrn::Json::parse(R"({"a": 1.0})")));
    settings.setVideoSettings({});
    settings.setLayerSettings({});
}

TEST_F(Panes, TheProjectFileKeepsTheSettingsArraysAsTheyWere) {
    ASSERT_TRUE(createProject());
    const auto parsed = qrn::json::parse(R"([1, 2.5, "a", true, null, [1, [2]], {"k": [1, {"z": null}]}])");
    layerSettingsClass settings;
    settings.setVideoSettings(qrn::json::toValue(parsed.value()).toList());
    ASSERT_TRUE(persistentDataStorageClass().exportData(false));
    const auto file = qrn::json::readFile(projectPath() + "/projectData.json");
    ASSERT_TRUE(file.isOk());
    EXPECT_EQ(file.value()["VIDEO_SETTINGS_ARRAY"], parsed.value());
    settings.setVideoSettings({});
}
