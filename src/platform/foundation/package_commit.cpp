#include "platform/foundation/package_commit.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/foundation/json.h"

namespace fs = std::filesystem;

namespace qrn::files {

namespace {

constexpr const char* recordName = ".commit-in-progress";
constexpr const char* temporarySuffix = ".commit-tmp";

// The new bytes of `name` wait here until the commit renames them.
std::string temporaryName(const std::string& name) {
    return "." + name + temporarySuffix;
}

bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

Status renameInFolder(const Path& folder, const std::string& from, const std::string& to) {
    const Path target = folder / to;
    errno = 0;
    if (detail::writeFailureInjected(WriteStep::Rename, target) ||
        ::rename((folder / from).c_str(), target.c_str()) != 0)
        return Status::failure("Could not replace \"" + target.string() +
                               "\": " + std::strerror(errno ? errno : EIO));
    return Status::ok();
}

// The record is small: one short line per file of the package.
constexpr std::uintmax_t recordLimit = 1 << 16;

struct stat entryStatus(const Path& path, bool* present) {
    struct stat info {};
    *present = ::lstat(path.c_str(), &info) == 0;
    return info;
}

// Renames `name` to a free "<name>.damaged" (or "<name>.2.damaged" ...) beside it.
Status setAside(const Path& folder, const std::string& name, const std::string& reason,
                std::vector<SetAside>* out) {
    std::string aside = name;
    aside.append(".damaged");
    bool taken = false;
    for (int n = 2; (entryStatus(folder / aside, &taken), taken); ++n)
        aside = name + "." + std::to_string(n) + ".damaged";
    if (auto renamed = renameInFolder(folder, name, aside); !renamed)
        return Status::failure((folder / name).string() + " is in the way (" + reason +
                               ") and could not be set aside: " + renamed.error());
    if (out)
        out->push_back({name, aside, reason});
    return Status::ok();
}

// Why a commit may not use `path` (read it as a record, or rename it into place); empty when it may.
std::string unusableEntry(const Path& path, std::uintmax_t limit = json::maxFileBytes) {
    bool present = false;
    const struct stat info = entryStatus(path, &present);
    if (!present)
        return {};
    if (S_ISLNK(info.st_mode))
        return "it is a symbolic link";
    if (!S_ISREG(info.st_mode))
        return "it is not a regular file";
    if (std::uintmax_t(info.st_size) > limit)
        return "it is larger than " + std::to_string(limit) + " bytes";
    return {};
}

bool isTemporaryName(const std::string& name) {
    return name.size() > std::strlen(temporarySuffix) + 1 && name.front() == '.' &&
           name.compare(name.size() - std::strlen(temporarySuffix), std::string::npos, temporarySuffix) == 0;
}

// What no record names: our own unfinished files go, anything else of such a name is set aside.
void removeTemporaries(const Path& folder, std::vector<SetAside>* out) {
    std::error_code error;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (isTemporaryName(entry.path().filename().string()))
            names.push_back(entry.path().filename().string());
    for (const auto& name : names) {
        const std::string unusable = unusableEntry(folder / name);
        if (unusable.empty())
            ::unlink((folder / name).c_str());
        else
            (void)setAside(folder, name, unusable, out);
    }
}

// The record: one "temporary<TAB>final" line per file. Nothing when it is unusable, with the
// reason in `problem`.
std::optional<std::vector<std::pair<std::string, std::string>>> readRecord(const Path& folder,
                                                                           std::string* problem) {
    if (std::string unusable = unusableEntry(folder / recordName, recordLimit); !unusable.empty()) {
        *problem = unusable;
        return std::nullopt;
    }
    auto text = readText(folder / recordName, recordLimit, Links::refuse);
    if (!text) {
        *problem = "it cannot be read";
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> renames;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto tab = line.find('\t');
        std::string from = tab == std::string::npos ? std::string() : line.substr(0, tab);
        std::string to = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        if (!plainName(from) || !plainName(to) || from != temporaryName(to)) {
            *problem = "it cannot be parsed";
            return std::nullopt;
        }
        renames.emplace_back(std::move(from), std::move(to));
    }
    return renames;
}

} // namespace

const char* commitRecordName() {
    return recordName;
}

Status finishInterruptedCommit(const Path& folder, std::vector<SetAside>* out) {
    bool present = false;
    (void)entryStatus(folder / recordName, &present);
    if (present) {
        std::string problem;
        const auto renames = readRecord(folder, &problem);
        if (!renames) {
            // Not ours (ours is renamed into place whole): obeying it could only do harm.
            if (auto aside = setAside(folder, recordName, problem, out); !aside)
                return aside;
            removeTemporaries(folder, out);
            return Status::ok();
        }
        // The files whose temporary is gone were renamed before the commit stopped.
        for (const auto& [from, to] : *renames) {
            if ((entryStatus(folder / from, &present), !present))
                continue;
            std::string unusable = unusableEntry(folder / from);
            if (unusable.empty() && fs::is_directory(fs::symlink_status(folder / to)))
                unusable = "a folder stands at \"" + to + "\"";
            if (!unusable.empty()) {
                if (auto aside = setAside(folder, from, unusable, out); !aside)
                    return aside;
                continue;
            }
            if (auto renamed = renameInFolder(folder, from, to); !renamed)
                return renamed;
        }
        if (auto synced = detail::syncFolder(folder); !synced)
            return synced;
        if (::unlink((folder / recordName).c_str()) != 0 && errno != ENOENT)
            return Status::failure("Could not remove \"" + (folder / recordName).string() +
                                   "\": " + std::strerror(errno));
    }
    // What is left was never recorded: the old files stand.
    removeTemporaries(folder, out);
    return Status::ok();
}

Path committedFile(const Path& folder, const std::string& name) {
    bool present = false;
    (void)entryStatus(folder / recordName, &present);
    if (!present)
        return folder / name;
    std::string problem;
    if (const auto renames = readRecord(folder, &problem))
        for (const auto& [from, to] : *renames)
            if (to == name && (entryStatus(folder / from, &present), present) &&
                unusableEntry(folder / from).empty())
                return folder / from;
    return folder / name;
}

Status commitTogether(const Path& folder, const std::vector<NamedContents>& contents) {
    if (contents.empty())
        return Status::ok();
    for (const auto& file : contents)
        if (!plainName(file.name))
            return Status::failure("Could not write \"" + file.name + "\": not a file name");
    // A commit still on record comes first, or this one would mix with it.
    if (auto finished = finishInterruptedCommit(folder); !finished)
        return finished;
    if (contents.size() == 1)
        return replaceAtomically(folder / contents.front().name, contents.front().bytes);

    auto abandon = [&](const Status& failure) {
        removeTemporaries(folder, nullptr);
        return failure;
    };
    std::string record;
    for (const auto& file : contents) {
        const std::string temporary = temporaryName(file.name);
        if (auto written = detail::writeFlushed(folder / temporary, folder / file.name, file.bytes); !written)
            return abandon(written);
        record += temporary + "\t" + file.name + "\n";
    }
    // From the moment the record is in place, the commit happens: an open finishes it.
    const Path recordPath = folder / recordName;
    if (auto written = detail::writeFlushed(folder / temporaryName(recordName), recordPath, record); !written)
        return abandon(written);
    if (auto placed = renameInFolder(folder, temporaryName(recordName), recordName); !placed)
        return abandon(placed);
    if (auto synced = detail::syncFolder(folder); !synced)
        return synced;
    for (const auto& file : contents)
        if (auto renamed = renameInFolder(folder, temporaryName(file.name), file.name); !renamed) {
            // Once more from the record; if that fails too, the next open finishes it.
            if (auto finished = finishInterruptedCommit(folder); !finished)
                return renamed;
            return Status::ok();
        }
    if (auto synced = detail::syncFolder(folder); !synced)
        return synced;
    ::unlink(recordPath.c_str());
    return Status::ok();
}

FolderLock::~FolderLock() {
    release();
}

void FolderLock::release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    device_ = 0;
    inode_ = 0;
}

