#include <gtest/gtest.h>

#include <QThreadPool>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <numbers>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Model/globalAppSettingsClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "app/model/model_fixture.h"
#include "lifecycle_fixture.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/json.h"
#include "platform/foundation/main_queue.h"
#include "platform/imaging/worker_pool.h"
#include "platform/media/devices.h"
#include "platform/ui/image_view.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"
#include "support/gif_writer.h"

using namespace lifecycletest;
using qrn::Json;

// The pictures are decoded on several threads once the screen is up; each layer still gets its
// own, and a file that is not a picture is handled by the layer as before.
TEST_F(LifecycleTest, ManyDistinctPicturesEachComeBackOnTheirOwnLayerAndUnreadableOnesStayMissing) {
    ASSERT_TRUE(createProject());
    Json d = projectDocument({"0", "9"}, {{"1", "2", "3", "4"}, {"10", "11", "12", "13", "14", "15"}});
    std::vector<std::pair<size_t, size_t>> places{{0, 0}, {0, 1}, {0, 2}, {0, 3},
                                                  {1, 0}, {1, 1}, {1, 2}, {1, 3}};
    for (size_t k = 0; k < places.size(); ++k)
        setReference(d, places[k].first, places[k].second, {3, "png", "p" + std::to_string(k)});
    setReference(d, 1, 4, {3, "png", "broken"});
    setReference(d, 1, 5, {3, "png", "absent"});
    const std::string path = writePackage("Distinct", d);
    std::vector<unsigned> expected;
    for (size_t k = 0; k < places.size(); ++k) {
        const unsigned colour = 0x101010u * unsigned(k + 1);
        modeltest::writePng(path + "/images/p" + std::to_string(k) + ".png", 20, 20, colour);
        expected.push_back(colour);
    }
    std::ofstream(path + "/images/broken.png") << "not a picture";
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    const std::vector<unsigned> shown = shownLayerColours();
    ASSERT_EQ(shown.size(), 10u);
    EXPECT_EQ(std::vector<unsigned>(shown.begin(), shown.begin() + 8), expected);
    // Both unreadable layers show the same stand-in, which is none of the pictures.
    EXPECT_EQ(shown[8], shown[9]);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), shown[8]), 0);
    previewLayerClass model;
    EXPECT_EQ(model.getImageReferenceArray()[1][4], (imageReferenceArray{3, "png", "broken"}));
}

// --- Pictures arriving after the screen is editable.

namespace {

constexpr unsigned red = 0xcc2020u, green = 0x20aa40u, blue = 0x2040ccu;

// Every view of the window that shows a 1x1 picture: a stand-in nothing replaced.
int standInsShown(const qrn::ui::View& root) {
    int n = 0;
    const auto isStandIn = [](const QImage& image) { return image.width() == 1 && image.height() == 1; };
    if (const auto* picture = dynamic_cast<const qrn::ui::ImageView*>(&root);
        picture && isStandIn(picture->image()))
        ++n;
    if (isStandIn(root.layer()->contents()))
        ++n;
    for (const auto& sub : root.subviews())
        n += standInsShown(*sub);
    return n;
}

// Keeps every thread of the shared pool busy until released, so that the pictures of an
// opening stay queued, undecoded, for as long as a test needs.
// Every view of the window whose picture or layer contents is the image with this cache key.
int countShowing(const qrn::ui::View& root, qint64 key) {
    int n = 0;
    if (const auto* picture = dynamic_cast<const qrn::ui::ImageView*>(&root);
        picture && picture->image().cacheKey() == key)
        ++n;
    if (root.layer()->contents().cacheKey() == key)
        ++n;
    for (const auto& sub : root.subviews())
        n += countShowing(*sub, key);
    return n;
}

class poolHeld {
  public:
    poolHeld() {
        auto& pool = qrn::imaging::WorkerPool::shared();
        for (int i = 0; i < pool.threadCount(); ++i)
            pool.post([gate = gate_] { gate.wait(); });
    }
    ~poolHeld() { release(); }
    poolHeld(const poolHeld&) = delete;
    poolHeld& operator=(const poolHeld&) = delete;
    void release() {
        if (!released_)
            open_.set_value();
        released_ = true;
    }

