#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
#include "platform/foundation/json_text.h"
#include "platform/foundation/user_defaults.h"
#include "platform/foundation/uuid.h"

using namespace qrn;

TEST(Json, RoundTripKeepsNullNestedListsAndRealsApartFromIntegers) {
    Json doc = {{"zeta", nullptr},
                {"alpha", Json::array({1, 2.5, Json::array({Json::array(), "x", nullptr})})},
                {"real", 1.0},
                {"count", 3}};
    std::string text = json::write(doc).value();
    // Keys come out sorted.
    EXPECT_LT(text.find("\"alpha\""), text.find("\"count\""));
    EXPECT_LT(text.find("\"real\""), text.find("\"zeta\""));
    auto back = json::parse(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, doc);
    EXPECT_TRUE((*back)["real"].is_number_float());
    EXPECT_TRUE((*back)["count"].is_number_integer());
    EXPECT_TRUE((*back)["zeta"].is_null());
}

TEST(Json, NumbersWithoutAJsonFormAreRefusedNotWrittenAsNull) {
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        Json doc = {{"fine", 1.5}, {"rows", Json::array({Json::array({0.0, bad})})}};
        auto text = json::write(doc);
        ASSERT_FALSE(text);
        // The message says where the value sits.
        EXPECT_NE(text.error().find("/rows/0/1"), std::string::npos) << text.error();
    }
    QTemporaryDir dir;
    const auto path = files::Path(dir.path().toStdString()) / "data.json";
    ASSERT_TRUE(json::writeFile(path, Json{{"a", 1}}));
    EXPECT_FALSE(json::writeFile(path, Json{{"a", std::nan("")}}));
    EXPECT_EQ(*json::readFile(path), (Json{{"a", 1}}));
}

// A large file is written a member or an element at a time; the text must be the one the whole
// document gives, and a number JSON cannot hold still fails the write and says where it is.
TEST(Json, WritingPartByPartGivesTheWholeDocumentsText) {
    const Json doc = {{"zeta", Json::array({Json::array({1, 2.5}), Json::object(), "x\"y"})},
                      {"alpha", Json::array()},
                      {"mid", {{"inner", Json::array({nullptr, true})}}},
                      {"one", 1}};
    for (int indent : {2, -1}) {
        json::MemberMakers members;
        for (const auto& [key, value] : doc.items())
            members.emplace_back(key, [value] { return value; });
        std::reverse(members.begin(), members.end());
        EXPECT_EQ(json::writeObject(members, indent).value(), json::write(doc, indent).value());
        const Json list = doc["zeta"];
        EXPECT_EQ(json::writeArray(
                      list.size(), [&](size_t i) { return list[i]; }, indent)
                      .value(),
                  json::write(list, indent).value());
        EXPECT_EQ(json::writeArray(
                      0, [](size_t) { return Json(); }, indent)
                      .value(),
                  json::write(Json::array(), indent).value());
        EXPECT_EQ(json::writeObject({}, indent).value(), json::write(Json::object(), indent).value());
    }
    const auto bad = json::writeArray(3, [](size_t i) {
        return Json::array({1.0, i == 2 ? std::nan("") : 0.0});
    });
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().find("/2/1"), std::string::npos) << bad.error();

    // A text already written is recognised member by member, and nothing past a difference is
    // made.
    int made = 0;
    json::MemberMakers members;
    for (const auto& [key, value] : doc.items())
        members.emplace_back(key, [value, &made] {
            ++made;
            return value;
        });
    const std::string text = json::write(doc).value();
    EXPECT_TRUE(json::writesText(members, text));
    EXPECT_EQ(made, 4);
    made = 0;
    std::string changed = text;
    changed[text.find("alpha") + 10] = ' ';
    EXPECT_FALSE(json::writesText(members, changed));
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(json::writesText(members, text + " "));
    EXPECT_FALSE(json::writesText(members, text.substr(0, text.size() - 2)));
    members.emplace_back("nan", [] { return Json(std::nan("")); });
    EXPECT_FALSE(json::writesText(members, text));
}

