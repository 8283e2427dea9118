#include "platform/media/movie_reader.h"

#include "platform/media/av.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrn::media {

bool MovieInfo::hasVideo() const {
    return firstTrack(MediaType::Video) != nullptr;
}
bool MovieInfo::hasAudio() const {
    return firstTrack(MediaType::Audio) != nullptr;
}
const MovieTrack* MovieInfo::firstTrack(MediaType type) const {
    for (auto& t : tracks)
        if (t.mediaType == type)
            return &t;
    return nullptr;
}

void GrowingFile::complete() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Growing)
            state_ = State::Complete;
    }
    changed_.notify_all();
}

void GrowingFile::abandon() {
    {
        std::lock_guard lock(mutex_);
        state_ = State::Abandoned;
    }
    changed_.notify_all();
}

GrowingFile::State GrowingFile::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void GrowingFile::waitForMore() const {
    std::unique_lock lock(mutex_);
    // The writer says nothing when it appends: look again after a short while.
    if (state_ != State::Growing)
        return;
    ++waiting_;
    changed_.wait_for(lock, std::chrono::milliseconds(40));
    --waiting_;
}

int GrowingFile::readersWaiting() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

void GrowingFile::failReadsFrom(std::int64_t offset, int error) {
    std::lock_guard lock(mutex_);
    faultAt_ = offset;
    fault_ = error;
}

std::pair<std::int64_t, int> GrowingFile::readFault() const {
    std::lock_guard lock(mutex_);
    return {faultAt_, fault_};
}

namespace {

// The part of a growing QuickTime file that is written whole: its top-level boxes that are on
// disk to their last byte, a fragment's header (moof) only together with the box after it that
// holds the fragment's samples. The writer appends a fragment in several writes, and a reader
// that is stopped inside one hands its decoder a packet cut short.
class WholeBoxes {
  public:
    // Takes in what the writer has added since.
    void update(int fd) {
        struct stat st {};
        if (unknownLength_ || ::fstat(fd, &st) != 0)
            return;
        for (int64_t at = next_;;) {
            const auto box = boxAt(fd, at, int64_t(st.st_size));
            if (!box)
                return;
            at += box->first;
            if (box->second)
                continue;
            ends_.push_back(at);
            next_ = at;
        }
    }
    int64_t end() const { return ends_.empty() ? 0 : ends_.back(); }
    // The end of the whole box or fragment that holds `position`; `position` itself when it lies
    // between them or past the whole part.
    int64_t endOfPartAt(int64_t position) const {
        const auto it = std::upper_bound(ends_.begin(), ends_.end(), position);
        return it == ends_.end() ? position : *it;
    }

  private:
    // The length of the box at `at` when it is whole, and whether it is a fragment's header.
    std::optional<std::pair<int64_t, bool>> boxAt(int fd, int64_t at, int64_t fileSize) {
        unsigned char h[16];
        if (at + 8 > fileSize || ::pread(fd, h, 16, at) < 8)
            return std::nullopt;
        const auto be = [&](int from, int bytes) {
            uint64_t v = 0;
            for (int i = 0; i < bytes; ++i)
                v = v << 8 | h[from + i];
            return v;
        };
        uint64_t length = be(0, 4), header = 8;
        if (length == 1) {
            if (at + 16 > fileSize)
                return std::nullopt;
            length = be(8, 8);
            header = 16;
        }
        // A box that runs to the end of the file (length 0), or a broken one, is whole only
        // once the writer has finished; FFmpeg then says what is wrong with it.
        if (length < header || length > uint64_t(INT64_MAX - at)) {
            unknownLength_ = true;
            return std::nullopt;
        }
        if (at + int64_t(length) > fileSize)
            return std::nullopt;
        return std::make_pair(int64_t(length), std::memcmp(h + 4, "moof", 4) == 0);
    }

