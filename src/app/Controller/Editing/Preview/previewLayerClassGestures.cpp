// Moving, resizing and rotating the selected layer, the camera picture and its crop window by
// the mouse, and putting them at given values for undo, revert and corrections.
#include "Controller/Editing/Preview/previewGestureUndo.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <utility>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/graphics/layer.h"
#include "platform/ui/image_view.h"
#include "platform/ui/view.h"

namespace {

// The settle step of a released (or paused) handle drag while it waits for its time. It records
// the drag's entry from the before-values the press kept; anything else that keeps values or
// records in that time runs it first, so the drag's entry lands before its own and neither takes
// the other's before-values.
std::function<void()> pendingHandleSettle;

void settlePendingHandleDrag(bool record) {
    auto settle = std::exchange(pendingHandleSettle, nullptr);
    if (!settle)
        return;
    if (record)
        settle();
    else // the history is being emptied: the drag's entry has nowhere to go
        previewLayerClass().getInteractionState().dragOrResizeCounter.increment();
}

using ViewPtr = std::shared_ptr<qrn::ui::View>;

// The holder view of the layer at (a, l): the superview of the view tagged with its id.
ViewPtr holderViewAt(previewLayerClass& model, int a, int l) {
    const auto configuration = model.getConfiguration();
    const auto& layers = model.getLayerArrayReference();
    if (!configuration || !configuration->layerContainerView || a < 0 || size_t(a) >= layers.size() ||
        l < 0 || size_t(l) >= layers[size_t(a)].size())
        return nullptr;
    auto tagged = configuration->layerContainerView->viewWithTag(std::stoi(layers[size_t(a)][size_t(l)]));
    return tagged ? tagged->superview() : nullptr;
}

// A layer's copies in the asset strip: every asset's for a layer of the sticky asset, else its
// own asset's. Each copy comes with the thumbnail container that scales it.
struct thumbnailCopy {
    ViewPtr container;
    ViewPtr view;
};

std::vector<thumbnailCopy> thumbnailCopies(previewLayerClass& model, int assetIndex,
                                           const std::string& layerId) {
    std::vector<thumbnailCopy> copies;
    editViewClass edit;
    const auto configuration = edit.getConfiguration();
    const auto strip = edit.getAssetHorizontalScrollView();
    const auto& assets = model.getAssetArrayReference();
    const int first = assetIndex == 0 ? 0 : assetIndex;
    const int last = assetIndex == 0 ? int(assets.size()) - 1 : assetIndex;
    for (int i = first; i <= last && i < int(assets.size()); ++i) {
        ViewPtr in = i == 0 ? (configuration ? configuration->stickyAsset : nullptr) : strip;
        auto tagged = in ? in->viewWithTag(i == 0 ? 0 : std::stoi(assets[size_t(i)])) : nullptr;
        auto tile = tagged ? tagged->superview() : nullptr;
        if (!tile || tile->subviews().empty())
            continue;
        auto container = tile->subviews().back();
        auto marker = container->viewWithTag(std::stoi(layerId));
        if (auto view = marker ? marker->superview() : nullptr)
            copies.push_back({container, view});
    }
    return copies;
}

} // namespace

void previewLayerClass::refreshLayerThumbnails(int assetIndex, int layerIndex) {
    const auto& layers = getLayerArrayReference();
    if (assetIndex < 0 || size_t(assetIndex) >= layers.size() || layerIndex < 0 ||
        size_t(layerIndex) >= layers[size_t(assetIndex)].size())
        return;
    for (const auto& copy :
         thumbnailCopies(*this, assetIndex, layers[size_t(assetIndex)][size_t(layerIndex)]))
        resizeAndPositionLayersClass().resizeAndPositionAssetPreviewLayers(
            {{copy.view}}, std::nullopt, std::nullopt,
            std::vector<std::vector<qrn::Rect>>{{copy.view->frame()}}, std::nullopt, size_t(assetIndex));
}

