#include "platform/foundation/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include <QFile>
#include <QString>

#include "platform/foundation/uuid.h"

namespace fs = std::filesystem;

namespace qrn::files {

namespace {
std::function<bool(WriteStep, const Path&)>& failureHook() {
    static std::function<bool(WriteStep, const Path&)> hook;
    return hook;
}

bool injectedFailure(WriteStep step, const Path& p) {
    return failureHook() && failureHook()(step, p);
}

Status fromError(const std::string& what, const Path& p, const std::error_code& ec) {
    return Status::failure(what + " \"" + p.string() + "\": " + ec.message());
}

Status fromErrno(const std::string& what, const Path& p, int err) {
    return Status::failure(what + " \"" + p.string() + "\": " + std::strerror(err));
}

struct Closer {
    int fd;
    ~Closer() {
        if (fd >= 0)
            ::close(fd);
    }
};

std::string kindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return "it is a pipe";
    if (S_ISSOCK(mode))
        return "it is a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device";
    return "it is not a file, a folder or a link";
}

// Folders, files and links as links (what a link points to is not the package's). What it makes is
// its maker's to write: a package from read-only media or another user's folder is copied to be
// worked on. A source that cannot be read is left out when nothing needs it; anything the target
// refuses fails the copy.
class TreeCopy {
  public:
    explicit TreeCopy(const std::optional<std::set<Path>>& needed, WorkProgress* progress = nullptr)
        : needed_(needed), progress_(progress) {}
    // Nothing when `from` was copied to `to` or left out; else what failed, naming the file.
    std::optional<std::string> copy(const Path& from, const Path& to, const Path& inside);
    std::vector<LeftOut> leftOut;

  private:
    // Whether `inside` is needed itself or holds something needed; the top is always needed.
    bool isNeeded(const Path& inside) const {
        if (!needed_ || inside.empty())
            return true;
        for (const Path& wanted : *needed_) {
            auto [in, want] = std::mismatch(inside.begin(), inside.end(), wanted.begin(), wanted.end());
            if (in == inside.end())
                return true;
        }
        return false;
    }
    std::optional<std::string> unreadable(const Path& from, const Path& inside, const std::string& reason) {
        if (isNeeded(inside))
            return "\"" + from.string() + "\" could not be read: " + reason;
        leftOut.push_back({inside, reason});
        return std::nullopt;
    }
    static std::string unwritable(const Path& to, int err) {
        return "\"" + to.string() + "\" could not be written: " + std::strerror(err);
    }
    std::optional<std::string> file(const Path& from, const Path& to, const Path& inside, mode_t mode);
    std::optional<std::string> folder(const Path& from, const Path& to, const Path& inside, mode_t mode);
    // Copies the bytes in [from, end) at the same place; false with errno set on failure, and in
    // `readFailed` which side failed.
    bool copyRange(int in, int out, off_t from, off_t end, const Path& to, bool& readFailed);
    void advance(std::uint64_t bytes) {
        if (progress_)
            progress_->done += bytes;
    }

    const std::optional<std::set<Path>>& needed_;
    WorkProgress* progress_;
};

// What copying the file costs: its data, not the holes of a sparse file.
std::uint64_t dataSize(const struct stat& info) {
    return std::min<std::uint64_t>(std::uint64_t(info.st_size), std::uint64_t(info.st_blocks) * 512);
}

// The data of the regular files below `folder`, links and everything else left out.
std::uint64_t treeDataSize(const Path& folder) {
    std::uint64_t total = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode))
            total += dataSize(info);
    }
    return total;
}

std::optional<std::string> TreeCopy::copy(const Path& from, const Path& to, const Path& inside) {
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0)
        return unreadable(from, inside, std::strerror(errno));
    if (S_ISLNK(info.st_mode)) {
        std::error_code ec;
        const Path target = fs::read_symlink(from, ec);
        if (ec)
            return unreadable(from, inside, ec.message());
        fs::create_symlink(target, to, ec);
        return ec ? std::optional(unwritable(to, ec.value())) : std::nullopt;
    }
    if (S_ISREG(info.st_mode))
        return file(from, to, inside, info.st_mode);
    if (S_ISDIR(info.st_mode))
        return folder(from, to, inside, info.st_mode);
    return unreadable(from, inside, kindOf(info.st_mode));
}