    std::vector<int64_t> ends_; // of each whole box or fragment, in order
    int64_t next_ = 0;          // where the first box not yet whole starts
    bool unknownLength_ = false;
};

// FFmpeg reads a growing file through this: a read at the end of the whole part waits for the
// writer.
struct GrowingInput {
    std::shared_ptr<GrowingFile> file;
    int fd = -1;
    int64_t position = 0;
    WholeBoxes whole;
    AVIOContext* io = nullptr;

    GrowingInput(const GrowingInput&) = delete;
    GrowingInput& operator=(const GrowingInput&) = delete;
    explicit GrowingInput(std::shared_ptr<GrowingFile> f) : file(std::move(f)) {
        constexpr int size = 1 << 16;
        auto* buffer = static_cast<unsigned char*>(av_malloc(size));
        io = avio_alloc_context(buffer, size, 0, this, &GrowingInput::read, nullptr, nullptr);
    }
    ~GrowingInput() {
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        if (fd >= 0)
            ::close(fd);
    }

    static int read(void* opaque, uint8_t* buffer, int size) {
        auto* in = static_cast<GrowingInput*>(opaque);
        while (true) {
            // Looked at before reading: a file completed after an empty read is read again.
            const auto state = in->file->state();
            if (in->fd < 0 && state != GrowingFile::State::Abandoned)
                in->fd = ::open(in->file->path().c_str(), O_RDONLY | O_CLOEXEC);
            if (in->fd >= 0) {
                // A complete file is read to its end, a last fragment cut short and all: that is
                // a real fault of the recording, for the decoder to report.
                int64_t until = std::numeric_limits<int64_t>::max();
                if (state != GrowingFile::State::Complete) {
                    if (in->position + size > in->whole.end())
                        in->whole.update(in->fd);
                    // Given up on: the box or fragment being read is read to its end, so that
                    // the packet being read is whole, and no further.
                    until = state == GrowingFile::State::Abandoned ? in->whole.endOfPartAt(in->position)
                                                                   : in->whole.end();
                }
                if (const auto [at, error] = in->file->readFault(); error != 0) {
                    if (in->position >= at)
                        return AVERROR(error);
                    until = std::min(until, at);
                }
                const int64_t wanted = std::min<int64_t>(size, until - in->position);
                if (wanted > 0) {
                    const ssize_t n = ::pread(in->fd, buffer, size_t(wanted), in->position);
                    if (n < 0)
                        return AVERROR(errno);
                    if (n > 0) {
                        in->position += n;
                        return int(n);
                    }
                }
            }
            if (state == GrowingFile::State::Abandoned)
                return AVERROR_EXIT;
            if (state == GrowingFile::State::Complete)
                return in->fd >= 0 ? AVERROR_EOF : AVERROR(ENOENT);
            in->file->waitForMore();
        }
    }
};

Result<av::InputContextPtr> openInput(const std::string& path) {
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0)
        return Result<av::InputContextPtr>::failure("Cannot open " + path + ": " + av::errorString(rc));
    av::InputContextPtr input(raw);
    if ((rc = avformat_find_stream_info(input.get(), nullptr)) < 0)
        return Result<av::InputContextPtr>::failure("Cannot read " + path + ": " + av::errorString(rc));
    return input;
}

double streamDuration(const AVFormatContext* fc, const AVStream* s) {
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
        return s->duration * av_q2d(s->time_base);
    if (fc->duration != AV_NOPTS_VALUE && fc->duration > 0)
        return fc->duration / double(AV_TIME_BASE);
    return 0;
}

double streamFrameRate(const AVStream* s) {
    AVRational r = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
    return r.num > 0 && r.den > 0 ? av_q2d(r) : 0;
}

// Opens the decoder for the first stream of a type.
struct Track {
    // Outlives the input that reads through it.
    std::unique_ptr<GrowingInput> growing;
    av::InputContextPtr input;
    av::CodecContextPtr codec;
    AVStream* stream = nullptr;
    av::PacketPtr packet = av::allocPacket();
    bool inputEnded = false;
    int decoderThreads = 0; // 0: as many as the decoder likes

