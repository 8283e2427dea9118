#include <gtest/gtest.h>

#include "media_test_support.h"
#include "platform/media/av.h"
#include "platform/media/movie_reader.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qrn;
using namespace qrn::media;
using namespace qrn::media::testing;

namespace {
std::vector<std::string> names(MediaType type) {
    std::vector<std::string> out;
    for (auto& d : CaptureDevices::devices(type))
        out.push_back(d.localizedName);
    return out;
}
} // namespace

TEST(CaptureDevices, TestDevicesAreListedFirstOnlyWhenAskedFor) {
    useTestDevices(false);
    for (auto& n : names(MediaType::Video))
        EXPECT_NE(n, "Test Camera");
    for (auto& n : names(MediaType::Audio))
        EXPECT_NE(n, "Test Microphone");

    useTestDevices(true);
    auto cameras = names(MediaType::Video);
    auto microphones = names(MediaType::Audio);
    ASSERT_FALSE(cameras.empty());
    ASSERT_FALSE(microphones.empty());
    EXPECT_EQ(cameras.front(), "Test Camera");
    EXPECT_EQ(microphones.front(), "Test Microphone");
    EXPECT_EQ(std::count(cameras.begin(), cameras.end(), "Test Camera"), 1);
    EXPECT_TRUE(CaptureDevices::deviceNamed(MediaType::Video, "Test Camera"));
    EXPECT_FALSE(CaptureDevices::deviceNamed(MediaType::Video, "Unplugged Camera"));
}

// The test camera's size comes from the environment; sizes out of reason keep the default.
TEST(CaptureDevices, TestCameraSizeFollowsTheEnvironment) {
    useTestDevices(true);
    auto urlWith = [](const char* size) {
        if (size)
            qputenv("QRN_TEST_CAMERA_SIZE", size);
        else
            qunsetenv("QRN_TEST_CAMERA_SIZE");
        return CaptureDevices::deviceNamed(MediaType::Video, "Test Camera")->url;
    };
    EXPECT_NE(urlWith(nullptr).find("size=1280x720:"), std::string::npos);
    EXPECT_NE(urlWith("1920x1080").find("size=1920x1080:"), std::string::npos);
    EXPECT_NE(urlWith("641x479").find("size=640x478:"), std::string::npos);
    for (const char* bad : {"", "1920", "1920x1080x3", "0x0", "99999x1080", "-640x480", "wide"})
        EXPECT_NE(urlWith(bad).find("size=1280x720:"), std::string::npos) << bad;
    qunsetenv("QRN_TEST_CAMERA_SIZE");
}

TEST(CaptureAccess, AnswersReachTheMainQueueAndSettleTheStatus) {
    CaptureAccess::scriptStatus(MediaType::Audio, AccessStatus::NotDetermined);
    CaptureAccess::scriptRequestAnswer(MediaType::Audio, false);
    CaptureAccess::scriptStatus(MediaType::Video, AccessStatus::NotDetermined);
    CaptureAccess::scriptRequestAnswer(MediaType::Video, true);
    EXPECT_EQ(CaptureAccess::status(MediaType::Audio), AccessStatus::NotDetermined);

    std::vector<std::pair<std::string, bool>> answers;
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMain = true;
    CaptureAccess::requestAccess(MediaType::Audio, [&](bool granted) {
        onMain = onMain && std::this_thread::get_id() == mainThread;
        answers.push_back({"audio", granted});
    });
    CaptureAccess::requestAccess(MediaType::Video, [&](bool granted) {
        onMain = onMain && std::this_thread::get_id() == mainThread;
        answers.push_back({"video", granted});
    });
    EXPECT_TRUE(answers.empty()); // never answered inside the call
    ASSERT_TRUE(MainQueue::runUntil([&] { return answers.size() == 2; }, 5));
    EXPECT_TRUE(onMain);
    std::sort(answers.begin(), answers.end());
    EXPECT_EQ(answers[0], (std::pair<std::string, bool>{"audio", false}));
    EXPECT_EQ(answers[1], (std::pair<std::string, bool>{"video", true}));
    EXPECT_EQ(CaptureAccess::status(MediaType::Audio), AccessStatus::Denied);
    EXPECT_EQ(CaptureAccess::status(MediaType::Video), AccessStatus::Authorized);
    EXPECT_EQ(CaptureAccess::requestCount(MediaType::Audio), 1);

    // Unscripted, on a machine whose devices open (or that has none), access is granted.
    CaptureAccess::resetForTesting();
    EXPECT_EQ(CaptureAccess::status(MediaType::Video), AccessStatus::Authorized);
}