bool TreeCopy::copyRange(int in, int out, off_t from, off_t end, const Path& to, bool& readFailed) {
    char buffer[1 << 16];
    for (off_t at = from; at < end;) {
        const ssize_t got = ::pread(in, buffer, size_t(std::min<off_t>(sizeof buffer, end - at)), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            readFailed = true;
            return false;
        }
        // The file got shorter since it was looked at.
        if (got == 0)
            return true;
        if (injectedFailure(WriteStep::Write, to)) {
            errno = ENOSPC;
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(out, buffer + done, size_t(got - done), at + done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return false;
            done += put;
        }
        at += got;
        advance(std::uint64_t(got));
    }
    return true;
}

// Read and written here so that a disk that fills part way says so: the library's copy reports a
// short copy as an input/output error. Only the data is copied: a sparse file's holes stay holes
// (a stray file of gigabytes of nothing costs the copy nothing).
std::optional<std::string> TreeCopy::file(const Path& from, const Path& to, const Path& inside, mode_t mode) {
    // Not blocking, should a pipe have taken the file's place since it was looked at.
    Closer in{injectedFailure(WriteStep::Read, from)
                  ? -1
                  : ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW)};
    if (in.fd < 0)
        return unreadable(from, inside, std::strerror(errno));
    struct stat info {};
    if (::fstat(in.fd, &info) != 0)
        return unreadable(from, inside, std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return unreadable(from, inside, kindOf(info.st_mode));
    Closer out{::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      (mode | S_IRUSR | S_IWUSR) & 0777)};
    if (out.fd < 0)
        return unwritable(to, errno);
    auto fail = [&](std::optional<std::string> failure) {
        ::close(std::exchange(out.fd, -1));
        ::unlink(to.c_str());
        return failure;
    };
    // A file system that shares blocks between files makes the copy at once.
    if (info.st_size > 0 && !injectedFailure(WriteStep::Write, to) && ::ioctl(out.fd, FICLONE, in.fd) == 0) {
        advance(dataSize(info));
    } else {
        const off_t size = info.st_size;
        off_t end = 0;
        bool holesKnown = true;
        for (off_t at = 0; at < size;) {
            off_t data = holesKnown ? ::lseek(in.fd, at, SEEK_DATA) : at;
            // Nothing but a hole up to the end.
            if (data < 0 && errno == ENXIO)
                break;
            // A file system that cannot tell holes: the whole file is data.
            if (data < 0) {
                holesKnown = false;
                data = at;
            }
            off_t hole = holesKnown ? ::lseek(in.fd, data, SEEK_HOLE) : size;
            if (hole < 0 || hole > size)
                hole = size;
            bool readFailed = false;
            if (!copyRange(in.fd, out.fd, data, hole, to, readFailed)) {
                const int err = errno;
                return fail(readFailed ? unreadable(from, inside, std::strerror(err)) : unwritable(to, err));
            }
            end = hole;
            at = hole;
        }
        // A hole at the end is a length, not data.
        if (end < size && ::ftruncate(out.fd, size) != 0)
            return fail(unwritable(to, errno));
    }
    if (::close(std::exchange(out.fd, -1)) != 0) {
        const int err = errno;
        ::unlink(to.c_str());
        return unwritable(to, err);
    }
    return std::nullopt;
}

std::optional<std::string> TreeCopy::folder(const Path& from, const Path& to, const Path& inside,
                                            mode_t mode) {
    std::error_code ec;
    fs::directory_iterator it(from, ec);
    if (ec)
        return unreadable(from, inside, ec.message());
    if (::mkdir(to.c_str(), (mode | S_IRWXU) & 0777) != 0)
        return "the folder \"" + to.string() + "\" could not be made: " + std::strerror(errno);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const Path name = it->path().filename();
        if (auto failed = copy(it->path(), to / name, inside / name))
            return failed;
    }
    if (ec)
        return "the folder \"" + from.string() + "\" could not be read to the end: " + ec.message();
    return std::nullopt;
}
} // namespace

void setWriteFailureForTesting(std::function<bool(WriteStep, const Path&)> shouldFail) {
    failureHook() = std::move(shouldFail);
}

