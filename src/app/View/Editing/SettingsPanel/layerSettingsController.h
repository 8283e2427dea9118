#pragma once
// The layer settings pane ("settingsView"): the tab menu along the top and the tab content below.
// The tab menu ("layerSettingsMenuView") is made once per process and highlights the tab that the
// last click chose.
#include <memory>

#include "platform/ui/view_controller.h"

class svgButtonClass;

class layerSettingsController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::View> parentView;
    std::shared_ptr<qrn::ui::View> layerSettingsMenu;
    std::shared_ptr<qrn::ui::View> layerSettingsView;

    static constexpr double menuHeight = 50;

  protected:
    void loadView() override;
    void viewWillAppear() override;
};

class layerSettingsMenuViewController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::View> backgroundView;
    std::shared_ptr<svgButtonClass> buttonLayerSettings;
    std::shared_ptr<svgButtonClass> buttonTextLayer;
    std::shared_ptr<svgButtonClass> buttonLayerFilters;

    // The tab buttons' actions: tab 0, 1 and 2; a shown tab moves the highlight to its button.
    void loadLayerSettings();
    void loadTextLayerSettings();
    void loadLayerFilters();
    // Takes the highlight off all three buttons.
    void iconsLooseColours();

  protected:
    void loadView() override;
    void viewDidLoad() override;

  private:
    void loadTab(int tab, svgButtonClass& button);
    void highlightFirstButton(int attempt);
};
