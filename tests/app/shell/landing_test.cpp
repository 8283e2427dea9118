#include <filesystem>
#include <fstream>

#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/bundleInformationClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Landing/landingButtonView.h"
#include "View/Landing/landingController.h"
#include "View/Landing/recentProjectView.h"
#include "platform/ui/application.h"
#include "platform/ui/cursor.h"
#include "platform/ui/menu.h"
#include "platform/ui/recent_documents.h"
#include "shell_fixture.h"

using namespace shelltest;

namespace {

class Landing : public ShellTest {
  protected:
    std::shared_ptr<landingController> landing() { return landingClass::getLandingViewController(); }
    qrn::ui::View& document() { return *landing()->recentProjectsScrollview()->documentView(); }
    std::vector<recentProjectView*> rows() {
        std::vector<recentProjectView*> out;
        for (auto& v : document().subviews())
            if (auto* row = dynamic_cast<recentProjectView*>(v.get()))
                out.push_back(row);
        return out;
    }
    std::string rowName(recentProjectView* row) {
        return dynamic_cast<qrn::ui::TextView*>(row->subviews().at(1).get())->string();
    }
};

} // namespace

TEST_F(Landing, StartsOnTheLandingScreenWithTheVersionAndTheStartUpMenu) {
    bundleInformationClass::setInfoForTesting(
        std::map<std::string, std::string>{{"CFBundleShortVersionString", "1.2"}});
    launch();
    ASSERT_NE(landing(), nullptr);
    EXPECT_EQ(shownScreenIdentifier(), "landingController");
    EXPECT_EQ(landing()->versionAndBuildNumbers()->stringValue(), "Version 1.2 Build unknown");
    EXPECT_EQ(persistentDataStorageClass().getVersionAndBuildText(), "Version 1.2 Build unknown");
    EXPECT_TRUE(landingViewIsVisible());
    mainWindow()->makeKeyAndOrderFront();
    EXPECT_EQ(persistentDataStorageClass().getActiveWindow(), "mainApp");
    // Nothing to set yet: Preferences shows as unavailable instead of doing nothing when chosen.
    auto preferences = qrn::mainMenu()->itemWithTitle("QRN")->submenu()->itemWithTitle("Preferences\u2026");
    ASSERT_TRUE(preferences);
    EXPECT_FALSE(preferences->isEnabled());

    bundleInformationClass::setInfoForTesting(std::map<std::string, std::string>{});
    EXPECT_EQ(bundleInformationClass().versionAndBuildLine(), "Version unknown Build unknown");
}

TEST_F(Landing, NeitherButtonActsUntilTwoSecondsAfterACancelledPanel) {
    launch();
    auto create = landing()->createNewProjectButton();
    auto open = landing()->openExistingProjectButton();
    // A double click: the second click lands while the first action is busy.
    click(*create, {150, 80});
    click(*create, {150, 80});
    EXPECT_EQ(savePanelsShown, 1);
    // The create panel was cancelled: both buttons wait out 2.0 s.
    advance(1.9);
    click(*create, {150, 80});
    click(*open, {150, 80});
    EXPECT_EQ(savePanelsShown, 1);
    EXPECT_EQ(openPanelsShown, 0);
    advance(0.2);
    click(*open, {150, 80});
    EXPECT_EQ(openPanelsShown, 1);
    // So does a cancelled open panel.
    click(*create, {150, 80});
    advance(1.9);
    click(*open, {150, 80});
    EXPECT_EQ(savePanelsShown, 1);
    EXPECT_EQ(openPanelsShown, 1);
    advance(0.2);
    click(*create, {150, 80});
    EXPECT_EQ(savePanelsShown, 2);
}

TEST_F(Landing, CreatingAProjectMakesThePackageAndPresentsANewProject) {
    const std::string path = dir.path().toStdString() + "/Demo.qrn3ks";
    std::filesystem::create_directories(path);
    {
        std::ofstream old(path + "/projectData.json");
        old << "{}";
    }
    launch();
    panelAnswers.push_back(path);
    landing()->createNewProject();
    EXPECT_TRUE(std::filesystem::is_directory(path + "/images"));
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), path);
    EXPECT_EQ(qrn::RecentDocuments::shared().documents().front(), path);
    advance(1.0);
    EXPECT_EQ(shownScreenIdentifier(), "viewLoader");
    EXPECT_FALSE(editViewClass::getEditorOpensExistingProject());
    EXPECT_TRUE(editViewClass().getEditViewSelected());
    // The new project's file replaces the old one.
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(path));
    EXPECT_EQ(mainWindow()->title(), "Demo");
}

