#include "Model/undoRedoClass.h"

#include "Controller/Global/Model/assetDataClass.h"
#include "Controller/Global/Model/layerDataClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/view.h"

#include <map>

namespace {

std::optional<std::pair<std::shared_ptr<svgButtonClass>, std::shared_ptr<svgButtonClass>>> undoRedoButtons;
std::vector<undoEntry> undoList;
std::vector<undoValueList> redoList;
std::vector<qrn::Size> previewSizeList;
int undoPosition = 0;
std::optional<undoValueList> valuesCompare;
bool undoOn = false;
bool redoOn = false;
bool undoRedoBusy = false;
// A busy release from before a reset must not end the busy time of a later step.
qrn::GenerationCounter busyGeneration{10000};
std::function<void(const undoEntry&, const undoValueList&, bool)> replayHandler;
std::map<std::string, std::function<void(bool)>> pendingEntryHooks;

void settlePendingEntry(bool record) {
    // A hook may record, which must not settle again.
    auto hooks = std::exchange(pendingEntryHooks, {});
    for (auto& [owner, hook] : hooks)
        hook(record);
    hooks.merge(pendingEntryHooks);
    pendingEntryHooks = std::move(hooks);
}

const std::vector<std::string> gestureTypes{
    "dragLayerInVideoViewLayer",          "resizeLayer",     "rotateLayer",
    "layerBackToOriginalPositionAndSize", "cropVideoOrigin", "cropVideoSize"};
const std::vector<std::string> snapshotTypes{"addAsset", "removeAsset", "duplicateAsset",
                                             "addLayer", "removeLayer", "replaceBackgroundLayer"};
const std::vector<std::string> reorderTypes{"reorderLayerInSameAsset", "reorderLayerToDifferentAsset",
                                            "reorderAsset"};

bool among(const std::vector<std::string>& list, const std::string& type) {
    return std::find(list.begin(), list.end(), type) != list.end();
}

template <typename T> std::optional<T> element(const undoValueList& list, size_t i) {
    if (i >= list.size())
        return std::nullopt;
    if (const T* v = std::get_if<T>(&list[i]))
        return *v;
    return std::nullopt;
}

std::optional<int> intElement(const undoValueList& list, size_t i) {
    if (auto v = element<int>(list, i))
        return v;
    if (auto d = element<double>(list, i))
        return int(*d);
    return std::nullopt;
}

// Exact equality of the values that say whether a gesture moved anything.
bool samePoint(const undoValueList& a, const undoValueList& b, size_t i) {
    auto p = element<qrn::Point>(a, i), q = element<qrn::Point>(b, i);
    return p && q && p->x == q->x && p->y == q->y;
}
bool sameSize(const undoValueList& a, const undoValueList& b, size_t i) {
    auto p = element<qrn::Size>(a, i), q = element<qrn::Size>(b, i);
    return p && q && p->width == q->width && p->height == q->height;
}
bool sameNumber(const undoValueList& a, const undoValueList& b, size_t i) {
    auto p = element<double>(a, i), q = element<double>(b, i);
    return p && q && *p == *q;
}

qrn::Value optionalInt(std::optional<int> v) {
    return v ? qrn::Value(*v) : qrn::Value();
}

// [video selected, selected asset index, selected layer index]; the layer is left out when the
// video is selected (S) or when no layer is (L).
layerAssetIndexAndVideoSelectedArray selectionContext(bool layerAbsentWhenVideo, bool videoAsFalse) {
    previewLayerClass model;
    const bool video = model.getVideoLayerSelected();
    std::optional<int> layer;
    const bool absent = layerAbsentWhenVideo ? video : !model.getSelectedLayer().has_value();
    if (!absent)
        layer = model.getSelectedLayerIndex(false);
    return {qrn::Value(videoAsFalse ? false : video), qrn::Value(model.getSelectedAssetIndex()),
            optionalInt(layer)};
}

std::shared_ptr<layerDataClass> layerSnapshot(int layerIndex) {
    auto snapshot = std::make_shared<layerDataClass>();
    snapshot->assetIndex = previewLayerClass().getSelectedAssetIndex();
    snapshot->layerIndex = layerIndex;
    snapshot->fillObjectWithData();
    return snapshot;
}

// The same number of values, each of the same kind: an entry whose before- and after-values
// differ in layout could not be replayed.
bool sameLayout(const undoValueList& a, const undoValueList& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].index() != b[i].index())
            return false;
    return true;
}