bool exists(const Path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

bool isDirectory(const Path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

Status createDirectories(const Path& p) {
    std::error_code ec;
    fs::create_directories(p, ec);
    if (ec)
        return fromError("Could not create the folder", p, ec);
    return Status::ok();
}

Status copyFile(const Path& from, const Path& to) {
    if (files::exists(to))
        return Status::failure("Could not copy to \"" + to.string() + "\": it already exists");
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::none, ec);
    if (ec)
        return fromError("Could not copy \"" + from.string() + "\" to", to, ec);
    return Status::ok();
}

Result<std::vector<LeftOut>> copyFolder(const Path& from, const Path& to,
                                        const std::optional<std::set<Path>>& needed, WorkProgress* progress) {
    if (files::exists(to))
        return Status::failure("Could not copy to \"" + to.string() + "\": it already exists");
    if (!files::isDirectory(from))
        return Status::failure("Could not copy \"" + from.string() + "\": it is not a folder");
    if (progress)
        progress->total = treeDataSize(from);
    // A received package may hold links to anywhere: what they point to is not the project's.
    TreeCopy tree(needed, progress);
    if (auto failed = tree.copy(from, to, {})) {
        std::error_code ignored;
        fs::remove_all(to, ignored);
        return Status::failure("Could not copy \"" + from.string() + "\" to \"" + to.string() +
                               "\": " + *failed);
    }
    return std::move(tree.leftOut);
}

Status copyOver(const Path& from, const Path& to) {
    // Copied beside the target first, so that a failed copy leaves any file already there whole.
    Path dir = to.parent_path().empty() ? Path(".") : to.parent_path();
    std::string tmpName = to.filename().string();
    tmpName.insert(0, 1, '.');
    tmpName.append(".").append(uuidString()).append(".tmp");
    Path tmp = dir / tmpName;
    const std::optional<std::set<Path>> everything;
    if (auto failed = TreeCopy(everything).copy(from, tmp, {})) {
        std::error_code ignored;
        fs::remove_all(tmp, ignored);
        return Status::failure("Could not copy \"" + from.string() + "\" to \"" + to.string() +
                               "\": " + *failed);
    }
    std::error_code ec;
    // An injected failure stands for a target folder that cannot be written.
    if (injectedFailure(WriteStep::Rename, to))
        ec = std::make_error_code(std::errc::permission_denied);
    else
        fs::rename(tmp, to, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove_all(tmp, ignored);
        return fromError("Could not copy \"" + from.string() + "\" to", to, ec);
    }
    return Status::ok();
}

Status move(const Path& from, const Path& to) {
    std::error_code ec;
    // An injected failure stands for a target folder that cannot be written.
    if (injectedFailure(WriteStep::Rename, to))
        return fromError("Could not move \"" + from.string() + "\" to", to,
                         std::make_error_code(std::errc::permission_denied));
    fs::rename(from, to, ec);
    if (ec == std::errc::cross_device_link) {
        // Another file system: the source goes only once the copy is in place.
        if (auto copied = copyOver(from, to); !copied)
            return copied;
        ec.clear();
        fs::remove_all(from, ec);
    }
    if (ec)
        return fromError("Could not move \"" + from.string() + "\" to", to, ec);
    return Status::ok();
}

Status remove(const Path& p) {
    std::error_code ec;
    fs::remove_all(p, ec);
    if (ec)
        return fromError("Could not remove", p, ec);
    return Status::ok();
}

Result<std::uintmax_t> size(const Path& p) {
    std::error_code ec;
    auto s = fs::file_size(p, ec);
    if (ec)
        return fromError("Could not read the size of", p, ec);
    return s;
}

Status checkReadable(const Path& p) {
    Closer in{injectedFailure(WriteStep::Read, p)
                  ? -1
                  : ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW)};
    struct stat info {};
    if (in.fd < 0 || ::fstat(in.fd, &info) != 0)
        return Status::failure("\"" + p.string() + "\" could not be read: " + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return Status::failure("\"" + p.string() + "\" could not be read: " + kindOf(info.st_mode));
    return Status::ok();
}

namespace {

FileIdentity identityOf(const struct stat& info) {
    return {std::uintmax_t(info.st_dev), std::uintmax_t(info.st_ino), std::uintmax_t(info.st_size),
            std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            std::int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

} // namespace

std::optional<FileIdentity> identify(const Path& p, Links links) {
    struct stat info {};
    if ((links == Links::refuse ? ::lstat(p.c_str(), &info) : ::stat(p.c_str(), &info)) != 0)
        return std::nullopt;
    return identityOf(info);
}

Result<std::string> readText(const Path& p, std::uintmax_t maxBytes, Links links, FileIdentity* identity) {
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd =
        ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::refuse ? O_NOFOLLOW : 0));
    if (fd < 0) {
        if (errno == ELOOP && links == Links::refuse)
            return Status::failure("Could not read \"" + p.string() + "\": it is a symbolic link");
        return fromErrno("Could not open", p, errno);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fromErrno("Could not read", p, errno);
    if (!S_ISREG(info.st_mode))
        return Status::failure("Could not read \"" + p.string() + "\": it is not a regular file");
    if (std::uintmax_t(info.st_size) > maxBytes)
        return Status::failure("Could not read \"" + p.string() + "\": it is larger than " +
                               std::to_string(maxBytes) + " bytes");
    if (identity)
        *identity = identityOf(info);
    std::string text;
    text.reserve(size_t(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fromErrno("Could not read", p, errno);
        }
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (text.size() + size_t(n) > maxBytes)
            return Status::failure("Could not read \"" + p.string() + "\": it is larger than " +
                                   std::to_string(maxBytes) + " bytes");
        text.append(buffer, size_t(n));
    }
    return text;
}

namespace detail {

bool writeFailureInjected(WriteStep step, const Path& target) {
    return injectedFailure(step, target);
}

Status writeFlushed(const Path& temporary, const Path& target, const std::string& bytes) {
    errno = 0;
    // Never through a link standing at the temporary's name: the bytes would land outside.
    int fd = injectedFailure(WriteStep::Open, target)
                 ? -1
                 : ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        const int err = errno ? errno : EIO;
        // Something else stands at the temporary's name: the message names it, not the target.
        if (err == EISDIR || err == ELOOP || err == ENXIO)
            return Status::failure("Could not write \"" + target.string() + "\": \"" + temporary.string() +
                                   "\" is in the way");
        return fromErrno("Could not write", target, err);
    }
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return fromErrno("Could not write", target, err);
    };
    if (injectedFailure(WriteStep::Write, target))
        return fail(ENOSPC);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    errno = 0;
    if (injectedFailure(WriteStep::Flush, target) || ::fsync(fd) != 0)
        return fail(errno ? errno : EIO);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temporary.c_str());
        return fromErrno("Could not write", target, err);
    }
    return Status::ok();
}

