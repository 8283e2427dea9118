// The preview's re-layout when its size changes, the debounced rebuild of the hit paths that
// follows it, and the camera picture's crop switch.
#include "Controller/Editing/editViewClass.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/view.h"

namespace {

// Identifies the newest re-layout: a live window resize makes many, and only the last one's
// path rebuild runs.
qrn::GenerationCounter layerPathsCounter{10000};

} // namespace

void editViewClass::resizeAndPositionLayers(bool resizeVideo) {
    QRN_LOG_IN(LogValues{{"resizeVideo", resizeVideo}});
    const auto parentPreviewView = getParentPreviewView();
    const auto dragView = getDragView();
    if (!parentPreviewView || !dragView)
        return;
    previewLayerClass model;
    resizeAndPositionLayersClass fitting;
    const qrn::Rect bounds = parentPreviewView->bounds();
    if (resizeVideo)
        fitting.resizeAndPositionVideo(model.getVideoLayerView(), bounds);
    // The dashed frame follows the camera view whether or not it shows.
    stripedBorderFrameChange(std::nullopt, std::nullopt);
    fitting.resizeAndPositionLayers(dragView, model.getAssetArray(), model.getLayerArrayReference(), bounds);

    if (model.getVideoLayerSelected()) {
        model.positionAndResizeOverlay(std::nullopt, true);
    } else if (model.getSelectedLayer()) {
        // The overlay is framed unrotated, then turned like the layer it sits on.
        if (auto overlay = model.getSuperviewOfTaggedPreviewView()) {
            model.rotateLayer(*overlay, 0.0);
            model.positionAndResizeOverlay(std::nullopt, true);
            const auto rotations = model.getLayerRotateArray();
            const size_t a = size_t(model.getSelectedAssetIndex());
            const int l = model.getSelectedLayerIndex(false);
            if (a < rotations.size() && l >= 0 && size_t(l) < rotations[a].size())
                model.rotateLayer(*overlay, rotations[a][size_t(l)]);
        }
    }

    const int check = layerPathsCounter.increment();
    afterOnThisScreen(0.1, [check] { editViewClass().updateLayerPaths(check); });
}

void editViewClass::updateLayerPaths(int layerPathsCheck) {
    QRN_LOG_IN(LogValues{{"layerPathsCheck", layerPathsCheck}});
    if (!layerPathsCounter.isCurrent(layerPathsCheck))
        return;
    previewLayerClass model;
    model.createOrUpdateLayerPath(layerAssetIndexAndVideoSelectedArray{true, qrn::Value(), qrn::Value()},
                                  false, 0, true);
    model.rebuildAllLayerPaths();
}

int editViewClass::getLayerPathsCounter() {
    return layerPathsCounter.value();
}

void editViewClass::setLayerPathsCounter(int value) {
    layerPathsCounter.set(value);
}

void editViewClass::videoCroppingEnabled() {
    QRN_LOG_IN(std::nullopt);
    previewLayerClass model;
    if (!model.getVideoLayerSelected())
        return;
    const bool state = !model.getVideoCropState();
    model.setVideoCropState(state);
    model.cropOverlay(state);
}
