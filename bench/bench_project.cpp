// Writing, reading back and opening a large project: 100 assets with 20 layers each, with scripts
// and text-layer texts; and opening decks of many slides as presenters make them, in the editing
// screen and in QRN as the presenter starts it.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <malloc.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include <benchmark/benchmark.h>

#include "AppDelegate.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
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
#include "platform/ui/scroll_view.h"
#include "platform/ui/window.h"
#include "support/app_on_display.h"
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

// The camera's members of a project file as the app writes them for a new project: its place on
// the 556 x 313 preview, no crop, no filter, no settings.
void addCameraAsStored(qrn::Json& d) {
    using qrn::Json;
    d["VIDEO_ORIGIN_SIZE_ARRAY"] = {0.0, 0.0, 556.0, 313.0};
    d["cropOrigin"] = {0.0, 0.0};
    d["cropSize"] = {100.0, 100.0};
    d["VIDEO_FILTER"] = {false, false, false};
    d["VIDEO_FILTER_VALUES"] = {{""}, {""}, {""}};
    d["VIDEO_SETTINGS_ARRAY"] = Json::array();
    d["LAYER_SETTINGS_ARRAY"] = Json::array();
}

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
    addCameraAsStored(d);
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

// Writes the mixed project into the package at `path`: 500 image layers sharing one small
// picture, or each with a 1280x720 picture of its own. False when a file could not be written.
bool writeMixedProjectTo(const std::string& path, bool distinct) {
    bool ok = qrn::files::createDirectories(path + "/images") &&
              qrn::json::writeFile(path + "/projectData.json", mixedProjectDocument(distinct));
    if (distinct) {
        for (int n = 0; n < assets * layersPerAsset / 4; ++n)
            ok = distinctPicture(n).save(
                     QString::fromStdString(path + "/images/picture" + std::to_string(n) + ".png")) &&
                 ok;
    } else {
        QImage picture(160, 90, QImage::Format_ARGB32);
        picture.fill(Qt::darkCyan);
        ok = picture.save(QString::fromStdString(path + "/images/picture.png")) && ok;
    }
    return ok;
}

