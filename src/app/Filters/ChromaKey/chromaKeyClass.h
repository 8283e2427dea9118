#pragma once
// The RGB chroma key: a colour cube that makes every colour whose hue lies within `rangeValue`
// hundredths of the hue circle of the key colour's hue transparent, and keeps the rest.
#include <optional>
#include <vector>

#include "Controller/Global/filterClass.h"

class chromaKeyClass {
  public:
    // image: a value that may hold an image. The keyed image when it holds one and returnFilter
    // is false; otherwise the colour-cube filter object. The saturation and brightness ranges
    // are carried for the log only.
    std::optional<filterResult> chromaKeyFilter(const qrn::Value& image,
                                                const std::vector<double>& RGB_VALUES_ARRAY,
                                                int saturationRangeValue, int brightnessRangeValue,
                                                bool returnFilter, double rangeValue);
};
