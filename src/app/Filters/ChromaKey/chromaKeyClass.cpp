#include "Filters/ChromaKey/chromaKeyClass.h"

#include <memory>

#include "Controller/Global/dataLoggingClass.h"
#include "Model/stylingClass.h"
#include "platform/imaging/filters.h"

namespace {

constexpr int kCubeDimension = 64;

// Building the table takes a quarter of a million hue calculations; a live picture asks for
// the same key over and over, so the last table is kept and shared.
struct cachedCube {
    double red, green, blue, range;
    std::shared_ptr<const qrn::imaging::ColourCube> cube;
};
std::optional<cachedCube> lastCube;

bool hueInWindow(double h, double lo, double hi) {
    if (lo < 0)
        return (h >= lo + 1 && h <= 1) || (h >= 0 && h <= hi);
    if (hi > 1)
        return (h >= 0 && h <= hi - 1) || (h >= lo && h <= 1);
    return h >= lo && h <= hi;
}

std::shared_ptr<const qrn::imaging::ColourCube> buildCube(double keyHue, double range) {
    const double lo = keyHue - range / 100, hi = keyHue + range / 100;
    constexpr int n = kCubeDimension;
    std::vector<float> data;
    data.reserve(4 * static_cast<std::size_t>(n) * n * n);
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                const double red = r / double(n - 1), green = g / double(n - 1), blue = b / double(n - 1);
                const double a = hueInWindow(qrn::imaging::hueOf(red, green, blue), lo, hi) ? 0.0 : 1.0;
                data.push_back(static_cast<float>(red * a));
                data.push_back(static_cast<float>(green * a));
                data.push_back(static_cast<float>(blue * a));
                data.push_back(static_cast<float>(a));
            }
    return std::make_shared<const qrn::imaging::ColourCube>(n, std::move(data));
}

} // namespace

std::optional<filterResult> chromaKeyClass::chromaKeyFilter(const qrn::Value& image,
                                                            const std::vector<double>& RGB_VALUES_ARRAY,
                                                            int saturationRangeValue,
                                                            int brightnessRangeValue, bool returnFilter,
                                                            double rangeValue) {
    QRN_LOG_IN(LogValues{{"image", image},
                         {"RGB_VALUES_ARRAY", qrn::Value(qrn::ColourArray(RGB_VALUES_ARRAY))},
                         {"saturationRangeValue", saturationRangeValue},
                         {"brightnessRangeValue", brightnessRangeValue}});
    // A range that is not a number keys nothing sensible; no filter rather than a garbage table.
    if (rangeValue != rangeValue) {
        QRN_LOG_OUT(LogValues{{"filter", qrn::Value()}});
        return std::nullopt;
    }
    const qrn::Colour key = stylingClass().arrayToColour(RGB_VALUES_ARRAY);
    if (!lastCube || lastCube->red != key.red || lastCube->green != key.green || lastCube->blue != key.blue ||
        lastCube->range != rangeValue) {
        lastCube = cachedCube{key.red, key.green, key.blue, rangeValue,
                              buildCube(qrn::imaging::hueOf(key.red, key.green, key.blue), rangeValue)};
    }
    auto filter = std::make_shared<qrn::imaging::ColourCubeFilter>(lastCube->cube);
    const filterResult result = filterResultFor(filter, image, returnFilter);
    QRN_LOG_OUT(filterResultLogValues(result));
    return result;
}
