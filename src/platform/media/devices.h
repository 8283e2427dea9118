#pragma once
// Capture devices and access to them. Cameras are V4L2 capture nodes, microphones PulseAudio
// sources (ALSA capture devices when no sound server answers). With QRN_TEST_DEVICES=1 a test
// camera and microphone made from lavfi sources come first, so nothing needs hardware.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qrn::media {

enum class MediaType { Video, Audio };

struct CaptureDevice {
    std::string uniqueId;      // stable for the session: the node path, the source name, ...
    std::string localizedName; // what the presenter sees
    MediaType mediaType = MediaType::Video;
    std::string inputFormat; // libavdevice input: "lavfi", "v4l2", "pulse", "alsa"
    std::string url;         // what the input opens
    std::map<std::string, std::string> options;
    // lavfi sources run as fast as they are read; capture paces them to the clock.
    bool needsPacing = false;
    friend bool operator==(const CaptureDevice&, const CaptureDevice&) = default;
};

class CaptureDevices {
  public:
    static constexpr const char* testCameraName = "Test Camera";
    static constexpr const char* testMicrophoneName = "Test Microphone";

    // Each call asks the system again, in the order it gives.
    static std::vector<CaptureDevice> devices(MediaType type);
    static std::optional<CaptureDevice> deviceNamed(MediaType type, const std::string& localizedName);
    static bool testDevicesEnabled();
};

enum class AccessStatus { NotDetermined, Denied, Authorized };

// Camera and microphone access. Linux has no consent prompt: access is granted unless the
// system refuses to open the device. Tests script the answers.
class CaptureAccess {
  public:
    static AccessStatus status(MediaType type);
    // The answer reaches the main queue; the probe runs on a worker thread.
    static void requestAccess(MediaType type, std::function<void(bool granted)> completion);

    // Tests: a fixed status, and the answer a request gives (a request also sets the status).
    static void scriptStatus(MediaType type, AccessStatus status);
    static void scriptRequestAnswer(MediaType type, bool granted);
    // Number of requests made since the last reset.
    static int requestCount(MediaType type);
    static void resetForTesting();
};

} // namespace qrn::media