std::string writeMixedProject(bool distinct) {
    const std::string path = persistentDataStorageClass().getProjectDirectory();
    (void)writeMixedProjectTo(path, distinct);
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

// Until editable: range(0) slides of one bundle symbol each, the package a damaged-file check
// opens to see that a large plain deck still opens in good time.
void BM_OpenOneSymbolSlides(benchmark::State& state) {
    projectFolder folder;
    const std::string path = persistentDataStorageClass().getProjectDirectory();
    (void)qrn::json::writeFile(path + "/projectData.json",
                               mixedProjectDocument(false, int(state.range(0)), 1, 1));
    openProject(state, path, size_t(state.range(0)), false);
}
BENCHMARK(BM_OpenOneSymbolSlides)->ArgName("slides")->Arg(4000)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- A deck as presenters make it: a short talk of three slides (the slide every slide shows, a
// title in text, the sun with its filters), then `extra` slides of the sun each, softened with the
// box blur and the median, on a black background, each with its script.

qrn::Json presenterDeckDocument(int extra) {
    using qrn::Json;
    const int slides = 3 + extra;
    Json d = Json::object();
    d["MAIN_PREVIEW_VIEW_RECT_ARRAY"] = {0.0, 0.0, 556.0, 313.0};
    Json ids = Json::array(), backgrounds = Json::array(), colours = Json::array(), layers = Json::array(),
         first = Json::array(), references = Json::array(), frames = Json::array(), rotations = Json::array(),
         originals = Json::array(), flips = Json::array(), locks = Json::array(), filters = Json::array(),
         orders = Json::array(), values = Json::array();
    // In the form the app writes it (its ids for a deck built slide by slide, its numbers, a
    // preview of 556 x 313 as the window on a 1920 x 1080 screen has), so that an open on such a
    // display gives back the file as it was, as it does for a deck the presenter saved.
    // Slide a is 3a - 1, its layer 3a + 1.
    for (int a = 0; a < slides; ++a) {
        ids.push_back(a == 0 ? std::string("0") : std::to_string(3 * a - 1));
        if (a > 0) {
            backgrounds.push_back(nullptr);
            colours.push_back({0.0, 0.0, 0.0, 1.0});
        }
        // Slide 0 holds nothing, slide 1 a title, every later one the sun.
        const bool title = a == 1;
        Json row = Json::array(), firstAbove = nullptr;
        const auto each = [&](Json& table, Json value) {
            table.push_back(a == 0 ? Json::array() : Json{value});
        };
        if (a > 0) {
            row.push_back(std::to_string(3 * a + 1));
            firstAbove = row[0];
        }
        layers.push_back(row);
        first.push_back(firstAbove);
        each(references, title ? Json{1, "", "", 1} : Json{1, "png", "sun"});
        each(frames, title ? Json{120.0, 220.0, 316.0, 60.0} : Json{218.0, 96.0, 120.0, 120.0});
        each(rotations, 0.0);
        each(originals, title ? Json{120.0, 220.0, 316.0, 60.0, 0.0} : Json{218.0, 96.0, 120.0, 120.0, 0.0});
        each(flips, {false, false});
        each(locks, {1.0, 1.0});
        each(filters, title ? Json{false, false, false} : Json{false, true, true});
        each(orders, {0, 1, 2});
        each(values, title ? Json{{""}, {""}, {""}} : Json{{""}, {6}, {""}});
    }
    d["ASSET_ARRAY"] = ids;
    d["ASSET_BACKGROUND_ID_ARRAY"] = backgrounds;
    d["ASSET_BACKGROUND_COLOUR_ARRAY"] = colours;
    d["LAYER_ARRAY"] = layers;
    d["FIRST_LAYER_ABOVE_VIDEO_ARRAY"] = first;
    d["IMAGE_REFERENCE_ARRAY"] = references;
    d["LAYER_ORIGIN_SIZE_ARRAY"] = frames;
    d["LAYER_ROTATE_ARRAY"] = rotations;
    d["LAYER_ORIGINAL_POS_SIZE_ROT"] = originals;
    d["LAYER_IS_FLIPPED_ARRAY"] = flips;
    d["LAYER_RESIZE_WITH_ASPECT_RATIO"] = locks;
    d["LAYER_FILTER"] = filters;
    d["LAYER_FILTER_ORDER"] = orders;
    d["LAYER_FILTER_VALUES"] = values;
    addCameraAsStored(d);
    return d;
}

// The package of a deck of `slides` (three or more) in `path`, its three files as the app writes
// them. The texts are made by the app's own storage, but written here: through the app they
// would lock the package for this process, and QRN opening it in another would refuse it.
bool writeSlideDeck(const std::string& path, int slides) {
    if (!qrn::files::createDirectories(path + "/images"))
        return false;
    persistentDataStorageClass().setProjectDirectory("");
    attributedStringStorageClass texts;
    std::vector<std::vector<qrn::AttributedString>> titles(static_cast<size_t>(slides));
    titles[1].emplace_back("Tomorrow's weather");
    texts.setTextSymbolStringArray(titles, 0);
    texts.setProjectNotes(qrn::AttributedString("Notes for the whole talk."));
    std::vector<qrn::AttributedString> scripts;
    for (int s = 1; s < slides; ++s)
        scripts.emplace_back("Slide " + std::to_string(s) +
                             ": good morning, and here is the sunshine we can expect over the hills today.");
    texts.setAutocueStringArray(std::move(scripts));
    qrn::Json symbols = qrn::Json::array();
    for (const auto& row : titles)
        symbols.push_back(texts.saveAttributedString(row));
    const auto autocue = attributedStringStorageClass::autocueFileText();
    const bool ok = qrn::json::writeFile(path + "/projectData.json", presenterDeckDocument(slides - 3)) &&
                    qrn::json::writeFile(path + "/specialSymbolData.json", symbols) && autocue &&
                    qrn::files::replaceAtomically(path + "/autocueData.json", *autocue);
    texts.clearClass();
    return ok;
}

// Until editable: a deck of range(0) slides.
void BM_OpenSlideDeck(benchmark::State& state) {
    const int slides = int(state.range(0));
    projectFolder folder;
    const std::string path = persistentDataStorageClass().getProjectDirectory();
    if (!writeSlideDeck(path, slides))
        state.SkipWithError("the deck could not be written");
    openProject(state, path, size_t(slides), false);
}
BENCHMARK(BM_OpenSlideDeck)
    ->ArgName("slides")
    ->Arg(3)
    ->Arg(4003)
    ->Arg(50003)
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

// --- The deck as the presenter opens it: QRN started as main() starts it, in a process of its
// own (this program, run again), with its window, the live test camera and the real clock, and
// the deck named on its command line as `qrn PACKAGE` names it (the 500 pictures: chosen in
// File > Open). Offscreen, or on a virtual display with a window manager of its own. The launch
// counts from the moment the process is started.

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

bool restUntil(const std::function<bool()>& done, double seconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > seconds * 1000)
            return false;
        rest(0.01);
    }
    return true;
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

std::shared_ptr<svgButtonClass> shownButton(const std::string& icon) {
    for (const auto& w : journey::shownWindows())
        if (auto button = buttonWithIcon(*w->frameView(), icon))
            return button;
    return nullptr;
}

// A click on `view`: the main thread's time and the real time until a paint covers the view, in
// milliseconds; none when no paint came.
std::optional<std::pair<double, double>> clickUntilShown(const qrn::ui::View& view) {
    auto* host = view.window() ? qrn::qt::hostWidget(*view.window()) : nullptr;
    if (!host)
        return std::nullopt;
    const QPoint corner = journey::pixelOf(view, {0, 0});
    const QPoint far = journey::pixelOf(view, {view.bounds().size.width, view.bounds().size.height});
    const QRect shown = QRect(corner, far).normalized();
    // Where a press reaches the view is the driver's search, made before the clock starts: the
    // presenter's pointer is there already.
    const auto point = journey::clickablePoint(view);
    if (!point)
        return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    const double cpu = threadSeconds();
    const int before = host->paintCount();
    journey::clickAt(view, *point);
    if (!restUntil([&] { return host->paintCount() > before && host->lastPaintedRegion().intersects(shown); },
                   30))
        return std::nullopt;
    return std::pair{1000 * (threadSeconds() - cpu), clock.nsecsElapsed() * 1e-6};
}

// The slide farthest from the one shown (an opened deck shows its last), brought into sight in
// the strip as a scroll would.
std::shared_ptr<qrn::ui::View> farSlideInSight() {
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    auto* clip = strip ? dynamic_cast<qrn::ui::ClipView*>(strip->superviewPointer()) : nullptr;
    const auto& assets = previewLayerClass().getAssetArrayReference();
    const size_t far =
        size_t(previewLayerClass().getSelectedAssetIndex()) * 2 > assets.size() ? 1 : assets.size() - 1;
    auto label = clip && far < assets.size() ? strip->viewWithTag(std::stoi(assets[far])) : nullptr;
    auto tile = label ? label->superview() : nullptr;
    if (tile)
        clip->scrollRectToVisible(tile->convertRectToView(tile->bounds(), strip.get()));
    return tile;
}

// The main thread's share of a core in windows of half a second, sampled every 50 ms: the start
// of the first window under 30 %, in seconds of `clock`.
class quietWatch {
  public:
    void sample(double now) {
        samples.emplace_back(now, threadSeconds());
        while (!quietSince && next < samples.size()) {
            size_t end = next;
            while (end < samples.size() && samples[end].first - samples[next].first < window)
                ++end;
            if (end == samples.size())
                return;
            const double span = samples[end].first - samples[next].first;
            if (samples[end].second - samples[next].second < share * span)
                quietSince = samples[next].first;
            ++next;
        }
    }
    std::optional<double> quietSince;
    // The main thread's time used by `when`, a time sampled.
    double threadSecondsAt(double when) const {
        for (const auto& [at, seconds] : samples)
            if (at >= when)
                return seconds;
        return samples.empty() ? 0 : samples.back().second;
    }

  private:
    static constexpr double window = 0.5, share = 0.3;
    std::vector<std::pair<double, double>> samples;
    size_t next = 0;
};

// Notches of the mouse wheel over the slide strip towards its start, one every `intervalMs` as a
// presenter's wheel sends them (queued on the window as the window system's are): the main
// thread's time per notch beyond `restShare` of a core, counted until it rests again, and how
// long after the last notch that was (the strip keeps up when it is short).
void scrollTheStrip(int steps, int intervalMs, double restShare) {
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    auto* clip = strip ? strip->superviewPointer() : nullptr;
    auto* host = clip && clip->window() ? qrn::qt::hostWidget(*clip->window()) : nullptr;
    if (!host)
        return;
    const QPointF at = journey::pixelOf(*clip, journey::visibleCentre(*clip));
    // The pointer comes over the tiles first, as the presenter's does.
    journey::hover(*clip, journey::visibleCentre(*clip));
    rest(1);
    QElapsedTimer clock;
    clock.start();
    const double cpu = threadSeconds();
    int sent = 0;
    QTimer notches;
    notches.setTimerType(Qt::PreciseTimer);
    QObject::connect(&notches, &QTimer::timeout, [&] {
        QCoreApplication::postEvent(host,
                                    new QWheelEvent(at, host->mapToGlobal(at), QPoint(), QPoint(0, 120),
                                                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false));
        if (++sent == steps)
            notches.stop();
    });
    notches.start(intervalMs);
    restUntil([&] { return sent == steps; }, 600);
    const double sentAt = clock.nsecsElapsed() * 1e-9, sentCpu = threadSeconds();
    // At rest once a tenth of a second passes with the main thread under 30 % of a core.
    double restedAt = sentAt;
    for (;;) {
        const double before = threadSeconds(), from = clock.nsecsElapsed() * 1e-9;
        rest(0.1);
        restedAt = clock.nsecsElapsed() * 1e-9;
        if (threadSeconds() - before < 0.3 * (restedAt - from))
            break;
    }
    const double spent = threadSeconds() - cpu - restShare * restedAt;
    std::printf("scroll_main_ms_per_step=%.3f\nscroll_main_busy_pct=%.2f\nscroll_steps_per_s=%.0f\n"
                "scroll_settle_ms=%.1f\n",
                1000 * spent / steps, 100 * (sentCpu - cpu) / sentAt, steps / sentAt,
                1000 * (restedAt - 0.1 - sentAt));
}

// The child's side: QRN as main() starts it, with `package` on its command line as `qrn PACKAGE`
// opens it, or (`fromMenu`) chosen in File > Open once the landing screen is up; then the figures,
// one "name=value" a line.
int openDeckAsTheApp(int argc, char** argv, const std::string& package, size_t slides, long long launchedAt,
                     bool fromMenu, std::optional<double> earlyClick, int scrollSteps) {
    const auto sinceLaunch = [launchedAt] {
        return (benchsupport::monotonicNanoseconds() - launchedAt) * 1e-9;
    };
    QCoreApplication::setApplicationName("QRN");
    AppDelegate delegate;
    appStartup::install();
    QApplication qapp(argc, argv);
    std::vector<std::string> arguments{"qrn"};
    if (!fromMenu)
        arguments.push_back(package);
    if (!qrn::qt::startApplication(arguments, delegate))
        return 3;
    quietWatch quiet;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { quiet.sample(sinceLaunch()); });
    journey::watchDialogs();
    // From the command line the open is asked for at the launch.
    double openedAt = 0;
    if (fromMenu) {
        if (!restUntil([] { return journey::controllerIn<landingController>() != nullptr; }, 60))
            return 4;
        qrn::ui::WindowPtr window;
        for (const auto& w : journey::shownWindows())
            if (journey::menuItemEnabled(*w, "File", "Open\u2026").value_or(false))
                window = w;
        journey::answerNextFileDialog(package);
        openedAt = sinceLaunch();
        if (!window || !journey::menuItem(*window, "File", "Open\u2026"))
            return 5;
    }
    const bool editable = restUntil(
        [&] {
            return editViewClass().getEditViewSelected() &&
                   persistentDataStorageClass().getProjectDirectory() == package &&
                   !previewLayerClass().getImportMarker() &&
                   previewLayerClass().getLayerArray().size() == slides;
        },
        300);
    if (!editable)
        return 6;
    // The open is one piece of work from the title's change to here: the quiet that counts
    // comes after it.
    const double editableSeconds = sinceLaunch();
    // The choice is the click on the dialog's Choose button; what came before it (the menu, the
    // dialog opening and filling its list, the driver's turn to answer) is no part of the open.
    if (const auto chosen = journey::lastFileDialogAnswerTime(); fromMenu && chosen) {
        const double choiceAt =
            (std::chrono::duration_cast<std::chrono::nanoseconds>(chosen->time_since_epoch()).count() -
             launchedAt) *
            1e-9;
        std::printf("menu_to_choice_ms=%.1f\n", 1000 * (choiceAt - openedAt));
        openedAt = choiceAt;
    }
    journey::stopWatchingDialogs();
    // When the last of the package's pictures is on the screen: they decode behind it.
    std::optional<double> picturesShown;
    const auto notePictures = [&] {
        if (!picturesShown && previewLayerPendingPictures::pendingCount() == 0)
            picturesShown = sinceLaunch();
    };
    notePictures();
    quiet.sample(editableSeconds);
    sampler.start(50);
    // The presenter who clicks a slide soon after the deck shows, while the open's later work runs.
    if (earlyClick) {
        // The click is made by this thread, so it comes once the main thread is free, as the
        // presenter's would: its time to the screen counts from when it was due.
        const auto tile = farSlideInSight();
        const double due = editableSeconds + *earlyClick;
        rest(std::max(0.0, due - sinceLaunch()));
        const double late = sinceLaunch() - due;
        if (const auto click = tile ? clickUntilShown(*tile) : std::nullopt)
            std::printf("early_far_slide_click_main_ms=%.2f\nearly_far_slide_click_to_screen_ms=%.2f\n",
                        click->first, 1000 * late + click->second);
    }
    if (!restUntil(
            [&] {
                notePictures();
                return quiet.quietSince.has_value();
            },
            300))
        return 7;
    sampler.stop();
    // The main thread's time so far, in its own work and in the kernel's: on a virtual machine the
    // kernel's share (first touches of fresh memory) varies from run to run with the host.
    rusage used{};
    getrusage(RUSAGE_THREAD, &used);
    if (!restUntil(
            [&] {
                notePictures();
                return picturesShown.has_value();
            },
            300))
        return 8;
    std::printf("main_thread_user_s=%.3f\nmain_thread_system_s=%.3f\n",
                double(used.ru_utime.tv_sec) + used.ru_utime.tv_usec * 1e-6,
                double(used.ru_stime.tv_sec) + used.ru_stime.tv_usec * 1e-6);
    // The quiet after a click the presenter made during the open's later work is another figure
    // than qrn_on_display.sh's, which touches nothing until the open is quiet: it has names of its own.
    const std::string idle = earlyClick ? "_with_early_click" : "";
    std::printf("editable_s=%.3f\nlaunch_to_idle%s_s=%.3f\nmain_thread_to_idle%s_s=%.3f\n", editableSeconds,
                idle.c_str(), *quiet.quietSince, idle.c_str(), quiet.threadSecondsAt(*quiet.quietSince));
    std::printf("open_to_editable_ms=%.1f\nopen_to_pictures_shown_ms=%.1f\n",
                1000 * (editableSeconds - openedAt), 1000 * (*picturesShown - openedAt));
    // At rest with the live camera on the preview (the title bar's eye, as the presenter left it):
    // the main thread's share of a core over five seconds.
    if (const auto video = previewLayerClass().getVideoLayerView(); video && video->isHidden())
        if (auto eye = shownButton("display_video")) {
            journey::click(*eye);
            rest(2);
        }
    const double cpu = threadSeconds();
    QElapsedTimer resting;
    resting.start();
    rest(5);
    const double restShare = (threadSeconds() - cpu) / (resting.nsecsElapsed() * 1e-9);
    std::printf("rest_main_thread_pct=%.2f\n", 100 * restShare);
    if (scrollSteps > 0) {
        scrollTheStrip(scrollSteps, 10, restShare);
        std::fflush(stdout);
        _exit(0);
    }
    if (auto tab = shownButton("script_pane"))
        if (const auto click = clickUntilShown(*tab))
            std::printf("tab_click_main_ms=%.2f\ntab_click_to_screen_ms=%.2f\n", click->first, click->second);
    rest(1);
    if (const auto tile = farSlideInSight()) {
        rest(1);
        if (const auto click = clickUntilShown(*tile))
            std::printf("far_slide_click_main_ms=%.2f\nfar_slide_click_to_screen_ms=%.2f\n", click->first,
                        click->second);
    }
    std::printf("peak_MB=%.1f\n", peakMemoryMegabytes());
    std::fflush(stdout);
    // What ending the application costs is no part of the figures.
    _exit(0);
}

