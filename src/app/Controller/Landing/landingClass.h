#pragma once
// Opening a project folder and presenting the editing screen for it, from the landing screen,
// the recent projects, the File menu and open requests of the desktop.
#include <memory>
#include <string>

class landingController;

class landingClass {
  public:
    void setOpenExistingProject(bool openExistingProject);
    bool getOpenExistingProject();
    // Presents the editing screen ("viewLoader") from the landing screen registered last,
    // opening a main window first when there is none to present from.
    void loadViewLoader();
    // true: the editing screen is presented and loads the project. false: the project in the
    // stored project directory is imported into the editing screen already showing.
    void openExistingProjectWithPath(const std::string& path, bool loadViewLoaderValue);

    static void setLandingViewController(const std::shared_ptr<landingController>& controller);
    static std::shared_ptr<landingController> getLandingViewController();
};
