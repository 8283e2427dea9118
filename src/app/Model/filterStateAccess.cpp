#include "Model/filterStateAccess.h"

// Holds the arrays itself until the filter classes take them over; then each method forwards.
namespace {

constexpr int filterCount = 3; // "ChromaKeyRgb", "BoxBlur", "Median"

std::vector<bool> VIDEO_FILTER(filterCount, false);
filterValuesArray VIDEO_FILTER_VALUES(filterCount, filterValuesEntry{qrn::Value()});
std::vector<std::vector<std::vector<bool>>> LAYER_FILTER;
std::vector<std::vector<std::vector<int>>> LAYER_FILTER_ORDER;
std::vector<std::vector<filterValuesArray>> LAYER_FILTER_VALUES;

} // namespace

std::vector<bool> filterStateAccess::getVideoFilter() {
    return VIDEO_FILTER;
}
void filterStateAccess::setVideoFilter(std::vector<bool> value) {
    VIDEO_FILTER = std::move(value);
}
filterValuesArray filterStateAccess::getVideoFilterValues() {
    return VIDEO_FILTER_VALUES;
}
void filterStateAccess::setVideoFilterValues(filterValuesArray value) {
    VIDEO_FILTER_VALUES = std::move(value);
}
std::vector<std::vector<std::vector<bool>>> filterStateAccess::getLayerFilter() {
    return LAYER_FILTER;
}
void filterStateAccess::setLayerFilter(std::vector<std::vector<std::vector<bool>>> value) {
    LAYER_FILTER = std::move(value);
}
std::vector<std::vector<std::vector<int>>> filterStateAccess::getLayerFilterOrder() {
    return LAYER_FILTER_ORDER;
}
void filterStateAccess::setLayerFilterOrder(std::vector<std::vector<std::vector<int>>> value) {
    LAYER_FILTER_ORDER = std::move(value);
}
std::vector<std::vector<filterValuesArray>> filterStateAccess::getLayerFilterValues() {
    return LAYER_FILTER_VALUES;
}
void filterStateAccess::setLayerFilterValues(std::vector<std::vector<filterValuesArray>> value) {
    LAYER_FILTER_VALUES = std::move(value);
}

void filterStateAccess::clearClass() {
    VIDEO_FILTER.assign(filterCount, false);
    VIDEO_FILTER_VALUES.assign(filterCount, filterValuesEntry{qrn::Value()});
    LAYER_FILTER = {{}};
    LAYER_FILTER_ORDER = {{}};
    LAYER_FILTER_VALUES = {{}};
}
