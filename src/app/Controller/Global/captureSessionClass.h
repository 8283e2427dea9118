#pragma once
// The one capture session of the program, made on first use and kept for the whole run, and
// the two views of the editing screen that show its progress (the loading icon and the
// message label).
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/geometry.h"
#include "platform/media/devices.h"

namespace qrn::media {
class CaptureSession;
class VideoPreviewLayer;
} // namespace qrn::media
namespace qrn::ui {
class View;
class ProgressIndicator;
class TextField;
} // namespace qrn::ui

class captureSessionClass {
  public:
    qrn::media::CaptureSession& session();
    // Whether the camera can be used: its input opens. A usable camera starts the session
    // (once); initialiser true only checks.
    bool permission(bool initialiser);
    // The camera of that name, or the first camera when no name is given.
    std::optional<qrn::media::CaptureDevice> videoDeviceName(const std::optional<std::string>& name);
    // Adds to the view's layer a crop layer that clips to its bounds, holding the session's
    // live picture.
    void videoPreviewLayer(qrn::ui::View& view, qrn::media::CaptureSession& session);
    // Makes the camera the session's video input; the picture's size, none when it cannot open.
    std::optional<qrn::Size> createVideoDevice(const std::optional<std::string>& name,
                                               qrn::media::CaptureSession& session);
    // Starts the session once, with the camera as its input.
    void enableCaptureSession(bool initialiser);
    // Stops the session (the editing window closed).
    void stopCaptureSession();
    std::shared_ptr<qrn::media::VideoPreviewLayer> getPreviewLayer();

    void setLoadingIcon(std::shared_ptr<qrn::ui::ProgressIndicator> icon);
    void setMessageLabel(std::shared_ptr<qrn::ui::TextField> label);
};