  private:
    std::promise<void> open_;
    std::shared_future<void> gate_ = open_.get_future().share();
    bool released_ = false;
};

class PicturesAfterOpening : public LifecycleTest {
  protected:
    // Assets "0", "10", "20", ... with one picture layer each, "p<a>.png" of the given colour.
    std::string writePictureProject(const std::string& name, int assets, unsigned colour,
                                    const std::function<void(Json&)>& change = nullptr) {
        std::vector<std::string> ids;
        std::vector<std::vector<std::string>> layers;
        for (int a = 0; a < assets; ++a) {
            ids.push_back(std::to_string(10 * a));
            layers.push_back({std::to_string(10 * a + 1)});
        }
        Json d = projectDocument(ids, layers);
        for (int a = 0; a < assets; ++a)
            setReference(d, size_t(a), 0, {3, "png", "p" + std::to_string(a)});
        if (change)
            change(d);
        const std::string path = writePackage(name, d);
        for (int a = 0; a < assets; ++a)
            modeltest::writePng(path + "/images/p" + std::to_string(a) + ".png", 64, 36, colour);
        return path;
    }
    // Asset 1's picture replaced by a red photo of the given size.
    static bool writeRedPhoto(const std::string& path, int width, int height) {
        QImage photo(width, height, QImage::Format_RGB32);
        photo.fill(QColor(red));
        return photo.save(QString::fromStdString(path + "/images/p1.png"));
    }
    // The picture the first layer of asset `a` holds.
    static QImage heldPicture(size_t a) {
        const auto& layers = previewLayerClass().getLayerArray();
        const auto tagged =
            previewLayerClass().getConfiguration()->layerContainerView->viewWithTag(std::stoi(layers[a][0]));
        return std::dynamic_pointer_cast<qrn::ui::ImageView>(tagged->superview()->subviews()[1])->image();
    }
};

} // namespace

TEST_F(PicturesAfterOpening, EveryCopyOfAPictureArrivesAndAFilteredLayerIsFilteredAgain) {
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Copies", 4, green, [](Json& d) {
        // The sticky picture is copied into every tile; asset 2's layer shares asset 1's file
        // and is blurred.
        setReference(d, 2, 0, {3, "png", "p1"});
        d["LAYER_FILTER"][2][0] = {false, true, false};
        d["LAYER_FILTER_VALUES"][2][0][1] = {4.5};
        // The last slide, chosen once it is open, has its picture as its background.
        d["ASSET_BACKGROUND_ID_ARRAY"][2] = "31";
    });
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 0u);
    // No view of the window is left with a stand-in: preview, tiles, sticky copies, layer list.
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), 0);
    const auto shown = shownLayerColours();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], green);
    EXPECT_EQ(shown[1], green);
    EXPECT_EQ(shown[3], green);
    // The blurred layer shows the picture and keeps its filter, drawn live.
    EXPECT_EQ(shown[2], green);
    const auto& layers = previewLayerClass().getLayerArray();
    const auto marker =
        previewLayerClass().getConfiguration()->layerContainerView->viewWithTag(std::stoi(layers[2][0]));
    ASSERT_TRUE(marker && marker->superview());
    const auto& blurred = *marker->superview()->subviews()[1];
    EXPECT_EQ(blurred.layer()->contentFilters().size(), 1u);
    // One premultiplied copy for the two layers that show the same file.
    const auto pictureOf = [&](size_t a) {
        const auto tagged =
            previewLayerClass().getConfiguration()->layerContainerView->viewWithTag(std::stoi(layers[a][0]));
        return std::dynamic_pointer_cast<qrn::ui::ImageView>(tagged->superview()->subviews()[1])->image();
    };
    EXPECT_EQ(heldPicture(2).cacheKey(), heldPicture(1).cacheKey());
    EXPECT_EQ(heldPicture(2).format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(heldPicture(2).size(), QSize(64, 36));
    // The chosen slide's background picture stands in its box beside the layer list, as it does
    // once the presenter chooses the slide.
    ASSERT_EQ(previewLayerClass().getSelectedAssetIndex(), 3);
    ASSERT_EQ(previewLayerClass().getAssetBackgroundIDArray()[2], layers[3][0]);
    const auto box = editViewClass().getConfiguration()->backgroundLayerView;
    const auto boxMarker = box->viewWithTag(std::stoi(layers[3][0]));
    ASSERT_TRUE(boxMarker && boxMarker->superview());
    const auto boxPicture =
        std::dynamic_pointer_cast<qrn::ui::ImageView>(boxMarker->superview()->subviews()[0]);
    ASSERT_TRUE(boxPicture);
    EXPECT_EQ(boxPicture->image().pixel(0, 0) & 0xffffffu, green);
}

