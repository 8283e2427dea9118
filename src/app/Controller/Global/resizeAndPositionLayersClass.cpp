#include "Controller/Global/resizeAndPositionLayersClass.h"

#include <algorithm>
#include <cmath>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/image_view.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

namespace {

std::optional<qrn::Rect> fittingBounds;

qrn::Rect rectOf(const std::vector<double>& v) {
    return v.size() >= 4 ? qrn::Rect(v[0], v[1], v[2], v[3]) : qrn::Rect();
}

bool usable(const qrn::Rect& r) {
    return r.size.width > 0 && r.size.height > 0 && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}

// An image shown by a layer view is its last subview.
qrn::ui::View* imageViewOf(qrn::ui::View& holder) {
    if (holder.subviews().empty())
        return nullptr;
    return dynamic_cast<qrn::ui::ImageView*>(holder.subviews().back().get());
}

// The scaled geometry of one stored rectangle: what layerTransforms is given.
struct refit {
    qrn::Size scale;
    qrn::Rect change;
};

refit refitOf(const qrn::Rect& r, const qrn::Rect& oldBounds, const qrn::Rect& newBounds,
              qrn::Size viewSize) {
    const double W = newBounds.size.width, H = newBounds.size.height;
    const double oW = oldBounds.size.width, oH = oldBounds.size.height;
    const double w2 = r.size.width / oW * W, h2 = r.size.height / oH * H;
    const double dx = r.origin.x / oW * W - r.origin.x, dy = r.origin.y / oH * H - r.origin.y;
    return {{viewSize.width != 0 ? w2 / viewSize.width : 1, viewSize.height != 0 ? h2 / viewSize.height : 1},
            qrn::Rect(dx, dy, w2 - r.size.width, h2 - r.size.height)};
}

qrn::Rect grown(const qrn::Rect& r, const qrn::Rect& change) {
    return qrn::Rect(r.origin.x + change.origin.x, r.origin.y + change.origin.y,
                     r.size.width + change.size.width, r.size.height + change.size.height);
}

// Puts the backing layer of view at the centre of rect with the given transform.
void applyLayerGeometry(qrn::ui::View& view, const qrn::Rect& rect, const qrn::AffineTransform& transform) {
    auto& layer = *view.layer();
    layer.setAnchorPoint({0.5, 0.5});
    layer.setPosition(rect.center());
    layer.setTransform(transform);
}

} // namespace

void resizeAndPositionLayersClass::setBounds(const qrn::Rect& bounds) {
    QRN_LOG_IN(LogValues{{"width", bounds.size.width}, {"height", bounds.size.height}});
    if (!usable(bounds))
        return;
    fittingBounds = bounds;
}

std::optional<qrn::Rect> resizeAndPositionLayersClass::getBounds() {
    return fittingBounds;
}

void resizeAndPositionLayersClass::forgetBoundsForTesting() {
    fittingBounds.reset();
}

qrn::AffineTransform resizeAndPositionLayersClass::layerTransform(double angle, qrn::Size scale,
                                                                  const std::vector<bool>& flips) {
    auto t = qrn::AffineTransform::rotation(angle).scaled(scale.width, scale.height);
    if (!flips.empty() && flips[0])
        t.c = -t.c, t.d = -t.d;
    if (flips.size() > 1 && flips[1])
        t.a = -t.a, t.b = -t.b;
    return t;
}

void resizeAndPositionLayersClass::placeLayerView(qrn::ui::View& view, const qrn::Rect& rect, double angle,
                                                  const std::vector<bool>& flips, qrn::Size previewSize) {
    view.setFrame(rect);
    fitLayerContent(view, previewSize);
    view.layer()->setBounds(view.bounds());
    applyLayerGeometry(view, rect, layerTransform(angle, {1, 1}, flips));
}

void resizeAndPositionLayersClass::fitLayerContent(qrn::ui::View& view, qrn::Size previewSize) {
    const qrn::Rect inside = view.bounds();
    // The first subview is the layer's id marker; what the layer shows comes after it.
    for (size_t i = 1; i < view.subviews().size(); ++i) {
        auto& content = *view.subviews()[i];
        content.setFrame(inside);
        if (auto* text = dynamic_cast<qrn::ui::TextView*>(&content)) {
            if (!(previewSize.width > 0) || !(previewSize.height > 0))
                continue;
            const qrn::Size laidOut{inside.size.width * textReferenceWidth / previewSize.width,
                                    inside.size.height * textReferenceHeight / previewSize.height};
            text->setBoundsSize(laidOut);
            text->setMinSize(laidOut);
            text->setMaxSize(laidOut);
        } else if (!dynamic_cast<qrn::ui::ImageView*>(&content)) {
            // An animation: each frame fills it.
            for (const auto& frame : content.subviews())
                frame->setFrame(content.bounds());
        }
    }
}

