#include "platform/media/export_session.h"

#include "platform/foundation/main_queue.h"
#include "platform/imaging/worker_pool.h"
#include "platform/media/av.h"
#include "platform/media/movie_composer.h"
#include "platform/media/movie_writer.h"

#include <QDir>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace qrn::media {

Size fitExportSize(Size size, Size bounds) {
    double scale = std::min({1.0, bounds.width / size.width, bounds.height / size.height});
    auto even = [](double v) { return std::max(2.0, 2 * std::floor(v / 2 + 0.25)); };
    return {even(size.width * scale), even(size.height * scale)};
}

MovieEncoding movieEncoding() {
    // The movie is made while the presenter speaks, beside the recording, the studio and the
    // autocue: the encoder's quickest search, with the two tools that cost little and matter
    // most kept on (arithmetic coding for the size, the deblocking filter at its usual strength
    // for the look). At this crf it comes out closer to the composed pictures than the slower
    // presets at 23 and no larger, for a third of the encoder's work.
    return {"ultrafast", "cabac=1:deblock=0,0", 31};
}

namespace {

int usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// Work nobody waits for yet gives way: a batch thread never pre-empts another when it wakes, so
// the recording, the camera and the autocue keep their moments; threads started from here (the
// decoder's and the encoder's own) inherit it. Not the idle class: an ordinary user may never leave that
// again (nor lower a nice value), so the work the presenter then waits for would be starved by any busy
// program.
void giveWay() {
    sched_param none{};
    (void)sched_setscheduler(0, SCHED_BATCH, &none);
}

// Batch threads still take their share of a core from a thread of the usual priority, the main
// thread's included. So while the export gives way, at most one fewer of its threads than there
// are cores does work at once (the compose workers' and the encoder's turns; decoding is light): a
// picture of the studio or a line of the autocue that falls due always finds a core the movie's
// work does not hold, whichever core another program keeps busy. Once the presenter waits for
// the movie, all work at once.
class WorkGate {
  public:
    // Closed to all but `turns` at once; open when `turns` is 0.
    void limitTo(int turns) {
        std::lock_guard lock(mutex_);
        free_ = turns_ = turns;
        open_ = turns <= 0;
    }
    // Whether worker `index` of several alike may work now: while closed, no more of them than
    // there are turns, so that the others hold no frame or picture of their own meanwhile.
    bool admits(int index) {
        std::lock_guard lock(mutex_);
        return open_ || index < turns_;
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    class Turn {
      public:
        explicit Turn(WorkGate& gate) : gate_(gate) {
            std::unique_lock lock(gate.mutex_);
            gate.cv_.wait(lock, [&] { return gate.open_ || gate.free_ > 0; });
            took_ = !gate.open_;
            if (took_)
                --gate.free_;
        }
        ~Turn() {
            if (!took_)
                return;
            {
                std::lock_guard lock(gate_.mutex_);
                ++gate_.free_;
            }
            gate_.cv_.notify_one();
        }
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

      private:
        WorkGate& gate_;
        bool took_ = false;
    };

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int free_ = 0, turns_ = 0;
    bool open_ = true;
};

// Qt's painting splits large fills and scalings over its shared thread pool, on whatever thread
// paints, the main thread's included, which waits for its parts. A pool thread started by a
// thread that gave way would give way too, and hold up the windows' painting behind any other
// program's work. So the pool's threads are started from the main thread before the export gives
// way, and kept; any started later ask for the usual priority (where the system allows it).
void startSharedPoolAtNormalPriority() {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setThreadPriority(QThread::NormalPriority);
    pool->setExpiryTimeout(-1);
    // Each task holds its thread until all have one (or a moment has passed), so every one of
    // them is a thread of its own.
    struct Gathering {
        std::mutex mutex;
        std::condition_variable all;
        int arrived = 0;
    };
    auto gathering = std::make_shared<Gathering>();
    const int threads = pool->maxThreadCount();
    for (int i = 0; i < threads; ++i)
        pool->start([gathering, threads] {
            std::unique_lock lock(gathering->mutex);
            if (++gathering->arrived == threads)
                gathering->all.notify_all();
            gathering->all.wait_for(lock, std::chrono::milliseconds(100),
                                    [&] { return gathering->arrived >= threads; });
        });
}

// Once the presenter waits for it, every thread that gave way takes the usual share again, and all
// work at once; any user may move a thread from batch back to usual. Besides the movie's, that is
// the recording's writer, whose last pictures the presenter now waits for as well, and the
// studio's picture worker, which asks to give way again before each picture it draws.
void stopGivingWay(WorkGate& gate) {
    gate.open();
    QDir tasks("/proc/self/task");
    for (const QString& name : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const pid_t tid = pid_t(name.toInt());
        if (tid > 0 && sched_getscheduler(tid) == SCHED_BATCH) {
            sched_param none{};
            (void)sched_setscheduler(tid, SCHED_OTHER, &none);
        }
    }
}

} // namespace

struct ExportSession::Impl : std::enable_shared_from_this<ExportSession::Impl> {
    std::shared_ptr<const Composition> composition;
    std::string outputPath;
    std::shared_ptr<VideoComposition> videoComposition;
    MovieEncoding encoding = movieEncoding();
    Size bounds{1920, 1080};

