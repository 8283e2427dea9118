#pragma once
// Helpers shared by the media tests: test devices, a recording delegate that keeps a log of
// its callbacks, and waiting on real time while the main queue is pumped.
#include "platform/foundation/main_queue.h"
#include "platform/graphics/content_filter.h"
#include "platform/media/capture_session.h"

#include <QTemporaryDir>

#include <QtGlobal>
#include <string>
#include <vector>

namespace qrn::media::testing {

inline void useTestDevices(bool on = true) {
    qputenv("QRN_TEST_DEVICES", on ? "1" : "0");
}

struct DelegateLog : RecordingDelegate {
    std::vector<std::string> events;
    std::optional<std::string> finishError;
    bool finished = false;
    std::optional<double> firstPictureTime;
    void didStartRecording(MovieFileOutput&, const std::string&, double time) override {
        events.push_back("start");
        firstPictureTime = time;
    }
    void willFinishRecording(MovieFileOutput&, const std::string&,
                             const std::optional<std::string>&) override {
        events.push_back("willFinish");
    }
    void didFinishRecording(MovieFileOutput&, const std::string&,
                            const std::optional<std::string>& error) override {
        events.push_back("didFinish");
        finishError = error;
        finished = true;
    }
};

// Pumps the main queue for `seconds` of real time.
inline void pumpFor(double seconds) {
    double end = captureClock() + seconds;
    MainQueue::runUntil([&] { return captureClock() >= end; }, seconds + 5);
}

// A running session with the test camera and microphone.
struct TestSession {
    CaptureSession session;
    std::shared_ptr<MovieFileOutput> movie = std::make_shared<MovieFileOutput>();
    explicit TestSession(bool withAudio = true, bool run = true) {
        useTestDevices();
        session.beginConfiguration();
        auto camera =
            CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Video, "Test Camera"));
        session.addInput(camera.value());
        if (withAudio) {
            auto mic =
                CaptureDeviceInput::create(*CaptureDevices::deviceNamed(MediaType::Audio, "Test Microphone"));
            session.addInput(mic.value());
        }
        session.addOutput(movie);
        session.commitConfiguration();
        if (run)
            session.startRunning();
    }
};

// Paints everything it sees a solid green, keeping the coverage.
struct GreenFilter : graphics::ContentFilter {
    std::string name() const override { return "green"; }
    QImage apply(const QImage& image) const override {
        QImage out = image;
        for (int y = 0; y < out.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                row[x] = qRgba(0, qAlpha(row[x]), 0, qAlpha(row[x]));
        }
        return out;
    }
};

} // namespace qrn::media::testing
