#pragma once
// The recording studio's screen ("recordingView"): the picture (the live camera view under the
// layers of the asset on show), the record button, the elapsed time, the next-asset strip, the
// playback area, the spinner and the message line. It is presented in the main window by the
// editing screen and dismissed back to it; as the window's content it hears the window.
#include <memory>

#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace qrn::ui {
class ProgressIndicator;
class TextField;
class TextView;
class Button;
} // namespace qrn::ui

class recordViewController : public qrn::ui::ViewController, public qrn::ui::WindowDelegate {
  public:
    void windowWillClose(qrn::ui::Window& w) override;
    void windowDidMove(qrn::ui::Window& w) override;
    void windowDidResize(qrn::ui::Window& w) override;
    void windowWillMiniaturize(qrn::ui::Window& w) override;
    void windowDidDeminiaturize(qrn::ui::Window& w) override;
    void windowDidBecomeKey(qrn::ui::Window& w) override;

    // The record button's action: stop, cancel the countdown or start, by the take's state.
    void startRecording();

    // Outlets (the scene is built in code).
    std::shared_ptr<qrn::ui::View> mainView;
    std::shared_ptr<qrn::ui::View> recordingView;
    std::shared_ptr<qrn::ui::ProgressIndicator> videoLoadingIcon;
    std::shared_ptr<qrn::ui::TextField> videoLabel;
    std::shared_ptr<qrn::ui::View> playbackView;
    std::shared_ptr<qrn::ui::Button> recordButton;
    std::shared_ptr<qrn::ui::TextView> timerTextView;
    std::shared_ptr<qrn::ui::View> nextAssetParent;
    std::shared_ptr<qrn::ui::View> nextAssetPreview;
    std::shared_ptr<qrn::ui::TextView> nextAssetNumberOne;
    std::shared_ptr<qrn::ui::TextView> nextAssetNumberTwo;

  protected:
    void loadView() override;
    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewWillDisappear() override;
};

// The next-asset preview: a click steps to the next asset and goes no further.
class recordPreviewView : public qrn::ui::View {
  public:
    using View::View;
    void mouseDown(const qrn::ui::Event& e) override;
};

// The picture: a click on a layer it shows steps to the next asset while recording; a click on
// the bare camera picture does nothing.
class recordPictureView : public qrn::ui::View {
  public:
    using View::View;
    void mouseDown(const qrn::ui::Event& e) override;
};
