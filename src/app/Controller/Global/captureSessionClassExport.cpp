// Finishing a take: the recording is composed with the studio's layers, exported into the
// project folder as a 1920 x 1080 QuickTime movie and handed to the studio's playback. The
// studio's layer views lend their backing layers to the export's tree until the export ends;
// every ending takes them back before the studio is reset.
#include <algorithm>

#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/captureSessionClassTake.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/uuid.h"
#include "platform/media/export_session.h"
#include "platform/ui/view.h"

using qrn::Size;

namespace {

constexpr double exportDelaySeconds = 0.1;
const Size movieSize{1920, 1080};

struct pendingExport {
    std::shared_ptr<qrn::media::Composition> composition;
    std::shared_ptr<qrn::media::VideoComposition> videoComposition;
    std::string recordingPath;
    Size videoSize;
};

void deleteRecording(const std::string& path) {
    if (auto removed = qrn::files::remove(path); !removed)
        dataLoggingClass().logError("captureSessionClass", removed.error(), __FILE__, __func__);
}

void showVideoView() {
    if (auto screen = recordViewClass().getTakeScreen(); screen && screen->videoView)
        screen->videoView->setHidden(false);
}

// The export has ended, one way or another, for a take that is no longer wanted.
void endSupersededExport(const std::string& exportPath) {
    auto& take = captureSessionTake();
    (void)qrn::files::remove(exportPath);
    captureSessionClass().takeBackLentLayers();
    showVideoView();
    if (take.removeWhenExportEnds) {
        take.removeWhenExportEnds = false;
        captureSessionClass().removeTempVideoRecording();
    }
}

void exportCompleted(const std::shared_ptr<qrn::media::ExportSession>& session, const std::string& exportPath,
                     const std::string& uuid, const std::string& recordingPath) {
    auto& take = captureSessionTake();
    if (take.exportSession == session)
        take.exportSession.reset();
    const bool current = captureSessionClass().takeIsCurrent();
    if (!current) {
        endSupersededExport(exportPath);
        return;
    }
    captureSessionClass().takeBackLentLayers();
    if (session->status() == qrn::media::ExportStatus::Completed) {
        recordViewClass().playbackRecording(exportPath, uuid);
        deleteRecording(recordingPath);
        recordViewClass().resetAppAfterRecording(true);
    } else {
        captureSessionClass().changeErrorMessage("Unable to export video", "Unable to export video",
                                                 session->error(), MessageType::error);
        // The half-made movie goes; the recording stays in the project folder, as a take is
        // the one thing the presenter cannot make again.
        deleteRecording(exportPath);
        // Nothing to play: the studio goes back to the start, and no dismiss asked for during
        // this take is left over for the next one.
        recordViewClass().resetAppAfterRecording(false);
    }
    take.startedRecordingTimer = false;
    take.processingRecording = false;
}

void startExport(const pendingExport& job) {
    auto& take = captureSessionTake();
    captureSessionClass capture;
    if (!capture.takeIsCurrent()) {
        capture.discardBackgroundExport();
        return;
    }
    // Most of the movie was made while the presenter spoke: only the rest is left.
    if (auto background =
            capture.finishBackgroundExport(job.composition, job.videoComposition, job.videoSize)) {
        recordViewClass().setLayersDoneResetting(true);
        take.exportSession = background;
        return;
    }
    auto session =
        qrn::media::ExportSession::create(job.composition, qrn::media::ExportSession::preset1920x1080);
    if (!session) {
        if (capture.takeIsCurrent())
            capture.changeErrorMessage("Unable to create export session", "Unable to create export session",
                                       std::nullopt, MessageType::error);
        capture.removeTempVideoRecording();
        return;
    }
    recordViewClass().setLayersDoneResetting(true);
    const std::string uuid = qrn::uuidString();
    auto out = capture.tempURL(uuid, "mov", persistentDataStorageClass().getProjectDirectory() + "/");
    if (!out) {
        if (capture.takeIsCurrent())
            capture.changeErrorMessage("Unable to create export URL", "Unable to create export URL",
                                       std::nullopt, MessageType::error);
        capture.removeTempVideoRecording();
        return;
    }
    session->setVideoComposition(job.videoComposition);
    session->setOutputFileType(qrn::media::MovieFileType::QuickTimeMovie);
    session->setOutputPath(*out);
    take.exportSession = session;
    session->exportAsynchronously(exportCompletion(session, *out, uuid, job.recordingPath));
}

} // namespace

