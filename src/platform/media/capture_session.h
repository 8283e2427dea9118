#pragma once
// The capture session: one camera and one microphone as inputs, the movie file output and the
// live preview as outputs. Inputs are read on threads of their own; configuration changes and
// starting and stopping are done one after another on the session's own thread.
#include "platform/foundation/result.h"
#include "platform/media/devices.h"

#include <QImage>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct AVFrame;
struct SwsContext;

namespace qrn::media {

using SharedFrame = std::shared_ptr<const AVFrame>;

// Seconds on the monotonic clock that stamps every captured frame and sound buffer.
double captureClock();

class CaptureDeviceInput {
  public:
    // Fails when the device is gone or the system refuses to open it.
    static Result<std::shared_ptr<CaptureDeviceInput>> create(const CaptureDevice& device);
    const CaptureDevice& device() const { return device_; }
    MediaType mediaType() const { return device_.mediaType; }

  private:
    explicit CaptureDeviceInput(CaptureDevice d) : device_(std::move(d)) {}
    CaptureDevice device_;
};

struct VideoSample {
    SharedFrame frame;
    double time = 0; // captureClock() seconds
    int frameRateNum = 30, frameRateDen = 1;
};

struct AudioSample {
    SharedFrame frame;
    double time = 0; // of the first sample
};

// Receives what the inputs capture, on the inputs' threads.
class CaptureOutput {
  public:
    virtual ~CaptureOutput() = default;

  protected:
    friend class CaptureSession;
    // Which kinds of input deliver from now on: told when the output is added and whenever the
    // session starts, stops or changes its inputs (nothing delivers while it is stopped).
    virtual void inputsChanged(bool /*hasVideo*/, bool /*hasAudio*/) {}
    virtual void captureVideo(const VideoSample&) {}
    virtual void captureAudio(const AudioSample&) {}
};

// The live picture: the newest frame reaches the main thread; a frame that arrives while the
// previous one waits there is dropped, never queued.
class VideoPreviewOutput : public CaptureOutput, public std::enable_shared_from_this<VideoPreviewOutput> {
  public:
    using FrameHandler = std::function<void(const QImage&)>;
    ~VideoPreviewOutput() override;
    // Called on the main thread with a Format_ARGB32_Premultiplied image. Set on the main
    // thread: once this returns, the previous handler receives nothing more.
    void setFrameHandler(FrameHandler handler);
    int64_t framesDelivered() const { return delivered_; }
    int64_t framesDropped() const { return dropped_; }

  protected:
    void inputsChanged(bool hasVideo, bool hasAudio) override;
    void captureVideo(const VideoSample& sample) override;

  private:
    std::mutex mutex_;
    std::shared_ptr<FrameHandler> handler_;
    std::atomic<bool> pending_{false};
    // Advanced when the camera goes: a picture it took before then, still on its way to the
    // main thread, must not show after the camera is gone.
    std::atomic<uint64_t> cameraGeneration_{0};
    std::atomic<int64_t> delivered_{0}, dropped_{0};
    ::SwsContext* scaler_ = nullptr;
};

class MovieFileOutput;

// Recording callbacks, delivered on the main queue.
class RecordingDelegate {
  public:
    virtual ~RecordingDelegate() = default;
    // The first picture has been taken for the file: the movie's time zero.
    virtual void didStartRecording(MovieFileOutput& /*output*/, const std::string& /*path*/) {}
    // The same with that picture's capture-clock time, so that times read later on the capture
    // clock (captureClock() - firstPictureTime) are times in the movie. By default passes on to
    // the form without the time.
    virtual void didStartRecording(MovieFileOutput& output, const std::string& path,
                                   double firstPictureTime) {
        (void)firstPictureTime;
        didStartRecording(output, path);
    }
    virtual void willFinishRecording(MovieFileOutput& output, const std::string& path,
                                     const std::optional<std::string>& error) = 0;
    virtual void didFinishRecording(MovieFileOutput& output, const std::string& path,
                                    const std::optional<std::string>& error) = 0;
    // Writing the file failed (a full disk, a device gone): nothing more goes into it, and it
    // holds what was written before. The recording still ends, and is reported, at its stop.
    virtual void didFailRecording(MovieFileOutput& /*output*/, const std::string& /*path*/,
                                  const std::string& /*error*/) {}
};

// Records the session's camera and microphone into a QuickTime movie (H.264 and AAC) at the
// camera's size and frame rate. The file is written in fragments, so a recording cut short by
// a crash plays up to its last second; a normal stop finishes it with a full index.
//
// The movie keeps the capture clock's time: it starts with the first picture captured after
// startRecording and ends at the moment of stopRecording, and pictures and sound sit at the
// times they were captured, however late a busy machine hands them over. The movie has a sound
// track when the session has a microphone as its first picture is taken; a microphone that goes
// during the recording, or comes back, leaves silence where there was no sound.
class MovieFileOutput : public CaptureOutput, public std::enable_shared_from_this<MovieFileOutput> {
  public:
    MovieFileOutput();
    ~MovieFileOutput() override;

    // Ignored while a recording is under way.
    void startRecording(const std::string& path, std::shared_ptr<RecordingDelegate> delegate);
    // Ends the recording at this moment. Pictures and sound captured before it that are still
    // on their way go into the file: the output waits for each input until it delivers from
    // beyond the stop, or has delivered nothing for `stopGrace` seconds.
    void stopRecording();
    static constexpr double stopGrace = 1.0;
    bool isRecording() const;
    std::optional<std::string> outputPath() const;

    // Of the latest recording. A frame is dropped only when the writer falls several seconds
    // behind (pictures waiting for the encoder are held in memory); each drop is counted and
    // logged.
    int64_t framesWritten() const;
    int64_t framesDropped() const;
    // Waits (without the main queue) until the latest recording's file is complete.
    void waitUntilFinished();
    // Tests make the recordings that start from now on fail to write once they have written
    // `pictures` pictures, as a full disk would; a negative number writes as usual.
    static void setWriteFailureForTesting(int pictures);

    struct Recording;

  protected:
    void inputsChanged(bool hasVideo, bool hasAudio) override;
    void captureVideo(const VideoSample& sample) override;
    void captureAudio(const AudioSample& sample) override;

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<Recording> current_; // accepting samples
    std::shared_ptr<Recording> latest_;
    bool hasVideoInput_ = false, hasAudioInput_ = false; // under mutex_
};

class CaptureSession {
  public:
    CaptureSession();
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Changes made between begin and commit take effect together at the commit.
    void beginConfiguration();
    void commitConfiguration();

    // One input per media type.
    bool canAddInput(const std::shared_ptr<CaptureDeviceInput>& input) const;
    void addInput(const std::shared_ptr<CaptureDeviceInput>& input);
    void removeInput(const std::shared_ptr<CaptureDeviceInput>& input);
    std::vector<std::shared_ptr<CaptureDeviceInput>> inputs() const;

    bool canAddOutput(const std::shared_ptr<CaptureOutput>& output) const;
    void addOutput(const std::shared_ptr<CaptureOutput>& output);
    void removeOutput(const std::shared_ptr<CaptureOutput>& output);
    std::vector<std::shared_ptr<CaptureOutput>> outputs() const;

    // Both wait until the inputs have started or stopped; stopping releases the devices.
    void startRunning();
    void stopRunning();
    bool isRunning() const;

    // The latest failure of an input to open or read, if any.
    std::optional<std::string> lastInputError() const;

    struct Impl;

  private:
    std::shared_ptr<Impl> d;
};

} // namespace qrn::media