namespace {

// Scales a rectangle of the preview view into a thumbnail container.
qrn::Rect toThumbnail(const qrn::Rect& r, const qrn::ui::View& container, const qrn::ui::View& preview) {
    const double sx =
        preview.frame().size.width > 0 ? container.frame().size.width / preview.frame().size.width : 0;
    const double sy =
        preview.frame().size.height > 0 ? container.frame().size.height / preview.frame().size.height : 0;
    return qrn::Rect(r.origin.x * sx, r.origin.y * sy, r.size.width * sx, r.size.height * sy);
}

bool isTextLayerReference(const imageReferenceArray& reference) {
    return reference.size() >= 4 && reference[0].isNumber() && reference[0].toInt() == 1 &&
           reference.back().isNumber() && reference.back().toInt() == 1;
}

bool isBundleImageReference(const imageReferenceArray& reference) {
    return !reference.empty() && reference[0].isNumber() && reference[0].toInt() == 1 &&
           !isTextLayerReference(reference);
}

// Delayed steps belong to the preview and project they were made for.
struct madeFor {
    std::weak_ptr<qrn::ui::View> preview;
    std::string project;

    static madeFor now() {
        const auto configuration = previewLayerClass().getConfiguration();
        return {configuration ? configuration->layerContainerView : nullptr,
                persistentDataStorageClass().getProjectDirectory()};
    }
    bool stillCurrent() const {
        const auto configuration = previewLayerClass().getConfiguration();
        const auto view = preview.lock();
        return view && configuration && configuration->layerContainerView == view &&
               project == persistentDataStorageClass().getProjectDirectory();
    }
};

// A layer being added has no hit path yet: its adder inserts one, so none is appended here.
bool hasPathEntry(int a, int l, const ViewPtr& view, bool video) {
    if (video)
        return true;
    const auto& paths = previewLayerViewPathCreationClass().pathsArrayReference();
    return size_t(a) < paths.size() && size_t(l) < paths[size_t(a)].size() &&
           paths[size_t(a)][size_t(l)].view == view;
}

bool saveAllowed(bool exportData) {
    return exportData && globalAppSettingsClass().getSaveOnUserAction();
}

} // namespace

undoValueList handleDragBeforeValues(bool rotate) {
    previewLayerClass model;
    const bool crop = model.getVideoCropState();
    const bool cropping = crop && !rotate && model.getVideoLayerSelected();
    const auto first = model.resizeOrRotateLayerUndoRedoActionContent(rotate, cropping);
    undoValueList values;
    if (rotate) {
        values.push_back(std::get<double>(first));
        if (model.getVideoLayerSelected()) {
            values.push_back(model.getVideoTransformedSize());
        } else {
            const auto where = model.layerAssetIndexAndVideoSelectedParameterValues(std::nullopt);
            const auto& sizes = model.getLayerTransformedSize();
            values.push_back(where.layerIndex ? sizes[size_t(where.assetIndex)][size_t(*where.layerIndex)]
                                              : qrn::Size{1, 1});
        }
        return values;
    }
    values.push_back(std::get<qrn::Size>(first));
    if (cropping)
        return values;
    values.push_back(model.dragLayerInVideoViewLayerUndoRedoActionContent(false));
    double rotation = 0;
    if (!model.getVideoLayerSelected()) {
        const auto where = model.layerAssetIndexAndVideoSelectedParameterValues(std::nullopt);
        if (where.layerIndex)
            rotation = model.getLayerRotateArray()[size_t(where.assetIndex)][size_t(*where.layerIndex)];
    }
    values.push_back(rotation);
    return values;
}

qrn::Point previewLayerClass::dragLayerInVideoViewLayerUndoRedoActionContent(bool cropState) {
    if (getVideoLayerSelected()) {
        if (cropState)
            return getVideoCropSizeAndOrigin().second;
        const auto v = getVideoOriginSizeArray();
        return v.size() >= 2 ? qrn::Point{v[0], v[1]} : qrn::Point{};
    }
    const auto frame = getSingleLayerOriginSizeArray(std::nullopt);
    return frame.size() >= 2 ? qrn::Point{frame[0], frame[1]} : qrn::Point{};
}

std::variant<double, qrn::Size> previewLayerClass::resizeOrRotateLayerUndoRedoActionContent(bool rotate,
                                                                                            bool crop) {
    const bool video = getVideoLayerSelected();
    if (rotate) {
        if (video)
            return 0.0;
        const auto where = layerAssetIndexAndVideoSelectedParameterValues(std::nullopt);
        if (!where.layerIndex)
            return 0.0;
        return getLayerRotateArray()[size_t(where.assetIndex)][size_t(*where.layerIndex)];
    }
    if (crop)
        return getVideoCropSizeAndOrigin().first;
    const auto frame = video ? getVideoOriginSizeArray() : getSingleLayerOriginSizeArray(std::nullopt);
    return frame.size() >= 4 ? qrn::Size{frame[2], frame[3]} : qrn::Size{};
}

