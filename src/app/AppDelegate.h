#pragma once
// The application delegate: start-up on the landing screen, projects handed over by the
// desktop (the command line or a later launch), the main menu's commands, and the clean-up at
// the end.
#include <string>
#include <vector>

#include "platform/ui/application.h"

class AppDelegate : public qrn::ui::ApplicationDelegate {
  public:
    void applicationWillFinishLaunching() override;
    void applicationDidFinishLaunching() override;
    bool applicationShouldTerminateAfterLastWindowClosed() override { return true; }
    // While the latest write of the project failed, asks whether to try again first.
    bool applicationShouldTerminate() override;
    void applicationWillTerminate() override;
    void applicationWillHide() override;
    // Several at once: the last one is opened.
    void applicationOpenFiles(const std::vector<std::string>& paths) override;
    // Opens the project package at `path` or says why it cannot; always true.
    bool application(const std::string& path);

    void menuUndo();
    void menuRedo();
    void clearRecentDocuments();

    // The screens and windows the application makes by name.
    static void registerScenes();
    // Gives the main menu's items their commands.
    void connectMenuActions();
};
