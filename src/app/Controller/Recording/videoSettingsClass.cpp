#include "Controller/Recording/videoSettingsClass.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "View/Global/svgIconView.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/videoSettingsController.h"
#include "platform/media/capture_session.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/window.h"

namespace {

std::shared_ptr<videoSettingsController> videoSettingsViewController;
std::optional<videoSettingsViewsGroup> videoSettingsViews;
int comboBoxChangeCounter = 0;
bool viewIsLoaded = false;
// The chooser's window while it is open.
std::shared_ptr<qrn::ui::Window> chooserWindow;
std::function<void()> closeHandler;
std::function<videoSettingsClass::ViewPtr(const videoSettingsClass::ViewPtr&, bool)> constructOrderedListHook;
std::function<void(bool)> editingHighlightHook;

const qrn::Size chooserSize{250, 520};

void putIcon(const std::shared_ptr<qrn::ui::View>& host, const std::string& name) {
    if (!host)
        return;
    auto icon = svgIconClass::make();
    icon->setIsButtonEnabled(false);
    auto view = svgIconView::createIconView(icon, std::nullopt, name, 0, host->bounds(), 100.0);
    icon->setImageView(view);
    host->addSubview(view);
}

// Lists "none" and then the devices, and picks the stored name, else the first device (which
// becomes the stored name), else "none". Picking switches nothing.
void fill(qrn::ui::ComboBox& box, const std::string& none, const std::vector<std::string>& devices,
          const std::optional<std::string>& stored,
          const std::function<void(std::optional<std::string>)>& store) {
    std::vector<std::string> items{none};
    items.insert(items.end(), devices.begin(), devices.end());
    box.addItems(items);
    int index = stored ? box.indexOf(*stored) : -1;
    if (index < 0) {
        index = items.size() >= 2 ? 1 : 0;
        store(index == 1 ? std::optional<std::string>(items[1]) : std::nullopt);
    }
    box.selectItem(index);
}

bool recording() {
    return captureSessionClass().getMovieOutput()->isRecording();
}

// A choice refused during a take: the list goes back to the device the take is using, so it
// never names one that is not in use.
void showDeviceInUse(const std::shared_ptr<qrn::ui::ComboBox>& box, const std::string& none,
                     const std::optional<std::string>& inUse) {
    if (!box)
        return;
    const int index = box->indexOf(inUse.value_or(none));
    if (index >= 0)
        box->selectItem(index);
}

} // namespace

bool videoSettingsClass::isViewLoaded() {
    return viewIsLoaded;
}

void videoSettingsClass::loadContent() {
    QRN_LOG_IN();
    viewIsLoaded = true;
    if (!videoSettingsViews)
        return;
    const auto& v = *videoSettingsViews;
    putIcon(v.videoIconView, "video");
    putIcon(v.audioIconView, "audio");
    // Emptied before they report to us: only the two selections below notify.
    v.videoCombobox->removeAllItems();
    v.audioCombobox->removeAllItems();
    for (const auto& box : {v.videoCombobox, v.audioCombobox})
        box->setSelectionDidChange(
            [](qrn::ui::ComboBox& changed) { videoSettingsClass().comboBoxSelectionDidChange(changed); });
    captureSessionClass capture;
    // "No camera" or "No audio" chosen before is shown again: the first device is not in use.
    const auto none = [](bool chosen, const char* name, std::optional<std::string> stored) {
        return chosen ? std::optional<std::string>(name) : stored;
    };
    fill(*v.videoCombobox, captureSessionClass::noCameraName, capture.videoDevices(),
         none(capture.getNoCameraChosen(), captureSessionClass::noCameraName,
              capture.getSelectedVideoDeviceName()),
         [](std::optional<std::string> name) { captureSessionClass().setSelectedVideoDeviceName(name); });
    fill(*v.audioCombobox, captureSessionClass::noAudioName, capture.audioDevices(),
         none(capture.getNoAudioChosen(), captureSessionClass::noAudioName,
              capture.getSelectedAudioDeviceName()),
         [](std::optional<std::string> name) { captureSessionClass().setSelectedAudioDeviceName(name); });
    if (v.filterSettingsView && constructOrderedListHook)
        if (auto list = constructOrderedListHook(v.filterSettingsView, true))
            v.filterSettingsView->addSubview(list);
}

