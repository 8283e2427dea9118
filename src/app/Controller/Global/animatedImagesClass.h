#pragma once
// Animated symbols: a list of frame images shown one after another in a loop, one subview (or
// sublayer) per frame, each with an opacity animation that makes it opaque during its own slot
// of the cycle. The animations start at the media time origin, so the same view plays the same
// way in the preview and in a composed movie.
#include <memory>
#include <vector>

#include "platform/foundation/geometry.h"
#include "platform/foundation/value.h"

namespace qrn::ui {
class View;
}

class animatedImages {
  public:
    // The view takes the parent's layer bounds as its frame when a parent is given, else
    // (origin, size). Frames are subviews with type true, sublayers with false. Without
    // startAnimating only the first frame shows.
    std::shared_ptr<qrn::ui::View> createAnimatedImage(const std::shared_ptr<qrn::ui::View>& parentView,
                                                       double animationDuration,
                                                       const std::vector<qrn::ImageHandle>& animationImages,
                                                       qrn::Point origin, qrn::Size size, bool startAnimating,
                                                       bool type);
};
