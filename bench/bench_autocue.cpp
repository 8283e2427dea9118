// A take while the autocue scrolls: the test camera at 1920x1080 and the test microphone are
// recorded while the studio's picture is drawn 30 times a second and the autocue window scrolls
// a long script. The autocue window is a real window on Qt's offscreen platform: it repaints
// what its views invalidate, through the same host and paint path as on screen. Reports how
// evenly the text position was applied (95th-percentile and longest interval; goals 20 ms and
// 50 ms), how far it strayed from the straight line between start and target, the autocue
// window's paints, and the frames the recording wrote and dropped.
// The studio's picture is drawn as its window draws the recording view: the camera through the
// chroma key, box blur and median in its clipping host, under 100 image layers whose runs around
// the live camera are kept as pictures; a snapshot is handed to a worker and the last finished
// picture composited on the main thread.
// Then the same in the application itself (inTheApp): QRN started as main() starts it, in a
// process of its own (this program, run again) with its windows on a virtual display with a window
// manager (Xvfb and openbox; offscreen on a presenter's 1920x1080 with QRN_BENCH_OFFSCREEN=1), the
// live test camera and the real clock; the saved project of the talk deck's five slides with a
// script each (support/app/talk_deck.h; QRN_BENCH_DECK=three for the three-slide deck) named on its
// command line, its first slide chosen in the strip, the studio opened by its button and the
// autocue by the studio's, a take recorded with the record button and stepped twice by the
// next-asset card while the movie is made meanwhile, then stopped; on free cores and beside one
// busy program of its own session on one of the two cores (studio_picture_loaded). The wait after
// the stop ends with the first paint of the player.
// --write_deck=PACKAGE saves that project instead, for bench/take_on_display.sh to record the
// same take in qrn itself. Reports the autocue's intervals, the studio's pictures a
// second against the camera's 30, the camera frames the recording lost, how far the movie made during the
// take was behind at the stop, the wait from the stop to the player, and the processor time the
// process and the display's server used in the take and in that wait. Without the studio's picture its
// window is hidden for the take (as when minimised), so only the autocue window draws. Runs on two cores
// (QRN_BENCH_CORES); QRN_BENCH_AUTOCUE_SECONDS sets the takes' length (60 s, 20 s in the application, where
// 60 s is for the figures: a run then lasts some minutes); QRN_TEST_CAMERA_SIZE sets the camera's size in the
// application (1280x720 by default); QRN_BENCH_MOVIE_DURING_TAKE=0 leaves the movie to the stop, to compare a
// take without it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include "AppDelegate.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Landing/landingButtonView.h"
#include "View/Landing/landingController.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/autocueDisplayView.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "app/layers/layers_support.h"
#include "appStartup.h"
#include "journey/journey_driver.h"
#include "platform/foundation/font.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"
#include "platform/graphics/off_thread_picture.h"
#include "platform/graphics/renderer.h"
#include "platform/imaging/filters.h"
#include "platform/media/capture_session.h"
#include "platform/media/export_session.h"
#include "platform/media/video_layer.h"
#include "platform/qt/host_window.h"
#include "support/app/talk_deck.h"
#include "support/app_on_display.h"
#include "support/bench_cores.h"
#include "support/busy_programs.h"
#include "support/own_folders.h"
#include "support/studio_scene.h"
#include "support/test_recording.h"

using namespace qrn;
using namespace qrn::media;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

using Delegate = benchsupport::recordingOutcome;

