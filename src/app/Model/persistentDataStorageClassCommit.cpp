// The package on disk: its files written as one commit, the presenter told when a write fails,
// and one QRN at a time writing a package.
#include <algorithm>
#include <map>
#include <utility>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/package_commit.h"
#include "platform/ui/panels.h"

namespace {

constexpr int writeAttempts = 3;

int scopeDepth = 0;
// What waits for the outermost scope to end: file name to bytes, for stagedFolder.
std::map<std::string, std::string> staged;
std::string stagedFolder;
bool stagedQuietly = false;

// The package's files whose latest change is not on disk, each with why. A later write of
// another file does not take a file off: only its own write does.
std::map<std::string, std::string> unwritten;
int failedWrites = 0;
int commits = 0;
// The presenter chose to leave without the changes that could not be written.
bool leavingWithoutChanges = false;

// The package this QRN writes, and one claimed for an open that has not switched to it yet.
qrn::files::FolderLock packageLock;
qrn::files::FolderLock claimedLock;

std::string packageName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    if (name.empty())
        name = std::filesystem::path(path).parent_path().filename().string();
    return qrn::withoutPackageExtension(name);
}

void logError(const std::string& message);

// Said once a run: every save would say it again.
void noteLocksNotSupported(const std::string& folder, const std::string& reason) {
    static bool logged = false;
    if (!std::exchange(logged, true))
        logError("The folder of \"" + folder + "\" cannot be locked (" + reason +
                 "); another QRN could open the project at the same time");
}

// What a commit found in its way and renamed aside: the presenter is told, once the screen shows,
// in words that name the package, as another project may be open by then.
void tellSetAside(const std::string& folder, const std::vector<qrn::files::SetAside>& setAside) {
    if (setAside.empty())
        return;
    std::string message;
    for (const auto& entry : setAside) {
        logError(entry.name + " (" + entry.reason + ") was kept as " + entry.keptAs);
        message += (message.empty() ? "" : "\n") +
                   ("\"" + entry.name + "\" in the folder of the project \"" + packageName(folder) +
                    "\" could not be used (" + entry.reason + ") and was renamed \"" + entry.keptAs +
                    "\", so that the project can be saved.");
    }
    qrn::MainQueue::post([message] { throwClass().showError(message); });
}

// Finishes a commit cut short in the folder, telling what had to be set aside.
qrn::Status finishCommit(const std::string& folder) {
    std::vector<qrn::files::SetAside> setAside;
    const qrn::Status finished = qrn::files::finishInterruptedCommit(folder, &setAside);
    tellSetAside(folder, setAside);
    return finished;
}

// The lock on the project folder, taken when it is not held yet (a new package, a Save As).
qrn::Status holdPackage(const std::string& folder) {
    if (packageLock.holds(folder))
        return qrn::Status::ok();
    if (claimedLock.holds(folder)) {
        packageLock.swap(claimedLock);
        claimedLock.release();
        return qrn::Status::ok();
    }
    std::string reason;
    switch (packageLock.take(folder, &reason)) {
    case qrn::files::FolderLock::Outcome::taken:
        return qrn::Status::ok();
    case qrn::files::FolderLock::Outcome::notSupported:
        noteLocksNotSupported(folder, reason);
        return qrn::Status::ok();
    case qrn::files::FolderLock::Outcome::heldElsewhere:
        return qrn::Status::failure("The project \"" + packageName(folder) + "\" is open in another QRN");
    case qrn::files::FolderLock::Outcome::failed:
        break;
    }
    return qrn::Status::failure("Could not open the project folder \"" + folder + "\": " + reason);
}

void logError(const std::string& message) {
    dataLoggingClass().logError("persistentDataStorageClass", message, __FILE__, __func__);
}

void noteOutcome(const qrn::Status& status, bool quiet, const std::vector<std::string>& files) {
    if (status) {
        for (const auto& name : files)
            unwritten.erase(name);
        if (unwritten.empty())
            leavingWithoutChanges = false;
        return;
    }
    logError(status.error());
    ++failedWrites;
    const bool firstFailure = unwritten.empty();
    for (const auto& name : files)
        unwritten[name] = status.error();
    persistentDataStorageClass storage;
    // The title's " - saved" of an earlier Save no longer holds.
    if (auto controller = storage.getViewController(); controller && controller->hasWindow())
        controller->setWindowTitle(storage.getProjectName());
    // Said once, when writing stops working; the edits after it fail the same way. The first
    // failing write may be QRN's own, right after a project opened from a folder that takes no
    // writes, so the words claim no change of the presenter's.
    if (firstFailure && !quiet && !leavingWithoutChanges)
        throwClass().showError(persistentDataStorageClass::writeFailureMessage(status.error()));
}

qrn::Status commitNow(const std::string& folder, std::vector<qrn::files::NamedContents> files) {
    ++commits;
    if (qrn::Status held = holdPackage(folder); !held)
        return held;
    // Whatever a record left in the way is set aside (and said) before the commit needs the names.
    if (qrn::Status finished = finishCommit(folder); !finished)
        return finished;
    qrn::Status status;
    for (int attempt = 0; attempt < writeAttempts; ++attempt)
        if ((status = qrn::files::commitTogether(folder, files)))
            break;
    return status;
}

qrn::Status commitStaged() {
    if (staged.empty())
        return qrn::Status::ok();
    std::vector<qrn::files::NamedContents> files;
    std::vector<std::string> names;
    for (auto& [name, bytes] : staged) {
        files.push_back({name, std::move(bytes)});
        names.push_back(name);
    }
    staged.clear();
    const qrn::Status status = commitNow(stagedFolder, std::move(files));
    noteOutcome(status, std::exchange(stagedQuietly, false), names);
    return status;
}

} // namespace

