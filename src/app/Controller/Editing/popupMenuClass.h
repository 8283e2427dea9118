#pragma once
// The editing screen's context menus: one shared transient popover beside the pointer, holding
// the layer menu, the asset menu or the delete-only menu, and the styling of their buttons.
#include <memory>
#include <string>

namespace qrn::ui {
class View;
class Popover;
struct Event;
} // namespace qrn::ui

class popupMenuClass {
  public:
    // Makes the shared popover when there is none.
    popupMenuClass();
    // Styles the buttons a menu hands over (each may be absent).
    popupMenuClass(std::shared_ptr<qrn::ui::View> duplicate, std::shared_ptr<qrn::ui::View> group,
                   std::shared_ptr<qrn::ui::View> remove);

    void initialiseDuplicateButton();
    void initialiseGroupButton();
    void initialiseDeleteButton();

    bool isPopoverDisplayed();
    // The menu already loaded is shown (or moved) at the event at once; another one is loaded
    // 0.2 s later, if no newer request came and the editing screen still shows.
    void showPopover(const qrn::ui::Event& event, const std::string& viewControllerIdentifier, int edge);
    // Shows the loaded menu at the event: edge 0 right of the pointer, 1 above, 2 left, else below.
    void displayPopover(const qrn::ui::Event& event, int edge);
    void closePopover();
    // Hides the anchor again.
    void popoverWillClose();

    // The identifier of the menu the popover holds ("" before the first).
    static std::string getLoadedIdentifier();
    static qrn::ui::Popover* getPopover();
    // Closes the popover and forgets the loaded menu and any menu waiting to load.
    static void clearClass();
};