TEST_F(Landing, AFailedCreateSaysWhyAndStaysOnTheLandingScreen) {
    // A file where the package should go: the folder cannot be made.
    const std::string path = dir.path().toStdString() + "/Blocked.qrn3ks";
    std::ofstream(path) << "x";
    launch();
    panelAnswers.push_back(path);
    landing()->createNewProject();
    advance(1.0);
    EXPECT_EQ(shownScreenIdentifier(), "landingController");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find(path), std::string::npos) << alerts[0];
    EXPECT_TRUE(landing()->getActionInProgress());
    advance(1.1);
    EXPECT_FALSE(landing()->getActionInProgress());
}

TEST_F(Landing, OpenPanelRefusesAnInvalidPackageAndOpensAValidOne) {
    const std::string broken = makeProject("Broken", false);
    const std::string talk = makeProject("Talk");
    launch();
    panelAnswers.push_back(broken);
    landing()->openExistingProject();
    EXPECT_EQ(alerts, std::vector<std::string>{"Project Failed to Load"});
    EXPECT_TRUE(qrn::RecentDocuments::shared().documents().empty());
    advance(2.1);

    panelAnswers.push_back(talk);
    landing()->openExistingProject();
    EXPECT_EQ(qrn::RecentDocuments::shared().documents().front(), talk);
    advance(1.0);
    EXPECT_EQ(shownScreenIdentifier(), "viewLoader");
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(imports[0], std::make_tuple(false, true, true));
    EXPECT_EQ(mainWindow()->title(), "Talk");
}

TEST_F(Landing, RecentListKeepsTheBandOfAMissingProjectAndNamesTheRest) {
    const std::string lecture = makeProject("Lecture");
    const std::string gone = makeProject("Gone");
    const std::string plan = makeProject("Plan.");
    auto& recent = qrn::RecentDocuments::shared();
    (void)recent.noteDocument(lecture);
    (void)recent.noteDocument(gone);
    (void)recent.noteDocument(plan);
    std::filesystem::remove_all(gone);
    launch();
    auto list = rows();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->frame(), qrn::Rect(1, 0, document().frame().width() - 17, 34));
    EXPECT_EQ(list[1]->frame().origin.y, 68);
    EXPECT_EQ(document().frame().height(), 102);
    EXPECT_EQ(rowName(list[0]), "Plan");
    EXPECT_EQ(rowName(list[1]), "Lecture");
    auto* name = dynamic_cast<qrn::ui::TextView*>(list[0]->subviews()[1].get());
    EXPECT_EQ(name->frame(), qrn::Rect(50, 7, list[0]->frame().width() - 50, 20));
    EXPECT_EQ(list[0]->subviews()[0]->frame(), qrn::Rect(15, 2, 30, 30));

    // A name longer than its row is cut at its end on one line.
    const std::string longName =
        makeProject("Quarterly results for the board, with every chart and the appendix");
    (void)recent.noteDocument(longName);
    landing()->fillRecentProjectsList(false);
    auto* cut = dynamic_cast<qrn::ui::TextView*>(rows().at(0)->subviews()[1].get());
    const std::string shown = cut->displayedText().string();
    EXPECT_LT(shown.size(), cut->string().size());
    EXPECT_EQ(shown.substr(shown.size() - 3), "\u2026");
    EXPECT_EQ(shown.find('\n'), std::string::npos);

    EXPECT_EQ(recentProjectDisplayName("/a/Lecture.qrn3ks"), "Lecture");
    EXPECT_EQ(recentProjectDisplayName("/a/Lecture.qrn3ks/"), "Lecture");
    EXPECT_EQ(recentProjectDisplayName("/a/Plan..qrn3ks"), "Plan");
    EXPECT_EQ(recentProjectDisplayName("/a/Notes"), "Notes");
}

