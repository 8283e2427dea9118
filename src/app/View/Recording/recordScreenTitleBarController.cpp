#include "View/Recording/recordScreenTitleBarController.h"

#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "View/Recording/autocueDisplayController.h"
#include "platform/foundation/main_queue.h"

namespace {

using namespace qrn::graphics;

constexpr double barHeight = 38.0;
constexpr double buttonSide = 30.0;

std::shared_ptr<svgButtonClass> iconButton(double x, const char* icon, unsigned mask) {
    svgButtonClass::Configuration c;
    c.frame = qrn::Rect(x, (barHeight - buttonSide) / 2, buttonSide, buttonSide);
    c.iconName = icon;
    auto button = svgButtonClass::make(c);
    button->setAutoresizingMask(mask);
    return button;
}

// The icon object is made at the button's first layout; a bar not yet drawn makes it now.
std::shared_ptr<svgIconClass> iconOf(const std::shared_ptr<svgButtonClass>& button) {
    if (!button)
        return nullptr;
    if (!button->svgIconObj())
        button->layout();
    return button->svgIconObj();
}

} // namespace

void recordScreenTitleBarController::loadView() {
    auto bar = qrn::ui::View::make(qrn::Rect(0, 0, 480, barHeight));
    buttonEditingView = iconButton(10, "editor_view", FlexibleMaxXMargin);
    buttonAutocueSettingsView = iconButton(44, "teleprompter_autocue", FlexibleMaxXMargin);
    buttonVideoSettingsView = iconButton(78, "video_settings", FlexibleMaxXMargin);
    buttonDismissPlayback = iconButton(480 - 78, "dismiss_playback", FlexibleMinXMargin);
    buttonSavePlayback = iconButton(480 - 44, "save_playback", FlexibleMinXMargin);
    for (const auto& button : {buttonEditingView, buttonAutocueSettingsView, buttonVideoSettingsView,
                               buttonDismissPlayback, buttonSavePlayback})
        bar->addSubview(button);
    auto act = [weak = std::weak_ptr<qrn::ui::ViewController>(weak_from_this())](
                   void (recordScreenTitleBarController::*action)()) {
        return [weak, action](qrn::ui::Control&) {
            if (auto self = std::static_pointer_cast<recordScreenTitleBarController>(weak.lock()))
                (self.get()->*action)();
        };
    };
    buttonEditingView->setAction(act(&recordScreenTitleBarController::dismiss));
    buttonAutocueSettingsView->setAction(act(&recordScreenTitleBarController::autocueSettings));
    buttonVideoSettingsView->setAction(act(&recordScreenTitleBarController::videoSettings));
    buttonDismissPlayback->setAction(act(&recordScreenTitleBarController::dismissPlayback));
    buttonSavePlayback->setAction(act(&recordScreenTitleBarController::savePlayback));
    setView(bar);
}

void recordScreenTitleBarController::viewDidLoad() {
    QRN_LOG_IN();
    buttonDismissPlayback->setHidden(true);
    buttonSavePlayback->setHidden(true);
    recordViewClass().setRecordTitleBarButtons(
        recordTitleBarButtonsGroup{buttonEditingView, buttonAutocueSettingsView, buttonVideoSettingsView,
                                   buttonDismissPlayback, buttonSavePlayback});
}

void recordScreenTitleBarController::loadContent() {
    QRN_LOG_IN();
    if (auto icon = iconOf(buttonVideoSettingsView))
        icon->keepChangedColour(videoSettingsClass().isViewLoaded());
}

void recordScreenTitleBarController::dismiss() {
    QRN_LOG_IN();
    // While a take's movie is made or on show the button is hidden; the View menu's Go To Editor
    // comes here too, and leaving then would strand the movie in the project folder unseen and
    // bring the layers back still laid out for the movie's frame.
    if (recordViewClass().getPlaybackShown() || captureSessionClass().getProcessingRecording())
        return;
    recordViewClass().dismissView();
    qrn::MainQueue::after(0.5, [] {
        const auto& buttons = recordViewClass().getRecordTitleBarButtons();
        if (!buttons)
            return;
        for (const auto& button :
             {buttons->buttonEditingView, buttons->buttonAutocueSettingsView,
              buttons->buttonVideoSettingsView, buttons->buttonDismissPlayback, buttons->buttonSavePlayback})
            if (auto icon = iconOf(button))
                icon->clearColourChange();
    });
}

void recordScreenTitleBarController::dismissPlayback() {
    QRN_LOG_IN();
    if (auto icon = iconOf(buttonDismissPlayback); icon && icon->getIsButtonEnabled())
        recordViewClass().dismissPlaybackCheck();
}

void recordScreenTitleBarController::savePlayback() {
    QRN_LOG_IN();
    if (auto icon = iconOf(buttonSavePlayback); icon && icon->getIsButtonEnabled())
        recordViewClass().saveRecording();
}

void recordScreenTitleBarController::autocueSettings() {
    QRN_LOG_IN();
    autocueDisplayController::showWindow();
}

void recordScreenTitleBarController::videoSettings() {
    QRN_LOG_IN();
    videoSettingsClass().showWindow();
}
