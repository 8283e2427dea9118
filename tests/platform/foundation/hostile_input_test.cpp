// What a damaged or hostile file can hold must come back as a failed read, never as a crash,
// a hang, undefined behaviour or an unbounded allocation.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
#include "platform/foundation/value.h"

using namespace qrn;
namespace fs = std::filesystem;

namespace {

std::string nested(int depth) {
    return std::string(size_t(depth), '[') + std::string(size_t(depth), ']');
}

} // namespace

TEST(HostileJson, ANumberTooLargeForADoubleIsAFailedReadWhereverItStands) {
    for (const char* text : {"[1e400]", "-1e400", "{\"a\": [1, {\"b\": [2, 1e400]}]}", "[1, 2, -1e999]"}) {
        auto parsed = json::parse(text);
        ASSERT_FALSE(parsed) << text;
        EXPECT_NE(parsed.error().find("Not valid JSON"), std::string::npos) << parsed.error();
    }
    // The largest finite doubles still read.
    EXPECT_TRUE(json::parse("[1.7976931348623157e308, 4.9e-324]"));
}

TEST(HostileJson, DeepNestingIsRefusedBeforeAnythingRecurses) {
    EXPECT_TRUE(json::parse(nested(json::maxDepth)));
    for (int depth : {json::maxDepth + 1, 10000, 60000}) {
        auto parsed = json::parse(nested(depth));
        ASSERT_FALSE(parsed) << depth;
        EXPECT_NE(parsed.error().find("nested deeper"), std::string::npos);
    }
    std::string objects;
    for (int i = 0; i < 60000; ++i)
        objects += "{\"a\":";
    objects += "1" + std::string(60000, '}');
    EXPECT_FALSE(json::parse(objects));
    // Brackets inside strings are text, not nesting.
    const std::string inString = "[\"" + std::string(10000, '[') + "\\\"{\"]";
    auto parsed = json::parse(inString);
    ASSERT_TRUE(parsed);
    EXPECT_EQ((*parsed)[0].get<std::string>().size(), 10002u);
}

TEST(HostileJson, IntegersOutsideTheSignedRangeAreNotIntegers) {
    auto big = json::parse("[18446744073709551615, 9223372036854775807, -9223372036854775808]");
    ASSERT_TRUE(big);
    EXPECT_FALSE(json::asInteger((*big)[0]));
    EXPECT_EQ(json::asInteger((*big)[1]), INT64_MAX);
    EXPECT_EQ(json::asInteger((*big)[2]), INT64_MIN);
    EXPECT_TRUE(json::toValue((*big)[0]).isReal());
}

TEST(HostileValues, RealsNoIntegerHoldsGiveTheFallback) {
    EXPECT_EQ(Value(1e300).toInt(7), 7);
    EXPECT_EQ(Value(-1e300).toInt(7), 7);
    EXPECT_EQ(Value(std::nan("")).toInt(7), 7);
    EXPECT_EQ(Value(9.3e18).toInt(7), 7);
    EXPECT_EQ(Value(-2.9).toInt(7), -2);
    EXPECT_EQ(Value(-0x1p63).toInt(7), INT64_MIN);
}

class HostileFiles : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    fs::path path(const std::string& name) { return fs::path(dir.path().toStdString()) / name; }
};

TEST_F(HostileFiles, OnlyRegularFilesAreRead) {
    // A FIFO would block an ordinary open until a writer came; a device never ends.
    const auto fifo = path("projectData.json");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto folder = path("autocueData.json");
    fs::create_directory(folder);
    const auto zero = path("specialSymbolData.json");
    fs::create_symlink("/dev/zero", zero);
    const auto socketPath = path("socket.json");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    for (const auto& p : {fifo, folder, zero, socketPath}) {
        auto read = json::readFile(p);
        ASSERT_FALSE(read) << p;
        EXPECT_FALSE(files::readText(p)) << p;
    }
    EXPECT_NE(json::readFile(fifo).error().find("not a regular file"), std::string::npos);
    ::close(sock);

    // A link to a regular file is read like the file.
    std::ofstream(path("real.json")) << "[1]";
    fs::create_symlink(path("real.json"), path("link.json"));
    EXPECT_TRUE(json::readFile(path("link.json")));
}

TEST_F(HostileFiles, FilesOverTheLimitAreRefusedUnread) {
    const auto big = path("projectData.json");
    std::ofstream(big) << "[1]";
    // A sparse file: the size is what counts, nothing is written.
    fs::resize_file(big, json::maxFileBytes + 1);
    auto read = json::readFile(big);
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().find("larger than"), std::string::npos);

    const auto small = path("small.json");
    std::ofstream(small) << "[1, 2, 3]";
    EXPECT_FALSE(files::readText(small, 8));
    EXPECT_EQ(*files::readText(small, 9), "[1, 2, 3]");
}
