#include "Controller/Global/mainWindowClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/window.h"

namespace {
bool aWindowIsOpen = false;
std::weak_ptr<qrn::ui::Window> currentMainWindow;
} // namespace

void mainWindowClass::setAWindowIsOpen(bool value) {
    QRN_LOG_IN(LogValues{{"value", value}});
    aWindowIsOpen = value;
}

bool mainWindowClass::getAWindowIsOpen() {
    return aWindowIsOpen;
}

void mainWindowClass::openWindowIfNecessary() {
    QRN_LOG_IN(LogValues{{"aWindowIsOpen", aWindowIsOpen}});
    if (aWindowIsOpen)
        return;
    auto controller = qrn::ui::SceneRegistry::instantiateWindowController("mainWindowController");
    if (!controller) {
        QRN_LOG_ERROR("No main window to open");
        return;
    }
    controller->showWindow();
    aWindowIsOpen = true;
    QRN_LOG_OUT();
}

std::shared_ptr<qrn::ui::Window> mainWindowClass::getCurrentMainWindow() {
    return currentMainWindow.lock();
}

void mainWindowClass::setCurrentMainWindow(const std::shared_ptr<qrn::ui::Window>& window) {
    currentMainWindow = window;
}
