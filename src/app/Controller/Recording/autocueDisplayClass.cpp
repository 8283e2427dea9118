#include "Controller/Recording/autocueDisplayClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
std::function<void()> closeHandler;
}

void autocueDisplayClass::closeWindow() {
    QRN_LOG_IN();
    if (closeHandler)
        closeHandler();
}

void autocueDisplayClass::setCloseHandler(std::function<void()> handler) {
    closeHandler = std::move(handler);
}
