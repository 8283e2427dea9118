#pragma once
// The one camera and microphone capture session of the program, its live preview layer and its
// movie output, all made on first use and kept for the whole run; the chosen devices by name;
// the answers to the access requests; and the status views (spinner and message label) of the
// screen on show, where access waits and short messages appear.
//
// Everything here runs on the main thread: access answers arrive on the main queue, and every
// change of the session's inputs (each stops a running session and starts it again) is made
// there, one after another.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/geometry.h"
#include "platform/media/composition.h"

namespace qrn::media {
struct CaptureDevice;
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
    // The names that stand for no device at all, first in the chooser's lists.
    static constexpr const char* noCameraName = "No camera";
    static constexpr const char* noAudioName = "No audio";
    // How long a message stays up.
    static constexpr double messageSeconds = 6.0;

    qrn::media::CaptureSession& session();
    // None until a view first showed the camera.
    std::shared_ptr<qrn::media::VideoPreviewLayer> getPreviewLayer();
    std::shared_ptr<qrn::media::MovieFileOutput> getMovieOutput();

    // Asks for microphone and camera access (only where the answer is not known yet) and
    // settles the screen and, with initialiser, the session as the answers come in.
    void permission(bool initialiser);
    // Spinner, message or ready, by the two answers; with initialiser a ready session gets the
    // first microphone and the movie output, and in every case the first camera is put back.
    void enableCaptureSession(bool initialiser);
    // Makes the named camera (the first with none given) the session's only camera; "No camera"
    // leaves it without one. Restarts the session on every path; false when the camera could not
    // be had.
    bool createVideoDevice(const std::optional<std::string>& deviceName, qrn::media::CaptureSession& session);
    // Hangs the live preview layer, in a clipping container, into the view's layer, with the
    // camera picture's filters. The view shown last has the picture.
    void videoPreviewLayer(qrn::ui::View& videoLayerOutput, qrn::media::CaptureSession& session);
    // Names of the cameras and microphones, in the system's order.
    std::vector<std::string> videoDevices();
    std::vector<std::string> audioDevices();
    // The name when a camera has exactly that name, else none.
    std::optional<std::string> videoDeviceName(const std::optional<std::string>& device);
    // The chooser's switches. Nothing changes while the movie output records: a new input
    // would cut a gap into the take.
    void changeVideo(qrn::ui::View& videoLayerOutput, const std::string& deviceName);
    void changeAudio(const std::string& deviceName);
    // Shows the message for six seconds; a newer message keeps the label up for its own time.
    void changeErrorMessage(const std::string& message, const std::optional<std::string>& logMessage,
                            const std::optional<std::string>& logErrorDescription,
                            MessageType logMessageType);

    std::optional<std::string> getSelectedVideoDeviceName();
    void setSelectedVideoDeviceName(std::optional<std::string> name);
    std::optional<std::string> getSelectedAudioDeviceName();
    void setSelectedAudioDeviceName(std::optional<std::string> name);
    // Whether the presenter's last choice was "No camera" (respectively "No audio"), which no
    // device has taken back since.
    bool getNoCameraChosen();
    bool getNoAudioChosen();
    // 0 not known, 1 refused, 2 granted.
    int getAudioPermissionState();
    int getVideoPermissionState();

    // The status views of the screen on show; each screen stores its own pair, replacing the
    // other's.
    void setCaptureStatusViews(std::shared_ptr<qrn::ui::ProgressIndicator> icon,
                               std::shared_ptr<qrn::ui::TextField> label);
    void setLoadingIcon(std::shared_ptr<qrn::ui::ProgressIndicator> icon);
    void setMessageLabel(std::shared_ptr<qrn::ui::TextField> label);
    // Stops the session (the editing window closed); the next configuration starts it again.
    void stopCaptureSession();

    // Tests: forgets the chosen devices, the answers, the status views and the message counter,
    // and takes every input and output out of the session.
    static void resetForTesting();

    // --- The take: countdown and recording (captureSessionClassRecording.cpp), composition
    // geometry (captureSessionClassGeometry.cpp), layer timing (captureSessionClassKeyFrames.cpp),
    // finishing and export (captureSessionClassExport.cpp)
    using LayerPtr = std::shared_ptr<qrn::graphics::Layer>;
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
    // The studio closes, the application quits, or another project is made or opened, whatever
    // the take is doing. A take cannot be made again, so its recording stays in the project
    // folder: a recording under way is stopped and its file finished before this returns, and
    // an export under way is cancelled and waited for (its unfinished movie goes, the recording
    // it was made from stays). A countdown simply stops; a take the presenter dismissed, or
    // stopped before its first picture, leaves nothing. The lent views come back.
    void setTakeAside();

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
    // The movie files the take under way is still writing (its recording and the movies made
    // from it): unfinished, and gone or moved once the take ends.
    std::vector<std::string> moviesBeingWritten();
    // Whether the studio's layers are lent to a movie export's layer tree.
    bool getLayersLent();
    // Takes back the studio's lent layers (after the export has ended).
    void takeBackLentLayers();
    // A refit asked for while the layers were lent runs once they are back.
    void refitWhenLayersComeBack();
    // --- Composing the movie while the take records (captureSessionClassBackground.cpp)
    // Starts an export that follows the recording as it is written, composing with a copy of
    // the studio's layers laid out once for a camera picture of `videoSize`.
    void startBackgroundExport(qrn::Size videoSize);
    // At the stop: that export, carrying on with the whole take's composition, when the frames
    // it has made are the ones the movie needs; null otherwise, and the work is thrown away.
    std::shared_ptr<qrn::media::ExportSession>
    finishBackgroundExport(const std::shared_ptr<qrn::media::Composition>& composition,
                           const std::shared_ptr<qrn::media::VideoComposition>& videoComposition,
                           qrn::Size videoSize);
    // A take that is dismissed, cancelled or fails throws the background work away.
    void discardBackgroundExport();
    // The export following the take under way, if any.
    std::shared_ptr<qrn::media::ExportSession> getBackgroundExport();
    // Off: every take is exported after its stop only. For tests and benchmarks that compare.
    static void setBackgroundExportsForTesting(bool on);
    // Puts the take state back as a fresh process has it. For tests.
    static void resetTakeForTesting();

  private:
    void addAudioInput(qrn::media::CaptureSession& session, const qrn::media::CaptureDevice& device);
};
