#include "Controller/Global/mainMenuAppearance.h"

#include <functional>
#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/undoRedoClass.h"
#include "platform/ui/menu.h"

namespace {

const char* const editItems[] = {"Cut",           "Copy",
                                 "Paste",         "Paste and Match Style",
                                 "Delete",        "Select All",
                                 "Find",          "Spelling and Grammar",
                                 "Substitutions", "Transformations",
                                 "Speech"};

void withItem(const std::string& menuName, const std::string& itemName,
              const std::function<void(qrn::MenuItem&)>& change) {
    auto menu = qrn::mainMenu();
    if (!menu)
        return;
    auto top = menu->itemWithTitle(menuName);
    if (!top || !top->hasSubmenu())
        return;
    if (auto item = top->submenu()->itemWithTitle(itemName))
        change(*item);
}

// What the landing screen and the studio start from: everything off but New and Open.
void screenMenuBase(mainMenuAppearance& menu) {
    menu.disableAllMenuOptions();
    menu.enableItem("File", "New");
    menu.enableItem("File", "Open\u2026");
    for (const char* name : {"Find", "Spelling and Grammar", "Substitutions", "Transformations", "Speech"})
        menu.disableItem("Edit", name);
    menu.disableItem("Format", "Font");
    menu.disableItem("Format", "Text");
}

} // namespace

void mainMenuAppearance::enableItem(const std::string& mainMenuName, const std::string& mainMenuItem) {
    withItem(mainMenuName, mainMenuItem, [](qrn::MenuItem& item) { item.setEnabled(true); });
}

void mainMenuAppearance::disableItem(const std::string& mainMenuName, const std::string& mainMenuItem) {
    withItem(mainMenuName, mainMenuItem, [](qrn::MenuItem& item) { item.setEnabled(false); });
}

void mainMenuAppearance::hideMenuItem(const std::string& mainMenuName, const std::string& mainMenuItem) {
    withItem(mainMenuName, mainMenuItem, [](qrn::MenuItem& item) { item.setHidden(true); });
}

void mainMenuAppearance::showMenuItem(const std::string& mainMenuName, const std::string& mainMenuItem) {
    withItem(mainMenuName, mainMenuItem, [](qrn::MenuItem& item) { item.setHidden(false); });
}

void mainMenuAppearance::disableAllMenuOptions() {
    QRN_LOG_IN();
    auto menu = qrn::mainMenu();
    if (!menu)
        return;
    // The application menu and the last two (Window, Help) are never touched.
    for (int i = 1; i <= menu->count() - 3; ++i) {
        auto top = menu->itemAt(i);
        if (!top || !top->hasSubmenu())
            continue;
        for (const auto& item : top->submenu()->items())
            if (!item->isSeparator() && !item->hasSubmenu())
                item->setEnabled(false);
    }
}

void mainMenuAppearance::startUpMenu() {
    screenMenuBase(*this);
    hideMenuItem("View", "Go To Editor");
    hideMenuItem("Arrange", "Lock");
    hideMenuItem("Arrange", "Unlock");
    QRN_LOG_IN();
}

void mainMenuAppearance::editorMenu() {
    enableItem("File", "Close");
    enableItem("File", "Save\u2026");
    enableItem("File", "Save As\u2026");
    enableItem("View", "Go To Studio");
    enableItem("View", "Enter Full Screen");
    undoRedoMenu();
    // The studio disabled the flips; a layer or the camera picture that is still selected when
    // the editor comes back can be flipped again without being selected anew.
    if (previewLayerClass model; model.getSelectedLayer() || model.getVideoLayerSelected()) {
        enableItem("Arrange", "Flip Horizontally");
        enableItem("Arrange", "Flip Vertically");
    }
    QRN_LOG_IN();
}

void mainMenuAppearance::studioMenu() {
    screenMenuBase(*this);
    enableItem("File", "Close");
    enableItem("File", "Save\u2026");
    enableItem("File", "Save As\u2026");
    hideMenuItem("View", "Go To Studio");
    showMenuItem("View", "Go To Editor");
    enableItem("View", "Go To Editor");
    enableItem("View", "Enter Full Screen");
    QRN_LOG_IN();
}

void mainMenuAppearance::undoRedoMenu() {
    undoRedoClass undo;
    if (undo.getUndoOn())
        enableItem("Edit", "Undo");
    else
        disableItem("Edit", "Undo");
    if (undo.getRedoOn())
        enableItem("Edit", "Redo");
    else
        disableItem("Edit", "Redo");
    QRN_LOG_IN();
}

void mainMenuAppearance::enableEditMenuItems() {
    for (const char* name : editItems)
        enableItem("Edit", name);
}

void mainMenuAppearance::disableEditMenuItems() {
    for (const char* name : editItems)
        disableItem("Edit", name);
}