std::filesystem::path benchRoot;

// One open of the package at `path`, of `slides` slides, by QRN in a process of its own,
// offscreen or on a display, from its command line or (`fromMenu`) from File > Open.
void openInTheApp(benchmark::State& state, const std::string& package, int slides, bool onDisplay,
                  bool fromMenu, int scrollSteps = 0) {
    std::optional<benchsupport::virtualDisplay> display;
    std::map<std::string, std::string> environment{{"QT_QPA_PLATFORM", "offscreen"}};
    if (onDisplay) {
        display.emplace();
        if (display->name().empty()) {
            state.SkipWithError("no virtual display (Xvfb and openbox)");
            return;
        }
        environment = {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display->name()}};
    }
    // QRN_BENCH_EARLY_CLICK=SECONDS: a click on a far slide that long after the deck shows, too; the
    // quiet then counts it, as launch_to_idle_with_early_click_s.
    const char* early = std::getenv("QRN_BENCH_EARLY_CLICK");
    const std::string earlyClick = early ? early : "";
    std::map<std::string, double> figures;
    int run = 0;
    for (auto _ : state) {
        // Settings, recent documents and the instance's socket of its own for each start.
        const auto home =
            benchRoot / ("run" + std::to_string(++run) + (onDisplay ? "d" : "o") + std::to_string(slides));
        for (const auto& [variable, value] : benchsupport::foldersOfItsOwn(home))
            environment[variable] = value;
        environment["QRN_TEST_DEVICES"] = "1";
        benchsupport::backFreeMemory(2048);
        const long long launched = benchsupport::monotonicNanoseconds();
        auto got = benchsupport::runForFigures(
            "/proc/self/exe",
            {"--open_deck_in_the_app=" + package, "--slides=" + std::to_string(slides),
             "--launched_at=" + std::to_string(launched),
             std::string("--from_menu=") + (fromMenu ? "1" : "0"), "--early_click=" + earlyClick,
             "--scroll_steps=" + std::to_string(scrollSteps)},
            environment, 600);
        state.SetIterationTime((benchsupport::monotonicNanoseconds() - launched) * 1e-9);
        if (!got || !got->contains("editable_s")) {
            state.SkipWithError("QRN did not open the deck");
            return;
        }
        figures = std::move(*got);
    }
    for (const auto& [name, value] : figures)
        state.counters[name] = value;
}

