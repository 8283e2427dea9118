#pragma once
#include <string>

// Opens a web page of ours in the desktop's browser; where no browser takes it, the presenter
// is told so with the address to visit. `page` names it in that message.
void openPageOrSay(const std::string& address, const std::string& page);

// The application menu's commands: the about box, preferences and the check for updates.
class QRNMenuClass {
  public:
    // Shows the about box as a modal window.
    void aboutQRN();
    void preferences();
    // Opens the download page for the installed version.
    void checkForUpdates();
};

// The Arrange menu: the two flips act like the layer-settings pane's flip icons; the rest only
// log.
class arrangeMenuClass {
  public:
    void bringForward();
    void bringToFront();
    void sendBackward();
    void sendToBack();
    void flipHorizontally();
    void flipVertically();
    void lock();
    void unlock();
    void group();
    void ungroup();
};

// The View menu: "Go To Studio" and "Go To Editor" switch screens as the title bars' buttons
// do; the guide command opens the acknowledgements page.
class viewMenuClass {
  public:
    // `sender` is the chosen menu item.
    void goToScreen(const void* sender);
    void QRNGuide();
};
