#include "Controller/Global/captureSessionClass.h"

#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/media/capture_session.h"
#include "platform/media/devices.h"
#include "platform/media/video_layer.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace {

using qrn::media::AccessStatus;
using qrn::media::CaptureAccess;
using qrn::media::CaptureDeviceInput;
using qrn::media::CaptureDevices;
using qrn::media::MediaType;

// Kept for the whole run and never destroyed: preview layers anywhere may still point at it
// while the program ends.
qrn::media::CaptureSession* captureSession = nullptr;
std::shared_ptr<qrn::media::VideoPreviewLayer> previewLayer;
std::shared_ptr<qrn::media::MovieFileOutput> movieOutput;
std::optional<std::string> selectedVideoDeviceName;
std::optional<std::string> selectedAudioDeviceName;
// The presenter chose "No camera" or "No audio": no device name is stored then, and the chooser
// must show that choice again rather than a device that is not in use.
bool noCameraChosen = false;
bool noAudioChosen = false;
int audioPermissionState = 0;
int videoPermissionState = 0;
std::shared_ptr<qrn::ui::ProgressIndicator> videoLoadingIcon;
std::shared_ptr<qrn::ui::TextField> videoLabel;
int errorMessageCounter = 0;

std::string valueOr(const std::optional<std::string>& s) {
    return s.value_or("nil");
}

void showSpinner(bool show) {
    if (!videoLoadingIcon)
        return;
    videoLoadingIcon->setHidden(!show);
    if (show)
        videoLoadingIcon->startAnimation();
    else
        videoLoadingIcon->stopAnimation();
}

void hideLabel() {
    if (videoLabel)
        videoLabel->setHidden(true);
}

// Takes out every input of the media type, each once.
void removeInputs(qrn::media::CaptureSession& session, MediaType type) {
    for (const auto& input : session.inputs())
        if (input->mediaType() == type)
            session.removeInput(input);
}

void restart(qrn::media::CaptureSession& session) {
    session.commitConfiguration();
    session.startRunning();
}

int stateOf(AccessStatus status) {
    switch (status) {
    case AccessStatus::Authorized:
        return 2;
    case AccessStatus::Denied:
        return 1;
    default:
        return 0;
    }
}

} // namespace

qrn::media::CaptureSession& captureSessionClass::session() {
    if (!captureSession)
        captureSession = new qrn::media::CaptureSession();
    return *captureSession;
}

std::shared_ptr<qrn::media::VideoPreviewLayer> captureSessionClass::getPreviewLayer() {
    return previewLayer;
}

std::shared_ptr<qrn::media::MovieFileOutput> captureSessionClass::getMovieOutput() {
    if (!movieOutput)
        movieOutput = std::make_shared<qrn::media::MovieFileOutput>();
    return movieOutput;
}

void captureSessionClass::permission(bool initialiser) {
    QRN_LOG_IN(LogValues{{"initialiser", initialiser}});
    audioPermissionState = 0;
    videoPermissionState = 0;
    showSpinner(true);
    auto ask = [initialiser](MediaType type, int& state) {
        const AccessStatus status = CaptureAccess::status(type);
        if (status != AccessStatus::NotDetermined) {
            state = stateOf(status);
            return;
        }
        // The answer comes back on the main queue, so the state and the session change there.
        CaptureAccess::requestAccess(type, [initialiser, &state](bool granted) {
            state = granted ? 2 : 1;
            captureSessionClass().enableCaptureSession(initialiser);
        });
    };
    ask(MediaType::Audio, audioPermissionState);
    ask(MediaType::Video, videoPermissionState);
    enableCaptureSession(initialiser);
}

void captureSessionClass::enableCaptureSession(bool initialiser) {
    QRN_LOG_IN(LogValues{{"initialiser", initialiser},
                         {"audioPermissionState", audioPermissionState},
                         {"videoPermissionState", videoPermissionState}});
    const int audio = audioPermissionState, video = videoPermissionState;
    if (audio == 0 || video == 0) {
        showSpinner(true);
        hideLabel();
    } else if (audio == 2 && video == 2) {
        showSpinner(false);
        hideLabel();
        if (initialiser) {
            auto& s = session();
            s.beginConfiguration();
            const auto microphones = CaptureDevices::devices(MediaType::Audio);
            if (!microphones.empty())
                addAudioInput(s, microphones.front());
            if (s.canAddOutput(getMovieOutput()))
                s.addOutput(getMovieOutput());
            else
                QRN_LOG_MID(LogValues{{"movieOutput", "refused"}});
            restart(s);
        }
    } else {
        const char* message = audio == 1 && video == 1 ? "Please provide both camera and audio access"
                              : video == 1             ? "Please provide video access"
                                                       : "Please provide audio access";
        changeErrorMessage(message, std::nullopt, std::nullopt, MessageType::error);
    }
    // The camera goes in whatever the answers, so the editing screen shows its picture.
    if (initialiser)
        viewLoaderClass().newCaptureSession();
}

