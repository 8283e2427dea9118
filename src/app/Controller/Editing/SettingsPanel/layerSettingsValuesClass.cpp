#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
std::function<void(int)> actionHandler;
}

void layerSettingsValuesClass::layerSettingOnclick(int number) {
    QRN_LOG_IN(LogValues{{"number", number}});
    if (actionHandler)
        actionHandler(number);
}

void layerSettingsValuesClass::setActionHandler(std::function<void(int)> handler) {
    actionHandler = std::move(handler);
}