// Runs the event loop for `seconds`, or until `done`: asleep until an event or a 5 ms check, as
// the application's own loop waits, never spinning on a core the take needs. Without `done`,
// asleep for the whole time: the thread wakes for nothing the application's loop would not.
bool spin(double seconds, const std::function<bool()>& done = {}) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (auto now = std::chrono::steady_clock::now(); now < end && !(done && done());
         now = std::chrono::steady_clock::now()) {
        QEventLoop loop;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        QTimer::singleShot(done ? 5 : int(std::max<long long>(1, left)), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
    return done && done();
}

// The recording view: the filtered camera in its clipping host, `layers` image layers over it.
graphics::LayerPtr studioTree(const std::shared_ptr<VideoPreviewLayer>& camera, int layers) {
    auto root = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
    root->setBackgroundColour({0, 0, 0, 1});
    root->setCachesSublayers(true);
    auto host = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
    auto crop = graphics::Layer::make(Rect(0, 0, kWidth, kHeight));
    crop->setMasksToBounds(true);
    camera->setFrame(Rect(0, 0, kWidth, kHeight));
    crop->addSublayer(camera);
    host->addSublayer(crop);
    host->setContentFilters(benchsupport::cameraFilters());
    root->addSublayer(host);
    benchsupport::addTiltedPictureLayers(*root, layers, kWidth, kHeight);
    return root;
}

AttributedString longScript() {
    TextAttributes attributes;
    attributes.font = fontAsStored("Helvetica", 24);
    std::string text;
    for (int i = 1; i <= 120; ++i)
        text += "Paragraph " + std::to_string(i) +
                ": the presenter reads this line while the camera records, at an even pace.\n";
    return AttributedString(text, attributes);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(std::ceil(p * double(v.size())) - 1))];
}

constexpr int kStudioLayers = 100;

// Without `studioPicture`, the autocue alone.
void takeWithAutocue(benchmark::State& state, bool studioPicture) {
    setenv("QRN_TEST_DEVICES", "1", 1);
    // Windows get Qt hosts, as in the application.
    qt::installQtHost();
    double seconds = 60;
    if (const char* v = std::getenv("QRN_BENCH_AUTOCUE_SECONDS"))
        seconds = std::max(2.0, std::atof(v));
    auto camera = *CaptureDevices::deviceNamed(MediaType::Video, "Test Camera");
    // Camera-like: a moving picture under sensor noise, so the filters' shortcuts for runs of
    // one colour rarely apply.
    camera.url = "testsrc2=size=1920x1080:rate=30,noise=alls=14:allf=t+u,format=yuv420p";
    auto mic = *CaptureDevices::deviceNamed(MediaType::Audio, "Test Microphone");

    for (auto _ : state) {
        QTemporaryDir dir;
        CaptureSession session;
        auto movie = std::make_shared<MovieFileOutput>();
        session.addInput(CaptureDeviceInput::create(camera).value());
        session.addInput(CaptureDeviceInput::create(mic).value());
        session.addOutput(movie);
        auto preview = VideoPreviewLayer::make();
        preview->setSession(&session);
        auto root = studioTree(preview, studioPicture ? kStudioLayers : 0);
        root->setMasksToBounds(true);
        root->setDrawnOffMainThread(true);
        session.startRunning();

        // The studio's picture, drawn as its window would be.
        graphics::Renderer renderer;
        renderer.setUsesOffThreadPictures(true);
        QImage studioFrame(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
        std::vector<double> studioDraws;
        RepeatingTimer studio(1.0 / 30, 0, [&] {
            const auto start = std::chrono::steady_clock::now();
            QPainter painter(&studioFrame);
            renderer.render(*root, painter, MainQueue::now(), graphics::Renderer::yUpToImage(kHeight));
            studioDraws.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        });
        if (studioPicture)
            studio.start();

        // The autocue window over a long script.
        autocueDisplayClass::setStudioAssetArrayAccessor([] { return std::vector<std::string>{"0", "1"}; });
        attributedStringStorageClass().setAutocueStringArray({longScript()});
        autocueDisplayController::showWindow();
        auto controller = autocueDisplayController::current();
        spin(0.7);
        auto container = controller->parentContainer();
        auto distance = controller->textFieldTopConstraint();
        std::vector<double> times, values;
        container->setTextPlacedObserver([&](double top) {
            times.push_back(MainQueue::now());
            values.push_back(top);
        });
        qt::HostWidget* autocueHost = controller->window() ? qt::hostWidget(*controller->window()) : nullptr;
        if (!autocueHost) {
            state.SkipWithError("the autocue window has no Qt host");
            return;
        }
        const int paintsBefore = autocueHost->paintCount();

        auto delegate = std::make_shared<Delegate>();
        movie->startRecording(dir.filePath("bench.mov").toStdString(), delegate);
        spin(10, [&] { return delegate->started; });
        const double h = autocueDisplayClass().getTextHeight();
        const double from = distance->value(), to = -20 - h;
        const double duration = (from + h) / autocueDisplayClass().getAnimationSpeed();
        times.clear();
        values.clear();
        const double t0 = MainQueue::now();
        controller->playAnimation();
        spin(seconds);
        movie->stopRecording();
        spin(60, [&] { return delegate->finished; });
        studio.stop();
        const int autocuePaints = autocueHost->paintCount() - paintsBefore;
        container->setTextPlacedObserver({});
        autocueDisplayClass().closeWindow();
        preview->setSession(nullptr);
        session.stopRunning();

        std::vector<double> intervals;
        double strayed = 0;
        for (size_t i = 0; i < times.size(); ++i) {
            if (i > 0)
                intervals.push_back((times[i] - times[i - 1]) * 1000);
            const double u = std::clamp((times[i] - t0) / duration, 0.0, 1.0);
            strayed = std::max(strayed, std::abs(values[i] - (from + (to - from) * u)));
        }
        state.counters["positions"] = double(times.size());
        state.counters["autocue_paints"] = double(autocuePaints);
        state.counters["interval_p95_ms"] = percentile(intervals, 0.95);
        state.counters["interval_max_ms"] =
            intervals.empty() ? 0 : *std::max_element(intervals.begin(), intervals.end());
        state.counters["path_error_pt"] = strayed;
        state.counters["studio_draw_p95_ms"] = percentile(studioDraws, 0.95);
        if (studioPicture)
            state.counters["studio_pictures"] = double(root->offThreadPicture()->picturesDrawn());
        const double p95 = percentile(intervals, 0.95);
        const double worst = intervals.empty() ? 0 : *std::max_element(intervals.begin(), intervals.end());
        const std::string what =
            studioPicture ? std::to_string(kStudioLayers) + " layers, cached, off thread" : "autocue alone";
        std::printf(
            "autocue during a take (%s): interval p95 %.1f ms (goal <= 20), worst %.1f ms (goal <= 50); "
            "studio draw p95 %.1f ms; %d autocue paints\n",
            what.c_str(), p95, worst, percentile(studioDraws, 0.95), autocuePaints);
        state.counters["frames_written"] = double(movie->framesWritten());
        state.counters["frames_dropped"] = double(movie->framesDropped());
        if (delegate->error)
            state.SkipWithError(delegate->error->c_str());
    }
}

// ---- The take in the application itself ----

// A slide's script: long enough to scroll through a third of a minute's take.
AttributedString slideScript(int slide) {
    TextAttributes attributes;
    attributes.font = fontAsStored("Helvetica", 24);
    std::string text;
    for (int i = 1; i <= 60; ++i)
        text += "Slide " + std::to_string(slide) + ", paragraph " + std::to_string(i) +
                ": the presenter reads this while the camera records, at an even pace.\n";
    return AttributedString(text, attributes);
}

double editorResidentMb = 0;

// This process's resident memory and its peak so far, in MB.
std::pair<double, double> residentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    double rss = 0, hwm = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::atof(line.c_str() + 6) / 1024;
        else if (line.rfind("VmHWM:", 0) == 0)
            hwm = std::atof(line.c_str() + 6) / 1024;
    }
    return {rss, hwm};
}

