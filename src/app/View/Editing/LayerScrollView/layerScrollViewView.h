#pragma once
// One tile of the layer list. A click selects the tile's layer in the preview, then either opens
// the layer popover (Control held, or the right button) or starts the drag that reorders the
// list. Clicks do nothing while a project is being imported.
#include <functional>

#include "platform/ui/view.h"

class layerScrollViewView : public qrn::ui::View {
  public:
    using View::View;

    void mouseDown(const qrn::ui::Event& event) override;
    void rightMouseDown(const qrn::ui::Event& event) override;

    // The reorder drag of the list; each does nothing until its owner sets it.
    struct hooks {
        std::function<void(int tag)> setDraggedLayerTag;
        std::function<void(const qrn::ui::Event&, int)> dragLayerToDifferentLocationInScrollView;
    };
    static void setHooks(hooks given);

  private:
    bool selectLayer();
};