    mutable std::mutex mutex;
    ExportStatus status = ExportStatus::Waiting;
    std::optional<std::string> error;
    std::atomic<double> progress{0};
    std::atomic<bool> cancelled{false};
    std::atomic<int> framesWritten{0};
    std::thread thread;

    // Following a recording as it is written (null otherwise). Under `mutex`: how far the
    // pictures' layers are known, the composition to compose with from now on (and how many
    // times it changed), and whether the recording has ended and its whole composition is set.
    std::shared_ptr<GrowingFile> recording;
    double knownUntil = 0;
    int generation = 0;
    bool finishing = false;
    std::optional<bool> recordingHasAudio;
    WorkGate gate; // closed to all but one fewer than the cores while following

    VideoComposition effectiveComposition() const {
        return videoComposition ? *videoComposition : VideoComposition::forComposition(*composition);
    }

    struct FollowState {
        bool finishing = false;
        double knownUntil = 0;
        int generation = 0;
        std::shared_ptr<VideoComposition> videoComposition;
        std::shared_ptr<const Composition> composition;
    };
    FollowState followState() const {
        std::lock_guard lock(mutex);
        return {finishing, knownUntil, generation, videoComposition, composition};
    }

    // Each thread of an export that follows a recording; one started after the end is known
    // keeps the usual share.
    void giveWayUntilWaitedFor() const {
        std::lock_guard lock(mutex);
        if (recording && !finishing && !cancelled)
            giveWay();
    }

    static int frameCount(double duration, double frameDuration) {
        return std::max(1, int(std::ceil(duration / frameDuration - 1e-6)));
    }

