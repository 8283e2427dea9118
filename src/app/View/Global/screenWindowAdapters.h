#pragma once
// How the model and the settings reach a screen's controller and window: the window frame to
// remember, the window saving blocks resizing of, and the title that shows the project.
#include <memory>

#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"

namespace qrn::ui {
class ViewController;
class Window;
} // namespace qrn::ui

class controllerMainViewHost : public MainViewHost {
  public:
    explicit controllerMainViewHost(qrn::ui::ViewController& controller) : controller_(controller) {}
    bool hasWindow() const override;
    qrn::Point windowFrameOrigin() const override;
    qrn::Size viewFrameSize() const override;
    void setWindowContentSize(qrn::Size size) override;
    void setWindowFrameOrigin(qrn::Point origin) override;
    void keepWindowOnScreen() override;
    bool isFullScreen() const override;
    // Records the window as the project's main window and as the main window shown last.
    void makeMainWindow() override;

  private:
    qrn::ui::ViewController& controller_;
};

class windowProjectMainWindow : public projectMainWindow {
  public:
    explicit windowProjectMainWindow(const std::shared_ptr<qrn::ui::Window>& window) : window_(window) {}
    void setResizable(bool resizable) override;
    bool isResizable() const override;
    std::shared_ptr<qrn::ui::ViewController> contentViewController() const override;
    void setTitle(const std::string& title) override;
    std::shared_ptr<qrn::ui::Window> window() const { return window_.lock(); }

  private:
    std::weak_ptr<qrn::ui::Window> window_;
};

class controllerProjectViewController : public projectViewController {
  public:
    explicit controllerProjectViewController(const std::shared_ptr<qrn::ui::ViewController>& controller)
        : controller_(controller) {}
    bool hasWindow() const override;
    void setWindowTitle(const std::string& title) override;
    qrn::ui::Window* window() const;

  private:
    std::weak_ptr<qrn::ui::ViewController> controller_;
};
