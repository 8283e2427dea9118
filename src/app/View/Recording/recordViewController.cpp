#include "View/Recording/recordViewController.h"

#include <cmath>

#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/mainWindowController.h"
#include "View/Global/pictureAreaView.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Global/screenWindowAdapters.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/button.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"

namespace {

using namespace qrn::graphics;

// The screen's parts in the root view (y up): the picture with the strip of coming assets
// beside it, the record button and the elapsed time below.
const qrn::Rect rootFrame(0, 0, 1280, 762);
const qrn::Rect recordingFrame(10, 190, 992, 558);
const qrn::Rect nextAssetParentFrame(1012, 190, 258, 558);
const qrn::Rect nextAssetPreviewFrame(9, 47, 240, 135);
const qrn::Rect recordButtonFrame(481, 115, 50, 50);
const qrn::Rect timerFrame(541, 125, 160, 30);

qrn::Colour named(const char* name) {
    return qrn::namedColour(name, true).value_or(qrn::Colour::black());
}

std::shared_ptr<qrn::ui::TextView> label(const qrn::Rect& frame, double size) {
    auto view = qrn::ui::TextView::make(frame);
    view->setEditable(false);
    view->setSelectable(false);
    view->setDrawsBackground(false);
    qrn::TextAttributes attributes;
    if (auto font = qrn::fontNamed("DejaVu Sans", size))
        attributes.font = *font;
    attributes.foregroundColour = named("text_colour_dark_dark");
    view->setTypingAttributes(attributes);
    view->setDefaultTextColour(named("text_colour_dark_dark"));
    return view;
}

// Runs fn later only while this studio is still the one presented and the project the same.
void afterForStudio(const std::shared_ptr<qrn::ui::ViewController>& studio, double seconds,
                    std::function<void()> fn) {
    std::weak_ptr<qrn::ui::ViewController> weak = studio;
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(seconds, [weak, project, fn = std::move(fn)] {
        if (!weak.lock() || project != persistentDataStorageClass().getProjectDirectory())
            return;
        fn();
    });
}

} // namespace