Status syncFolder(const Path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fromErrno("Could not open the folder", folder, errno);
    const int synced = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems cannot flush a folder; the renames are still in order there.
    if (synced != 0 && err != EINVAL && err != EROFS)
        return fromErrno("Could not flush the folder", folder, err);
    return Status::ok();
}

} // namespace detail

Status replaceAtomically(const Path& target, const std::string& bytes) {
    Path dir = target.parent_path().empty() ? Path(".") : target.parent_path();
    std::string tmpName = target.filename().string();
    tmpName.insert(0, 1, '.');
    tmpName.append(".").append(uuidString()).append(".tmp");
    Path tmp = dir / tmpName;
    if (auto written = detail::writeFlushed(tmp, target, bytes); !written)
        return written;
    errno = 0;
    if (injectedFailure(WriteStep::Rename, target) || ::rename(tmp.c_str(), target.c_str()) != 0) {
        int err = errno ? errno : EIO;
        ::unlink(tmp.c_str());
        return fromErrno("Could not replace", target, err);
    }
    return Status::ok();
}

QString toQtPath(const Path& p) {
    return QFile::decodeName(QByteArray::fromStdString(p.string()));
}

Path fromQtPath(const QString& text) {
    const Path written = QFile::encodeName(text).toStdString();
    struct stat info {};
    if (::lstat(written.c_str(), &info) == 0)
        return written;
    Path found;
    bool matching = true;
    for (const Path& part : written) {
        if (!matching || part.empty() || part == "/" || part == "." || part == "..") {
            found /= part;
            continue;
        }
        const Path here = found / part;
        if (::lstat(here.c_str(), &info) == 0) {
            found = here;
            continue;
        }
        // The entry whose name Qt shows as this part; none, or more than one, and the rest of the
        // path is taken as written.
        const QString shown = QFile::decodeName(QByteArray::fromStdString(part.string()));
        std::optional<Path> only;
        int matches = 0;
        std::error_code ec;
        for (fs::directory_iterator it(found.empty() ? Path(".") : found, ec), end; !ec && it != end;
             it.increment(ec)) {
            const Path name = it->path().filename();
            if (QFile::decodeName(QByteArray::fromStdString(name.string())) == shown) {
                only = name;
                ++matches;
            }
        }
        if (matches == 1) {
            found /= *only;
        } else {
            found /= part;
            matching = false;
        }
    }
    return found;
}

bool sameContents(const Path& a, const Path& b) {
    std::error_code ec1, ec2;
    auto sa = fs::file_size(a, ec1), sb = fs::file_size(b, ec2);
    if (ec1 || ec2 || sa != sb)
        return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb)
        return false;
    char ba[65536], bb[65536];
    while (fa && fb) {
        fa.read(ba, sizeof ba);
        fb.read(bb, sizeof bb);
        if (fa.gcount() != fb.gcount() || std::memcmp(ba, bb, static_cast<size_t>(fa.gcount())) != 0)
            return false;
    }
    return true;
}

} // namespace qrn::files
