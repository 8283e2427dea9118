#pragma once
// The editing screen's logic, as far as the shell, the project model and its file reach it.
#include <functional>
#include <optional>
#include <vector>

class editViewClass {
  public:
    // [x, y, width, height] of the main preview view; [0, 0, 556, 313] while the editing screen
    // has not been set up.
    std::vector<double> getMainPreviewViewRectAsArray();

    // The editing screen reports its preview frame through this while it is shown.
    static void setMainPreviewViewRectSource(std::function<std::optional<std::vector<double>>()> source);

    // True while the editing screen is the shown screen.
    bool getEditViewSelected();
    // Entering the editing screen deletes the images marked for removal.
    void setEditViewSelected(bool selected);

    // Whether the editing screen presented next opens the project in the project directory
    // (true) or starts a new one (false).
    static void setEditorOpensExistingProject(bool opens);
    static bool getEditorOpensExistingProject();

    // true: the screen is no longer current and everything is reset; false keeps the screen
    // for a project about to be loaded into it. Both empty the model the same way.
    void clearClass(bool resetClass);
    // The editing screen drops its own views and state through this before the model clears.
    static void setScreenClearHandler(std::function<void(bool resetClass)> handler);
};
