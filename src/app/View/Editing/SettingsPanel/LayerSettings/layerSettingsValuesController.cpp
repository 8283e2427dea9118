#include "View/Editing/SettingsPanel/LayerSettings/layerSettingsValuesController.h"

#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/button.h"

namespace {
// The instance the last appearance made; the disappearance uses it.
std::shared_ptr<layerSettingsValuesClass> shownValues;

const qrn::Rect tabFrame(0, 0, 694, 682);
constexpr double toolSize = 40, toolPitch = 50, margin = 20, thumbnailSize = 100;
} // namespace

void layerSettingsValuesController::loadView() {
    auto root = qrn::ui::View::make(tabFrame);
    const double top = tabFrame.height() - margin;
    layerImageView =
        qrn::ui::View::make(qrn::Rect(margin, top - thumbnailSize, thumbnailSize, thumbnailSize));
    layerImageView->setAutoresizingMask(qrn::ui::FlexibleMinYMargin);
    root->addSubview(layerImageView);
    const std::weak_ptr<qrn::ui::ViewController> weak = weak_from_this();
    const auto tool = [&](int slot, void (layerSettingsValuesController::*action)()) {
        auto button = qrn::ui::Button::make(qrn::Rect(
            margin + slot * toolPitch, top - thumbnailSize - margin - toolSize, toolSize, toolSize));
        button->setBordered(false);
        button->setAutoresizingMask(qrn::ui::FlexibleMinYMargin);
        button->setAction([weak, action](qrn::ui::Control&) {
            if (auto self = std::static_pointer_cast<layerSettingsValuesController>(weak.lock()))
                ((*self).*action)();
        });
        root->addSubview(button);
        return button;
    };
    revertView = tool(0, &layerSettingsValuesController::revertViewButton);
    aspectRatioResizeView = tool(1, &layerSettingsValuesController::lockViewButton);
    videoCropping = tool(2, &layerSettingsValuesController::cropVideoButton);
    lockView = tool(3, &layerSettingsValuesController::lockLayerButton);
    flipHorizontalView = tool(4, &layerSettingsValuesController::flipHorizontalButton);
    flipVerticalView = tool(5, &layerSettingsValuesController::flipVerticalButton);
    setView(root);
}

void layerSettingsValuesController::viewWillAppear() {
    QRN_LOG_IN();
    auto values = std::make_shared<layerSettingsValuesClass>();
    values->setViews(layerSettingsValuesViewsRecord{shared_from_this(), layerImageView, revertView,
                                                    aspectRatioResizeView, videoCropping, lockView,
                                                    flipHorizontalView, flipVerticalView});
    values->initialiseViews();
    shownValues = values;
}

void layerSettingsValuesController::viewWillDisappear() {
    QRN_LOG_IN();
    if (shownValues)
        shownValues->clearIconReferenceArray();
}

void layerSettingsValuesController::lockViewButton() {
    QRN_LOG_IN();
    layerSettingsValuesClass().layerSettingOnclick(0);
}

void layerSettingsValuesController::revertViewButton() {
    QRN_LOG_IN();
    layerSettingsValuesClass().layerSettingOnclick(1);
}

void layerSettingsValuesController::cropVideoButton() {
    QRN_LOG_IN();
    layerSettingsValuesClass().layerSettingOnclick(2);
}

void layerSettingsValuesController::flipHorizontalButton() {
    QRN_LOG_IN();
    layerSettingsValuesClass().layerSettingOnclick(3);
}

void layerSettingsValuesController::flipVerticalButton() {
    QRN_LOG_IN();
    layerSettingsValuesClass().layerSettingOnclick(4);
}

void layerSettingsValuesController::lockLayerButton() {
    QRN_LOG_IN();
}