TEST_F(PicturesAfterOpening, TheStickyAssetThenTheSelectedOneAndItsNeighboursDecodeFirst) {
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Order", 8, blue);
    openWithMenu(path, false);
    const std::string images = path + "/images/p";
    const int selected = previewLayerClass().getSelectedAssetIndex();
    ASSERT_GE(selected, 1);
    const auto order = previewLayerPendingPictures::decodeOrder();
    ASSERT_EQ(order.size(), 8u);
    EXPECT_EQ(order[0], images + "0.png");
    EXPECT_EQ(order[1], images + std::to_string(selected) + ".png");
    // Each next picture is no nearer to the selected asset than the one before.
    int last = 0;
    for (size_t k = 1; k < order.size(); ++k) {
        const int asset = std::stoi(order[k].substr(images.size()));
        EXPECT_GE(std::abs(asset - selected), last) << order[k];
        last = std::abs(asset - selected);
    }
    waitForPictures();
    EXPECT_EQ(shownLayerColours(), std::vector<unsigned>(8, blue));
}

TEST_F(PicturesAfterOpening, PicturesAreReadWhileTheImportMakesTheLayersAndReachTheLayersMadeAfter) {
    ASSERT_TRUE(createProject());
    // Every asset's layer shows the sticky asset's file.
    constexpr int assets = 5;
    const std::string path = writePictureProject("Early", assets, green, [](Json& d) {
        for (size_t a = 1; a < size_t(assets); ++a)
            setReference(d, a, 0, {3, "png", "p0"});
    });
    // When the import comes to the last layer, the picture has been read: the file can go.
    int layersAdded = 0;
    qrn::setLogSinkForTesting([&](const std::string& line) {
        if (line.find("addLayers") == std::string::npos ||
            line.find("IMAGE_REFERENCE_ARRAY") == std::string::npos || ++layersAdded != assets)
            return;
        QThreadPool::globalInstance()->waitForDone();
        std::filesystem::remove(path + "/images/p0.png");
    });
    globalAppSettingsClass::setShowLogsForTesting(true);
    openWithMenu(path);
    qrn::setLogSinkForTesting(nullptr);
    globalAppSettingsClass::setShowLogsForTesting(false);
    ASSERT_EQ(layersAdded, assets);
    EXPECT_EQ(shownLayerColours(), std::vector<unsigned>(size_t(assets), green));
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), 0);
}