// The image files a kept snapshot still names, so the purge leaves them for undo and redo.
bool snapshotNamesImage(const std::string& name, const std::string& ext) {
    auto names = [&](layerDataClass& layer) {
        const auto reference = layer.getImageReferenceArray();
        return reference.size() >= 3 && reference[0].isNumber() && reference[0].toInt() == 3 &&
               reference[1].isString() && reference[1].toString() == ext && reference[2].isString() &&
               reference[2].toString() == name;
    };
    auto inValues = [&](const undoValueList& values) {
        for (const auto& v : values) {
            if (auto* layer = std::get_if<std::shared_ptr<layerDataClass>>(&v);
                layer && *layer && names(**layer))
                return true;
            if (auto* asset = std::get_if<std::shared_ptr<assetDataClass>>(&v); asset && *asset)
                for (auto& l : (*asset)->LAYER_DATA_OBJECTS_ARRAY)
                    if (names(l))
                        return true;
        }
        return false;
    };
    for (const auto& entry : undoList)
        if (inValues(entry.beforeValues))
            return true;
    for (const auto& after : redoList)
        if (inValues(after))
            return true;
    return false;
}

// The item a step takes away as it is now, found where the entry put it; none when something
// else is there.
std::shared_ptr<layerDataClass> layerAsItIs(const undoValueList& values) {
    const auto* recorded =
        values.empty() ? nullptr : std::get_if<std::shared_ptr<layerDataClass>>(&values[0]);
    if (!recorded || !*recorded)
        return nullptr;
    const int a = (*recorded)->assetIndex.value_or(-1), l = (*recorded)->layerIndex.value_or(-1);
    const auto& rows = previewLayerClass().getLayerArrayReference();
    if (a < 0 || l < 0 || size_t(a) >= rows.size() || size_t(l) >= rows[size_t(a)].size() ||
        rows[size_t(a)][size_t(l)] != (*recorded)->layerString)
        return nullptr;
    auto now = std::make_shared<layerDataClass>();
    now->assetIndex = a;
    now->layerIndex = l;
    now->fillObjectWithData();
    return now;
}

std::shared_ptr<assetDataClass> assetAsItIs(const undoValueList& values) {
    const auto* recorded =
        values.empty() ? nullptr : std::get_if<std::shared_ptr<assetDataClass>>(&values[0]);
    if (!recorded || !*recorded || !(*recorded)->assetString)
        return nullptr;
    const auto& assets = previewLayerClass().getAssetArrayReference();
    const auto at = std::find(assets.begin(), assets.end(), *(*recorded)->assetString);
    const int index = int(at - assets.begin());
    if (at == assets.end() || index < 1)
        return nullptr;
    return std::make_shared<assetDataClass>(index, index, true);
}

// A script typed, a text restyled or a filter set records no entry of its own, so the copy an
// entry took when it was recorded may be older than the item. The step that takes the item
// away copies it as it is and keeps that for the step that brings it back.
void keepWhatTheStepTakesAway(bool undoAction) {
    const size_t at = size_t(undoPosition);
    if (at >= undoList.size())
        return;
    auto& before = undoList[at].beforeValues;
    auto& after = redoList[at];
    const std::string& type = undoList[at].actionType;
    const bool adds = type == "addAsset" || type == "duplicateAsset" || type == "addLayer";
    const bool removes = type == "removeAsset" || type == "removeLayer";
    if ((adds && undoAction) || (removes && !undoAction)) {
        const bool asset = type != "addLayer" && type != "removeLayer";
        undoValue now;
        if (asset) {
            if (auto copy = assetAsItIs(before))
                now = copy;
        } else if (auto copy = layerAsItIs(before)) {
            now = copy;
        }
        if (std::holds_alternative<std::monostate>(now) || after.empty())
            return;
        // One copy serves both directions, as when it was recorded; its places are in the
        // preview of this moment.
        before[0] = now;
        after[0] = now;
        if (auto parent = previewLayerClass().getParentPreviewView())
            previewSizeList[at] = parent->frame().size;
    } else if (type == "replaceBackgroundLayer") {
        // Either way the background there now gives way (same id, same place); its frame is put
        // back from the entry's own geometry, whatever the copy holds.
        auto& taken = undoAction ? after : before;
        if (auto copy = layerAsItIs(taken))
            taken[0] = copy;
    }
}

void setButton(const std::shared_ptr<svgButtonClass>& button, bool enabled) {
    if (button && button->svgIconObj())
        button->svgIconObj()->enableButton(enabled);
}

} // namespace

bool undoRedoClass::getUndoOn() {
    return undoOn;
}

bool undoRedoClass::getRedoOn() {
    return redoOn;
}

void undoRedoClass::setPendingEntryHook(const std::string& owner, std::function<void(bool)> hook) {
    if (hook)
        pendingEntryHooks[owner] = std::move(hook);
    else
        pendingEntryHooks.erase(owner);
}

