#pragma once
// The editing screen's controller and views as the rest of the program holds them, the check
// that tells a colour the panel loaded from one the presenter picked, and the hand-over to the
// recording studio.
#include <memory>
#include <optional>

namespace qrn::ui {
class ViewController;
class View;
} // namespace qrn::ui

struct viewLoaderConfiguration {
    std::shared_ptr<qrn::ui::ViewController> viewController;
    std::shared_ptr<qrn::ui::View> mainView;
    std::shared_ptr<qrn::ui::View> parentPreviewView;
};

class viewLoaderClass {
  public:
    // Null lets the controller go (the application does so when it ends).
    void setViewLoaderController(std::shared_ptr<qrn::ui::ViewController> controller);
    std::shared_ptr<qrn::ui::ViewController> getViewLoaderController();

    void setConfig(std::optional<viewLoaderConfiguration> configuration);
    std::optional<viewLoaderConfiguration> getConfig();
    std::shared_ptr<qrn::ui::ViewController> getViewController();
    // Adds the popover anchor (-6) and the dragged-layer preview (-7) to the main view.
    void initialisation();

    // The colour panel reports a colour change both when the presenter picks one and, on some
    // systems, when a colour is loaded into it. Loading here never reports one, so the check
    // starts true and only a caller that knows a load reports a change sets it false.
    void setBackgroundColourChange(bool check);
    bool getBackgroundColourChangeCheck();

    // The capture session takes its camera input (once it has been allowed).
    void newCaptureSession();
    // Hands the window over to the recording studio.
    void presentRecordingScreen();
};