    Status open(const std::string& path, AVMediaType type) {
        auto in = openInput(path);
        if (!in)
            return in.status();
        input = std::move(in).value();
        return openDecoder(path, type);
    }

    Status open(std::shared_ptr<GrowingFile> file, AVMediaType type) {
        const std::string path = file->path();
        // Read while it is written, a picture at a time at the pace of the take: one decoding
        // thread keeps up, where one per core would each hold pictures of their own.
        decoderThreads = 1;
        // Written to the end already: read as any other movie.
        if (file->state() == GrowingFile::State::Complete)
            return open(path, type);
        growing = std::make_unique<GrowingInput>(std::move(file));
        AVFormatContext* raw = avformat_alloc_context();
        if (!raw || !growing->io) {
            avformat_free_context(raw);
            return Status::failure("Out of memory opening " + path);
        }
        raw->pb = growing->io;
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
        int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
        if (rc < 0)
            return Status::failure("Cannot open " + path + ": " + av::errorString(rc));
        input.reset(raw);
        if ((rc = avformat_find_stream_info(input.get(), nullptr)) < 0)
            return Status::failure("Cannot read " + path + ": " + av::errorString(rc));
        return openDecoder(path, type);
    }

    bool forwardOnly() const { return growing != nullptr; }

    Status openDecoder(const std::string& path, AVMediaType type) {
        const AVCodec* decoder = nullptr;
        int index = av_find_best_stream(input.get(), type, -1, -1, &decoder, 0);
        if (index < 0 || !decoder)
            return Status::failure(std::string("No ") + (type == AVMEDIA_TYPE_VIDEO ? "video" : "audio") +
                                   " track in " + path);
        stream = input->streams[index];
        codec.reset(avcodec_alloc_context3(decoder));
        avcodec_parameters_to_context(codec.get(), stream->codecpar);
        codec->thread_count = decoderThreads;
        codec->pkt_timebase = stream->time_base;
        int rc = avcodec_open2(codec.get(), decoder, nullptr);
        if (rc < 0)
            return Status::failure("Cannot decode " + path + ": " + av::errorString(rc));
        return Status::ok();
    }

    // The next decoded frame, or false at the end.
    Result<bool> receive(AVFrame* frame) {
        while (true) {
            int rc = avcodec_receive_frame(codec.get(), frame);
            if (rc >= 0)
                return true;
            if (rc == AVERROR_EOF)
                return false;
            if (rc != AVERROR(EAGAIN))
                return Result<bool>::failure("Decoding failed: " + av::errorString(rc));
            if (inputEnded)
                return false;
            rc = av_read_frame(input.get(), packet.get());
            // The file could not be read (the system's own errors are small numbers; FFmpeg's
            // tags, a damaged or cut-short end among them, are not): what follows is unknown,
            // and a movie made of what came before would pass for the whole.
            if (rc < 0 && rc > -4096 && rc != AVERROR(EAGAIN))
                return Result<bool>::failure("Reading failed: " + av::errorString(rc));
            if (rc < 0) {
                inputEnded = true;
                avcodec_send_packet(codec.get(), nullptr);
                continue;
            }
            if (packet->stream_index == stream->index)
                avcodec_send_packet(codec.get(), packet.get());
            av_packet_unref(packet.get());
        }
    }

    Status seek(double time) {
        int64_t ts = int64_t(std::floor(std::max(0.0, time) / av_q2d(stream->time_base)));
        if (stream->start_time != AV_NOPTS_VALUE)
            ts += stream->start_time;
        int rc = av_seek_frame(input.get(), stream->index, ts, AVSEEK_FLAG_BACKWARD);
        if (rc < 0)
            rc = av_seek_frame(input.get(), stream->index,
                               stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time,
                               AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
        if (rc < 0)
            return Status::failure("Cannot seek: " + av::errorString(rc));
        avcodec_flush_buffers(codec.get());
        inputEnded = false;
        return Status::ok();
    }

    double timeOf(const AVFrame* f) const {
        int64_t ts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
        if (ts == AV_NOPTS_VALUE)
            return 0;
        if (stream->start_time != AV_NOPTS_VALUE)
            ts -= stream->start_time;
        return ts * av_q2d(stream->time_base);
    }
};

} // namespace

