#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"

#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"

namespace {
qrn::Value::List VIDEO_SETTINGS_ARRAY;
std::vector<std::vector<qrn::Value::List>> LAYER_SETTINGS_ARRAY;

std::optional<layerSettingsHostViews> hostViews;
// The tab on show: its controller lives as long as its view is in the pane.
qrn::ui::ViewControllerPtr shownTab;
// Follows the clicks for the whole process, across projects.
int selectedMenuItemValue = 0;

const char* tabIdentifier(int value) {
    return value == 0 ? "layerSettingsView" : value == 1 ? "layerTextView" : "layerFilterView";
}

} // namespace

qrn::Value::List layerSettingsClass::getVideoSettings() {
    QRN_LOG_IN(LogValues{{"VIDEO_SETTINGS_ARRAY", qrn::Value(VIDEO_SETTINGS_ARRAY)}});
    return VIDEO_SETTINGS_ARRAY;
}

void layerSettingsClass::setVideoSettings(qrn::Value::List value) {
    QRN_LOG_IN(LogValues{{"VIDEO_SETTINGS_ARRAY", qrn::Value(value)}});
    VIDEO_SETTINGS_ARRAY = std::move(value);
}

std::vector<std::vector<qrn::Value::List>> layerSettingsClass::getLayerSettings() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_SETTINGS_ARRAY;
}

void layerSettingsClass::setLayerSettings(std::vector<std::vector<qrn::Value::List>> value) {
    QRN_LOG_IN(std::nullopt);
    LAYER_SETTINGS_ARRAY = std::move(value);
}

void layerSettingsClass::setHostViews(std::optional<layerSettingsHostViews> views) {
    hostViews = std::move(views);
}

void layerSettingsClass::initialiseSettings() {
    QRN_LOG_IN();
    if (!hostViews || !hostViews->parentView || !hostViews->layerSettingsMenu ||
        !hostViews->layerSettingsView)
        return;
    hostViews->parentView->setAutoresizesSubviews(true);
    hostViews->parentView->setAutoresizingMask(qrn::ui::HeightSizable);
    // One tab menu serves every showing, so its highlight stays as the last click left it.
    if (auto menu = settingsViewClass().getLayerSettingsViewReference()) {
        const auto& menuView = menu->view();
        menuView->setFrame(hostViews->layerSettingsMenu->bounds());
        hostViews->layerSettingsMenu->addSubview(menuView);
    }
    hostViews->layerSettingsView->setAutoresizesSubviews(true);
    hostViews->layerSettingsView->setAutoresizingMask(qrn::ui::HeightSizable);
    loadSettingsView(std::nullopt);
}

bool layerSettingsClass::loadSettingsView(std::optional<int> value) {
    QRN_LOG_IN(LogValues{{"selectedMenuItemValue", value ? qrn::Value(*value) : qrn::Value()}});
    if (!hostViews || !hostViews->layerSettingsView)
        return false;
    if (value) {
        if (*value == selectedMenuItemValue)
            return false;
        selectedMenuItemValue = *value;
    }
    auto tab = qrn::ui::SceneRegistry::instantiateViewController(tabIdentifier(selectedMenuItemValue));
    if (!tab) {
        QRN_LOG_ERROR(std::string("No scene ") + tabIdentifier(selectedMenuItemValue));
        return false;
    }
    auto& content = *hostViews->layerSettingsView;
    const auto& view = tab->view();
    view->setFrame(content.bounds());
    view->setAutoresizesSubviews(true);
    view->setAutoresizingMask(qrn::ui::HeightSizable);
    content.setSubviews({});
    content.addSubview(view);
    shownTab = std::move(tab);
    QRN_LOG_OUT(LogValues{{"bool", true}});
    return true;
}

int layerSettingsClass::getSelectedMenuItemValue() {
    return selectedMenuItemValue;
}

void layerSettingsClass::clearAnyDisplayedSettingsView() {
    QRN_LOG_IN();
    if (hostViews && hostViews->layerSettingsView)
        hostViews->layerSettingsView->setSubviews({});
    shownTab.reset();
}

void layerSettingsClass::resetForTesting() {
    hostViews.reset();
    shownTab.reset();
    selectedMenuItemValue = 0;
}
