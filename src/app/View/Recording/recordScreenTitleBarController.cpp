#include "View/Recording/recordScreenTitleBarController.h"

#include "Controller/Global/dataLoggingClass.h"

void recordScreenTitleBarController::loadView() {
    setView(qrn::ui::View::make(qrn::Rect(0, 0, 480, 38)));
}

void recordScreenTitleBarController::loadContent() {
    QRN_LOG_IN();
}
