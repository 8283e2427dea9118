// Making the take's movie while the presenter speaks. As the recording starts, the studio's
// layers are laid out for the movie once, copied, and laid back out for the studio; an export
// then follows the recording file as it is written, giving way to the recording and the
// windows, composing each frame with a copy that knows the steps taken before it. At the stop it
// carries on with the studio's own layers, as the export after the stop does, so only the frames
// not made yet are left.
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/captureSessionClassTake.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/uuid.h"
#include "platform/graphics/animation.h"
#include "platform/media/capture_session.h"
#include "platform/media/export_session.h"
#include "platform/ui/view.h"

#include <algorithm>
#include <functional>

using qrn::Size;

namespace {

const Size movieSize{1920, 1080};
// How often the export hears how far the take has gone: often enough that it makes a few frames
// at a time as the take goes, rather than bursts that crowd the studio's picture and the autocue.
constexpr double followInterval = 0.1;
// A copy's guess at the end of the take: far beyond any frame it is used for.
constexpr double endGuessSeconds = 3600;

struct holder {
    std::shared_ptr<const char> identity; // of the view's layer and its copies
    int asset = 0;
    bool container = false;
};

struct backgroundExport {
    std::shared_ptr<qrn::media::ExportSession> session;
    int check = 0;
    Size videoSize;
    // The movie's layer tree as laid out at the start, and what to find in its copies.
    qrn::graphics::LayerPtr tree;
    std::shared_ptr<const char> videoIdentity;
    std::vector<holder> holders;
    qrn::media::VideoComposition canvas; // without the tree
    size_t stepsGiven = 0;
    // The stand-in movie is all there from the start, and no longer than it is.
    std::optional<double> sourceLength;
};

std::optional<backgroundExport> background;
bool backgroundExportsOn = true;

// The views of the studio whose visibility in the movie follows the take's steps.
std::vector<std::pair<std::shared_ptr<qrn::ui::View>, holder>>
timedViews(const recordViewClass::takeScreen& screen) {
    std::vector<std::pair<std::shared_ptr<qrn::ui::View>, holder>> out;
    using ts = recordViewClass::takeScreen;
    for (size_t a = 0; a < screen.assets.size(); ++a) {
        if (a != 0)
            if (auto view = screen.holderOf(ts::idValue(screen.assets[a]) + 1))
                out.push_back({view, {view->layer()->identity(), int(a), true}});
        if (a < screen.layers.size())
            for (const auto& id : screen.layers[a])
                if (auto view = screen.holderOf(ts::idValue(id)))
                    out.push_back({view, {view->layer()->identity(), int(a), false}});
    }
    return out;
}

void forEachLayer(const qrn::graphics::LayerPtr& layer,
                  const std::function<void(const qrn::graphics::LayerPtr&)>& fn) {
    fn(layer);
    for (const auto& sub : layer->sublayers())
        forEachLayer(sub, fn);
}

// A copy of the movie's tree that shows each asset's views while it was on screen, for the
// steps taken so far: right for every frame before now, whatever steps come later.
std::shared_ptr<qrn::media::VideoComposition> treeForSteps(const backgroundExport& b,
                                                           std::vector<double> timing, double now) {
    const double end = std::max(now, timing.empty() ? 0.0 : timing.back()) + endGuessSeconds;
    timing.push_back(end);
    auto tree = b.tree->snapshotTree();
    qrn::graphics::LayerPtr video;
    forEachLayer(tree, [&](const qrn::graphics::LayerPtr& layer) {
        if (layer->identity() == b.videoIdentity)
            video = layer;
        for (const auto& h : b.holders) {
            if (layer->identity() != h.identity)
                continue;
            // As the export after the stop sets the studio's views: an asset not reached has
            // its layers hidden and its container left as it was.
            if (size_t(h.asset) < timing.size()) {
                layer->setHidden(false);
                layer->addAnimation(assetOpacityAnimation(h.asset, timing, end), "opacity");
            } else if (!h.container) {
                layer->setHidden(true);
            }
        }
    });
    auto vc = std::make_shared<qrn::media::VideoComposition>(b.canvas);
    vc->animationTool = qrn::media::AnimationTool{tree, video};
    return vc;
}

// Lays the studio's layers out for the movie, copies the movie's tree, and gives the studio its
// layers back as they were.
bool copyMovieTree(backgroundExport& b, const recordViewClass::takeScreen& screen) {
    captureSessionClass capture;
    const auto& preview = screen.recordingView;
    const Size natural = b.videoSize;
    const Size frame = natural.width < movieSize.width ? movieSize : natural;
    const auto views = timedViews(screen);
    std::vector<bool> hidden;
    for (const auto& [view, h] : views)
        hidden.push_back(view->isHidden());
    recordViewClass studio;
    studio.resizeAndPositionLayers(false, qrn::Rect({0, 0}, frame));
    studio.resizeAndPositionLayers(false, qrn::Rect({0, 0}, frame));
    preview->displaySubtreeIncludingHidden();
    const Size scaleSize = capture.getRenderSizeFromVideoSize(natural, movieSize);
    auto layers =
        capture.createCoreAnimationLayersForComposition(endGuessSeconds, movieSize, natural, scaleSize);
    if (layers.outputLayer && layers.finalChildVideoLayer) {
        b.tree = layers.outputLayer->snapshotTree();
        b.videoIdentity = layers.finalChildVideoLayer->identity();
    }
    preview->takeBackLentLayers();
    for (size_t i = 0; i < views.size(); ++i) {
        views[i].first->setHidden(hidden[i]);
        views[i].first->layer()->removeAllAnimations();
    }
    studio.resizeAndPositionLayers(false, preview->bounds());
    studio.resizeAndPositionLayers(false, preview->bounds());
    for (const auto& [view, h] : views)
        b.holders.push_back(h);

    const double vw = natural.width, vh = natural.height;
    qrn::media::LayerInstruction layer;
    layer.trackId = 1;
    layer.transform = qrn::AffineTransform::scale(std::max(movieSize.width / vw, 1.0),
                                                  std::max(movieSize.height / vh, 1.0));
    qrn::media::VideoCompositionInstruction instruction;
    instruction.timeRange = {0, endGuessSeconds * 1000};
    instruction.layerInstructions = {layer};
    instruction.backgroundColour = qrn::Colour::clear();
    b.canvas.renderSize = {std::max(vw, movieSize.width), vw < movieSize.width ? movieSize.height : vh};
    b.canvas.frameDuration = 1.0 / 60;
    b.canvas.instructions = {instruction};
    return b.tree != nullptr;
}

void follow(int check) {
    if (!background || background->check != check)
        return;
    if (recordViewClass().getCancelledRecordingCheck() != check) {
        captureSessionClass().discardBackgroundExport();
        return;
    }
    if (auto start = recordViewClass().getRecordingStartDate()) {
        const double now = qrn::media::captureClock() - *start;
        // A little short of now: the recording's own clock ends the movie at the stop.
        double until = now - 0.1;
        if (background->sourceLength)
            until = std::min(until, *background->sourceLength);
        const auto timing = recordViewClass().getAssetTimingArray();
        std::shared_ptr<qrn::media::VideoComposition> tree;
        if (timing.size() != background->stepsGiven) {
            tree = treeForSteps(*background, timing, now);
            background->stepsGiven = timing.size();
        }
        background->session->followUntil(until, tree);
    }
    qrn::MainQueue::after(followInterval, [check] { follow(check); });
}

} // namespace

