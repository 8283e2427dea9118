#pragma once
// What the recording benchmarks share: a delegate that notes how a recording went, and the test
// camera at a chosen size.
#include <optional>
#include <string>

#include "platform/media/capture_session.h"
#include "platform/media/devices.h"

namespace benchsupport {

struct recordingOutcome : qrn::media::RecordingDelegate {
    bool started = false, finished = false;
    std::optional<std::string> error;
    void didStartRecording(qrn::media::MovieFileOutput&, const std::string&) override { started = true; }
    void willFinishRecording(qrn::media::MovieFileOutput&, const std::string&,
                             const std::optional<std::string>&) override {}
    void didFinishRecording(qrn::media::MovieFileOutput&, const std::string&,
                            const std::optional<std::string>& e) override {
        error = e;
        finished = true;
    }
};

// The test camera (QRN_TEST_DEVICES) giving 30 pictures a second of width x height.
inline qrn::media::CaptureDevice testCamera(int width, int height) {
    setenv("QRN_TEST_DEVICES", "1", 1);
    auto camera = *qrn::media::CaptureDevices::deviceNamed(qrn::media::MediaType::Video, "Test Camera");
    camera.url =
        "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=30,format=yuv420p";
    return camera;
}

} // namespace benchsupport
