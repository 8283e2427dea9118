#pragma once
// The video settings window, as far as closing it reaches.
#include <functional>

class videoSettingsClass {
  public:
    // Closes the video settings window when it is open.
    void closeWindow();
    static void setCloseHandler(std::function<void()> handler);
};