Result<MovieInfo> loadMovieInfo(const std::string& path) {
    auto in = openInput(path);
    if (!in)
        return in.status();
    AVFormatContext* fc = in.value().get();
    MovieInfo info;
    info.path = path;
    for (unsigned i = 0; i < fc->nb_streams; ++i) {
        AVStream* s = fc->streams[i];
        auto type = s->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (s->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue;
        MovieTrack t;
        t.mediaType = type == AVMEDIA_TYPE_VIDEO ? MediaType::Video : MediaType::Audio;
        t.streamIndex = int(i);
        t.trackId = s->id;
        t.codecName = avcodec_get_name(s->codecpar->codec_id);
        t.duration = streamDuration(fc, s);
        if (t.mediaType == MediaType::Video && !info.hasVideo()) {
            info.naturalSize = {double(s->codecpar->width), double(s->codecpar->height)};
            info.frameRate = streamFrameRate(s);
        }
        info.duration = std::max(info.duration, t.duration);
        info.tracks.push_back(std::move(t));
    }
    return info;
}

// ---- Video ------------------------------------------------------------------------------------

struct VideoTrackReader::Impl {
    Track track;
    double frameDuration = 1.0 / 30;
    double seekTarget = -1;                // frames ending before it are skipped
    std::optional<DecodedFrame> following; // decoded, not yet handed out
    std::optional<Status> failed;          // decoding the frame after the one handed out
    std::optional<DecodedFrame> last;
    SwsContext* scaler = nullptr;
    ~Impl() { sws_freeContext(scaler); }

    Result<std::optional<DecodedFrame>> decodeOne() {
        auto frame = av::allocFrame();
        auto got = track.receive(frame.get());
        if (!got)
            return got.status();
        if (!got.value())
            return std::optional<DecodedFrame>();
        DecodedFrame f;
        f.time = track.timeOf(frame.get());
        f.duration =
            frame->pkt_duration > 0 ? frame->pkt_duration * av_q2d(track.stream->time_base) : frameDuration;
        AVFrame* raw = frame.release();
        f.frame = std::shared_ptr<const AVFrame>(raw, [](const AVFrame* p) {
            auto* q = const_cast<AVFrame*>(p);
            av_frame_free(&q);
        });
        return std::optional<DecodedFrame>(std::move(f));
    }

    // The next frame, lasting until the one after it. A sample's duration in the container is a
    // step of decoding time: once pictures are reordered and last for different times (a picture
    // held over several frames), it is not how long the picture is on show.
    Result<std::optional<DecodedFrame>> decodeTimed() {
        if (failed) {
            Status s = *failed;
            failed.reset();
            return s;
        }
        std::optional<DecodedFrame> f;
        if (following) {
            f.swap(following);
        } else {
            auto r = decodeOne();
            if (!r)
                return r;
            f = std::move(r).value();
        }
        if (!f)
            return f;
        // The last frame lasts until the track ends; a failure on the frame after this one is
        // the next call's answer.
        auto after = decodeOne();
        if (!after) {
            failed = after.status();
        } else if (after.value()) {
            following = std::move(after).value();
            if (following->time > f->time)
                f->duration = following->time - f->time;
        } else if (const AVStream* s = track.stream; s->duration > 0 && s->duration != AV_NOPTS_VALUE) {
            const double end = s->duration * av_q2d(s->time_base);
            if (end > f->time + 1e-6)
                f->duration = end - f->time;
        }
        return f;
    }
};

VideoTrackReader::VideoTrackReader(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
VideoTrackReader::~VideoTrackReader() = default;

Result<std::unique_ptr<VideoTrackReader>> VideoTrackReader::open(const std::string& path) {
    auto impl = std::make_unique<Impl>();
    if (auto s = impl->track.open(path, AVMEDIA_TYPE_VIDEO); !s)
        return s;
    double rate = streamFrameRate(impl->track.stream);
    if (rate > 0)
        impl->frameDuration = 1.0 / rate;
    return std::unique_ptr<VideoTrackReader>(new VideoTrackReader(std::move(impl)));
}

Result<std::unique_ptr<VideoTrackReader>> VideoTrackReader::open(std::shared_ptr<GrowingFile> file) {
    auto impl = std::make_unique<Impl>();
    if (auto s = impl->track.open(std::move(file), AVMEDIA_TYPE_VIDEO); !s)
        return s;
    double rate = streamFrameRate(impl->track.stream);
    if (rate > 0)
        impl->frameDuration = 1.0 / rate;
    return std::unique_ptr<VideoTrackReader>(new VideoTrackReader(std::move(impl)));
}

Result<std::optional<DecodedFrame>> VideoTrackReader::next() {
    while (true) {
        auto r = d->decodeTimed();
        if (!r)
            return r;
        std::optional<DecodedFrame> f = std::move(r).value();
        if (!f) {
            // Past the end: the frame on show at the seek target is the last one.
            if (d->seekTarget >= 0 && d->last) {
                d->seekTarget = -1;
                return d->last;
            }
            return f;
        }
        if (d->seekTarget >= 0) {
            // Skip to the frame whose span holds the target (a small slack for rounding).
            if (f->time + f->duration <= d->seekTarget + 1e-6) {
                d->last = f;
                continue;
            }
            d->seekTarget = -1;
        }
        d->last = f;
        return f;
    }
}

Status VideoTrackReader::seek(double time) {
    d->following.reset();
    d->failed.reset();
    d->last.reset();
    if (auto s = d->track.seek(time); !s)
        return s;
    d->seekTarget = std::max(0.0, time);
    return Status::ok();
}

Result<DecodedFrame> VideoTrackReader::frameAt(double time) {
    // A time that is a frame's start but for rounding (a frame count times a duration) is in
    // that frame, not the one before, as the seek below also takes it.
    constexpr double slack = 1e-6;
    // Reading on from the current place is much cheaper than a seek when the time lies ahead.
    if (d->last && time + slack >= d->last->time && time + slack < d->last->time + d->last->duration)
        return *d->last;
    bool ahead = d->last && time > d->last->time && time - d->last->time < 2.0;
    if (d->track.forwardOnly()) {
        if (d->last && time + slack < d->last->time)
            return Result<DecodedFrame>::failure("The movie is still being written: no going back");
        ahead = true;
    }
    if (!ahead) {
        if (auto s = seek(time); !s)
            return s;
    } else {
        d->seekTarget = time;
    }
    auto f = next();
    if (!f)
        return f.status();
    if (!f.value()) {
        if (d->last)
            return *d->last;
        return Result<DecodedFrame>::failure("No frame at that time");
    }
    return *f.value();
}

QImage VideoTrackReader::image(const DecodedFrame& frame, int width, int height) {
    return av::toImage(frame.frame.get(), d->scaler, width, height);
}

Size VideoTrackReader::naturalSize() const {
    return {double(d->track.stream->codecpar->width), double(d->track.stream->codecpar->height)};
}
double VideoTrackReader::frameRate() const {
    return streamFrameRate(d->track.stream);
}
double VideoTrackReader::duration() const {
    return streamDuration(d->track.input.get(), d->track.stream);
}

// ---- Audio ------------------------------------------------------------------------------------

struct AudioTrackReader::Impl {
    Track track;
    int sampleRate = 48000, channels = 2;
    av::SwrPtr resampler;
    double skipUntil = -1;
};

AudioTrackReader::AudioTrackReader(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
AudioTrackReader::~AudioTrackReader() = default;

Result<std::unique_ptr<AudioTrackReader>> AudioTrackReader::open(const std::string& path, int sampleRate,
                                                                 int channels) {
    auto impl = std::make_unique<Impl>();
    if (auto s = impl->track.open(path, AVMEDIA_TYPE_AUDIO); !s)
        return s;
    return finishOpening(std::move(impl), path, sampleRate, channels);
}

Result<std::unique_ptr<AudioTrackReader>> AudioTrackReader::open(std::shared_ptr<GrowingFile> file,
                                                                 int sampleRate, int channels) {
    auto impl = std::make_unique<Impl>();
    const std::string path = file->path();
    if (auto s = impl->track.open(std::move(file), AVMEDIA_TYPE_AUDIO); !s)
        return s;
    return finishOpening(std::move(impl), path, sampleRate, channels);
}

Result<std::unique_ptr<AudioTrackReader>> AudioTrackReader::finishOpening(std::unique_ptr<Impl> impl,
                                                                          const std::string& path,
                                                                          int sampleRate, int channels) {
    impl->sampleRate = sampleRate;
    impl->channels = channels;
    AVChannelLayout outLayout{}, inLayout{};
    av_channel_layout_default(&outLayout, channels);
    if (impl->track.codec->ch_layout.nb_channels > 0 &&
        impl->track.codec->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_copy(&inLayout, &impl->track.codec->ch_layout);
    else
        av_channel_layout_default(&inLayout, std::max(1, impl->track.codec->ch_layout.nb_channels));
    SwrContext* swr = nullptr;
    int rc = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_FLT, sampleRate, &inLayout,
                                 impl->track.codec->sample_fmt, impl->track.codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(swr) < 0) {
        swr_free(&swr);
        return Result<std::unique_ptr<AudioTrackReader>>::failure("Cannot convert the sound of " + path);
    }
    impl->resampler.reset(swr);
    return std::unique_ptr<AudioTrackReader>(new AudioTrackReader(std::move(impl)));
}

Result<std::optional<AudioChunk>> AudioTrackReader::next() {
    auto frame = av::allocFrame();
    while (true) {
        auto got = d->track.receive(frame.get());
        if (!got)
            return got.status();
        if (!got.value())
            return std::optional<AudioChunk>();
        AudioChunk chunk;
        chunk.channels = d->channels;
        chunk.sampleRate = d->sampleRate;
        chunk.time = d->track.timeOf(frame.get());
        int capacity =
            int(av_rescale_rnd(swr_get_delay(d->resampler.get(), frame->sample_rate) + frame->nb_samples,
                               d->sampleRate, frame->sample_rate, AV_ROUND_UP));
        chunk.samples.resize(size_t(capacity) * size_t(d->channels));
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(chunk.samples.data())};
        int n = swr_convert(d->resampler.get(), out, capacity,
                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        av_frame_unref(frame.get());
        if (n < 0)
            return Result<std::optional<AudioChunk>>::failure("Cannot convert the sound");
        chunk.samples.resize(size_t(n) * size_t(d->channels));
        if (d->skipUntil >= 0) {
            double end = chunk.time + double(n) / d->sampleRate;
            if (end <= d->skipUntil)
                continue;
            int drop = std::clamp(int(std::lround((d->skipUntil - chunk.time) * d->sampleRate)), 0, n);
            chunk.samples.erase(chunk.samples.begin(), chunk.samples.begin() + ptrdiff_t(drop) * d->channels);
            chunk.time += double(drop) / d->sampleRate;
            d->skipUntil = -1;
        }
        if (chunk.samples.empty())
            continue;
        return std::optional<AudioChunk>(std::move(chunk));
    }
}

Status AudioTrackReader::seek(double time) {
    if (d->track.forwardOnly()) {
        d->skipUntil = std::max(0.0, time);
        return Status::ok();
    }
    if (auto s = d->track.seek(time); !s)
        return s;
    swr_init(d->resampler.get()); // drops what the resampler still held
    d->skipUntil = std::max(0.0, time);
    return Status::ok();
}

double AudioTrackReader::duration() const {
    return streamDuration(d->track.input.get(), d->track.stream);
}

} // namespace qrn::media