TEST(Json, RealsAcceptIntegersButIntegersRejectFractions) {
    EXPECT_EQ(json::asReal(Json(1)), 1.0);
    EXPECT_EQ(json::asReal(Json(1.0)), 1.0);
    EXPECT_FALSE(json::asReal(Json("1")));
    EXPECT_EQ(json::asInteger(Json(4)), 4);
    EXPECT_FALSE(json::asInteger(Json(4.5)));
}

TEST(Json, SyntaxErrorsComeBackAsMessages) {
    auto bad = json::parse("{\"a\": [1, 2");
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().find("Not valid JSON"), std::string::npos);
}

TEST(Json, ValuesConvertBothWays) {
    Value v = Value::list({Value(), true, 3, 0.5, "text", Value::list({1})});
    EXPECT_EQ(json::toValue(json::fromValue(v)), v);
    EXPECT_EQ(json::fromValue(Value::colour(255, 0, 0, 0.5)), Json::array({255.0, 0.0, 0.0, 0.5}));
}

class FilesTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    files::Path path(const std::string& name) { return files::Path(dir.path().toStdString()) / name; }
    void TearDown() override { files::setWriteFailureForTesting(nullptr); }
};

TEST_F(FilesTest, FailedAtomicReplaceLeavesTheOldFileWholeAndNoTemporaryBehind) {
    auto target = path("projectData.json");
    ASSERT_TRUE(files::replaceAtomically(target, "old contents"));
    for (auto step : {files::WriteStep::Open, files::WriteStep::Write, files::WriteStep::Flush,
                      files::WriteStep::Rename}) {
        files::setWriteFailureForTesting(
            [step](files::WriteStep s, const files::Path&) { return s == step; });
        Status st = files::replaceAtomically(target, "new contents that never land");
        EXPECT_FALSE(st);
        EXPECT_FALSE(st.error().empty());
        EXPECT_EQ(*files::readText(target), "old contents");
    }
    files::setWriteFailureForTesting(nullptr);
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path().toStdString()))
        ++entries;
    EXPECT_EQ(entries, 1);
    ASSERT_TRUE(files::replaceAtomically(target, "new"));
    EXPECT_EQ(*files::readText(target), "new");
}

TEST_F(FilesTest, CopyingRefusesAnExistingTargetAndCopiesFoldersWhole) {
    auto a = path("a.txt"), b = path("b.txt");
    ASSERT_TRUE(files::replaceAtomically(a, "A"));
    ASSERT_TRUE(files::copyFile(a, b));
    EXPECT_FALSE(files::copyFile(a, b));
    EXPECT_TRUE(files::sameContents(a, b));

    auto folder = path("Demo.qrn3ks");
    ASSERT_TRUE(files::createDirectories(folder / "images"));
    ASSERT_TRUE(files::replaceAtomically(folder / "images" / "x.png", "png"));
    ASSERT_TRUE(files::copyFolder(folder, path("Copy.qrn3ks")));
    EXPECT_EQ(*files::readText(path("Copy.qrn3ks/images/x.png")), "png");
    EXPECT_FALSE(files::copyFolder(folder, path("Copy.qrn3ks")));
    EXPECT_EQ(*files::size(a), 1u);
    ASSERT_TRUE(files::remove(folder));
    EXPECT_FALSE(files::exists(folder));
    EXPECT_TRUE(files::remove(folder)); // already gone is fine
    EXPECT_FALSE(files::readText(path("missing")));
}

