#pragma once
// Hit-test paths of the preview's layers: one row per asset, one path per layer in LAYER_ARRAY
// order.
#include <QPainterPath>

#include <vector>

class previewLayerViewPathCreationClass {
  public:
    void setPathsArray(std::vector<std::vector<QPainterPath>> pathsArray);
    std::vector<std::vector<QPainterPath>> getPathsArray();
};