void videoSettingsClass::comboBoxSelectionDidChange(qrn::ui::ComboBox& comboBox) {
    QRN_LOG_IN(LogValues{{"comboBoxChangeCounter", comboBoxChangeCounter}});
    if (comboBoxChangeCounter < 2 || recordViewClass().getPlaybackShown()) {
        ++comboBoxChangeCounter;
        return;
    }
    const std::string name = comboBox.itemAt(comboBox.indexOfSelectedItem());
    if (name.empty())
        return;
    if (comboBox.identifier() == "video")
        changeVideo(name);
    else
        changeAudio(name);
}

void videoSettingsClass::changeVideo(const std::string& deviceName) {
    QRN_LOG_IN(LogValues{{"deviceName", deviceName}});
    if (recordViewClass().getPlaybackShown())
        return;
    captureSessionClass capture;
    if (recording()) {
        if (videoSettingsViews)
            showDeviceInUse(videoSettingsViews->videoCombobox, captureSessionClass::noCameraName,
                            capture.getSelectedVideoDeviceName());
        return;
    }
    previewLayerClass model;
    recordViewClass studio;
    const auto view = studio.getRecordViewSelected() ? studio.getVideoView() : model.getVideoLayerView();
    if (view)
        capture.changeVideo(*view, deviceName);
    if (auto editing = model.getVideoLayerView())
        model.cropVideo(*editing);
}

void videoSettingsClass::changeAudio(const std::string& deviceName) {
    QRN_LOG_IN(LogValues{{"deviceName", deviceName}});
    // A microphone switch during a take would cut a gap into it.
    if (recordViewClass().getPlaybackShown())
        return;
    if (recording()) {
        if (videoSettingsViews)
            showDeviceInUse(videoSettingsViews->audioCombobox, captureSessionClass::noAudioName,
                            captureSessionClass().getSelectedAudioDeviceName());
        return;
    }
    captureSessionClass().changeAudio(deviceName);
}

void videoSettingsClass::clearClass() {
    QRN_LOG_IN();
    if (!videoSettingsViews || !videoSettingsViews->filterSettingsView)
        return;
    const auto subviews = videoSettingsViews->filterSettingsView->subviews();
    for (const auto& view : subviews)
        view->removeFromSuperview();
}

void videoSettingsClass::closeWindow() {
    QRN_LOG_IN();
    if (closeHandler)
        closeHandler();
    if (videoSettingsViewController)
        if (auto* window = videoSettingsViewController->window(); window && !window->isClosed())
            window->close();
    chooserWindow.reset();
}

void videoSettingsClass::showWindow() {
    QRN_LOG_IN();
    if (chooserWindow && !chooserWindow->isClosed()) {
        // The lit button closes the panel it shows; one minimised with the main window comes back.
        if (chooserWindow->isMiniaturized()) {
            chooserWindow->deminiaturize();
            chooserWindow->makeKeyAndOrderFront();
        } else {
            closeWindow();
        }
        return;
    }
    auto chooser = qrn::ui::SceneRegistry::instantiateViewController("videoSettings");
    if (!chooser)
        return;
    qrn::Rect frame(240, 240, chooserSize.width, chooserSize.height);
    auto main = mainWindowClass().getCurrentMainWindow();
    if (main && main->isClosed())
        main.reset();
    if (main)
        frame = windowFrameBeside(*main);
    chooserWindow = qrn::ui::Window::make(frame, qrn::ui::WindowStyleTitled | qrn::ui::WindowStyleClosable);
    chooserWindow->setTitle("Camera and Microphone");
    // It belongs to the window of the editor or the studio: a click there leaves it above.
    chooserWindow->setParentWindow(main);
    chooserWindow->setContentViewController(chooser);
    chooserWindow->makeKeyAndOrderFront();
}