packageCommitScope::packageCommitScope(bool callerReportsFailure) : quiet_(callerReportsFailure) {
    ++scopeDepth;
}

packageCommitScope::~packageCommitScope() {
    if (open_)
        (void)commit();
}

qrn::Status packageCommitScope::commit() {
    if (!open_)
        return qrn::Status::ok();
    open_ = false;
    stagedQuietly = stagedQuietly || quiet_;
    if (--scopeDepth > 0)
        return qrn::Status::ok();
    return commitStaged();
}

qrn::Status persistentDataStorageClass::writePackageFile(const std::string& fileName, std::string bytes) {
    const std::string folder = persistentDataStorageClass().getProjectDirectory();
    if (scopeDepth > 0) {
        // A change of folder inside a scope: what belongs to the old one goes there first.
        if (!staged.empty() && stagedFolder != folder)
            (void)commitStaged();
        stagedFolder = folder;
        staged[fileName] = std::move(bytes);
        return qrn::Status::ok();
    }
    const qrn::Status status = commitNow(folder, {{fileName, std::move(bytes)}});
    noteOutcome(status, false, {fileName});
    return status;
}

bool persistentDataStorageClass::claimPackage(const std::string& path, claimFor use) {
    using Outcome = qrn::files::FolderLock::Outcome;
    auto outcome = Outcome::taken;
    std::string reason;
    if (!packageLock.holds(path) && !claimedLock.holds(path))
        outcome = claimedLock.take(path, &reason);
    if (outcome == Outcome::heldElsewhere) {
        logError(path + " is locked by another process");
        const std::string project = "The project \"" + packageName(path) + "\" is open in another QRN";
        if (use == claimFor::replacingWithCopy)
            throwClass().showError(project + " and cannot be replaced.");
        else
            throwClass().showError(
                project + ". Close it there to " +
                (use == claimFor::replacingWithNew ? "replace it here." : "open it here."));
        return false;
    }
    if (outcome == Outcome::notSupported)
        noteLocksNotSupported(path, reason);
    // A folder that cannot be opened is no project: the check that follows says so. A commit that
    // cannot be finished here (a folder that takes no writes) is read as its record names it.
    if (outcome == Outcome::taken || outcome == Outcome::notSupported)
        if (auto finished = finishCommit(path); !finished)
            logError(finished.error());
    return true;
}

std::string persistentDataStorageClass::writeFailureMessage(const std::string& error) {
    return "The project could not be saved in its folder. " + error +
           ". It stays open here; File > Save As can save it in another place.";
}

bool persistentDataStorageClass::hasUnwrittenChanges() {
    return !unwritten.empty();
}

std::vector<std::string> persistentDataStorageClass::unwrittenFiles() {
    std::vector<std::string> names;
    for (const auto& [name, reason] : unwritten)
        names.push_back(name);
    return names;
}

int persistentDataStorageClass::getCommitCount() {
    return commits;
}

int persistentDataStorageClass::getFailedWriteCount() {
    return failedWrites;
}

bool persistentDataStorageClass::mayLeaveProject(const std::string& leaveButton) {
    // A write still waiting decides whether there is anything to ask.
    persistentDataStorageClass().flushPendingExport();
    attributedStringStorageClass().flushPendingSymbolExport();
    // Without a project in memory (it was closed, or failed to load) there is nothing to retry.
    const auto assets = previewLayerClass().getAssetArray();
    if (std::find(assets.begin(), assets.end(), "0") == assets.end() ||
        persistentDataStorageClass().getProjectLoadFailed())
        return true;
    while (!unwritten.empty() && !leavingWithoutChanges) {
        // Each reason once: the files of one commit fail together.
        std::string reasons;
        for (const auto& [name, reason] : unwritten)
            if (reasons.find(reason) == std::string::npos)
                reasons += reason + ". ";
        // Cancel keeps the project open, so that a folder that will not take the project again is not
        // the end of it: Save As can keep it elsewhere.
        const auto answer = qrn::askModalQuestion(
            {"The project \"" + persistentDataStorageClass().getProjectName() +
                 "\" could not be saved in its folder.",
             reasons + "Cancel keeps the project open, to save it elsewhere with Save As.",
             "Try Saving Again", leaveButton},
            "Cancel");
        if (answer == qrn::QuestionChoice::cancel)
            return false;
        if (answer == qrn::QuestionChoice::otherButton) {
            leavingWithoutChanges = true;
            break;
        }
        // Everything in memory, so that no edit since the failure is left out.
        (void)persistentDataStorageClass().saveProject();
    }
    return true;
}

void persistentDataStorageClass::holdPackageOf(const std::string& folder) {
    if (packageLock.holds(folder))
        return;
    unwritten.clear();
    leavingWithoutChanges = false;
    // A package still to be made is taken at its first write.
    if (folder.empty() || !qrn::files::isDirectory(folder)) {
        packageLock.release();
        return;
    }
    if (auto held = holdPackage(folder); !held) {
        logError(held.error());
    } else if (auto finished = finishCommit(folder); !finished) {
        // The project reads as the cut-short save left it, whole; the folder cannot take it, so
        // every save there would fail: said now, once, and Save As writes it elsewhere.
        // What is open (read from the save cut short) is in none of the package's files.
        logError(finished.error());
        const std::string reason =
            "Its last save was cut short and cannot be finished there: " + finished.error();
        for (const char* name : {"projectData.json", "autocueData.json", "specialSymbolData.json"})
            unwritten[name] = reason;
        const std::string message = persistentDataStorageClass::writeFailureMessage(reason);
        qrn::MainQueue::post([message, folder] {
            if (persistentDataStorageClass().getProjectDirectory() == folder)
                throwClass().showError(message);
        });
    }
}
