#include "Filters/BoxBlur/boxBlurClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/imaging/filters.h"

namespace {

std::shared_ptr<filterSlider> blurSlider;

} // namespace

boxBlurClass::boxBlurClass(std::shared_ptr<filterSlider> slider, bool filterForVideo) {
    blurSlider = std::move(slider);
    const double minimum = blurSlider ? blurSlider->minValue() : getMinimumSliderValue();
    double radius = minimum;
    if (const auto entry = storedFilterEntry("BoxBlur", filterForVideo); entry && !entry->empty()) {
        const qrn::Value& first = (*entry)[0];
        if (first.isImage())
            radius = entry->size() > 1 ? (*entry)[1].toReal(minimum) : minimum;
        else if (!first.isEmpty())
            radius = first.toReal(minimum);
    }
    changeSliderValues(static_cast<float>(radius));
}

double boxBlurClass::getMinimumSliderValue() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"minimumSliderValue", 0.0}});
    return 0.0;
}

void boxBlurClass::changeSliderValues(float value) {
    QRN_LOG_IN(LogValues{{"slider value", static_cast<double>(value)}});
    if (blurSlider)
        blurSlider->setValue(value);
    QRN_LOG_OUT(std::nullopt);
}

void boxBlurClass::sliderChanged(bool filterForVideo) {
    QRN_LOG_IN(LogValues{{"filterForVideo", filterForVideo}});
    const auto id = filterClass().filterIndex("BoxBlur");
    if (!blurSlider || !id) {
        QRN_LOG_OUT(std::nullopt);
        return;
    }
    const double radius = blurSlider->value();
    filterValuesEntry entry;
    if (const auto stored = storedFilterEntry("BoxBlur", filterForVideo);
        stored && !stored->empty() && (*stored)[0].isImage())
        entry.push_back((*stored)[0]);
    entry.emplace_back(radius);
    filterEditing().applyFilter(true, *id, entry, filterForVideo, true);
    QRN_LOG_OUT(LogValues{{"slider value", radius}});
}

std::optional<filterResult> boxBlurClass::boxBlurFilter(const qrn::Value& image, bool returnFilter,
                                                        double radius) {
    QRN_LOG_IN(LogValues{{"image", image}, {"value", radius}});
    auto filter = std::make_shared<qrn::imaging::BoxBlurFilter>(radius);
    const filterResult result = filterResultFor(filter, image, returnFilter);
    QRN_LOG_OUT(filterResultLogValues(result));
    return result;
}