TEST(CaptureSession, OneInputPerMediaTypeAndReconfigurationWhileRunning) {
    useTestDevices();
    CaptureSession session;
    auto camera =
        CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Video, "Test Camera")).value();
    auto again =
        CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Video, "Test Camera")).value();
    auto preview = std::make_shared<VideoPreviewOutput>();
    int frames = 0;
    QSize size;
    preview->setFrameHandler([&](const QImage& image) {
        ++frames;
        size = image.size();
        EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    });
    EXPECT_TRUE(session.canAddInput(camera));
    session.addInput(camera);
    EXPECT_FALSE(session.canAddInput(camera));
    EXPECT_FALSE(session.canAddInput(again));
    session.addOutput(preview);
    EXPECT_FALSE(session.canAddOutput(preview));
    session.startRunning();
    ASSERT_TRUE(MainQueue::runUntil([&] { return frames >= 3; }, 10));
    EXPECT_EQ(size, QSize(1280, 720));

    // Swapping the camera inside one configuration keeps the session running.
    session.beginConfiguration();
    session.removeInput(camera);
    session.addInput(again);
    EXPECT_EQ(session.inputs().size(), 1u);
    session.commitConfiguration();
    EXPECT_TRUE(session.isRunning());
    int before = frames;
    ASSERT_TRUE(MainQueue::runUntil([&] { return frames >= before + 3; }, 10));

    session.stopRunning();
    EXPECT_FALSE(session.isRunning());
    MainQueue::runPending();
    int stopped = frames;
    pumpFor(0.3);
    EXPECT_LE(frames, stopped + 1); // at most one frame that was already on its way
}

TEST(VideoPreviewOutput, DropsFramesWhileTheMainThreadIsBusy) {
    useTestDevices();
    CaptureSession session;
    session.addInput(
        CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Video, "Test Camera")).value());
    auto preview = std::make_shared<VideoPreviewOutput>();
    std::vector<QImage> shown;
    preview->setFrameHandler([&](const QImage& image) { shown.push_back(image); });
    session.addOutput(preview);
    session.startRunning();
    // The main thread does not pump while the camera delivers several frames: they are dropped,
    // not queued.
    double deadline = captureClock() + 20;
    while (preview->framesDropped() < 5 && captureClock() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(preview->framesDropped(), 5);
    EXPECT_LE(MainQueue::runPending(), 1);
    EXPECT_LE(shown.size(), 1u);
    // Consecutive frames differ: the picture moves.
    ASSERT_TRUE(MainQueue::runUntil([&] { return shown.size() >= 3; }, 10));
    EXPECT_NE(shown[1], shown[2]);
    session.stopRunning();
}

TEST(VideoPreviewOutput, APictureOnItsWayIsNotShownToAReplacedHandler) {
    useTestDevices();
    CaptureSession session;
    session.addInput(
        CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Video, "Test Camera")).value());
    auto preview = std::make_shared<VideoPreviewOutput>();
    int first = 0, second = 0;
    preview->setFrameHandler([&](const QImage&) { ++first; });
    session.addOutput(preview);
    session.startRunning();
    // A drop means a picture waits on the main queue for the first handler.
    double deadline = captureClock() + 20;
    while (preview->framesDropped() < 1 && captureClock() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(preview->framesDropped(), 1);
    preview->setFrameHandler([&](const QImage&) { ++second; });
    MainQueue::runPending();
    EXPECT_EQ(first, 0);
    ASSERT_TRUE(MainQueue::runUntil([&] { return second >= 2; }, 10));
    EXPECT_EQ(first, 0);
    session.stopRunning();
}

