#include "platform/media/player.h"

#include "platform/foundation/main_queue.h"
#include "platform/media/audio_output.h"
#include "platform/media/capture_session.h"
#include "platform/media/movie_reader.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

namespace qrn::media {

struct Player::Impl : std::enable_shared_from_this<Player::Impl> {
    std::string path;
    Status status;
    MovieInfo info;

    mutable std::mutex mutex;
    std::condition_variable cv;
    // The clock: media time `anchorMedia` at clock time `anchorClock`, moving at `rate`.
    double anchorMedia = 0, anchorClock = 0, rate = 0;
    bool muted = false;
    bool quit = false;
    int generation = 0;      // moves on at every seek and rate change
    bool seekPending = true; // show the first picture before playing
    bool endReported = false;

    std::function<void(const QImage&, double)> frameHandler;
    std::function<void()> endHandler;
    std::mutex frameMutex;
    std::optional<std::pair<QImage, double>> nextFrame; // waiting for the main thread
    std::atomic<bool> audioOutput{false};
    std::atomic<std::uint64_t> pictureSize{0}; // width in the high half, height in the low

    std::thread videoThread, audioThread;

    double nowLocked() const {
        double t = anchorMedia + (captureClock() - anchorClock) * rate;
        return std::clamp(t, 0.0, info.duration);
    }
    void reanchor(double media, double newRate) {
        anchorMedia = media;
        anchorClock = captureClock();
        rate = newRate;
        ++generation;
    }

    // The newest picture waits here for the main thread; one that comes while another waits
    // takes its place, so the picture shown last is always the newest (after a seek, say).
    void postFrame(QImage image, double time) {
        {
            std::lock_guard lock(frameMutex);
            bool posted = nextFrame.has_value();
            nextFrame = std::make_pair(std::move(image), time);
            if (posted)
                return; // the block on its way shows this one instead
        }
        std::weak_ptr<Impl> weak = weak_from_this();
        MainQueue::post([weak] {
            auto self = weak.lock();
            if (!self)
                return;
            std::optional<std::pair<QImage, double>> frame;
            {
                std::lock_guard lock(self->frameMutex);
                frame.swap(self->nextFrame);
            }
            std::function<void(const QImage&, double)> handler;
            {
                std::lock_guard lock(self->mutex);
                handler = self->frameHandler;
            }
            if (handler && frame)
                handler(frame->first, frame->second);
        });
    }

    // The next picture, at the size it is shown at when that is smaller than the movie's own.
    QImage picture(VideoTrackReader& reader, const DecodedFrame& frame) const {
        const std::uint64_t size = pictureSize;
        const int w = int(size >> 32), h = int(size & 0xffffffff);
        const Size own = reader.naturalSize();
        if (w > 0 && h > 0 && w < own.width && h < own.height)
            return reader.image(frame, w, h);
        return reader.image(frame);
    }

    void reportEnd() {
        std::weak_ptr<Impl> weak = weak_from_this();
        MainQueue::post([weak] {
            auto self = weak.lock();
            if (!self)
                return;
            std::function<void()> handler;
            {
                std::lock_guard lock(self->mutex);
                handler = self->endHandler;
            }
            if (handler)
                handler();
        });
    }

    // Stops the clock at the end; true when it just got there.
    bool checkEndLocked() {
        if (rate > 0 && nowLocked() >= info.duration && !endReported) {
            reanchor(info.duration, 0);
            endReported = true;
            return true;
        }
        return false;
    }

    void runVideo() {
        std::unique_ptr<VideoTrackReader> reader;
        if (info.hasVideo()) {
            auto r = VideoTrackReader::open(path);
            if (r)
                reader = std::move(r).value();
        }
        std::optional<DecodedFrame> upcoming;
        double shownTime = -1;
        std::unique_lock lock(mutex);
        while (!quit) {
            if (seekPending && reader) {
                seekPending = false;
                double target = nowLocked();
                lock.unlock();
                auto f = reader->frameAt(target);
                upcoming.reset();
                if (f) {
                    postFrame(picture(*reader, f.value()), f->time);
                    shownTime = f->time;
                }
                lock.lock();
                continue;
            }
            seekPending = false;
            bool ended = checkEndLocked();
            if (ended) {
                // A busy machine may have skipped the last pictures on the way: the one at the
                // end is what stays on show.
                double frame = reader && reader->frameRate() > 0 ? 1.0 / reader->frameRate() : 0;
                if (reader && shownTime + 1.5 * frame < info.duration)
                    seekPending = true;
                lock.unlock();
                reportEnd();
                lock.lock();
                continue;
            }
            if (rate <= 0 || !reader) {
                cv.wait_for(lock, std::chrono::milliseconds(rate > 0 ? 10 : 200));
                continue;
            }
            double now = nowLocked();
            int gen = generation;
            lock.unlock();
            // Take the newest frame that is due; frames the clock has passed are skipped.
            std::optional<DecodedFrame> due;
            bool atEnd = false;
            while (true) {
                if (!upcoming) {
                    auto f = reader->next();
                    if (!f || !f.value()) {
                        atEnd = true;
                        break;
                    }
                    upcoming = std::move(f).value();
                }
                if (upcoming->time > now)
                    break;
                due = std::move(upcoming);
                upcoming.reset();
            }
            if (due && due->time > shownTime) {
                postFrame(picture(*reader, *due), due->time);
                shownTime = due->time;
            }
            lock.lock();
            if (gen != generation)
                continue;
            double wait = 0.01;
            if (upcoming && rate > 0)
                wait = std::clamp((upcoming->time - nowLocked()) / rate, 0.0, 0.05);
            else if (atEnd)
                wait = 0.01;
            cv.wait_for(lock, std::chrono::duration<double>(wait));
        }
    }

