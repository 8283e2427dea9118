#pragma once
// The detached script-editor window, as far as the shell opens and closes it.
#include <functional>

class autocueClass {
  public:
    // Open: the window closes (its text goes back to the script pane). Closed: forceClose
    // false opens it, true does nothing.
    void displayAutocueWindow(bool forceClose);
    bool getScriptEditorWindowOpen();

    // The script pane shows and hides the window through this.
    static void setWindowHandler(std::function<void(bool open)> handler);
};