void resizeAndPositionLayersClass::layerTransforms(const ViewPtr& layer, qrn::Point cgPoint, qrn::Size cgSize,
                                                   double angleR, const qrn::Rect& newRect,
                                                   std::optional<int> i, std::optional<int> k) {
    QRN_LOG_IN(LogValues{{"angleR", angleR}, {"scaleX", cgSize.width}, {"scaleY", cgSize.height}});
    previewLayerClass model;
    (void)cgPoint; // The translation only feeds an interim transform that step 4 replaces.
    if (!i || !k) {
        const qrn::Rect R = grown(rectOf(model.getVideoOriginSizeArray()), newRect);
        // Centred on the updated rectangle, so the picture covers what the model says.
        applyLayerGeometry(*layer, R, layerTransform(0, cgSize, model.getVideoIsFlippedArray()));
        model.setVideoTransformedSize(cgSize);
        model.setVideoTransformedOrigin({});
        model.setVideoOriginSizeArray({R.origin.x, R.origin.y, R.size.width, R.size.height});
        return;
    }
    auto frames = model.getLayerOriginSizeArray();
    auto sizes = model.getLayerTransformedSize();
    auto origins = model.getLayerTransformedOrigin();
    const qrn::Rect old = rectOf(frames[size_t(*i)][size_t(*k)]);
    const qrn::Rect R = grown(old, newRect);
    if (auto* image = imageViewOf(*layer)) {
        layer->layer()->setTransform({});
        layer->layer()->setFrame(old);
        image->setFrame(layer->bounds());
    }
    applyLayerGeometry(
        *layer, R, layerTransform(angleR, cgSize, model.getLayerIsFlippedArray()[size_t(*i)][size_t(*k)]));
    frames[size_t(*i)][size_t(*k)] = {R.origin.x, R.origin.y, R.size.width, R.size.height};
    sizes[size_t(*i)][size_t(*k)] = cgSize;
    origins[size_t(*i)][size_t(*k)] = {};
    model.setLayerOriginSizeArray(std::move(frames));
    model.setLayerTransformedSize(std::move(sizes));
    model.setLayerTransformedOrigin(std::move(origins));
}

void resizeAndPositionLayersClass::resizeAndPositionLayers(
    const ViewPtr& imageView, const std::vector<std::string>& assets,
    const std::vector<std::vector<std::string>>& layers, const qrn::Rect& bounds) {
    QRN_LOG_IN(LogValues{{"width", bounds.size.width}, {"height", bounds.size.height}});
    if (fittingBounds && usable(*fittingBounds) && usable(bounds) && imageView) {
        const qrn::Rect old = *fittingBounds;
        previewLayerClass model;
        // Read and written once for the whole refit: every layer of every asset changes.
        auto frames = model.getLayerOriginSizeArray();
        auto originals = model.getLayerOriginalPosSize();
        auto sizes = model.getLayerTransformedSize();
        auto origins = model.getLayerTransformedOrigin();
        const auto rotations = model.getLayerRotateArray();
        const auto flips = model.getLayerIsFlippedArray();
        const double fx = bounds.size.width / old.size.width, fy = bounds.size.height / old.size.height;
        for (size_t a = 0; a < assets.size() && a < layers.size(); ++a) {
            if (a != 0) {
                auto marker = imageView->viewWithTag(std::stoi(assets[a]) + 1);
                if (auto container = marker ? marker->superview() : nullptr)
                    container->setFrameSize(bounds.size);
            }
            for (size_t l = 0; l < layers[a].size(); ++l) {
                const auto holds = [&](const auto& table) { return a < table.size() && l < table[a].size(); };
                if (!holds(frames) || !holds(originals) || !holds(sizes) || !holds(origins) ||
                    !holds(rotations) || !holds(flips))
                    break;
                auto tagged = imageView->viewWithTag(std::stoi(layers[a][l]));
                auto view = tagged ? tagged->superview() : nullptr;
                // Every stored frame follows the new bounds, a layer without a view too: the
                // bounds stored below say what all of them are fitted to, and a frame left
                // behind would be scaled by the next refit as if it had followed.
                const qrn::Rect r = rectOf(frames[a][l]);
                const qrn::Rect R = grown(r, refitOf(r, old, bounds, {}).change);
                frames[a][l] = {R.origin.x, R.origin.y, R.size.width, R.size.height};
                sizes[a][l] = {1, 1};
                origins[a][l] = {};
                // Originals are in the same coordinates as the frames, so Revert still lands
                // where the layer started.
                if (originals[a][l].size() >= 4) {
                    auto& o = originals[a][l];
                    o[0] *= fx, o[1] *= fy, o[2] *= fx, o[3] *= fy;
                }
                // The stored frame is re-applied to the view at once: it takes the new size
                // as its frame, at scale 1.
                if (view)
                    placeLayerView(*view, R, rotations[a][l], flips[a][l], bounds.size);
            }
        }
        model.setLayerOriginSizeArray(std::move(frames));
        model.setLayerOriginalPosSize(std::move(originals));
        model.setLayerTransformedSize(std::move(sizes));
        model.setLayerTransformedOrigin(std::move(origins));
    }
    setBounds(bounds);
}