    void runAudio() {
        std::unique_ptr<AudioTrackReader> reader;
        if (info.hasAudio()) {
            auto r = AudioTrackReader::open(path, 48000, 2);
            if (r)
                reader = std::move(r).value();
        }
        std::unique_ptr<AudioSink> sink = reader ? openAudioSink(48000, 2) : nullptr;
        audioOutput = sink != nullptr;
        if (!sink)
            return; // silent playback: the clock runs on its own
        int playingGeneration = -1;
        bool exhausted = false;
        std::unique_lock lock(mutex);
        while (!quit) {
            bool audible = rate == 1.0 && !muted;
            if (!audible) {
                if (playingGeneration != -1) {
                    playingGeneration = -1;
                    lock.unlock();
                    sink->flush();
                    lock.lock();
                }
                cv.wait_for(lock, std::chrono::milliseconds(100));
                continue;
            }
            if (playingGeneration != generation) {
                playingGeneration = generation;
                double from = nowLocked();
                lock.unlock();
                sink->flush();
                // What is written now is heard only after the output's latency: start that far
                // ahead so sound and picture meet.
                exhausted = !reader->seek(from + sink->latency());
                lock.lock();
                continue;
            }
            if (exhausted) {
                cv.wait_for(lock, std::chrono::milliseconds(50));
                continue;
            }
            lock.unlock();
            auto chunk = reader->next();
            if (!chunk || !chunk.value()) {
                exhausted = true;
            } else if (!sink->write(chunk.value()->samples.data(), chunk.value()->frameCount())) {
                exhausted = true; // the server went away: carry on silently
            }
            lock.lock();
        }
    }
};

Player::Player() : d(std::make_shared<Impl>()) {}

Player::~Player() {
    {
        std::lock_guard lock(d->mutex);
        d->quit = true;
    }
    d->cv.notify_all();
    if (d->videoThread.joinable())
        d->videoThread.join();
    if (d->audioThread.joinable())
        d->audioThread.join();
}

std::shared_ptr<Player> Player::create(const std::string& path) {
    std::shared_ptr<Player> p(new Player());
    p->d->path = path;
    auto info = loadMovieInfo(path);
    if (!info) {
        p->d->status = info.status();
        return p;
    }
    p->d->info = std::move(info).value();
    if (!p->d->info.hasVideo() && !p->d->info.hasAudio()) {
        p->d->status = Status::failure("Nothing to play in " + path);
        return p;
    }
    p->d->videoThread = std::thread([impl = p->d.get()] { impl->runVideo(); });
    p->d->audioThread = std::thread([impl = p->d.get()] { impl->runAudio(); });
    return p;
}

void Player::setPictureSize(int width, int height) {
    width = std::max(0, width), height = std::max(0, height);
    const std::uint64_t before = d->pictureSize;
    // A pixel either way is rounding, from the picture's own shape.
    if (std::abs(width - int(before >> 32)) <= 1 && std::abs(height - int(before & 0xffffffff)) <= 1)
        return;
    d->pictureSize = std::uint64_t(width) << 32 | std::uint64_t(height);
    {
        // Paused, the picture on show comes again at the new size.
        std::lock_guard lock(d->mutex);
        if (d->rate > 0)
            return;
        d->seekPending = true;
    }
    d->cv.notify_all();
}

Status Player::status() const {
    return d->status;
}
const std::string& Player::path() const {
    return d->path;
}
Size Player::naturalSize() const {
    return d->info.naturalSize;
}
double Player::duration() const {
    return d->info.duration;
}

void Player::play() {
    setRate(1.0);
}
void Player::pause() {
    setRate(0.0);
}

void Player::setRate(double rate) {
    {
        std::lock_guard lock(d->mutex);
        double now = d->nowLocked();
        rate = std::max(0.0, rate);
        // Playing from the end starts again from the beginning.
        if (rate > 0 && now >= d->info.duration)
            now = 0, d->seekPending = true;
        if (rate > 0)
            d->endReported = false;
        d->reanchor(now, rate);
    }
    d->cv.notify_all();
}

double Player::rate() const {
    std::lock_guard lock(d->mutex);
    return d->rate;
}

void Player::seek(double time) {
    {
        std::lock_guard lock(d->mutex);
        d->reanchor(std::clamp(time, 0.0, d->info.duration), d->rate);
        d->seekPending = true;
        d->endReported = false;
    }
    d->cv.notify_all();
}

double Player::currentTime() const {
    std::lock_guard lock(d->mutex);
    return d->nowLocked();
}

void Player::setMuted(bool muted) {
    {
        std::lock_guard lock(d->mutex);
        d->muted = muted;
    }
    d->cv.notify_all();
}

bool Player::isMuted() const {
    std::lock_guard lock(d->mutex);
    return d->muted;
}

bool Player::hasAudioOutput() const {
    return d->audioOutput;
}

void Player::setFrameHandler(std::function<void(const QImage&, double)> handler) {
    std::lock_guard lock(d->mutex);
    d->frameHandler = std::move(handler);
}

void Player::setEndOfMediaHandler(std::function<void()> handler) {
    std::lock_guard lock(d->mutex);
    d->endHandler = std::move(handler);
}

} // namespace qrn::media