void recordViewController::loadView() {
    auto root = std::make_shared<pictureAreaView>(rootFrame);
    mainView = root;
    mainView->layer()->setBackgroundColour(named("background_colour_dark_dark"));
    mainView->setAutoresizingMask(WidthSizable | HeightSizable);

    recordingView = qrn::ui::makeView<recordPictureView>(recordingFrame);
    recordingView->layer()->setMasksToBounds(true);
    recordingView->layer()->setBackgroundColour(qrn::Colour::black());
    // The filtered camera under its layers is drawn on a worker, so the autocue keeps its pace.
    recordingView->layer()->setDrawnOffMainThread(true);
    videoLoadingIcon = qrn::ui::ProgressIndicator::make(
        qrn::Rect(recordingFrame.width() / 2 - 8, recordingFrame.height() / 2 - 8, 16, 16));
    videoLoadingIcon->setDisplayedWhenStopped(false);
    videoLabel = pictureAreaView::makeMessageLabel(qrn::Rect(0, 0, recordingFrame.width(), 18));
    recordingView->addSubview(videoLoadingIcon);
    recordingView->addSubview(videoLabel);

    playbackView = qrn::ui::View::make(recordingFrame);
    playbackView->setHidden(true);

    recordButton = qrn::ui::Button::make(recordButtonFrame, qrn::ui::ButtonType::image);
    recordButton->setBordered(false);
    recordButton->setAutoresizingMask(FlexibleMinXMargin | FlexibleMaxXMargin | FlexibleMaxYMargin);
    std::weak_ptr<qrn::ui::ViewController> weak = weak_from_this();
    recordButton->setAction([weak](qrn::ui::Control&) {
        if (auto studio = std::static_pointer_cast<recordViewController>(weak.lock()))
            studio->startRecording();
    });
    timerTextView = label(timerFrame, 20);
    timerTextView->setString("00:00:00");
    timerTextView->setAutoresizingMask(FlexibleMinXMargin | FlexibleMaxXMargin | FlexibleMaxYMargin);

    nextAssetParent = qrn::ui::View::make(nextAssetParentFrame);
    nextAssetParent->setAutoresizingMask(FlexibleMinXMargin | HeightSizable);
    nextAssetPreview = qrn::ui::makeView<recordPreviewView>(nextAssetPreviewFrame);
    nextAssetNumberOne = label(qrn::Rect(9, 10, 40, 26), 16);
    nextAssetNumberTwo = label(qrn::Rect(49, 10, 120, 26), 16);
    nextAssetParent->addSubview(nextAssetPreview);
    nextAssetParent->addSubview(nextAssetNumberOne);
    nextAssetParent->addSubview(nextAssetNumberTwo);

    for (const auto& view : std::vector<std::shared_ptr<qrn::ui::View>>{
             recordingView, playbackView, recordButton, timerTextView, nextAssetParent})
        mainView->addSubview(view);
    // The picture and the finished take's playback keep the movie's 16:9 shape, centred in the
    // space the window gives them, so the layers keep their places on the camera picture; the
    // busy icon stays in the picture's middle and the message along its foot. The record button
    // stays centred under the picture with the time beside it: margins shared out with the
    // window's width would slide the time over the button in a narrower window.
    std::weak_ptr<qrn::ui::View> picture = recordingView, playback = playbackView, icon = videoLoadingIcon,
                                 message = videoLabel, button = recordButton, timer = timerTextView;
    root->setPreviewArea(
        recordingFrame, [picture, playback, icon, message, button, timer](const qrn::Rect& frame) {
            for (const auto& weakView : {picture, playback})
                if (auto view = weakView.lock())
                    view->setFrame(frame);
            if (auto view = icon.lock())
                view->setFrameOrigin({frame.width() / 2 - 8, frame.height() / 2 - 8});
            if (auto view = message.lock())
                view->setFrame(qrn::Rect(0, 0, frame.width(), 18));
            auto record = button.lock();
            if (!record)
                return;
            qrn::Rect recordFrame = record->frame();
            recordFrame.origin.x = std::round(frame.midX() - recordFrame.width() / 2);
            record->setFrame(recordFrame);
            if (auto time = timer.lock()) {
                qrn::Rect timeFrame = time->frame();
                timeFrame.origin.x = recordFrame.maxX() + (timerFrame.minX() - recordButtonFrame.maxX());
                time->setFrame(timeFrame);
            }
        });
    setView(mainView);
}

void recordViewController::viewWillAppear() {
    QRN_LOG_IN();
    mainWindowController::makeScreenTheWindowDelegate(*this);
    editViewClass().setEditViewSelected(false);
    recordViewClass studio;
    studio.setRecordViewSelected(true);
    // A return from hiding or from the Dock keeps the studio as it is: setting it up again would
    // show the record button idle in the middle of a take and hide the playback area.
    if (studio.getViewLoaderObject() || studio.getRecordViewController().get() == this)
        return;
    // A marker left by a studio that was minimised and then left is not this one's.
    studio.setRecordViewController(nullptr);
    auto* presenting = presentingViewController();
    if (!presenting) {
        QRN_LOG_ERROR("The studio needs the editing screen that presents it");
        return;
    }
    studio.setRecordingScreenViews(
        recordingScreenViewsGroup{mainView, presenting->shared_from_this(), recordingView, videoLoadingIcon,
                                  videoLabel, playbackView, recordButton, timerTextView, nextAssetParent,
                                  nextAssetPreview, nextAssetNumberOne, nextAssetNumberTwo});
    studio.initialiseClass();
    studio.setPresentedRecordViewController(
        std::static_pointer_cast<recordViewController>(shared_from_this()));
}