void undoRedoClass::clearClass() {
    QRN_LOG_IN();
    settlePendingEntry(false);
    undoList.clear();
    redoList.clear();
    previewSizeList.clear();
    undoPosition = 0;
    valuesCompare.reset();
    undoRedoBusy = false;
    busyGeneration.increment();
    enableActionButtons(0);
}

void undoRedoClass::setValuesCompare(std::optional<undoValueList> values) {
    // What was kept belongs to an entry still waiting: it is recorded with them first.
    settlePendingEntry(true);
    valuesCompare = std::move(values);
}

void undoRedoClass::enableActionButtons(int buttonType) {
    QRN_LOG_IN(LogValues{{"buttonType", buttonType}});
    const int length = int(undoList.size());
    auto undoButton = undoRedoButtons ? undoRedoButtons->first : nullptr;
    auto redoButton = undoRedoButtons ? undoRedoButtons->second : nullptr;
    if (buttonType != 1 && undoPosition > 0) {
        setButton(undoButton, true);
        undoOn = true;
    } else if (undoPosition == 0) {
        setButton(undoButton, false);
        undoOn = false;
    }
    if (buttonType != 2 && undoPosition < length) {
        setButton(redoButton, true);
        redoOn = true;
    } else if (undoPosition == length) {
        setButton(redoButton, false);
        redoOn = false;
    }
    mainMenuAppearance().undoRedoMenu();
}

void undoRedoClass::executeStackItemAction(const undoValueList& layerContent, bool undoAction) {
    QRN_LOG_IN(LogValues{{"undoAction", undoAction}, {"undoPosition", undoPosition}});
    if (undoPosition < 0 || size_t(undoPosition) >= undoList.size())
        return;
    if (replayHandler)
        replayHandler(undoList[size_t(undoPosition)], layerContent, undoAction);
    else
        replayEntry(undoList[size_t(undoPosition)], layerContent, undoAction);
}

void undoRedoClass::actionDelay() {
    const int generation = busyGeneration.increment();
    qrn::MainQueue::after(0.25, [generation]() {
        if (busyGeneration.isCurrent(generation))
            undoRedoBusy = false;
    });
}

void undoRedoClass::undo() {
    QRN_LOG_IN(LogValues{{"undoPosition", undoPosition}, {"undoRedoBusy", undoRedoBusy}});
    settlePendingEntry(true);
    if (undoPosition == 0 || undoRedoBusy)
        return;
    undoRedoBusy = true;
    --undoPosition;
    keepWhatTheStepTakesAway(true);
    executeStackItemAction(undoList[size_t(undoPosition)].beforeValues, true);
    enableActionButtons(1);
    actionDelay();
}

void undoRedoClass::redo() {
    QRN_LOG_IN(LogValues{{"undoPosition", undoPosition}, {"undoRedoBusy", undoRedoBusy}});
    settlePendingEntry(true);
    if (undoList.empty() || undoRedoBusy || undoPosition == int(undoList.size()))
        return;
    undoRedoBusy = true;
    keepWhatTheStepTakesAway(false);
    executeStackItemAction(redoList[size_t(undoPosition)], false);
    ++undoPosition;
    enableActionButtons(2);
    actionDelay();
}

bool undoRedoClass::compareValuesBeforeAndAfter(const undoValueList& values,
                                                const std::optional<std::string>& actionType) {
    if (!actionType) {
        // A waiting entry is recorded before anything else keeps its values.
        settlePendingEntry(true);
        if (!valuesCompare)
            valuesCompare = values;
        return true;
    }
    if (!valuesCompare)
        return true;
    const undoValueList& before = *valuesCompare;
    const std::string& type = *actionType;
    if (type == "dragLayerInVideoViewLayer" || type == "cropVideoOrigin")
        return samePoint(before, values, 0);
    if (type == "resizeLayer" || type == "cropVideoSize")
        return sameSize(before, values, 0);
    if (type == "rotateLayer")
        return sameNumber(before, values, 0);
    if (type == "layerBackToOriginalPositionAndSize")
        return samePoint(before, values, 0) && sameSize(before, values, 1) && sameNumber(before, values, 2);
    return true;
}

