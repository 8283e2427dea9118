// Fitting the camera view and every layer view to the recording view.
#include "Controller/Recording/recordViewClass.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Recording/recordViewClassState.h"
#include "platform/ui/view.h"

using recordViewModule::globals;

void recordViewClass::resizeVideoAndLayersAfterInit(bool video) {
    QRN_LOG_IN(LogValues{{"video", video}});
    auto& g = globals();
    (video ? g.videoReadyForResize : g.layersReadyForResize) = true;
    if (!g.videoReadyForResize || !g.layersReadyForResize)
        return;
    recordViewModule::afterForThisStudio(0.1, [] {
        if (auto view = recordViewClass().getRecordingView())
            recordViewClass().resizeAndPositionLayers(true, view->bounds());
        recordViewModule::afterForThisStudio(0.1, [] {
            if (auto view = recordViewClass().getRecordingView())
                recordViewClass().resizeAndPositionLayers(false, view->bounds());
        });
    });
}

void recordViewClass::resizeAndPositionLayers(bool video, const qrn::Rect& bounds) {
    QRN_LOG_IN(LogValues{{"video", video}, {"width", bounds.width()}, {"height", bounds.height()}});
    auto& g = globals();
    const auto recordingView = getRecordingView();
    if (!g.recordViewSelected || !recordingView)
        return;
    // The window may change size as the studio opens, before it has taken the project's assets
    // and borrowed their layer views: a refit then would move the fitting bounds without the
    // layers. The refit after loading fits them from where they were to the picture as it is.
    if (g.ASSET_ARRAY != previewLayerClass().getAssetArray())
        return;
    // While an export draws the studio's layers on its own threads nothing may move them; the
    // refit waits until they are back.
    if (captureSessionClass().getLayersLent()) {
        captureSessionClass().refitWhenLayersComeBack();
        return;
    }
    resizeAndPositionLayersClass fitting;
    // The camera first: fitting the layers stores the bounds that the camera is fitted from.
    if (video)
        fitting.resizeAndPositionVideo(g.videoView, bounds);
    fitting.resizeAndPositionLayers(recordingView, g.ASSET_ARRAY, g.LAYER_ARRAY, bounds);
}

qrn::Rect recordViewClass::returnNextAssetPreviewBounds() {
    const auto& views = globals().recordingScreenViews;
    return views && views->nextAssetPreview ? views->nextAssetPreview->bounds() : qrn::Rect();
}
