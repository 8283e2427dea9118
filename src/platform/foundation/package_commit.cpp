#include "platform/foundation/package_commit.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

void removeTemporaries(const Path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > std::strlen(temporarySuffix) + 1 && name.front() == '.' &&
            name.compare(name.size() - std::strlen(temporarySuffix), std::string::npos, temporarySuffix) == 0)
            ::unlink(entry.path().c_str());
    }
}

// The record: one "temporary<TAB>final" line per file.
std::vector<std::pair<std::string, std::string>> parseRecord(const std::string& text, bool* sound) {
    std::vector<std::pair<std::string, std::string>> renames;
    std::istringstream lines(text);
    std::string line;
    *sound = true;
    while (std::getline(lines, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos) {
            *sound = false;
            continue;
        }
        std::string from = line.substr(0, tab), to = line.substr(tab + 1);
        if (!plainName(from) || !plainName(to) || from != temporaryName(to)) {
            *sound = false;
            continue;
        }
        renames.emplace_back(std::move(from), std::move(to));
    }
    return renames;
}

} // namespace

const char* commitRecordName() {
    return recordName;
}

Status finishInterruptedCommit(const Path& folder) {
    const Path record = folder / recordName;
    std::error_code error;
    if (fs::exists(fs::symlink_status(record, error))) {
        auto text = readText(record, 1 << 16);
        if (!text)
            return text.status();
        bool sound = false;
        // The record is renamed into place whole, so it names every file of its commit; the
        // files whose temporary is gone were renamed before the commit stopped.
        for (const auto& [from, to] : parseRecord(*text, &sound)) {
            if (!fs::exists(fs::symlink_status(folder / from, error)))
                continue;
            if (auto renamed = renameInFolder(folder, from, to); !renamed)
                return renamed;
        }
        if (auto synced = detail::syncFolder(folder); !synced)
            return synced;
        if (::unlink(record.c_str()) != 0 && errno != ENOENT)
            return Status::failure("Could not remove \"" + record.string() + "\": " + std::strerror(errno));
        if (!sound)
            return Status::failure("\"" + record.string() + "\" was damaged; the files it named were kept");
    }
    // What is left was never recorded: the old files stand.
    removeTemporaries(folder);
    return Status::ok();
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
        removeTemporaries(folder);
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
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (reason)
            *reason = std::strerror(err);
        return err == EWOULDBLOCK ? Outcome::heldElsewhere : Outcome::failed;
    }
    struct stat info {};
    ::fstat(fd, &info);
    fd_ = fd;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return Outcome::taken;
}

bool FolderLock::holds(const Path& folder) const {
    if (fd_ < 0)
        return false;
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
}

} // namespace qrn::files
