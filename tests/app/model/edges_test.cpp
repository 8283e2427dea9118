// Packages a hostile sender or a damaged disk may deliver, opened and saved through the File
// menu: every project that opens can be written back, Save says what happened, unreadable text
// files are kept, no picture grows with a stored size, and nothing outside the package is touched.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "app/layers/layers_support.h"
#include "app/lifecycle/lifecycle_fixture.h"
#include "app/model/model_fixture.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"

using namespace lifecycletest;
using qrn::Json;
using strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

class ProjectEdges : public LifecycleTest {
  protected:
    void TearDown() override {
        qrn::files::setWriteFailureForTesting(nullptr);
        LifecycleTest::TearDown();
    }

    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    // File > Save, as the menu item sends it.
    void save() { fileMenuClass().save(); }
    bool titleFlashesSaved() const {
        const std::string& title = mainWindow()->title();
        return title.size() > 8 && title.compare(title.size() - 8, 8, " - saved") == 0;
    }
    // Every number of a document.
    static void eachNumber(const Json& j, const std::function<void(double)>& f) {
        if (j.is_number())
            f(j.get<double>());
        else if (j.is_array() || j.is_object())
            for (const auto& e : j)
                eachNumber(e, f);
    }
    // Three assets with one bundle-image layer each on the regular ones.
    static Json threeAssets() { return projectDocument({"0", "1", "2"}, {{}, {"3"}, {"5"}}); }
};

// The scripts of the regular assets as the text storage holds them.
strings scripts() {
    strings out;
    for (const auto& s : attributedStringStorageClass().getAutocueStringArray())
        out.push_back(s.string());
    return out;
}

} // namespace

TEST_F(ProjectEdges, NumbersOutOfTheLayoutsRangeAreBroughtInAndTheProjectSavesAndReopens) {
    ASSERT_TRUE(createProject());
    struct hostile {
        const char* name;
        std::function<void(Json&)> change;
    };
    const std::vector<hostile> cases{
        {"HugeCoordinate",
         [](Json& d) {
             d["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = {1e308, -1e308, 80, 60};
         }},
        {"HugeSize",
         [](Json& d) {
             d["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = {0, 0, 1.7e308, 1e300};
         }},
        {"TinyPreview",
         [](Json& d) {
             d["MAIN_PREVIEW_VIEW_RECT_ARRAY"] = {0, 0, 5e-324, 5e-324};
         }},
        {"TinyAndNegativeSizes",
         [](Json& d) {
             d["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = {0, 0, 5e-324, -40};
             d["VIDEO_ORIGIN_SIZE_ARRAY"] = {0, 0, 5e-324, 1e308};
             d["cropSize"] = {-1e308, 5e-324};
         }},
        {"HugeOriginalsRotationAndLock",
         [](Json& d) {
             d["LAYER_ORIGINAL_POS_SIZE_ROT"][2][0] = {1e308, 1e308, 1e308, 5e-324, 1e308};
             d["LAYER_ROTATE_ARRAY"][2][0] = -1e308;
             d["LAYER_RESIZE_WITH_ASPECT_RATIO"][2][0] = {1, 1e308};
         }},
        {"HugeColourAndFilterValue",
         [](Json& d) {
             d["ASSET_BACKGROUND_COLOUR_ARRAY"][0] = {1e308, -1e308, 5e-324, 1e308};
             d["LAYER_FILTER_VALUES"][1][0][1] = {1e308, -1e308, 3};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json d = threeAssets();
        c.change(d);
        const std::string path = writePackage(c.name, d);
        alerts.clear();
        openWithMenu(path);
        ASSERT_TRUE(alerts.empty());
        advance(2.0);
        // Every later step that rescales the layers: another preview size, then Save.
        mainWindow()->setContentSize({1400, 900});
        advance(2.0);
        save();
        EXPECT_TRUE(alerts.empty()) << (alerts.empty() ? "" : alerts[0]);
        EXPECT_TRUE(titleFlashesSaved());
        const auto written = qrn::json::readFile(path + "/projectData.json");
        ASSERT_TRUE(written);
        eachNumber(*written, [](double v) { EXPECT_TRUE(std::isfinite(v) && std::abs(v) < 1e12) << v; });
        advance(2.0);
        // What was written opens again as it is.
        openWithMenu(path);
        EXPECT_TRUE(alerts.empty());
        EXPECT_EQ(previewLayerClass().getAssetArray().size(), 3u);
        layerstest::expectLayerInvariants();
    }
    // The coordinates themselves are kept where they lie in range (stored for this preview).
    Json d = threeAssets();
    d["MAIN_PREVIEW_VIEW_RECT_ARRAY"] = editViewClass().getMainPreviewViewRectAsArray();
    d["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = {-2e6, 2e6, 80, 60};
    openWithMenu(writePackage("Kept", d));
    const auto frame = previewLayerClass().getLayerOriginSizeArray()[1][0];
    EXPECT_NEAR(frame[0], -1e6, 1);
    EXPECT_NEAR(frame[1], 1e6, 1);
}

TEST_F(ProjectEdges, SaveFlashesOnlyWhenEveryFileIsWrittenAndOtherwiseSaysWhy) {
    ASSERT_TRUE(createProject());
    const std::string path = packagePath("Demo");
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    advance(2.0);
    save();
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(titleFlashesSaved());
    advance(1.5);
    EXPECT_EQ(mainWindow()->title(), "Demo");

    // The last file fails: the alert names it and the writer's reason, and the title stays.
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    advance(2.0);
    qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path& p) {
        return step == qrn::files::WriteStep::Rename && p.filename() == "specialSymbolData.json";
    });
    save();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("The project could not be saved: Could not replace \"" + path +
                                  "/specialSymbolData.json\": ",
                              0),
              0u)
        << alerts[0];
    EXPECT_EQ(mainWindow()->title(), "Demo");

    // The project file fails: neither text file is written either, so the three stay in step.
    alerts.clear();
    qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path& p) {
        return step == qrn::files::WriteStep::Write && p.filename() == "projectData.json";
    });
    auto before = filesOf(path);
    model.addAsset(true, true, false, std::nullopt, std::nullopt, false, false, false);
    before = filesOf(path);
    attributedStringStorageClass().setScriptAfterDelay(1, qrn::AttributedString("typed"));
    save();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind(
                  "The project could not be saved: Could not write \"" + path + "/projectData.json\": ", 0),
              0u)
        << alerts[0];
    EXPECT_FALSE(titleFlashesSaved());
    EXPECT_EQ(filesOf(path), before);
    qrn::files::setWriteFailureForTesting(nullptr);

    // A value the file cannot hold is refused by the writer, with the same result.
    alerts.clear();
    const Json stored = writeAndRead();
    model.setAssetBackgroundColour({{NAN, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}});
    before = filesOf(path);
    save();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("The project could not be saved: projectData.json not written: ", 0), 0u)
        << alerts[0];
    EXPECT_FALSE(titleFlashesSaved());
    EXPECT_EQ(filesOf(path), before);
    EXPECT_EQ(*qrn::json::readFile(path + "/projectData.json"), stored);
}

