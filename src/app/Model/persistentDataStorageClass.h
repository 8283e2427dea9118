#pragma once
// Run-time state of the program around the open project (its folder and name, the active
// window, the block on user actions while a project is imported) and the project file.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/json.h"
#include "platform/foundation/result.h"
#include "platform/foundation/value.h"

class editViewClass;
namespace qrn::ui {
class ViewController;
}

// The main window as far as saving needs it: a write gives back the resizable flag that an
// import takes away.
class projectMainWindow {
  public:
    virtual ~projectMainWindow() = default;
    virtual void setResizable(bool resizable) = 0;
    virtual bool isResizable() const = 0;
    // The controller the window shows; null when it shows none (or in tests without windows).
    virtual std::shared_ptr<qrn::ui::ViewController> contentViewController() const { return nullptr; }
    virtual void setTitle(const std::string&) {}
};

// The screen that shows the project: its window carries the project's name as title.
class projectViewController {
  public:
    virtual ~projectViewController() = default;
    virtual bool hasWindow() const = 0;
    virtual void setWindowTitle(const std::string& title) = 0;
};

class persistentDataStorageClass {
  public:
    // Stores the name; the Edit menu's text items are enabled only for "scriptEditor".
    void setActiveWindow(const std::string& windowTitle);
    // Empty until a window has named itself.
    std::string getActiveWindow();
    void setMainWindow(std::shared_ptr<projectMainWindow> window);
    std::shared_ptr<projectMainWindow> getMainWindow();
    void setViewController(std::shared_ptr<projectViewController> controller);
    std::shared_ptr<projectViewController> getViewController();

    // Takes the package folder as the project directory and its name, less ".qrn3ks", as the
    // project name (and window title).
    void setProjectDirectory(const std::string& path);
    std::string getProjectDirectory();
    std::string getProjectName();
    void setProjectName(const std::string& name);

    // True while user actions may change the model; false only during a blocking import.
    bool getInProgressBool();
    void setInProgressBool(bool allowed);
    // The stored layer ids an import is re-creating; empty outside an import.
    // Both read in place (valid until set again): every layer of an import asks.
    const std::vector<std::vector<std::string>>& getTempLayerArray();
    void setTempLayerArray(std::optional<std::vector<std::vector<std::string>>> layers);
    const std::vector<std::optional<std::string>>& getTempFirstLayerAboveVideoArray();
    void setTempFirstLayerAboveVideoArray(std::optional<std::vector<std::optional<std::string>>> layers);

    // The one editing-logic object kept for the whole run.
    editViewClass& getEditViewClassInstance();

    qrn::AttributedString getProjectNotes();
    void setProjectNotes(qrn::AttributedString notes);

    std::optional<std::string> getVersionAndBuildText();
    void setVersionAndBuildText(std::optional<std::string> text);

    // The project file. false writes projectData.json now; true writes it half a second after
    // the last call, any later call superseding it. The result tells whether the file was
    // written (true for a scheduled write).
    bool exportData(bool delayedExecution);
    // Save: projectData.json, then autocueData.json and specialSymbolData.json, written now. The
    // error names the file that could not be written and why; when projectData.json cannot be
    // written (the project failed to load, or a value the file cannot hold) nothing is.
    qrn::Status saveProject();
    // Writes a pending delayed write now (before the program ends or another project opens).
    void flushPendingExport();
    // While set (a project failed to load) nothing is written. A model without the asset "0"
    // is never written either.
    void setProjectLoadFailed(bool failed);
    bool getProjectLoadFailed();
    // The generation of the latest exportData call: 0 ... 9999, then 0 again.
    int getExportGeneration();
    // Writes projectData.json unless it already holds the model as it would be written. The two
    // are compared behind the screen, on copies of the model taken a member at a time on the
    // main queue; until the answer comes the write waits as a delayed one does: flushPendingExport
    // makes it, and a later exportData takes its place.
    void exportDataUnlessFileHoldsModel();
    // From that call until its answer has been taken on the main thread.
    static bool isComparingWithFile();
    qrn::Json buildProjectDictionary();
    // projectData.json's members, each made of the model when it is asked for.
    static qrn::json::MemberMakers projectMembers();
    // The same members, each as a step that copies what its member is made of from the model and
    // gives back the member made of the copies, which may be made on any thread.
    using memberCopier = std::function<std::function<qrn::Json()>()>;
    static std::vector<std::pair<std::string, memberCopier>> projectMemberCopiers();
    // The folder holds a projectData.json that is a JSON object naming every key.
    bool checkIfProjectDataIsValid(const std::string& directory);
    static const std::vector<std::string>& projectDataKeys();

