#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
std::vector<std::vector<QPainterPath>> pathsArray;
} // namespace

void previewLayerViewPathCreationClass::setPathsArray(std::vector<std::vector<QPainterPath>> paths) {
    QRN_LOG_IN(std::nullopt);
    pathsArray = std::move(paths);
}

std::vector<std::vector<QPainterPath>> previewLayerViewPathCreationClass::getPathsArray() {
    return pathsArray;
}