recordViewController* shownStudio() {
    return journey::controllerIn<recordViewController>();
}

// QRN as main() starts it (main() installs the same start-up), with a new project at `package`
// made with the landing screen's button: the deck's slides by the editing screen's, its layers,
// filters and a script per slide. False when a step failed.
bool deckInTheApp(const std::filesystem::path& package) {
    static AppDelegate delegate;
    if (!qrn::qt::startApplication({"qrn"}, delegate))
        return false;
    journey::watchDialogs();
    auto* landing = journey::controllerIn<landingController>();
    if (!journey::waitUntil([&] { return (landing = journey::controllerIn<landingController>()); }))
        return false;
    std::filesystem::create_directories(package.parent_path());
    journey::answerNextFileDialog(package);
    journey::click(*landing->createNewProjectButton());
    viewLoaderController* editor = nullptr;
    if (!journey::waitUntil([&] { return (editor = journey::controllerIn<viewLoaderController>()); }))
        return false;
    const auto deck = benchsupport::deckFromEnvironment();
    for (int i = 1; i < benchsupport::slidesOf(deck); ++i) {
        const size_t before = previewLayerClass().getLayerArray().size();
        journey::click(*editor->addAssetButtonView);
        if (!journey::waitUntil([&] { return previewLayerClass().getLayerArray().size() > before; }))
            return false;
    }
    benchsupport::addDeckLayers(deck);
    std::vector<AttributedString> scripts;
    for (int a = 1; a <= benchsupport::slidesOf(deck); ++a)
        scripts.push_back(slideScript(a));
    attributedStringStorageClass().setAutocueStringArray(scripts);
    return true;
}

