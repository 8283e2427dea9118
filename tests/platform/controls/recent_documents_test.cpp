#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <gtest/gtest.h>

#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/application.h"
#include "platform/ui/menu.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/workspace.h"

using namespace qrn;
namespace fs = std::filesystem;

namespace {

class RecentDocumentsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Keep the desktop list inside the temporary folder.
        qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit().constData());
        RecentDocuments::shared().clear();
        RecentDocuments::shared().setMaximumCount(3);
    }
    fs::path root() const { return fs::path(dir.path().toStdString()); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(RecentDocumentsTest, MostRecentFirstWithoutDuplicatesAndCapped) {
    auto& recent = RecentDocuments::shared();
    const fs::path a = root() / "a.qrn3ks", b = root() / "b.qrn3ks", c = root() / "c.qrn3ks",
                   d = root() / "d.qrn3ks";
    ASSERT_TRUE(recent.noteDocument(a));
    ASSERT_TRUE(recent.noteDocument(b));
    // The same folder written with a trailing slash is the same document.
    ASSERT_TRUE(recent.noteDocument(fs::path(a.string() + "/")));
    EXPECT_EQ(recent.documents(), (std::vector<fs::path>{a, b}));
    ASSERT_TRUE(recent.noteDocument(c));
    ASSERT_TRUE(recent.noteDocument(d));
    EXPECT_EQ(recent.documents(), (std::vector<fs::path>{d, c, a}));
}

TEST_F(RecentDocumentsTest, DesktopListIsWrittenAndReadBackKeepingOtherPrograms) {
    const fs::path xbel = RecentDocuments::desktopListPath();
    EXPECT_EQ(xbel, root() / "recently-used.xbel");
    // Another program's bookmark is already there.
    ASSERT_TRUE(files::replaceAtomically(xbel, R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0" xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks" xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info">
  <bookmark href="file:///tmp/notes.txt" added="2020-01-01T00:00:00Z" modified="2020-01-01T00:00:00Z" visited="2020-01-01T00:00:00Z">
    <info><metadata owner="http://freedesktop.org">
      <mime:mime-type type="text/plain"/>
      <bookmark:applications><bookmark:application name="Editor" exec="'editor %u'" modified="2020-01-01T00:00:00Z" count="4"/></bookmark:applications>
    </metadata></info>
  </bookmark>
</xbel>
)"));
    const fs::path project = root() / "My Talk.qrn3ks";
    ASSERT_TRUE(RecentDocuments::shared().noteDocument(project));
    ASSERT_TRUE(RecentDocuments::shared().noteDocument(project));

    auto entries = RecentDocuments::readDesktopList(xbel);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].href, "file:///tmp/notes.txt");
    EXPECT_EQ(entries[0].applications, std::vector<std::string>{"Editor"});
    EXPECT_EQ(entries[0].modified, "2020-01-01T00:00:00Z");
    const auto& ours = entries[1];
    EXPECT_EQ(ours.href, "file://" + root().string() + "/My%20Talk.qrn3ks");
    EXPECT_EQ(ours.applications, std::vector<std::string>{"QRN"});
    EXPECT_EQ(ours.countForQrn, 2);
    EXPECT_EQ(ours.mimeType, "inode/directory");
    EXPECT_FALSE(ours.added.empty());
}

TEST_F(RecentDocumentsTest, DamagedDesktopListIsLeftAloneButOurListStillRecords) {
    const fs::path xbel = RecentDocuments::desktopListPath();
    ASSERT_TRUE(files::replaceAtomically(xbel, "<xbel><bookmark href="));
    EXPECT_FALSE(RecentDocuments::shared().noteDocument(root() / "x.qrn3ks"));
    EXPECT_EQ(RecentDocuments::shared().documents().size(), 1u);
    EXPECT_EQ(*files::readText(xbel), "<xbel><bookmark href=");
}

TEST_F(RecentDocumentsTest, TheFileMenuOpensTheRecentProjectsThatAreStillThere) {
    struct Opener : ui::ApplicationDelegate {
        std::vector<std::string> files;
        void applicationOpenFiles(const std::vector<std::string>& paths) override {
            files.insert(files.end(), paths.begin(), paths.end());
        }
    } opener;
    auto& recent = RecentDocuments::shared();
    const fs::path talk = root() / "Talk.qrn3ks", demo = root() / "Demo.qrn3ks";
    fs::create_directories(talk);
    fs::create_directories(demo);
    ASSERT_TRUE(recent.noteDocument(root() / "Gone.qrn3ks"));
    ASSERT_TRUE(recent.noteDocument(demo));
    auto bar = makeStandardMainMenu("QRN");
    auto menu = bar->itemWithTitle("File")->submenu()->itemWithTitle("Open Recent")->submenu();
    const auto titles = [&] {
        std::vector<std::string> out;
        for (const auto& item : menu->items())
            out.push_back(item->isSeparator() ? "-" : item->title());
        return out;
    };
    EXPECT_EQ(titles(), (std::vector<std::string>{"Demo", "-", "Clear Menu"}));
    // The menu follows the list once the change is over.
    ASSERT_TRUE(recent.noteDocument(talk));
    MainQueue::advance(0.01);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Talk", "Demo", "-", "Clear Menu"}));

    // Choosing one asks the application to open it, as a file handed over by the desktop does.
    ui::Application::shared().setDelegate(&opener);
    menu->itemAt(1)->perform();
    EXPECT_EQ(opener.files, std::vector<std::string>{demo.string()});
    ui::Application::shared().setDelegate(nullptr);

    recent.clear();
    MainQueue::advance(0.01);
    EXPECT_EQ(titles(), std::vector<std::string>{"Clear Menu"});
}

TEST(WebAddress, OnlyValidAbsoluteAddressesReachTheBrowser) {
    std::vector<std::string> opened;
    setWebAddressOpenerForTesting([&](const std::string& u) {
        opened.push_back(u);
        return true;
    });
    EXPECT_TRUE(openWebAddress("https://example.org/download?version=1.0"));
    EXPECT_FALSE(openWebAddress("not a url"));
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/download?version=1.0"});
}
