#pragma once
// The undo history: one linear list of editing actions, each with the values that put the
// state back before it (undo) and after it (redo), and the preview size of its moment. Putting
// an entry back into effect is the replay's job; the history only steps through the lists.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "platform/foundation/geometry.h"

class layerDataClass;
class assetDataClass;
class svgButtonClass;

// One value of an entry: the actions mix points, sizes, numbers, flags, colour components, image
// references and layer or asset snapshots. Their layout per action type is fixed by the replay.
using undoValue =
    std::variant<std::monostate, bool, int, double, qrn::Point, qrn::Size, std::vector<double>,
                 imageReferenceArray, std::shared_ptr<layerDataClass>, std::shared_ptr<assetDataClass>>;
using undoValueList = std::vector<undoValue>;

struct undoEntry {
    std::string actionType;
    // [video selected, asset index, layer index], any of them empty; empty for the actions that
    // carry their own positions.
    layerAssetIndexAndVideoSelectedArray context;
    undoValueList beforeValues;
};

class undoRedoClass {
  public:
    bool getUndoOn();
    bool getRedoOn();
    // Empties the history (the end of every import).
    void clearClass();
    void setValuesCompare(std::optional<undoValueList> valuesCompare);
    // 0 after a new action, 1 after an undo (only the undo side may switch off), 2 after a redo.
    void enableActionButtons(int buttonType);
    // Puts the entry at the current position back into effect (undo true: its before-values).
    void executeStackItemAction(const undoValueList& layerContent, bool undoAction);
    void actionDelay();
    void undo();
    void redo();
    // True means "nothing to record": equal values, or nothing stored to compare with. Without
    // a type it stores the before-values of a gesture's first step.
    bool compareValuesBeforeAndAfter(const undoValueList& values,
                                     const std::optional<std::string>& actionType);
    // Records an action after it changed the model (removals before they remove). A background
    // replacement also hands over the replaced layer as it was, so that undo brings back its own
    // original rectangle, lock and flips, which the replacement reset.
    void action(const std::string& actionType, const undoValueList& actionContentValue,
                const std::shared_ptr<layerDataClass>& replacedLayer = nullptr);

    // The editing screen's title-bar buttons; none until they are registered.
    static void setUndoRedoButtons(
        std::optional<std::pair<std::shared_ptr<svgButtonClass>, std::shared_ptr<svgButtonClass>>> buttons);
    // The replay puts entries back through this.
    static void setReplayHandler(
        std::function<void(const undoEntry& entry, const undoValueList& values, bool undoAction)> handler);

    // --- Entries recorded late (asset colours, handle drags)
    // A debounced entry still waiting: recorded (true) before another action keeps its values or
    // records, an undo or a redo, so that it lands in its place; dropped (false) when the history
    // is emptied. One hook per owner; an empty hook removes the owner's.
    static void setPendingEntryHook(const std::string& owner, std::function<void(bool record)> hook);

    // --- Replay (undoRedoClassReplay.cpp)
    // Drives the entry's change again in the operations' replay forms; records nothing. An entry
    // whose values are laid out otherwise, or whose positions are out of range, is skipped.
    static void replayEntry(const undoEntry& entry, const undoValueList& values, bool undoAction);
    // True while a replay runs: nothing is recorded then.
    static bool getReplaying();
    // Re-creates a layer from its snapshot (with a reference: only that is written back, and the
    // layer replaces the asset's background). Mode 0 a plain re-add, 2 a re-added duplicate's layer.
    void addLayerToPreview(const std::shared_ptr<layerDataClass>& layerDataObj, int duplicateLayer,
                           const std::optional<imageReferenceArray>& IMAGE_REFERENCE_ARRAY_VALUE);
    // The reorders and the layer settings put their own entries back through these; the reorder
    // of a layer gets (fromAssetIndex, toAssetIndex or none inside one asset, fromLayerInt,
    // toLayerIndex, newVideoLayerIndex), the settings (0 lock, 1 horizontal, 2 vertical flip,
    // context, value). Until set, the reorders do nothing and the settings act on the preview.
    using reorderLayerReplayHook =
        std::function<void(int fromAssetIndex, std::optional<int> toAssetIndex, int fromLayerInt,
                           int toLayerIndex, int newVideoLayerIndex)>;
    static void setReorderLayerReplayHook(reorderLayerReplayHook hook);
    static void setReorderAssetReplayHook(std::function<void(int from, int to)> hook);
    static void setMoveAssetPreviewsForwardHook(std::function<void(int assetIndex)> hook);
    static void setAssetDragStateClearHook(std::function<void()> hook);
    using layerSettingReplayHook = std::function<void(
        int setting, const layerAssetIndexAndVideoSelectedArray& layer, const qrn::Value& value)>;
    static void setLayerSettingReplayHook(layerSettingReplayHook hook);

    // The history as it stands, for the replay and for tests.
    static const std::vector<undoEntry>& getUndoList();
    static const std::vector<undoValueList>& getRedoList();
    static const std::vector<qrn::Size>& getPreviewSizeList();
    static int getUndoPosition();
    static const std::optional<undoValueList>& getValuesCompare();
};
