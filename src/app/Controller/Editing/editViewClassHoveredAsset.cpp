#include "Controller/Editing/editViewClass.h"

namespace {

std::optional<int> hoveredAssetTag;

} // namespace

void editViewClass::setHoveredAssetTag(std::optional<int> tag) {
    hoveredAssetTag = tag;
}

std::optional<int> editViewClass::getHoveredAssetTag() {
    return hoveredAssetTag;
}
