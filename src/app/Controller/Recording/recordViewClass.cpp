#include "Controller/Recording/recordViewClass.h"

#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"

namespace {
bool recordViewSelected = false;
bool recordingInProgress = false;
std::function<void()> dismissHandler;
std::function<void()> clearHandler;
} // namespace

bool recordViewClass::getRecordViewSelected() {
    QRN_LOG_IN(LogValues{{"recordViewSelected", recordViewSelected}});
    return recordViewSelected;
}

bool recordViewClass::getRecordingInProgress() {
    return recordViewSelected && recordingInProgress;
}

void recordViewClass::clearClass() {
    QRN_LOG_IN();
    // A take still under way goes with the studio.
    captureSessionClass().abandonTake();
    if (clearHandler)
        clearHandler();
}

void recordViewClass::dismissView() {
    QRN_LOG_IN();
    if (recordingInProgress)
        return;
    if (dismissHandler)
        dismissHandler();
    recordViewSelected = false;
}

void recordViewClass::setViewLoaderObject(const viewLoaderClass&) {
    QRN_LOG_IN();
}

void recordViewClass::setStudioState(bool shown, bool recording) {
    recordViewSelected = shown;
    recordingInProgress = recording;
}

void recordViewClass::setDismissHandler(std::function<void()> handler) {
    dismissHandler = std::move(handler);
}

void recordViewClass::setClearHandler(std::function<void()> handler) {
    clearHandler = std::move(handler);
}
