// Putting one history entry back into effect: the same preview, editing-screen and settings
// operations that made the change run again in their replay form with the entry's before-values
// (undo) or after-values (redo). This file is the one place that knows the layout of each
// action's values; an entry whose values or positions do not fit is skipped and logged.
#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/Model/assetDataClass.h"
#include "Controller/Global/Model/layerDataClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/persistentDataStorageClassImport.h"
#include "Model/stylingClass.h"
#include "Model/undoRedoClass.h"
#include "platform/ui/view.h"

namespace {

undoRedoClass::reorderLayerReplayHook reorderLayerHook;
std::function<void(int, int)> reorderAssetHook;
std::function<void(int)> moveAssetPreviewsForwardHook;
std::function<void()> assetDragStateClearHook;
undoRedoClass::layerSettingReplayHook layerSettingHook;
bool replaying = false;

void logSkip(const std::string& message) {
    dataLoggingClass().logError("undoRedoClass", message, __FILE__, "executeStackItemAction");
}

template <typename T> const T* at(const undoValueList& values, size_t i) {
    return i < values.size() ? std::get_if<T>(&values[i]) : nullptr;
}

std::optional<double> numberAt(const undoValueList& values, size_t i) {
    if (auto d = at<double>(values, i))
        return *d;
    if (auto n = at<int>(values, i))
        return double(*n);
    return std::nullopt;
}

std::optional<int> intAt(const undoValueList& values, size_t i) {
    if (auto n = at<int>(values, i))
        return *n;
    return std::nullopt;
}

std::optional<std::vector<int>> intsAt(const undoValueList& values, size_t count) {
    std::vector<int> out;
    for (size_t i = 0; i < count; ++i) {
        auto n = intAt(values, i);
        if (!n)
            return std::nullopt;
        out.push_back(*n);
    }
    return out;
}

size_t assetCount() {
    return previewLayerClass().getAssetArray().size();
}

bool assetInRange(int a) {
    return a >= 0 && size_t(a) < assetCount();
}

bool layerInRange(int a, int l) {
    const auto& layers = previewLayerClass().getLayerArrayReference();
    return a >= 0 && size_t(a) < layers.size() && l >= 0 && size_t(l) < layers[size_t(a)].size();
}

// A context names the camera picture, or a layer that exists now.
bool contextInRange(const layerAssetIndexAndVideoSelectedArray& c) {
    if (c.size() < 3)
        return false;
    if (c[0].toBool())
        return true;
    return c[1].isInteger() && c[2].isInteger() && layerInRange(int(c[1].toInt()), int(c[2].toInt()));
}

void autosave() {
    if (globalAppSettingsClass().getSaveOnUserAction())
        persistentDataStorageClass().exportData(true);
}

// The replay forms of the gestures; wholeChange marks a step that is a replayed change by itself.
void dragTo(const layerAssetIndexAndVideoSelectedArray& c, qrn::Point origin, bool crop) {
    previewLayerClass().dragLayerInVideoViewLayer(
        std::nullopt, false, std::vector<double>{origin.x, origin.y}, true, false, c, true, false, crop);
}
void resizeTo(const layerAssetIndexAndVideoSelectedArray& c, qrn::Size size, double rotation, bool crop) {
    previewLayerClass().resizeOrRotateLayer(false, std::vector<double>{size.width, size.height, rotation},
                                            false, c, false, true, false, false, 0, 0, crop, false);
}
void rotateTo(const layerAssetIndexAndVideoSelectedArray& c, double rotation, qrn::Size size) {
    previewLayerClass().resizeOrRotateLayer(true, std::vector<double>{rotation, size.width, size.height},
                                            false, c, false, true, false, false, 0, 0, false, false);
}

// Places and sizes are recorded in the preview of their moment. A window resized since has
// refitted every frame to the new preview, so the recorded ones are refitted the same way.
qrn::Size refitSinceRecorded() {
    const auto& sizes = undoRedoClass::getPreviewSizeList();
    const int position = undoRedoClass::getUndoPosition();
    const auto parent = previewLayerClass().getParentPreviewView();
    if (!parent || position < 0 || size_t(position) >= sizes.size())
        return {1, 1};
    const qrn::Size then = sizes[size_t(position)], now = parent->frame().size;
    if (!(then.width > 0) || !(then.height > 0) || !(now.width > 0) || !(now.height > 0))
        return {1, 1};
    return {now.width / then.width, now.height / then.height};
}

// Rotate, drag, resize and drag again: the resize works about the current origin and the turn
// about the current centre, so the second drag puts the origin back after both.
void geometryRestore(const layerAssetIndexAndVideoSelectedArray& c, qrn::Point origin, qrn::Size size,
                     double rotation, bool withRotation) {
    if (withRotation)
        rotateTo(c, rotation, size);
    dragTo(c, origin, false);
    resizeTo(c, size, rotation, false);
    dragTo(c, origin, false);
}

// Until the settings pane joins: the lock and flips set directly on the preview.
void defaultLayerSetting(int setting, const layerAssetIndexAndVideoSelectedArray& c,
                         const qrn::Value& value) {
    previewLayerClass model;
    if (setting == 0) {
        model.resizeLayerWithAspectRatio(c, true, value.toReal(), true);
        return;
    }
    const bool horizontal = setting == 1;
    if (model.checkIfLayerIsFlipped(horizontal, c) != value.toBool())
        model.mirrorLayer(horizontal, c, true);
}

layerAssetIndexAndVideoSelectedArray positionOf(layerDataClass& layer) {
    return {false, layer.getAssetIndex(), layer.getLayerIndex()};
}

void removeAssetOf(assetDataClass& asset) {
    const auto id = asset.getAssetString();
    const auto assets = previewLayerClass().getAssetArray();
    if (!id || std::find(assets.begin(), assets.end(), *id) == assets.end() || *id == "0") {
        logSkip("No asset " + id.value_or("?") + " to remove");
        return;
    }
    previewLayerClass().removeAsset(std::stoi(*id), true);
}

void reAddAsset(assetDataClass& asset, int layerMode) {
    const int index = asset.getAssetIndex();
    if (index < 1 || size_t(index) > assetCount()) {
        logSkip("Asset position " + std::to_string(index) + " out of range");
        return;
    }
    asset.fillArraysWithObjectData();
    previewLayerClass().addAsset(true, false, true, std::nullopt, index, false, true, false);
    if (moveAssetPreviewsForwardHook)
        moveAssetPreviewsForwardHook(index);
    for (auto& layer : asset.getLayerDataObjects())
        undoRedoClass().addLayerToPreview(std::make_shared<layerDataClass>(layer), layerMode, std::nullopt);
    editViewClass().loadScrollViewLayers();
}

// [snapshot, image reference, [x, y, width, height, rotation]]
void backgroundRestore(const undoValueList& v, bool redo) {
    const auto* snapshot = at<std::shared_ptr<layerDataClass>>(v, 0);
    const auto* reference = at<imageReferenceArray>(v, 1);
    const auto* geometry = at<std::vector<double>>(v, 2);
    if (!snapshot || !*snapshot || !reference || !geometry || geometry->size() < 5 || reference->empty()) {
        logSkip("replaceBackgroundLayer without its values");
        return;
    }
    auto& layer = **snapshot;
    if (!layerInRange(layer.getAssetIndex(), layer.getLayerIndex())) {
        logSkip("replaceBackgroundLayer: layer position out of range");
        return;
    }
    undoRedoClass().addLayerToPreview(*snapshot, 0, *reference);
    const auto& g = *geometry;
    const qrn::Size k = refitSinceRecorded();
    geometryRestore(positionOf(layer), {g[0] * k.width, g[1] * k.height}, {g[2] * k.width, g[3] * k.height},
                    g[4], true);
    if (redo)
        imageManipulationClass().markedImageNeedsToBeKept(positionOf(layer));
}

void reloadListIfShown(std::initializer_list<int> assets) {
    const int selected = previewLayerClass().getSelectedAssetIndex();
    for (int a : assets)
        if (a == selected) {
            editViewClass().loadScrollViewLayers();
            break;
        }
    previewLayerClass().noLayerSelected();
}

void replay(const undoEntry& entry, const undoValueList& v, bool undo) {
    previewLayerClass model;
    const std::string& type = entry.actionType;
    const auto& c = entry.context;
    const bool gesture = type == "dragLayerInVideoViewLayer" || type == "cropVideoOrigin" ||
                         type == "resizeLayer" || type == "rotateLayer" || type == "cropVideoSize" ||
                         type == "layerBackToOriginalPositionAndSize";
    if (gesture && !contextInRange(c)) {
        logSkip(type + ": the layer it names is not there");
        return;
    }
    // The crop window is kept in percent of the camera picture, which no resize changes.
    const bool crop = type == "cropVideoOrigin" || type == "cropVideoSize";
    const qrn::Size k = crop ? qrn::Size{1, 1} : refitSinceRecorded();
    const auto point = [&](size_t i) -> std::optional<qrn::Point> {
        if (auto p = at<qrn::Point>(v, i))
            return qrn::Point{p->x * k.width, p->y * k.height};
        return std::nullopt;
    };
    const auto size = [&](size_t i) -> std::optional<qrn::Size> {
        if (auto z = at<qrn::Size>(v, i))
            return qrn::Size{z->width * k.width, z->height * k.height};
        return std::nullopt;
    };

    if (type == "dragLayerInVideoViewLayer" || type == "cropVideoOrigin") {
        if (auto p = point(0))
            dragTo(c, *p, type == "cropVideoOrigin");
    } else if (type == "resizeLayer") {
        auto s = size(0);
        auto p = point(1);
        auto r = numberAt(v, 2);
        if (s && p && r) {
            dragTo(c, *p, false);
            resizeTo(c, *s, *r, false);
        }
    } else if (type == "rotateLayer") {
        auto r = numberAt(v, 0);
        auto s = size(1);
        if (r && s)
            rotateTo(c, *r, *s);
    } else if (type == "cropVideoSize") {
        if (auto s = size(0))
            resizeTo(c, *s, 0, true);
    } else if (type == "layerBackToOriginalPositionAndSize") {
        auto p = point(0);
        auto s = size(1);
        auto r = numberAt(v, 2);
        if (p && s && r)
            geometryRestore(c, *p, *s, *r, !c[0].toBool());
    } else if (type == "addAsset" || type == "removeAsset" || type == "duplicateAsset") {
        const auto* snapshot = at<std::shared_ptr<assetDataClass>>(v, 0);
        if (!snapshot || !*snapshot) {
            logSkip(type + " without its asset");
            return;
        }
        const bool remove = (type == "removeAsset") != undo;
        if (remove)
            removeAssetOf(**snapshot);
        else
            reAddAsset(**snapshot, type == "duplicateAsset" ? 2 : 0);
        if (assetDragStateClearHook)
            assetDragStateClearHook();
    } else if (type == "addLayer" || type == "removeLayer") {
        const auto* snapshot = at<std::shared_ptr<layerDataClass>>(v, 0);
        if (!snapshot || !*snapshot) {
            logSkip(type + " without its layer");
            return;
        }
        auto& layer = **snapshot;
        const bool remove = (type == "removeLayer") != undo;
        if (remove) {
            if (!layerInRange(layer.getAssetIndex(), layer.getLayerIndex())) {
                logSkip(type + ": layer position out of range");
                return;
            }
            model.removeLayer(positionOf(layer), true);
        } else {
            if (!assetInRange(layer.getAssetIndex()) || layer.getLayerIndex() < 0 ||
                size_t(layer.getLayerIndex()) >
                    model.getLayerArrayReference()[size_t(layer.getAssetIndex())].size()) {
                logSkip(type + ": layer position out of range");
                return;
            }
            undoRedoClass().addLayerToPreview(*snapshot, 0, std::nullopt);
        }
    } else if (type == "replaceBackgroundLayer") {
        backgroundRestore(v, !undo);
    } else if (type == "reorderLayerInSameAsset" || type == "reorderLayerToDifferentAsset") {
        // Inside one asset the values leave out toAssetIndex.
        const bool across = type == "reorderLayerToDifferentAsset";
        auto n = intsAt(v, across ? 5 : 4);
        if (!n || !assetInRange((*n)[0]) || (across && !assetInRange((*n)[1]))) {
            logSkip(type + ": positions out of range");
            return;
        }
        auto& m = *n;
        if (!across)
            m.insert(m.begin() + 1, m[0]);
        if (reorderLayerHook)
            reorderLayerHook(m[0], across ? std::optional<int>(m[1]) : std::nullopt, m[2], m[3], m[4]);
        reloadListIfShown({m[0], m[1]});
    } else if (type == "reorderAsset") {
        auto n = intsAt(v, 2);
        if (!n || !assetInRange((*n)[0]) || !assetInRange((*n)[1])) {
            logSkip(type + ": positions out of range");
            return;
        }
        if (reorderAssetHook)
            reorderAssetHook((*n)[0], (*n)[1]);
    } else if (type == "changeAssetBackgroundColour") {
        const auto* colour = at<std::vector<double>>(v, 0);
        if (!colour || c.size() < 2 || !c[1].isInteger() || !assetInRange(int(c[1].toInt()))) {
            logSkip(type + ": asset out of range");
            return;
        }
        editViewClass().changeAssetBackgroundColour(c, stylingClass().arrayToColour(*colour), true);
    } else if (type == "layerAspectRatioLock" || type == "horizontalLayerFlip" ||
               type == "verticalLayerFlip") {
        if (!contextInRange(c) || v.empty()) {
            logSkip(type + ": the layer it names is not there");
            return;
        }
        const int setting = type == "layerAspectRatioLock" ? 0 : type == "horizontalLayerFlip" ? 1 : 2;
        qrn::Value value;
        if (setting == 0) {
            auto n = numberAt(v, 0);
            if (!n)
                return;
            value = *n;
        } else {
            const auto* b = at<bool>(v, 0);
            if (!b)
                return;
            value = *b;
        }
        if (layerSettingHook)
            layerSettingHook(setting, c, value);
        else
            defaultLayerSetting(setting, c, value);
    } else {
        return;
    }
    // Disk follows the screen after every replayed change.
    autosave();
}

} // namespace

