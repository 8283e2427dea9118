#pragma once
// The 3 x 3 median filter; it has no parameters.
#include <optional>

#include "Controller/Global/filterClass.h"

class medianClass {
  public:
    // image: a value that may hold an image. The filtered image when it holds one and
    // returnFilter is false; otherwise the median filter object.
    std::optional<filterResult> medianFilter(const qrn::Value& image, bool returnFilter);
};
