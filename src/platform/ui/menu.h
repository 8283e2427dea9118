#pragma once
// Menus built in code: items with titles, enabled and hidden flags, separators, submenus and
// actions, and the application's main menu bar. The Qt bridge (qt/qt_menu.h) shows them.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qrn {

class Menu;

class MenuItem {
  public:
    using Action = std::function<void(MenuItem&)>;

    static std::shared_ptr<MenuItem> make(std::string title, Action action = {},
                                          std::string keyEquivalent = {});
    static std::shared_ptr<MenuItem> separator();

    // The title the program addresses the item by; what the menu shows may differ for a while
    // (a toggle's other state), without the item losing its name.
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    const std::string& shownTitle() const { return shownTitle_.empty() ? title_ : shownTitle_; }
    // Empty: the title again.
    void setShownTitle(std::string title);
    bool isSeparator() const { return separator_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    // Key equivalent in Qt's portable text ("Ctrl+N"), empty for none.
    const std::string& keyEquivalent() const { return keyEquivalent_; }
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    const std::shared_ptr<Menu>& submenu() const { return submenu_; }
    bool hasSubmenu() const { return submenu_ != nullptr; }
    void setSubmenu(std::shared_ptr<Menu> submenu);
    void setAction(Action action) { action_ = std::move(action); }
    bool hasAction() const { return static_cast<bool>(action_); }
    // Runs the action when the item is enabled, visible and has one; returns whether it ran.
    bool perform();

    // Called after any change of title or flags; the Qt bridge keeps its widgets current.
    void setChangeHandler(std::function<void(MenuItem&)> handler) { changed_ = std::move(handler); }

  private:
    void notify();
    std::string title_;
    std::string shownTitle_;
    std::string keyEquivalent_;
    bool separator_ = false;
    bool enabled_ = true;
    bool hidden_ = false;
    int tag_ = 0;
    std::shared_ptr<Menu> submenu_;
    Action action_;
    std::function<void(MenuItem&)> changed_;
};

class Menu {
  public:
    explicit Menu(std::string title = {}) : title_(std::move(title)) {}
    static std::shared_ptr<Menu> make(std::string title = {}) {
        return std::make_shared<Menu>(std::move(title));
    }

    const std::string& title() const { return title_; }
    const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }
    int count() const { return static_cast<int>(items_.size()); }
    std::shared_ptr<MenuItem> itemAt(int index) const;
    // Exact, case-sensitive match of the whole title; the first such item.
    std::shared_ptr<MenuItem> itemWithTitle(const std::string& title) const;
    int indexOf(const std::shared_ptr<MenuItem>& item) const;

    std::shared_ptr<MenuItem> addItem(std::shared_ptr<MenuItem> item);
    std::shared_ptr<MenuItem> addItem(std::string title, MenuItem::Action action = {}, std::string key = {});
    void addSeparator() { addItem(MenuItem::separator()); }
    // Adds an item titled `title` holding a new submenu of the same title; returns the submenu.
    std::shared_ptr<Menu> addSubmenu(const std::string& title);
    void insertItem(std::shared_ptr<MenuItem> item, int index);
    void removeItem(const std::shared_ptr<MenuItem>& item);

    // When on, items show enabled whenever they have an action, whatever their flag says. Menus
    // whose states the program sets itself keep it off (the default here).
    bool autoenablesItems() const { return autoenables_; }
    void setAutoenablesItems(bool on) { autoenables_ = on; }
    // The state an item shows, after automatic enabling.
    bool showsEnabled(const MenuItem& item) const;

    // Called when items are added or removed.
    void setStructureHandler(std::function<void(Menu&)> handler) { structureChanged_ = std::move(handler); }

  private:
    void notify();
    std::string title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
    bool autoenables_ = false;
    std::function<void(Menu&)> structureChanged_;
};

// The application's main menu (none until one is set).
std::shared_ptr<Menu> mainMenu();
void setMainMenu(std::shared_ptr<Menu> menu);

// The main menu bar with every title the screens address: the application menu, "File",
// "Edit", "Format", "View", "Arrange", "Window" and "Help". The application attaches actions by
// title; the standard ones come with theirs: "Hide <name>" hides the application, the Edit
// menu's text items (Cut ... Select All) go to the focused text editor, "Enter Full Screen",
// "Minimise" and "Zoom" act on the key window; while the key window is in full screen the
// first reads "Exit Full Screen".
std::shared_ptr<Menu> makeStandardMainMenu(const std::string& applicationName);

} // namespace qrn