    // --- Project import (persistentDataStorageClassImport.cpp)
    // Reads the project in the project directory back into a model in the new-project state:
    // the whole file is checked first; a file that fails the check, or an import that fails
    // part-way, leaves a new project with one asset, says "Project Failed to Load" and writes
    // nothing over the package. Another import while one runs does nothing.
    void importDataAction(bool resizeLayers, bool stopOtherProcesses, bool keepUndoHistory);
    // Re-creates one stored layer at [i, j], with the filters its stored entries hold; a missing
    // picture shows "cancel". Throws qrnError when the images folder cannot be looked at.
    void addLayers(const std::string& path, std::optional<int> loopIndex, int i, int j,
                   const qrn::Value::List& IMAGE_REFERENCE_ARRAY);
    static bool getImportRunning();
    // Tests that only follow which screen imports what install a recorder in place of the import.
    static void setImportHandler(
        std::function<void(bool resizeLayers, bool stopOtherProcesses, bool keepUndoHistory)> handler);
    // The settings pane reloads after a failed import through this.
    static void setLoadSettingsViewHook(std::function<void(std::optional<int> viewNumber)> hook);

    // The menu installs this; it is told whether the Edit menu's text items are enabled.
    static void setEditMenuItemsHandler(std::function<void(bool enabled)> handler);

    // --- The package on disk (persistentDataStorageClassCommit.cpp)
    // Writes one of the package's files ("projectData.json" ...) into the project folder. Inside
    // a packageCommitScope the bytes wait for the scope to end and go out with the other files
    // of the same change; otherwise they are written now.
    static qrn::Status writePackageFile(const std::string& fileName, std::string bytes);
    // What the package is claimed for; it decides what the presenter is told when another QRN
    // has it open.
    enum class claimFor { opening, replacingWithNew, replacingWithCopy };
    // Takes the package for this QRN before it is opened (or replaced by a new project or a copy)
    // and finishes a write that was cut short there. False, after saying so, when another QRN has
    // the package open.
    static bool claimPackage(const std::string& path, claimFor use = claimFor::opening);
    // True while a change to one of the package's files is not on disk: its latest write failed
    // (whatever became of the writes of other files since).
    static bool hasUnwrittenChanges();
    // Those files, by name.
    static std::vector<std::string> unwrittenFiles();
    // Goes up at every write or commit of the package, whatever its outcome.
    static int getCommitCount();
    // Goes up at every write or commit of the package that fails: a file handed over before it
    // may not be on disk.
    static int getFailedWriteCount();
    // What the presenter is told when the package's folder refuses a write.
    static std::string writeFailureMessage(const std::string& error);
    // Asked before Quit and before the window closes: while a change is not on disk, offers to
    // try saving again (the default), to leave without the changes, or to stay; New and Open ask
    // it too, before another project replaces this one. True when leaving may go on.
    static bool mayLeaveProject(const std::string& leaveButton = "Quit Without Saving");
    // setProjectDirectory takes the new folder's lock through this; a failed write of the folder
    // left is not asked about for the new one.
    static void holdPackageOf(const std::string& folder);

  private:
    qrn::Status writeProjectFile();
};

// The package's files written by the calls made while the outermost scope lives change
// together, as one commit, when it ends (or at commit()).
class packageCommitScope {
  public:
    // A scope whose caller tells the presenter about a failure itself (Save) keeps quiet.
    explicit packageCommitScope(bool callerReportsFailure = false);
    ~packageCommitScope();
    packageCommitScope(const packageCommitScope&) = delete;
    packageCommitScope& operator=(const packageCommitScope&) = delete;
    // Ends the scope now; the outcome of the commit (ok inside an outer scope).
    qrn::Status commit();

  private:
    bool open_ = true;
    bool quiet_;
};