// One open of a deck of range(0) slides by QRN in a process of its own, offscreen or on a display;
// with `scrollSteps`, the strip scrolled by that many notches of the wheel once it is at rest.
void openDeckInTheApp(benchmark::State& state, bool onDisplay, int scrollSteps = 0) {
    const int slides = int(state.range(0));
    const std::string package = (benchRoot / ("deck" + std::to_string(slides) + ".qrn3ks")).string();
    if (!std::filesystem::exists(package + "/projectData.json") && !writeSlideDeck(package, slides)) {
        state.SkipWithError("the deck could not be written");
        return;
    }
    openInTheApp(state, package, slides, onDisplay, false, scrollSteps);
}

void BM_OpenSlideDeckInTheApp(benchmark::State& state) {
    openDeckInTheApp(state, false);
}
void BM_OpenSlideDeckInTheAppOnDisplay(benchmark::State& state) {
    openDeckInTheApp(state, true);
}
// The decks the in-app rows open, once each.
void eachDeckOnce(benchmark::internal::Benchmark* row) {
    row->ArgName("slides")->Arg(3)->Arg(4003)->Arg(50003)->Iterations(1)->Unit(benchmark::kMillisecond);
    row->UseManualTime();
}
BENCHMARK(BM_OpenSlideDeckInTheApp)->Apply(eachDeckOnce);
BENCHMARK(BM_OpenSlideDeckInTheAppOnDisplay)->Apply(eachDeckOnce);