namespace {
// The frame times of the movie's pictures, in order.
std::vector<double> frameTimes(const std::string& path) {
    std::vector<double> times;
    auto reader = VideoTrackReader::open(path);
    EXPECT_TRUE(reader);
    if (!reader)
        return times;
    while (true) {
        auto f = reader.value()->next();
        EXPECT_TRUE(f);
        if (!f || !f.value())
            break;
        times.push_back(f.value()->time);
    }
    return times;
}

// The mean loudness of the left channel between two times.
double loudness(const std::string& path, double from, double to) {
    auto audio = AudioTrackReader::open(path);
    EXPECT_TRUE(audio);
    if (!audio || !audio.value()->seek(from))
        return -1;
    double sum = 0;
    int64_t count = 0;
    while (auto chunk = audio.value()->next().value()) {
        for (int i = 0; i < chunk->frameCount() && chunk->time + double(i) / chunk->sampleRate < to;
             ++i, ++count)
            sum += std::abs(chunk->samples[size_t(i) * 2]);
        if (chunk->time + double(chunk->frameCount()) / chunk->sampleRate >= to)
            break;
    }
    return count ? sum / double(count) : -1;
}
} // namespace

TEST(MovieFileOutput, RecordsTwoSecondsWithCallbacksInOrder) {
    QTemporaryDir dir;
    std::string path = dir.filePath("take.mov").toStdString();
    TestSession t;
    auto delegate = std::make_shared<DelegateLog>();
    EXPECT_FALSE(t.movie->isRecording());
    // The movie's first picture is captured after the request and before the start is told.
    double requested = captureClock();
    t.movie->startRecording(path, delegate);
    EXPECT_TRUE(t.movie->isRecording());
    ASSERT_TRUE(MainQueue::runUntil([&] { return !delegate->events.empty(); }, 30));
    double started = captureClock();
    EXPECT_EQ(delegate->events, std::vector<std::string>{"start"});
    // The start carries the first picture's capture time: the movie's time zero.
    ASSERT_TRUE(delegate->firstPictureTime);
    EXPECT_GE(*delegate->firstPictureTime, requested - 1.0 / 30);
    EXPECT_LE(*delegate->firstPictureTime, started);
    pumpFor(2.0);
    double stopping = captureClock();
    t.movie->stopRecording();
    double stopped = captureClock();
    EXPECT_FALSE(t.movie->isRecording());
    ASSERT_TRUE(MainQueue::runUntil([&] { return delegate->finished; }, 20));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"start", "willFinish", "didFinish"}));
    EXPECT_FALSE(delegate->finishError) << *delegate->finishError;
    EXPECT_EQ(t.movie->framesDropped(), 0);

    auto info = loadMovieInfo(path);
    ASSERT_TRUE(info) << info.error();
    ASSERT_TRUE(info->hasVideo());
    ASSERT_TRUE(info->hasAudio());
    EXPECT_EQ(info->firstTrack(MediaType::Video)->codecName, "h264");
    EXPECT_EQ(info->firstTrack(MediaType::Audio)->codecName, "aac");
    EXPECT_EQ(info->naturalSize, (Size{1280, 720}));
    // The movie runs from its first picture to the stop on the capture clock, however late a
    // busy machine hands the pictures over. (Its start holds the sound encoder's priming, one
    // AAC frame, on both tracks.)
    const double priming = 1024.0 / 48000;
    double videoDuration = info->firstTrack(MediaType::Video)->duration;
    EXPECT_GE(videoDuration, stopping - started - 0.005);
    EXPECT_LE(videoDuration, stopped - requested + 1.0 / 30 + priming + 0.005);
    // Sound and picture cover the same span.
    EXPECT_NEAR(info->firstTrack(MediaType::Audio)->duration, videoDuration, 0.05);

    // Every frame captured while recording is in the file, a frame apart.
    auto times = frameTimes(path);
    EXPECT_EQ(int64_t(times.size()), t.movie->framesWritten());
    ASSERT_GE(times.size(), 2u);
    EXPECT_NEAR(times.front(), 0, 1e-6);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]);
    EXPECT_LT(times.back(), videoDuration);
    // At the camera's frame rate: a frame period apart. (A machine too busy to read every picture
    // in time leaves a gap, never a squeezed frame. The first picture also spans the priming.)
    std::vector<double> periods;
    for (size_t i = 2; i < times.size(); ++i)
        periods.push_back(times[i] - times[i - 1]);
    std::sort(periods.begin(), periods.end());
    EXPECT_GT(periods.front(), 1.0 / 30 - 0.002);
    EXPECT_NEAR(periods[periods.size() / 2], 1.0 / 30, 0.002);
    // The sound starts with the first frame: the tone is there from the beginning.
    auto audio = AudioTrackReader::open(path);
    ASSERT_TRUE(audio);
    auto chunk = audio.value()->next();
    ASSERT_TRUE(chunk && chunk.value());
    EXPECT_NEAR(chunk.value()->time, 0.0, 0.03);
    EXPECT_GT(loudness(path, 0.05, 0.5), 0.05);
}