    Status run() {
        const bool follow = recording != nullptr;
        if (follow ? !videoComposition : !composition)
            return Status::failure("The composition has no video to export");
        auto* videoTrack = follow ? nullptr : composition->firstTrack(MediaType::Video);
        if (!follow && (!videoTrack || videoTrack->isEmpty()))
            return Status::failure("The composition has no video to export");
        const FollowState initial = followState();
        const VideoComposition vc = follow ? *initial.videoComposition : effectiveComposition();
        if (vc.renderSize.width < 2 || vc.renderSize.height < 2 || vc.frameDuration <= 0)
            return Status::failure("The video composition has no usable size or frame duration");
        giveWayUntilWaitedFor();
        // Nothing the export does goes on the shared pool the windows paint with (see the composers).
        const imaging::WorkerPool::RunHere here;
        Size out = fitExportSize(vc.renderSize, bounds);
        // Known from the start unless following a recording, when it comes with its end.
        int total = follow ? -1 : frameCount(composition->duration(), vc.frameDuration);
        auto* audioTrack = follow ? nullptr : composition->firstTrack(MediaType::Audio);
        bool hasAudio = audioTrack && !audioTrack->isEmpty();
        std::unique_ptr<AudioTrackReader> recordedSound;
        if (follow) {
            // Waits for the recording's first fragment; a recording without sound fails here.
            auto sound = AudioTrackReader::open(recording);
            if (recording->state() == GrowingFile::State::Abandoned)
                return Status::failure("Cancelled");
            hasAudio = bool(sound);
            if (sound) {
                recordedSound = std::move(sound).value();
                (void)recordedSound->seek(0);
            }
            std::lock_guard lock(mutex);
            recordingHasAudio = hasAudio;
        }

        MovieWriterSettings settings;
        settings.width = int(out.width);
        settings.height = int(out.height);
        double fps = 1.0 / vc.frameDuration;
        if (std::abs(fps - std::round(fps)) < 1e-6) {
            settings.frameRateNum = int(std::round(fps));
            settings.frameRateDen = 1;
        } else {
            settings.frameRateNum = int(std::round(fps * 1001));
            settings.frameRateDen = 1001;
        }
        settings.hasAudio = hasAudio;
        settings.preset = encoding.preset;
        settings.x264Options = encoding.options;
        settings.crf = encoding.crf;
        settings.fragmented = false;
        // Encoded on the writing thread alone: made during the take it keeps to its turns, and
        // the movie comes out the same whether it was made then or after the stop (the encoder's
        // choices depend on its threads). The compose workers have the other cores.
        settings.threads = 1;
        // The quick settings plan by no pictures ahead; a slower preset asked for plans by half a
        // second's worth at 30 fps, five fewer 1080p pictures held than its own ten.
        if (settings.preset != "ultrafast")
            settings.lookahead = 5;
        auto created = MovieWriter::create(outputPath, settings);
        if (!created)
            return created.status();
        auto writer = std::move(created).value();

        // Decode -> compose (several workers) -> encode (this thread), with bounded queues.
        int cores = usableCores();
        const int workersWanted = std::max(1, std::min(cores, 8));
        // A recording followed while it is written gets a newer composition whenever its layers
        // are known further; every frame is composed with the one current when it was decoded.
        auto composer = std::make_shared<Composer>(vc, out, workersWanted);
        int composerGeneration = initial.generation;
        // A tree that cannot be drawn on several workers at once is drawn by one; while following,
        // a later tree may allow it, so every worker is there from the start.
        int workers = follow ? workersWanted : composer->workers();
        // Frames in flight: one being encoded, one ready after it, and one for each worker; more
        // would only wait, each holding its source and its movie picture.
        const int window = workers + 2;

        std::mutex m;
        std::condition_variable cv;
        std::deque<std::pair<SourceFrame, std::shared_ptr<Composer>>> decoded;
        // (repeat the previous frame, picture in the movie's own format)
        std::map<int, std::pair<bool, av::SharedFrame>> composed;
        int nextToWrite = 0;
        int decodedCount = 0;
        bool decodeDone = false;
        std::optional<std::string> pipelineError;
        auto stopping = [&] { return cancelled.load() || pipelineError.has_value(); };
        // A cancel sets a flag without a notification: wait in short slices.
        auto waitFor = [&](std::unique_lock<std::mutex>& lock, const auto& ready) {
            while (!ready())
                cv.wait_for(lock, std::chrono::milliseconds(20));
        };
        std::thread decoder([&] {
            giveWayUntilWaitedFor();
            const imaging::WorkerPool::RunHere here;
            std::map<std::string, std::unique_ptr<VideoTrackReader>> readers;
            std::unique_ptr<VideoTrackReader> recordedPictures;
            std::shared_ptr<const AVFrame> previous;
            auto fail = [&](const std::string& message) {
                std::lock_guard lock(m);
                pipelineError = message;
                cv.notify_all();
            };
            for (int k = 0;; ++k) {
                double t = k * vc.frameDuration;
                FollowState state;
                if (follow) {
                    // The layers at t are known once the take has passed it.
                    std::unique_lock lock(m);
                    bool abandoned = false;
                    waitFor(lock, [&] {
                        state = followState();
                        abandoned = recording->state() == GrowingFile::State::Abandoned;
                        return stopping() || abandoned || state.finishing || t < state.knownUntil;
                    });
                    if (stopping())
                        break;
                    if (abandoned && !state.finishing) {
                        pipelineError = "The recording was given up";
                        cv.notify_all();
                        break;
                    }
                    if (state.finishing)
                        total = frameCount(state.composition->duration(), vc.frameDuration);
                    if (state.generation != composerGeneration) {
                        composer = std::make_shared<Composer>(*state.videoComposition, out, workersWanted);
                        composerGeneration = state.generation;
                    }
                }
                if (k >= total && (!follow || state.finishing))
                    break;
                SourceFrame f{k, t, nullptr};
                if (follow) {
                    const auto* track =
                        state.finishing ? state.composition->firstTrack(MediaType::Video) : nullptr;
                    const bool onTrack = !track || t < track->segments().front().source.duration;
                    if (onTrack && !recordedPictures) {
                        auto r = VideoTrackReader::open(recording);
                        if (!r) {
                            fail(r.error());
                            return;
                        }
                        recordedPictures = std::move(r).value();
                    }
                    if (onTrack) {
                        auto frame = recordedPictures->frameAt(t);
                        if (frame)
                            f.frame = frame->frame;
                        else if (recording->state() == GrowingFile::State::Abandoned)
                            break;
                    }
                } else {
                    for (auto& seg : videoTrack->segments()) {
                        if (t < seg.at || t >= seg.at + seg.source.duration)
                            continue;
                        auto& reader = readers[seg.sourcePath];
                        if (!reader) {
                            auto r = VideoTrackReader::open(seg.sourcePath);
                            if (!r) {
                                fail(r.error());
                                return;
                            }
                            reader = std::move(r).value();
                        }
                        auto frame = reader->frameAt(seg.source.start + (t - seg.at));
                        if (frame)
                            f.frame = frame->frame;
                        break;
                    }
                }
                f.repeat = k > 0 && f.frame == previous && composer->looksTheSame(t - vc.frameDuration, t);
                previous = f.frame;
                std::unique_lock lock(m);
                waitFor(lock, [&] { return stopping() || k - nextToWrite < window; });
                if (stopping())
                    break;
                decoded.emplace_back(std::move(f), composer);
                decodedCount = k + 1;
                cv.notify_all();
            }
            std::lock_guard lock(m);
            decodeDone = true;
            cv.notify_all();
        });

        std::vector<std::thread> composers;
        // The movie's pictures come from one pool, so the encoder reads memory it has read before.
        av::FramePool pictures(AV_PIX_FMT_YUV420P, settings.width, settings.height);
        for (int w = 0; w < workers; ++w) {
            composers.emplace_back([&, w] {
                giveWayUntilWaitedFor();
                Composer::Scratch scratch;
                SwsContext* toMovie = nullptr;
                while (true) {
                    SourceFrame f;
                    std::shared_ptr<Composer> by;
                    {
                        std::unique_lock lock(m);
                        waitFor(lock, [&] {
                            return stopping() || (decodeDone && decoded.empty()) ||
                                   (!decoded.empty() && gate.admits(w));
                        });
                        if (stopping() || decoded.empty())
                            break;
                        f = std::move(decoded.front().first);
                        by = std::move(decoded.front().second);
                        decoded.pop_front();
                    }
                    // Converted here rather than by the writer, so that the conversion runs on
                    // every worker and the encoding thread only encodes.
                    av::SharedFrame picture;
                    if (!f.repeat) {
                        // Several workers compose side by side, each frame's filters and bands
                        // on its own thread; so none of it waits in, or holds up, the pool
                        // the windows paint with. A tree only one worker may draw at a time
                        // (after the take) still spreads its frames over the pool.
                        std::optional<imaging::WorkerPool::RunHere> here;
                        if (follow || by->workers() > 1)
                            here.emplace();
                        const WorkGate::Turn turn(gate);
                        if (av::FramePtr made = pictures.get();
                            made && by->composeInto(w, f, scratch, made.get(), toMovie))
                            picture = av::share(std::move(made));
                        if (!picture) {
                            std::lock_guard lock(m);
                            if (!pipelineError)
                                pipelineError = "Cannot convert the picture";
                            cv.notify_all();
                            break;
                        }
                    }
                    std::lock_guard lock(m);
                    composed.emplace(f.index, std::make_pair(f.repeat, std::move(picture)));
                    cv.notify_all();
                }
                sws_freeContext(toMovie);
            });
        }

        AudioFeeder audio = follow ? AudioFeeder(std::move(recordedSound), *writer)
                                   : AudioFeeder(hasAudio ? audioTrack : nullptr, *writer);
        Status result = Status::ok();
        av::SharedFrame picture;
        bool soundEndSet = !follow;
        for (int k = 0; result; ++k) {
            bool repeat = false;
            {
                std::unique_lock lock(m);
                waitFor(lock,
                        [&] { return stopping() || composed.count(k) || (decodeDone && k >= decodedCount); });
                if (cancelled) {
                    result = Status::failure("Cancelled");
                    break;
                }
                if (pipelineError) {
                    result = Status::failure(*pipelineError);
                    break;
                }
                if (!composed.count(k))
                    break;
                auto& entry = composed[k];
                repeat = entry.first;
                if (!repeat)
                    picture = std::move(entry.second);
                composed.erase(k);
            }
            double t = k * vc.frameDuration;
            double soundUntil = t + 1.0;
            if (follow) {
                const auto state = followState();
                if (state.finishing && !soundEndSet) {
                    const auto* track = state.composition->firstTrack(MediaType::Audio);
                    audio.endAt(track && !track->isEmpty() ? track->segments().front().source.duration : 0);
                    soundEndSet = true;
                    total = frameCount(state.composition->duration(), vc.frameDuration);
                }
                // Before the end is known, sound goes no further than what surely lies before
                // it, so that nothing past the end is written.
                if (!state.finishing)
                    soundUntil = std::min(soundUntil, state.knownUntil - 0.5);
            }
            // Sound runs a little ahead of the pictures so the muxer can interleave them.
            result = audio.feedUntil(soundUntil);
            // A picture like the one before is not encoded again: that sample lasts on, so the
            // encoder spends nothing on it and never codes it as a blend of its neighbours.
            if (result && repeat) {
                result = writer->repeatVideo(t);
            } else if (result) {
                const WorkGate::Turn turn(gate);
                result = picture ? writer->appendVideo(picture.get(), t) : Status::failure("No picture");
            }
            if (result)
                ++framesWritten;
            {
                std::lock_guard lock(m);
                nextToWrite = k + 1;
                cv.notify_all();
            }
            if (total > 0)
                progress = std::min(1.0, double(k + 1) / total);
        }
        {
            std::lock_guard lock(m);
            if (!result && !pipelineError)
                pipelineError = result.error();
            cv.notify_all();
        }
        decoder.join();
        for (auto& c : composers)
            c.join();
        if (result && cancelled)
            result = Status::failure("Cancelled");
        if (result && follow && !followState().finishing)
            result = Status::failure("The recording ended before the export knew its end");
        if (result) {
            const double duration = follow ? followState().composition->duration() : composition->duration();
            result = audio.feedUntil(duration);
        }
        if (result)
            result = writer->finish();
        else
            (void)writer->finish();
        return result;
    }

