#include "Controller/Recording/videoSettingsClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
std::function<void()> closeHandler;
}

void videoSettingsClass::closeWindow() {
    QRN_LOG_IN();
    if (closeHandler)
        closeHandler();
}

void videoSettingsClass::setCloseHandler(std::function<void()> handler) {
    closeHandler = std::move(handler);
}
