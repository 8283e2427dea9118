#include "View/Editing/editScreenTitleBarController.h"

#include "Controller/Global/dataLoggingClass.h"

void editScreenTitleBarController::loadView() {
    setView(qrn::ui::View::make(qrn::Rect(0, 0, 480, 38)));
}

void editScreenTitleBarController::loadContent() {
    QRN_LOG_IN();
}
