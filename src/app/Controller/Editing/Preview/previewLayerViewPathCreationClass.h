#pragma once
// Hit paths of the preview's layers: one row per asset, one [layer view, hit path] entry per
// layer in LAYER_ARRAY order. A path is the layer's stored rectangle turned about its centre,
// in the preview view's coordinates (y up).
#include <memory>
#include <vector>

#include "platform/foundation/geometry.h"

namespace qrn::ui {
class View;
}

struct layerPathEntry {
    std::shared_ptr<qrn::ui::View> view;
    qrn::Path path;
};

class previewLayerViewPathCreationClass {
  public:
    void setPathsArray(std::vector<std::vector<layerPathEntry>> pathsArray);
    std::vector<std::vector<layerPathEntry>> getPathsArray();
    // The rows as stored, for the hit test, which must not copy them per click.
    const std::vector<std::vector<layerPathEntry>>& pathsArrayReference();
    // The same for changing one entry: copying every row per layer made opening a large project
    // quadratic.
    std::vector<std::vector<layerPathEntry>>& pathsArrayForUpdate();

    // Corner 0 bottom-left, 1 bottom-right, 2 top-right, 3 top-left of the frame, turned by
    // angleR (radians, counter-clockwise) about its centre.
    qrn::Point calculateSingleSquarePoint(int corner, const qrn::Rect& nonRotatedSquareFrame, double angleR);
    std::vector<qrn::Point> allSquarePoints(const qrn::Rect& nonRotatedSquareFrame, double angleR);
    // The closed quadrilateral of the four corners.
    qrn::Path createPathFromSquarePoints(const qrn::ui::View* view, const qrn::Rect& frame, double angleR);
};
