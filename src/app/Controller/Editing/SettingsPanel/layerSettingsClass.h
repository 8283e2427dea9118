#pragma once
// The layer settings pane: its tab menu over three tabs (0 tool icons, 1 text, 2 filters), and
// the settings values of the video layer and of every layer (by asset, then layer), which the
// project only carries.
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/value.h"

namespace qrn::ui {
class View;
}

// The pane's three views: itself, the tab menu's place and the tab content's place.
struct layerSettingsHostViews {
    std::shared_ptr<qrn::ui::View> parentView;
    std::shared_ptr<qrn::ui::View> layerSettingsMenu;
    std::shared_ptr<qrn::ui::View> layerSettingsView;
};

class layerSettingsClass {
  public:
    qrn::Value::List getVideoSettings();
    void setVideoSettings(qrn::Value::List VIDEO_SETTINGS_ARRAY);
    std::vector<std::vector<qrn::Value::List>> getLayerSettings();
    void setLayerSettings(std::vector<std::vector<qrn::Value::List>> LAYER_SETTINGS_ARRAY);

    // --- Tabs
    // Each showing of the pane hands over its views.
    void setHostViews(std::optional<layerSettingsHostViews> views);
    // Puts the kept tab menu into the pane and shows the selected tab.
    void initialiseSettings();
    // Shows a tab, built afresh (none: the selected tab again). False without a pane, and for
    // the tab already shown.
    bool loadSettingsView(std::optional<int> selectedMenuItemValue);
    int getSelectedMenuItemValue();
    // Empties the tab content.
    void clearAnyDisplayedSettingsView();
    // A fresh process: no pane, tab 0.
    static void resetForTesting();
};