bool captureSessionClass::createVideoDevice(const std::optional<std::string>& deviceName,
                                            qrn::media::CaptureSession& s) {
    QRN_LOG_IN(LogValues{{"deviceName", valueOr(deviceName)}});
    if (s.isRunning())
        s.stopRunning();
    s.beginConfiguration();
    removeInputs(s, MediaType::Video);
    if (deviceName == noCameraName) {
        restart(s);
        return true;
    }
    const auto cameras = CaptureDevices::devices(MediaType::Video);
    if (cameras.empty()) {
        QRN_LOG_MID(LogValues{{"cameras", "none"}});
        restart(s);
        return false;
    }
    auto camera = cameras.begin();
    if (deviceName)
        camera = std::find_if(cameras.begin(), cameras.end(),
                              [&](const auto& d) { return d.localizedName == *deviceName; });
    if (camera == cameras.end()) {
        QRN_LOG_MID(LogValues{{"camera", "not found"}});
        restart(s);
        return false;
    }
    auto input = CaptureDeviceInput::create(*camera);
    if (!input.isOk()) {
        QRN_LOG_ERROR(input.error());
        restart(s);
        return false;
    }
    if (s.canAddInput(input.value())) {
        selectedVideoDeviceName = camera->localizedName;
        noCameraChosen = false;
        s.addInput(input.value());
    } else {
        QRN_LOG_MID(LogValues{{"videoInput", "refused"}});
    }
    restart(s);
    QRN_LOG_OUT(LogValues{{"selectedVideoDeviceName", valueOr(selectedVideoDeviceName)}});
    return true;
}

void captureSessionClass::videoPreviewLayer(qrn::ui::View& view, qrn::media::CaptureSession& s) {
    QRN_LOG_IN(std::nullopt);
    const auto& host = view.layer();
    if (!host)
        return;
    if (!previewLayer)
        previewLayer = qrn::media::VideoPreviewLayer::make();
    auto picture = previewLayer;
    picture->setMasksToBounds(false);
    picture->setSession(&s);
    // Without a camera the last picture of the one before must not stay on show.
    const auto inputs = s.inputs();
    if (std::none_of(inputs.begin(), inputs.end(),
                     [](const auto& input) { return input->mediaType() == MediaType::Video; }))
        picture->showPicture(QImage());
    picture->setFrame(host->bounds());
    auto crop = qrn::graphics::Layer::make(host->bounds());
    crop->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
    crop->setMasksToBounds(true);
    crop->addSublayer(picture);
    host->addSublayer(crop);
    host->setContentFilters(
        editViewClass().getFiltersArrayOrFilteredImage(nullptr, true, std::nullopt, std::nullopt).filters);
}

std::vector<std::string> captureSessionClass::videoDevices() {
    std::vector<std::string> names;
    for (const auto& d : CaptureDevices::devices(MediaType::Video))
        names.push_back(d.localizedName);
    return names;
}

std::vector<std::string> captureSessionClass::audioDevices() {
    std::vector<std::string> names;
    for (const auto& d : CaptureDevices::devices(MediaType::Audio))
        names.push_back(d.localizedName);
    return names;
}

std::optional<std::string> captureSessionClass::videoDeviceName(const std::optional<std::string>& device) {
    QRN_LOG_IN(LogValues{{"device", valueOr(device)}});
    if (!device || !CaptureDevices::deviceNamed(MediaType::Video, *device))
        return std::nullopt;
    return device;
}

void captureSessionClass::changeVideo(qrn::ui::View& view, const std::string& deviceName) {
    QRN_LOG_IN(LogValues{{"deviceName", deviceName}});
    if (getMovieOutput()->isRecording())
        return;
    selectedVideoDeviceName =
        deviceName == noCameraName ? std::nullopt : std::optional<std::string>(deviceName);
    noCameraChosen = deviceName == noCameraName;
    if (createVideoDevice(deviceName, session())) {
        if (view.layer())
            view.layer()->removeAllSublayers();
        videoPreviewLayer(view, session());
    } else {
        changeErrorMessage("Unable to start recording session", std::nullopt, std::nullopt,
                           MessageType::error);
    }
}

