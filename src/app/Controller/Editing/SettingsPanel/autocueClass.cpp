#include "Controller/Editing/SettingsPanel/autocueClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
bool scriptEditorWindowOpen = false;
std::function<void(bool)> windowHandler;
} // namespace

void autocueClass::displayAutocueWindow(bool forceClose) {
    QRN_LOG_IN(LogValues{{"forceClose", forceClose}});
    if (scriptEditorWindowOpen) {
        scriptEditorWindowOpen = false;
        if (windowHandler)
            windowHandler(false);
    } else if (!forceClose) {
        scriptEditorWindowOpen = true;
        if (windowHandler)
            windowHandler(true);
    }
    QRN_LOG_OUT(LogValues{{"scriptEditorWindowOpen", scriptEditorWindowOpen}});
}

bool autocueClass::getScriptEditorWindowOpen() {
    return scriptEditorWindowOpen;
}

void autocueClass::setWindowHandler(std::function<void(bool)> handler) {
    windowHandler = std::move(handler);
}
