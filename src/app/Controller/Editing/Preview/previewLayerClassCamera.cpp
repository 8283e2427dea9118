// The camera view of the preview: building it between the z-order groups, showing and hiding
// it, selecting it and cropping its picture.
#include "Controller/Editing/Preview/previewLayerClass.h"

#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "platform/ui/view.h"

namespace {

bool isMarkerView(const qrn::ui::View& view) {
    if (view.subviews().empty())
        return false;
    const auto tag = view.subviews()[0]->tag();
    return tag && *tag <= -9 && *tag >= -13;
}

} // namespace

void previewLayerClass::reloadVideoPreview(bool resetVideoFrame) {
    QRN_LOG_IN(LogValues{{"resetVideoFrame", resetVideoFrame}});
    const auto configuration = getConfiguration();
    if (!configuration || !configuration->layerContainerView || !configuration->parentPreviewView)
        return;
    const auto& preview = configuration->layerContainerView;
    const auto old = getVideoLayerView();
    const auto oldMarker = preview->viewWithTag(-11);
    // A camera view that stands in the preview between its markers is replaced in place, so the
    // layer views around it keep their groups.
    const bool inPlace = !resetVideoFrame && oldMarker && old->superviewPointer() == preview.get();
    bool hidden = true;
    if (resetVideoFrame) {
        const auto frame = configuration->parentPreviewView->frame();
        setVideoOriginSizeArray({0, 0, frame.size.width, frame.size.height});
        // Whatever an earlier project left (its markers, its camera view) goes, so every marker
        // and the camera view stand in the preview exactly once.
        const auto subviews = preview->subviews();
        for (const auto& view : subviews)
            if (isMarkerView(*view) || view == old)
                view->removeFromSuperview();
    } else {
        hidden = old->isHidden();
    }

    auto r = getVideoOriginSizeArray();
    r.resize(4, 0);
    // A project saved before any camera picture was shown stores an empty frame; the camera
    // would stay invisible in it, so it fills the preview instead.
    if (!(r[2] > 0 && r[3] > 0)) {
        const auto frame = configuration->parentPreviewView->frame();
        r = {0, 0, frame.size.width, frame.size.height};
        setVideoOriginSizeArray(r);
    }
    auto video = qrn::ui::View::make(qrn::Rect(r[0], r[1], r[2], r[3]));
    video->setHidden(hidden);
    setVideoLayerView(video);

    orderLayersClass order;
    if (inPlace) {
        preview->addSubview(video, qrn::ui::Ordering::Above, old.get());
        old->removeFromSuperview();
    } else {
        if (old->superviewPointer())
            old->removeFromSuperview();
        const auto subviews = preview->subviews();
        for (const auto& view : subviews)
            if (isMarkerView(*view))
                view->removeFromSuperview();
        order.addParentOrderViews(preview, true);
        preview->addSubview(video);
        order.addParentOrderViews(preview, false);
    }
    // A camera picture on show keeps its title bar button lit, whatever cleared the icons
    // before (a pane switch, the studio, the previous project); a hidden one leaves it alone.
    if (!hidden)
        if (auto button = editScreenTitleBarController::getDisplayVideoButton();
            button && button->svgIconObj())
            button->svgIconObj()->keepChangedColour(true);
    captureSessionClass capture;
    capture.permission(false);
    if (capture.videoDeviceName(capture.getSelectedVideoDeviceName()))
        capture.videoPreviewLayer(*video, capture.session());
    cropVideo(*video);
    QRN_LOG_OUT(std::nullopt);
}

bool previewLayerClass::displayVideo() {
    QRN_LOG_IN(std::nullopt);
    const auto video = getVideoLayerView();
    if (video->isHidden()) {
        selectVideoLayer();
        video->setHidden(false);
        return true;
    }
    setVideoLayerSelected(false);
    if (auto overlay = getSuperviewOfTaggedPreviewView())
        overlay->setHidden(true);
    video->setHidden(true);
    return false;
}

void previewLayerClass::selectVideoLayer() {
    QRN_LOG_IN(LogValues{{"videoLayerSelected", getVideoLayerSelected()}});
    setDraggingLayer(true);
    highlightOfSelectedScrollViewLayer(0, getSelectedLayer());
    highlightOfSelectedScrollViewLayer(5, -8);
    // A second selection of the camera changes nothing but the row highlights.
    if (getVideoLayerSelected())
        return;
    setVideoLayerSelected(true);
    setSelectedLayer(std::nullopt);
    if (auto overlay = getSuperviewOfTaggedPreviewView()) {
        rotateLayer(*overlay, 0.0);
        positionAndResizeOverlay(std::nullopt, true);
        if (overlay->subviews().size() > 2)
            overlay->subviews()[2]->setHidden(true);
    }
    reloadSettingsPane();
}

void previewLayerClass::cropVideo(qrn::ui::View& videoView) {
    QRN_LOG_IN(std::nullopt);
    const auto& host = videoView.layer();
    if (!host || host->sublayers().empty() || host->sublayers()[0]->sublayers().empty())
        return;
    const auto& crop = host->sublayers()[0];
    const auto& picture = crop->sublayers()[0];
    const double W = videoView.frame().size.width, H = videoView.frame().size.height;
    const auto [size, origin] = getVideoCropSizeAndOrigin();
    crop->setFrame(
        qrn::Rect(origin.x * W / 100, origin.y * H / 100, size.width * W / 100, size.height * H / 100));
    picture->setFrame(qrn::Rect(-origin.x * W / 100, -origin.y * H / 100, W, H));
}
