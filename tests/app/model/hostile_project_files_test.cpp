// Project packages as a damaged disk or a hostile sender may deliver them: every file must
// come back as a failed read (or a sound value), never a crash, a hang or corrupted data.
#include <gtest/gtest.h>

#include <QFile>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/throwClass.h"
#include "app/lifecycle/lifecycle_fixture.h"
#include "app/preview/preview_fixture.h"
#include "model_fixture.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/package_commit.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/ui/panels.h"

using namespace modeltest;
namespace fs = std::filesystem;

namespace {

void write(const std::string& path, const std::string& text) {
    ASSERT_TRUE(qrn::files::replaceAtomically(path, text));
}

// A new project's projectData.json with `value` under its first key.
std::string projectDataWith(const std::string& value) {
    auto document = qrn::json::readFile(std::string(QRN_TEST_FIXTURES) + "/model/new_project.json");
    qrn::Json json = document.isOk() ? *document : qrn::Json::object();
    const std::string first = persistentDataStorageClass::projectDataKeys().front();
    json.erase(first);
    return "{\"" + first + "\": " + value + ", " + json.dump().substr(1);
}

std::string scriptWithRun(const std::string& attributes) {
    return R"([{"string": "notes", "runs": []}, {"string": "abc", "runs": [{"range": [0, 3], "attributes": )" +
           attributes + "}]}]";
}

struct hostileProject : tempProject {
    attributedStringStorageClass texts;
    hostileProject() {
        previewLayerClass().clearClass(false);
        addAsset();
        addAsset();
    }
    // The script of the second asset after reading autocueData.json.
    qrn::TextAttributes readScriptAttributes() {
        texts.importAutocueText();
        const auto scripts = texts.getAutocueStringArray();
        return scripts.empty() || scripts[0].isEmpty() ? qrn::TextAttributes{} : scripts[0].attributesAt(0);
    }
};

std::string thrownMessage(const imageReferenceArray& reference) {
    try {
        previewLayerClass().getImageFromImageReferenceArray(reference);
    } catch (const qrnError& e) {
        return e.what();
    }
    return "(no error)";
}

// The package at `path` opened as File > Open opens it, into an empty preview, with every
// picture arrived; what the presenter was told on the way.
struct openedPackage {
    previewtest::previewScene scene;
    std::vector<std::string> alerts;
    explicit openedPackage(const std::string& path) {
        qrn::setAlertPresenter([this](const std::string& m) { alerts.push_back(m); });
        persistentDataStorageClass storage;
        storage.setProjectDirectory(path);
        storage.setProjectLoadFailed(false);
        previewLayerClass().setImportMarker(true);
        storage.importDataAction(false, true, false);
        qrn::MainQueue::advance(2.0);
        EXPECT_TRUE(
            qrn::MainQueue::runUntil([] { return previewLayerPendingPictures::pendingCount() == 0; }, 60));
    }
    ~openedPackage() { qrn::setAlertPresenter(nullptr); }
};

} // namespace

TEST(HostileProjectFiles, ANumberOutOfRangeInAnyFileIsAFailedRead) {
    hostileProject p;
    for (const std::string number : {"1e400", "[1, [2, -1e400]]"}) {
        write(p.file("autocueData.json"), "[{\"string\": \"x\", \"runs\": [], \"n\": " + number + "}]");
        p.texts.setProjectNotes(qrn::AttributedString("old"));
        p.texts.importAutocueText();
        EXPECT_EQ(p.texts.getProjectNotes().string(), "") << number;
        EXPECT_EQ(p.texts.getAutocueStringArray().size(), 2u);

        write(p.file("specialSymbolData.json"), "[[], [" + number + "]]");
        EXPECT_FALSE(p.texts.importSymbolText(1)) << number;

        write(p.file("projectData.json"), projectDataWith(number));
        EXPECT_FALSE(persistentDataStorageClass().checkIfProjectDataIsValid(p.path)) << number;
    }
    // Inside a run's range as well.
    write(
        p.file("autocueData.json"),
        R"([{"string": "n", "runs": []}, {"string": "abc", "runs": [{"range": [0, 1e400], "attributes": {}}]}])");
    p.texts.importAutocueText();
    EXPECT_TRUE(p.texts.getAutocueStringArray()[0].isEmpty());
    write(p.file("projectData.json"), projectDataWith("[1e300]"));
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(p.path));
}

