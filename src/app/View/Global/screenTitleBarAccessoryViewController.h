#pragma once
// The strip above the content of the main window that carries the editor's or the studio's
// title-bar buttons. Each bar is made once per window and reused.
#include <memory>

#include "platform/ui/view_controller.h"

class titleBarContentController;

class screenTitleBarAccessoryViewController : public qrn::ui::ViewController {
  public:
    static constexpr double titleBarHeight = 38.0;

    // true shows the editor's bar, false the studio's.
    void loadView(bool firstScreen);

    // Both bars are let go when the editor or studio window closes.
    static void clearCachedTitleBars();
    static std::shared_ptr<titleBarContentController> getCachedTitleBar(bool firstScreen);

  protected:
    void loadView() override;
};