std::function<void()> exportCompletion(const std::shared_ptr<qrn::media::ExportSession>& session,
                                       const std::string& exportPath, const std::string& uuid,
                                       const std::string& recordingPath) {
    std::weak_ptr<qrn::media::ExportSession> weak = session;
    return [weak, exportPath, uuid, recordingPath] {
        auto s = weak.lock();
        if (!s)
            return; // abandoned: whoever dropped it has cleaned up
        exportCompleted(s, exportPath, uuid, recordingPath);
    };
}

std::shared_ptr<qrn::media::ExportSession> captureSessionClass::getExportSession() {
    return captureSessionTake().exportSession;
}

std::vector<std::string> captureSessionClass::moviesBeingWritten() {
    std::vector<std::string> out;
    const auto& take = captureSessionTake();
    if (take.outputURL && (take.startedRecording || take.processingRecording))
        out.push_back(*take.outputURL);
    for (const auto& session : {take.exportSession, getBackgroundExport()})
        if (session && !session->outputPath().empty())
            out.push_back(session->outputPath());
    return out;
}

void captureSessionClass::refitWhenLayersComeBack() {
    captureSessionTake().refitWhenTakenBack = true;
}

bool captureSessionClass::getLayersLent() {
    return captureSessionTake().layersLent;
}

void captureSessionClass::takeBackLentLayers() {
    auto& take = captureSessionTake();
    if (!take.layersLent)
        return;
    take.layersLent = false;
    auto screen = recordViewClass().getTakeScreen();
    if (!screen || !screen->recordingView)
        return;
    screen->recordingView->takeBackLentLayers();
    if (take.refitWhenTakenBack) {
        take.refitWhenTakenBack = false;
        // The window changed while they were away. The layers are at the movie's size and
        // the camera still at the studio's old one: both go back to the old bounds first,
        // then follow the window together, so the camera is not left at its old size.
        recordViewClass studio;
        if (take.studioBounds)
            studio.resizeAndPositionLayers(false, *take.studioBounds);
        studio.resizeAndPositionLayers(true, screen->recordingView->bounds());
    }
}

std::shared_ptr<qrn::media::VideoComposition> captureSessionClass::createMutableVideoComposition(
    const qrn::media::MovieAsset& asset, Size renderSize,
    const std::optional<std::vector<qrn::media::VideoCompositionInstruction>>& instructions) {
    // Frames pass unchanged: the camera picture's filters act on the video layer.
    auto vc = std::make_shared<qrn::media::VideoComposition>(qrn::media::VideoComposition::forAsset(asset));
    vc->renderSize = renderSize;
    vc->frameDuration = 1.0 / 60;
    if (instructions)
        vc->instructions = *instructions;
    QRN_LOG_OUT(LogValues{{"videoComposition", qrn::Value::list({renderSize.width, renderSize.height})}});
    return vc;
}

