#include "Controller/Editing/editViewClass.h"

namespace {
std::function<std::optional<std::vector<double>>()> mainPreviewViewRectSource;
} // namespace

std::vector<double> editViewClass::getMainPreviewViewRectAsArray() {
    if (mainPreviewViewRectSource)
        if (auto rect = mainPreviewViewRectSource())
            return *rect;
    return {0, 0, 556, 313};
}

void editViewClass::setMainPreviewViewRectSource(std::function<std::optional<std::vector<double>>()> source) {
    mainPreviewViewRectSource = std::move(source);
}
