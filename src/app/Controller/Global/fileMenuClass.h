#pragma once
// The File menu: New, Open, Save and Save As, and the making of an empty project package.
#include <functional>
#include <string>

class fileMenuClass {
  public:
    // Makes the package at `path` (an empty images folder, no projectData.json) and takes it as
    // the project folder. Throws qrnError with the file system's message on failure.
    void initialiseNewProjectDirectory(const std::string& path);
    void newProject();
    void open();
    // Writes the project half a second later and shows " - saved" in the window title for 1 s.
    void save();
    void saveAs(bool returnValue);

    // The editing screen gives a new project its first asset through this.
    static void setFirstAssetAdder(std::function<void()> adder);

    bool newFileNameAlreadyExists = false;
};