TEST(HostileProjectFiles, ColourComponentsAreClampedOnReadAndWriteBackSound) {
    hostileProject p;
    write(p.file("autocueData.json"), scriptWithRun(R"({"text_colour": {"RGB": [1e300, -1e300, 127.5, 1e300]},
                            "background_colour": {"RGB": [-1e300, 300, 0, -2]}})"));
    const auto a = p.readScriptAttributes();
    EXPECT_EQ(a.foregroundColour, (qrn::Colour{1, 0, 0.5, 1}));
    EXPECT_EQ(a.backgroundColour, (qrn::Colour{0, 1, 0, 0}));

    p.texts.setAutocueStringArray(p.texts.getAutocueStringArray());
    const auto written = qrn::json::readFile(p.file("autocueData.json"));
    ASSERT_TRUE(written);
    const auto& attributes = (*written)[1]["runs"][0]["attributes"];
    EXPECT_EQ(attributes["text_colour"]["RGB"], qrn::Json::parse("[255, 0, 128, 1.0]"));
    EXPECT_EQ(attributes["background_colour"]["RGB"], qrn::Json::parse("[0, 255, 0, 0.0]"));
}

TEST(HostileProjectFiles, EnumeratedAttributesOutOfRangeFallBackInsteadOfWrapping) {
    hostileProject p;
    write(p.file("autocueData.json"),
          scriptWithRun(R"({"underline_style": 4294967297, "writing_direction": 4294967296,
                            "paragraph_style": {"alignment": 4294967298}})"));
    auto a = p.readScriptAttributes();
    EXPECT_FALSE(a.underlineStyle);
    EXPECT_FALSE(a.writingDirection);
    ASSERT_TRUE(a.paragraphStyle);
    EXPECT_EQ(a.paragraphStyle->alignment, 2);

    for (const char* bad : {"-1", "65536", "18446744073709551615", "1.5"}) {
        write(p.file("autocueData.json"), scriptWithRun(std::string("{\"underline_style\": ") + bad + "}"));
        EXPECT_FALSE(p.readScriptAttributes().underlineStyle) << bad;
    }
    // Codes in range read unchanged.
    write(p.file("autocueData.json"),
          scriptWithRun(
              R"({"underline_style": 9, "writing_direction": -1, "paragraph_style": {"alignment": 4}})"));
    a = p.readScriptAttributes();
    EXPECT_EQ(a.underlineStyle, qrn::underline::doubled);
    EXPECT_EQ(a.writingDirection, qrn::writing_direction::natural);
    EXPECT_EQ(a.paragraphStyle->alignment, 4);
}

TEST(HostileProjectFiles, DeepNestingIsRefusedAsMalformed) {
    hostileProject p;
    std::string deep;
    for (int i = 0; i < 60000; ++i)
        deep += "{\"a\":";
    deep += "1" + std::string(60000, '}');
    write(p.file("autocueData.json"), "[" + deep + "]");
    p.texts.importAutocueText();
    EXPECT_EQ(p.texts.getAutocueStringArray().size(), 2u);

    write(p.file("specialSymbolData.json"), std::string(10000, '[') + std::string(10000, ']'));
    EXPECT_FALSE(p.texts.importSymbolText(1));
    write(p.file("projectData.json"), projectDataWith(std::string(10000, '[') + std::string(10000, ']')));
    EXPECT_FALSE(persistentDataStorageClass().checkIfProjectDataIsValid(p.path));
}

TEST(HostileProjectFiles, SpecialAndOversizedFilesAreRefusedWithoutBlocking) {
    hostileProject p;
    ASSERT_EQ(::mkfifo(p.file("projectData.json").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(p.file("autocueData.json").c_str(), 0600), 0);
    fs::create_directory(p.file("specialSymbolData.json"));
    EXPECT_FALSE(persistentDataStorageClass().checkIfProjectDataIsValid(p.path));
    p.texts.importAutocueText();
    EXPECT_EQ(p.texts.getAutocueStringArray().size(), 2u);
    EXPECT_FALSE(p.texts.importSymbolText(1));

    ASSERT_TRUE(qrn::files::remove(p.file("projectData.json")));
    ASSERT_TRUE(qrn::files::remove(p.file("autocueData.json")));
    fs::create_symlink("/dev/zero", p.file("projectData.json"));
    EXPECT_FALSE(persistentDataStorageClass().checkIfProjectDataIsValid(p.path));

    ASSERT_TRUE(qrn::files::remove(p.file("projectData.json")));
    write(p.file("projectData.json"), projectDataWith("[]"));
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(p.path));
    fs::resize_file(p.file("projectData.json"), qrn::json::maxFileBytes + 1);
    EXPECT_FALSE(persistentDataStorageClass().checkIfProjectDataIsValid(p.path));
}

