#include <filesystem>
#include <functional>
#include <set>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"
#include "Controller/Global/QRNMenuClass.h"
#include "Controller/Global/aboutClass.h"
#include "Controller/Global/bundleInformationClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Landing/landingClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Global/aboutController.h"
#include "View/Landing/landingController.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/menu.h"
#include "platform/ui/workspace.h"
#include "shell_fixture.h"

using namespace shelltest;

namespace {

const std::string dots = "\u2026";

std::shared_ptr<qrn::MenuItem> item(const std::string& menu, const std::string& title) {
    auto top = qrn::mainMenu()->itemWithTitle(menu);
    return top && top->hasSubmenu() ? top->submenu()->itemWithTitle(title) : nullptr;
}

// "Menu>Item" for every plain item of the middle menus that is enabled, disabled or hidden.
std::set<std::string> itemsWhere(const std::function<bool(const qrn::MenuItem&)>& test) {
    std::set<std::string> out;
    for (const auto& top : qrn::mainMenu()->items())
        if (top->hasSubmenu())
            for (const auto& i : top->submenu()->items())
                if (!i->isSeparator() && test(*i))
                    out.insert(top->title() + ">" + i->title());
    return out;
}

class Menus : public ShellTest {};

} // namespace

TEST_F(Menus, ScreenStatesEnableDisableAndHideExactlyTheirItems) {
    mainMenuAppearance menu;
    menu.startUpMenu();
    auto enabledMiddle = [](const qrn::MenuItem& i) { return i.isEnabled() && !i.hasSubmenu(); };
    std::set<std::string> landingEnabled = itemsWhere(enabledMiddle);
    // The application menu and the last two menus are left alone.
    auto leftAlone = [](const std::string& s) {
        return s.rfind("QRN>", 0) == 0 || s.rfind("Window>", 0) == 0 || s.rfind("Help>", 0) == 0;
    };
    for (const auto& top : {"QRN", "Window", "Help"})
        for (const auto& i : qrn::mainMenu()->itemWithTitle(top)->submenu()->items())
            EXPECT_TRUE(i->isSeparator() || i->isEnabled()) << top << ">" << i->title();
    std::erase_if(landingEnabled, leftAlone);
    EXPECT_EQ(landingEnabled, (std::set<std::string>{"File>New", "File>Open" + dots}));
    EXPECT_EQ(itemsWhere([](const qrn::MenuItem& i) { return i.isHidden(); }),
              (std::set<std::string>{"View>Go To Editor", "Arrange>Lock", "Arrange>Unlock"}));
    for (const char* name : {"Find", "Spelling and Grammar", "Substitutions", "Transformations", "Speech"})
        EXPECT_FALSE(item("Edit", name)->isEnabled()) << name;
    EXPECT_FALSE(item("Format", "Font")->isEnabled());
    // Submenus keep their own items' state.
    EXPECT_TRUE(item("Edit", "Find")->submenu()->itemAt(0)->isEnabled());

    // One recorded action: Undo available, Redo not.
    undoRedoClass history;
    history.setValuesCompare(undoValueList{1, 0});
    history.action("reorderAsset", {0, 1});
    menu.editorMenu();
    for (const std::string& on :
         std::vector<std::string>{"New", "Open" + dots, "Close", "Save" + dots, "Save As" + dots})
        EXPECT_TRUE(item("File", on)->isEnabled()) << on;
    EXPECT_TRUE(item("View", "Go To Studio")->isEnabled());
    EXPECT_TRUE(item("View", "Enter Full Screen")->isEnabled());
    EXPECT_TRUE(item("Edit", "Undo")->isEnabled());
    EXPECT_FALSE(item("Edit", "Redo")->isEnabled());
    EXPECT_TRUE(item("View", "Go To Editor")->isHidden());

    menu.studioMenu();
    EXPECT_TRUE(item("View", "Go To Studio")->isHidden());
    EXPECT_FALSE(item("View", "Go To Editor")->isHidden());
    EXPECT_TRUE(item("View", "Go To Editor")->isEnabled());
    EXPECT_FALSE(item("Edit", "Undo")->isEnabled());
    // Back to the editor: visibility stays as the studio left it.
    menu.startUpMenu();
    menu.editorMenu();
    EXPECT_TRUE(item("View", "Go To Studio")->isHidden());
    EXPECT_TRUE(item("Arrange", "Lock")->isHidden());
}

