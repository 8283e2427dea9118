#pragma once
// Writes H.264 (yuv420p) and AAC (48 kHz stereo) into a QuickTime movie. Frames and sound are
// given with their times in seconds from the start of the file; sound is padded or trimmed so
// that it stays in step with the pictures. Used by the recording output, the export and the
// tool that makes the bundle clips.
#include "platform/foundation/result.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct AVFrame;

namespace qrn::media {

struct MovieWriterSettings {
    int width = 1280, height = 720;
    int frameRateNum = 30, frameRateDen = 1;
    bool hasAudio = true;
    // x264 preset: the recording uses a fast one to keep up with the camera.
    std::string preset = "veryfast";
    // Changes to the preset, as key=value pairs joined by ':' (empty: none).
    std::string x264Options;
    int crf = 23;
    // A fragmented file stays playable up to its last fragment when the process dies.
    bool fragmented = false;
    // The encoder's threads; 0 leaves it to the encoder, which takes one and a half per core,
    // each holding its own pictures.
    int threads = 0;
    // The threads share each picture, a band each, instead of taking pictures of their own: no
    // thread holds pictures of its own and each picture is done sooner, for a little more size.
    bool slicedThreads = false;
    // Pictures the encoder reads ahead to plan its bits; each one is held, with a quarter-size
    // copy, until it is encoded. Below 0 the preset's own.
    int lookahead = -1;
};

// Encoder threads enough for a movie at the pace of a camera on `cores` cores (by default those
// this thread may use), and no more: each one holds pictures of its own.
int encoderThreadsForCores(int cores = 0);

class MovieWriter {
  public:
    static constexpr int audioSampleRate = 48000;
    static constexpr int audioChannels = 2;

    static Result<std::unique_ptr<MovieWriter>> create(const std::string& path,
                                                       const MovieWriterSettings& settings);
    // Finishes the file when finish() was not called.
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Any pixel format and size; the picture is scaled to the movie's size.
    Status appendVideo(const AVFrame* frame, double time);
    Status appendImage(const QImage& image, double time);
    // The picture at `time` is the one before again: rather than being encoded anew, the sample
    // before lasts on through this frame, so a player shows the same picture at the same times.
    Status repeatVideo(double time);
    // Any sample format, rate and channel layout.
    Status appendAudio(const AVFrame* frame, double time);
    // Interleaved stereo float samples at 48 kHz.
    Status appendAudioSamples(const float* interleaved, int sampleCount, double time);
    // Flushes the encoders and writes the index. The file is complete after this. With `end`
    // (seconds) past the last picture, that picture stays on until then and the sound is padded
    // as far: the movie lasts until `end` even when the last pictures never came.
    Status finish(std::optional<double> end = std::nullopt);

    const MovieWriterSettings& settings() const;
    // Pictures encoded: repeats are not counted.
    int64_t videoFramesWritten() const;
    int64_t audioSamplesWritten() const;

  private:
    struct Impl;
    explicit MovieWriter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// Sees every picture handed to the H.264 encoder of any writer, with its time, on the thread
// that appends it; the benchmarks compare a movie against exactly these pictures. An empty
// function takes the tap away.
using EncoderInputTap = std::function<void(const AVFrame& picture, double time)>;
void setEncoderInputTap(EncoderInputTap tap);

} // namespace qrn::media