void undoRedoClass::replayEntry(const undoEntry& entry, const undoValueList& values, bool undoAction) {
    // Whatever the driven operations would record belongs to the entry being replayed.
    const bool outer = std::exchange(replaying, true);
    try {
        replay(entry, values, undoAction);
    } catch (const std::exception& e) {
        logSkip(entry.actionType + ": " + e.what());
    }
    replaying = outer;
}

bool undoRedoClass::getReplaying() {
    return replaying;
}

void undoRedoClass::addLayerToPreview(const std::shared_ptr<layerDataClass>& layerDataObj, int duplicateLayer,
                                      const std::optional<imageReferenceArray>& IMAGE_REFERENCE_ARRAY_VALUE) {
    QRN_LOG_IN(LogValues{{"duplicateLayer", duplicateLayer}});
    if (!layerDataObj)
        return;
    previewLayerClass model;
    // With a reference the layer at the snapshot's place (the asset's background now) gives way
    // to the snapshot's layer showing that picture: same id, same place.
    layerDataClass layer = *layerDataObj;
    if (IMAGE_REFERENCE_ARRAY_VALUE) {
        layer.IMAGE_REFERENCE_ARRAY = *IMAGE_REFERENCE_ARRAY_VALUE;
        const int a = layer.getAssetIndex(), l = layer.getLayerIndex();
        if (layerInRange(a, l) &&
            model.getLayerArrayReference()[size_t(a)][size_t(l)] == layer.getLayerString())
            model.removeLayer(layerAssetIndexAndVideoSelectedArray{false, a, l}, true);
    }
    const imageReferenceArray reference = layer.getImageReferenceArray();
    layer.fillArraysWithObjectData();
    if (layer.getIsFirstLayerAboveVideo()) {
        auto first = model.getFirstLayerAboveVideoArray();
        if (size_t(layer.getAssetIndex()) < first.size()) {
            first[size_t(layer.getAssetIndex())] = layer.getLayerString();
            model.setFirstLayerAboveVideoArray(first);
        }
    }
    std::optional<std::string> fileURL;
    if (!reference.empty() && reference[0].toInt() == 3 && reference.size() >= 3)
        fileURL = projectPictureFileOf(reference);
    const auto [image, frames] = pictureForReference(reference);

    // The snapshot's frame was taken on the preview of its moment; the add converts it to now.
    const auto& sizes = getPreviewSizeList();
    const int position = getUndoPosition();
    std::optional<qrn::Size> then;
    if (position >= 0 && size_t(position) < sizes.size() && sizes[size_t(position)].width > 0 &&
        sizes[size_t(position)].height > 0)
        then = sizes[size_t(position)];
    if (then)
        model.setMainPreviewViewArrayFromImport(std::vector<double>{0, 0, then->width, then->height});

    model.addLayer(image, frames, fileURL, std::nullopt, false, layer.getIsBackgroundLayer(), qrn::Point{},
                   std::vector<int>{layer.getAssetIndex(), layer.getLayerIndex()}, duplicateLayer, true,
                   false, layer.getIsFirstLayerAboveVideo(), false);

    // The view came back at the converted place; the stored frame follows it when the preview
    // changed size since (a text layer keeps its own reference size).
    const auto parent = model.getParentPreviewView();
    const int a = layer.getAssetIndex(), l = layer.getLayerIndex();
    const bool isText = !reference.empty() && reference.back().isInteger() && reference.back().toInt() == 1 &&
                        reference.size() > 1 && reference[0].toInt() == 1;
    if (then && parent && !isText && layerInRange(a, l) &&
        (parent->frame().size.width != then->width || parent->frame().size.height != then->height)) {
        const double sx = parent->frame().size.width / then->width,
                     sy = parent->frame().size.height / then->height;
        auto framesNow = model.getLayerOriginSizeArray();
        auto& f = framesNow[size_t(a)][size_t(l)];
        if (f.size() >= 4) {
            f[0] *= sx, f[1] *= sy, f[2] *= sx, f[3] *= sy;
            model.setLayerOriginSizeArray(std::move(framesNow));
            model.createOrUpdateLayerPath(layerAssetIndexAndVideoSelectedArray{false, a, l}, false, l, false);
        }
    }
    // A layer back in the project keeps its image file through the purge.
    if (fileURL)
        imageManipulationClass().markedImageNeedsToBeKept(positionOf(layer));
    QRN_LOG_OUT();
}

void undoRedoClass::setReorderLayerReplayHook(reorderLayerReplayHook hook) {
    reorderLayerHook = std::move(hook);
}
void undoRedoClass::setReorderAssetReplayHook(std::function<void(int, int)> hook) {
    reorderAssetHook = std::move(hook);
}
void undoRedoClass::setMoveAssetPreviewsForwardHook(std::function<void(int)> hook) {
    moveAssetPreviewsForwardHook = std::move(hook);
}
void undoRedoClass::setAssetDragStateClearHook(std::function<void()> hook) {
    assetDragStateClearHook = std::move(hook);
}
void undoRedoClass::setLayerSettingReplayHook(layerSettingReplayHook hook) {
    layerSettingHook = std::move(hook);
}
