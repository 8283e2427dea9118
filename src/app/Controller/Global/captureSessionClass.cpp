#include "Controller/Global/captureSessionClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/media/capture_session.h"
#include "platform/media/video_layer.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace {
// Kept for the whole run and never destroyed: preview layers anywhere may still point at it
// while the program ends.
qrn::media::CaptureSession* sharedSession = nullptr;
std::shared_ptr<qrn::media::CaptureDeviceInput> videoInput;
std::shared_ptr<qrn::media::VideoPreviewLayer> previewLayer;
std::shared_ptr<qrn::ui::ProgressIndicator> loadingIcon;
std::shared_ptr<qrn::ui::TextField> messageLabel;
bool sessionStarted = false;
} // namespace

qrn::media::CaptureSession& captureSessionClass::session() {
    if (!sharedSession)
        sharedSession = new qrn::media::CaptureSession();
    return *sharedSession;
}

bool captureSessionClass::permission(bool initialiser) {
    QRN_LOG_IN(LogValues{{"initialiser", initialiser}});
    const bool usable = videoInput || videoDeviceName(std::nullopt).has_value();
    if (usable && !initialiser)
        enableCaptureSession(initialiser);
    QRN_LOG_OUT(LogValues{{"usable", usable}});
    return usable;
}

std::optional<qrn::media::CaptureDevice>
captureSessionClass::videoDeviceName(const std::optional<std::string>& name) {
    QRN_LOG_IN(LogValues{{"name", name ? qrn::Value(*name) : qrn::Value()}});
    if (name)
        return qrn::media::CaptureDevices::deviceNamed(qrn::media::MediaType::Video, *name);
    auto cameras = qrn::media::CaptureDevices::devices(qrn::media::MediaType::Video);
    if (cameras.empty())
        return std::nullopt;
    return cameras.front();
}

void captureSessionClass::videoPreviewLayer(qrn::ui::View& view, qrn::media::CaptureSession& session) {
    QRN_LOG_IN(std::nullopt);
    auto& host = *view.layer();
    auto crop = qrn::graphics::Layer::make(host.bounds());
    crop->setMasksToBounds(true);
    crop->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
    previewLayer = qrn::media::VideoPreviewLayer::make();
    previewLayer->setFrame(host.bounds());
    previewLayer->setMasksToBounds(true);
    previewLayer->setSession(&session);
    crop->addSublayer(previewLayer);
    host.addSublayer(crop);
}

std::optional<qrn::Size> captureSessionClass::createVideoDevice(const std::optional<std::string>& name,
                                                                qrn::media::CaptureSession& session) {
    QRN_LOG_IN(std::nullopt);
    auto device = videoDeviceName(name);
    if (!device)
        return std::nullopt;
    auto input = qrn::media::CaptureDeviceInput::create(*device);
    if (!input.isOk()) {
        QRN_LOG_ERROR(input.error());
        return std::nullopt;
    }
    session.beginConfiguration();
    if (videoInput)
        session.removeInput(videoInput);
    videoInput = input.value();
    if (session.canAddInput(videoInput))
        session.addInput(videoInput);
    session.commitConfiguration();
    return qrn::Size{1280, 720};
}

void captureSessionClass::enableCaptureSession(bool) {
    QRN_LOG_IN(LogValues{{"sessionStarted", sessionStarted}});
    if (sessionStarted)
        return;
    if (!videoInput && !createVideoDevice(std::nullopt, session()))
        return;
    sessionStarted = true;
    if (loadingIcon)
        loadingIcon->stopAnimation();
    session().startRunning();
}

void captureSessionClass::stopCaptureSession() {
    QRN_LOG_IN(LogValues{{"sessionStarted", sessionStarted}});
    if (!sessionStarted)
        return;
    sessionStarted = false;
    session().stopRunning();
}

std::shared_ptr<qrn::media::VideoPreviewLayer> captureSessionClass::getPreviewLayer() {
    return previewLayer;
}

void captureSessionClass::setLoadingIcon(std::shared_ptr<qrn::ui::ProgressIndicator> icon) {
    loadingIcon = std::move(icon);
}

void captureSessionClass::setMessageLabel(std::shared_ptr<qrn::ui::TextField> label) {
    messageLabel = std::move(label);
}
