#pragma once
// Opening and decoding movies: the tracks and their properties, pictures in order or at a
// given time, and sound as interleaved float samples.
#include "platform/foundation/geometry.h"
#include "platform/foundation/result.h"
#include "platform/media/devices.h"

#include <QImage>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct AVFrame;
struct SwsContext;

namespace qrn::media {

struct MovieTrack {
    MediaType mediaType = MediaType::Video;
    int streamIndex = -1;
    int trackId = 0;       // the container's id of the track (from 1 in a QuickTime movie)
    std::string codecName; // "h264", "aac", ...
    double duration = 0;
};

struct MovieInfo {
    std::string path;
    std::vector<MovieTrack> tracks;
    Size naturalSize;     // of the first video track
    double duration = 0;  // seconds, the longest track
    double frameRate = 0; // of the first video track
    bool hasVideo() const;
    bool hasAudio() const;
    const MovieTrack* firstTrack(MediaType type) const;
};

Result<MovieInfo> loadMovieInfo(const std::string& path);

// A movie that is still being written (a recording in fragments). Its readers read it front to
// back and wait at its end for more, until the writer says it is complete or the readers are
// told to give up.
class GrowingFile {
  public:
    explicit GrowingFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    // The writer has finished: the end a reader reaches from now on is the movie's end.
    void complete();
    // Readers waiting for more stop with an error, now and from now on.
    void abandon();

    enum class State { Growing, Complete, Abandoned };
    State state() const;
    // Returns at once unless the file is still growing; then after a short while or a change.
    void waitForMore() const;
    // Readers waiting in waitForMore() now: those that have read all there is for the moment.
    int readersWaiting() const;
    // For tests: reads that reach `offset` fail there with the system error `error`, as on a disk
    // that cannot be read past it.
    void failReadsFrom(std::int64_t offset, int error);
    // Where reads fail, and with what; an error of 0 when they do not.
    std::pair<std::int64_t, int> readFault() const;

  private:
    std::string path_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    State state_ = State::Growing;
    mutable int waiting_ = 0;
    std::int64_t faultAt_ = 0;
    int fault_ = 0;
};

struct DecodedFrame {
    std::shared_ptr<const AVFrame> frame;
    double time = 0;     // presentation time, seconds from the start
    double duration = 0; // until the next frame
};

class VideoTrackReader {
  public:
    static Result<std::unique_ptr<VideoTrackReader>> open(const std::string& path);
    // Reads `file` as it grows: only forwards, so frameAt() takes times in order.
    static Result<std::unique_ptr<VideoTrackReader>> open(std::shared_ptr<GrowingFile> file);
    ~VideoTrackReader();

    // Frames in presentation order; nothing at the end.
    Result<std::optional<DecodedFrame>> next();
    // The next frame read is the one on show at `time`.
    Status seek(double time);
    // The frame on show at `time` (the last one past the end).
    Result<DecodedFrame> frameAt(double time);
    // The picture as Format_ARGB32_Premultiplied, at its own size unless one is given.
    QImage image(const DecodedFrame& frame, int width = 0, int height = 0);

    Size naturalSize() const;
    double frameRate() const;
    double duration() const;

    struct Impl;

  private:
    explicit VideoTrackReader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

struct AudioChunk {
    std::vector<float> samples; // interleaved
    int channels = 2;
    int sampleRate = 48000;
    double time = 0;
    int frameCount() const { return channels ? int(samples.size()) / channels : 0; }
};

class AudioTrackReader {
  public:
    static Result<std::unique_ptr<AudioTrackReader>> open(const std::string& path, int sampleRate = 48000,
                                                          int channels = 2);
    // Reads `file` as it grows: seek() only skips forwards.
    static Result<std::unique_ptr<AudioTrackReader>> open(std::shared_ptr<GrowingFile> file,
                                                          int sampleRate = 48000, int channels = 2);
    ~AudioTrackReader();
    Result<std::optional<AudioChunk>> next();
    // The next chunk starts at `time`.
    Status seek(double time);
    double duration() const;

    struct Impl;

  private:
    explicit AudioTrackReader(std::unique_ptr<Impl> impl);
    static Result<std::unique_ptr<AudioTrackReader>>
    finishOpening(std::unique_ptr<Impl> impl, const std::string& path, int sampleRate, int channels);
    std::unique_ptr<Impl> d;
};

} // namespace qrn::media