TEST_F(ProjectEdges, SaveAfterAFailedOpenSaysTheFilesAreLeftAsTheyWere) {
    ASSERT_TRUE(createProject());
    // Passes the check, then the images folder cannot be asked about the picture: its name is a
    // link to itself.
    Json d = threeAssets();
    setReference(d, 2, 0, {3, "png", "loop"});
    const std::string path = writePackage("Broken", d);
    std::filesystem::create_directories(path + "/images");
    std::filesystem::remove(path + "/images/loop.png");
    std::filesystem::create_symlink("loop.png", path + "/images/loop.png");
    write(path + "/autocueData.json", "[]");
    const auto before = filesOf(path);
    openWithMenu(path);
    ASSERT_EQ(alerts, strings{"Project Failed to Load"});
    alerts.clear();
    save();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "The project could not be saved: The project failed to load; its files are left as "
                         "they were");
    EXPECT_FALSE(titleFlashesSaved());
    advance(2.0);
    EXPECT_EQ(filesOf(path), before);
}

TEST_F(ProjectEdges, ScriptsOfAProjectWhoseScriptFileCannotBeReadAreKeptAfterSaveAndReopen) {
    ASSERT_TRUE(createProject());
    std::string deep;
    for (int i = 0; i < 2000; ++i)
        deep += "[";
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"Missing", std::nullopt},
        {"Cut", R"([{"string": "notes", "runs": []}, {"string": "first", "ru)"},
        {"TooDeep", deep},
        {"NotAList", R"({"string": "notes"})"},
    };
    for (const auto& [name, autocue] : cases) {
        SCOPED_TRACE(name);
        const std::string path = writePackage(name, threeAssets());
        if (autocue)
            write(path + "/autocueData.json", *autocue);
        alerts.clear();
        openWithMenu(path);
        EXPECT_EQ(scripts(), (strings{"", ""}));
        if (autocue) {
            // Told once, and the file is kept beside, byte for byte.
            EXPECT_EQ(alerts, strings{"autocueData.json could not be read and was kept as "
                                      "autocueData.json.damaged. The notes and scripts open empty."});
            EXPECT_EQ(read(path + "/autocueData.json.damaged"), *autocue);
        } else {
            EXPECT_TRUE(alerts.empty());
        }
        attributedStringStorageClass().setScriptAfterDelay(2, qrn::AttributedString("second slide"));
        advance(1.0);
        save();
        advance(2.0);
        openWithMenu(path);
        EXPECT_EQ(scripts(), (strings{"", "second slide"}));
        EXPECT_EQ(alerts.size(), autocue ? 1u : 0u) << "told once";
    }
}