// A stray file of gigabytes of nothing costs the copy nothing: data is copied where it is, the
// holes between and after it stay holes.
TEST_F(FilesTest, CopyingAFolderKeepsTheHolesOfASparseFile) {
    const auto folder = path("Sparse.qrn3ks");
    ASSERT_TRUE(files::createDirectories(folder / "images"));
    const auto stray = folder / "images" / "stray.bin";
    const off_t size = off_t(1) << 30;
    {
        const int fd = ::open(stray.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "middle", 6, size / 2), 6);
        ASSERT_EQ(::pwrite(fd, "start", 5, 0), 5);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
    }
    struct stat source {};
    ASSERT_EQ(::stat(stray.c_str(), &source), 0);
    if (source.st_blocks * 512 > 1 << 20)
        GTEST_SKIP() << "the temporary folder's file system keeps no holes";
    WorkProgress progress;
    ASSERT_TRUE(files::copyFolder(folder, path("Copy.qrn3ks"), std::nullopt, &progress));
    const auto copied = path("Copy.qrn3ks/images/stray.bin");
    struct stat copy {};
    ASSERT_EQ(::stat(copied.c_str(), &copy), 0);
    EXPECT_EQ(copy.st_size, size);
    EXPECT_LE(copy.st_blocks, source.st_blocks + 16);
    EXPECT_EQ(progress.done.load(), progress.total.load());
    EXPECT_LT(progress.total.load(), std::uint64_t(1) << 20);
    const int fd = ::open(copied.c_str(), O_RDONLY);
    char middle[7] = {}, start[6] = {}, zeros[4] = {1, 1, 1, 1};
    EXPECT_EQ(::pread(fd, start, 5, 0), 5);
    EXPECT_EQ(::pread(fd, middle, 6, size / 2), 6);
    EXPECT_EQ(::pread(fd, zeros, 4, size - 4), 4);
    ::close(fd);
    EXPECT_STREQ(start, "start");
    EXPECT_STREQ(middle, "middle");
    EXPECT_EQ(std::string(zeros, 4), std::string(4, '\0'));
}

TEST_F(FilesTest, SameContentsComparesBytesNotJustSizes) {
    ASSERT_TRUE(files::replaceAtomically(path("1"), "abcd"));
    ASSERT_TRUE(files::replaceAtomically(path("2"), "abce"));
    EXPECT_FALSE(files::sameContents(path("1"), path("2")));
}

TEST(Uuid, IsUpperCaseAnd36Characters) {
    std::string u = uuidString();
    EXPECT_EQ(u.size(), 36u);
    EXPECT_EQ(u[8], '-');
    for (char c : u)
        EXPECT_FALSE(c >= 'a' && c <= 'z');
    EXPECT_NE(u, uuidString());
    EXPECT_FALSE(applicationVersion().empty());
}

TEST(UserDefaults, TheSettingsFileGivesListsBackWithTheirNumbersAndTexts) {
    QTemporaryDir dir;
    const QString written = dir.filePath("written"), read = dir.filePath("read");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, written);
    UserDefaults::usePersistentStore();
    UserDefaults::standard().set("frame", Value::list({100, 80.5, 1380, 861}));
    UserDefaults::standard().set("paths", Value::list({"/a b/c.qrn3ks", "1,2"}));
    UserDefaults::standard().set("one", Value::list({"/only"}));
    UserDefaults::useMemoryStore();
    // Another process reads the file afresh.
    std::filesystem::copy(written.toStdString(), read.toStdString(),
                          std::filesystem::copy_options::recursive);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, read);
    UserDefaults::usePersistentStore();
    auto frame = UserDefaults::standard().arrayForKey("frame");
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->size(), 4u);
    EXPECT_TRUE((*frame)[0].isNumber());
    EXPECT_EQ((*frame)[0].toReal(), 100);
    EXPECT_EQ((*frame)[1].toReal(), 80.5);
    EXPECT_EQ((*frame)[3].toReal(), 861);
    auto paths = UserDefaults::standard().arrayForKey("paths");
    ASSERT_TRUE(paths);
    ASSERT_EQ(paths->size(), 2u);
    EXPECT_EQ((*paths)[0].toString(), "/a b/c.qrn3ks");
    EXPECT_EQ((*paths)[1].toString(), "1,2");
    EXPECT_EQ(UserDefaults::standard().arrayForKey("one")->at(0).toString(), "/only");
    UserDefaults::useMemoryStore();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("unused"));
}

TEST(UserDefaults, MemoryStoreKeepsTypedValues) {
    auto& d = UserDefaults::standard();
    d.set("list", Value::list({1.5, 2}));
    d.set("name", "Dark");
    EXPECT_EQ(d.arrayForKey("list")->size(), 2u);
    EXPECT_EQ(d.stringForKey("name"), "Dark");
    EXPECT_FALSE(d.stringForKey("list"));
    d.remove("name");
    EXPECT_FALSE(d.has("name"));
}