TEST_F(Menus, FlipsOfALayerStillSelectedComeBackWithTheEditor) {
    mainMenuAppearance menu;
    const auto flipsEnabled = [] {
        return item("Arrange", "Flip Horizontally")->isEnabled() &&
               item("Arrange", "Flip Vertically")->isEnabled();
    };
    menu.startUpMenu();
    menu.editorMenu();
    EXPECT_FALSE(flipsEnabled());
    previewLayerClass().setSelectedLayer(3);
    menu.studioMenu();
    EXPECT_FALSE(flipsEnabled());
    // Leaving the studio.
    menu.startUpMenu();
    menu.editorMenu();
    EXPECT_TRUE(flipsEnabled());
    previewLayerClass().setSelectedLayer(std::nullopt);
    previewLayerClass().setVideoLayerSelected(true);
    menu.studioMenu();
    menu.startUpMenu();
    menu.editorMenu();
    EXPECT_TRUE(flipsEnabled());
    previewLayerClass().setVideoLayerSelected(false);
}

TEST_F(Menus, ItemsAreAddressedByExactTitlesAndSmallMenusAreLeftAlone) {
    mainMenuAppearance menu;
    menu.disableItem("File", "Open...");
    EXPECT_TRUE(item("File", "Open" + dots)->isEnabled());
    menu.disableItem("Nowhere", "New");
    menu.disableItem("File", "new");
    EXPECT_TRUE(item("File", "New")->isEnabled());

    auto small = qrn::Menu::make("bar");
    for (const char* name : {"App", "File", "Help"})
        small->addSubmenu(name)->addItem("Item");
    qrn::setMainMenu(small);
    menu.disableAllMenuOptions();
    for (const auto& top : small->items())
        EXPECT_TRUE(top->submenu()->itemAt(0)->isEnabled());
}

TEST_F(Menus, EditTextItemsFollowTheActiveWindow) {
    launch();
    persistentDataStorageClass().setActiveWindow("scriptEditor");
    EXPECT_TRUE(item("Edit", "Cut")->isEnabled());
    EXPECT_TRUE(item("Edit", "Speech")->isEnabled());
    persistentDataStorageClass().setActiveWindow("editorView");
    EXPECT_FALSE(item("Edit", "Cut")->isEnabled());
    EXPECT_FALSE(item("Edit", "Select All")->isEnabled());
}

TEST_F(Menus, SaveFlashesTheTitleOnlyAndWritesHalfASecondLater) {
    const std::string demo = makeProject("Demo");
    launch();
    panelAnswers.push_back(demo);
    landingClass::getLandingViewController()->createNewProject();
    advance(1.0);
    auto* window = mainWindow();
    ASSERT_EQ(window->title(), "Demo");
    std::filesystem::remove(demo + "/projectData.json");

    fileMenuClass().save();
    EXPECT_EQ(window->title(), "Demo - saved");
    EXPECT_EQ(persistentDataStorageClass().getProjectName(), "Demo");
    advance(0.51);
    EXPECT_TRUE(std::filesystem::exists(demo + "/projectData.json"));
    advance(0.5);
    EXPECT_EQ(window->title(), "Demo");

    // Twice within the second: the name never picks up the mark.
    fileMenuClass().save();
    advance(0.5);
    fileMenuClass().save();
    advance(1.1);
    EXPECT_EQ(window->title(), "Demo");
    EXPECT_EQ(persistentDataStorageClass().getProjectName(), "Demo");

    // Save, then a new name (as Save As gives) within the second.
    fileMenuClass().save();
    persistentDataStorageClass().setProjectDirectory(makeProject("Talk"));
    advance(1.1);
    EXPECT_EQ(window->title(), "Talk");
}

TEST_F(Menus, CheckForUpdatesUsesTheSecondWordOrTheInstalledVersion) {
    persistentDataStorageClass().setVersionAndBuildText("Version 1.2 Build 7");
    QRNMenuClass().checkForUpdates();
    persistentDataStorageClass().setVersionAndBuildText("");
    QRNMenuClass().checkForUpdates();
    persistentDataStorageClass().setVersionAndBuildText("Version");
    QRNMenuClass().checkForUpdates();
    ASSERT_EQ(openedAddresses.size(), 3u);
    const std::string page = bundleInformationClass::downloadPageAddress();
    EXPECT_EQ(page.substr(page.size() - 9), "?version=");
    EXPECT_EQ(openedAddresses[0], page + "1.2");
    EXPECT_EQ(openedAddresses[1], page + bundleInformationClass().applicationVersion());
    EXPECT_EQ(openedAddresses[2], openedAddresses[1]);
    viewMenuClass().QRNGuide();
    viewMenuClass().QRNGuide();
    EXPECT_EQ(openedAddresses[3], bundleInformationClass::acknowledgementsPageAddress());
    EXPECT_EQ(openedAddresses[4], openedAddresses[3]);
    EXPECT_TRUE(alerts.empty());

    // No browser takes the page: the presenter is told, with the address, and nothing waits.
    qrn::setWebAddressOpenerForTesting([](const std::string&) { return false; });
    persistentDataStorageClass().setVersionAndBuildText("Version 1.2 Build 7");
    QRNMenuClass().checkForUpdates();
    viewMenuClass().QRNGuide();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_NE(alerts[0].find("download page"), std::string::npos);
    EXPECT_NE(alerts[0].find(page + "1.2"), std::string::npos);
    EXPECT_NE(alerts[1].find(bundleInformationClass::acknowledgementsPageAddress()), std::string::npos);
}

