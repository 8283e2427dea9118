#include <gtest/gtest.h>

#include "media_test_support.h"
#include "platform/media/movie_reader.h"

#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
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
    // The main thread does not pump for half a second: frames are dropped, not queued.
    double end = captureClock() + 0.5;
    while (captureClock() < end)
        std::this_thread::yield();
    EXPECT_LE(MainQueue::runPending(), 1);
    EXPECT_LE(shown.size(), 1u);
    EXPECT_GE(preview->framesDropped(), 5);
    // Consecutive frames differ: the picture moves.
    ASSERT_TRUE(MainQueue::runUntil([&] { return shown.size() >= 3; }, 10));
    EXPECT_NE(shown[1], shown[2]);
    session.stopRunning();
}

TEST(MovieFileOutput, RecordsTwoSecondsWithCallbacksInOrder) {
    QTemporaryDir dir;
    std::string path = dir.filePath("take.mov").toStdString();
    TestSession t;
    auto delegate = std::make_shared<DelegateLog>();
    EXPECT_FALSE(t.movie->isRecording());
    t.movie->startRecording(path, delegate);
    EXPECT_TRUE(t.movie->isRecording());
    ASSERT_TRUE(MainQueue::runUntil([&] { return !delegate->events.empty(); }, 10));
    EXPECT_EQ(delegate->events, std::vector<std::string>{"start"});
    pumpFor(2.0);
    t.movie->stopRecording();
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
    EXPECT_NEAR(info->duration, 2.0, 0.4);
    EXPECT_NEAR(info->frameRate, 30, 1);
    // Sound and picture cover the same span.
    EXPECT_NEAR(info->firstTrack(MediaType::Audio)->duration, info->firstTrack(MediaType::Video)->duration,
                0.1);

    // Every frame captured while recording is in the file.
    auto reader = VideoTrackReader::open(path);
    ASSERT_TRUE(reader);
    int frames = 0;
    double lastTime = -1;
    while (true) {
        auto f = reader.value()->next();
        ASSERT_TRUE(f);
        if (!f.value())
            break;
        EXPECT_GT(f.value()->time, lastTime);
        lastTime = f.value()->time;
        ++frames;
    }
    EXPECT_EQ(frames, t.movie->framesWritten());
    // The sound starts with the first frame: the tone is there from the beginning.
    auto audio = AudioTrackReader::open(path);
    ASSERT_TRUE(audio);
    auto chunk = audio.value()->next();
    ASSERT_TRUE(chunk && chunk.value());
    EXPECT_NEAR(chunk.value()->time, 0.0, 0.03);
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
    ASSERT_TRUE(MainQueue::runUntil([&] { return !next->events.empty(); }, 10));
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
    double deadline = captureClock() + 20;
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
