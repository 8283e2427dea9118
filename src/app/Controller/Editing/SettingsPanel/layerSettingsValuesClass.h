#pragma once
// The layer-settings pane's tool actions, by number, as the Arrange menu runs them.
#include <functional>

class layerSettingsValuesClass {
  public:
    // 3 flips the selected layer (or the video) horizontally, 4 vertically.
    void layerSettingOnclick(int number);
    static void setActionHandler(std::function<void(int number)> handler);
};
