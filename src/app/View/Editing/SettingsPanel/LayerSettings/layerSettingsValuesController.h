#pragma once
// The tools tab ("layerSettingsView"): the selection's thumbnail and the six tool icons.
#include <memory>

#include "platform/ui/view_controller.h"

namespace qrn::ui {
class Button;
}

class layerSettingsValuesController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::View> layerImageView;
    std::shared_ptr<qrn::ui::Button> revertView;
    std::shared_ptr<qrn::ui::Button> aspectRatioResizeView;
    std::shared_ptr<qrn::ui::Button> videoCropping;
    std::shared_ptr<qrn::ui::Button> lockView;
    std::shared_ptr<qrn::ui::Button> flipHorizontalView;
    std::shared_ptr<qrn::ui::Button> flipVerticalView;

    void lockViewButton();
    void revertViewButton();
    void cropVideoButton();
    void flipHorizontalButton();
    void flipVerticalButton();
    // The layer lock is not offered: its button does nothing.
    void lockLayerButton();

  protected:
    void loadView() override;
    void viewWillAppear() override;
    void viewWillDisappear() override;
};
