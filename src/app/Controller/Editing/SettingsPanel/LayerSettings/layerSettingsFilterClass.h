#pragma once
// The filters tab ("layerFilterView") of the layer settings pane: it hosts the selected layer's
// filter list, built afresh at every showing.
#include <memory>

#include "platform/ui/view_controller.h"

class layerSettingsFilterClass {
  public:
    void setTabView(std::shared_ptr<qrn::ui::View> view);
    // Adds the selected layer's filter list (never the camera's) to the tab.
    void initialiseViews();
};

class layerSettingsFilterController : public qrn::ui::ViewController {
  protected:
    void loadView() override;
    void viewDidLoad() override;
};
