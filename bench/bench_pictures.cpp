// Pictures held at the size they are drawn: opening a deck of large photos, and a GIF of
// thousands of frames as a layer. Each reports the peak resident memory of the work.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Global/fileMenuClass.h"
#include "Model/persistentDataStorageClass.h"
#include "app/preview/preview_fixture.h"
#include "app/shell/shell_fixture.h"
#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/imaging/picture_reader.h"
#include "platform/imaging/worker_pool.h"
#include "platform/ui/image_view.h"
#include "support/bench_cores.h"
#include "support/gif_writer.h"
#include "support/peak_memory.h"
#include "support/png_bomb.h"
#include "support/tiff_writer.h"

namespace {

struct projectFolder {
    QTemporaryDir dir;
    std::string path;
    projectFolder() : path(dir.path().toStdString() + "/Deck.qrn3ks") {
        (void)qrn::files::createDirectories(path + "/images");
        persistentDataStorageClass().setProjectDirectory(path);
    }
};

// projectData.json of `slides` slides after the sticky one, each with one picture layer showing
// `picture(n)` (the photo "photo<n>" unless said) in a 4:3 frame that fills the preview's height.
qrn::Json deckDocument(int slides, const std::function<qrn::Json(int)>& picture = {}) {
    using qrn::Json;
    Json d = Json::object();
    d["MAIN_PREVIEW_VIEW_RECT_ARRAY"] = {0, 0, 556, 313};
    Json ids = Json::array({"0"}), backgrounds = Json::array(), colours = Json::array(),
         layers = Json::array({Json::array()}), first = Json::array({nullptr});
    const auto perLayer = [&](const std::function<Json(int)>& value) {
        Json table = Json::array({Json::array()});
        for (int s = 0; s < slides; ++s)
            table.push_back(Json::array({value(s)}));
        return table;
    };
    for (int s = 0; s < slides; ++s) {
        ids.push_back(std::to_string(1 + 3 * s));
        layers.push_back(Json::array({std::to_string(2 + 3 * s)}));
        backgrounds.push_back(nullptr);
        colours.push_back({12, 34, 56, 1});
        first.push_back(nullptr);
    }
    d["ASSET_ARRAY"] = ids;
    d["ASSET_BACKGROUND_ID_ARRAY"] = backgrounds;
    d["ASSET_BACKGROUND_COLOUR_ARRAY"] = colours;
    d["LAYER_ARRAY"] = layers;
    d["FIRST_LAYER_ABOVE_VIDEO_ARRAY"] = first;
    d["IMAGE_REFERENCE_ARRAY"] = perLayer([&](int s) {
        return picture ? picture(s) : Json{3, "jpg", "photo" + std::to_string(s)};
    });
    d["LAYER_ORIGIN_SIZE_ARRAY"] = perLayer([](int) { return Json{69, 0, 417, 313}; });
    d["LAYER_ROTATE_ARRAY"] = perLayer([](int) { return Json(0); });
    d["LAYER_ORIGINAL_POS_SIZE_ROT"] = perLayer([](int) { return Json{69, 0, 417, 313, 0}; });
    d["LAYER_IS_FLIPPED_ARRAY"] = perLayer([](int) { return Json{false, false}; });
    d["LAYER_RESIZE_WITH_ASPECT_RATIO"] = perLayer([](int) { return Json{1, 4.0 / 3}; });
    d["LAYER_FILTER"] = perLayer([](int) { return Json{false, false, false}; });
    d["LAYER_FILTER_ORDER"] = perLayer([](int) { return Json{0, 1, 2}; });
    d["LAYER_FILTER_VALUES"] = perLayer([](int) { return Json{{""}, {""}, {""}}; });
    d["VIDEO_ORIGIN_SIZE_ARRAY"] = {0, 0, 556, 313};
    d["cropOrigin"] = {0, 0};
    d["cropSize"] = {100, 100};
    d["VIDEO_FILTER"] = {false, false, false};
    d["VIDEO_FILTER_VALUES"] = {{""}, {""}, {""}};
    d["VIDEO_SETTINGS_ARRAY"] = Json::array();
    d["LAYER_SETTINGS_ARRAY"] = Json::array();
    return d;
}

// A 4000 x 3000 photo-like JPEG: a gradient with a disc, about 12 megapixels from a camera.
QByteArray photoBytes() {
    QImage image(4000, 3000, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 4000, 3000);
    g.setColorAt(0, QColor(200, 120, 40));
    g.setColorAt(1, QColor(30, 60, 150));
    p.fillRect(image.rect(), g);
    p.setBrush(QColor(240, 230, 200));
    p.drawEllipse(QPointF(2600, 1200), 700, 700);
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

// 150 slides with a 4000 x 3000 photo each, opened as File > Open does until every photo is on
// its layer. The iteration's time is that; "editable ms" is when the screen could be used.
void BM_OpenPhotoDeck(benchmark::State& state) {
    constexpr int slides = 150;
    projectFolder folder;
    (void)qrn::json::writeFile(folder.path + "/projectData.json", deckDocument(slides));
    const QByteArray photo = photoBytes();
    for (int s = 0; s < slides; ++s) {
        QFile file(QString::fromStdString(folder.path + "/images/photo" + std::to_string(s) + ".jpg"));
        if (!file.open(QIODevice::WriteOnly) || file.write(photo) != photo.size())
            state.SkipWithError("cannot write the photos");
    }
    qrn::MainQueue::useManualClock();
    double editable = 0, peak = 0;
    int opens = 0;
    for (auto _ : state) {
        previewtest::previewScene scene;
        scene.checkEachAdd = false;
        scene.addOverlay();
        resetPeakMemory();
        QElapsedTimer timer;
        timer.start();
        persistentDataStorageClass storage;
        if (!storage.checkIfProjectDataIsValid(folder.path))
            state.SkipWithError("the project is not valid");
        previewLayerClass().setImportMarker(true);
        storage.importDataAction(true, true, false);
        qrn::MainQueue::advance(2.0);
        editable += timer.nsecsElapsed() / 1e6;
        if (!qrn::MainQueue::runUntil([] { return previewLayerPendingPictures::pendingCount() == 0; }, 300))
            state.SkipWithError("not every photo arrived");
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        peak = std::max(peak, peakMemoryMegabytes());
        if (previewLayerClass().getLayerArray().size() != size_t(slides + 1))
            state.SkipWithError("not every slide came back");
        previewLayerPendingPictures::cancel();
        ++opens;
    }
    state.counters["editable ms"] = editable / std::max(1, opens);
    state.counters["peak MB"] = peak;
}
BENCHMARK(BM_OpenPhotoDeck)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(1);

// 12 slides whose pictures are huge in small files: 8 with a 16383 x 16383 RGBA PNG (1 GB of
// pixels each) and 4 with a 16384 x 16384 16-bit grey PNG (512 MB each), opened with File > Open
// from the landing screen until every picture is on its layer. "peak MB" is the process's peak
// resident memory while it opens. Run it with QRN_BENCH_CORES=8 for the machine of many cores.
// The app of the shell tests, started as main() starts it.
struct shellApp : shelltest::EditingShellTest {
    void TestBody() override {}
    using ShellTest::alerts;
    using ShellTest::launch;
    using ShellTest::panelAnswers;
    void begin() { SetUp(); }
    void end() { TearDown(); }
};

// Opens the package at `path` with File > Open from the landing screen, each iteration in a
// fresh app, until every picture is on its layer; `check` looks at the screen then. Reports the
// peak resident memory of the opening.
void openWithFileMenu(benchmark::State& state, const std::string& path, size_t layers,
                      const std::function<void(benchmark::State&, shellApp&)>& check = {}) {
    double peak = 0;
    for (auto _ : state) {
        shellApp shell;
        shell.begin();
        // The project is imported as the app imports it, not recorded as the shell's tests do.
        persistentDataStorageClass::setImportHandler(nullptr);
        shell.launch();
        resetPeakMemory();
        QElapsedTimer timer;
        timer.start();
        shell.panelAnswers.push_back(path);
        fileMenuClass().open();
        qrn::MainQueue::advance(3.0);
        if (!qrn::MainQueue::runUntil([] { return previewLayerPendingPictures::pendingCount() == 0; }, 600))
            state.SkipWithError("not every picture arrived");
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        peak = std::max(peak, peakMemoryMegabytes());
        qrn::MainQueue::advance(0.5);
        if (previewLayerClass().getLayerArray().size() != layers)
            state.SkipWithError("not every slide came back");
        if (check)
            check(state, shell);
        previewLayerPendingPictures::cancel();
        shell.end();
    }
    state.counters["peak MB"] = peak;
    state.counters["cores"] = qrn::imaging::usableCores();
}

void BM_OpenHugePictures(benchmark::State& state) {
    constexpr int rgba = 8, grey = 4;
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/Huge.qrn3ks";
    (void)qrn::files::createDirectories(path + "/images");
    (void)qrn::json::writeFile(
        path + "/projectData.json", deckDocument(rgba + grey, [](int s) {
            return qrn::Json{3, "png", (s < rgba ? "rgba" : "grey") + std::to_string(s)};
        }));
    const QByteArray colour = qrn::test::uniformPng(16383, 16383, 8, 6, 0xc0),
                     deep = qrn::test::uniformPng(16384, 16384, 16, 0);
    for (int s = 0; s < rgba + grey; ++s) {
        const QByteArray& bytes = s < rgba ? colour : deep;
        QFile file(QString::fromStdString(path + "/images/" + (s < rgba ? "rgba" : "grey") +
                                          std::to_string(s) + ".png"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            state.SkipWithError("cannot write the pictures");
    }
    openWithFileMenu(state, path, size_t(rgba + grey + 1));
}
BENCHMARK(BM_OpenHugePictures)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

// One slide whose picture is a scan, and the picture of the slide's layer once it has arrived.
struct onePictureDeck {
    QTemporaryDir dir;
    std::string path;
    explicit onePictureDeck(const std::string& file) : path(dir.path().toStdString() + "/Scan.qrn3ks") {
        (void)qrn::files::createDirectories(path + "/images");
        const auto dot = file.rfind('.');
        (void)qrn::json::writeFile(path + "/projectData.json", deckDocument(1, [&](int) {
                                       return qrn::Json{3, file.substr(dot + 1), file.substr(0, dot)};
                                   }));
    }
    std::string image(const std::string& file) const { return path + "/images/" + file; }
};

// Whether the slide's layer shows its picture of `colour` (premultiplied; no stand-in, no missing
// mark) and no notice was shown.
void checkShown(benchmark::State& state, shellApp& shell, QRgb colour) {
    previewLayerClass model;
    const auto& layers = model.getLayerArray();
    const auto tagged = model.getConfiguration()->layerContainerView->viewWithTag(std::stoi(layers[1][0]));
    QImage held;
    for (const auto& sub : tagged ? tagged->superview()->subviews() : decltype(tagged->subviews()){})
        if (const auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(sub))
            held = picture->image();
    const QRgb centre = held.isNull() ? 0 : held.pixel(held.width() / 2, held.height() / 2);
    const auto near = [&](int shift) {
        return std::abs(int((centre >> shift) & 0xff) - int((colour >> shift) & 0xff)) <= 2;
    };
    if (held.width() < 100 || !near(0) || !near(8) || !near(16) || !near(24) || !shell.alerts.empty())
        state.SkipWithError("the picture is not shown");
    state.counters["held px"] = double(held.width()) * held.height();
}

// A 12000 x 11500 RGBA scan in one deflated strip, a 42 MB file, as a slide's picture.
void BM_OpenLargeScanTiff(benchmark::State& state) {
    onePictureDeck deck("scan.tiff");
    const QRgb colour = qRgb(200, 100, 50);
    if (!qrn::test::writeUniformTiff(deck.image("scan.tiff"), 12000, 11500, colour, 3300))
        state.SkipWithError("cannot write the TIFF");
    state.counters["file MB"] = QFileInfo(QString::fromStdString(deck.image("scan.tiff"))).size() / 1048576.0;
    openWithFileMenu(state, deck.path, 2,
                     [&](benchmark::State& s, shellApp& shell) { checkShown(s, shell, colour); });
}
BENCHMARK(BM_OpenLargeScanTiff)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3);

// An interlaced 16383 x 16383 RGBA PNG (a gigabyte of pixels) as a slide's picture.
void BM_OpenInterlacedPng(benchmark::State& state) {
    onePictureDeck deck("interlaced.png");
    const QByteArray png = qrn::test::uniformPng(16383, 16383, 8, 6, 0xc0, true);
    QFile file(QString::fromStdString(deck.image("interlaced.png")));
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size())
        state.SkipWithError("cannot write the PNG");
    file.close();
    openWithFileMenu(state, deck.path, 2, [&](benchmark::State& s, shellApp& shell) {
        checkShown(s, shell, qRgba(0x91, 0x91, 0x91, 0xc0));
    });
}
BENCHMARK(BM_OpenInterlacedPng)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3);

// The quick reader's peak for a PNG of 256 MB that does not compress (noise), read at the size a
// layer filling the movie holds it; "file ratio" is the peak over the file's size.
void BM_ReadLargeNoisyPng(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/noise.png";
    {
        // 8192 x 8192 RGBA of noise: its file is about the size of its pixels.
        QImage image(8192, 8192, QImage::Format_ARGB32);
        uint32_t seed = 12345;
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = seed = seed * 1664525u + 1013904223u;
        }
        QImageWriter writer(file);
        writer.setCompression(0);
        if (!writer.write(image))
            state.SkipWithError("cannot write the PNG");
    }
    const double fileMegabytes = QFileInfo(file).size() / 1048576.0;
    double peak = 0;
    for (auto _ : state) {
        resetPeakMemory();
        const double before = peakMemoryMegabytes();
        benchmark::DoNotOptimize(qrn::imaging::readPicture(file.toStdString(), QSize(1920, 1080)));
        peak = std::max(peak, peakMemoryMegabytes() - before);
    }
    state.counters["file MB"] = fileMegabytes;
    state.counters["peak MB"] = peak;
    state.counters["file ratio"] = peak / fileMegabytes;
}
BENCHMARK(BM_ReadLargeNoisyPng)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// The 5000-frame GIF (1280 x 720, a tenth of a second a frame, about 170 KB) as a layer: its
// frames read and put on the layer's timeline, and the first frame drawn. "late frame ms" is the
// first drawing of a moment 400 s in, which reads forward through the file to frame 4000.
void BM_OpenLongGif(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("long.gif");
    QFile file(path);
    const QByteArray gif = qrn::test::steppingGif(1280, 720, 5000, 8, 10);
    if (!file.open(QIODevice::WriteOnly) || file.write(gif) != gif.size())
        state.SkipWithError("cannot write the GIF");
    file.close();
    double peak = 0, held = 0, late = 0;
    int opens = 0;
    for (auto _ : state) {
        resetPeakMemory();
        // Twice the preview's size, as the preview holds a moving picture's frames.
        auto animation = qrn::ui::AnimatedImage::load(path.toStdString(), QSize(1112, 626));
        if (!animation || animation->frameCount() != 5000) {
            state.SkipWithError("the GIF did not open");
            break;
        }
        auto view = qrn::ui::ImageView::make(qrn::Rect(0, 0, 556, 313));
        view->setImageScaling(qrn::ui::ImageScaling::axesIndependently);
        view->setAnimatedImageOnTimeline(std::move(animation).value());
        qrn::graphics::Renderer renderer;
        benchmark::DoNotOptimize(renderer.snapshot(*view->layer(), 0.05));
        state.PauseTiming();
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(renderer.snapshot(*view->layer(), 400.05));
        late += timer.nsecsElapsed() / 1e6;
        held = std::max(held, view->animatedImage().heldBytes() / 1048576.0);
        peak = std::max(peak, peakMemoryMegabytes());
        ++opens;
        state.ResumeTiming();
    }
    state.counters["late frame ms"] = late / std::max(1, opens);
    state.counters["held MB"] = held;
    state.counters["peak MB"] = peak;
    state.counters["file KB"] = gif.size() / 1024.0;
}
BENCHMARK(BM_OpenLongGif)->Unit(benchmark::kMillisecond)->Iterations(3);

