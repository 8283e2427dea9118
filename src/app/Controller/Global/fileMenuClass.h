#pragma once
// The File menu: New, Open, Save and Save As, and the making of an empty project package.
#include <functional>
#include <string>

#include "platform/foundation/files.h"
#include "platform/ui/panels.h"

class persistentDataStorageClass;

class fileMenuClass {
  public:
    // Makes the package at `path` (an empty images folder, no projectData.json) and takes it as
    // the project folder. Throws qrnError with the file system's message on failure; false, after
    // telling the presenter, when the package there is open in another QRN and is left alone.
    [[nodiscard]] bool initialiseNewProjectDirectory(const std::string& path);
    void newProject();
    void open();
    // Writes the project and its texts now and shows " - saved" in the window title for 1 s; a
    // failed write is shown in an alert with the reason instead.
    void save();
    void saveAs(bool returnValue);
    // Writes the open project and its texts into the project folder now, after Save As put there
    // an empty package (the folder had gone: says that the pictures could not come along) or a
    // copy of files the folder had refused to update.
    static void saveFromMemory(persistentDataStorageClass& storage, bool folderGone);

    // The panels that ask for a new package and for a project to open.
    static qrn::FilePanelSettings newProjectPanelSettings();
    static qrn::FilePanelSettings openProjectPanelSettings(const std::string& message,
                                                           const std::string& prompt);
    // Notes a project folder among the recent documents (a failure is only logged).
    static void noteRecentDocument(const std::string& path);
    // Imports the project in the stored project directory into the editing screen already
    // showing, or says it cannot be loaded.
    static void importStoredProject();

    // --- Project packages (Save As and New)
    // Copies the folder beside `to` (an empty package when `from` has gone), then swaps it in for
    // whatever stands there; a failed copy leaves both places as they were. What `from` holds that
    // cannot be read and is not among `needed` (paths inside it) is left out, and returned.
    static qrn::Result<std::vector<qrn::files::LeftOut>>
    replacePackageWithCopy(const std::string& from, const std::string& to,
                           const std::optional<std::set<std::filesystem::path>>& needed = std::nullopt);
    // What a copy of the open project cannot do without: its three files, the pictures its layers
    // name and its takes, as paths inside its folder.
    static std::set<std::filesystem::path> projectFilesOf(const std::string& folder);
    // Gives the package folder the project icon where the desktop shows one (a .directory entry
    // naming an icon installed in the user's icon theme).
    static qrn::Status setPackageIcon(const std::string& path);

    // The editing screen gives a new project its first asset through this.
    static void setFirstAssetAdder(std::function<void()> adder);

    bool newFileNameAlreadyExists = false;
};
