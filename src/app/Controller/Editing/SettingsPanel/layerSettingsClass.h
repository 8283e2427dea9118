#pragma once
// The settings values of the video layer and of every layer (by asset, then layer). The project
// only carries them; their meaning belongs to the settings panes.
#include <vector>

#include "platform/foundation/value.h"

class layerSettingsClass {
  public:
    qrn::Value::List getVideoSettings();
    void setVideoSettings(qrn::Value::List VIDEO_SETTINGS_ARRAY);
    std::vector<std::vector<qrn::Value::List>> getLayerSettings();
    void setLayerSettings(std::vector<std::vector<qrn::Value::List>> LAYER_SETTINGS_ARRAY);
};