// One 1280 x 720 PNG read as a layer of a third of the movie's width holds it (range 0), and as
// Qt's own reader reads and scales it (range 1), for comparison.
void BM_ReadPicture(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/picture.png";
    QImage image(1280, 720, QImage::Format_ARGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 1280, 720);
    g.setColorAt(0, QColor(40, 180, 220));
    g.setColorAt(1, QColor(120, 30, 90));
    p.fillRect(image.rect(), g);
    p.setBrush(QColor(250, 220, 120));
    p.drawEllipse(QPointF(500, 300), 140, 140);
    p.end();
    image.save(file);
    const QSize drawn(415, 277);
    for (auto _ : state) {
        if (state.range(0) == 0) {
            benchmark::DoNotOptimize(qrn::imaging::readPicture(file.toStdString(), drawn));
        } else {
            QImageReader reader(file);
            reader.setScaledSize(qrn::imaging::decodedPictureSize(reader.size(), drawn));
            benchmark::DoNotOptimize(reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
    }
}
BENCHMARK(BM_ReadPicture)->ArgName("qt_reader")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // Two cores, as a presenter's machine is assumed to have (the pictures decode on both).
    if (!std::getenv("QRN_BENCH_CORES"))
        setenv("QRN_BENCH_CORES", "2", 1);
    return runEditingBenchmarks(argc, argv);
}
