#include "Controller/Editing/viewLoaderClass.h"
#include "View/Editing/editScreenTitleBarController.h"

#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/replacePresentationAnimator.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Model/globalAppSettingsClass.h"
#include "platform/foundation/colour.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"

namespace {
std::shared_ptr<qrn::ui::ViewController> viewLoaderControllerReference;
std::optional<viewLoaderConfiguration> configuration;
bool backgroundColourChangeCheck = true;
} // namespace

void viewLoaderClass::setViewLoaderController(std::shared_ptr<qrn::ui::ViewController> controller) {
    QRN_LOG_IN(LogValues{{"viewLoaderControllerReference", controller != nullptr}});
    viewLoaderControllerReference = std::move(controller);
    // The application lets the screen go as it ends: its views go with it.
    if (!viewLoaderControllerReference)
        configuration.reset();
}

std::shared_ptr<qrn::ui::ViewController> viewLoaderClass::getViewLoaderController() {
    return viewLoaderControllerReference;
}

void viewLoaderClass::setConfig(std::optional<viewLoaderConfiguration> config) {
    configuration = std::move(config);
}

std::optional<viewLoaderConfiguration> viewLoaderClass::getConfig() {
    return configuration;
}

std::shared_ptr<qrn::ui::ViewController> viewLoaderClass::getViewController() {
    return configuration ? configuration->viewController : nullptr;
}

void viewLoaderClass::initialisation() {
    QRN_LOG_IN(std::nullopt);
    if (!configuration || !configuration->mainView)
        return;
    auto anchor = qrn::ui::View::make();
    anchor->setHidden(true);
    anchor->addSubview(qrn::ui::TextField::makeMarker(-6));
    configuration->mainView->addSubview(anchor);
    auto dragged = qrn::ui::View::make();
    dragged->setHidden(true);
    dragged->layer()->setBorderWidth(1.0);
    dragged->layer()->setBorderColour(
        qrn::namedColour("icon_colour_hover_dark", true).value_or(qrn::Colour::black()));
    dragged->layer()->setCornerRadius(4.0);
    dragged->addSubview(qrn::ui::TextField::makeMarker(-7));
    configuration->mainView->addSubview(dragged);
}

void viewLoaderClass::setBackgroundColourChange(bool check) {
    QRN_LOG_IN(LogValues{{"check", check}});
    backgroundColourChangeCheck = check;
}

bool viewLoaderClass::getBackgroundColourChangeCheck() {
    return backgroundColourChangeCheck;
}

void viewLoaderClass::newCaptureSession() {
    QRN_LOG_IN(std::nullopt);
    captureSessionClass capture;
    capture.createVideoDevice(std::nullopt, capture.session());
}

void viewLoaderClass::presentRecordingScreen() {
    QRN_LOG_IN(std::nullopt);
    globalAppSettingsClass settings;
    settings.setIsMainViewControllerLoading(false);
    closeWindowsOrPanelClass().closeColourPanel();
    if (auto bar = editScreenTitleBarController::current())
        bar->iconsLooseColours();
    if (configuration && configuration->parentPreviewView)
        resizeAndPositionLayersClass().setBounds(configuration->parentPreviewView->bounds());
    // The studio reads the script as the pane shows it.
    if (auto text = editViewClass::getAutocueText())
        editViewClass().addTextToAutocueArray(*text);
    autocueClass().displayAutocueWindow(true);
    // The panes are built afresh when the editing screen comes back.
    settingsViewClass().setViewReferenceArray(std::vector<qrn::ui::ViewControllerPtr>(3));
    settings.setJustMovedBetweenOrReloadedScreens(true);
    auto studio = qrn::ui::SceneRegistry::instantiateViewController("recordingView");
    if (!studio || !configuration || !configuration->viewController) {
        QRN_LOG_ERROR("recordingView");
        return;
    }
    configuration->viewController->present(studio, std::make_shared<replacePresentationAnimator>());
}
