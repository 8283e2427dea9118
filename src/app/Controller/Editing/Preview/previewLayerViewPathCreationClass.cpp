#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"

#include <cmath>
#include <numbers>

#include "Controller/Global/dataLoggingClass.h"

namespace {
std::vector<std::vector<layerPathEntry>> PATHS_ARRAY;
} // namespace

void previewLayerViewPathCreationClass::setPathsArray(std::vector<std::vector<layerPathEntry>> paths) {
    QRN_LOG_IN(std::nullopt);
    PATHS_ARRAY = std::move(paths);
}

std::vector<std::vector<layerPathEntry>> previewLayerViewPathCreationClass::getPathsArray() {
    return PATHS_ARRAY;
}

const std::vector<std::vector<layerPathEntry>>& previewLayerViewPathCreationClass::pathsArrayReference() {
    return PATHS_ARRAY;
}

std::vector<std::vector<layerPathEntry>>& previewLayerViewPathCreationClass::pathsArrayForUpdate() {
    return PATHS_ARRAY;
}

qrn::Point previewLayerViewPathCreationClass::calculateSingleSquarePoint(int corner, const qrn::Rect& frame,
                                                                         double angleR) {
    const double w = frame.size.width, h = frame.size.height;
    const double mx = frame.origin.x + w / 2, my = frame.origin.y + h / 2;
    const double r = std::sqrt((w / 2) * (w / 2) + (h / 2) * (h / 2));
    const double a = std::atan(w / h);
    const double theta = (corner == 0 || corner == 2) ? a - angleR : std::numbers::pi - a - angleR;
    const qrn::Point point = (corner == 1 || corner == 2)
                                 ? qrn::Point{mx + r * std::sin(theta), my + r * std::cos(theta)}
                                 : qrn::Point{mx - r * std::sin(theta), my - r * std::cos(theta)};
    QRN_LOG_OUT(LogValues{{"square point origin x", point.x}, {"square point origin y", point.y}});
    return point;
}

std::vector<qrn::Point> previewLayerViewPathCreationClass::allSquarePoints(const qrn::Rect& frame,
                                                                           double angleR) {
    return {calculateSingleSquarePoint(0, frame, angleR), calculateSingleSquarePoint(1, frame, angleR),
            calculateSingleSquarePoint(2, frame, angleR), calculateSingleSquarePoint(3, frame, angleR)};
}

qrn::Path previewLayerViewPathCreationClass::createPathFromSquarePoints(const qrn::ui::View*,
                                                                        const qrn::Rect& frame,
                                                                        double angleR) {
    qrn::Path path;
    path.addPolygon(allSquarePoints(frame, angleR));
    return path;
}