// The strip of a deck of range(0) slides scrolled with the wheel in QRN on a display, a hundred
// notches a second, as qrn_on_display.sh scrolls it: "scroll_main_ms_per_step" and whether the
// strip keeps up ("scroll_settle_ms"), besides the open's figures.
void BM_ScrollSlideStripInTheAppOnDisplay(benchmark::State& state) {
    openDeckInTheApp(state, true, 200);
}
BENCHMARK(BM_ScrollSlideStripInTheAppOnDisplay)->Apply(eachDeckOnce);

// The project of 500 distinct 1280x720 pictures opened by QRN in a process of its own on a
// display (range 1) or offscreen (range 0): "open_to_editable_ms" and "open_to_pictures_shown_ms"
// from the choice in File > Open, besides the figures of the deck rows.
void BM_OpenPicturesInTheApp(benchmark::State& state) {
    const std::string package = (benchRoot / "pictures.qrn3ks").string();
    if (!std::filesystem::exists(package + "/projectData.json") && !writeMixedProjectTo(package, true)) {
        state.SkipWithError("the project could not be written");
        return;
    }
    openInTheApp(state, package, assets, state.range(0) != 0, true);
}
BENCHMARK(BM_OpenPicturesInTheApp)
    ->ArgName("on_display")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

std::optional<std::string> option(int argc, char** argv, const std::string& name) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).starts_with(name + "="))
            return std::string(argv[i]).substr(name.size() + 1);
    return std::nullopt;
}