TEST(HostileProjectFiles, AnImageLinkLeadingOutOfThePackageIsMissingAndSurvivesThePurge) {
    hostileProject p;
    const std::string outside = p.dir.path().toStdString() + "/outside.png";
    writePng(outside, 3, 3, 0x00ff00);
    fs::create_symlink(outside, p.file("images/LINK.png"));
    EXPECT_EQ(thrownMessage({3, "png", "LINK"}), "Unable to retrieve remote regular image LINK.png");

    imageManipulationClass images;
    images.markImageForPermanentRemoval("LINK", "png");
    images.permanentlyRemoveImagesMarkedForRemoval();
    EXPECT_TRUE(fs::is_symlink(p.file("images/LINK.png")));
    EXPECT_TRUE(fs::exists(outside));

    // A link that stays inside the folder is an ordinary stored image; the purge removes the
    // link, never what it leads to.
    writePng(p.file("images/A.png"), 3, 3, 0xff0000);
    fs::create_symlink(p.file("images/A.png"), p.file("images/B.png"));
    EXPECT_NO_THROW(previewLayerClass().getImageFromImageReferenceArray(imageReferenceArray{3, "png", "B"}));
    images.markImageForPermanentRemoval("B", "png");
    images.permanentlyRemoveImagesMarkedForRemoval();
    EXPECT_FALSE(fs::is_symlink(p.file("images/B.png")));
    EXPECT_TRUE(fs::exists(p.file("images/A.png")));
}

// A project file that is a link (here to another project's scripts) is never read: it is set
// aside like a damaged file, so the next save cannot store the other project's texts here. A
// commit record may not rename a link into place either.
TEST(HostileProjectFiles, AProjectFileOrACommitTemporaryThatIsALinkIsNeverRead) {
    hostileProject p;
    const std::string other = p.dir.path().toStdString() + "/other";
    fs::create_directories(other);
    write(other + "/autocueData.json",
          R"([{"string": "notes", "runs": []}, {"string": "secret", "runs": []}])");
    write(other + "/projectData.json", projectDataWith("[0, 0, 556, 313]"));
    EXPECT_TRUE(persistentDataStorageClass().checkIfProjectDataIsValid(other));

    fs::create_symlink(other + "/autocueData.json", p.file("autocueData.json"));
    (void)attributedStringStorageClass::takeDamagedFileNotices();
    p.texts.importAutocueText();
    EXPECT_TRUE(p.texts.getAutocueStringArray()[0].isEmpty());
    EXPECT_TRUE(fs::is_symlink(p.file("autocueData.json.damaged")));
    const auto notices = attributedStringStorageClass::takeDamagedFileNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(
        notices[0].rfind("autocueData.json could not be read and was kept as autocueData.json.damaged", 0),
        0u);

    ASSERT_TRUE(qrn::files::remove(p.file("projectData.json")));
    fs::create_symlink(other + "/projectData.json", p.file("projectData.json"));
    EXPECT_FALSE(persistentDataStorageClass().checkIfProjectDataIsValid(p.path));

    // A record naming a temporary that links out: the link is set aside, not renamed into place.
    write(p.file("autocueData.json"), R"([{"string": "own notes", "runs": []}])");
    fs::create_symlink(other + "/autocueData.json", p.file(".autocueData.json.commit-tmp"));
    write(p.file(qrn::files::commitRecordName()), ".autocueData.json.commit-tmp\tautocueData.json\n");
    EXPECT_EQ(qrn::files::committedFile(p.path, "autocueData.json"), p.file("autocueData.json"));
    EXPECT_TRUE(persistentDataStorageClass::claimPackage(p.path));
    EXPECT_FALSE(fs::is_symlink(p.file("autocueData.json")));
    EXPECT_TRUE(fs::is_symlink(p.file(".autocueData.json.commit-tmp.damaged")));
    p.texts.importAutocueText();
    EXPECT_EQ(p.texts.getProjectNotes().string(), "own notes");
    EXPECT_EQ(*qrn::files::readText(other + "/autocueData.json"),
              R"([{"string": "notes", "runs": []}, {"string": "secret", "runs": []}])");
}

