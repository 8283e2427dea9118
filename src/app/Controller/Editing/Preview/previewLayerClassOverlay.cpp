// The selection overlay around the selected layer or the camera picture, its crop appearance,
// and the original rectangles of an imported project.
#include "Controller/Editing/Preview/previewLayerClass.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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

// A turned overlay shows its two handles at the layer's right-hand corners, turned about the
// layer's centre. When either would lie outside the preview (a large or a turned layer near
// an edge), the overlay is drawn smaller about the centre (moved inside first when the centre
// itself is out) until both handles show whole. The handles stay on the layer's diagonals, so
// turning by them feels the same; a press on one notes where it stands (noteHandleOffset).
qrn::Rect keptInsideTurned(const qrn::Rect& layer, const qrn::Rect& preview, double turn, double handle) {
    const qrn::Rect unchanged(layer.origin.x - handle / 2, layer.origin.y - handle / 2,
                              layer.size.width + handle, layer.size.height + handle);
    const double cs = std::cos(turn), sn = std::sin(turn);
    // A handle turns with the overlay: half its turned square's width from the edge.
    const double margin = handle / 2 * (std::abs(cs) + std::abs(sn));
    const double left = preview.minX() + margin, right = preview.maxX() - margin;
    const double bottom = preview.minY() + margin, top = preview.maxY() - margin;
    if (!(right > left) || !(top > bottom))
        return unchanged;
    const qrn::Point c = layer.center();
    const qrn::Point kept{std::clamp(c.x, left, right), std::clamp(c.y, bottom, top)};
    const double hw = layer.size.width / 2, hh = layer.size.height / 2;
    double k = 1;
    for (const double sy : {1.0, -1.0}) {
        const double vx = cs * hw - sn * sy * hh, vy = sn * hw + cs * sy * hh;
        if (vx > 0)
            k = std::min(k, (right - kept.x) / vx);
        else if (vx < 0)
            k = std::min(k, (left - kept.x) / vx);
        if (vy > 0)
            k = std::min(k, (top - kept.y) / vy);
        else if (vy < 0)
            k = std::min(k, (bottom - kept.y) / vy);
    }
    k = std::max(k, 0.0);
    if (k >= 1 && kept == c)
        return unchanged;
    const double w = layer.size.width * k, h = layer.size.height * k;
    return qrn::Rect(kept.x - w / 2 - handle / 2, kept.y - h / 2 - handle / 2, w + handle, h + handle);
}

} // namespace

void previewLayerClass::noteHandleOffset(const qrn::ui::View& handle, int handleTag) {
    auto& state = getInteractionState();
    state.handleOffset = {};
    state.handleTurnOffset = 0;
    const auto overlay = getSuperviewOfTaggedPreviewView();
    const auto configuration = getConfiguration();
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    // Only a handle of the shown overlay stands for a corner of the selection.
    if (!overlay || overlay->isHidden() || handle.superviewPointer() != overlay.get() || !preview ||
        (handleTag != -1 && handleTag != -2))
        return;
    std::vector<double> r;
    double turn = 0;
    if (getVideoLayerSelected()) {
        // The crop window's handle works by the mouse's travel alone.
        if (getVideoCropState())
            return;
        r = getVideoOriginSizeArray();
    } else if (getSelectedLayer()) {
        const int a = getSelectedAssetIndex(), l = getSelectedLayerIndex(false);
        const auto& rows = layerRows();
        if (a < 0 || l < 0 || size_t(a) >= rows.frames.size() || size_t(l) >= rows.frames[size_t(a)].size())
            return;
        r = rows.frames[size_t(a)][size_t(l)];
        turn = rows.rotations[size_t(a)][size_t(l)];
    }
    if (r.size() < 4)
        return;
    const qrn::Point shown =
        preview->convertPointFromView(handle.convertPointToView(handle.bounds().center(), nullptr), nullptr);
    const qrn::Point c{r[0] + r[2] / 2, r[1] + r[3] / 2};
    if (handleTag == -2) {
        // The corner the resize handle belongs to: the top right one, turned with the layer.
        const double hw = r[2] / 2, hh = r[3] / 2;
        const qrn::Point corner{c.x + std::cos(turn) * hw - std::sin(turn) * hh,
                                c.y + std::sin(turn) * hw + std::cos(turn) * hh};
        state.handleOffset = {corner.x - shown.x, corner.y - shown.y};
    } else if (std::hypot(shown.x - c.x, shown.y - c.y) > 0) {
        // The turn a press where the handle shows would give, against the layer's own.
        const double shownAngle = std::atan2(shown.y - c.y, shown.x - c.x);
        const double cornerAngle = std::atan2(-r[3] / 2, r[2] / 2) + turn;
        state.handleTurnOffset = std::remainder(cornerAngle - shownAngle, 2 * std::numbers::pi);
    }
}

void previewLayerClass::placeOverlayOn(const layerAssetIndexAndVideoSelectedArray& address, double turn) {
    auto overlay = getSuperviewOfTaggedPreviewView();
    if (!overlay)
        return;
    rotateLayer(*overlay, 0);
    positionAndResizeOverlay(address, true);
    rotateLayer(*overlay, turn);
}

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
        else if (preview)
            frame = keptInsideTurned(qrn::Rect(x, y, w, h), preview->bounds(), turn, S);
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
