#include "Controller/Global/aboutClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace {
std::shared_ptr<qrn::ui::ViewController> currentAboutController;
}

void aboutClass::closeWindow() {
    QRN_LOG_IN();
    if (!currentAboutController)
        return;
    if (qrn::ui::Window* window = currentAboutController->window(); window && !window->isClosed())
        window->close();
}

void aboutClass::setCurrentAboutController(const std::shared_ptr<qrn::ui::ViewController>& controller) {
    currentAboutController = controller;
}

std::shared_ptr<qrn::ui::ViewController> aboutClass::getCurrentAboutController() {
    return currentAboutController;
}