void previewLayerClass::dragLayerInVideoViewLayer(
    std::optional<qrn::Point> mouseLocation, bool dragEnded,
    const std::optional<std::vector<double>>& targetOrigin, bool proceedWithoutSelection, bool scheduleSettle,
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer, bool fromUndo, bool exportData,
    bool setCropOrigin) {
    QRN_LOG_IN(LogValues{{"dragEnded", dragEnded}, {"fromUndo", fromUndo}});
    auto& state = getInteractionState();
    const bool anySelection = getVideoLayerSelected() || getSelectedLayer().has_value();
    const bool hasTarget = targetOrigin && targetOrigin->size() >= 2;
    if (!anySelection && !layer && !proceedWithoutSelection)
        return;
    if (!persistentDataStorageClass().getInProgressBool())
        return;
    if (!hasTarget && !state.draggingLayer)
        return;
    const bool cropState = getVideoCropState();

    if (dragEnded) {
        state.dragStartLocation.reset();
        if (fromUndo || !anySelection)
            return;
        const bool cropping = getVideoLayerSelected() && cropState;
        undoRedoClass().action(cropping ? "cropVideoOrigin" : "dragLayerInVideoViewLayer",
                               {dragLayerInVideoViewLayerUndoRedoActionContent(cropState)});
        return;
    }
    if (!hasTarget) {
        if (!mouseLocation)
            return;
        if (!state.dragStartLocation) {
            state.dragStartLocation = std::make_pair(mouseLocation->x, mouseLocation->y);
            return;
        }
    }

    const auto where = layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (!where.videoSelected && !where.layerIndex)
        return;
    const size_t a = size_t(where.assetIndex), l = size_t(where.layerIndex.value_or(0));
    const auto frame = where.videoSelected ? getVideoOriginSizeArray() : getSingleLayerOriginSizeArray(layer);
    ViewPtr moving = where.videoSelected ? getVideoLayerView() : holderViewAt(*this, int(a), int(l));
    if (frame.size() < 4 || !moving)
        return;
    const double x = frame[0], y = frame[1], w = frame[2], h = frame[3];
    double dx, dy;
    if (hasTarget) {
        dx = (*targetOrigin)[0] - x, dy = (*targetOrigin)[1] - y;
    } else {
        dx = mouseLocation->x - state.dragStartLocation->first;
        dy = mouseLocation->y - state.dragStartLocation->second;
    }
    if (!fromUndo && anySelection)
        undoRedoClass().compareValuesBeforeAndAfter(
            {dragLayerInVideoViewLayerUndoRedoActionContent(cropState)}, std::nullopt);

    // Ends a call: the next event's travel counts from here; a replay leaves nothing selected.
    auto finish = [&] {
        if (hasTarget)
            state.dragStartLocation.reset();
        else
            state.dragStartLocation = std::make_pair(mouseLocation->x, mouseLocation->y);
        if (fromUndo)
            noLayerSelected();
    };

    if (where.videoSelected && ((!hasTarget && cropState) || (hasTarget && setCropOrigin))) {
        auto [cropSize, cropOrigin] = getVideoCropSizeAndOrigin();
        if (hasTarget) {
            cropOrigin = {(*targetOrigin)[0], (*targetOrigin)[1]};
        } else {
            const double nx = dx / w * 100 + cropOrigin.x, ny = dy / h * 100 + cropOrigin.y;
            const bool takeX = nx > 0 && nx + cropSize.width <= 100;
            const bool takeY = ny > 0 && ny + cropSize.height <= 100;
            if (!takeX && !takeY) {
                finish();
                return;
            }
            if (takeX)
                cropOrigin.x = nx;
            if (takeY)
                cropOrigin.y = ny;
        }
        setVideoCropSizeAndOrigin(cropSize, cropOrigin);
        cropVideo(*moving);
        if (!fromUndo && !hasTarget)
            positionAndResizeOverlay(std::nullopt, true);
        finish();
        return;
    }

    qrn::Point translation;
    qrn::Size scale;
    double rotation = 0;
    if (where.videoSelected) {
        translation = getVideoTransformedOrigin();
        scale = getVideoTransformedSize();
    } else {
        translation = getLayerTransformedOrigin()[a][l];
        scale = getLayerTransformedSize()[a][l];
        rotation = getLayerRotateArray()[a][l];
    }
    const qrn::Point moved{translation.x + dx, translation.y + dy};
    const double nx = x + dx, ny = y + dy;
    if (where.videoSelected) {
        setVideoTransformedOrigin(moved);
        setVideoOriginSizeArray({nx, ny, w, h});
        editViewClass().stripedBorderFrameChange(qrn::Point{nx, ny}, qrn::Size{w, h});
    } else {
        layerRows().origins[a][l] = moved;
        auto frames = getLayerOriginSizeArray();
        frames[a][l][0] = nx, frames[a][l][1] = ny;
        setLayerOriginSizeArray(std::move(frames));
        const auto configuration = getConfiguration();
        const auto& id = getLayerArrayReference()[a][l];
        if (configuration && configuration->layerContainerView)
            for (const auto& copy : thumbnailCopies(*this, int(a), id)) {
                auto r = copy.view->frame();
                const auto shift =
                    toThumbnail(qrn::Rect(dx, dy, 0, 0), *copy.container, *configuration->layerContainerView);
                r.origin = hasTarget ? toThumbnail(qrn::Rect(nx, ny, 0, 0), *copy.container,
                                                   *configuration->layerContainerView)
                                           .origin
                                     : qrn::Point{r.origin.x + shift.origin.x, r.origin.y + shift.origin.y};
                resizeAndPositionLayersClass().resizeAndPositionAssetPreviewLayers(
                    {{copy.view}}, std::nullopt, std::nullopt, std::vector<std::vector<qrn::Rect>>{{r}},
                    std::nullopt, a);
            }
    }
    if (saveAllowed(exportData))
        persistentDataStorageClass().exportData(true);
    moving->layer()->setTransform(qrn::AffineTransform::translation(moved.x, moved.y)
                                      .rotated(rotation)
                                      .scaled(scale.width, scale.height));
    const layerAssetIndexAndVideoSelectedArray address =
        where.videoSelected ? layerAssetIndexAndVideoSelectedArray{true, qrn::Value(), qrn::Value()}
                            : layerAssetIndexAndVideoSelectedArray{false, int(a), int(l)};
    if (auto overlay = getSuperviewOfTaggedPreviewView()) {
        const bool selected = where.videoSelected
                                  ? getVideoLayerSelected()
                                  : getSelectedLayer() && getSelectedLayerIndex(false) == int(l) &&
                                        getSelectedAssetIndex() == int(a);
        // On the selection the overlay is placed anew, so that its handles stay inside the
        // preview wherever the layer goes.
        if (selected && where.videoSelected) {
            positionAndResizeOverlay(std::nullopt, true);
        } else if (selected) {
            placeOverlayOn(address, rotation);
        } else {
            const auto o = overlay->frame().origin;
            overlay->setFrameOrigin({o.x + dx, o.y + dy});
        }
    }
    mirrorLayerCheck(address, nullptr);
    if (hasPathEntry(int(a), int(l), moving, where.videoSelected))
        createOrUpdateLayerPath(address, false, 0, true);

    if (scheduleSettle) {
        const int generation = state.dragOrResizeCounter.increment();
        const auto made = madeFor::now();
        qrn::MainQueue::after(
            0.1, [generation, made, mouseLocation, targetOrigin, proceedWithoutSelection, layer] {
                previewLayerClass model;
                if (!made.stillCurrent() ||
                    !model.getInteractionState().dragOrResizeCounter.isCurrent(generation))
                    return;
                model.dragLayerInVideoViewLayer(mouseLocation, false, targetOrigin, proceedWithoutSelection,
                                                false, layer, false, true, false);
            });
    }
    finish();
}

