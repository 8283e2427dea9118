#pragma once
// Files of one folder that must change together: every new file is written beside its target
// under a temporary name and flushed, a record naming them is written, the renames follow and
// the record goes last. A commit cut short (a crash, a power cut) is finished from its record by
// finishInterruptedCommit(); without a record, temporary files left behind are removed and the
// folder holds the old files. Writes go through the failure hook of files.h, so tests can make a
// commit fail, or stop the process, at any of its steps.
#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/foundation/files.h"

namespace qrn::files {

struct NamedContents {
    std::string name; // a plain file name inside the folder
    std::string bytes;
};

// Something a commit could not use (a record or a temporary that is not a regular file, too
// large, or unreadable), renamed beside itself so that it no longer stands in the way.
struct SetAside {
    std::string name;   // as it was named in the folder
    std::string keptAs; // its name now
    std::string reason;
};

// Replaces the named files of `folder` as one change. On failure the folder holds the old files.
Status commitTogether(const Path& folder, const std::vector<NamedContents>& contents);
// Completes a commit whose record is in `folder`, or clears what a commit that never recorded
// left behind. A folder without either is left alone. A record only renames regular files; what
// it cannot use is set aside once (added to `setAside`), never obeyed. Fails when the folder
// refuses the renames; the record then stays for a later open.
Status finishInterruptedCommit(const Path& folder, std::vector<SetAside>* setAside = nullptr);
// The file that holds `name` as the last commit left it: the temporary a record still names, when
// the record could not be finished (a folder that takes no writes), else the file itself. Reading
// through this never gives a mix of old and new files.
Path committedFile(const Path& folder, const std::string& name);
// The record's name inside the folder.
const char* commitRecordName();

// An advisory lock on a folder, held while this object lives. The system drops it when the
// process ends, however it ends, so a lock of a process that died never blocks.
class FolderLock {
  public:
    // notSupported: the file system has no locks; the folder counts as held by nobody.
    enum class Outcome { taken, heldElsewhere, notSupported, failed };
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Releases any folder held before. `reason` says why a lock could not be taken.
    Outcome take(const Path& folder, std::string* reason = nullptr);
    void release();
    void swap(FolderLock& other) noexcept;
    bool isHeld() const { return fd_ >= 0; }
    // True when the lock is held on this very folder (by identity, not by spelling).
    bool holds(const Path& folder) const;

  private:
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace qrn::files