TEST_F(Menus, AboutIsModalFromTheLandingScreenTheEditorAndWithoutAWindow) {
    bundleInformationClass::setInfoForTesting(
        std::map<std::string, std::string>{{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", "7"}});
    auto showAbout = [&]() -> std::shared_ptr<aboutController> {
        QRNMenuClass().aboutQRN();
        auto about = std::dynamic_pointer_cast<aboutController>(aboutClass::getCurrentAboutController());
        if (!about || !about->window() || qrn::ui::Application::shared().modalWindow() != about->window())
            return nullptr;
        return about;
    };
    // No window at all.
    auto about = showAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->versionText()->stringValue(), "Version 1.2 Build 7");
    EXPECT_EQ(about->window()->title(), "");
    EXPECT_EQ(about->backgroundColourView()->layer()->backgroundColour(),
              *qrn::namedColour("background_colour_light_dark", true));
    about->acknowledgementsButton();
    about->licenseAgreementButton();
    EXPECT_EQ(openedAddresses,
              (std::vector<std::string>{bundleInformationClass::acknowledgementsPageAddress(),
                                        bundleInformationClass::termsPageAddress()}));
    EXPECT_TRUE(alerts.empty());
    // Without a browser the links say where to go instead of doing nothing.
    qrn::setWebAddressOpenerForTesting([](const std::string&) { return false; });
    about->acknowledgementsButton();
    about->licenseAgreementButton();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_NE(alerts[0].find(bundleInformationClass::acknowledgementsPageAddress()), std::string::npos);
    EXPECT_NE(alerts[1].find(bundleInformationClass::termsPageAddress()), std::string::npos);
    aboutClass().closeWindow();
    EXPECT_TRUE(about->window() == nullptr || about->window()->isClosed());
    // A closed window goes once nothing holds it.
    if (auto* window = about->window())
        qrn::ui::Application::shared().endModal(*window);

    launch();
    ASSERT_NE(showAbout(), nullptr);
    aboutClass().closeWindow();
    panelAnswers.push_back(makeProject("Demo"));
    landingClass::getLandingViewController()->createNewProject();
    advance(1.0);
    ASSERT_EQ(shownScreenIdentifier(), "viewLoader");
    auto fromEditor = showAbout();
    ASSERT_NE(fromEditor, nullptr);
    EXPECT_EQ(fromEditor->presentingViewController(), shownScreen());
}

TEST_F(Menus, UndoActsOnlyInTheEditorOutsideAnImportAndFlipsUseThePaneNumbers) {
    undoRedoClass history;
    for (int i = 0; i < 2; ++i) {
        history.setValuesCompare(undoValueList{1, 0});
        history.action("reorderAsset", {0, 1});
    }
    persistentDataStorageClass storage;
    storage.setActiveWindow("scriptEditor");
    delegate.menuUndo();
    storage.setActiveWindow("editorView");
    storage.setInProgressBool(false);
    delegate.menuUndo();
    EXPECT_EQ(undoRedoClass::getUndoPosition(), 2);
    storage.setInProgressBool(true);
    delegate.menuUndo();
    EXPECT_EQ(undoRedoClass::getUndoPosition(), 1);
    advance(0.3);
    delegate.menuRedo();
    EXPECT_EQ(undoRedoClass::getUndoPosition(), 2);

    std::vector<int> actions;
    layerSettingsValuesClass::setActionHandler([&](int n) { actions.push_back(n); });
    launch();
    item("Arrange", "Flip Horizontally")->setEnabled(true);
    item("Arrange", "Flip Vertically")->setEnabled(true);
    item("Arrange", "Flip Horizontally")->perform();
    item("Arrange", "Flip Vertically")->perform();
    item("Arrange", "Bring Forward")->perform();
    EXPECT_EQ(actions, (std::vector<int>{3, 4}));
}