// QRN as main() starts it, with the saved talk at `package` on its command line as `qrn PACKAGE`
// opens it, paced as take_on_display.sh paces the presenter in qrn itself: the deck shown a
// while, its first slide chosen in the strip, the studio opened by its title-bar button and the
// autocue by the studio's. Null when a step failed.
recordViewController* studioOfTheOpenedDeck(const std::string& package, AppDelegate& delegate) {
    if (!qrn::qt::startApplication({"qrn", package}, delegate))
        return nullptr;
    journey::watchDialogs();
    // The sticky slide and the presenter's.
    const size_t slides = size_t(benchsupport::slidesOf(benchsupport::deckFromEnvironment())) + 1;
    if (!journey::waitUntil(
            [&] {
                return editViewClass().getEditViewSelected() &&
                       persistentDataStorageClass().getProjectDirectory() == package &&
                       !previewLayerClass().getImportMarker() &&
                       previewLayerClass().getLayerArray().size() == slides;
            },
            120))
        return nullptr;
    spin(5.0);
    // The take starts on the first slide, as a talk does (an opened deck shows its last): its tile
    // in the strip, by the number label that carries the slide's id.
    auto* editor = journey::controllerIn<viewLoaderController>();
    auto strip = editor && editor->assetTableView ? editor->assetTableView->documentView() : nullptr;
    auto label = strip ? strip->viewWithTag(std::stoi(previewLayerClass().getAssetArray()[1])) : nullptr;
    if (!label || !label->superview())
        return nullptr;
    journey::click(*label->superview());
    if (!journey::waitUntil([] { return previewLayerClass().getSelectedAssetIndex() == 1; }))
        return nullptr;
    auto bar = editScreenTitleBarController::current();
    if (!bar || !bar->buttonRecordView)
        return nullptr;
    spin(1.0);
    editorResidentMb = residentMb().first;
    journey::click(*bar->buttonRecordView);
    recordViewController* screen = nullptr;
    if (!journey::waitUntil(
            [&] {
                screen = shownStudio();
                return screen && screen->recordButton && screen->recordButton->isEnabled() &&
                       !screen->recordButton->isHiddenOrHasHiddenAncestor();
            },
            30))
        return nullptr;
    spin(2.0);
    auto titleBar = std::dynamic_pointer_cast<recordScreenTitleBarController>(
        screenTitleBarAccessoryViewController::getCachedTitleBar(false));
    if (!titleBar || !titleBar->buttonAutocueSettingsView)
        return nullptr;
    journey::click(*titleBar->buttonAutocueSettingsView);
    if (!journey::waitUntil([] { return autocueDisplayController::current() != nullptr; }, 3))
        return nullptr;
    auto picture = captureSessionClass().getPreviewLayer();
    if (!journey::waitUntil([&] { return picture && !picture->picture().isNull(); }, 10))
        return nullptr;
    spin(3.0);
    return screen;
}

// How long the calling thread has run, and waited runnable for a core, since it started (ms).
struct threadTimes {
    double ranMs = 0, waitedMs = 0;
};
threadTimes ranAndWaitedMs() {
    double ran = 0, waited = 0;
    if (FILE* f = std::fopen("/proc/thread-self/schedstat", "r")) {
        if (std::fscanf(f, "%lf %lf", &ran, &waited) != 2)
            ran = waited = 0;
        std::fclose(f);
    }
    return {ran / 1e6, waited / 1e6};
}

// Processor time, user and system, this process has used so far (s).
double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// How long the autocue holds a new script at its start before it scrolls, and a frame more.
constexpr double autocueHold = 0.1 + 1.0 / 60;

