#pragma once
// The recording studio's title-bar buttons: back to the editing screen, the autocue, the camera
// and microphone chooser, and after a take the dismiss and save of its playback. The bar hands
// its buttons to the studio, which shows, hides and enables them as a take goes.
#include <memory>

#include "View/Global/titleBarContentController.h"

class svgButtonClass;

class recordScreenTitleBarController : public titleBarContentController {
  public:
    // Highlights the chooser's button once the chooser has been loaded in this run.
    void loadContent() override;

    // Back to the editing screen, unless a take is being played back; the icons lose any tint
    // half a second later.
    void dismiss();
    // Act only while their icons are enabled.
    void dismissPlayback();
    void savePlayback();
    // Opens the autocue window, or brings it to the front.
    void autocueSettings();
    // Opens the camera and microphone chooser, or brings it to the front.
    void videoSettings();

    std::shared_ptr<svgButtonClass> buttonEditingView;
    std::shared_ptr<svgButtonClass> buttonAutocueSettingsView;
    std::shared_ptr<svgButtonClass> buttonVideoSettingsView;
    std::shared_ptr<svgButtonClass> buttonDismissPlayback;
    std::shared_ptr<svgButtonClass> buttonSavePlayback;

  protected:
    void loadView() override;
    void viewDidLoad() override;
};
