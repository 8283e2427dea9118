// Opening the studio, borrowing the editing screen's layer views, emptying it and leaving it.
#include "Controller/Recording/recordViewClass.h"

#include <cmath>
#include <limits>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClassState.h"
#include "Model/globalAppSettingsClass.h"
#include "View/Recording/recordViewController.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

using recordViewModule::globals;

void recordViewClass::initialiseClass() {
    QRN_LOG_IN();
    auto& g = globals();
    if (!g.recordingScreenViews)
        return;
    const auto& v = *g.recordingScreenViews;
    g.videoReadyForResize = false;
    g.layersReadyForResize = false;
    v.videoLoadingIcon->setHidden(true);
    v.videoLoadingIcon->stopAnimation();
    v.videoLabel->layer()->setZPosition(std::numeric_limits<double>::infinity());
    flipRecordIcon(false);
    v.playbackView->setHidden(true);
    // The preview operations act on the recording view from now on, and capture shows its
    // spinner and messages here.
    editViewClass(std::nullopt, v.recordingView, nullptr, nullptr);
    captureSessionClass().setCaptureStatusViews(v.videoLoadingIcon, v.videoLabel);
    // The studio places every view itself when the window changes size.
    v.recordingView->setAutoresizesSubviews(false);
    // A camera picture then costs the filtered camera and the kept pictures of the layers below
    // and above it, not every layer drawn again.
    v.recordingView->layer()->setCachesSublayers(true);
}

void recordViewClass::videoPreview() {
    QRN_LOG_IN();
    auto& g = globals();
    if (!g.recordingScreenViews)
        return;
    const auto& recordingView = g.recordingScreenViews->recordingView;
    captureSessionClass capture;
    capture.permission(false);
    auto frame = previewLayerClass().getVideoOriginSizeArray();
    if (frame.size() < 4 || !std::isfinite(frame[0] + frame[1] + frame[2] + frame[3])) {
        QRN_LOG_ERROR("VIDEO_ORIGIN_SIZE_ARRAY needs four numbers");
        frame = {0, 0, recordingView->bounds().width(), recordingView->bounds().height()};
    }
    g.videoView->setFrame(qrn::Rect(frame[0], frame[1], frame[2], frame[3]));
    // Without the chosen camera the view stays hidden and empty; the rest of the studio works.
    const bool camera = capture.videoDeviceName(capture.getSelectedVideoDeviceName()).has_value();
    g.videoView->setHidden(!camera);
    if (camera)
        capture.videoPreviewLayer(*g.videoView, capture.session());
    orderLayersClass order;
    order.addParentOrderViews(recordingView, true);
    recordingView->addSubview(g.videoView);
    order.addParentOrderViews(recordingView, false);
    resizeVideoAndLayersAfterInit(true);
    previewLayerClass().cropVideo(*g.videoView);
}

void recordViewClass::loadContent() {
    QRN_LOG_IN();
    auto& g = globals();
    if (!g.recordingScreenViews)
        return;
    const auto& v = *g.recordingScreenViews;
    v.playbackView->setHidden(true);
    removePlayerFromPlayerView();
    // The studio draws, records and exports the layers' pictures: none may still be on its way.
    previewLayerPendingPictures::deliverAllNow();
    previewLayerClass model;
    g.LAYER_ARRAY = model.getLayerArray();
    g.ASSET_ARRAY = model.getAssetArray();
    // The sticky asset and the first asset show; the others wait hidden for their step.
    orderLayersClass().addLayersInOrderToPreview(editViewClass().getBackgroundImageView(std::nullopt),
                                                 v.recordingView, g.ASSET_ARRAY, g.LAYER_ARRAY, 1);
    // The strip's thumbnails show the coming assets here until the editing screen takes them
    // back, fitted to the studio's card.
    editViewClass edit;
    auto thumbnails = edit.getAllAssetPreviewLayers();
    edit.removeAllLayersFromAssetPreviews();
    resizeAndPositionLayersClass().resizeAndPositionAssetPreviewLayers(
        thumbnails, edit.getAssetPreviewBounds(), v.nextAssetPreview->bounds(), std::nullopt, std::nullopt);
    g.ASSET_PREVIEW_LAYER_ARRAY = std::move(thumbnails);
    assetPreviews();
    // The first asset is on show, so the next step brings the second, whatever came before.
    g.nextAssetIndex = 2;
    fillNextAssetPreview(g.nextAssetIndex);
    resizeVideoAndLayersAfterInit(false);
}

void recordViewClass::clearClass() {
    QRN_LOG_IN();
    // A take still under way stops with the studio and stays in the project folder, as does a
    // movie on show; the layers it lent come back first.
    setTakeAside();
    auto& g = globals();
    if (g.clearHandler)
        g.clearHandler();
    if (g.recordingScreenViews && g.recordingScreenViews->recordingView) {
        const auto& v = *g.recordingScreenViews;
        const auto subviews = v.recordingView->subviews();
        for (const auto& view : subviews)
            if (view != v.videoLoadingIcon && view != v.videoLabel)
                view->removeFromSuperview();
    }
    g.videoView = qrn::ui::View::make();
    g.ASSET_ARRAY = {"0"};
    g.LAYER_ARRAY = {{}};
    g.BACKGROUND_COLOUR_ARRAY.clear();
    g.nextAssetIndex = 1;
}

void recordViewClass::dismissView() {
    QRN_LOG_IN();
    auto& g = globals();
    const auto flags = getRecordingFlags();
    if (g.recordingInProgressStandIn || flags.startedRecording || flags.startedRecordingTimer)
        return;
    if (g.dismissHandler) {
        g.dismissHandler();
        g.recordViewSelected = false;
        return;
    }
    if (!g.recordingScreenViews || !g.presentedRecordViewController)
        return;
    globalAppSettingsClass settings;
    settings.setIsMainViewControllerLoading(false);
    closeWindowsOrPanelClass().closeColourPanel();
    autocueDisplayClass().closeWindow();
    // The editing screen fits its layers back from the recording view's bounds.
    resizeAndPositionLayersClass().setBounds(g.recordingScreenViews->recordingView->bounds());
    settings.setJustMovedBetweenOrReloadedScreens(true);
    const auto presenting = g.recordingScreenViews->presentingViewController;
    if (presenting)
        presenting->dismiss(*g.presentedRecordViewController);
}

void recordViewClass::loadEditingViewThroughHook() {
    auto& g = globals();
    g.recordViewSelected = false;
    if (g.loadEditingViewHook) {
        g.loadEditingViewHook();
        return;
    }
    // Until the editing screen takes its views back itself: every container and layer view goes
    // back into the drop view (the selected asset shown), the camera view takes the picture
    // again and everything is fitted from the recording view to the preview.
    const auto recordingView = recordViewClass().getRecordingView();
    editViewClass edit;
    const auto dropView = edit.getDragView();
    if (!recordingView || !dropView || g.ASSET_ARRAY.empty() || g.LAYER_ARRAY.empty())
        return;
    orderLayersClass().addLayersInOrderToPreview(recordingView, dropView, g.ASSET_ARRAY, g.LAYER_ARRAY, 2);
    previewLayerClass().reloadVideoPreview(false);
    edit.resizeAndPositionLayers(true);
}