void FolderLock::swap(FolderLock& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(device_, other.device_);
    std::swap(inode_, other.inode_);
}

FolderLock::Outcome FolderLock::take(const Path& folder, std::string* reason) {
    release();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (reason)
            *reason = std::strerror(errno);
        return Outcome::failed;
    }
    // On the open folder itself: nothing is written into the package, a read-only one locks too,
    // and the lock goes with the descriptor when the process ends.
    Outcome outcome = Outcome::taken;
    errno = 0;
    if (detail::writeFailureInjected(WriteStep::Lock, folder) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno ? errno : EIO;
        if (reason)
            *reason = std::strerror(err);
        // A file system without locks (some network and FUSE ones): nobody can hold the folder,
        // so it is kept by identity only and writing goes ahead.
        if (err == ENOLCK || err == EOPNOTSUPP || err == ENOTSUP || err == EINVAL) {
            outcome = Outcome::notSupported;
        } else {
            ::close(fd);
            return err == EWOULDBLOCK ? Outcome::heldElsewhere : Outcome::failed;
        }
    }
    struct stat info {};
    ::fstat(fd, &info);
    fd_ = fd;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return outcome;
}

bool FolderLock::holds(const Path& folder) const {
    if (fd_ < 0)
        return false;
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
}

} // namespace qrn::files