void resizeAndPositionLayersClass::resizeAndPositionVideo(const ViewPtr& videoView, const qrn::Rect& bounds) {
    QRN_LOG_IN(LogValues{{"width", bounds.size.width}, {"height", bounds.size.height}});
    if (!fittingBounds || !usable(*fittingBounds) || !usable(bounds) || !videoView)
        return;
    previewLayerClass model;
    const qrn::Rect r = rectOf(model.getVideoOriginSizeArray());
    const refit f = refitOf(r, *fittingBounds, bounds, videoView->frame().size);
    const qrn::Point t = model.getVideoTransformedOrigin();
    layerTransforms(videoView, {f.change.origin.x + t.x, f.change.origin.y + t.y}, f.scale, 0, f.change,
                    std::nullopt, std::nullopt);
}

void resizeAndPositionLayersClass::resizeAndPositionAssetPreviewLayers(
    const std::vector<std::vector<ViewPtr>>& previewLayers, std::optional<qrn::Rect> oldBounds,
    std::optional<qrn::Rect> newBounds, const std::optional<std::vector<std::vector<qrn::Rect>>>& values,
    std::optional<double> rotationValue, std::optional<size_t> assetOfLayers) {
    QRN_LOG_IN(std::nullopt);
    if (!values && (!oldBounds || !newBounds || !usable(*oldBounds) || !usable(*newBounds)))
        return;
    previewLayerClass model;
    for (size_t a = 0; a < previewLayers.size(); ++a) {
        for (size_t j = 0; j < previewLayers[a].size(); ++j) {
            auto& v = *previewLayers[a][j];
            const auto tag = v.subviews().empty() ? std::nullopt : v.subviews()[0]->tag();
            if (tag && *tag <= -9 && *tag >= -13)
                continue;
            qrn::Rect F;
            if (values) {
                F = (*values)[a][j];
            } else {
                const qrn::Rect& f = v.frame();
                const double ow = oldBounds->size.width, oh = oldBounds->size.height;
                const double nw = newBounds->size.width, nh = newBounds->size.height;
                F = qrn::Rect(f.origin.x / ow * nw, f.origin.y / oh * nh,
                              std::max(1.0, f.size.width / ow * nw), std::max(1.0, f.size.height / oh * nh));
            }
            double theta = 0;
            std::vector<bool> flips;
            if (tag) {
                // Read in place: a copy of the whole tables for each view made opening a large
                // project slow.
                const auto& layers = model.getLayerArrayReference();
                const auto rows = previewLayerClass::layerRows();
                const std::string id = std::to_string(*tag);
                const bool hinted = assetOfLayers && *assetOfLayers < layers.size();
                for (size_t k = 0; k < layers.size() + (hinted ? 1 : 0); ++k) {
                    // The hinted row first, then every row (the hinted one again, harmlessly).
                    const size_t x = hinted ? (k == 0 ? *assetOfLayers : k - 1) : k;
                    auto it = std::find(layers[x].begin(), layers[x].end(), id);
                    if (it != layers[x].end()) {
                        const size_t l = size_t(it - layers[x].begin());
                        if (x < rows.rotations.size() && l < rows.rotations[x].size())
                            theta = rows.rotations[x][l];
                        if (x < rows.flips.size() && l < rows.flips[x].size())
                            flips = rows.flips[x][l];
                        break;
                    }
                }
            }
            if (rotationValue)
                theta = *rotationValue;
            if (theta != 0) {
                model.rotateLayer(v, 0);
                v.setFrame(F);
                model.rotateLayer(v, theta);
            } else {
                v.setFrame(F);
            }
            if (v.subviews().size() > 1) {
                auto& second = *v.subviews()[1];
                second.setFrameSize(F.size);
                for (const auto& sub : second.subviews())
                    sub->setFrameSize(F.size);
                // The picture is mirrored inside the turned copy as the layer is in the preview.
                second.layer()->setTransform(layerTransform(0, {1, 1}, flips));
            }
        }
    }
}
