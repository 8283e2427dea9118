// The selection overlay around the selected layer or the camera picture, its crop appearance,
// and the original rectangles of an imported project.
#include "Controller/Editing/Preview/previewLayerClass.h"

#include <cmath>

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "platform/ui/view.h"

namespace {

constexpr double overlayIconSize = 12.0;

bool usable(double w, double h) {
    return w > 0 && h > 0 && std::isfinite(w) && std::isfinite(h);
}

// The preview clips what lies outside it, handles included: an unturned overlay that would
// reach past the preview's edge is kept inside it, so that every handle shows and takes
// presses (a layer filling the preview puts its handles just inside the corners).
qrn::Rect keptInside(const qrn::Rect& overlay, const qrn::Rect& preview, double handle) {
    const double left = std::max(overlay.minX(), preview.minX());
    const double bottom = std::max(overlay.minY(), preview.minY());
    const double right = std::min(overlay.maxX(), preview.maxX());
    const double top = std::min(overlay.maxY(), preview.maxY());
    // Too little of the layer shows for its handles: they stay where they belong.
    if (right - left < 2 * handle || top - bottom < 2 * handle)
        return overlay;
    return qrn::Rect(left, bottom, right - left, top - bottom);
}

} // namespace

void previewLayerClass::positionAndResizeOverlay(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer, bool setPosition) {
    QRN_LOG_IN(LogValues{{"setPosition", setPosition}});
    const auto resolved = layerAssetIndexAndVideoSelectedParameterValues(layer);
    std::vector<double> r;
    if (resolved.videoSelected)
        r = getVideoOriginSizeArray();
    else if (resolved.layerIndex) {
        const auto& frames = layerRows().frames;
        const size_t a = size_t(resolved.assetIndex), l = size_t(*resolved.layerIndex);
        if (a >= frames.size() || l >= frames[a].size())
            return;
        r = frames[a][l];
    } else {
        return;
    }
    auto overlay = getSuperviewOfTaggedPreviewView();
    if (!overlay || r.size() < 4)
        return;
    overlay->setHidden(false);
    double x = r[0], y = r[1], w = r[2], h = r[3];
    if (resolved.videoSelected && getVideoCropState()) {
        const auto [size, origin] = getVideoCropSizeAndOrigin();
        x += w * origin.x / 100;
        y += h * origin.y / 100;
        w = w * size.width / 100;
        h = h * size.height / 100;
    }
    const double S = overlayIconSize;
    double turn = 0;
    if (!resolved.videoSelected && resolved.layerIndex) {
        const auto& rotations = layerRows().rotations;
        const size_t a = size_t(resolved.assetIndex), l = size_t(*resolved.layerIndex);
        if (a < rotations.size() && l < rotations[a].size())
            turn = rotations[a][l];
    }
    const auto configuration = getConfiguration();
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    if (setPosition) {
        qrn::Rect frame(x - S / 2, y - S / 2, w + S, h + S);
        if (preview && turn == 0)
            frame = keptInside(frame, preview->bounds(), S);
        overlay->setFrame(frame);
    } else
        overlay->setFrameSize({w + S, h + S});
}

void previewLayerClass::cropOverlay(bool cropOn) {
    QRN_LOG_IN(LogValues{{"cropOn", cropOn}});
    const auto overlay = getSuperviewOfTaggedPreviewView();
    const auto configuration = getConfiguration();
    if (!overlay || !configuration)
        return;
    const qrn::Colour colour =
        cropOn ? qrn::Colour{0.0, 0.6196, 0.8863, 1.0} : qrn::Colour{1.0, 0.7647, 0.0, 0.8};
    if (auto frame = configuration->layerContainerView->viewWithTag(-4))
        if (auto frameView = frame->superview())
            frameView->setHidden(!cropOn);
    if (!overlay->subviews().empty())
        overlay->subviews()[0]->layer()->setBorderColour(colour);
    if (getVideoLayerSelected())
        positionAndResizeOverlay(std::nullopt, true);
}

void previewLayerClass::convertLayerOriginalPosSizeArrayToPreviewViewBounds() {
    QRN_LOG_IN(std::nullopt);
    const auto configuration = getConfiguration();
    const auto imported = getMainPreviewViewArrayFromImport();
    // Without the rectangle the project was saved in (it failed to load) there is nothing to
    // convert from.
    if (!configuration || !configuration->parentPreviewView || !imported || imported->size() < 4)
        return;
    const qrn::Rect B = configuration->parentPreviewView->bounds();
    const double pw = (*imported)[2], ph = (*imported)[3];
    if (!usable(B.size.width, B.size.height) || !usable(pw, ph))
        return;
    // Originals are stored in the saved preview's coordinates, like the frames: B / P brings
    // them into this preview's.
    const double fx = B.size.width / pw, fy = B.size.height / ph;
    auto originals = getLayerOriginalPosSize();
    for (auto& row : originals)
        for (auto& o : row)
            if (o.size() >= 4)
                o[0] *= fx, o[1] *= fy, o[2] *= fx, o[3] *= fy;
    setLayerOriginalPosSize(std::move(originals));
    // The camera rectangle was stored in the same coordinates as the layers (the studio's
    // larger picture, a bigger window): it is brought into this preview with them, or it
    // would keep its stored size here and again be refitted from this size later.
    auto camera = getVideoOriginSizeArray();
    if (camera.size() >= 4 && (fx != 1 || fy != 1)) {
        camera[0] *= fx, camera[1] *= fy, camera[2] *= fx, camera[3] *= fy;
        setVideoOriginSizeArray(camera);
        resizeAndPositionLayersClass().resizeAndPositionVideo(getVideoLayerView(), B);
    }
}
