#include "platform/media/devices.h"

#include "platform/foundation/main_queue.h"
#include "platform/media/av.h"

#include <QByteArray>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/videodev2.h>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace qrn::media {
namespace {

// QRN_TEST_CAMERA_SIZE=<width>x<height> sets the test camera's picture size; anything else, or a
// size out of reason, keeps 1280x720.
std::string testCameraSize() {
    const QByteArray v = qgetenv("QRN_TEST_CAMERA_SIZE");
    if (v.isNull())
        return "1280x720";
    int w = 0, h = 0;
    char end = 0;
    if (std::sscanf(v.constData(), "%dx%d%c", &w, &h, &end) != 2 || w < 16 || h < 16 || w > 7680 || h > 4320)
        return "1280x720";
    // The picture is 4:2:0, so both sides are even.
    return std::to_string(w & ~1) + "x" + std::to_string(h & ~1);
}

CaptureDevice testCamera() {
    CaptureDevice d;
    d.uniqueId = "lavfi:testsrc2";
    d.localizedName = CaptureDevices::testCameraName;
    d.mediaType = MediaType::Video;
    d.inputFormat = "lavfi";
    // testsrc2 animates its content, so consecutive frames differ.
    d.url = "testsrc2=size=" + testCameraSize() + ":rate=30,format=yuv420p";
    d.needsPacing = true;
    return d;
}

CaptureDevice testMicrophone() {
    CaptureDevice d;
    d.uniqueId = "lavfi:sine";
    d.localizedName = CaptureDevices::testMicrophoneName;
    d.mediaType = MediaType::Audio;
    d.inputFormat = "lavfi";
    d.url = "sine=frequency=440:sample_rate=48000:samples_per_frame=1024";
    d.needsPacing = true;
    return d;
}

struct V4l2Node {
    int index;
    std::string path;
};

std::vector<CaptureDevice> v4l2Cameras() {
    std::vector<V4l2Node> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("video", 0) != 0 || name.size() == 5)
            continue;
        char* end = nullptr;
        long index = std::strtol(name.c_str() + 5, &end, 10);
        if (*end != '\0')
            continue;
        nodes.push_back({int(index), entry.path().string()});
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const V4l2Node& a, const V4l2Node& b) { return a.index < b.index; });

    std::vector<CaptureDevice> cameras;
    for (const auto& node : nodes) {
        int fd = ::open(node.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        v4l2_capability cap{};
        bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        ::close(fd);
        if (!ok)
            continue;
        uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        // A camera usually has a second node for metadata under the same card name; only the
        // node that delivers pictures is a camera.
        if (!(caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)))
            continue;
        CaptureDevice d;
        d.uniqueId = node.path;
        d.localizedName = reinterpret_cast<const char*>(cap.card);
        d.mediaType = MediaType::Video;
        d.inputFormat = "v4l2";
        d.url = node.path;
        cameras.push_back(std::move(d));
    }
    return cameras;
}

struct PulseListing {
    bool done = false;
    std::vector<CaptureDevice> sources;
};

