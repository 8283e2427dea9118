#include <gtest/gtest.h>

#include "platform/foundation/files.h"

#include <QTemporaryDir>

#include <filesystem>
#include <sys/stat.h>

using namespace qrn;
namespace fs = std::filesystem;

namespace {

int entriesIn(const fs::path& dir) {
    int n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

bool sameDevice(const fs::path& a, const fs::path& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

void moveReplacesAndLeavesNothingBehind(const fs::path& fromDir, const fs::path& toDir) {
    auto from = fromDir / "export.mov", to = toDir / "Take 1.mov";
    ASSERT_TRUE(files::replaceAtomically(from, "the new take"));
    ASSERT_TRUE(files::replaceAtomically(to, "an older take"));
    ASSERT_TRUE(files::move(from, to));
    EXPECT_FALSE(files::exists(from));
    EXPECT_EQ(*files::readText(to), "the new take");
    EXPECT_EQ(entriesIn(toDir), 1); // no temporary copy beside it
}

} // namespace

TEST(FileMove, ReplacesAnExistingTargetOnTheSameAndAnotherFileSystem) {
    QTemporaryDir a, b;
    moveReplacesAndLeavesNothingBehind(a.path().toStdString(), b.path().toStdString());

    // Another file system, where the machine has one at hand.
    const fs::path shm = "/dev/shm";
    if (!fs::is_directory(shm) || sameDevice(shm, a.path().toStdString()))
        GTEST_SKIP() << "only one file system to move between";
    QTemporaryDir other(QString::fromStdString((shm / "qrn-move-XXXXXX").string()));
    ASSERT_TRUE(other.isValid());
    moveReplacesAndLeavesNothingBehind(a.path().toStdString(), other.path().toStdString());
    moveReplacesAndLeavesNothingBehind(other.path().toStdString(), a.path().toStdString());
    // What comes across is the mover's to write, whatever the source's modes.
    const fs::path readOnly = fs::path(other.path().toStdString()) / "take.mov";
    ASSERT_TRUE(files::replaceAtomically(readOnly, "take"));
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const fs::path moved = fs::path(a.path().toStdString()) / "take.mov";
    ASSERT_TRUE(files::move(readOnly, moved));
    struct stat info {};
    ASSERT_EQ(::stat(moved.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IWUSR);
}

TEST(FileMove, AFailedMoveKeepsTheSourceAndTheTarget) {
    QTemporaryDir a;
    const fs::path dir = a.path().toStdString();
    auto from = dir / "export.mov";
    ASSERT_TRUE(files::replaceAtomically(from, "take"));
    // Into a folder that is not there.
    auto st = files::move(from, dir / "missing" / "Take 1.mov");
    EXPECT_FALSE(st);
    EXPECT_FALSE(st.error().empty());
    EXPECT_EQ(*files::readText(from), "take");
    // Onto a folder.
    ASSERT_TRUE(files::createDirectories(dir / "Take 2.mov" / "inside"));
    EXPECT_FALSE(files::move(from, dir / "Take 2.mov"));
    EXPECT_EQ(*files::readText(from), "take");
    EXPECT_TRUE(files::isDirectory(dir / "Take 2.mov" / "inside"));
}
