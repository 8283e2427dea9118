#include "View/Editing/editScreenTitleBarController.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "platform/foundation/main_queue.h"

namespace {

std::weak_ptr<svgButtonClass> displayVideoButton;
std::function<bool(std::optional<int>)> loadSettingsViewHook;
std::function<bool()> videoSettingsIsViewLoadedHook;
// Without the settings panel's own answer: the pane shown, the symbols pane at first.
int paneShownWithoutPanel = 0;

constexpr double barHeight = 38.0;
constexpr double side = 30.0;

std::shared_ptr<svgButtonClass> iconButton(double x, const char* icon, bool anchoredRight) {
    svgButtonClass::Configuration c;
    c.frame = qrn::Rect(x, (barHeight - side) / 2, side, side);
    c.iconName = icon;
    // At rest in the light icon colour: the colour that leaving a hovered icon and the pane
    // switches' clearing give it back, so the icons look the same before and after.
    c.changeColourPalletIndexOnHover = 5;
    auto button = svgButtonClass::make(c);
    button->setFrame(c.frame);
    if (anchoredRight)
        button->setAutoresizingMask(qrn::graphics::FlexibleMinXMargin);
    // The icon object exists from the start, so the screen can colour it before the first draw.
    button->layout();
    return button;
}

void keep(const std::shared_ptr<svgButtonClass>& button, bool on) {
    if (button && button->svgIconObj())
        button->svgIconObj()->keepChangedColour(on);
}

void loose(const std::shared_ptr<svgButtonClass>& button) {
    if (button && button->svgIconObj())
        button->svgIconObj()->clearColourChange();
}

// Nothing that changes the project or the screen runs while a project is being imported.
bool importRunning() {
    return !persistentDataStorageClass().getInProgressBool();
}

} // namespace

void editScreenTitleBarController::loadView() {
    auto bar = qrn::ui::View::make(qrn::Rect(0, 0, 1280, barHeight));
    const double pitch = side + 8;
    double x = 80;
    buttonNewProject = iconButton(x, "new_project", false);
    buttonSaveProject = iconButton(x += pitch, "save", false);
    buttonPrint = iconButton(x += pitch, "print", false);
    buttonDisplayVideo = iconButton(x += pitch + 16, "display_video", false);
    buttonRecordView = iconButton(x += pitch, "record_view", false);
    buttonUndo = iconButton(x += pitch + 16, "undo", false);
    buttonRedo = iconButton(x += pitch, "redo", false);
    videoSettings = iconButton(x += pitch + 16, "video_settings", false);
    double right = bar->frame().width() - 12 - side;
    buttonLayerSettings = iconButton(right, "layer_settings_pane", true);
    buttonScriptSettings = iconButton(right -= pitch, "script_pane", true);
    buttonSymbolSettings = iconButton(right -= pitch, "symbols_pane", true);
    // Nothing prints; the button is there, disabled.
    buttonPrint->svgIconObj()->enableButton(false);
    buttonPrint->setEnabled(false);

    std::weak_ptr<qrn::ui::ViewController> weak = shared_from_this();
    auto act = [weak](void (editScreenTitleBarController::*action)()) {
        return [weak, action](qrn::ui::Control&) {
            if (auto bar = std::static_pointer_cast<editScreenTitleBarController>(weak.lock()))
                ((*bar).*action)();
        };
    };
    buttonNewProject->setAction(act(&editScreenTitleBarController::newProject));
    buttonSaveProject->setAction(act(&editScreenTitleBarController::saveProject));
    buttonDisplayVideo->setAction(act(&editScreenTitleBarController::record));
    buttonRecordView->setAction(act(&editScreenTitleBarController::videoRecordView));
    buttonUndo->setAction(act(&editScreenTitleBarController::undo));
    buttonRedo->setAction(act(&editScreenTitleBarController::redo));
    buttonSymbolSettings->setAction(act(&editScreenTitleBarController::loadSymbolSettings));
    buttonScriptSettings->setAction(act(&editScreenTitleBarController::loadScriptSettings));
    buttonLayerSettings->setAction(act(&editScreenTitleBarController::loadLayerSettings));
    // The camera and microphone chooser opens beside the window, or comes to the front.
    videoSettings->setAction([](qrn::ui::Control&) { videoSettingsClass().showWindow(); });

    for (const auto& button :
         {buttonNewProject, buttonSaveProject, buttonPrint, buttonDisplayVideo, buttonRecordView, buttonUndo,
          buttonRedo, videoSettings, buttonSymbolSettings, buttonScriptSettings, buttonLayerSettings})
        bar->addSubview(button);
    setView(bar);
}