TEST_F(PicturesAfterOpening, APictureThatFailsToDecodeIsReportedAndShowsWhatAnUnreadableFileShows) {
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Damaged", 4, red);
    // p2 begins as a picture and breaks off after its header; p3 is no picture at all.
    std::filesystem::resize_file(path + "/images/p2.png", 40);
    std::ofstream(path + "/images/p3.png", std::ios::trunc) << "not a picture";
    std::vector<std::string> lines;
    qrn::setLogSinkForTesting([&](const std::string& line) { lines.push_back(line); });
    globalAppSettingsClass::setShowLogsForTesting(true);
    openWithMenu(path);
    qrn::setLogSinkForTesting(nullptr);
    globalAppSettingsClass::setShowLogsForTesting(false);
    ASSERT_TRUE(alerts.empty());
    const auto shown = shownLayerColours();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], red);
    EXPECT_EQ(shown[1], red);
    EXPECT_EQ(shown[2], shown[3]) << "both show the picture for one that cannot be had";
    EXPECT_NE(shown[2], red);
    const auto reported = [&](const std::string& file) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find("Unable to retrieve remote regular image " + file) != std::string::npos;
        });
    };
    // Each with the same lines: the thrown error and the import's own report of it.
    EXPECT_EQ(reported("p2.png"), 3);
    EXPECT_EQ(reported("p3.png"), 3);
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), 0);
}

TEST_F(PicturesAfterOpening, APictureTooLargeToReadShowsTheMissingMarkAndOneNoticeNamesItsSlide) {
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Huge", 5, red);
    // p2 and p3: GIFs of a 16384 x 16384 screen in a few bytes, which only Qt's reader reads,
    // making the whole screen (a gigabyte); p4 is no picture at all.
    for (const char* name : {"p2", "p3"}) {
        QByteArray gif = qrn::test::gif_detail::header(16384, 16384, {qRgb(0, 0, 255)});
        qrn::test::gif_detail::image(gif, {0, 0}, 1, 1, 0, 0);
        gif.append(char(0x3b));
        std::ofstream(path + "/images/" + name + ".png", std::ios::binary | std::ios::trunc)
            .write(gif.constData(), gif.size());
    }
    std::ofstream(path + "/images/p4.png", std::ios::trunc) << "not a picture";
    openWithMenu(path);
    advance(0.5);
    const auto shown = shownLayerColours();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[1], red);
    EXPECT_EQ(shown[2], shown[4]) << "the mark of a picture that cannot be had";
    EXPECT_EQ(shown[3], shown[4]);
    EXPECT_NE(shown[2], red);
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), 0);
    // One notice names both by their slides, as the presenter knows them, not by the names they
    // are stored under; the damaged file is not said to be too large.
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("slides 2 and 3 are too large"), std::string::npos) << alerts[0];
    EXPECT_EQ(alerts[0].find(".png"), std::string::npos) << alerts[0];
}

TEST_F(PicturesAfterOpening, AnotherProjectOpenedWhileDecodingGetsOnlyItsOwnPictures) {
    ASSERT_TRUE(createProject());
    // A red picture on the second project's screen could only have come from the first.
    const std::string first = writePictureProject("First", 6, red);
    const std::string second = writePictureProject("Second", 5, blue);
    const auto shown = [] {
        auto colours = shownLayerColours();
        std::sort(colours.begin(), colours.end());
        colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
        return colours;
    };
    // The first project's pictures are decoded and their deliveries queued when the second opens,
    // and the second's wait for a free thread.
    openWithMenu(first, false);
    previewLayerPendingPictures::waitUntilDecoded();
    {
        poolHeld held;
        openWithMenu(second, false);
        EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 5u);
        const auto colours = shownLayerColours();
        EXPECT_EQ(std::count(colours.begin(), colours.end(), red), 0);
        EXPECT_GE(standInsShown(*mainWindow()->contentView()), 5) << "the second's layers wait";
    }
    waitForPictures();
    EXPECT_EQ(shown(), std::vector<unsigned>{blue});
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), 0);

    // Opened again with its pictures queued, then the model reset: they go nowhere.
    {
        poolHeld held;
        openWithMenu(first, false);
        previewLayerClass().clearClass(false);
        EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 0u);
    }
    const int waiting = standInsShown(*mainWindow()->contentView());
    EXPECT_GT(waiting, 0);
    QThreadPool::globalInstance()->waitForDone();
    qrn::MainQueue::runPending();
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), waiting);
}

