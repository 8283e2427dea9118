#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
qrn::Value::List VIDEO_SETTINGS_ARRAY;
std::vector<std::vector<qrn::Value::List>> LAYER_SETTINGS_ARRAY;
} // namespace

qrn::Value::List layerSettingsClass::getVideoSettings() {
    QRN_LOG_IN(LogValues{{"VIDEO_SETTINGS_ARRAY", qrn::Value(VIDEO_SETTINGS_ARRAY)}});
    return VIDEO_SETTINGS_ARRAY;
}

void layerSettingsClass::setVideoSettings(qrn::Value::List value) {
    QRN_LOG_IN(LogValues{{"VIDEO_SETTINGS_ARRAY", qrn::Value(value)}});
    VIDEO_SETTINGS_ARRAY = std::move(value);
}

std::vector<std::vector<qrn::Value::List>> layerSettingsClass::getLayerSettings() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_SETTINGS_ARRAY;
}

void layerSettingsClass::setLayerSettings(std::vector<std::vector<qrn::Value::List>> value) {
    QRN_LOG_IN(std::nullopt);
    LAYER_SETTINGS_ARRAY = std::move(value);
}
