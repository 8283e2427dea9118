#pragma once
// The one capture session of the program, made on first use and kept for the whole run, and
// the two views of the editing screen that show its progress (the loading icon and the
// message label).
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/geometry.h"
#include "platform/media/composition.h"
#include "platform/media/devices.h"

#include <functional>
#include <vector>

namespace qrn::media {
class CaptureSession;
class VideoPreviewLayer;
class MovieFileOutput;
class ExportSession;
} // namespace qrn::media
namespace qrn::ui {
class View;
class ProgressIndicator;
class TextField;
} // namespace qrn::ui

class captureSessionClass {
  public:
    qrn::media::CaptureSession& session();
    // Whether the camera can be used: its input opens. A usable camera starts the session
    // (once); initialiser true only checks.
    bool permission(bool initialiser);
    // The camera of that name, or the first camera when no name is given.
    std::optional<qrn::media::CaptureDevice> videoDeviceName(const std::optional<std::string>& name);
    // Adds to the view's layer a crop layer that clips to its bounds, holding the session's
    // live picture.
    void videoPreviewLayer(qrn::ui::View& view, qrn::media::CaptureSession& session);
    // Makes the camera the session's video input; the picture's size, none when it cannot open.
    std::optional<qrn::Size> createVideoDevice(const std::optional<std::string>& name,
                                               qrn::media::CaptureSession& session);
    // Starts the session once, with the camera as its input.
    void enableCaptureSession(bool initialiser);
    // Stops the session (the editing window closed).
    void stopCaptureSession();
    std::shared_ptr<qrn::media::VideoPreviewLayer> getPreviewLayer();

    void setLoadingIcon(std::shared_ptr<qrn::ui::ProgressIndicator> icon);
    void setMessageLabel(std::shared_ptr<qrn::ui::TextField> label);

    // --- The take: countdown and recording (captureSessionClassRecording.cpp), composition
    // geometry (captureSessionClassGeometry.cpp), layer timing (captureSessionClassKeyFrames.cpp),
    // finishing and export (captureSessionClassExport.cpp)
    using LayerPtr = std::shared_ptr<qrn::graphics::Layer>;
    // The movie output that records the takes; a session of its own until the studio's
    // capture set-up hands over its own.
    static void setMovieOutputHook(std::function<std::shared_ptr<qrn::media::MovieFileOutput>()> hook);
    std::shared_ptr<qrn::media::MovieFileOutput> getMovieOutput();
    // The studio's one-line message (shown 6 s): message, log message, log detail.
    static void setErrorMessageHook(std::function<void(const std::string&, const std::optional<std::string>&,
                                                       const std::optional<std::string>&)>
                                        hook);
    void changeErrorMessage(const std::string& message, const std::optional<std::string>& logMessage,
                            const std::optional<std::string>& logErrorDescription);

    std::optional<std::string> getOutputURL();
    bool getStartedRecordingTimer();
    bool getStartedRecording();
    bool getProcessingRecording();
    void startRecordingTimer(const std::shared_ptr<qrn::ui::View>& recordView);
    void startRecording(const std::shared_ptr<qrn::ui::View>& recordView);
    void stopRecording();
    void removeTempVideoRecording();
    // path + fileName (+ "." + fileType); path ends with "/". A file already there is deleted;
    // none when path is empty or the old file cannot go.
    std::optional<std::string> tempURL(const std::string& fileName,
                                       const std::optional<std::string>& fileType, const std::string& path);
    // Whether the take that started last is still wanted (not dismissed or cancelled since).
    bool takeIsCurrent();
    // The studio closes, or another project is made or opened, whatever the take is doing:
    // the countdown stops, a recording stops and its file goes, an export is cancelled and
    // waited for, its file goes, and the lent views come back.
    void abandonTake();

    struct mutableComposition {
        std::shared_ptr<qrn::media::Composition> composition;
        qrn::Size naturalSize;
    };
    // Throws qrnError with the message for the presenter.
    mutableComposition createMutableCompositionFromAsset(const qrn::media::MovieAsset& asset,
                                                         double duration);
    qrn::Size getRenderSizeFromVideoSize(qrn::Size videoSize, qrn::Size renderSize);
    struct aspectRatioCorrection {
        qrn::Point correctAspectRatioOrigin;
        qrn::Size correctAspectRatioSize;
    };
    aspectRatioCorrection correctionForAspectRatioOfVideoInput(qrn::Size renderSize, qrn::Size scaleSize,
                                                               qrn::Point videoLayerOrigin,
                                                               qrn::Size videoLayerSize);
    struct videoLayerCrop {
        double videoLayerFrameSizeWidthSubtraction = 0;
        double videoLayerFrameSizeHeightSubtraction = 0;
        qrn::Point videoLayerOriginAddition;
        qrn::Point videoLayerOrigin;
        qrn::Size videoLayerSize;
    };
    videoLayerCrop videoLayerCropWithDifferenceCalculation(qrn::Point videoLayerOriginValue,
                                                           qrn::Size videoLayerSizeValue);
    struct videoLayers {
        LayerPtr parentVideoLayer, finalChildVideoLayer;
    };
    videoLayers createVideoLayer(qrn::Size renderSize, qrn::Size videoSize, qrn::Size scaleSize);

    struct outputLayers {
        LayerPtr outputLayer, finalChildVideoLayer;
    };
    outputLayers createCoreAnimationLayersForComposition(double duration, qrn::Size renderSize,
                                                         qrn::Size videoSize, qrn::Size scaleSize);
    LayerPtr addLayersToParentLayer(const LayerPtr& outputLayerValue, const LayerPtr& videoLayer,
                                    double duration);
    void processingLayers(int i, const std::vector<double>& timing,
                          const std::shared_ptr<qrn::ui::View>& preview, int layerInt, double duration);

    void finishedRecording();
    std::shared_ptr<qrn::media::VideoComposition>
    createMutableVideoComposition(const qrn::media::MovieAsset& asset, qrn::Size renderSize,
                                  const std::optional<std::vector<qrn::media::VideoCompositionInstruction>>&
                                      MUTABLE_COMPOSITION_VIDEO_INSTRUCTIONS);
    // The export of the take under way, if any.
    std::shared_ptr<qrn::media::ExportSession> getExportSession();
    // Whether the studio's layers are lent to a movie export's layer tree.
    bool getLayersLent();
    // Takes back the studio's lent layers (after the export has ended).
    void takeBackLentLayers();
    // Puts the take state back as a fresh process has it. For tests.
    static void resetTakeForTesting();
};
