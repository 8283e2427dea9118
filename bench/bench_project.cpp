// Writing, reading back and opening a large project: 100 assets with 20 layers each, with scripts
// and text-layer texts.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include <benchmark/benchmark.h>

#include "AppDelegate.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Landing/landingController.h"
#include "appStartup.h"
#include "journey/journey_driver.h"
#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
#include "platform/foundation/main_queue.h"
#include "platform/qt/host_window.h"
#include "platform/ui/window.h"
#include "support/bench_cores.h"
#include "support/editing_open.h"
#include "support/own_folders.h"
#include "support/peak_memory.h"

namespace {

constexpr int assets = 100;
constexpr int layersPerAsset = 20;

template <typename T> std::vector<std::vector<T>> table(const T& value) {
    return std::vector<std::vector<T>>(assets, std::vector<T>(layersPerAsset, value));
}

void buildProject() {
    previewLayerClass model;
    model.clearClass(false);
    std::vector<std::string> ids{"0"};
    std::vector<std::vector<std::string>> layers(assets);
    int next = 1;
    for (int a = 0; a < assets; ++a) {
        if (a > 0) {
            ids.push_back(std::to_string(next));
            next += 2;
        }
        for (int l = 0; l < layersPerAsset; ++l)
            layers[size_t(a)].push_back(std::to_string(next++));
    }
    model.setAssetArray(ids);
    model.setLayerArray(layers);
    model.setFirstLayerAboveVideoArray(std::vector<std::optional<std::string>>(assets));
    model.setAssetBackgroundIDArray(std::vector<std::optional<std::string>>(assets - 1));
    model.setAssetBackgroundColour(std::vector<std::vector<double>>(assets - 1, {12, 34, 56, 1}));
    model.setEntireImageReferenceArray(
        table<imageReferenceArray>({3, "png", "0F5B3C1E-7A2D-4E9B-8C61-3D2F1A0B9C8D"}));
    model.setLayerOriginSizeArray(table<std::vector<double>>({10.5, 20.25, 320, 180}));
    model.setLayerTransformedOrigin(table(qrn::Point{}));
    model.setLayerRotateArray(table(12.5));
    model.setLayerTransformedSize(table(qrn::Size{}));
    model.setLayerOriginalPosSize(table<std::vector<double>>({10.5, 20.25, 320, 180, 0}));
    model.setLayerIsFlippedArray(table<std::vector<bool>>({false, true}));
    model.setLayerResizeWithAspectRatioArray(table<std::vector<double>>({1, 1.7777}));
    filterClass filters;
    filters.setLayerFilter(table<std::vector<bool>>({true, false, true}));
    filters.setLayerFilterOrder(table<std::vector<int>>({0, 1, 2}));
    filters.setLayerFilterValues(
        table<filterValuesArray>({filterValuesEntry{qrn::Value::colour(32, 255, 0, 1), 10.0, 0, 0},
                                  filterValuesEntry{4.5}, filterValuesEntry{qrn::Value()}}));

    qrn::TextAttributes colour;
    colour.foregroundColour = qrn::Colour{1, 0.5, 0, 0.8};
    qrn::AttributedString script("Good morning and welcome to this part of the presentation.");
    script.addAttributes(colour, {5, 20});
    attributedStringStorageClass texts;
    texts.setTextSymbolStringArray(std::vector<std::vector<qrn::AttributedString>>(assets, {script, script}),
                                   0);
    texts.setAutocueStringArray(std::vector<qrn::AttributedString>(assets - 1, script));
}

struct projectFolder {
    QTemporaryDir dir;
    projectFolder() {
        const std::string path = dir.path().toStdString() + "/Bench.qrn3ks";
        (void)qrn::files::createDirectories(path + "/images");
        persistentDataStorageClass().setProjectDirectory(path);
    }
};

void BM_WriteProject(benchmark::State& state) {
    projectFolder folder;
    buildProject();
    for (auto _ : state) {
        bool ok = persistentDataStorageClass().exportData(false);
        ok = attributedStringStorageClass().exportSymbolText() && ok;
        attributedStringStorageClass texts;
        texts.setAutocueStringArray(texts.getAutocueStringArray());
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_WriteProject)->Unit(benchmark::kMillisecond);

void BM_ReadProject(benchmark::State& state) {
    projectFolder folder;
    buildProject();
    (void)persistentDataStorageClass().exportData(false);
    const std::string path = persistentDataStorageClass().getProjectDirectory();
    for (auto _ : state) {
        persistentDataStorageClass storage;
        bool ok = storage.checkIfProjectDataIsValid(path);
        auto json = qrn::json::readFile(path + "/projectData.json");
        previewLayerClass model;
        model.setLayerArray((*json)["LAYER_ARRAY"].get<std::vector<std::vector<std::string>>>());
        model.setLayerOriginSizeArray(
            (*json)["LAYER_ORIGIN_SIZE_ARRAY"].get<std::vector<std::vector<std::vector<double>>>>());
        std::vector<std::vector<imageReferenceArray>> references;
        for (const auto& row : (*json)["IMAGE_REFERENCE_ARRAY"]) {
            references.emplace_back();
            for (const auto& reference : row)
                references.back().push_back(qrn::json::toValue(reference).toList());
        }
        model.setEntireImageReferenceArray(std::move(references));
        attributedStringStorageClass texts;
        texts.importAutocueText();
        ok = texts.importSymbolText(assets - 1) && ok;
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_ReadProject)->Unit(benchmark::kMillisecond);

// --- Opening a project through File > Open, into the editing screen with its slide strip and
// layer list.

// projectData.json of `assets` x `layersPerAsset` layers of mixed kinds: image files, bundle
// symbols, text and animated symbols, some filtered, every asset with a background colour. With
// `distinct`, every image layer has a picture of its own ("picture<n>", n from 0), as a
// presenter's slides do; otherwise they all share "picture". The kinds take turns from
// `firstKind` (0: image file, 1: bundle symbol, 2: text, 3: animated symbol).
qrn::Json mixedProjectDocument(bool distinct, int assetCount = assets, int layerCount = layersPerAsset,
                               int firstKind = 0) {
    using qrn::Json;
    Json d = Json::object();
    d["MAIN_PREVIEW_VIEW_RECT_ARRAY"] = {0, 0, 556, 313};
    Json ids = Json::array(), backgrounds = Json::array(), colours = Json::array(), layers = Json::array(),
         first = Json::array();
    int next = 1;
    for (int a = 0; a < assetCount; ++a) {
        if (a > 0) {
            ids.push_back(std::to_string(next));
            next += 2;
            backgrounds.push_back(nullptr);
            colours.push_back({12, 34, 56, 1});
        } else {
            ids.push_back("0");
        }
        Json row = Json::array();
        for (int l = 0; l < layerCount; ++l)
            row.push_back(std::to_string(next++));
        layers.push_back(row);
        first.push_back(nullptr);
    }
    d["ASSET_ARRAY"] = ids;
    d["ASSET_BACKGROUND_ID_ARRAY"] = backgrounds;
    d["ASSET_BACKGROUND_COLOUR_ARRAY"] = colours;
    d["LAYER_ARRAY"] = layers;
    d["FIRST_LAYER_ABOVE_VIDEO_ARRAY"] = first;
    const Json kinds[] = {Json{3, "png", "picture"}, Json{1, "png", "camera"}, Json{1, "", "", 1},
                          Json{2, "camera", "crop"}};
    int picture = 0;
    const auto perLayer = [&](const Json& value, bool byKind = false) {
        Json table = Json::array();
        for (int a = 0; a < assetCount; ++a) {
            Json row = Json::array();
            for (int l = 0; l < layerCount; ++l) {
                Json entry = byKind ? kinds[(l + firstKind) % 4] : value;
                if (byKind && distinct && (l + firstKind) % 4 == 0)
                    entry[2] = "picture" + std::to_string(picture++);
                row.push_back(entry);
            }
            table.push_back(row);
        }
        return table;
    };
    d["IMAGE_REFERENCE_ARRAY"] = perLayer(nullptr, true);
    d["LAYER_ORIGIN_SIZE_ARRAY"] = perLayer({40, 30, 120, 80});
    d["LAYER_ROTATE_ARRAY"] = perLayer(0.25);
    d["LAYER_ORIGINAL_POS_SIZE_ROT"] = perLayer({40, 30, 120, 80, 0});
    d["LAYER_IS_FLIPPED_ARRAY"] = perLayer({false, true});
    d["LAYER_RESIZE_WITH_ASPECT_RATIO"] = perLayer({1, 1.5});
    d["LAYER_FILTER"] = perLayer({false, true, false});
    d["LAYER_FILTER_ORDER"] = perLayer({0, 1, 2});
    d["LAYER_FILTER_VALUES"] = perLayer({{{32, 255, 0, 1}, 10, 0, 0}, {4.5}, {""}});
    d["VIDEO_ORIGIN_SIZE_ARRAY"] = {0, 0, 556, 313};
    d["cropOrigin"] = {0, 0};
    d["cropSize"] = {100, 100};
    d["VIDEO_FILTER"] = {false, false, false};
    d["VIDEO_FILTER_VALUES"] = {{""}, {""}, {""}};
    d["VIDEO_SETTINGS_ARRAY"] = Json::array();
    d["LAYER_SETTINGS_ARRAY"] = Json::array();
    return d;
}

// A 1280x720 picture of its own for each n: a gradient, a disc and the number.
QImage distinctPicture(int n) {
    QImage image(1280, 720, QImage::Format_ARGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 1280, 720);
    g.setColorAt(0, QColor::fromHsv((n * 37) % 360, 200, 230));
    g.setColorAt(1, QColor::fromHsv((n * 37 + 120) % 360, 180, 120));
    p.fillRect(image.rect(), g);
    p.setBrush(QColor::fromHsv((n * 53) % 360, 120, 250));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(200 + (n * 97) % 880, 150 + (n * 61) % 420), 140, 140);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(160);
    p.setFont(font);
    p.drawText(image.rect(), Qt::AlignCenter, QString::number(n));
    return image;
}

// Writes the mixed project: 500 image layers sharing one small picture, or each with a 1280x720
// picture of its own.
std::string writeMixedProject(bool distinct) {
    const std::string path = persistentDataStorageClass().getProjectDirectory();
    (void)qrn::json::writeFile(path + "/projectData.json", mixedProjectDocument(distinct));
    if (distinct) {
        for (int n = 0; n < assets * layersPerAsset / 4; ++n)
            distinctPicture(n).save(
                QString::fromStdString(path + "/images/picture" + std::to_string(n) + ".png"));
    } else {
        QImage picture(160, 90, QImage::Format_ARGB32);
        picture.fill(Qt::darkCyan);
        picture.save(QString::fromStdString(path + "/images/picture.png"));
    }
    return path;
}

// Opens the package through File > Open on the editing screen the presenter sees, until the
// screen is editable; with `allPictures`, until every picture shows on the preview, the strip
// and the layer list too. Each open starts with no window, and closing the project is not timed.
void openProject(benchmark::State& state, const std::string& path, size_t assetCount, bool allPictures) {
    // What preparing the package left in memory is not the opened project's.
    attributedStringStorageClass().clearClass();
    persistentDataStorageClass().setProjectDirectory("");
    std::map<std::string, int> writes;
    qrn::files::setWriteFailureForTesting([&](qrn::files::WriteStep step, const qrn::files::Path& file) {
        if (step == qrn::files::WriteStep::Open)
            ++writes[file.filename().string()];
        return false;
    });
    int opens = 0;
    {
        benchsupport::editingScreenApp app;
        app.close();
        resetPeakMemory();
        for (auto _ : state) {
            if (!app.open(path))
                state.SkipWithError("the editing screen did not open the project");
            if (allPictures && !benchsupport::editingScreenApp::waitForEveryPicture())
                state.SkipWithError("not every picture arrived");
            state.PauseTiming();
            if (previewLayerClass().getLayerArray().size() != assetCount)
                state.SkipWithError("not every asset came back");
            if (allPictures && benchsupport::editingScreenApp::standInsShown() != 0)
                state.SkipWithError("a stand-in is still shown");
            ++opens;
            app.close();
            state.ResumeTiming();
        }
    }
    qrn::files::setWriteFailureForTesting(nullptr);
    state.counters["peak MB"] = peakMemoryMegabytes();
    for (const auto& [file, count] : writes)
        state.counters["writes " + file + " per open"] = double(count) / std::max(1, opens);
}

void openMixedProject(benchmark::State& state, bool distinct, bool allPictures) {
    projectFolder folder;
    openProject(state, writeMixedProject(distinct), size_t(assets), allPictures);
}

// Until editable: 500 image layers sharing one small picture (range 0), or each with a
// 1280x720 picture of its own (range 1).
void BM_OpenProject(benchmark::State& state) {
    openMixedProject(state, state.range(0) != 0, false);
}
BENCHMARK(BM_OpenProject)
    ->ArgName("distinct_pictures")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Until every one of the 500 distinct pictures is on its layers.
void BM_OpenProjectAllPictures(benchmark::State& state) {
    openMixedProject(state, true, true);
}
BENCHMARK(BM_OpenProjectAllPictures)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- A deck of many slides: one symbol layer and one script each, opened as File > Open does.

void writeSlideDeck(int slides) {
    const std::string path = persistentDataStorageClass().getProjectDirectory();
    (void)qrn::json::writeFile(path + "/projectData.json", mixedProjectDocument(false, slides, 1, 1));
    // The notes, then a script for each slide after the first.
    attributedStringStorageClass texts;
    texts.setAutocueStringArray(std::vector<qrn::AttributedString>(
        size_t(slides - 1), qrn::AttributedString("Good morning and welcome to this part of the talk.")));
}

// Until editable: a deck of range(0) slides.
void BM_OpenSlideDeck(benchmark::State& state) {
    const int slides = int(state.range(0));
    projectFolder folder;
    writeSlideDeck(slides);
    openProject(state, persistentDataStorageClass().getProjectDirectory(), size_t(slides), false);
}
BENCHMARK(BM_OpenSlideDeck)
    ->ArgName("slides")
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(50000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The project file of a deck of range(0) slides parsed as the open reads it: the check for a key
// held twice (range(1) = 1) against the plain parse (0), which the check adds a pass over the
// parsed members to.
void BM_ParseDeckFile(benchmark::State& state) {
    const int slides = int(state.range(0));
    const std::string text = mixedProjectDocument(false, slides, 1, 1).dump(2);
    std::string repeated;
    for (auto _ : state) {
        auto parsed = qrn::json::parse(text, state.range(1) != 0 ? &repeated : nullptr);
        benchmark::DoNotOptimize(parsed);
    }
    state.counters["MB"] = double(text.size()) / 1e6;
}
BENCHMARK(BM_ParseDeckFile)
    ->ArgNames({"slides", "key_check"})
    ->Args({4000, 0})
    ->Args({4000, 1})
    ->Args({50000, 0})
    ->Args({50000, 1})
    ->Unit(benchmark::kMillisecond);

// --- The deck as the presenter opens it: QRN started as main() starts it, with its window, the
// live test camera and the real clock, and the deck chosen in File > Open. One open per process
// (the application starts once), so run each row on its own:
//   bench_project --benchmark_filter='InTheApp/slides:4003$'
// Under a display (QT_QPA_PLATFORM=xcb) the window is a real one, as the presenter's.

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Runs the event loop for `seconds` without spinning, so the main thread's time is the app's own.
void rest(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until the main thread has spent less than `share` of a core over a whole
// `window` of real time; the seconds from `clock`'s start to the beginning of that window, or a
// negative number when it stays busy past `limit`. The camera keeps some work going at rest.
double secondsUntilQuiet(const QElapsedTimer& clock, double limit, double window = 0.5, double share = 0.3) {
    while (clock.elapsed() < limit * 1000) {
        const double start = clock.elapsed() / 1000.0;
        const double cpu = threadSeconds();
        rest(window);
        if (threadSeconds() - cpu < share * (clock.elapsed() / 1000.0 - start))
            return start;
    }
    return -1;
}

std::shared_ptr<svgButtonClass> buttonWithIcon(qrn::ui::View& root, const std::string& icon) {
    if (auto button = std::dynamic_pointer_cast<svgButtonClass>(root.shared_from_this());
        button && button->iconName() == icon)
        return button;
    for (const auto& sub : root.subviews())
        if (auto found = buttonWithIcon(*sub, icon))
            return found;
    return nullptr;
}

// Seconds from a click on the script pane's tab in the title bar until a paint covers the tab.
double clickToScreen(const qrn::ui::WindowPtr& window) {
    auto tab = window ? buttonWithIcon(*window->frameView(), "script_pane") : nullptr;
    auto* host = window ? qrn::qt::hostWidget(*window) : nullptr;
    if (!tab || !host)
        return -1;
    const QPoint corner = journey::pixelOf(*tab, {0, 0});
    const QPoint far = journey::pixelOf(*tab, {tab->bounds().size.width, tab->bounds().size.height});
    const QRect shown = QRect(corner, far).normalized();
    QElapsedTimer clock;
    clock.start();
    const int before = host->paintCount();
    journey::click(*tab);
    if (!journey::waitUntil(
            [&] { return host->paintCount() > before && host->lastPaintedRegion().intersects(shown); }, 30))
        return -1;
    return clock.nsecsElapsed() * 1e-9;
}

void openDeckInTheApp(benchmark::State& state) {
    static bool started = false;
    if (started) {
        state.SkipWithError("the application starts once per process: run each row on its own");
        return;
    }
    const int slides = int(state.range(0));
    projectFolder folder;
    writeSlideDeck(slides);
    const std::string path = persistentDataStorageClass().getProjectDirectory();
    attributedStringStorageClass().clearClass();
    persistentDataStorageClass().setProjectDirectory("");
    setenv("QRN_TEST_DEVICES", "1", 1);
    static AppDelegate delegate;
    for (auto _ : state) {
        malloc_trim(0);
        resetPeakMemory();
        QElapsedTimer clock;
        clock.start();
        started = true;
        appStartup::install();
        if (!qrn::qt::startApplication({"qrn"}, delegate)) {
            state.SkipWithError("QRN did not start");
            return;
        }
        journey::watchDialogs();
        landingController* landing = nullptr;
        if (!journey::waitUntil([&] { return (landing = journey::controllerIn<landingController>()); })) {
            state.SkipWithError("no landing screen");
            return;
        }
        qrn::ui::WindowPtr window;
        for (const auto& w : journey::shownWindows())
            if (journey::menuItemEnabled(*w, "File", "Open\u2026").value_or(false))
                window = w;
        journey::answerNextFileDialog(path);
        if (!window || !journey::menuItem(*window, "File", "Open\u2026")) {
            state.SkipWithError("no File > Open");
            return;
        }
        const bool editable = journey::waitUntil(
            [&] {
                return editViewClass().getEditViewSelected() &&
                       persistentDataStorageClass().getProjectDirectory() == path &&
                       !previewLayerClass().getImportMarker() &&
                       previewLayerClass().getLayerArray().size() == size_t(slides);
            },
            120);
        const double editableSeconds = clock.nsecsElapsed() * 1e-9;
        const double idle = editable ? secondsUntilQuiet(clock, 180) : -1;
        state.PauseTiming();
        if (idle < 0) {
            state.SkipWithError(editable ? "the main thread never came to rest"
                                         : "the deck never became editable");
            return;
        }
        state.counters["editable s"] = editableSeconds;
        state.counters["launch to idle s"] = idle;
        state.counters["peak MB"] = peakMemoryMegabytes();
        // At rest with the live camera on the preview (the title bar's eye, as the presenter
        // left it): the main thread's share of a core over five seconds.
        if (const auto video = previewLayerClass().getVideoLayerView(); video && video->isHidden())
            for (const auto& w : journey::shownWindows())
                if (auto eye = buttonWithIcon(*w->frameView(), "display_video")) {
                    journey::click(*eye);
                    rest(2);
                }
        const double cpu = threadSeconds();
        QElapsedTimer resting;
        resting.start();
        rest(5);
        state.counters["idle main thread %"] =
            100 * (threadSeconds() - cpu) / (resting.nsecsElapsed() * 1e-9);
        window.reset();
        for (const auto& w : journey::shownWindows())
            if (buttonWithIcon(*w->frameView(), "script_pane"))
                window = w;
        state.counters["click to screen ms"] = 1000 * clickToScreen(window);
        state.ResumeTiming();
    }
}
BENCHMARK(openDeckInTheApp)
    ->Name("BM_OpenSlideDeckInTheApp")
    ->ArgName("slides")
    ->Arg(3)
    ->Arg(4003)
    ->Arg(50003)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    // Two cores, as a presenter's machine is assumed to have (the pictures decode on both).
    if (!std::getenv("QRN_BENCH_CORES"))
        setenv("QRN_BENCH_CORES", "2", 1);
    // --write_deck=SLIDES:FOLDER writes the deck package the rows above open, for opening it in
    // QRN itself beside them.
    if (argc == 2 && std::string(argv[1]).starts_with("--write_deck=")) {
        const std::string arg = std::string(argv[1]).substr(13);
        const auto colon = arg.find(':');
        if (colon == std::string::npos)
            return 2;
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        const std::string path = arg.substr(colon + 1);
        (void)qrn::files::createDirectories(path + "/images");
        persistentDataStorageClass().setProjectDirectory(path);
        writeSlideDeck(std::stoi(arg.substr(0, colon)));
        return 0;
    }
    // Opening a project notes it among the recent documents: in folders of the run's own.
    char pattern[] = "/tmp/bench_project.XXXXXX";
    const char* root = mkdtemp(pattern);
    if (!root)
        return 2;
    useFoldersOfItsOwn(root);
    const int code = runEditingBenchmarks(argc, argv, [] {
        if (!qrn::ui::Window::openWindows().empty())
            qrn::qt::endApplication();
    });
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return code;
}
