#pragma once
// The tile of a regular asset in the asset strip. A click selects its asset; Control or the
// right button also opens the asset popover; a plain click starts the drag that reorders the
// strip.
#include <functional>
#include <memory>

#include "platform/ui/view.h"

class dragBackgroundViewView : public qrn::ui::View {
  public:
    using View::View;
    static std::shared_ptr<dragBackgroundViewView> makeDropView(const qrn::Rect& frame);

    void mouseDown(const qrn::ui::Event& event) override;
    void rightMouseDown(const qrn::ui::Event& event) override;

    // The strip's reorder drag; nothing until its owner sets it.
    struct hooks {
        std::function<void(int assetId)> setDraggedAsset;
        std::function<void(const qrn::ui::Event&, bool)> dragAssetToDifferentLocationInScrollView;
    };
    static void setHooks(hooks given);
};
