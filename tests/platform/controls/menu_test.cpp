#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include "platform/qt/qt_menu.h"
#include "platform/ui/application.h"
#include "platform/ui/menu.h"
#include "platform/ui/window.h"

using namespace qrn;

TEST(Menu, ItemsAreFoundByTheirExactTitle) {
    auto bar = makeStandardMainMenu("QRN");
    for (const char* top : {"QRN", "File", "Edit", "Format", "View", "Arrange"})
        ASSERT_TRUE(bar->itemWithTitle(top) && bar->itemWithTitle(top)->hasSubmenu()) << top;
    EXPECT_EQ(bar->itemAt(0)->title(), "QRN");
    auto file = bar->itemWithTitle("File")->submenu();
    for (const char* t : {"New", "Open\u2026", "Close", "Save\u2026", "Save As\u2026"})
        EXPECT_TRUE(file->itemWithTitle(t)) << t;
    // Three full stops are not the ellipsis character; case matters.
    EXPECT_FALSE(file->itemWithTitle("Open..."));
    EXPECT_FALSE(file->itemWithTitle("new"));
    EXPECT_FALSE(file->itemWithTitle("Ne"));
    auto edit = bar->itemWithTitle("Edit")->submenu();
    for (const char* t :
         {"Undo", "Redo", "Cut", "Copy", "Paste", "Paste and Match Style", "Delete", "Select All", "Find",
          "Spelling and Grammar", "Substitutions", "Transformations", "Speech"})
        EXPECT_TRUE(edit->itemWithTitle(t)) << t;
    EXPECT_TRUE(edit->itemWithTitle("Find")->hasSubmenu());
    auto view = bar->itemWithTitle("View")->submenu();
    for (const char* t : {"Go To Editor", "Go To Studio", "Enter Full Screen"})
        EXPECT_TRUE(view->itemWithTitle(t)) << t;
    auto arrange = bar->itemWithTitle("Arrange")->submenu();
    for (const char* t : {"Lock", "Unlock", "Flip Horizontally", "Flip Vertically"})
        EXPECT_TRUE(arrange->itemWithTitle(t)) << t;
    auto format = bar->itemWithTitle("Format")->submenu();
    EXPECT_TRUE(format->itemWithTitle("Font") && format->itemWithTitle("Text"));
    // The application menu first and two menus after the managed ones.
    EXPECT_EQ(bar->count(), 8);
}

TEST(Menu, DisabledOrHiddenItemsDoNotActAndStatesAreNotAutomatic) {
    int runs = 0;
    auto menu = Menu::make("File");
    auto item = menu->addItem("New", [&](MenuItem&) { ++runs; });
    menu->addSeparator();
    EXPECT_FALSE(menu->autoenablesItems());
    EXPECT_TRUE(item->perform());
    item->setEnabled(false);
    EXPECT_FALSE(item->perform());
    EXPECT_FALSE(menu->showsEnabled(*item));
    item->setEnabled(true);
    item->setHidden(true);
    EXPECT_FALSE(item->perform());
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(menu->itemAt(1)->perform());
    EXPECT_EQ(menu->itemAt(5), nullptr);
}

TEST(Menu, QtMenuBarFollowsTheModel) {
    auto model = makeStandardMainMenu("QRN");
    int opened = 0;
    auto file = model->itemWithTitle("File")->submenu();
    auto open = file->itemWithTitle("Open\u2026");
    open->setAction([&](MenuItem&) { ++opened; });
    std::unique_ptr<QMenuBar> bar(makeQtMenuBar(model));

    QMenu* fileMenu = nullptr;
    for (QAction* a : bar->actions())
        if (a->text() == "File")
            fileMenu = a->menu();
    ASSERT_TRUE(fileMenu);
    QAction* openAction = nullptr;
    for (QAction* a : fileMenu->actions())
        if (a->text() == QString::fromUtf8("Open\u2026"))
            openAction = a;
    ASSERT_TRUE(openAction);

    openAction->trigger();
    EXPECT_EQ(opened, 1);
    open->setEnabled(false);
    EXPECT_FALSE(openAction->isEnabled());
    openAction->trigger();
    EXPECT_EQ(opened, 1);
    open->setHidden(true);
    EXPECT_FALSE(openAction->isVisible());

    // Items added later show up too.
    file->addItem("Export");
    bool found = false;
    for (QAction* a : fileMenu->actions())
        found = found || a->text() == "Export";
    EXPECT_TRUE(found);
}

