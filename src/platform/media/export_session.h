#pragma once
// Exports a composition to a QuickTime movie (H.264 and AAC), composing every frame through
// the video composition. The export runs on worker threads as a pipeline (decode, compose on
// all cores, encode); progress goes from 0 to 1; a cancelled or failed export leaves no file.
#include "platform/foundation/geometry.h"
#include "platform/media/composition.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qrn::media {

// How a movie's pictures are encoded unless setEncoderPreset() says otherwise.
struct MovieEncoding {
    std::string preset;  // x264's
    std::string options; // changes to it, key=value joined by ':'
    int crf = 23;
};
MovieEncoding movieEncoding();

enum class ExportStatus { Unknown, Waiting, Exporting, Completed, Failed, Cancelled };
enum class MovieFileType { QuickTimeMovie };

class ExportSession : public std::enable_shared_from_this<ExportSession> {
  public:
    // Fits the output within 1920 x 1080, keeping the aspect ratio (never enlarging).
    static constexpr const char* preset1920x1080 = "1920x1080";

    // Null for an unknown preset.
    static std::shared_ptr<ExportSession> create(std::shared_ptr<const Composition> composition,
                                                 const std::string& presetName);
    // An export that starts while `recording` is still being written, so that little is left
    // when it ends. Its frames are composed with `videoComposition` until followUntil() gives a
    // newer one, and only before the time followUntil() says the layers are known. All its
    // threads run as batch work, never cutting in on the recording or the windows, until
    // finishFollowing() is accepted; then at the usual priority, for any user. Without that, the completion
    // never comes: a take that goes cancels the export and its file goes with it. Called on the main thread,
    // which starts Qt's shared painting threads first so that none of them gives way.
    static std::shared_ptr<ExportSession> createFollowing(std::shared_ptr<GrowingFile> recording,
                                                          std::shared_ptr<VideoComposition> videoComposition,
                                                          const std::string& presetName);
    ~ExportSession();
    ExportSession(const ExportSession&) = delete;
    ExportSession& operator=(const ExportSession&) = delete;

    void setOutputPath(const std::string& path);
    const std::string& outputPath() const;
    void setOutputFileType(MovieFileType type);
    // Without one, the first video track is exported as it is.
    void setVideoComposition(std::shared_ptr<VideoComposition> composition);
    // An x264 preset as it comes, at crf 23, in place of the movie's own quick settings.
    void setEncoderPreset(const std::string& preset);

    // The size of the exported pictures: the render size fitted to the preset, even.
    Size outputSize() const;

    // `completion` reaches the main queue once the export has completed, failed or been
    // cancelled. The layer tree of the video composition must not change meanwhile.
    void exportAsynchronously(std::function<void()> completion);
    void cancelExport();

    // Frames before `seconds` of the recording may be composed, with `videoComposition` (when
    // given) from now on: it must show those frames as every earlier one given did.
    void followUntil(double seconds, std::shared_ptr<VideoComposition> videoComposition = nullptr);
    // The recording is complete and `composition` is all of it: the rest of the frames are made
    // with `videoComposition`, at the usual priority, and the completion follows. False when the
    // work done cannot be carried on (the export failed, or the composition is not the whole
    // recording from its start on the same canvas and frame grid): cancel it and export anew.
    bool finishFollowing(std::shared_ptr<const Composition> composition,
                         std::shared_ptr<VideoComposition> videoComposition);

    ExportStatus status() const;
    std::optional<std::string> error() const;
    // 0 to 1.
    double progress() const;
    // Frames handed to the encoder so far.
    int framesWritten() const;

    struct Impl;

  private:
    ExportSession();
    std::shared_ptr<Impl> d;
};

// Fits `size` within `bounds` keeping its shape, never enlarging, with even sides.
Size fitExportSize(Size size, Size bounds);

} // namespace qrn::media