// Processor time, user and system, process `pid` has used so far (s); 0 when it cannot be read.
double processCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command's name, which ends with the last ')': utime and stime are the
    // 12th and 13th of them.
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i)
        if (i >= 12)
            ticks += std::atof(field.c_str());
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// Notes the first paint of a window after `shown` holds: the presenter sees the change once the
// paint is done.
class paintAfter : public QObject {
  public:
    // Calls `then` once that paint is done.
    paintAfter(qt::HostWidget& host, std::function<bool()> shown, std::function<void()> then)
        : host_(host), shown_(std::move(shown)), then_(std::move(then)) {
        host_.installEventFilter(this);
    }
    ~paintAfter() override { host_.removeEventFilter(this); }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_ && shown_()) {
            seen_ = true;
            // Once the paint, and the window's picture handed to the screen with it, are done.
            QTimer::singleShot(0, this, then_);
        }
        return false;
    }

  private:
    qt::HostWidget& host_;
    std::function<bool()> shown_;
    std::function<void()> then_;
    bool seen_ = false;
};

// The child's side of the in-app rows: the take in QRN itself, the deck at `package` opened as
// studioOfTheOpenedDeck opens it; with `busy`, one program of its own session keeps one of the
// take's two cores busy from before the take until the movie plays, as another program on the
// presenter's machine may. `displayServer`, when not 0, is the display server's process, whose
// processor time in the take is counted too. Prints the figures, one "name=value" a line, and
// the autocue's long intervals on the standard error.
int takeAsTheApp(const std::string& package, bool studioPicture, int busy, pid_t displayServer) {
    double seconds = 20;
    if (const char* v = std::getenv("QRN_BENCH_AUTOCUE_SECONDS"))
        seconds = std::max(6.0, std::atof(v));
    // As main() starts QRN.
    QCoreApplication::setApplicationName("QRN");
    AppDelegate delegate;
    appStartup::install();
    int argc = 1;
    char name[] = "qrn";
    char* argv[] = {name, nullptr};
    QApplication qapp(argc, argv);
    {
        auto* screen = studioOfTheOpenedDeck(package, delegate);
        auto autocue = autocueDisplayController::current();
        if (!screen || !autocue || !autocue->parentContainer()) {
            std::fprintf(stderr, "the studio or its autocue did not open in the application\n");
            return 4;
        }
        recordViewClass studio;
        captureSessionClass capture;
        auto container = autocue->parentContainer();
        std::vector<double> times;
        // Each step's span on the main queue's clock, to the end of the script's hold on its start.
        std::vector<std::pair<double, double>> holds;
        auto* mainHost = journey::hostOf(*screen->recordButton);

        const char* during = std::getenv("QRN_BENCH_MOVIE_DURING_TAKE");
        const bool movieDuringTake = !during || std::string(during) != "0";
        captureSessionClass::setBackgroundExportsForTesting(movieDuringTake);
        // The resident memory during the take, sampled off the main thread.
        std::atomic<bool> sampling{true};
        std::atomic<double> peakMb{0};
        std::vector<double> takeMb;
        std::thread sampler([&] {
            while (sampling) {
                const double mb = residentMb().first;
                if (mb > peakMb)
                    peakMb = mb;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        std::optional<benchsupport::busyPrograms> load;
        if (busy > 0)
            load.emplace(busy);
        journey::click(*screen->recordButton);
        // The countdown, then the recording's first picture.
        if (!spin(15, [&] { return studio.getRecordingStartDate().has_value(); })) {
            std::fprintf(stderr, "the take never started\n");
            return 5;
        }
        const double begun = *studio.getRecordingStartDate();
        const double cpuAtStart = processCpuSeconds();
        const double serverCpuAtStart = displayServer ? processCpuSeconds(displayServer) : 0;
        // The take's first script is shown from its start and held there too, from the moment
        // the recording began, a little before its first picture.
        const double startHeldUntil = MainQueue::now() + autocueHold;
        auto* pictures = screen->recordingView->layer()->offThreadPicture().get();
        const long picturesBefore = pictures ? pictures->picturesDrawn() : 0;
        if (!studioPicture && mainHost)
            mainHost->window()->hide();
        // With each placement, how long the main thread has run and waited for a core so far: a
        // long interval it spent waiting for a core was lost to other programs, not to QRN's work; one
        // it spent neither running nor waiting, it was blocked or asleep. On a virtual machine whose host
        // stops its cores for a while, that time counts as the thread's running or waiting too:
        // bench/late_moves.sh tells such a pause from a thread that held the core.
        std::vector<threadTimes> waited;
        const double observedFrom = MainQueue::now();
        // The same moment on the system's monotonic clock, to find a long interval in a trace.
        const double observedFromMonotonic =
            std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        container->setTextPlacedObserver([&](double) {
            times.push_back(MainQueue::now());
            waited.push_back(ranAndWaitedMs());
        });
        const auto elapsed = [&] { return captureClock() - begun; };
        // Asleep until the take has run `at` seconds, as the main thread is between its timers.
        const auto takeUntil = [&](double at) {
            while (elapsed() < at)
                spin(at - elapsed());
        };
        for (double at : {seconds / 3, 2 * seconds / 3}) {
            takeUntil(at);
            const double stepped = MainQueue::now();
            // The card's click steps; with the studio's window hidden, what the click does.
            if (studioPicture)
                journey::click(*screen->nextAssetPreview);
            else
                studio.selectNextAsset();
            // A new script is shown from its start and held there a moment before it scrolls.
            holds.push_back({stepped, MainQueue::now() + autocueHold});
        }
        takeUntil(seconds);
        container->setTextPlacedObserver({});
        const double took = elapsed();
        const double endOfTakeMb = residentMb().first;
        const long studioPictures = (pictures ? pictures->picturesDrawn() : 0) - picturesBefore;
        double behind = -1;
        if (auto background = capture.getBackgroundExport())
            behind = took - background->framesWritten() / 60.0;
        if (!studioPicture && mainHost) {
            mainHost->window()->show();
            spin(0.3);
        }
        const auto stopped = std::chrono::steady_clock::now();
        const double cpuAtStop = processCpuSeconds();
        const double serverCpuAtStop = displayServer ? processCpuSeconds(displayServer) : 0;
        // The wait ends when the player is on the screen: the first paint of the studio's window
        // after it is shown. Meanwhile the main thread runs the event loop as the app's does.
        QEventLoop waiting;
        std::optional<std::chrono::steady_clock::time_point> shownAt;
        std::optional<paintAfter> playerPainted;
        if (auto* studioHost = qt::hostWidget(*screen->recordButton->window()))
            playerPainted.emplace(
                *studioHost, [&] { return studio.getPlaybackShown(); },
                [&] {
                    shownAt = std::chrono::steady_clock::now();
                    waiting.quit();
                });
        journey::click(*screen->recordButton);
        if (playerPainted && !shownAt) {
            QTimer::singleShot(600'000, &waiting, &QEventLoop::quit);
            waiting.exec();
        }
        const bool playable = shownAt.has_value();
        const double stopToPlayable =
            playable ? std::chrono::duration<double>(*shownAt - stopped).count() : -1;
        const double waitCpu = processCpuSeconds() - cpuAtStop;
        const double serverWaitCpu = displayServer ? processCpuSeconds(displayServer) - serverCpuAtStop : 0;
        playerPainted.reset();
        load.reset();
        sampling = false;
        sampler.join();
        auto movie = capture.getMovieOutput();
        const double cameraFrames = movie ? double(movie->framesWritten()) : 0;
        const double dropped = movie ? double(movie->framesDropped()) : 0;
        if (playable)
            studio.dismissPlaybackCheck();
        spin(1.0);

        std::vector<double> intervals;
        double longMs = 0, longWaitedMs = 0;
        for (size_t i = 1; i < times.size(); ++i) {
            const bool held = std::any_of(holds.begin(), holds.end(), [&](const auto& h) {
                return times[i] > h.first && times[i - 1] < h.second;
            });
            if (held || times[i - 1] < startHeldUntil)
                continue;
            intervals.push_back((times[i] - times[i - 1]) * 1000);
            if (intervals.back() > 50) {
                longMs += intervals.back();
                const double waitedMs = waited[i].waitedMs - waited[i - 1].waitedMs;
                longWaitedMs += waitedMs;
                // Where it fell: after which step, and how long after that step's hold ended.
                double since = times[i - 1] - observedFrom;
                std::string after = "the take's start";
                for (size_t h = 0; h < holds.size(); ++h)
                    if (holds[h].second <= times[i - 1]) {
                        since = times[i - 1] - holds[h].second;
                        after = "step " + std::to_string(h + 1) + "'s hold";
                    }
                std::fprintf(stderr,
                             "  over 50 ms: %.1f ms, from %.3f s after %s (the main thread ran %.1f ms and "
                             "waited %.1f "
                             "ms for a core; monotonic %.3f s)\n",
                             intervals.back(), since, after.c_str(), waited[i].ranMs - waited[i - 1].ranMs,
                             waitedMs, observedFromMonotonic + times[i - 1] - observedFrom);
            }
        }
        const long over50 =
            std::count_if(intervals.begin(), intervals.end(), [](double v) { return v > 50; });
        const double p50 = percentile(intervals, 0.5), p95 = percentile(intervals, 0.95);
        const double worst = intervals.empty() ? 0 : *std::max_element(intervals.begin(), intervals.end());
        const double studioRate = studioPictures / took;
        const std::map<std::string, double> figures{
            {"take_seconds", took},
            {"interval_p50_ms", p50},
            {"interval_p95_ms", p95},
            {"interval_max_ms", worst},
            {"intervals_over_50_ms", double(over50)},
            {"over_50_ms_ms", longMs},
            {"over_50_ms_waiting_for_a_core_ms", longWaitedMs},
            {"studio_pictures_per_s", studioRate},
            {"camera_frames_written", cameraFrames},
            {"camera_frames_dropped", dropped},
            {"behind_at_stop_s", behind},
            {"movie_made_meanwhile", movieDuringTake ? 1.0 : 0.0},
            {"take_cpu_s", cpuAtStop - cpuAtStart},
            {"wait_cpu_s", waitCpu},
            {"take_display_server_cpu_s", serverCpuAtStop - serverCpuAtStart},
            {"wait_display_server_cpu_s", serverWaitCpu},
            {"editor_rss_mb", editorResidentMb},
            {"take_end_rss_mb", endOfTakeMb},
            {"take_peak_rss_mb", peakMb.load()},
        };
        for (const auto& [figure, value] : figures)
            std::printf("%s=%.6g\n", figure.c_str(), value);
        // Without the player the run failed: no wait is printed.
        if (playable)
            std::printf("stop_to_player_s=%.6g\n", stopToPlayable);
        std::fflush(stdout);
    }
    // What ending the application costs is no part of the figures.
    _exit(0);
}

std::filesystem::path benchRoot;

// The talk the in-app rows record over, saved once a run by this program in a process of its own
// (--write_deck); empty when that failed.
std::string savedDeck() {
    static const std::string package = [] {
        const auto path = benchRoot / "talk.qrn3ks";
        return benchsupport::runForFigures("/proc/self/exe", {"--write_deck=" + path.string()}, {}, 300)
                   ? path.string()
                   : std::string();
    }();
    return package;
}

// The app's take in QRN in a process of its own, started as main() starts it, on a virtual display
// with a window manager (or offscreen with QRN_BENCH_OFFSCREEN=1), as takeAsTheApp runs it: a copy
// of the saved talk for each take, as the presenter's package takes the movies.
void takeInTheApp(benchmark::State& state, bool studioPicture, int busy = 0) {
    const std::string package = savedDeck();
    if (package.empty()) {
        state.SkipWithError("the deck could not be written");
        return;
    }
    const char* offscreen = std::getenv("QRN_BENCH_OFFSCREEN");
    std::optional<benchsupport::virtualDisplay> display;
    std::map<std::string, std::string> environment;
    if (!offscreen || std::string(offscreen) != "1") {
        display.emplace();
        if (display->name().empty()) {
            state.SkipWithError("no virtual display (Xvfb and openbox)");
            return;
        }
        environment = {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display->name()}};
    }
    std::map<std::string, double> figures;
    static int run = 0;
    for (auto _ : state) {
        // Settings, recent documents and the instance's socket of its own for each take.
        const auto home = benchRoot / ("take" + std::to_string(++run));
        for (const auto& [variable, value] : benchsupport::foldersOfItsOwn(home))
            environment[variable] = value;
        const auto deck = home / "deck.qrn3ks";
        std::filesystem::copy(package, deck, std::filesystem::copy_options::recursive);
        auto got = benchsupport::runForFigures(
            "/proc/self/exe",
            {"--take_in_the_app=" + deck.string(),
             std::string("--studio_picture=") + (studioPicture ? "1" : "0"), "--busy=" + std::to_string(busy),
             "--display_server=" + std::to_string(display ? display->server() : 0)},
            environment, 900);
        if (!got || !got->contains("stop_to_player_s")) {
            state.SkipWithError("the take in the application failed");
            return;
        }
        figures = std::move(*got);
    }
    for (const auto& [figure, value] : figures)
        state.counters[figure] = value;
    std::printf("memory: %.0f MB in the editor, %.0f MB at the end of the take, peak %.0f MB until playable "
                "(goal <= editor + 300)\n",
                figures["editor_rss_mb"], figures["take_end_rss_mb"], figures["take_peak_rss_mb"]);
    std::printf(
        "take in the app (%s, %s, %.0f s, movie made %s): autocue interval p50 %.1f ms, p95 %.1f ms "
        "(goal <= 20), worst %.1f ms (goal <= 50), %.0f over 50 ms (of their %.0f ms, the main thread "
        "waited %.0f for a core); studio %.1f pictures/s (camera 30); camera frames "
        "%.0f written, %.0f dropped; the movie %.1f s behind at the stop; stop to player %.2f s; "
        "processor %.1f s in the take, %.1f s in the wait (display server %.1f s, %.1f s)\n",
        studioPicture ? "studio picture shown" : "studio window hidden",
        display ? "on a display" : "offscreen", figures["take_seconds"],
        figures["movie_made_meanwhile"] != 0 ? "meanwhile" : "after the stop", figures["interval_p50_ms"],
        figures["interval_p95_ms"], figures["interval_max_ms"], figures["intervals_over_50_ms"],
        figures["over_50_ms_ms"], figures["over_50_ms_waiting_for_a_core_ms"],
        figures["studio_pictures_per_s"], figures["camera_frames_written"], figures["camera_frames_dropped"],
        figures["behind_at_stop_s"], figures["stop_to_player_s"], figures["take_cpu_s"],
        figures["wait_cpu_s"], figures["take_display_server_cpu_s"], figures["wait_display_server_cpu_s"]);
}

} // namespace

// With the studio's picture as the recording view draws it (100 layers, cached, off the main
// thread), and without it (the autocue's own smoothness). The studio no longer draws its picture
// on the main thread, so a take with the picture drawn there measures nothing the app does.
BENCHMARK_CAPTURE(takeWithAutocue, studio_100_layers_cached_off_thread, true)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(takeWithAutocue, autocue_only, false)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// The app's take with its movie made meanwhile, with and without the studio's picture.
BENCHMARK_CAPTURE(takeInTheApp, studio_picture, true)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(takeInTheApp, studio_window_hidden, false)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
// Beside one busy program on one of the two cores.
BENCHMARK_CAPTURE(takeInTheApp, studio_picture_loaded, true, 1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

std::optional<std::string> option(int argc, char** argv, const std::string& name) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).starts_with(name + "="))
            return std::string(argv[i]).substr(name.size() + 1);
    return std::nullopt;
}