void undoRedoClass::action(const std::string& actionType, const undoValueList& actionContentValue,
                           const std::shared_ptr<layerDataClass>& replacedLayer) {
    QRN_LOG_IN(LogValues{{"actionType", actionType}});
    if (!persistentDataStorageClass().getInProgressBool() || getReplaying())
        return;
    settlePendingEntry(true);
    undoEntry entry;
    entry.actionType = actionType;
    undoValueList after = actionContentValue;
    if (among(gestureTypes, actionType)) {
        if (compareValuesBeforeAndAfter(actionContentValue, actionType) ||
            !sameLayout(*valuesCompare, actionContentValue)) {
            valuesCompare.reset();
            return;
        }
        entry.context = selectionContext(true, false);
        entry.beforeValues = *valuesCompare;
    } else if (among(snapshotTypes, actionType)) {
        imageManipulationClass::setImageStillNeededCheck(snapshotNamesImage);
        const int index = intElement(actionContentValue, 0).value_or(-1);
        if (actionType == "addAsset" || actionType == "removeAsset") {
            auto snapshot = std::make_shared<assetDataClass>(index, index, true);
            entry.beforeValues = {snapshot};
            after = {snapshot};
        } else if (actionType == "duplicateAsset") {
            const int copy = intElement(actionContentValue, 1).value_or(index);
            auto snapshot = std::make_shared<assetDataClass>(index, copy, false);
            entry.beforeValues = {snapshot};
            after = {snapshot};
        } else {
            auto snapshot = layerSnapshot(index);
            if (actionType == "replaceBackgroundLayer") {
                // The replaced layer as it was, when the caller kept it; else the new one with the
                // old picture (its originals and lock are then the replacement's).
                auto old = replacedLayer ? std::make_shared<layerDataClass>(*replacedLayer) : snapshot;
                auto reference =
                    valuesCompare ? element<imageReferenceArray>(*valuesCompare, 0) : std::nullopt;
                if ((!reference || reference->empty()) && replacedLayer)
                    reference = replacedLayer->getImageReferenceArray();
                // A drop names the new picture in the model before it replaces the layer; the
                // kept layer names the old one, so the purge keeps its file for undo.
                if (replacedLayer && reference && !reference->empty())
                    old->IMAGE_REFERENCE_ARRAY = *reference;
                entry.beforeValues = {
                    old, reference.value_or(imageReferenceArray{}),
                    element<std::vector<double>>(actionContentValue, 1).value_or(std::vector<double>{})};
                std::vector<double> geometry = snapshot->getLayerOriginSizeArray();
                geometry.push_back(0);
                after = {snapshot, snapshot->getImageReferenceArray(), geometry};
            } else {
                entry.beforeValues = {snapshot};
                after = {snapshot};
            }
        }
    } else if (among(reorderTypes, actionType) || actionType == "changeAssetBackgroundColour" ||
               actionType == "layerAspectRatioLock" || actionType == "horizontalLayerFlip" ||
               actionType == "verticalLayerFlip") {
        // These take their before-values from the caller; without them, or with values laid out
        // otherwise, there is nothing Undo could put back.
        if (!valuesCompare || !sameLayout(*valuesCompare, actionContentValue)) {
            QRN_LOG_ERROR("No matching values from before " + actionType + "; nothing recorded");
            valuesCompare.reset();
            return;
        }
        entry.beforeValues = *valuesCompare;
        if (actionType == "changeAssetBackgroundColour")
            entry.context = {qrn::Value(false), qrn::Value(previewLayerClass().getSelectedAssetIndex()),
                             qrn::Value()};
        else if (actionType == "layerAspectRatioLock")
            entry.context = selectionContext(false, true);
        else if (actionType != "reorderLayerInSameAsset" && actionType != "reorderLayerToDifferentAsset" &&
                 actionType != "reorderAsset")
            entry.context = selectionContext(false, false);
    } else {
        valuesCompare.reset();
        return;
    }

    const int length = int(undoList.size());
    if (undoPosition != length && length > 0) {
        undoList.resize(size_t(undoPosition));
        redoList.resize(size_t(undoPosition));
        previewSizeList.resize(size_t(undoPosition));
    }
    valuesCompare.reset();
    undoList.push_back(std::move(entry));
    redoList.push_back(std::move(after));
    undoPosition = int(undoList.size());
    auto parent = previewLayerClass().getParentPreviewView();
    previewSizeList.push_back(parent ? parent->frame().size : qrn::Size{});
    enableActionButtons(0);
}

void undoRedoClass::setUndoRedoButtons(
    std::optional<std::pair<std::shared_ptr<svgButtonClass>, std::shared_ptr<svgButtonClass>>> buttons) {
    undoRedoButtons = std::move(buttons);
}

void undoRedoClass::setReplayHandler(
    std::function<void(const undoEntry&, const undoValueList&, bool)> handler) {
    replayHandler = std::move(handler);
}

const std::vector<undoEntry>& undoRedoClass::getUndoList() {
    return undoList;
}

const std::vector<undoValueList>& undoRedoClass::getRedoList() {
    return redoList;
}

const std::vector<qrn::Size>& undoRedoClass::getPreviewSizeList() {
    return previewSizeList;
}

int undoRedoClass::getUndoPosition() {
    return undoPosition;
}

const std::optional<undoValueList>& undoRedoClass::getValuesCompare() {
    return valuesCompare;
}
