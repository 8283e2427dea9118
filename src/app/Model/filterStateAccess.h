#pragma once
// The filter state that the project model and its file read and write: the video's flags and
// values and, per asset and layer, each layer's flags, order and values. A values entry is a
// list of slots (empty, an image, a colour array, a number); an absent entry is std::nullopt.
// The model reaches the filter state only through here.
#include <optional>
#include <vector>

#include "platform/foundation/value.h"

using filterValuesEntry = qrn::Value::List;
using filterValuesArray = std::vector<std::optional<filterValuesEntry>>;

class filterStateAccess {
  public:
    std::vector<bool> getVideoFilter();
    void setVideoFilter(std::vector<bool> VIDEO_FILTER);
    filterValuesArray getVideoFilterValues();
    void setVideoFilterValues(filterValuesArray VIDEO_FILTER_VALUES);
    std::vector<std::vector<std::vector<bool>>> getLayerFilter();
    void setLayerFilter(std::vector<std::vector<std::vector<bool>>> LAYER_FILTER);
    std::vector<std::vector<std::vector<int>>> getLayerFilterOrder();
    void setLayerFilterOrder(std::vector<std::vector<std::vector<int>>> LAYER_FILTER_ORDER);
    std::vector<std::vector<filterValuesArray>> getLayerFilterValues();
    void setLayerFilterValues(std::vector<std::vector<filterValuesArray>> LAYER_FILTER_VALUES);
    // Video defaults and one empty asset row, as for a new project.
    void clearClass();
};
