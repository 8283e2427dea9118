#pragma once
// The tool icons of the layer settings pane (revert, aspect-ratio lock, crop, lock, flips) for the
// selected layer or the camera picture, what each tool does, and the replay of their undo steps.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/value.h"

namespace qrn::ui {
class View;
class ViewController;
} // namespace qrn::ui
class svgIconClass;

// The tab's thumbnail and the six places the tool icons go into, in icon order.
struct layerSettingsValuesViewsRecord {
    std::shared_ptr<qrn::ui::ViewController> controller;
    std::shared_ptr<qrn::ui::View> layerImageView;
    std::shared_ptr<qrn::ui::View> revertView;
    std::shared_ptr<qrn::ui::View> aspectRatioResizeView;
    std::shared_ptr<qrn::ui::View> videoCropping;
    std::shared_ptr<qrn::ui::View> lockView;
    std::shared_ptr<qrn::ui::View> flipHorizontalView;
    std::shared_ptr<qrn::ui::View> flipVerticalView;
};

class layerSettingsValuesClass {
  public:
    // Icon positions in the icon list.
    enum icon { revertIcon = 0, aspectRatioIcon, cropIcon, lockIcon, flipHorizontalIcon, flipVerticalIcon };

    void setViews(std::optional<layerSettingsValuesViewsRecord> views);
    // Builds the thumbnail and the six icons for the current selection.
    void initialiseViews();
    bool getAssetChange();
    void setAssetChange(bool change);
    // Click tools: 0 aspect-ratio lock, 1 revert, 2 crop, 3 horizontal flip, 4 (or any other)
    // vertical flip. The Arrange menu's flips pass 3 and 4.
    void layerSettingOnclick(int number);
    // Replays "layerAspectRatioLock" (setting 0, the value), "horizontalLayerFlip" (1) and
    // "verticalLayerFlip" (2) on the layer the entry names, without recording.
    void undoRedoActionForLayerSetting(int setting, const std::optional<qrn::Value::List>& layer,
                                       const qrn::Value& value);
    std::vector<std::shared_ptr<svgIconClass>> getIconReferenceArray();
    void clearIconReferenceArray();
    // The revert puts the icons back: lock highlighted, flips (and the camera's crop) not.
    void iconsReverted(bool cameraPicture);

    // The editing screen's crop switch (toggles crop mode and its overlay while the camera is
    // selected). Until it is set the crop tool only toggles the model's crop state.
    static void setVideoCroppingEnabledHook(std::function<void()> hook);
    // A stand-in for the tools, for tests of the menus that only count the numbers.
    static void setActionHandler(std::function<void(int number)> handler);
};