namespace {
// Notes what the inputs deliver, with its capture times, and the scheduling class of the thread
// each buffer arrives on.
struct DeliveryLog : CaptureOutput {
    std::mutex mutex;
    std::vector<double> video;                    // picture times
    std::vector<std::pair<double, double>> audio; // sound buffers: start, end
    std::vector<int> policies;
    void captureVideo(const VideoSample& s) override {
        std::lock_guard lock(mutex);
        video.push_back(s.time);
        policies.push_back(sched_getscheduler(0));
    }
    void captureAudio(const AudioSample& s) override {
        std::lock_guard lock(mutex);
        audio.push_back({s.time, s.time + double(s.frame->nb_samples) / s.frame->sample_rate});
        policies.push_back(sched_getscheduler(0));
    }
    size_t counts(size_t& audioCount) {
        std::lock_guard lock(mutex);
        audioCount = audio.size();
        return video.size();
    }
    // Waits until both inputs have delivered `n` more buffers than `video` and `audio`.
    bool waitFor(size_t n) {
        size_t a0 = 0, v0 = counts(a0);
        return MainQueue::runUntil(
            [&] {
                size_t a = 0, v = counts(a);
                return v >= v0 + n && a >= a0 + n;
            },
            60);
    }
};
} // namespace

// The camera's and the microphone's threads convert and hand on every buffer while the autocue
// scrolls: they give way to the main thread, and go on doing so after a take's end has put every
// thread that gave way back (here: the camera's thread, after its first picture).
TEST(CaptureSession, TheDevicesThreadsGiveWayToTheMainThread) {
    TestSession t;
    struct PutBackOnce : DeliveryLog {
        void captureVideo(const VideoSample& s) override {
            DeliveryLog::captureVideo(s);
            sched_param usual{};
            if (video.size() == 1)
                (void)sched_setscheduler(0, SCHED_OTHER, &usual);
        }
    };
    auto log = std::make_shared<PutBackOnce>();
    t.session.addOutput(log);
    ASSERT_TRUE(log->waitFor(3));
    t.session.stopRunning();
    std::lock_guard lock(log->mutex);
    for (const int policy : log->policies)
        EXPECT_EQ(policy, SCHED_BATCH);
}

