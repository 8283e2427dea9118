#include "settings_fixture.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/SettingsPanel/layerSettingsController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Landing/landingController.h"
#include "app/layers/layers_support.h"
#include "platform/foundation/main_queue.h"

namespace settingstest {

void SettingsPanelTest::TearDown() {
    shelltest::EditingShellTest::TearDown();
}

viewLoaderController* SettingsPanelTest::createProject() {
    launch();
    panelAnswers.push_back(projectPath());
    landingClass::getLandingViewController()->createNewProject();
    advance(1.0);
    return screen();
}

viewLoaderController* SettingsPanelTest::screen() {
    return dynamic_cast<viewLoaderController*>(shownScreen());
}

std::shared_ptr<qrn::ui::View> SettingsPanelTest::panel() {
    return screen() ? screen()->settingsView : nullptr;
}

std::shared_ptr<qrn::ui::View> SettingsPanelTest::shownPane() {
    auto container = panel();
    return container && container->subviews().size() == 1 ? container->subviews().front() : nullptr;
}

std::shared_ptr<qrn::ui::View> SettingsPanelTest::shownTab() {
    auto pane = shownPane();
    auto* controller = pane ? dynamic_cast<layerSettingsController*>(pane->viewController()) : nullptr;
    if (!controller || controller->layerSettingsView->subviews().size() != 1)
        return nullptr;
    return controller->layerSettingsView->subviews().front();
}

layerSettingsMenuViewController& SettingsPanelTest::menu() {
    return *std::static_pointer_cast<layerSettingsMenuViewController>(
        settingsViewClass().getLayerSettingsViewReference());
}

std::string SettingsPanelTest::addImageLayer() {
    return layerstest::dropImage(previewLayerClass().getSelectedAssetIndex(), {120, 80});
}

std::string SettingsPanelTest::addTextLayer() {
    return layerstest::dropText(previewLayerClass().getSelectedAssetIndex());
}

std::string SettingsPanelTest::addAnimatedLayer() {
    return layerstest::dropAnimated(previewLayerClass().getSelectedAssetIndex(), {60, 60});
}

void SettingsPanelTest::selectLayer(const std::string& id) {
    previewLayerClass model;
    auto tagged = model.getConfiguration()->layerContainerView->viewWithTag(std::stoi(id));
    ASSERT_TRUE(tagged);
    model.layerSelected(tagged->superview());
}

std::vector<std::string> SettingsPanelTest::undoActions() {
    std::vector<std::string> out;
    for (const auto& entry : undoRedoClass::getUndoList())
        out.push_back(entry.actionType);
    return out;
}

bool SettingsPanelTest::highlighted(const std::shared_ptr<svgIconClass>& icon) {
    return icon && icon->keepChangedColourValue();
}

bool SettingsPanelTest::highlighted(size_t i) {
    const auto icons = layerSettingsValuesClass().getIconReferenceArray();
    return i < icons.size() && highlighted(icons[i]);
}

bool SettingsPanelTest::enabled(size_t i) {
    const auto icons = layerSettingsValuesClass().getIconReferenceArray();
    return i < icons.size() && icons[i]->isButtonEnabled().value_or(false);
}

void SettingsPanelTest::clickCentre(qrn::ui::View& view) {
    click(view, {view.bounds().midX(), view.bounds().midY()});
}

} // namespace settingstest
