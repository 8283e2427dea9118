#pragma once
// The editing screen's right-hand settings panel: which pane it shows (0 symbols, 1 script,
// 2 layer settings), the pane controllers it keeps between showings, and the one tab menu of the
// layer settings pane, which lives for the whole process.
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"

class settingsViewClass {
  public:
    settingsViewClass() = default;
    // Takes the panel's container (bordered, its subviews resizing with it) and makes the tab
    // menu the first time.
    explicit settingsViewClass(const std::shared_ptr<qrn::ui::View>& container);

    // Sets the pane number without showing anything.
    void setSelectedViewNumber(int viewNumber);
    int getSelectedViewNumber();
    // The studio empties the three slots so that the panes are built afresh afterwards.
    void setViewReferenceArray(std::vector<qrn::ui::ViewControllerPtr> VIEW_REFERENCE_ARRAY);
    std::vector<qrn::ui::ViewControllerPtr> getViewReferenceArray();
    // Shows a pane (none: the selected one again, rebuilding what it shows). False before the
    // container is known, and for the pane already shown while its controller is kept.
    bool loadSettingsView(std::optional<int> viewNumber);
    qrn::ui::ViewControllerPtr getLayerSettingsViewReference();

    // The panes' scenes, as the application registers them at start-up.
    static void registerScenes();
    // Joins the panel to the editing screen's preview and editing logic (selection reloads,
    // icon resets, picker frames for drops, the script pane's text).
    static void connectEditingScreen();
    // Everything of the panel (the tab menu excepted) as a fresh process has it, hooks included.
    static void resetForTesting();
    // The container and the panes only.
    static void resetPanelForTesting();
};