namespace {

std::shared_ptr<MenuItem> standardItem(const std::shared_ptr<Menu>& bar, const char* menu, const char* item) {
    auto top = bar->itemWithTitle(menu);
    return top && top->hasSubmenu() ? top->submenu()->itemWithTitle(item) : nullptr;
}

} // namespace

TEST(Menu, StandardTextItemsGoToTheFocusedEditor) {
    auto bar = makeStandardMainMenu("QRN");
    auto& app = ui::Application::shared();
    std::vector<ui::EditCommand> sent;
    app.setEditCommandHandler([&](ui::EditCommand c) {
        sent.push_back(c);
        return true;
    });
    for (const char* title : {"Cut", "Copy", "Paste", "Paste and Match Style", "Delete", "Select All"})
        EXPECT_TRUE(standardItem(bar, "Edit", title)->perform()) << title;
    using ui::EditCommand;
    EXPECT_EQ(sent, (std::vector<EditCommand>{EditCommand::cut, EditCommand::copy, EditCommand::paste,
                                              EditCommand::pasteAndMatchStyle, EditCommand::deleteSelection,
                                              EditCommand::selectAll}));
    app.setEditCommandHandler(nullptr);
    // Without an editor nothing happens.
    EXPECT_FALSE(app.performEditCommand(EditCommand::copy));
    EXPECT_TRUE(standardItem(bar, "Edit", "Copy")->perform());
    // Items the application attaches itself still come without an action.
    for (const char* title : {"Undo", "Redo"})
        EXPECT_FALSE(standardItem(bar, "Edit", title)->hasAction()) << title;
    EXPECT_FALSE(standardItem(bar, "File", "New")->hasAction());
}

TEST(Menu, StandardWindowItemsActOnTheKeyWindow) {
    auto bar = makeStandardMainMenu("QRN");
    auto back = ui::Window::make(), key = ui::Window::make();
    back->makeKeyAndOrderFront();
    key->makeKeyAndOrderFront();
    ASSERT_EQ(ui::Window::keyWindow(), key.get());

    auto fullScreen = standardItem(bar, "View", "Enter Full Screen");
    fullScreen->perform();
    EXPECT_TRUE(key->isFullScreen());
    fullScreen->perform();
    EXPECT_FALSE(key->isFullScreen());
    standardItem(bar, "Window", "Zoom")->perform();
    EXPECT_TRUE(key->isZoomed());
    standardItem(bar, "Window", "Minimise")->perform();
    EXPECT_TRUE(key->isMiniaturized());
    EXPECT_FALSE(back->isFullScreen() || back->isZoomed() || back->isMiniaturized());
    back->close();
    key->close();
    // With no key window they do nothing.
    EXPECT_TRUE(fullScreen->perform());
}

TEST(Menu, HideTellsTheDelegateThenMinimisesEveryWindow) {
    struct Delegate : ui::ApplicationDelegate {
        std::vector<bool> minimisedWhenTold;
        std::vector<ui::WindowPtr> windows;
        void applicationWillHide() override {
            for (const auto& w : windows)
                minimisedWhenTold.push_back(w->isMiniaturized());
        }
    } delegate;
    auto& app = ui::Application::shared();
    app.setDelegate(&delegate);
    delegate.windows = {ui::Window::make(), ui::Window::make()};
    for (const auto& w : delegate.windows)
        w->makeKeyAndOrderFront();
    auto bar = makeStandardMainMenu("QRN");
    EXPECT_TRUE(standardItem(bar, "QRN", "Hide QRN")->perform());
    EXPECT_EQ(delegate.minimisedWhenTold, (std::vector<bool>{false, false}));
    for (const auto& w : delegate.windows) {
        EXPECT_TRUE(w->isMiniaturized());
        w->close();
    }
    app.setDelegate(nullptr);
}
