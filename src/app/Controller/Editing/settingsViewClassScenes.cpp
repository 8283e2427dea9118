// The settings panel's scenes and its joins to the editing screen.
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsFilterClass.h"
#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsTextClass.h"
#include "Controller/Editing/SettingsPanel/Symbols/imagePickerClass.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/filterOrderedListClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "Filters/filterPanelControllers.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/SettingsPanel/LayerSettings/layerSettingsValuesController.h"
#include "View/Editing/SettingsPanel/Symbols/imagePickerController.h"
#include "View/Editing/SettingsPanel/layerSettingsController.h"
#include "View/Editing/autocueController.h"
#include "View/Editing/dragViewView.h"
#include "View/Global/iconViewClass.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/scroll_view.h"

void settingsViewClass::registerScenes() {
    using qrn::ui::SceneRegistry;
    SceneRegistry::registerViewController("symbolsView",
                                          [] { return std::make_shared<imagePickerController>(); });
    SceneRegistry::registerViewController("scriptView",
                                          [] { return std::make_shared<autocueViewController>(); });
    SceneRegistry::registerViewController("settingsView",
                                          [] { return std::make_shared<layerSettingsController>(); });
    SceneRegistry::registerViewController("layerSettingsMenuView",
                                          [] { return std::make_shared<layerSettingsMenuViewController>(); });
    SceneRegistry::registerViewController("layerSettingsView",
                                          [] { return std::make_shared<layerSettingsValuesController>(); });
    SceneRegistry::registerViewController("layerTextView",
                                          [] { return std::make_shared<layerSettingsTextController>(); });
    SceneRegistry::registerViewController("layerFilterView",
                                          [] { return std::make_shared<layerSettingsFilterController>(); });
    SceneRegistry::registerWindowController("autocueWindow",
                                            [] { return std::make_shared<autocueWindowController>(); });
    registerFilterPanelScenes();
}

void settingsViewClass::connectEditingScreen() {
    previewLayerClass::setLoadSettingsViewHook([] { settingsViewClass().loadSettingsView(std::nullopt); });
    previewLayerClass::setToolIconsRevertedHook(
        [](bool cameraPicture) { layerSettingsValuesClass().iconsReverted(cameraPicture); });
    dragViewView::setGetImagesHook([](int tag) { return imagePickerClass().getNamedImages(tag); });
    dragViewView::setClearSymbolTagHook([] { iconViewClass().setTag(std::nullopt); });
    editViewClass::setAutocueTextHooks(
        [] { return autocueClass().getScriptBeingEdited(); },
        [](const qrn::AttributedString& text) { autocueClass().setTextField(text); });
    editViewClass::setAssetChangeHook([](bool change) { layerSettingsValuesClass().setAssetChange(change); });
    // Undo and redo of the tools, and the reload after a failed import.
    undoRedoClass::setLayerSettingReplayHook(
        [](int setting, const layerAssetIndexAndVideoSelectedArray& layer, const qrn::Value& value) {
            layerSettingsValuesClass().undoRedoActionForLayerSetting(setting, layer, value);
        });
    persistentDataStorageClass::setLoadSettingsViewHook(
        [](std::optional<int> viewNumber) { settingsViewClass().loadSettingsView(viewNumber); });
    // The studio's video settings show the camera's filter list.
    videoSettingsClass::setConstructOrderedListHook(
        [](const std::shared_ptr<qrn::ui::View>& host, bool video) -> std::shared_ptr<qrn::ui::View> {
            return filterOrderedListClass().constructOrderedList(host, video);
        });
}

void settingsViewClass::resetForTesting() {
    resetPanelForTesting();
    layerSettingsClass::resetForTesting();
    layerSettingsTextClass::resetForTesting();
    imagePickerClass::resetForTesting();
    autocueClass::resetForTesting();
    filterOrderedListClass::resetForTesting();
    layerSettingsValuesClass().clearIconReferenceArray();
    layerSettingsValuesClass().setViews(std::nullopt);
    layerSettingsValuesClass().setAssetChange(false);
    layerSettingsValuesClass::setVideoCroppingEnabledHook(nullptr);
    previewLayerClass::setLoadSettingsViewHook(nullptr);
    previewLayerClass::setToolIconsRevertedHook(nullptr);
    dragViewView::setGetImagesHook(nullptr);
    dragViewView::setClearSymbolTagHook(nullptr);
    editViewClass::setAutocueTextHooks(nullptr, nullptr);
    editViewClass::setAssetChangeHook(nullptr);
}