qrn::Rect videoSettingsClass::windowFrameBeside(qrn::ui::Window& main) {
    using qrn::Rect;
    const Rect window = main.frame();
    const auto around = autocueDisplayController::surroundingsOf(main);
    const auto outer = [&](const Rect& r) {
        return r.inset(qrn::EdgeInsets{-around.frame.top, -around.frame.left, -around.frame.bottom,
                                       -around.frame.right});
    };
    // What the presenter must keep seeing: the studio's next-slide card, which is stepped
    // during a take, and the autocue.
    std::optional<Rect> card, autocue;
    recordViewClass studio;
    if (const auto& views = studio.getRecordingScreenViews(); studio.getRecordViewSelected() && views)
        if (const auto& parent = views->nextAssetParent;
            parent && parent->window() == &main && !parent->isHiddenOrHasHiddenAncestor())
            card = parent->windowRect().offsetBy(window.origin.x, window.origin.y);
    if (const auto shown = autocueDisplayController::current())
        if (qrn::ui::Window* w = shown->window(); w && !w->isClosed())
            autocue = outer(w->frame());
    // Below the window's title strip: beside the window on its left, then on its right, where
    // the screen has room; else inside it at its right-hand edge, then at its left-hand edge.
    constexpr double gap = 8;
    const double width = chooserSize.width, height = chooserSize.height;
    // The whole frame, its own title bar too, keeps below the title strip and its buttons.
    const double y = window.maxY() - 48 - around.frame.top - height;
    const double besideLeft = window.minX() - around.frame.left - gap - around.frame.right - width;
    const double besideRight = window.maxX() + around.frame.right + gap + around.frame.left;
    const std::vector<Rect> places{Rect(besideLeft, y, width, height), Rect(besideRight, y, width, height),
                                   Rect(window.maxX() - width - 4, y, width, height),
                                   Rect(window.minX() + 4, y, width, height)};
    // Not knowing the screen, only the window itself is sure to be on it.
    const Rect screen = around.screenArea.value_or(outer(window));
    const auto fits = [&](const Rect& place, bool clearOfAutocue) {
        const Rect o = outer(place);
        return screen.contains(o) && !(card && o.intersects(*card)) &&
               !(clearOfAutocue && autocue && o.intersects(*autocue));
    };
    // The card matters more than the autocue, which the presenter may have moved anywhere.
    for (bool clearOfAutocue : {true, false})
        for (const auto& place : places)
            if (fits(place, clearOfAutocue))
                return place;
    return places[2];
}

void videoSettingsClass::setVideoSettingsViewController(std::shared_ptr<videoSettingsController> controller) {
    videoSettingsViewController = std::move(controller);
}

std::shared_ptr<videoSettingsController> videoSettingsClass::getVideoSettingsViewController() {
    return videoSettingsViewController;
}

void videoSettingsClass::setVideoSettingsViews(std::optional<videoSettingsViewsGroup> views) {
    videoSettingsViews = std::move(views);
}

int videoSettingsClass::getComboBoxChangeCounter() {
    return comboBoxChangeCounter;
}

void videoSettingsClass::setComboBoxChangeCounter(int value) {
    comboBoxChangeCounter = value;
}

void videoSettingsClass::setConstructOrderedListHook(std::function<ViewPtr(const ViewPtr&, bool)> hook) {
    constructOrderedListHook = std::move(hook);
}

void videoSettingsClass::setEditingHighlightHook(std::function<void(bool)> hook) {
    editingHighlightHook = std::move(hook);
}

void videoSettingsClass::editingHighlightThroughHook(bool keep) {
    if (editingHighlightHook)
        editingHighlightHook(keep);
}

void videoSettingsClass::setCloseHandler(std::function<void()> handler) {
    closeHandler = std::move(handler);
}

void videoSettingsClass::resetForTesting() {
    videoSettingsViewController.reset();
    videoSettingsViews.reset();
    comboBoxChangeCounter = 0;
    viewIsLoaded = false;
    chooserWindow.reset();
    closeHandler = nullptr;
    constructOrderedListHook = nullptr;
    editingHighlightHook = nullptr;
}