TEST_F(PicturesAfterOpening, QuittingWhilePicturesAreQueuedLeavesNothingForThePoolToFinish) {
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Quit", 8, red);
    poolHeld held;
    openWithMenu(path, false);
    ASSERT_EQ(previewLayerPendingPictures::pendingCount(), 8u);
    delegate.applicationWillTerminate();
    EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 0u);
    EXPECT_TRUE(previewLayerPendingPictures::decodeOrder().empty());
    held.release();
    QThreadPool::globalInstance()->waitForDone();
    qrn::MainQueue::runPending();
}

TEST_F(PicturesAfterOpening, TheStudioOpenedBeforeThePicturesArrivedShowsEveryOne) {
    qputenv("QRN_TEST_DEVICES", "1");
    qrn::media::CaptureAccess::resetForTesting();
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Studio", 12, green);
    openWithMenu(path, false);
    auto bar = editScreenTitleBarController::current();
    ASSERT_TRUE(bar && bar->buttonRecordView);
    const auto bounds = bar->buttonRecordView->bounds();
    click(*bar->buttonRecordView, {bounds.midX(), bounds.midY()});
    advance(1.0);
    ASSERT_TRUE(dynamic_cast<recordViewController*>(shownScreen()));
    EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 0u);
    // The studio's own views and the editing screen's lent ones: no stand-in anywhere.
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), 0);
    qunsetenv("QRN_TEST_DEVICES");
    qrn::media::CaptureAccess::resetForTesting();
}

TEST_F(PicturesAfterOpening, APictureIsHeldAtItsLayersShareOfTheMovieAndSharpenedWhenTheLayerGrows) {
    ASSERT_TRUE(createProject());
    // An 80 x 60 layer of a 556 x 313 preview is 277 x 208 pixels of the 1920 x 1080 movie.
    const std::string path = writePictureProject("Held", 2, red);
    ASSERT_TRUE(writeRedPhoto(path, 1600, 1200));
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    const QImage held = heldPicture(1);
    EXPECT_GE(held.width(), 277);
    EXPECT_GE(held.height(), 207);
    EXPECT_LE(held.width(), 290);
    EXPECT_NEAR(double(held.width()) / held.height(), 4.0 / 3.0, 0.01);
    EXPECT_EQ(held.pixel(held.width() / 2, held.height() / 2) & 0xffffffu, red);
    // One smaller than its layer's share keeps its own size.
    EXPECT_EQ(heldPicture(0).size(), QSize(64, 36));

    // Made four times as wide and high, the layer gets a picture from the file to match, in the
    // preview and in the strip's tile alike; a small change does not read the file again.
    previewLayerClass model;
    const auto resize = [&](double w, double h) {
        model.resizeOrRotateLayer(false, std::vector<double>{w, h, 0}, false, qrn::Value::List{false, 1, 0},
                                  false, false, false, false, 0, 0, false, false);
        advance(0.5);
    };
    resize(82, 61);
    EXPECT_EQ(heldPicture(1).cacheKey(), held.cacheKey());
    resize(320, 240);
    const QImage sharper = heldPicture(1);
    EXPECT_GE(sharper.width(), 1100);
    EXPECT_NEAR(double(sharper.width()) / sharper.height(), 4.0 / 3.0, 0.01);
    EXPECT_EQ(sharper.pixel(sharper.width() / 2, sharper.height() / 2) & 0xffffffu, red);
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), 0);
    EXPECT_EQ(countShowing(*mainWindow()->contentView(), held.cacheKey()), 0);
}