// The notice stands over the opened project: it waits until the import has returned, so the
// window has drawn the project and taken its title first.
TEST_F(ProjectEdges, TheDamagedFileNoticeWaitsForTheOpenToFinish) {
    ASSERT_TRUE(createProject());
    const std::string path = writePackage("Late", threeAssets());
    write(path + "/autocueData.json", "{");
    persistentDataStorageClass().setProjectDirectory(path);
    fileMenuClass::importStoredProject();
    EXPECT_TRUE(alerts.empty());
    qrn::MainQueue::runPending();
    EXPECT_EQ(alerts.size(), 1u);
}

TEST_F(ProjectEdges, AnUnreadableSymbolFileIsSetAsideBeforeDefaultsAreWrittenInItsPlace) {
    ASSERT_TRUE(createProject());
    Json d = threeAssets();
    setReference(d, 1, 0, {1, 1});
    const std::string path = writePackage("Symbols", d);
    const std::string damaged = R"([[], [{"string": "my own words", "runs": [{"range": [0, 3)";
    write(path + "/specialSymbolData.json", damaged);
    write(path + "/autocueData.json", "{");
    openWithMenu(path);
    // One alert for both files.
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0],
              "autocueData.json could not be read and was kept as autocueData.json.damaged. The "
              "notes and scripts open empty.\n"
              "specialSymbolData.json could not be read and was kept as "
              "specialSymbolData.json.damaged. The words of the text layers could not be brought back.");
    EXPECT_EQ(read(path + "/specialSymbolData.json.damaged"), damaged);
    EXPECT_EQ(read(path + "/autocueData.json.damaged"), "{");
    // The open writes the defaults in its place, as for a package that never had one.
    EXPECT_TRUE(qrn::json::readFile(path + "/specialSymbolData.json"));

    // Damaged again: the copy from before is kept, the new one goes beside it.
    write(path + "/specialSymbolData.json", "[[1");
    alerts.clear();
    openWithMenu(path);
    EXPECT_EQ(alerts, strings{"specialSymbolData.json could not be read and was kept as "
                              "specialSymbolData.json.2.damaged. The words of the text layers could not be "
                              "brought back."});
    EXPECT_EQ(read(path + "/specialSymbolData.json.damaged"), damaged);
    EXPECT_EQ(read(path + "/specialSymbolData.json.2.damaged"), "[[1");

    // A folder in the file's place is set aside the same way.
    fs::remove(path + "/specialSymbolData.json");
    fs::create_directory(path + "/specialSymbolData.json");
    alerts.clear();
    openWithMenu(path);
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(fs::is_directory(path + "/specialSymbolData.json.3.damaged"));
    EXPECT_TRUE(fs::is_regular_file(path + "/specialSymbolData.json"));
}

TEST_F(ProjectEdges, NoPictureGrowsWithAStoredLayerSize) {
    ASSERT_TRUE(createProject());
    Json d = threeAssets();
    // A text layer a million points high and a picture layer of 2^31 points, both blurred.
    setReference(d, 1, 0, {1, 1});
    d["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = {0, 0, 100, 1e6};
    setReference(d, 2, 0, {3, "png", "pic"});
    d["LAYER_ORIGIN_SIZE_ARRAY"][2][0] = {0, 0, 2147483648.0, 2147483648.0};
    d["LAYER_FILTER"][1][0] = {false, true, false};
    d["LAYER_FILTER"][2][0] = {false, true, false};
    const std::string path = writePackage("Large", d);
    modeltest::writePng(path + "/images/pic.png", 40, 30, 0x3366cc);
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    // Both assets' layers drawn, the hidden one's included.
    mainWindow()->displayIfNeeded();
    mainWindow()->contentView()->displaySubtreeIncludingHidden();
    (void)mainWindow()->snapshot(0);
    // Every picture of every view: the drawings and the symbols drawn for the layers.
    size_t largest = 0;
    std::function<void(qrn::ui::View&)> visit = [&](qrn::ui::View& v) {
        const QImage& contents = v.layer()->contents();
        largest = std::max(largest, size_t(contents.width()) * size_t(contents.height()));
        EXPECT_LE(contents.width(), qrn::ui::View::maxPictureSide);
        EXPECT_LE(contents.height(), qrn::ui::View::maxPictureSide);
        for (const auto& s : v.subviews())
            visit(*s);
    };
    visit(*mainWindow()->contentView());
    EXPECT_LE(double(largest), qrn::ui::View::maxPicturePixels);
    save();
    EXPECT_TRUE(titleFlashesSaved());
}

TEST_F(ProjectEdges, AnImagesFolderThatIsALinkIsMissingAndNothingOutsideIsWrittenOrDeleted) {
    ASSERT_TRUE(createProject());
    const std::string outside = dir.path().toStdString() + "/outside";
    fs::create_directories(outside);
    modeltest::writePng(outside + "/pic.png", 8, 8, 0x00ff00);
    Json d = threeAssets();
    setReference(d, 1, 0, {3, "png", "pic"});
    const std::string path = packagePath("Linked");
    fs::create_directories(path);
    write(path + "/projectData.json", d.dump());
    fs::create_directory_symlink(outside, path + "/images");
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    EXPECT_FALSE(imageManipulationClass::isInImagesFolder(path + "/images/pic.png"));

    // A drop stores nothing through the link.
    const std::string dropped = dir.path().toStdString() + "/dropped.png";
    modeltest::writePng(dropped, 6, 6, 0xff0000);
    previewLayerClass model;
    model.setImageReferenceArray(3, std::nullopt, "png");
    model.addLayer(std::make_shared<const QImage>(dropped.c_str()), std::nullopt, dropped, qrn::Size{6, 6},
                   true, false, {100, 100}, std::nullopt, 0, false, false, false, false);
    // The layer naming the outside picture is removed, and the program ends (the purge).
    model.removeLayer(layerAssetIndexAndVideoSelectedArray{false, 1, 0}, false);
    imageManipulationClass images;
    images.markImageForPermanentRemoval("pic", "png");
    images.permanentlyRemoveImagesMarkedForRemoval();
    save();
    advance(2.0);
    strings names;
    for (const auto& entry : fs::directory_iterator(outside))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, strings{"pic.png"});
    EXPECT_TRUE(fs::is_symlink(path + "/images"));
}