void recordViewController::viewDidAppear() {
    QRN_LOG_IN();
    // Our windows have no tabs, so there is no tabbing to forbid.
    mainWindowController::makeScreenTheWindowDelegate(*this);
    recordViewClass studio;
    if (!studio.getViewLoaderObject()) {
        if (studio.getRecordViewController()) {
            afterForStudio(shared_from_this(), 0.01,
                           [] { recordViewClass().setRecordViewController(nullptr); });
        } else {
            controllerMainViewHost host(*this);
            globalAppSettingsClass settings(&host);
            if (auto accessory = viewLoaderController::getTitleBarAccessory())
                accessory->loadView(false);
            studio.videoPreview();
            studio.loadContent();
            mainMenuAppearance().studioMenu();
        }
    }
    afterForStudio(shared_from_this(), 0.01, [] { recordViewClass().clearViewLoaderObject(); });
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreensToFalseAfterDelay();
    if (auto* w = window(); w && w->isKeyWindow())
        persistentDataStorageClass().setActiveWindow("studioView");
}

void recordViewController::viewWillDisappear() {
    QRN_LOG_IN();
    mainMenuAppearance menus;
    menus.startUpMenu();
    menus.editorMenu();
    afterForStudio(shared_from_this(), 0.5, [] {
        recordViewClass studio;
        if (studio.getViewLoaderObject() || studio.getRecordViewController() ||
            !studio.getRecordViewSelected())
            return;
        studio.setRecordViewSelected(false);
        studio.clearClass();
    });
}

void recordViewController::windowDidBecomeKey(qrn::ui::Window&) {
    persistentDataStorageClass().setActiveWindow("studioView");
}

void recordViewController::windowDidMove(qrn::ui::Window&) {
    controllerMainViewHost host(*this);
    if (!globalAppSettingsClass().setMainViewRect(&host))
        persistentDataStorageClass().exportData(false);
}

void recordViewController::windowDidResize(qrn::ui::Window&) {
    controllerMainViewHost host(*this);
    // The frame restored when the studio opens comes with a few notifications of its own: they
    // do not save the frame, but the picture has its new size and the layers follow it.
    const bool restoring = globalAppSettingsClass().setMainViewRect(&host);
    recordViewClass().resizeAndPositionLayers(true, recordingView->bounds());
    if (!restoring)
        persistentDataStorageClass().exportData(false);
}

void recordViewController::windowWillMiniaturize(qrn::ui::Window&) {
    recordViewClass().setRecordViewController(
        std::static_pointer_cast<recordViewController>(shared_from_this()));
}

void recordViewController::windowDidDeminiaturize(qrn::ui::Window&) {
    // Our windows come back from the Dock without appearing again, so the markers that
    // minimising and hiding set are cleared here, as an appearance would.
    afterForStudio(shared_from_this(), 0.01, [] {
        recordViewClass studio;
        studio.setRecordViewController(nullptr);
        studio.clearViewLoaderObject();
    });
}

void recordViewController::windowWillClose(qrn::ui::Window&) {
    QRN_LOG_IN();
    screenTitleBarAccessoryViewController::clearCachedTitleBars();
    closeWindowsOrPanelClass().closeAllExternalWindows();
    closeWindowsOrPanelClass().clearClasses(true);
    recordViewClass studio;
    studio.setRecordViewSelected(false);
    // The next editing screen starts on the symbols pane.
    settingsViewClass().setSelectedViewNumber(0);
    studio.setRecordViewController(nullptr);
    studio.clearViewLoaderObject();
    mainWindowClass().setAWindowIsOpen(false);
    // The editing screen behind the studio goes with the window: the next one loads afresh.
    captureSessionClass().stopCaptureSession();
    viewLoaderClass().setViewLoaderController(nullptr);
    QRN_LOG_OUT();
}

void recordViewController::startRecording() {
    QRN_LOG_IN();
    recordViewClass().recordButtonPressed();
}

void recordPreviewView::mouseDown(const qrn::ui::Event&) {
    recordViewClass().selectNextAsset();
}

void recordPictureView::mouseDown(const qrn::ui::Event& e) {
    recordViewClass().layerHitTest(e);
}