// Lists the PulseAudio sources that are not monitors of an output. Empty optional: no server.
std::optional<std::vector<CaptureDevice>> pulseMicrophones() {
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop)
        return std::nullopt;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "QRN device list");
    std::optional<std::vector<CaptureDevice>> result;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        PulseListing listing;
        pa_operation* op = nullptr;
        while (std::chrono::steady_clock::now() < deadline) {
            pa_mainloop_iterate(loop, 0, nullptr);
            pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            if (state == PA_CONTEXT_READY && !op) {
                op = pa_context_get_source_info_list(
                    context,
                    [](pa_context*, const pa_source_info* info, int eol, void* user) {
                        auto* l = static_cast<PulseListing*>(user);
                        if (eol) {
                            l->done = true;
                            return;
                        }
                        if (!info || info->monitor_of_sink != PA_INVALID_INDEX)
                            return;
                        CaptureDevice d;
                        d.uniqueId = info->name;
                        d.localizedName = info->description ? info->description : info->name;
                        d.mediaType = MediaType::Audio;
                        d.inputFormat = "pulse";
                        d.url = info->name;
                        l->sources.push_back(std::move(d));
                    },
                    &listing);
            }
            if (listing.done) {
                result = std::move(listing.sources);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (op)
            pa_operation_unref(op);
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return result;
}

std::vector<CaptureDevice> alsaMicrophones() {
    av::registerDevices();
    std::vector<CaptureDevice> list;
    const AVInputFormat* alsa = av_find_input_format("alsa");
    AVDeviceInfoList* infos = nullptr;
    if (!alsa || avdevice_list_input_sources(alsa, nullptr, nullptr, &infos) < 0 || !infos)
        return list;
    for (int i = 0; i < infos->nb_devices; ++i) {
        const AVDeviceInfo* info = infos->devices[i];
        std::string name = info->device_name ? info->device_name : "";
        if (name.empty() || name == "null")
            continue;
        std::string description = info->device_description ? info->device_description : name;
        std::replace(description.begin(), description.end(), '\n', ' ');
        CaptureDevice d;
        d.uniqueId = name;
        d.localizedName = description;
        d.mediaType = MediaType::Audio;
        d.inputFormat = "alsa";
        d.url = name;
        list.push_back(std::move(d));
    }
    avdevice_free_list_devices(&infos);
    return list;
}

// Access state.
struct AccessState {
    std::optional<AccessStatus> status; // cached answer of the system or of a script
    std::optional<AccessStatus> scriptedStatus;
    std::optional<bool> scriptedAnswer;
    int requests = 0;
};
std::mutex accessMutex;
AccessState accessStates[2];
AccessState& accessState(MediaType t) {
    return accessStates[t == MediaType::Video ? 0 : 1];
}

// Opens each device node of the type: refused when every node that exists refuses us.
AccessStatus probeAccess(MediaType type) {
    std::vector<std::string> nodes;
    std::error_code ec;
    const char* prefix = type == MediaType::Video ? "video" : "pcmC";
    std::string dir = type == MediaType::Video ? "/dev" : "/dev/snd";
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && (type == MediaType::Video || name.back() == 'c'))
            nodes.push_back(entry.path().string());
    }
    if (nodes.empty())
        return AccessStatus::Authorized;
    for (const auto& node : nodes) {
        int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return AccessStatus::Authorized;
        }
        if (errno != EACCES && errno != EPERM)
            return AccessStatus::Authorized; // busy or gone: not a refusal
    }
    return AccessStatus::Denied;
}

} // namespace

bool CaptureDevices::testDevicesEnabled() {
    return qgetenv("QRN_TEST_DEVICES") == "1";
}

std::vector<CaptureDevice> CaptureDevices::devices(MediaType type) {
    std::vector<CaptureDevice> list;
    if (testDevicesEnabled())
        list.push_back(type == MediaType::Video ? testCamera() : testMicrophone());
    std::vector<CaptureDevice> system;
    if (type == MediaType::Video) {
        system = v4l2Cameras();
    } else if (auto pulse = pulseMicrophones()) {
        system = std::move(*pulse);
    } else {
        system = alsaMicrophones();
    }
    list.insert(list.end(), system.begin(), system.end());
    return list;
}

std::optional<CaptureDevice> CaptureDevices::deviceNamed(MediaType type, const std::string& localizedName) {
    for (auto& d : devices(type))
        if (d.localizedName == localizedName)
            return d;
    return std::nullopt;
}

AccessStatus CaptureAccess::status(MediaType type) {
    {
        std::lock_guard lock(accessMutex);
        auto& s = accessState(type);
        if (s.scriptedStatus)
            return *s.scriptedStatus;
        if (s.status)
            return *s.status;
    }
    AccessStatus probed = probeAccess(type);
    std::lock_guard lock(accessMutex);
    accessState(type).status = probed;
    return probed;
}

void CaptureAccess::requestAccess(MediaType type, std::function<void(bool)> completion) {
    std::optional<bool> scripted;
    {
        std::lock_guard lock(accessMutex);
        auto& s = accessState(type);
        ++s.requests;
        scripted = s.scriptedAnswer;
    }
    std::thread([type, scripted, completion = std::move(completion)]() mutable {
        bool granted = scripted ? *scripted : probeAccess(type) == AccessStatus::Authorized;
        MainQueue::post([type, granted, completion = std::move(completion)] {
            {
                std::lock_guard lock(accessMutex);
                auto& s = accessState(type);
                s.status = granted ? AccessStatus::Authorized : AccessStatus::Denied;
                if (s.scriptedStatus)
                    s.scriptedStatus = s.status;
            }
            if (completion)
                completion(granted);
        });
    }).detach();
}

void CaptureAccess::scriptStatus(MediaType type, AccessStatus status) {
    std::lock_guard lock(accessMutex);
    accessState(type).scriptedStatus = status;
}

void CaptureAccess::scriptRequestAnswer(MediaType type, bool granted) {
    std::lock_guard lock(accessMutex);
    accessState(type).scriptedAnswer = granted;
}

int CaptureAccess::requestCount(MediaType type) {
    std::lock_guard lock(accessMutex);
    return accessState(type).requests;
}

void CaptureAccess::resetForTesting() {
    std::lock_guard lock(accessMutex);
    accessStates[0] = {};
    accessStates[1] = {};
}

} // namespace qrn::media
