#pragma once
// File operations. Failures come back as values carrying a readable message.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/result.h"
#include "platform/foundation/work_progress.h"

class QString;

namespace qrn::files {

using Path = std::filesystem::path;

bool exists(const Path& p);
bool isDirectory(const Path& p);
Status createDirectories(const Path& p);
// Fails when the target exists.
Status copyFile(const Path& from, const Path& to);
// An entry copyFolder could not read and left out: its path inside the copied folder, and why.
struct LeftOut {
    Path entry;
    std::string reason;
};
// Copies a folder with everything in it; fails when the target exists. A symbolic link inside is
// copied as the link itself, never what it points to. The copy's folders and files can be written
// by whoever made it, whatever the source's modes. Without `needed`, anything that cannot be read
// (a pipe, a socket, an unreadable file) fails the copy; with it, such an entry is left out and
// listed unless it is among `needed` (paths inside `from`) or a folder holding one of them. A
// failure names the file and its cause. Files are cloned where the file system shares blocks,
// else their data is copied and their holes stay holes. `progress` gets the total of the files'
// data first, then the bytes copied as they go.
Result<std::vector<LeftOut>> copyFolder(const Path& from, const Path& to,
                                        const std::optional<std::set<Path>>& needed = std::nullopt,
                                        WorkProgress* progress = nullptr);
// Replaces a file already at the target, on another file system too (copied beside the target as
// copyFolder copies, renamed over it, then the source removed).
Status move(const Path& from, const Path& to);
// Copies a file or folder over the target: beside it first, then renamed over it, so a failed
// copy leaves a file already there whole. The source stays.
Status copyOver(const Path& from, const Path& to);
// Removes a file or a folder with its contents; a missing path is not an error.
Status remove(const Path& p);
Result<std::uintmax_t> size(const Path& p);
// Whether a read may go through a symbolic link at the end of the path.
enum class Links { follow, refuse };
// Which version of a file was read. A file replaced by another (a rename over it) has another
// inode; one written in place has another change time, which no one can set back, and mostly
// another size or modification time.
struct FileIdentity {
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
// Reads a regular file whole. Anything else (a folder, FIFO, device or socket, also behind a
// symbolic link) and a file larger than maxBytes fail without blocking or reading it; with
// Links::refuse so does a symbolic link. `identity`, when given, receives the version read, as
// it stood when opened.
Result<std::string> readText(const Path& p, std::uintmax_t maxBytes = UINTMAX_MAX,
                             Links links = Links::follow, FileIdentity* identity = nullptr);
// The version of the file at p as it stands, without opening it; nullopt when nothing is there
// (with Links::refuse a symbolic link is taken as itself, so it never matches a file read).
std::optional<FileIdentity> identify(const Path& p, Links links = Links::follow);
// Whether a copy could read the file: a regular file, opened without following a link. The
// failure names the file and says why.
Status checkReadable(const Path& p);
// Writes to a temporary file beside the target, flushes it to disk and renames it over the
// target, so a failure at any point leaves the previous file whole.
Status replaceAtomically(const Path& target, const std::string& bytes);
// True when both files exist and hold the same bytes.
bool sameContents(const Path& a, const Path& b);

// A path is bytes; Qt names files by text, which cannot hold a name that is not valid UTF-8 (such
// a name reads back with replacement characters). The text Qt shows for a path:
QString toQtPath(const Path& p);
// The path a text from Qt (a file dialog's choice) stands for: each part that is not there as its
// bytes is the one entry of its folder whose name Qt shows as that text, so a folder with such a
// name can be chosen. A part no entry matches (a new name typed in) is taken as written.
Path fromQtPath(const QString& text);

// Tests use this to make the next writes fail at a chosen step (a move fails at Rename). Lock is
// the lock on a package folder, Read the reading of a file a copy takes: the hook sets errno for
// the failure it stands for.
enum class WriteStep { Open, Write, Flush, Rename, Lock, Read };
void setWriteFailureForTesting(std::function<bool(WriteStep, const Path&)> shouldFail);

namespace detail {
// True when the test hook fails this step of the write of `target`.
bool writeFailureInjected(WriteStep step, const Path& target);
// Writes `bytes` to `temporary`, replacing any file there, and flushes it to disk; on failure the
// temporary file is gone. Messages name `target`, the file the bytes are meant for.
Status writeFlushed(const Path& temporary, const Path& target, const std::string& bytes);
// Flushes a folder's entries (new names, renames, removals) to disk.
Status syncFolder(const Path& folder);
} // namespace detail

} // namespace qrn::files