TEST(MovieFileOutput, ASessionRestartedWhileRecordingLeavesAGapInStep) {
    // Switching the microphone stops the session and starts it again; the recording goes on.
    QTemporaryDir dir;
    std::string path = dir.filePath("switch.mov").toStdString();
    TestSession t;
    auto log = std::make_shared<DeliveryLog>();
    t.session.addOutput(log);
    auto delegate = std::make_shared<DelegateLog>();
    t.movie->startRecording(path, delegate);
    ASSERT_TRUE(MainQueue::runUntil([&] { return !delegate->events.empty(); }, 30));
    ASSERT_TRUE(log->waitFor(20));
    t.session.stopRunning();
    double lastPicture, soundEnd;
    size_t before;
    {
        std::lock_guard lock(log->mutex);
        lastPicture = log->video.back();
        soundEnd = log->audio.back().second;
        before = log->audio.size();
    }
    pumpFor(0.6);
    t.session.startRunning();
    ASSERT_TRUE(log->waitFor(20));
    t.movie->stopRecording();
    ASSERT_TRUE(MainQueue::runUntil([&] { return delegate->finished; }, 60));
    EXPECT_FALSE(delegate->finishError) << *delegate->finishError;
    EXPECT_TRUE(t.session.isRunning());
    double firstPictureAfter, soundAfter;
    {
        std::lock_guard lock(log->mutex);
        firstPictureAfter = *std::upper_bound(log->video.begin(), log->video.end(), lastPicture);
        soundAfter = log->audio[before].first;
    }

    auto info = loadMovieInfo(path).value();
    double videoDuration = info.firstTrack(MediaType::Video)->duration;
    EXPECT_NEAR(info.firstTrack(MediaType::Audio)->duration, videoDuration, 0.05);
    // The pictures stop for the time the session was stopped and go on after it.
    auto times = frameTimes(path);
    ASSERT_GE(times.size(), 2u);
    size_t gap = 1;
    for (size_t i = 2; i < times.size(); ++i)
        if (times[i] - times[i - 1] > times[gap] - times[gap - 1])
            gap = i;
    EXPECT_NEAR(times[gap] - times[gap - 1], firstPictureAfter - lastPicture, 0.002);
    // The sound keeps its place beside the pictures: silence where the microphone delivered
    // nothing, the tone either side.
    double silenceFrom = times[gap - 1] + (soundEnd - lastPicture);
    double silenceTo = times[gap] - (firstPictureAfter - soundAfter);
    ASSERT_GT(silenceTo - silenceFrom, 0.3);
    EXPECT_LT(loudness(path, silenceFrom + 0.03, silenceTo - 0.03), 0.005);
    EXPECT_GT(loudness(path, silenceFrom - 0.3, silenceFrom - 0.03), 0.05);
    EXPECT_GT(loudness(path, silenceTo + 0.03, silenceTo + 0.3), 0.05);
}

TEST(MovieFileOutput, StopBeforeTheFirstFrameFinishesWithAnError) {
    QTemporaryDir dir;
    std::string path = dir.filePath("early.mov").toStdString();
    TestSession t(true, false); // not running: no frame ever arrives
    auto delegate = std::make_shared<DelegateLog>();
    t.movie->startRecording(path, delegate);
    t.movie->stopRecording();
    EXPECT_FALSE(t.movie->isRecording());
    ASSERT_TRUE(MainQueue::runUntil([&] { return delegate->finished; }, 10));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"willFinish", "didFinish"}));
    EXPECT_TRUE(delegate->finishError);
    EXPECT_FALSE(std::filesystem::exists(path));

    // The output records normally afterwards.
    t.session.startRunning();
    auto next = std::make_shared<DelegateLog>();
    t.movie->startRecording(path, next);
    ASSERT_TRUE(MainQueue::runUntil([&] { return !next->events.empty(); }, 30));
    t.movie->stopRecording();
    ASSERT_TRUE(MainQueue::runUntil([&] { return next->finished; }, 10));
    EXPECT_FALSE(next->finishError);
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(MovieFileOutput, RecordingKilledMidwayStaysReadable) {
    QTemporaryDir dir;
    std::string path = dir.filePath("killed.mov").toStdString();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child records until it is killed; it never reaches the stop.
        TestSession t;
        t.movie->startRecording(path, std::make_shared<DelegateLog>());
        while (true)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    // Wait until the child has written a couple of seconds, reading what is there so far.
    bool enough = false;
    double deadline = captureClock() + 90;
    while (!enough && captureClock() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        auto reader = VideoTrackReader::open(path);
        if (!reader)
            continue;
        int frames = 0;
        while (true) {
            auto f = reader.value()->next();
            if (!f || !f.value())
                break;
            ++frames;
        }
        enough = frames >= 60;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(enough);

    auto info = loadMovieInfo(path);
    ASSERT_TRUE(info) << info.error();
    EXPECT_TRUE(info->hasVideo());
    EXPECT_TRUE(info->hasAudio());
    auto reader = VideoTrackReader::open(path);
    ASSERT_TRUE(reader);
    int frames = 0;
    while (true) {
        auto f = reader.value()->next();
        ASSERT_TRUE(f);
        if (!f.value())
            break;
        ++frames;
    }
    EXPECT_GE(frames, 60);
}