void captureSessionClass::changeAudio(const std::string& deviceName) {
    QRN_LOG_IN(LogValues{{"deviceName", deviceName}});
    // A new microphone restarts both inputs: during a take that is a gap in the movie.
    if (getMovieOutput()->isRecording())
        return;
    selectedAudioDeviceName =
        deviceName == noAudioName ? std::nullopt : std::optional<std::string>(deviceName);
    noAudioChosen = deviceName == noAudioName;
    auto& s = session();
    if (s.isRunning())
        s.stopRunning();
    s.beginConfiguration();
    removeInputs(s, MediaType::Audio);
    if (deviceName != noAudioName) {
        if (auto microphone = CaptureDevices::deviceNamed(MediaType::Audio, deviceName)) {
            addAudioInput(s, *microphone);
        } else {
            QRN_LOG_MID(LogValues{{"microphone", "not found"}});
        }
    }
    restart(s);
}

void captureSessionClass::addAudioInput(qrn::media::CaptureSession& s,
                                        const qrn::media::CaptureDevice& device) {
    // A microphone that will not open or that the session refuses is only noted.
    auto input = CaptureDeviceInput::create(device);
    if (!input.isOk())
        QRN_LOG_ERROR(input.error());
    else if (s.canAddInput(input.value())) {
        s.addInput(input.value());
        noAudioChosen = false;
    } else
        QRN_LOG_MID(LogValues{{"audioInput", "refused"}});
}

void captureSessionClass::changeErrorMessage(const std::string& message,
                                             const std::optional<std::string>& logMessage,
                                             const std::optional<std::string>& logErrorDescription,
                                             MessageType logMessageType) {
    QRN_LOG_IN(LogValues{{"message", message},
                         {"logMessage", valueOr(logMessage)},
                         {"logErrorDescription", valueOr(logErrorDescription)},
                         {"logMessageType", messageTypeRawValue(logMessageType)}});
    if (logMessage)
        QRN_LOG_ERROR(logErrorDescription.value_or(*logMessage));
    if (videoLabel) {
        videoLabel->setStringValue(message);
        videoLabel->setHidden(false);
    }
    const int shown = ++errorMessageCounter;
    qrn::MainQueue::after(messageSeconds, [shown] {
        if (errorMessageCounter == shown)
            hideLabel();
        if (errorMessageCounter == 100)
            errorMessageCounter = 0;
    });
}

std::optional<std::string> captureSessionClass::getSelectedVideoDeviceName() {
    return selectedVideoDeviceName;
}

void captureSessionClass::setSelectedVideoDeviceName(std::optional<std::string> name) {
    QRN_LOG_IN(LogValues{{"name", valueOr(name)}});
    selectedVideoDeviceName = std::move(name);
}

std::optional<std::string> captureSessionClass::getSelectedAudioDeviceName() {
    return selectedAudioDeviceName;
}

void captureSessionClass::setSelectedAudioDeviceName(std::optional<std::string> name) {
    QRN_LOG_IN(LogValues{{"name", valueOr(name)}});
    selectedAudioDeviceName = std::move(name);
}

bool captureSessionClass::getNoCameraChosen() {
    return noCameraChosen;
}

bool captureSessionClass::getNoAudioChosen() {
    return noAudioChosen;
}

int captureSessionClass::getAudioPermissionState() {
    return audioPermissionState;
}

int captureSessionClass::getVideoPermissionState() {
    return videoPermissionState;
}

void captureSessionClass::setCaptureStatusViews(std::shared_ptr<qrn::ui::ProgressIndicator> icon,
                                                std::shared_ptr<qrn::ui::TextField> label) {
    videoLoadingIcon = std::move(icon);
    videoLabel = std::move(label);
}

void captureSessionClass::setLoadingIcon(std::shared_ptr<qrn::ui::ProgressIndicator> icon) {
    videoLoadingIcon = std::move(icon);
}

void captureSessionClass::setMessageLabel(std::shared_ptr<qrn::ui::TextField> label) {
    videoLabel = std::move(label);
}

void captureSessionClass::stopCaptureSession() {
    QRN_LOG_IN();
    if (captureSession && captureSession->isRunning())
        captureSession->stopRunning();
}

void captureSessionClass::resetForTesting() {
    if (captureSession) {
        captureSession->stopRunning();
        captureSession->beginConfiguration();
        for (const auto& input : captureSession->inputs())
            captureSession->removeInput(input);
        for (const auto& output : captureSession->outputs())
            captureSession->removeOutput(output);
        captureSession->commitConfiguration();
    }
    if (previewLayer) {
        previewLayer->setSession(nullptr);
        previewLayer->removeFromSuperlayer();
        previewLayer->showPicture(QImage());
    }
    selectedVideoDeviceName.reset();
    selectedAudioDeviceName.reset();
    noCameraChosen = false;
    noAudioChosen = false;
    audioPermissionState = 0;
    videoPermissionState = 0;
    videoLoadingIcon.reset();
    videoLabel.reset();
    errorMessageCounter = 0;
}