// A layer turned a quarter lays its height along the movie's width: its picture is held for that
// length, not cut to the movie's height.
TEST_F(PicturesAfterOpening, ATurnedLayersPictureIsHeldForWhatTheTurnShows) {
    ASSERT_TRUE(createProject());
    // 100 x 400 points of a 556 x 313 preview, turned a quarter: 346 x 1382 pixels of the movie,
    // all of them shown.
    const std::string path = writePictureProject("Turned", 2, red, [](Json& d) {
        d["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = {228, -44, 100, 400};
        d["LAYER_ROTATE_ARRAY"][1][0] = std::numbers::pi / 2;
        d["LAYER_RESIZE_WITH_ASPECT_RATIO"][1][0] = {0, 0.25};
    });
    ASSERT_TRUE(writeRedPhoto(path, 2400, 2400));
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    const QImage held = heldPicture(1);
    EXPECT_GE(held.height(), 1381) << "held at " << held.width() << " x " << held.height();
    EXPECT_LE(held.height(), 1400);
}

// A picture of the package that is a link to a file elsewhere on the disk is not shown: the
// package's files never reach outside it.
TEST_F(LifecycleTest, APictureLinkedFromOutsideThePackageIsNotShown) {
    ASSERT_TRUE(createProject());
    Json d = projectDocument({"0", "9"}, {{}, {"10"}});
    setReference(d, 1, 0, {3, "png", "pic"});
    const std::string path = writePackage("Linked", d);
    const std::string outside = path + "/../outside.png";
    modeltest::writePng(outside, 200, 150, red);
    std::filesystem::create_symlink(outside, path + "/images/pic.png");
    openWithMenu(path);
    advance(2.0); // the layout pass after opening, which asks the files for sharper pictures
    const std::vector<unsigned> shown = shownLayerColours();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0], red);
}

// The pictures decode from the moment the project is chosen, while the screen changes, and the
// import shows those: the files are not read again.
TEST_F(PicturesAfterOpening, PicturesDecodedSinceTheChoiceAreTheOnesShown) {
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Chosen", 6, red);
    panelAnswers.push_back(path);
    fileMenuClass().open();
    EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 6u);
    QThreadPool::globalInstance()->waitForDone();
    for (int a = 0; a < 6; ++a)
        modeltest::writePng(path + "/images/p" + std::to_string(a) + ".png", 64, 36, blue);
    advance(2.0);
    waitForPictures();
    EXPECT_EQ(shownLayerColours(), std::vector<unsigned>(6, red));
    EXPECT_EQ(standInsShown(*mainWindow()->contentView()), 0);
}

// A project file changed between the choice and the import: the pictures are those of the file
// as imported, at the sizes its layers have there.
TEST_F(PicturesAfterOpening, AProjectFileChangedAfterTheChoiceGetsThePicturesItNames) {
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Changed", 2, red);
    ASSERT_TRUE(writeRedPhoto(path, 1600, 1200));
    panelAnswers.push_back(path);
    fileMenuClass().open();
    QThreadPool::globalInstance()->waitForDone();
    // Asset 1's layer is now 20 x 15 points: 70 x 53 pixels of the movie.
    auto read = qrn::json::readFile(path + "/projectData.json");
    ASSERT_TRUE(read.isOk());
    Json document = *read;
    document["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = {10, 10, 20, 15};
    std::ofstream(path + "/projectData.json", std::ios::trunc) << document.dump();
    advance(2.0);
    waitForPictures();
    ASSERT_TRUE(alerts.empty());
    EXPECT_LE(heldPicture(1).height(), 60);
    EXPECT_EQ(shownLayerColours(), std::vector<unsigned>(2, red));
}

// A choice whose import never comes (its file broke before it) leaves no pictures behind.
TEST_F(PicturesAfterOpening, AChoiceThatNeverImportsLetsItsPicturesGo) {
    ASSERT_TRUE(createProject());
    const std::string path = writePictureProject("Broken", 6, red);
    poolHeld held;
    panelAnswers.push_back(path);
    fileMenuClass().open();
    std::ofstream(path + "/projectData.json", std::ios::trunc) << "{";
    advance(2.0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 6u);
    advance(5.0);
    EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 0u);
    held.release();
    QThreadPool::globalInstance()->waitForDone();
    qrn::MainQueue::runPending();
    EXPECT_EQ(previewLayerPendingPictures::pendingCount(), 0u);
}
