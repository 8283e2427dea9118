#include "Controller/Editing/viewLoaderClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/view_controller.h"

namespace {
std::shared_ptr<qrn::ui::ViewController> viewLoaderControllerReference;
}

void viewLoaderClass::setViewLoaderController(std::shared_ptr<qrn::ui::ViewController> controller) {
    QRN_LOG_IN(LogValues{{"viewLoaderControllerReference", controller != nullptr}});
    viewLoaderControllerReference = std::move(controller);
}

std::shared_ptr<qrn::ui::ViewController> viewLoaderClass::getViewLoaderController() {
    return viewLoaderControllerReference;
}
