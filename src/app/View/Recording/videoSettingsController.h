#pragma once
// The camera and microphone chooser's panel: an icon and a list each for the camera (the list
// named "video") and the microphone, and the camera picture's filter list below them.
#include <memory>

#include "platform/ui/view_controller.h"

namespace qrn::ui {
class ComboBox;
}
class videoSettingsClass;

class videoSettingsController : public qrn::ui::ViewController {
  public:
    // Outlets (the panel is built in code).
    std::shared_ptr<qrn::ui::View> videoIconView;
    std::shared_ptr<qrn::ui::ComboBox> videoCombobox;
    std::shared_ptr<qrn::ui::View> audioIconView;
    std::shared_ptr<qrn::ui::ComboBox> audioCombobox;
    std::shared_ptr<qrn::ui::View> filterSettingsView;

    void mouseEntered(const qrn::ui::Event& e) override;
    void mouseExited(const qrn::ui::Event& e) override;
    void mouseUp(const qrn::ui::Event& e) override;
    void mouseDragged(const qrn::ui::Event& e) override;

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear() override;
    void viewWillDisappear() override;
    void viewDidDisappear() override;

  private:
    // The logic object the panel keeps while it lives (it is the lists' listener).
    std::shared_ptr<videoSettingsClass> videoSettingsObject;
    // Keeps or drops the highlight of the current title bar's video-settings button.
    void highlightTitleBarButton(bool keep);
};
