#include "platform/media/capture_session.h"

#include "platform/foundation/main_queue.h"
#include "platform/foundation/thread_priority.h"
#include "platform/media/av.h"
#include "platform/media/device_clock.h"
#include "platform/media/movie_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <future>
#include <map>
#include <thread>
#include <unistd.h>

namespace qrn::media {

double captureClock() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

namespace {

void sleepUntil(double clockTime) {
    // Never long: the reading thread must notice a stop.
    double wait = std::min(clockTime - captureClock(), 0.5);
    if (wait > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
}

// Runs blocks one after another on a thread of its own.
class SerialQueue {
  public:
    SerialQueue() : thread_([this] { run(); }) {}
    ~SerialQueue() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void sync(std::function<void()> fn) {
        if (std::this_thread::get_id() == thread_.get_id()) {
            fn();
            return;
        }
        std::promise<void> done;
        auto future = done.get_future();
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back([&] {
                fn();
                done.set_value();
            });
        }
        cv_.notify_all();
        future.wait();
    }

  private:
    void run() {
        std::unique_lock lock(mutex_);
        while (true) {
            cv_.wait(lock, [this] { return quit_ || !tasks_.empty(); });
            if (tasks_.empty())
                return;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    bool quit_ = false;
    std::thread thread_;
};

// Reads one device on a thread of its own and hands each decoded frame to `deliver`.
class CaptureSource {
  public:
    using VideoSink = std::function<void(const VideoSample&)>;
    using AudioSink = std::function<void(const AudioSample&)>;
    using ErrorSink = std::function<void(const std::string&)>;

    CaptureSource(CaptureDevice device, VideoSink video, AudioSink audio, ErrorSink error)
        : device_(std::move(device)), video_(std::move(video)), audio_(std::move(audio)),
          error_(std::move(error)) {
        thread_ = std::thread([this] { run(); });
    }
    ~CaptureSource() {
        stop_ = true;
        thread_.join();
    }

  private:
    void run() {
        av::registerDevices();
        const AVInputFormat* format = av_find_input_format(device_.inputFormat.c_str());
        if (!format) {
            error_("No input for " + device_.inputFormat);
            return;
        }
        AVFormatContext* raw = avformat_alloc_context();
        raw->interrupt_callback.callback = [](void* self) -> int {
            return static_cast<CaptureSource*>(self)->stop_.load() ? 1 : 0;
        };
        raw->interrupt_callback.opaque = this;
        AVDictionary* options = nullptr;
        for (const auto& [k, v] : device_.options)
            av_dict_set(&options, k.c_str(), v.c_str(), 0);
        int rc = avformat_open_input(&raw, device_.url.c_str(), format, &options);
        av_dict_free(&options);
        if (rc < 0) {
            if (!stop_)
                error_("Cannot open " + device_.localizedName + ": " + av::errorString(rc));
            return;
        }
        av::InputContextPtr input(raw);
        if ((rc = avformat_find_stream_info(input.get(), nullptr)) < 0) {
            error_("Cannot read " + device_.localizedName + ": " + av::errorString(rc));
            return;
        }
        AVMediaType wanted = device_.mediaType == MediaType::Video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
        const AVCodec* codec = nullptr;
        int index = av_find_best_stream(input.get(), wanted, -1, -1, &codec, 0);
        if (index < 0 || !codec) {
            error_("No usable stream from " + device_.localizedName);
            return;
        }
        AVStream* stream = input->streams[index];
        av::CodecContextPtr decoder(avcodec_alloc_context3(codec));
        avcodec_parameters_to_context(decoder.get(), stream->codecpar);
        if ((rc = avcodec_open2(decoder.get(), codec, nullptr)) < 0) {
            error_("Cannot decode " + device_.localizedName + ": " + av::errorString(rc));
            return;
        }
        AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = {30, 1};

        auto packet = av::allocPacket();
        auto frame = av::allocFrame();
        DeviceClockMapping clock;
        double soundDelivered = 0; // seconds of sound read so far: a microphone's own clock
        while (!stop_) {
            rc = av_read_frame(input.get(), packet.get());
            if (rc == AVERROR(EAGAIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            if (rc < 0) {
                if (!stop_)
                    error_("Reading " + device_.localizedName + " failed: " + av::errorString(rc));
                return;
            }
            if (packet->stream_index != index) {
                av_packet_unref(packet.get());
                continue;
            }
            rc = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            if (rc < 0 && rc != AVERROR(EAGAIN))
                continue;
            while (!stop_ && avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
                bool sound = wanted == AVMEDIA_TYPE_AUDIO;
                double duration =
                    sound && frame->sample_rate > 0 ? double(frame->nb_samples) / frame->sample_rate : 0.0;
                // The buffer's start on the device's own clock: the samples delivered so far for
                // a microphone, the driver's timestamp for a camera, the media time for a
                // generated source.
                int64_t ts = frame->best_effort_timestamp;
                std::optional<double> deviceTime;
                if (sound && !device_.needsPacing)
                    deviceTime = soundDelivered;
                else if (ts != AV_NOPTS_VALUE)
                    deviceTime = ts * av_q2d(stream->time_base);
                soundDelivered += duration;
                // A generated source is only as fast as it is read: a buffer is ready once its
                // last sample (or the picture) would have been captured.
                if (device_.needsPacing && deviceTime)
                    if (auto due = clock.toCapture(*deviceTime))
                        sleepUntil(*due + duration);
                if (stop_)
                    break;
                // Each picture is converted for the preview and handed on from here: work the
                // autocue and the windows must never wait behind. Asked again for every buffer,
                // as the end of a take puts every thread that gave way back to the usual share.
                giveWayToTheMainThread();
                double arrival = captureClock() - duration;
                double time = deviceTime ? clock.map(*deviceTime, arrival) : arrival;
                if (!sound)
                    video_(VideoSample{av::share(frame.get()), time, rate.num, rate.den});
                else
                    audio_(AudioSample{av::share(frame.get()), time});
                av_frame_unref(frame.get());
            }
        }
    }

    CaptureDevice device_;
    VideoSink video_;
    AudioSink audio_;
    ErrorSink error_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void logLine(const std::string& line) {
    std::fprintf(stderr, "qrn media: %s\n", line.c_str());
}

} // namespace

// ---- Inputs -----------------------------------------------------------------------------------

Result<std::shared_ptr<CaptureDeviceInput>> CaptureDeviceInput::create(const CaptureDevice& device) {
    using R = Result<std::shared_ptr<CaptureDeviceInput>>;
    if (device.inputFormat == "v4l2") {
        int fd = ::open(device.url.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            int err = errno;
            if (err == EACCES || err == EPERM)
                return R::failure("Access to " + device.localizedName + " was refused");
            if (err == ENOENT || err == ENODEV || err == ENXIO)
                return R::failure(device.localizedName + " is no longer connected");
        } else {
            ::close(fd);
        }
    }
    return std::shared_ptr<CaptureDeviceInput>(new CaptureDeviceInput(device));
}

// ---- Preview ----------------------------------------------------------------------------------

VideoPreviewOutput::~VideoPreviewOutput() {
    sws_freeContext(scaler_);
}

void VideoPreviewOutput::setFrameHandler(FrameHandler handler) {
    std::lock_guard lock(mutex_);
    handler_ = handler ? std::make_shared<FrameHandler>(std::move(handler)) : nullptr;
}

void VideoPreviewOutput::inputsChanged(bool hasVideo, bool) {
    if (!hasVideo)
        ++cameraGeneration_;
}

void VideoPreviewOutput::captureVideo(const VideoSample& sample) {
    const uint64_t generation = cameraGeneration_.load();
    std::shared_ptr<FrameHandler> handler;
    {
        std::lock_guard lock(mutex_);
        handler = handler_;
    }
    if (!handler)
        return;
    // The main thread still has the previous frame: showing this one late is worse than not
    // showing it at all.
    if (pending_.exchange(true)) {
        ++dropped_;
        return;
    }
    QImage image = av::toImage(sample.frame.get(), scaler_);
    std::weak_ptr<VideoPreviewOutput> weak = weak_from_this();
    MainQueue::post([weak, handler, generation, image = std::move(image)] {
        auto self = weak.lock();
        if (!self)
            return;
        self->pending_ = false;
        if (self->cameraGeneration_.load() != generation)
            return;
        {
            // A picture taken for a handler that has since been replaced or removed belongs to
            // no one: after setFrameHandler returns, the old handler sees nothing more.
            std::lock_guard lock(self->mutex_);
            if (self->handler_ != handler)
                return;
        }
        ++self->delivered_;
        (*handler)(image);
    });
}

// ---- Movie file output ------------------------------------------------------------------------

namespace {
std::atomic<int> picturesBeforeInjectedFailure{-1};
} // namespace

void MovieFileOutput::setWriteFailureForTesting(int pictures) {
    picturesBeforeInjectedFailure.store(pictures);
}

struct MovieFileOutput::Recording {
    std::string path;
    int picturesBeforeFailure = picturesBeforeInjectedFailure.load();
    std::shared_ptr<RecordingDelegate> delegate;
    std::weak_ptr<MovieFileOutput> owner;

    std::mutex mutex;
    std::condition_variable cv;
    std::deque<VideoSample> video;
    std::deque<AudioSample> audio;
    size_t queuedBytes = 0;
    bool videoLive = false, audioLive = false; // the inputs deliver
    double startAt = 0;                        // capture clock
    bool stopping = false;
    double stopAt = 0;                         // capture clock, once stopping
    bool closed = false;                       // takes nothing more
    bool videoPast = false, audioPast = false; // an input delivered from beyond the stop
    double videoHeard = 0, audioHeard = 0;     // capture clock of each input's latest delivery
    bool finished = false;
    std::atomic<int64_t> written{0}, dropped{0};
    std::thread thread;

    // Pictures wait for the encoder in memory: up to some seconds of them, within a budget.
    // Beyond that the writer cannot keep up and frames are dropped (and counted).
    static constexpr double maxQueuedSeconds = 5;
    static constexpr size_t maxQueuedBytes = size_t(512) << 20;

    static size_t sizeOf(const AVFrame* f) {
        size_t n = 0;
        for (auto* b : f->buf)
            if (b)
                n += b->size;
        return n;
    }

    void post(std::function<void(MovieFileOutput&, RecordingDelegate&)> fn) {
        MainQueue::post([owner = owner, delegate = delegate, fn = std::move(fn)] {
            auto o = owner.lock();
            if (o && delegate)
                fn(*o, *delegate);
        });
    }

    // Under `mutex`, once stopping: whether an input may still bring something captured
    // before the stop. One that has gone quiet for `stopGrace` seconds is given up on; one that
    // keeps delivering, however far behind, is waited for.
    bool awaiting(bool live, bool past, double heard, double now) const {
        return live && !past && now - std::max(stopAt, heard) < stopGrace;
    }
    bool allIn(double now) const {
        return !awaiting(videoLive, videoPast, videoHeard, now) &&
               !awaiting(audioLive, audioPast, audioHeard, now);
    }

    void run() {
        // Frames wait here for seconds if need be: the main thread (the autocue) has the core
        // first, and the encoder's threads, started from this one, give way too.
        giveWayToTheMainThread();
        std::unique_ptr<MovieWriter> writer;
        std::optional<std::string> error;
        bool failureTold = false;
        double t0 = 0;
        std::deque<AudioSample> early; // sound that arrived before the first picture
        while (true) {
            std::optional<VideoSample> v;
            std::optional<AudioSample> a;
            {
                std::unique_lock lock(mutex);
                while (video.empty() && audio.empty()) {
                    if (!stopping)
                        cv.wait(lock);
                    else if (allIn(captureClock()))
                        break;
                    else // after the stop, wait for what is still on its way
                        cv.wait_for(lock, std::chrono::milliseconds(20));
                }
                // Take whichever is older, so sound and pictures reach the muxer in step.
                if (!video.empty() && (audio.empty() || video.front().time <= audio.front().time)) {
                    v = std::move(video.front());
                    video.pop_front();
                    queuedBytes -= sizeOf(v->frame.get());
                } else if (!audio.empty()) {
                    a = std::move(audio.front());
                    audio.pop_front();
                } else {
                    closed = true; // stopped, and nothing more to come
                    break;
                }
            }
            if (error) {
                // Drain without writing after a failure; the main thread hears of it once.
                if (!failureTold) {
                    failureTold = true;
                    post([path = path, why = *error](MovieFileOutput& o, RecordingDelegate& d) {
                        d.didFailRecording(o, path, why);
                    });
                }
                continue;
            }
            if (v) {
                if (!writer) {
                    // The movie starts with this picture: say so before the writer is set up, so
                    // that the start reaches the main thread as close to it as can be.
                    post([path = path, time = v->time](MovieFileOutput& o, RecordingDelegate& d) {
                        d.didStartRecording(o, path, time);
                    });
                    MovieWriterSettings settings;
                    settings.width = v->frame->width & ~1;
                    settings.height = v->frame->height & ~1;
                    settings.frameRateNum = v->frameRateNum;
                    settings.frameRateDen = v->frameRateDen;
                    {
                        std::lock_guard lock(mutex);
                        settings.hasAudio = audioLive || !early.empty();
                    }
                    settings.fragmented = true;
                    // Bigger pictures get a cheaper preset so two cores keep up.
                    settings.preset =
                        settings.width * settings.height > 1280 * 720 ? "superfast" : "veryfast";
                    settings.threads = encoderThreadsForCores();
                    settings.slicedThreads = true;
                    auto created = MovieWriter::create(path, settings);
                    if (!created) {
                        error = created.error();
                        continue;
                    }
                    writer = std::move(created).value();
                    t0 = v->time;
                    for (auto& e : early)
                        if (auto s = writer->appendAudio(e.frame.get(), e.time - t0); !s)
                            error = s.error();
                    early.clear();
                }
                if (picturesBeforeFailure >= 0 && written >= picturesBeforeFailure) {
                    error = "No space left on device";
                    continue;
                }
                if (auto s = writer->appendVideo(v->frame.get(), v->time - t0); !s) {
                    error = s.error();
                    continue;
                }
                ++written;
            } else if (a) {
                if (writer) {
                    if (auto s = writer->appendAudio(a->frame.get(), a->time - t0); !s)
                        error = s.error();
                } else {
                    early.push_back(std::move(*a));
                    while (early.size() > 1 && early.front().time < early.back().time - 0.5)
                        early.pop_front();
                }
            }
        }
        if (!writer && !error)
            error = "The recording stopped before any frame was captured";
        post([path = path, error](MovieFileOutput& o, RecordingDelegate& d) {
            d.willFinishRecording(o, path, error);
        });
        if (writer) {
            // The movie lasts until the stop, even when the last pictures before it never came.
            std::optional<double> end;
            {
                std::lock_guard lock(mutex);
                if (stopping)
                    end = stopAt - t0;
            }
            if (auto s = writer->finish(end); !s && !error)
                error = s.error();
        }
        if (dropped > 0)
            logLine("recording " + path + ": " + std::to_string(dropped.load()) + " frames dropped, " +
                    std::to_string(written.load()) + " written");
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        cv.notify_all();
        post([path = path, error](MovieFileOutput& o, RecordingDelegate& d) {
            d.didFinishRecording(o, path, error);
        });
    }

    // Under `mutex`: whether a buffer captured from `time` to `end` belongs in the file.
    bool takes(double time, double end, bool& past) {
        if (closed || time < startAt)
            return false;
        if (!stopping)
            return true;
        if (end >= stopAt)
            past = true;
        return time < stopAt;
    }
};

MovieFileOutput::MovieFileOutput() = default;

MovieFileOutput::~MovieFileOutput() {
    stopRecording();
    std::shared_ptr<Recording> latest;
    {
        std::lock_guard lock(mutex_);
        latest = latest_;
    }
    if (latest && latest->thread.joinable())
        latest->thread.join();
}

void MovieFileOutput::startRecording(const std::string& path, std::shared_ptr<RecordingDelegate> delegate) {
    std::shared_ptr<Recording> previous;
    {
        std::lock_guard lock(mutex_);
        if (current_)
            return;
        previous = latest_;
    }
    // One recording finishes before the next one takes the writer.
    if (previous && previous->thread.joinable())
        previous->thread.join();
    auto r = std::make_shared<Recording>();
    r->path = path;
    r->delegate = std::move(delegate);
    r->owner = weak_from_this();
    r->startAt = captureClock();
    std::lock_guard lock(mutex_);
    r->videoLive = hasVideoInput_;
    r->audioLive = hasAudioInput_;
    r->thread = std::thread([r] { r->run(); });
    current_ = r;
    latest_ = r;
}

void MovieFileOutput::stopRecording() {
    std::shared_ptr<Recording> r;
    {
        std::lock_guard lock(mutex_);
        r = std::move(current_);
        current_.reset();
    }
    if (!r)
        return;
    {
        std::lock_guard lock(r->mutex);
        r->stopping = true;
        r->stopAt = captureClock();
    }
    r->cv.notify_all();
}

bool MovieFileOutput::isRecording() const {
    std::lock_guard lock(mutex_);
    return current_ != nullptr;
}

std::optional<std::string> MovieFileOutput::outputPath() const {
    std::lock_guard lock(mutex_);
    if (!latest_)
        return std::nullopt;
    return latest_->path;
}

int64_t MovieFileOutput::framesWritten() const {
    std::lock_guard lock(mutex_);
    return latest_ ? latest_->written.load() : 0;
}

int64_t MovieFileOutput::framesDropped() const {
    std::lock_guard lock(mutex_);
    return latest_ ? latest_->dropped.load() : 0;
}

void MovieFileOutput::waitUntilFinished() {
    std::shared_ptr<Recording> r;
    {
        std::lock_guard lock(mutex_);
        r = latest_;
    }
    if (!r)
        return;
    std::unique_lock lock(r->mutex);
    r->cv.wait(lock, [&] { return r->finished; });
}

void MovieFileOutput::inputsChanged(bool hasVideo, bool hasAudio) {
    std::shared_ptr<Recording> r;
    {
        std::lock_guard lock(mutex_);
        hasVideoInput_ = hasVideo;
        hasAudioInput_ = hasAudio;
        r = latest_;
    }
    if (!r)
        return;
    {
        std::lock_guard lock(r->mutex);
        r->videoLive = hasVideo;
        r->audioLive = hasAudio;
    }
    r->cv.notify_all();
}

void MovieFileOutput::captureVideo(const VideoSample& sample) {
    std::shared_ptr<Recording> r;
    {
        std::lock_guard lock(mutex_);
        r = latest_;
    }
    if (!r)
        return;
    {
        std::lock_guard lock(r->mutex);
        r->videoHeard = captureClock();
        if (!r->takes(sample.time, sample.time, r->videoPast)) {
            r->cv.notify_all();
            return;
        }
        size_t bytes = Recording::sizeOf(sample.frame.get());
        double fps = sample.frameRateDen > 0 ? double(sample.frameRateNum) / sample.frameRateDen : 30;
        size_t maxFrames = size_t(std::max(2.0, Recording::maxQueuedSeconds * fps));
        if (!r->video.empty() &&
            (r->video.size() >= maxFrames || r->queuedBytes + bytes > Recording::maxQueuedBytes)) {
            if (++r->dropped % 30 == 1)
                logLine("recording " + r->path + " falls behind: " + std::to_string(r->dropped.load()) +
                        " frames dropped so far");
            return;
        }
        r->video.push_back(sample);
        r->queuedBytes += bytes;
    }
    r->cv.notify_all();
}

void MovieFileOutput::captureAudio(const AudioSample& sample) {
    std::shared_ptr<Recording> r;
    {
        std::lock_guard lock(mutex_);
        r = latest_;
    }
    if (!r)
        return;
    {
        std::lock_guard lock(r->mutex);
        const AVFrame* f = sample.frame.get();
        double end = sample.time + (f->sample_rate > 0 ? double(f->nb_samples) / f->sample_rate : 0);
        r->audioHeard = captureClock();
        if (!r->takes(sample.time, end, r->audioPast)) {
            r->cv.notify_all();
            return;
        }
        r->audio.push_back(sample);
    }
    r->cv.notify_all();
}

// ---- Session ----------------------------------------------------------------------------------

struct CaptureSession::Impl : std::enable_shared_from_this<CaptureSession::Impl> {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<CaptureDeviceInput>> inputs;
    std::vector<std::shared_ptr<CaptureOutput>> outputs;
    int configurationDepth = 0;
    bool running = false;
    std::optional<std::string> lastError;
    // Touched only on the queue's thread.
    std::map<CaptureDeviceInput*, std::unique_ptr<CaptureSource>> sources;
    std::unique_ptr<SerialQueue> queue = std::make_unique<SerialQueue>();

    std::vector<std::shared_ptr<CaptureOutput>> outputsCopy() {
        std::lock_guard lock(mutex);
        return outputs;
    }

    // Runs on the queue: brings the running sources in line with the inputs.
    void apply() {
        std::vector<std::shared_ptr<CaptureDeviceInput>> wanted;
        std::vector<std::shared_ptr<CaptureOutput>> outs;
        bool run;
        {
            std::lock_guard lock(mutex);
            wanted = inputs;
            run = running;
            outs = outputs;
        }
        if (!run)
            wanted.clear();
        for (auto it = sources.begin(); it != sources.end();) {
            bool keep =
                std::any_of(wanted.begin(), wanted.end(), [&](auto& in) { return in.get() == it->first; });
            it = keep ? std::next(it)
                      : sources.erase(it); // the source's destructor stops and frees the device
        }
        bool hasVideo = false, hasAudio = false;
        for (auto& in : wanted) {
            (in->mediaType() == MediaType::Video ? hasVideo : hasAudio) = true;
            if (sources.count(in.get()))
                continue;
            std::weak_ptr<Impl> weak = weak_from_this();
            sources[in.get()] = std::make_unique<CaptureSource>(
                in->device(),
                [weak](const VideoSample& s) {
                    if (auto self = weak.lock())
                        for (auto& o : self->outputsCopy())
                            o->captureVideo(s);
                },
                [weak](const AudioSample& s) {
                    if (auto self = weak.lock())
                        for (auto& o : self->outputsCopy())
                            o->captureAudio(s);
                },
                [weak](const std::string& message) {
                    logLine(message);
                    if (auto self = weak.lock()) {
                        std::lock_guard lock(self->mutex);
                        self->lastError = message;
                    }
                });
        }
        for (auto& o : outs)
            o->inputsChanged(hasVideo, hasAudio);
    }

    void changed() {
        bool now;
        {
            std::lock_guard lock(mutex);
            now = configurationDepth == 0;
        }
        if (now)
            queue->sync([this] { apply(); });
    }
};

CaptureSession::CaptureSession() : d(std::make_shared<Impl>()) {}

CaptureSession::~CaptureSession() {
    stopRunning();
    d->queue.reset();
}

void CaptureSession::beginConfiguration() {
    std::lock_guard lock(d->mutex);
    ++d->configurationDepth;
}

void CaptureSession::commitConfiguration() {
    {
        std::lock_guard lock(d->mutex);
        if (d->configurationDepth > 0)
            --d->configurationDepth;
    }
    d->changed();
}

bool CaptureSession::canAddInput(const std::shared_ptr<CaptureDeviceInput>& input) const {
    if (!input)
        return false;
    std::lock_guard lock(d->mutex);
    for (auto& in : d->inputs)
        if (in == input || in->mediaType() == input->mediaType())
            return false;
    return true;
}

void CaptureSession::addInput(const std::shared_ptr<CaptureDeviceInput>& input) {
    if (!canAddInput(input))
        return;
    {
        std::lock_guard lock(d->mutex);
        d->inputs.push_back(input);
    }
    d->changed();
}

void CaptureSession::removeInput(const std::shared_ptr<CaptureDeviceInput>& input) {
    {
        std::lock_guard lock(d->mutex);
        std::erase(d->inputs, input);
    }
    d->changed();
}

std::vector<std::shared_ptr<CaptureDeviceInput>> CaptureSession::inputs() const {
    std::lock_guard lock(d->mutex);
    return d->inputs;
}

bool CaptureSession::canAddOutput(const std::shared_ptr<CaptureOutput>& output) const {
    if (!output)
        return false;
    std::lock_guard lock(d->mutex);
    return std::find(d->outputs.begin(), d->outputs.end(), output) == d->outputs.end();
}

void CaptureSession::addOutput(const std::shared_ptr<CaptureOutput>& output) {
    if (!canAddOutput(output))
        return;
    {
        std::lock_guard lock(d->mutex);
        d->outputs.push_back(output);
    }
    d->changed();
}

void CaptureSession::removeOutput(const std::shared_ptr<CaptureOutput>& output) {
    {
        std::lock_guard lock(d->mutex);
        std::erase(d->outputs, output);
    }
    d->changed();
}

std::vector<std::shared_ptr<CaptureOutput>> CaptureSession::outputs() const {
    std::lock_guard lock(d->mutex);
    return d->outputs;
}

void CaptureSession::startRunning() {
    {
        std::lock_guard lock(d->mutex);
        d->running = true;
    }
    d->queue->sync([impl = d.get()] { impl->apply(); });
}

void CaptureSession::stopRunning() {
    {
        std::lock_guard lock(d->mutex);
        d->running = false;
    }
    if (d->queue)
        d->queue->sync([impl = d.get()] { impl->apply(); });
}

bool CaptureSession::isRunning() const {
    std::lock_guard lock(d->mutex);
    return d->running;
}

std::optional<std::string> CaptureSession::lastInputError() const {
    std::lock_guard lock(d->mutex);
    return d->lastError;
}

} // namespace qrn::media
