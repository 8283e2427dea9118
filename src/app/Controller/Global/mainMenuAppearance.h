#pragma once
// The one place that changes main-menu items: enabled, disabled, hidden or shown, per screen.
// Items are addressed by the exact titles of their top-level menu and of the item.
#include <string>

class mainMenuAppearance {
  public:
    void enableItem(const std::string& mainMenuName, const std::string& mainMenuItem);
    void disableItem(const std::string& mainMenuName, const std::string& mainMenuItem);
    void hideMenuItem(const std::string& mainMenuName, const std::string& mainMenuItem);
    void showMenuItem(const std::string& mainMenuName, const std::string& mainMenuItem);
    // Disables the plain items of the top-level menus 1 ... n - 3.
    void disableAllMenuOptions();
    void startUpMenu();
    // Adds the editor's items to whatever state the menu is in.
    void editorMenu();
    void studioMenu();
    void undoRedoMenu();
    void enableEditMenuItems();
    void disableEditMenuItems();
};