// Names no file can have: longer than a file name may be, a separator, a NUL. Each is a missing
// picture like any other; the rest of the project opens, and a save keeps the references.
TEST(HostileProjectFiles, AReferenceThatCannotNameAFileIsAMissingPictureAndTheRestOpens) {
    tempProject p;
    qrn::Json d = lifecycletest::projectDocument({"0", "2"}, {{}, {"3", "4", "5", "6"}});
    lifecycletest::setReference(d, 1, 0, {3, "png", std::string(300, 'x')});
    lifecycletest::setReference(d, 1, 1, {3, "png", "images/here"});
    lifecycletest::setReference(d, 1, 2, {3, "png", std::string("here\0", 5)});
    lifecycletest::setReference(d, 1, 3, {3, "png", "here"});
    write(p.file("projectData.json"), d.dump());
    writePng(p.file("images/here.png"), 8, 8, 0xff0000);
    writePng(p.file("images/here"), 8, 8, 0x00ff00);

    openedPackage opened(p.path);
    EXPECT_TRUE(opened.alerts.empty());
    persistentDataStorageClass storage;
    ASSERT_FALSE(storage.getProjectLoadFailed());
    const auto shown = lifecycletest::shownLayerColours();
    ASSERT_EQ(shown.size(), 4u);
    for (size_t l = 0; l < 3; ++l)
        EXPECT_NE(shown[l], 0xff0000u) << l;
    EXPECT_NE(shown[2], 0x00ff00u);
    EXPECT_EQ(shown[3], 0xff0000u);

    ASSERT_TRUE(storage.saveProject());
    const auto saved = qrn::json::readFile(p.file("projectData.json"));
    ASSERT_TRUE(saved);
    EXPECT_EQ((*saved)["IMAGE_REFERENCE_ARRAY"], d["IMAGE_REFERENCE_ARRAY"]);
}

// A second, shorter ASSET_ARRAY: the later one is what a JSON reader takes, so the project opens
// short. The presenter is told once, and the file as it was is kept before any write.
TEST(HostileProjectFiles, AFileHoldingAKeyTwiceIsKeptAsItWasAndTheOpenSaysSo) {
    tempProject p;
    std::string text = lifecycletest::projectDocument({"0", "2", "5"}, {{}, {"3"}, {"6"}}).dump();
    text.insert(text.size() - 1, ", \"ASSET_ARRAY\": [\"0\", \"2\"]");
    write(p.file("projectData.json"), text);

    {
        openedPackage opened(p.path);
        ASSERT_EQ(opened.alerts.size(), 1u);
        EXPECT_NE(opened.alerts[0].find("ASSET_ARRAY twice"), std::string::npos) << opened.alerts[0];
        EXPECT_NE(opened.alerts[0].find("kept as projectData.json.damaged"), std::string::npos);
        EXPECT_EQ(*qrn::files::readText(p.file("projectData.json.damaged")), text);
        ASSERT_TRUE(persistentDataStorageClass().saveProject());
    }
    openedPackage again(p.path);
    EXPECT_TRUE(again.alerts.empty());
    EXPECT_EQ(*qrn::files::readText(p.file("projectData.json.damaged")), text);
    EXPECT_FALSE(fs::exists(p.file("projectData.json.2.damaged")));
}

// A folder name is bytes: one that is not valid UTF-8, chosen in the file dialog by the name it
// shows, opens with its pictures and scripts, and a save writes back where it read.
TEST(HostileProjectFiles, APackageWhoseNameIsNotUtf8ShowsItsPictures) {
    tempProject made;
    qrn::Json d = lifecycletest::projectDocument({"0", "2"}, {{}, {"3"}});
    lifecycletest::setReference(d, 1, 0, {3, "png", "here"});
    write(made.file("projectData.json"), d.dump());
    write(made.file("autocueData.json"),
          R"([{"string": "notes", "runs": []}, {"string": "said", "runs": []}])");
    writePng(made.file("images/here.png"), 8, 8, 0xff0000);
    const std::string path = made.dir.path().toStdString() + "/nonutf8_\xff\xfe.qrn3ks";
    fs::rename(made.path, path);

    qrn::OpenPanel panel;
    panel.settings = fileMenuClass::openProjectPanelSettings("Choose QRN project", "Choose");
    panel.settings.directory = made.dir.path().toStdString();
    qrn::QtOpenDialog dialog(panel);
    dialog.selectFile(made.dir.path() + "/" + QFile::decodeName("nonutf8_\xff\xfe.qrn3ks"));
    dialog.accept();
    ASSERT_EQ(dialog.chosen(), std::vector<fs::path>{path});

    openedPackage opened(dialog.chosen().front());
    EXPECT_TRUE(opened.alerts.empty());
    persistentDataStorageClass storage;
    ASSERT_FALSE(storage.getProjectLoadFailed());
    EXPECT_EQ(lifecycletest::shownLayerColours(), std::vector<unsigned>{0xff0000u});
    attributedStringStorageClass texts;
    ASSERT_EQ(texts.getAutocueStringArray().size(), 1u);
    EXPECT_EQ(texts.getAutocueStringArray()[0].string(), "said");
    ASSERT_TRUE(storage.saveProject());
    EXPECT_TRUE(qrn::files::readText(path + "/autocueData.json"));
    // Nothing written beside it under a name with replacement characters.
    EXPECT_EQ(std::distance(fs::directory_iterator(made.dir.path().toStdString()), {}), 1);
    // Qt cannot name it to remove it.
    fs::remove_all(path);
}