    // Reads the composition's sound segment by segment and hands it to the writer in order.
    class AudioFeeder {
      public:
        AudioFeeder(const CompositionTrack* track, MovieWriter& writer) : writer_(writer) {
            if (track)
                for (const auto& seg : track->segments())
                    segments_.push_back({seg.sourcePath, seg.at, seg.source.start, seg.source.duration});
        }
        // The sound of a recording still being written, from its start; its length comes later.
        AudioFeeder(std::unique_ptr<AudioTrackReader> reader, MovieWriter& writer) : writer_(writer) {
            if (!reader)
                return;
            segments_.push_back({"", 0, 0, std::numeric_limits<double>::infinity()});
            reader_ = std::move(reader);
        }
        void endAt(double duration) {
            if (!segments_.empty())
                segments_.front().duration = duration;
        }
        Status feedUntil(double until) {
            while (fedUntil_ < until) {
                if (segment_ >= segments_.size())
                    return Status::ok();
                const auto& seg = segments_[segment_];
                if (!reader_) {
                    auto r = AudioTrackReader::open(seg.path);
                    if (!r)
                        return r.status();
                    reader_ = std::move(r).value();
                    if (auto s = reader_->seek(seg.start); !s)
                        return s;
                }
                auto chunk = reader_->next();
                if (!chunk)
                    return chunk.status();
                double segEnd = seg.start + seg.duration;
                if (!chunk.value() || chunk.value()->time >= segEnd) {
                    reader_.reset();
                    ++segment_;
                    fedUntil_ = std::max(fedUntil_, seg.at + seg.duration);
                    continue;
                }
                auto& c = *chunk.value();
                int frames = c.frameCount();
                // Until a followed recording ends, its segment has no end: the whole chunk is
                // kept (an infinite count must never reach a conversion to int).
                const double left = (segEnd - c.time) * c.sampleRate;
                const int keep = left >= frames ? frames : int(std::lround(left));
                double at = seg.at + (c.time - seg.start);
                if (keep > 0)
                    if (auto s = writer_.appendAudioSamples(c.samples.data(), keep, at); !s)
                        return s;
                fedUntil_ = at + double(keep) / c.sampleRate;
            }
            return Status::ok();
        }

