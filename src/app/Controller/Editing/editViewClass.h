#pragma once
// The editing screen's logic, as far as the project model and its file reach it so far.
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
};