std::optional<double> earlyClickOption(const std::optional<std::string>& text) {
    if (!text || text->empty())
        return std::nullopt;
    return std::stod(*text);
}

} // namespace

int main(int argc, char** argv) {
    if (const auto package = option(argc, argv, "--open_deck_in_the_app")) {
        int one = 1;
        char* name[] = {argv[0], nullptr};
        return openDeckAsTheApp(one, name, *package,
                                size_t(std::stoul(option(argc, argv, "--slides").value_or("0"))),
                                std::stoll(option(argc, argv, "--launched_at").value_or("0")),
                                option(argc, argv, "--from_menu").value_or("1") != "0",
                                earlyClickOption(option(argc, argv, "--early_click")),
                                std::stoi(option(argc, argv, "--scroll_steps").value_or("0")));
    }
    // --write_deck=SLIDES FOLDER writes the deck the rows above open, for opening it in QRN itself.
    if (const auto slides = option(argc, argv, "--write_deck")) {
        if (argc != 3 || std::stoi(*slides) < 3)
            return 2;
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        return writeSlideDeck(argv[2], std::stoi(*slides)) ? 0 : 1;
    }
    // --write_pictures FOLDER writes the project of 500 distinct pictures the rows above open.
    if (argc == 3 && std::string(argv[1]) == "--write_pictures") {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        return writeMixedProjectTo(argv[2], true) ? 0 : 1;
    }
    // Two cores, as a presenter's machine is assumed to have (the pictures decode on both).
    if (!std::getenv("QRN_BENCH_CORES"))
        setenv("QRN_BENCH_CORES", "2", 1);
    // Opening a project notes it among the recent documents: in folders of the run's own.
    char pattern[] = "/tmp/bench_project.XXXXXX";
    const char* root = mkdtemp(pattern);
    if (!root)
        return 2;
    benchRoot = root;
    useFoldersOfItsOwn(root);
    const int code = runEditingBenchmarks(argc, argv, [] {
        if (!qrn::ui::Window::openWindows().empty())
            qrn::qt::endApplication();
    });
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return code;
}