void editScreenTitleBarController::viewDidLoad() {
    QRN_LOG_IN();
    ViewController::viewDidLoad();
    std::weak_ptr<qrn::ui::ViewController> weak = shared_from_this();
    qrn::MainQueue::after(0.01, [weak] {
        auto bar = std::static_pointer_cast<editScreenTitleBarController>(weak.lock());
        if (!bar)
            return;
        undoRedoClass::setUndoRedoButtons(std::make_pair(bar->buttonUndo, bar->buttonRedo));
        undoRedoClass().enableActionButtons(0);
    });
    displayVideoButton = buttonDisplayVideo;
    paneShownWithoutPanel = 0;
    // The symbols pane is the one shown first.
    qrn::MainQueue::after(0.5, [weak] {
        if (auto bar = std::static_pointer_cast<editScreenTitleBarController>(weak.lock()))
            keep(bar->buttonSymbolSettings, true);
    });
    QRN_LOG_OUT();
}

void editScreenTitleBarController::loadContent() {
    QRN_LOG_IN();
    keep(videoSettings, videoSettingsIsViewLoadedHook ? videoSettingsIsViewLoadedHook()
                                                      : videoSettingsClass().isViewLoaded());
}

void editScreenTitleBarController::newProject() {
    QRN_LOG_IN();
    fileMenuClass().newProject();
}

void editScreenTitleBarController::saveProject() {
    QRN_LOG_IN();
    fileMenuClass().save();
}

void editScreenTitleBarController::record() {
    QRN_LOG_IN();
    if (importRunning())
        return;
    previewLayerClass model;
    model.highlightOfSelectedScrollViewLayer(0, model.getSelectedLayer());
    const bool shown = model.displayVideo();
    keep(buttonDisplayVideo, shown);
    videoDisplayed = shown;
    if (!shown)
        model.selectLastLayer();
}

void editScreenTitleBarController::videoRecordView() {
    QRN_LOG_IN();
    if (importRunning())
        return;
    viewLoaderClass().presentRecordingScreen();
}

void editScreenTitleBarController::undo() {
    QRN_LOG_IN();
    if (importRunning())
        return;
    undoRedoClass().undo();
}

void editScreenTitleBarController::redo() {
    QRN_LOG_IN();
    if (importRunning())
        return;
    undoRedoClass().redo();
}

void editScreenTitleBarController::loadSymbolSettings() {
    loadPane(0);
}
void editScreenTitleBarController::loadScriptSettings() {
    loadPane(1);
}
void editScreenTitleBarController::loadLayerSettings() {
    loadPane(2);
}

void editScreenTitleBarController::loadPane(int pane) {
    QRN_LOG_IN(LogValues{{"pane", pane}});
    bool changed;
    if (loadSettingsViewHook) {
        changed = loadSettingsViewHook(pane);
    } else {
        changed = pane != paneShownWithoutPanel;
        paneShownWithoutPanel = pane;
    }
    if (!changed)
        return;
    iconsLooseColours();
    const std::shared_ptr<svgButtonClass> panes[] = {buttonSymbolSettings, buttonScriptSettings,
                                                     buttonLayerSettings};
    for (int i = 0; i < 3; ++i)
        keep(panes[i], i == pane);
    settingsMenuSelected = pane;
}

void editScreenTitleBarController::videoSettingsButtonKeepChangedColour(bool on) {
    QRN_LOG_IN(LogValues{{"keep", on}});
    keep(videoSettings, on);
}

void editScreenTitleBarController::iconsLooseColours() {
    QRN_LOG_IN();
    for (const auto& button :
         {buttonNewProject, buttonSaveProject, buttonPrint, buttonDisplayVideo, buttonRecordView,
          buttonSymbolSettings, buttonScriptSettings, buttonLayerSettings})
        loose(button);
}

void editScreenTitleBarController::iconsSelected() {
    QRN_LOG_IN();
    if (videoDisplayed)
        keep(buttonDisplayVideo, true);
    keep(settingsMenuSelected == 1   ? buttonScriptSettings
         : settingsMenuSelected == 0 ? buttonSymbolSettings
                                     : buttonLayerSettings,
         true);
}

void editScreenTitleBarController::clearColourChangeForDisplayVideoButton() {
    QRN_LOG_IN();
}

std::shared_ptr<svgButtonClass> editScreenTitleBarController::getDisplayVideoButton() {
    return displayVideoButton.lock();
}

void editScreenTitleBarController::setLoadSettingsViewHook(std::function<bool(std::optional<int>)> hook) {
    loadSettingsViewHook = std::move(hook);
    paneShownWithoutPanel = 0;
}

void editScreenTitleBarController::setVideoSettingsIsViewLoadedHook(std::function<bool()> hook) {
    videoSettingsIsViewLoadedHook = std::move(hook);
}

std::shared_ptr<editScreenTitleBarController> editScreenTitleBarController::current() {
    return std::dynamic_pointer_cast<editScreenTitleBarController>(
        screenTitleBarAccessoryViewController::getCachedTitleBar(true));
}