      private:
        struct Segment {
            std::string path;
            double at = 0, start = 0, duration = 0;
        };
        MovieWriter& writer_;
        std::vector<Segment> segments_;
        size_t segment_ = 0;
        std::unique_ptr<AudioTrackReader> reader_;
        double fedUntil_ = 0;
    };
};

ExportSession::ExportSession() : d(std::make_shared<Impl>()) {}

std::shared_ptr<ExportSession>
ExportSession::createFollowing(std::shared_ptr<GrowingFile> recording,
                               std::shared_ptr<VideoComposition> videoComposition,
                               const std::string& presetName) {
    if (presetName != preset1920x1080 || !recording || !videoComposition)
        return nullptr;
    startSharedPoolAtNormalPriority();
    std::shared_ptr<ExportSession> s(new ExportSession());
    s->d->recording = std::move(recording);
    s->d->videoComposition = std::move(videoComposition);
    s->d->gate.limitTo(usableCores() - 1);
    return s;
}

void ExportSession::followUntil(double seconds, std::shared_ptr<VideoComposition> videoComposition) {
    std::lock_guard lock(d->mutex);
    if (!d->recording || d->finishing)
        return;
    d->knownUntil = std::max(d->knownUntil, seconds);
    if (videoComposition) {
        d->videoComposition = std::move(videoComposition);
        ++d->generation;
    }
}

bool ExportSession::finishFollowing(std::shared_ptr<const Composition> composition,
                                    std::shared_ptr<VideoComposition> videoComposition) {
    if (!d->recording || !composition || !videoComposition)
        return false;
    // Only the recording from its start, whole, composed on the same canvas and frame grid can
    // carry on from the frames already made.
    const auto fromTheStart = [&](const CompositionTrack* track) {
        if (!track || track->segments().size() != 1)
            return false;
        const auto& seg = track->segments().front();
        return seg.sourcePath == d->recording->path() && seg.at == 0 && seg.source.start == 0;
    };
    const auto* audio = composition->firstTrack(MediaType::Audio);
    const bool hasAudio = audio && !audio->isEmpty();
    std::lock_guard lock(d->mutex);
    const bool usable = d->status == ExportStatus::Exporting && !d->finishing && !d->cancelled &&
                        d->recordingHasAudio == hasAudio &&
                        fromTheStart(composition->firstTrack(MediaType::Video)) &&
                        (!hasAudio || fromTheStart(audio)) &&
                        videoComposition->renderSize == d->videoComposition->renderSize &&
                        videoComposition->frameDuration == d->videoComposition->frameDuration &&
                        d->knownUntil <= composition->duration() + 1e-9;
    if (!usable)
        return false;
    d->composition = std::move(composition);
    d->videoComposition = std::move(videoComposition);
    ++d->generation;
    d->finishing = true;
    stopGivingWay(d->gate);
    d->recording->complete();
    return true;
}

ExportSession::~ExportSession() {
    d->cancelled = true;
    if (d->recording)
        d->recording->abandon();
    if (d->thread.joinable())
        d->thread.join();
}

std::shared_ptr<ExportSession> ExportSession::create(std::shared_ptr<const Composition> composition,
                                                     const std::string& presetName) {
    if (presetName != preset1920x1080 || !composition)
        return nullptr;
    std::shared_ptr<ExportSession> s(new ExportSession());
    s->d->composition = std::move(composition);
    return s;
}

void ExportSession::setOutputPath(const std::string& path) {
    d->outputPath = path;
}
const std::string& ExportSession::outputPath() const {
    return d->outputPath;
}
void ExportSession::setOutputFileType(MovieFileType) {}
void ExportSession::setVideoComposition(std::shared_ptr<VideoComposition> composition) {
    d->videoComposition = std::move(composition);
}
void ExportSession::setEncoderPreset(const std::string& preset) {
    d->encoding = {preset, "", 23};
}

Size ExportSession::outputSize() const {
    return fitExportSize(d->effectiveComposition().renderSize, d->bounds);
}

void ExportSession::exportAsynchronously(std::function<void()> completion) {
    {
        std::lock_guard lock(d->mutex);
        if (d->status == ExportStatus::Cancelled) {
            // Cancelled before it started: still tell the caller it is over.
            if (completion)
                MainQueue::post(std::move(completion));
            return;
        }
        if (d->status != ExportStatus::Waiting)
            return;
        d->status = ExportStatus::Exporting;
    }
    auto impl = d;
    d->thread = std::thread([impl, completion = std::move(completion)] {
        Status result = impl->outputPath.empty() ? Status::failure("No output file") : impl->run();
        {
            std::lock_guard lock(impl->mutex);
            if (impl->cancelled) {
                impl->status = ExportStatus::Cancelled;
            } else if (result) {
                impl->status = ExportStatus::Completed;
                impl->progress = 1.0;
            } else {
                impl->status = ExportStatus::Failed;
                impl->error = result.error();
            }
            // A half-written movie is of no use to anyone.
            if (impl->status != ExportStatus::Completed && !impl->outputPath.empty())
                std::remove(impl->outputPath.c_str());
        }
        bool tell = true;
        {
            std::lock_guard lock(impl->mutex);
            // A recording followed to no end: its take has gone, and nobody waits.
            tell = !impl->recording || impl->finishing;
        }
        if (completion && tell)
            MainQueue::post(completion);
    });
}

void ExportSession::cancelExport() {
    std::lock_guard lock(d->mutex);
    d->cancelled = true;
    if (d->recording) {
        d->recording->abandon();
        // Its threads end sooner for being let in.
        if (!d->finishing)
            stopGivingWay(d->gate);
    }
    if (d->status == ExportStatus::Waiting)
        d->status = ExportStatus::Cancelled;
}

ExportStatus ExportSession::status() const {
    std::lock_guard lock(d->mutex);
    return d->status;
}

std::optional<std::string> ExportSession::error() const {
    std::lock_guard lock(d->mutex);
    return d->error;
}

double ExportSession::progress() const {
    return d->progress;
}

int ExportSession::framesWritten() const {
    return d->framesWritten;
}

} // namespace qrn::media