void captureSessionClass::startBackgroundExport(Size videoSize) {
    QRN_LOG_IN(LogValues{{"width", videoSize.width}, {"height", videoSize.height}});
    discardBackgroundExport();
    auto& take = captureSessionTake();
    auto screen = recordViewClass().getTakeScreen();
    if (!backgroundExportsOn || !screen || !screen->recordingView || !take.outputURL || videoSize.width < 2 ||
        videoSize.height < 2)
        return;
    backgroundExport b;
    b.check = recordViewClass().getCancelledRecordingCheck();
    b.videoSize = videoSize;
    if (!copyMovieTree(b, *screen))
        return;
    const std::string uuid = qrn::uuidString();
    auto out = tempURL(uuid, "mov", persistentDataStorageClass().getProjectDirectory() + "/");
    if (!out)
        return;
    auto recording = std::make_shared<qrn::media::GrowingFile>(*take.outputURL);
    // Without a camera the take's movie is the stand-in, whole from the start.
    if (!getMovieOutput()->isRecording()) {
        recording->complete();
        if (auto info = qrn::media::loadMovieInfo(*take.outputURL))
            if (auto* video = info.value().firstTrack(qrn::media::MediaType::Video))
                b.sourceLength = video->duration;
    }
    b.session = qrn::media::ExportSession::createFollowing(
        recording, treeForSteps(b, recordViewClass().getAssetTimingArray(), 0),
        qrn::media::ExportSession::preset1920x1080);
    if (!b.session)
        return;
    b.stepsGiven = recordViewClass().getAssetTimingArray().size();
    b.session->setOutputFileType(qrn::media::MovieFileType::QuickTimeMovie);
    b.session->setOutputPath(*out);
    b.session->exportAsynchronously(exportCompletion(b.session, *out, uuid, *take.outputURL));
    const int check = b.check;
    background = std::move(b);
    qrn::MainQueue::after(followInterval, [check] { follow(check); });
}

std::shared_ptr<qrn::media::ExportSession> captureSessionClass::finishBackgroundExport(
    const std::shared_ptr<qrn::media::Composition>& composition,
    const std::shared_ptr<qrn::media::VideoComposition>& videoComposition, Size videoSize) {
    if (!background)
        return nullptr;
    auto session = background->session;
    const bool sameTake = background->check == recordViewClass().getCancelledRecordingCheck() &&
                          background->videoSize == videoSize;
    if (!sameTake || !session->finishFollowing(composition, videoComposition)) {
        QRN_LOG_ERROR("The movie made during the take does not fit the recording: exporting it anew");
        discardBackgroundExport();
        return nullptr;
    }
    background.reset();
    return session;
}

void captureSessionClass::discardBackgroundExport() {
    if (!background)
        return;
    auto session = std::move(background->session);
    background.reset();
    session->cancelExport();
    const std::string out = session->outputPath();
    session.reset(); // waits for its threads
    if (!out.empty())
        (void)qrn::files::remove(out);
}

std::shared_ptr<qrn::media::ExportSession> captureSessionClass::getBackgroundExport() {
    return background ? background->session : nullptr;
}

void captureSessionClass::setBackgroundExportsForTesting(bool on) {
    backgroundExportsOn = on;
}
