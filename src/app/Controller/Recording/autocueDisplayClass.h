#pragma once
// The studio's autocue window, as far as closing it reaches.
#include <functional>

class autocueDisplayClass {
  public:
    // Closes the autocue window when it is open.
    void closeWindow();
    static void setCloseHandler(std::function<void()> handler);
};
