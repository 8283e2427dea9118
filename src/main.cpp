#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

#include "Filters/filterServices.h"
#include "platform/foundation/colour.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/ui/application.h"
#include "platform/ui/menu.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"

namespace {

// Opens the main window; the screens that fill it come with the application's own code.
class StartupDelegate : public qrn::ui::ApplicationDelegate {
  public:
    void applicationDidFinishLaunching() override {
        // Centred on the primary screen, and never larger than it.
        qrn::Rect screen = qrn::qt::screenRectFromQt(QGuiApplication::primaryScreen()->availableGeometry());
        double width = std::min(1280.0, screen.width()), height = std::min(800.0, screen.height());
        window_ = qrn::ui::Window::make(
            qrn::Rect(screen.midX() - width / 2, screen.midY() - height / 2, width, height));
        window_->setTitle("QRN");
        auto content = qrn::ui::View::make(qrn::Rect(0, 0, width, height));
        if (auto background = qrn::namedColour("background_colour_dark_dark", true))
            content->layer()->setBackgroundColour(*background);
        content->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
        window_->setContentView(content);
        if (!qrn::mainMenu())
            qrn::setMainMenu(qrn::makeStandardMainMenu("QRN"));
        connectWindowCommands();
        qrn::qt::showMainMenuBar(*window_);
        // The menu bar above the content is part of what has to fit and be centred.
        if (auto* host = qrn::qt::hostWidget(*window_); host && host->topInset() > 0) {
            const double bar = host->topInset();
            const double total = std::min(height + bar, screen.height());
            window_->setFrame(
                qrn::Rect(screen.midX() - width / 2, screen.midY() - total / 2, width, total - bar));
        }
        window_->makeKeyAndOrderFront();
    }
    bool applicationShouldTerminateAfterLastWindowClosed() override { return true; }

  private:
    // Quitting and closing work from the start; the other commands come with the screens.
    static void connectWindowCommands() {
        for (const auto& top : qrn::mainMenu()->items()) {
            if (!top->hasSubmenu())
                continue;
            if (auto quit = top->submenu()->itemWithTitle("Quit QRN"))
                quit->setAction([](qrn::MenuItem&) { qrn::ui::Application::shared().terminate(); });
            if (auto close = top->submenu()->itemWithTitle("Close"))
                close->setAction([](qrn::MenuItem&) {
                    if (auto* key = qrn::ui::Window::keyWindow())
                        key->performClose();
                });
        }
    }

    qrn::ui::WindowPtr window_;
};

} // namespace

int main(int argc, char** argv) {
    StartupDelegate delegate;
    qrn::installQtDialogs();
    // The filter panels reach the shared colour panel through their own interface.
    setSharedColourPanel(makeSharedColourPanelAdapter());
    return qrn::qt::runApplication(argc, argv, delegate);
}