void captureSessionClass::finishedRecording() {
    QRN_LOG_IN();
    auto& take = captureSessionTake();
    auto screen = recordViewClass().getTakeScreen();
    if (!screen || !takeIsCurrent() || !take.outputURL) {
        discardBackgroundExport();
        return;
    }
    if (screen->videoView)
        screen->videoView->setHidden(true);
    if (screen->recordingView) {
        std::weak_ptr<qrn::ui::View> weak = screen->recordingView;
        qrn::MainQueue::post([weak] {
            if (auto view = weak.lock()) {
                view->layer()->setBorderWidth(0);
                view->layer()->setBorderColour(qrn::Colour::clear());
            }
        });
    }
    const std::string recordingPath = *take.outputURL;
    const auto timing = recordViewClass().getAssetTimingArray();
    const double duration = timing.empty() ? 0 : timing.back();
    mutableComposition composed;
    qrn::media::MovieAsset asset;
    try {
        auto loaded = qrn::media::MovieAsset::load(recordingPath);
        if (!loaded) {
            QRN_LOG_ERROR(loaded.error());
            throw throwClass().error("Unable to load video track");
        }
        asset = std::move(loaded).value();
        composed = createMutableCompositionFromAsset(asset, duration);
    } catch (const qrnError& error) {
        QRN_LOG_ERROR(error.localizedDescription());
        // A failed insertion has already named itself in the message line.
        if (error.code != 1)
            changeErrorMessage(error.localizedDescription(), error.localizedDescription(), std::nullopt,
                               MessageType::error);
        removeTempVideoRecording();
        return;
    }
    const double vw = composed.naturalSize.width, vh = composed.naturalSize.height;
    const Size frame = vw < movieSize.width ? movieSize : composed.naturalSize;
    take.studioBounds = resizeAndPositionLayersClass().getBounds();
    // Laid out twice: the second pass starts from the bounds the first one stored.
    recordViewClass().resizeAndPositionLayers(false, qrn::Rect({0, 0}, frame));
    recordViewClass().resizeAndPositionLayers(false, qrn::Rect({0, 0}, frame));
    // Hidden views have not been drawn since they were hidden (or ever): the movie shows them
    // when their asset comes, so draw them all now at the movie's size.
    if (screen->recordingView)
        screen->recordingView->displaySubtreeIncludingHidden();
    const Size scaleSize = getRenderSizeFromVideoSize(composed.naturalSize, movieSize);
    take.layersLent = true;
    auto layers =
        createCoreAnimationLayersForComposition(duration, movieSize, composed.naturalSize, scaleSize);

    qrn::media::LayerInstruction layerInstruction;
    layerInstruction.trackId = asset.firstTrack(qrn::media::MediaType::Video)->trackId;
    layerInstruction.transform = qrn::AffineTransform::scale(std::max(movieSize.width / vw, 1.0),
                                                             std::max(movieSize.height / vh, 1.0));
    qrn::media::VideoCompositionInstruction instruction;
    instruction.timeRange = {0, composed.composition->duration()};
    instruction.layerInstructions = {layerInstruction};
    instruction.backgroundColour = qrn::Colour::clear();
    // A camera 1920 wide and taller than 1080 keeps its height, as its layers were laid out.
    const Size renderSize{std::max(vw, movieSize.width), vw < movieSize.width ? movieSize.height : vh};
    auto videoComposition = createMutableVideoComposition(asset, renderSize, std::vector{instruction});
    videoComposition->animationTool =
        qrn::media::AnimationTool{layers.outputLayer, layers.finalChildVideoLayer};

    if (!takeIsCurrent()) {
        takeBackLentLayers();
        discardBackgroundExport();
        return;
    }
    pendingExport job{composed.composition, videoComposition, recordingPath, composed.naturalSize};
    std::weak_ptr<qrn::ui::View> weakView = screen->recordingView;
    const int check = recordViewClass().getCancelledRecordingCheck();
    qrn::MainQueue::after(exportDelaySeconds, [job, weakView, check] {
        auto screen = recordViewClass().getTakeScreen();
        if (!weakView.lock() || !screen || screen->recordingView != weakView.lock() ||
            recordViewClass().getCancelledRecordingCheck() != check) {
            captureSessionClass().discardBackgroundExport();
            return;
        }
        startExport(job);
    });
}