TEST_F(ProjectEdges, OpeningRemovesUnfinishedWritesOfOurOwnNamingOnly) {
    ASSERT_TRUE(createProject());
    const std::string path = writePackage("Temporary", threeAssets());
    const strings stale{".autocueData.json.0F8FAD5B-D9CB-469F-A165-70867728950E.tmp",
                        ".projectData.json.0f8fad5b-d9cb-469f-a165-70867728950e.tmp",
                        "images/.pic.png.0F8FAD5B-D9CB-469F-A165-70867728950E.tmp"};
    const strings kept{".autocueData.json.tmp", "autocueData.json.0F8FAD5B-D9CB-469F-A165-70867728950E.tmp",
                       ".notes.0F8FAD5B-D9CB-469F-A165-70867728950.tmp",
                       ".x.json.0F8FAD5B_D9CB-469F-A165-70867728950E.tmp", "notes.txt"};
    for (const auto& name : stale)
        write(path + "/" + name, "partial");
    for (const auto& name : kept)
        write(path + "/" + name, "mine");
    // A folder under such a name is not ours either.
    fs::create_directory(path + "/.folder.0F8FAD5B-D9CB-469F-A165-70867728950E.tmp");
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    for (const auto& name : stale)
        EXPECT_FALSE(fs::exists(path + "/" + name)) << name;
    for (const auto& name : kept)
        EXPECT_EQ(read(path + "/" + name), "mine") << name;
    EXPECT_TRUE(fs::is_directory(path + "/.folder.0F8FAD5B-D9CB-469F-A165-70867728950E.tmp"));
}

TEST_F(ProjectEdges, TextSizesAndSpacingsOfTheTextFilesAreBroughtIntoRange) {
    ASSERT_TRUE(createProject());
    Json d = threeAssets();
    setReference(d, 1, 0, {1, 1});
    const std::string path = writePackage("Texts", d);
    write(path + "/specialSymbolData.json",
          R"([[], [{"string": "huge", "runs": [{"range": [0, 4], "attributes": {
        "font": {"name": "Helvetica", "size": 1e300},
        "paragraph_style": {"head_indent": 1e300, "tail_indent": -1e300, "line_height_multiple": 1e300,
                            "line_spacing": 1e300, "paragraph_spacing": -1e300}}}]}], []])");
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    const auto texts = attributedStringStorageClass().getTextSymbolStringArray();
    ASSERT_GE(texts.size(), 2u);
    ASSERT_EQ(texts[1].size(), 1u);
    const auto attributes = texts[1][0].attributesAt(0);
    ASSERT_TRUE(attributes.font && attributes.paragraphStyle);
    EXPECT_LE(attributes.font->size, 10000);
    const auto& style = *attributes.paragraphStyle;
    for (double v : {style.headIndent, style.tailIndent, style.lineSpacing, style.paragraphSpacing})
        EXPECT_LE(std::abs(v), 1e6);
    EXPECT_LE(style.lineHeightMultiple, 100);
    // Drawn and saved like any other.
    mainWindow()->displayIfNeeded();
    save();
    EXPECT_TRUE(titleFlashesSaved());
}