int main(int argc, char** argv) {
    // The take of an in-app row, in a process of its own.
    if (const auto package = option(argc, argv, "--take_in_the_app"))
        return takeAsTheApp(*package, option(argc, argv, "--studio_picture").value_or("1") != "0",
                            std::stoi(option(argc, argv, "--busy").value_or("0")),
                            pid_t(std::stol(option(argc, argv, "--display_server").value_or("0"))));
    // The application keeps its settings, projects and runtime files in folders of its own.
    char pattern[] = "/tmp/bench_autocue.XXXXXX";
    const char* root = mkdtemp(pattern);
    if (!root)
        return 2;
    const std::filesystem::path base = root;
    useFoldersOfItsOwn(base);
    benchRoot = base;
    // The process starts as main() starts it, before any thread of its own.
    appStartup::install();
    // --write_deck=PACKAGE writes the deck the in-app rows record over, for opening it in QRN itself.
    for (int i = 1; i < argc; ++i)
        if (std::string arg = argv[i]; arg.starts_with("--write_deck=")) {
            useAPresentersScreenOffscreen(base);
            QApplication app(argc, argv);
            MainQueue::useEventLoop();
            const bool written = deckInTheApp(std::filesystem::absolute(arg.substr(13))) &&
                                 persistentDataStorageClass().saveProject().isOk();
            qrn::qt::endApplication();
            std::error_code ignored;
            std::filesystem::remove_all(base, ignored);
            return written ? 0 : 1;
        }
    useAPresentersScreenOffscreen(base);
    const int code = runRealTimeBenchmarks(argc, argv, [] { qrn::qt::endApplication(); });
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
    return code;
}
