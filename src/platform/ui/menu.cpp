#include "platform/ui/menu.h"

#include <algorithm>
#include <filesystem>

#include "platform/foundation/main_queue.h"
#include "platform/ui/application.h"
#include "platform/ui/panels.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/window.h"

namespace qrn {

std::shared_ptr<MenuItem> MenuItem::make(std::string title, Action action, std::string keyEquivalent) {
    auto item = std::make_shared<MenuItem>();
    item->title_ = std::move(title);
    item->action_ = std::move(action);
    item->keyEquivalent_ = std::move(keyEquivalent);
    return item;
}

std::shared_ptr<MenuItem> MenuItem::separator() {
    auto item = std::make_shared<MenuItem>();
    item->separator_ = true;
    item->enabled_ = false;
    return item;
}

void MenuItem::notify() {
    if (changed_)
        changed_(*this);
}

void MenuItem::setTitle(std::string title) {
    title_ = std::move(title);
    notify();
}

void MenuItem::setShownTitle(std::string title) {
    if (shownTitle_ == title)
        return;
    shownTitle_ = std::move(title);
    notify();
}

void MenuItem::setEnabled(bool enabled) {
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    notify();
}

void MenuItem::setHidden(bool hidden) {
    if (hidden_ == hidden)
        return;
    hidden_ = hidden;
    notify();
}

void MenuItem::setSubmenu(std::shared_ptr<Menu> submenu) {
    submenu_ = std::move(submenu);
    notify();
}

bool MenuItem::perform() {
    if (!enabled_ || hidden_ || separator_ || !action_)
        return false;
    // The action may replace itself; keep this one alive while it runs.
    Action action = action_;
    action(*this);
    return true;
}

std::shared_ptr<MenuItem> Menu::itemAt(int index) const {
    if (index < 0 || index >= count())
        return nullptr;
    return items_[static_cast<size_t>(index)];
}

std::shared_ptr<MenuItem> Menu::itemWithTitle(const std::string& title) const {
    for (const auto& item : items_)
        if (!item->isSeparator() && item->title() == title)
            return item;
    return nullptr;
}

int Menu::indexOf(const std::shared_ptr<MenuItem>& item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void Menu::notify() {
    if (structureChanged_)
        structureChanged_(*this);
}

std::shared_ptr<MenuItem> Menu::addItem(std::shared_ptr<MenuItem> item) {
    items_.push_back(item);
    notify();
    return item;
}

std::shared_ptr<MenuItem> Menu::addItem(std::string title, MenuItem::Action action, std::string key) {
    return addItem(MenuItem::make(std::move(title), std::move(action), std::move(key)));
}

std::shared_ptr<Menu> Menu::addSubmenu(const std::string& title) {
    auto sub = Menu::make(title);
    auto item = MenuItem::make(title);
    item->setSubmenu(sub);
    addItem(item);
    return sub;
}

void Menu::insertItem(std::shared_ptr<MenuItem> item, int index) {
    index = std::clamp(index, 0, count());
    items_.insert(items_.begin() + index, std::move(item));
    notify();
}

void Menu::removeItem(const std::shared_ptr<MenuItem>& item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end())
        return;
    items_.erase(it);
    notify();
}

bool Menu::showsEnabled(const MenuItem& item) const {
    if (item.isSeparator())
        return false;
    if (autoenables_ && (item.hasAction() || item.hasSubmenu()))
        return true;
    return item.isEnabled();
}

namespace {
std::shared_ptr<Menu>& mainMenuSlot() {
    static std::shared_ptr<Menu> menu;
    return menu;
}
} // namespace

std::shared_ptr<Menu> mainMenu() {
    return mainMenuSlot();
}
void setMainMenu(std::shared_ptr<Menu> menu) {
    mainMenuSlot() = std::move(menu);
}

namespace {

MenuItem::Action editCommand(ui::EditCommand command) {
    return [command](MenuItem&) { ui::Application::shared().performEditCommand(command); };
}

MenuItem::Action onKeyWindow(void (ui::Window::*operation)()) {
    return [operation](MenuItem&) {
        if (ui::Window* key = ui::Window::keyWindow())
            (key->*operation)();
    };
}

// Full screen is the window the others belong to: window managers give a window that belongs to
// another (the autocue, the script window) no full screen of its own, so F11 while one of them
// has the keyboard takes the main window in or out of full screen instead of doing nothing.
template <typename AnyWindow> AnyWindow* fullScreenWindowFor(AnyWindow* key) {
    for (auto parent = key ? key->parentWindow() : nullptr; parent; parent = parent->parentWindow())
        key = parent.get();
    return key;
}

// What the File menu calls a recent document: its folder's name without the package extension.
std::string recentTitle(const std::filesystem::path& document) {
    return withoutPackageExtension(document.filename().string());
}

// The documents of the recent list that are still there, above a separator and "Clear Menu";
// choosing one asks the application to open it, as a file handed over by the desktop.
void fillRecentDocuments(Menu& menu, const std::shared_ptr<MenuItem>& clear) {
    while (menu.count() > 0 && menu.itemAt(0) != clear)
        menu.removeItem(menu.itemAt(0));
    int at = 0;
    for (const auto& document : RecentDocuments::shared().documents()) {
        std::error_code error;
        if (!std::filesystem::exists(document, error))
            continue;
        const std::string path = document.string();
        menu.insertItem(MenuItem::make(recentTitle(document),
                                       [path](MenuItem&) { ui::Application::shared().openFiles({path}); }),
                        at++);
    }
    if (at > 0)
        menu.insertItem(MenuItem::separator(), at);
}

} // namespace

std::shared_ptr<Menu> makeStandardMainMenu(const std::string& applicationName) {
    using ui::EditCommand;
    const std::string ellipsis = "\u2026";
    auto bar = Menu::make();

    auto app = bar->addSubmenu(applicationName);
    app->addItem("About " + applicationName);
    app->addItem("Preferences" + ellipsis, {}, "Ctrl+,");
    app->addItem("Check for Updates" + ellipsis);
    app->addSeparator();
    app->addItem(
        "Hide " + applicationName, [](MenuItem&) { ui::Application::shared().hide(); }, "Ctrl+H");
    app->addSeparator();
    app->addItem("Quit " + applicationName, {}, "Ctrl+Q");

    auto file = bar->addSubmenu("File");
    file->addItem("New", {}, "Ctrl+N");
    file->addItem("Open" + ellipsis, {}, "Ctrl+O");
    auto recent = file->addSubmenu("Open Recent");
    auto clearRecent = recent->addItem("Clear Menu");
    fillRecentDocuments(*recent, clearRecent);
    // Refilled once the call that changed the list is over: an item of the menu may be running.
    RecentDocuments::shared().setChangeHandler(
        [weakMenu = std::weak_ptr<Menu>(recent), weakClear = std::weak_ptr<MenuItem>(clearRecent)] {
            MainQueue::after(0, [weakMenu, weakClear] {
                if (auto menu = weakMenu.lock())
                    if (auto clear = weakClear.lock())
                        fillRecentDocuments(*menu, clear);
            });
        });
    file->addSeparator();
    file->addItem("Close", {}, "Ctrl+W");
    file->addItem("Save" + ellipsis, {}, "Ctrl+S");
    file->addItem("Save As" + ellipsis, {}, "Ctrl+Shift+S");

    auto edit = bar->addSubmenu("Edit");
    edit->addItem("Undo", {}, "Ctrl+Z");
    edit->addItem("Redo", {}, "Ctrl+Shift+Z");
    edit->addSeparator();
    // The text items act on the focused text editor, as its own keys do.
    edit->addItem("Cut", editCommand(EditCommand::cut), "Ctrl+X");
    edit->addItem("Copy", editCommand(EditCommand::copy), "Ctrl+C");
    edit->addItem("Paste", editCommand(EditCommand::paste), "Ctrl+V");
    edit->addItem("Paste and Match Style", editCommand(EditCommand::pasteAndMatchStyle), "Ctrl+Alt+Shift+V");
    edit->addItem("Delete", editCommand(EditCommand::deleteSelection));
    edit->addItem("Select All", editCommand(EditCommand::selectAll), "Ctrl+A");
    edit->addSeparator();
    auto find = edit->addSubmenu("Find");
    find->addItem("Find" + ellipsis, {}, "Ctrl+F");
    find->addItem("Find Next", {}, "Ctrl+G");
    find->addItem("Find Previous", {}, "Ctrl+Shift+G");
    auto spelling = edit->addSubmenu("Spelling and Grammar");
    spelling->addItem("Check Document Now");
    auto substitutions = edit->addSubmenu("Substitutions");
    substitutions->addItem("Smart Quotes");
    substitutions->addItem("Smart Dashes");
    auto transformations = edit->addSubmenu("Transformations");
    transformations->addItem("Make Upper Case");
    transformations->addItem("Make Lower Case");
    transformations->addItem("Capitalise");
    auto speech = edit->addSubmenu("Speech");
    speech->addItem("Start Speaking");
    speech->addItem("Stop Speaking");

    auto format = bar->addSubmenu("Format");
    auto font = format->addSubmenu("Font");
    font->addItem("Show Fonts", {}, "Ctrl+T");
    font->addItem("Bold", {}, "Ctrl+B");
    font->addItem("Italic", {}, "Ctrl+I");
    font->addItem("Underline", {}, "Ctrl+U");
    auto text = format->addSubmenu("Text");
    text->addItem("Align Left");
    text->addItem("Centre");
    text->addItem("Align Right");

    auto view = bar->addSubmenu("View");
    view->addItem("Go To Editor");
    view->addItem("Go To Studio");
    view->addSeparator();
    auto fullScreen = view->addItem(
        "Enter Full Screen",
        [](MenuItem&) {
            if (ui::Window* window = fullScreenWindowFor(ui::Window::keyWindow()))
                window->toggleFullScreen();
        },
        "F11");
    ui::Window::setFullScreenObserver([weak = std::weak_ptr<MenuItem>(fullScreen)](const ui::Window* key) {
        const ui::Window* window = fullScreenWindowFor(key);
        if (auto item = weak.lock())
            item->setShownTitle(window && window->isFullScreen() ? "Exit Full Screen" : "");
    });
    view->addSeparator();
    view->addItem(applicationName + " Guide");

    auto arrange = bar->addSubmenu("Arrange");
    arrange->addItem("Bring Forward");
    arrange->addItem("Bring to Front");
    arrange->addItem("Send Backward");
    arrange->addItem("Send to Back");
    arrange->addSeparator();
    arrange->addItem("Flip Horizontally");
    arrange->addItem("Flip Vertically");
    arrange->addSeparator();
    arrange->addItem("Lock");
    arrange->addItem("Unlock");
    arrange->addSeparator();
    arrange->addItem("Group");
    arrange->addItem("Ungroup");

    auto window = bar->addSubmenu("Window");
    window->addItem("Minimise", onKeyWindow(&ui::Window::miniaturize), "Ctrl+M");
    window->addItem("Zoom", onKeyWindow(&ui::Window::zoom));

    bar->addSubmenu("Help");
    return bar;
}

} // namespace qrn