void previewLayerClass::resizeOrRotateLayer(bool rotate, const std::optional<std::vector<double>>& values,
                                            bool scheduleSettle,
                                            const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                            bool recordUndo, bool fromUndo, bool correction, bool exportData,
                                            double mouseX, double mouseY, bool changeCropSize,
                                            bool skipTextRelayout) {
    QRN_LOG_IN(LogValues{{"rotate", rotate}, {"fromUndo", fromUndo}, {"correction", correction}});
    auto& state = getInteractionState();
    const auto configuration = getConfiguration();
    if (!configuration || !configuration->layerContainerView || !configuration->parentPreviewView)
        return;
    const auto& preview = configuration->layerContainerView;
    const bool studioShown = recordViewClass().getRecordViewSelected();

    // Setup: the item, its frame, the working rotation and size, and the mouse's travel.
    const auto where = layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (!where.videoSelected && !where.layerIndex)
        return;
    const size_t a = size_t(where.assetIndex), l = size_t(where.layerIndex.value_or(0));
    const bool hasValues = values && !values->empty();
    const auto frame = where.videoSelected ? getVideoOriginSizeArray() : getSingleLayerOriginSizeArray(layer);
    const auto workingPoint = [&](double windowX, double windowY) {
        qrn::Point w = preview->convertPointFromView({windowX, windowY}, nullptr);
        if (hasValues || frame.size() < 4)
            return w;
        // The handle may show away from its corner (kept inside the preview): the mouse works
        // as if it held the corner itself.
        if (rotate) {
            const qrn::Point c{frame[0] + frame[2] / 2, frame[1] + frame[3] / 2};
            const double cs = std::cos(state.handleTurnOffset), sn = std::sin(state.handleTurnOffset);
            return qrn::Point{c.x + cs * (w.x - c.x) - sn * (w.y - c.y),
                              c.y + sn * (w.x - c.x) + cs * (w.y - c.y)};
        }
        return qrn::Point{w.x + state.handleOffset.x, w.y + state.handleOffset.y};
    };
    const qrn::Point p = workingPoint(mouseX, mouseY);
    ViewPtr holder = where.videoSelected ? getVideoLayerView() : holderViewAt(*this, int(a), int(l));
    if (!holder || frame.size() < 4)
        return;
    const double x = frame[0], y = frame[1], w = frame[2], h = frame[3];
    double r = 0;
    if (!where.videoSelected) {
        if (hasValues && values->size() > (rotate ? 0u : 2u))
            r = (*values)[rotate ? 0 : 2];
        else
            r = layerRows().rotations[a][l];
    }
    const auto [cropSize, cropOrigin] = getVideoCropSizeAndOrigin();
    const bool cropState = getVideoCropState();
    double W = w, H = h;
    if (where.videoSelected && (cropState || changeCropSize))
        W = cropSize.width, H = cropSize.height;
    if (getResizeButtonSelected()) {
        // The first event of a handle drag: its movement counts from the press, so a quick drag
        // of few events loses none of it. The settle step after the release counts from where
        // the drag left the corner, as the drag's own events do. Either way the press is used
        // up, so it never reaches a later drag.
        const auto press = std::exchange(state.handlePressLocation, std::nullopt);
        if (scheduleSettle) {
            const qrn::Point from = press && !hasValues ? workingPoint(press->x, press->y) : p;
            state.resizeStartLocation = std::make_pair(from.x, from.y);
        }
    }
    const qrn::Point start = state.resizeStartLocation ? qrn::Point{state.resizeStartLocation->first,
                                                                    state.resizeStartLocation->second}
                                                       : p;
    const qrn::Point d{p.x - start.x, p.y - start.y};
    const layerAssetIndexAndVideoSelectedArray address =
        where.videoSelected ? layerAssetIndexAndVideoSelectedArray{true, qrn::Value(), qrn::Value()}
                            : layerAssetIndexAndVideoSelectedArray{false, int(a), int(l)};
    const auto overlay = getSuperviewOfTaggedPreviewView();
    auto& holderLayer = *holder->layer();
    // In place: a deferred resize runs once per layer of a project being opened.
    const auto& references = layerRows().references;
    const imageReferenceArray reference =
        where.videoSelected || a >= references.size() || l >= references[a].size() ? imageReferenceArray{}
                                                                                   : references[a][l];
    auto* imageView = !where.videoSelected && !holder->subviews().empty()
                          ? dynamic_cast<qrn::ui::ImageView*>(holder->subviews().back().get())
                          : nullptr;

    bool resized = false;
    // Where the next event's travel counts from: the mouse, or where it would be had the corner
    // followed it, if the layer stopped at its minimum size.
    qrn::Point reached = p;
    qrn::Rect newFrame(x, y, w, h);
    qrn::AffineTransform t;
    const bool cropping = where.videoSelected && ((cropState && !fromUndo) || changeCropSize);

    if (rotate && !changeCropSize && !where.videoSelected) {
        if (!hasValues) {
            const double mx = x + w / 2, my = y + h / 2;
            const double dyc = p.y - my;
            const double dist = std::hypot(p.x - mx, dyc);
            // At the centre the angle is undefined: such an event turns nothing.
            if (!(dist > 0) || !(h > 0))
                return;
            const double an = std::atan(w / h);
            const double b = std::asin(std::clamp(dyc / dist, -1.0, 1.0));
            const double pi = std::numbers::pi;
            r = p.x >= mx ? b - an + pi / 2 : ((-pi / 4 - b) + (-pi / 2)) - (an + pi / 4) + pi / 2;
        }
        layerRows().rotations[a][l] = r;
        // The selection's overlay is placed anew for the turn: its handles stay inside the
        // preview as the corners turn out of it.
        if (overlay && getSelectedLayer() && getSelectedLayerIndex(false) == int(l) &&
            getSelectedAssetIndex() == int(a))
            placeOverlayOn(address, r);
        else if (overlay)
            rotateLayer(*overlay, r);
        state.resizeStartLocation = std::make_pair(p.x, p.y);
        qrn::Size scale = getLayerTransformedSize()[a][l];
        if (hasValues && values->size() >= 3)
            scale = {(*values)[1], (*values)[2]};
        holderLayer.setAnchorPoint({0.5, 0.5});
        holderLayer.setPosition(newFrame.center());
        t = qrn::AffineTransform::rotation(r).scaled(scale.width, scale.height);
    } else if (cropping) {
        qrn::Size size = cropSize;
        if (hasValues && values->size() >= 2) {
            size = {(*values)[0], (*values)[1]};
        } else {
            const double nw = d.x / w * 100 + cropSize.width, nh = d.y / h * 100 + cropSize.height;
            const double minimum = globalAppSettingsClass().getMinimumVideoCropSize();
            if (nw + cropOrigin.x <= 100 && w * nw / 100 > minimum)
                size.width = nw;
            if (nh + cropOrigin.y <= 100 && h * nh / 100 > minimum)
                size.height = nh;
        }
        if (size != cropSize) {
            setVideoCropSizeAndOrigin(size, cropOrigin);
            cropVideo(*holder);
        }
        state.resizeStartLocation = std::make_pair(p.x, p.y);
        if (saveAllowed(exportData) && !correction)
            persistentDataStorageClass().exportData(true);
        resized = true;
    } else if (!rotate) {
        resized = true;
        double W2 = W, H2 = H, x2 = x, y2 = y;
        bool locked = false;
        double ratioA = 16, ratioB = 9;
        if (hasValues && values->size() >= 2) {
            W2 = (*values)[0], H2 = (*values)[1];
        } else {
            if (d.x != 0)
                W2 = W + d.x * std::cos(r), H2 = H - d.x * std::sin(r);
            if (d.y != 0)
                W2 += d.y * std::sin(r), H2 += d.y * std::cos(r);
            if (where.videoSelected) {
                locked = true;
            } else if (!isTextLayerReference(reference)) {
                const auto lock = layerRows().locks[a][l];
                const bool stored = !lock.empty() && lock[0] == 1.0;
                if (editViewClass().getShiftKeyPressed() || stored) {
                    locked = true;
                    ratioA = lock.size() >= 2 && lock[1] > 0 ? lock[1] : (h > 0 ? w / h : 1);
                    ratioB = 1;
                }
            }
            if (locked) {
                // The side the pointer changed more, for its length, sets the size and the other
                // follows the ratio: a drag along either side resizes as one along the diagonal does.
                const double k = ratioA / ratioB;
                if (std::abs(W2 - W) * H >= std::abs(H2 - H) * W)
                    H2 = W2 / k;
                else
                    W2 = k * H2;
            }
        }
        // The turned frame grows from the corner across from the handle, which stays put
        // wherever on the handle the press landed.
        const double cs = std::cos(r), sn = std::sin(r);
        const qrn::Point kept{x + w / 2 - cs * w / 2 + sn * h / 2, y + h / 2 - sn * w / 2 - cs * h / 2};
        const auto placeFromKeptCorner = [&] {
            x2 = kept.x + cs * W2 / 2 - sn * H2 / 2 - W2 / 2;
            y2 = kept.y + sn * W2 / 2 + cs * H2 / 2 - H2 / 2;
        };
        if (!hasValues)
            placeFromKeptCorner();
        const auto outer = configuration->parentPreviewView->frame().size;
        const double m = globalAppSettingsClass().getMinimumLayerSize();
        const double minW = outer.width / 556 * m, minH = outer.height / 313 * m;
        if (W2 < minW || H2 < minH) {
            if (locked) {
                W2 = w, H2 = h, x2 = x, y2 = y;
            } else if (!hasValues) {
                // A quick step past the minimum stops the layer at it, as slow steps do, with the
                // corner where the layer stops instead of where the pointer went; later steps
                // count from that corner, so the handle waits there until the pointer comes back.
                const double shortW = std::max(0.0, minW - W2), shortH = std::max(0.0, minH - H2);
                W2 += shortW, H2 += shortH;
                reached = {p.x + shortW * cs - shortH * sn, p.y + shortW * sn + shortH * cs};
                placeFromKeptCorner();
            } else {
                if (W2 < minW)
                    W2 = w;
                if (H2 < minH)
                    H2 = h;
            }
        }
        if (!where.videoSelected && !hasValues && !locked && H2 > 0) {
            auto locks = getLayerResizeWithAspectRatioArray();
            if (locks[a][l].size() >= 2)
                locks[a][l][1] = W2 / H2;
            setLayerResizeWithAspectRatioArray(std::move(locks));
        }
        newFrame = qrn::Rect(x2, y2, W2, H2);
        const auto viewSize = holder->frame().size;
        const qrn::Size scale{viewSize.width > 0 ? W2 / viewSize.width : 1,
                              viewSize.height > 0 ? H2 / viewSize.height : 1};
        if (where.videoSelected) {
            setVideoOriginSizeArray({x2, y2, W2, H2});
            setVideoTransformedSize(scale);
            setVideoTransformedOrigin({});
            editViewClass().stripedBorderFrameChange(newFrame.origin, newFrame.size);
            t = qrn::AffineTransform::scale(scale.width, scale.height);
        } else {
            layerRows().frames[a][l] = {x2, y2, W2, H2};
            t = qrn::AffineTransform::rotation(r).scaled(scale.width, scale.height);
        }
    } else {
        return;
    }

    if (!cropping) {
        // Thumbnail copies follow the layer, except while the studio shows its own preview.
        if (!where.videoSelected && !studioShown) {
            const auto id = getLayerArrayReference()[a][l];
            for (const auto& copy : thumbnailCopies(*this, int(a), id)) {
                if (rotate) {
                    rotateLayer(*copy.view, 0);
                    rotateLayer(*copy.view, r);
                } else {
                    resizeAndPositionLayersClass().resizeAndPositionAssetPreviewLayers(
                        {{copy.view}}, std::nullopt, std::nullopt,
                        std::vector<std::vector<qrn::Rect>>{
                            {toThumbnail(newFrame, *copy.container, *preview)}},
                        std::nullopt, a);
                }
            }
        }
        if (!where.videoSelected) {
            layerRows().origins[a][l] = {};
        }
        if (saveAllowed(exportData) && !correction)
            persistentDataStorageClass().exportData(true);
        if (!rotate && !where.videoSelected) {
            if (imageView) {
                // The picture fills the holder; the holder's transform scales both to the frame.
                imageView->setFrame(holder->bounds());
            } else if (isTextLayerReference(reference) && !skipTextRelayout && !holder->subviews().empty()) {
                // The box takes the new size; the text keeps its size and wraps anew.
                holder->setFrameSize(newFrame.size);
                resizeAndPositionLayersClass::fitLayerContent(*holder,
                                                              configuration->parentPreviewView->frame().size);
                t = qrn::AffineTransform::rotation(r);
            }
        }
        if (!rotate) {
            holderLayer.setAnchorPoint({0.5, 0.5});
            holderLayer.setPosition(newFrame.center());
        }
        holderLayer.setTransform(t);
        if (!rotate && !where.videoSelected) {
            const auto viewSize = holder->frame().size;
            layerRows().scales[a][l] = {viewSize.width > 0 ? newFrame.size.width / viewSize.width : 1,
                                        viewSize.height > 0 ? newFrame.size.height / viewSize.height : 1};
        }
        const int relayout = state.relayoutCounter.increment();
        // A picture is held at the size its layer was drawn: once the layer has settled larger,
        // or turned so that more of it fits in the movie, the file gives a sharper one.
        if (!scheduleSettle && !studioShown && imageView && !imageView->playsOnTimeline())
            if (const auto file = projectPictureFileOf(reference))
                previewLayerPendingPictures::sharpen(
                    *file, imageView->image(), previewLayerPendingPictures::moviePixelsOf(newFrame.size, r));
        if (!rotate && !scheduleSettle && imageView && isBundleImageReference(reference)) {
            // Draws the symbol afresh at its new size instead of leaving it scaled.
            const auto made = madeFor::now();
            const std::string id = getLayerArrayReference()[a][l];
            qrn::MainQueue::after(0.1, [relayout, made, id, reference] {
                previewLayerClass model;
                if (!made.stillCurrent() || !model.getInteractionState().relayoutCounter.isCurrent(relayout))
                    return;
                const auto& rows = model.getLayerArrayReference();
                for (size_t i = 0; i < rows.size(); ++i) {
                    auto it = std::find(rows[i].begin(), rows[i].end(), id);
                    if (it == rows[i].end())
                        continue;
                    const size_t k = size_t(it - rows[i].begin());
                    auto view = holderViewAt(model, int(i), int(k));
                    const auto stored = model.getLayerOriginSizeArray()[i][k];
                    if (!view || stored.size() < 4)
                        return;
                    const auto configuration = model.getConfiguration();
                    const qrn::Size previewSize = configuration && configuration->parentPreviewView
                                                      ? configuration->parentPreviewView->frame().size
                                                      : qrn::Size{};
                    resizeAndPositionLayersClass::placeLayerView(
                        *view, qrn::Rect(stored[0], stored[1], stored[2], stored[3]),
                        model.getLayerRotateArray()[i][k], model.getLayerIsFlippedArray()[i][k], previewSize);
                    if (auto* image = dynamic_cast<qrn::ui::ImageView*>(view->subviews().back().get())) {
                        try {
                            const auto picture = model.getImageFromImageReferenceArray(reference);
                            if (picture.isImage() && picture.toImage())
                                image->setImage(*picture.toImage());
                        } catch (...) {
                            // The scaled picture stays.
                        }
                        image->setImageScaling(qrn::ui::ImageScaling::axesIndependently);
                    }
                    model.layerRows().scales[i][k] = {1, 1};
                    return;
                }
            });
        }
        if (!studioShown && hasPathEntry(int(a), int(l), holder, where.videoSelected))
            createOrUpdateLayerPath(address, false, 0, true);
        mirrorLayerCheck(address, nullptr);
        state.resizeStartLocation = std::make_pair(reached.x, reached.y);
    }

    // Tail: the overlay, the settle step or the undo entry.
    const bool isSelected = where.videoSelected
                                ? getVideoLayerSelected()
                                : (getSelectedLayer() && getSelectedLayerIndex(false) == int(l) &&
                                   getSelectedAssetIndex() == int(a));
    // The overlay belongs to the selection: a layer refitted on the side (the size correction
    // after a move in the layer list, a replay) leaves it where it is.
    if (resized && isSelected && overlay) {
        if (where.videoSelected) {
            positionAndResizeOverlay(std::nullopt, true);
        } else {
            placeOverlayOn(address, r);
        }
    }
    const int generation = state.dragOrResizeCounter.increment();
    if (scheduleSettle) {
        const auto made = madeFor::now();
        // early: run before its time because something else records (see pendingHandleSettle).
        auto settle = [generation, made, rotate, values, layer, recordUndo, mouseX, mouseY](bool early) {
            previewLayerClass model;
            if (!made.stillCurrent() ||
                !model.getInteractionState().dragOrResizeCounter.isCurrent(generation))
                return;
            pendingHandleSettle = nullptr;
            const bool handleHeld = model.getRotateButtonSelected() != 0;
            const bool hadBefore = undoRedoClass::getValuesCompare().has_value();
            model.resizeOrRotateLayer(rotate, values, false, layer, recordUndo, false, false, true, mouseX,
                                      mouseY, false, false);
            // A pause while the handle is still held records the drag so far; what the drag does
            // after it is measured from here, so the release records that too instead of finding
            // the values from before the press used up.
            if (!early && handleHeld && recordUndo && hadBefore && !undoRedoClass::getValuesCompare())
                undoRedoClass().compareValuesBeforeAndAfter(handleDragBeforeValues(rotate), std::nullopt);
        };
        if (recordUndo) {
            pendingHandleSettle = [settle] { settle(true); };
            undoRedoClass::setPendingEntryHook("handleDrag", settlePendingHandleDrag);
        }
        qrn::MainQueue::after(0.1, [settle] { settle(false); });
        return;
    }
    if (!recordUndo) {
        if (fromUndo)
            noLayerSelected();
        return;
    }
    if (!getVideoLayerSelected() && !getSelectedLayer())
        return;
    const bool cropEntry = !rotate && cropState && getVideoLayerSelected();
    const auto full = handleDragBeforeValues(rotate);
    undoRedoClass().action(rotate ? "rotateLayer" : (cropEntry ? "cropVideoSize" : "resizeLayer"), full);
}
