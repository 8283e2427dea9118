#pragma once
// Fitting a size into a rectangle while keeping its aspect ratio.
#include <optional>

#include "platform/foundation/geometry.h"

class viewSizingClass {
  public:
    // A size that fits is scaled up to touch the bounds. One that does not is limited by width
    // when it is wider than boundsAspectRatio (default: the bounds' own ratio), else by height;
    // a tie is height-limited, so the result may be wider than the bounds.
    qrn::Size resizeToBoundsWithAspectRatio(qrn::Size sizeValue, const qrn::Rect& bounds,
                                            std::optional<double> boundsAspectRatio);
};
