#pragma once
// Pictures from files that move (GIFs): the layer's view, the layer list's tile and the layer
// settings' thumbnail play them; the asset strip shows their first frame.
#include <optional>
#include <string>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "platform/ui/image_view.h"

// The frames of the picture file a layer shows: `file` when given (a drop, before the copy in
// the project exists), else the project's copy named by a file reference. None for a still
// picture, a bundle image, an animated symbol or a text, and for a file that cannot be read.
// Frames are held at most at `drawnSize` pixels, within the budget of one animated picture.
std::optional<qrn::ui::AnimatedImage> animatedPictureOf(const imageReferenceArray& reference,
                                                        const std::optional<std::string>& file,
                                                        QSize drawnSize = {});
// The frames that the preview's view of layer `layerId` plays, when it shows a moving picture.
std::optional<qrn::ui::AnimatedImage> movingPictureShownFor(int layerId);