TEST_F(Landing, ActivationRefillsTheListOnlyWhileTheLandingScreenShows) {
    launch();
    EXPECT_TRUE(rows().empty());
    (void)qrn::RecentDocuments::shared().noteDocument(makeProject("Later"));
    // A check-only fill does nothing once the list was built.
    landing()->fillRecentProjectsList(true);
    EXPECT_TRUE(rows().empty());
    qrn::ui::Application::shared().setActive(false);
    qrn::ui::Application::shared().setActive(true);
    EXPECT_EQ(rows().size(), 1u);

    (void)qrn::RecentDocuments::shared().noteDocument(makeProject("Hidden"));
    mainWindow()->orderOut();
    qrn::ui::Application::shared().setActive(false);
    qrn::ui::Application::shared().setActive(true);
    EXPECT_EQ(rows().size(), 1u);
}

TEST_F(Landing, ClearMenuEmptiesTheRecentListAndTheScreen) {
    (void)qrn::RecentDocuments::shared().noteDocument(makeProject("One"));
    launch();
    ASSERT_EQ(rows().size(), 1u);
    delegate.clearRecentDocuments();
    EXPECT_TRUE(qrn::RecentDocuments::shared().documents().empty());
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(document().frame().height(), 0);
}

TEST_F(Landing, ClickingARowOrItsNameOpensTheProject) {
    const std::string lecture = makeProject("Lecture");
    const std::string broken = makeProject("Broken", false);
    (void)qrn::RecentDocuments::shared().noteDocument(broken);
    (void)qrn::RecentDocuments::shared().noteDocument(lecture);
    launch();
    auto list = rows();
    ASSERT_EQ(list.size(), 2u);

    // A dead row alerts and leaves the screen free.
    click(*list[1], {200, 17});
    EXPECT_EQ(alerts, std::vector<std::string>{"Project Failed to Load"});
    EXPECT_FALSE(landing()->getActionInProgress());

    // A click on the name acts like one on the row.
    click(*list[0]->subviews()[1], {5, 5});
    EXPECT_EQ(persistentDataStorageClass().getProjectDirectory(), lecture);
    EXPECT_TRUE(landingClass().getOpenExistingProject());
    EXPECT_EQ(qrn::RecentDocuments::shared().documents().front(), lecture);
    advance(1.0);
    EXPECT_EQ(shownScreenIdentifier(), "viewLoader");
    EXPECT_TRUE(editViewClass::getEditorOpensExistingProject());
    EXPECT_EQ(imports.size(), 1u);
}

TEST_F(Landing, HoverTintsButtonsAndRowsWithThePointingHand) {
    (void)qrn::RecentDocuments::shared().noteDocument(makeProject("Hover"));
    launch();
    auto button = landing()->createNewProjectButton();
    EXPECT_EQ(button->trackingAreas().size(), 1u);
    button->mouseEntered(qrn::ui::Event::mouse(qrn::ui::EventType::MouseEntered, {1, 1}));
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::PointingHand);
    qrn::ui::TextField* label = nullptr;
    for (auto& v : button->subviews())
        if (auto* field = dynamic_cast<qrn::ui::TextField*>(v.get()))
            label = field;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textColour(), *qrn::namedColour("icon_colour_hover_dark", true));
    button->mouseExited(qrn::ui::Event::mouse(qrn::ui::EventType::MouseExited, {1, 1}));
    EXPECT_EQ(qrn::ui::Cursor::current(), qrn::ui::CursorShape::Arrow);
    EXPECT_EQ(label->textColour(), *qrn::namedColour("text_colour_dark_dark", true));
    // Drawing again adds no tracking area.
    (void)mainWindow()->snapshot(0);
    EXPECT_EQ(button->trackingAreas().size(), 1u);

    auto row = rows().at(0);
    EXPECT_EQ(row->trackingAreas().size(), 1u);
    row->mouseEntered(qrn::ui::Event::mouse(qrn::ui::EventType::MouseEntered, {1, 1}));
    auto* name = dynamic_cast<qrn::ui::TextView*>(row->subviews()[1].get());
    EXPECT_EQ(name->defaultTextColour(), *qrn::namedColour("icon_colour_hover_dark", true));
    row->mouseExited(qrn::ui::Event::mouse(qrn::ui::EventType::MouseExited, {1, 1}));
    EXPECT_EQ(name->defaultTextColour(), *qrn::namedColour("text_colour_dark_dark", true));
}
