#include "Filters/ChromaKey/RGB/chromaKeyRgbClass.h"

#include <algorithm>

#include "Controller/Global/dataLoggingClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/stylingClass.h"
#include "platform/foundation/main_queue.h"

namespace {

std::shared_ptr<colourSwatch> swatchOutlet;
std::shared_ptr<filterSlider> rangeSliderOutlet;
std::any colourChangeResponder;
qrn::GenerationCounter changeGeneration;

const std::vector<double> kDefaultKeyColour{32.0, 255.0, 0.0, 1.0};
const double kDefaultRange = 10.0;
const double kChangeDelay = 0.05;

struct keySettings {
    std::vector<double> colour = kDefaultKeyColour;
    double range = kDefaultRange;
};

// A layer's entry starts with its image; after it (or from the start) come key colour and range.
keySettings storedKey(const std::optional<filterValuesEntry>& entry) {
    keySettings key;
    if (!entry || entry->empty())
        return key;
    const std::size_t first = (*entry)[0].isImage() ? 1 : 0;
    const auto colour = first < entry->size() ? colourArrayOf((*entry)[first]) : std::nullopt;
    if (!colour)
        return key;
    key.colour = *colour;
    key.range = first + 1 < entry->size() ? (*entry)[first + 1].toReal(kDefaultRange) : kDefaultRange;
    return key;
}

void reapply(int generation, std::optional<qrn::Colour> colour, bool filterForVideo) {
    if (!changeGeneration.isCurrent(generation) || !swatchOutlet || !rangeSliderOutlet)
        return;
    if (!colour)
        colour = swatchOutlet->layerBackgroundColour();
    if (!colour)
        colour = stylingClass().arrayToColour(kDefaultKeyColour);
    const auto id = filterClass().filterIndex("ChromaKeyRgb");
    if (!id)
        return;
    const std::vector<double> key = stylingClass().colourToArray(*colour, std::nullopt, true);
    // A range below zero would key nothing; the slider should not be able to give one.
    const double range = std::max(0.0, rangeSliderOutlet->value());
    filterValuesEntry entry;
    if (const auto stored = storedFilterEntry("ChromaKeyRgb", filterForVideo);
        stored && !stored->empty() && (*stored)[0].isImage())
        entry.push_back((*stored)[0]);
    entry.emplace_back(qrn::ColourArray(key));
    entry.emplace_back(range);
    entry.emplace_back(0);
    entry.emplace_back(0);
    filterEditing().applyFilter(true, *id, entry, filterForVideo, true);
}

qrn::Value optionalValue(const std::optional<double>& v) {
    return v ? qrn::Value(*v) : qrn::Value();
}
qrn::Value optionalValue(const std::optional<int>& v) {
    return v ? qrn::Value(*v) : qrn::Value();
}

} // namespace

void chromaKeyRgbClass::setPanelOutlets(std::shared_ptr<colourSwatch> swatch,
                                        std::shared_ptr<filterSlider> rangeSlider) {
    swatchOutlet = std::move(swatch);
    rangeSliderOutlet = std::move(rangeSlider);
}

void chromaKeyRgbClass::setColourChangeResponder(std::any responder) {
    colourChangeResponder = std::move(responder);
}

void chromaKeyRgbClass::openColourPanel(std::optional<bool> filterForVideo) {
    QRN_LOG_IN(std::nullopt);
    keySettings key;
    // A panel in the camera's list keys the camera whatever the preview has selected.
    const bool video = filterForVideo.value_or(filterEditing().isVideoLayerSelected());
    if (video || filterEditing().isLayerSelected())
        key = storedKey(storedFilterEntry("ChromaKeyRgb", video));
    globalAppSettingsClass().setColourChangeResponderClass(colourChangeResponder);
    if (auto panel = sharedColourPanel())
        panel->show(stylingClass().arrayToColour(key.colour), false, colourChangeResponder);
    QRN_LOG_OUT(LogValues{{"RGB_VALUES_ARRAY", qrn::Value(qrn::ColourArray(key.colour))}});
}

void chromaKeyRgbClass::changeSliderValues(const std::optional<std::vector<double>>& RGB_VALUES_ARRAY,
                                           std::optional<double> rangeValue,
                                           std::optional<int> saturationRangeValue,
                                           std::optional<int> brightnessRangeValue, bool filterForVideo) {
    QRN_LOG_IN(LogValues{{"RGB_VALUES_ARRAY",
                          RGB_VALUES_ARRAY ? qrn::Value(qrn::ColourArray(*RGB_VALUES_ARRAY)) : qrn::Value()},
                         {"rangeValue", optionalValue(rangeValue)},
                         {"saturationRangeValue", optionalValue(saturationRangeValue)},
                         {"brightnessRangeValue", optionalValue(brightnessRangeValue)},
                         {"filterForVideo", filterForVideo}});
    if (!swatchOutlet || !rangeSliderOutlet) {
        QRN_LOG_OUT(std::nullopt);
        return;
    }
    keySettings key;
    if (RGB_VALUES_ARRAY) {
        key.colour = *RGB_VALUES_ARRAY;
        key.range = rangeValue.value_or(kDefaultRange);
    } else {
        key = storedKey(storedFilterEntry("ChromaKeyRgb", filterForVideo));
    }
    swatchOutlet->setLayerBackgroundColour(stylingClass().arrayToColour(key.colour));
    swatchOutlet->setLayerBorder(1.0, stylingClass().getColour(0), 4.0);
    rangeSliderOutlet->setValue(key.range);
    QRN_LOG_OUT(LogValues{{"slider value", key.range}});
}

void chromaKeyRgbClass::sliderChanged(const std::optional<qrn::Colour>& colour, bool filterForVideo) {
    QRN_LOG_IN(LogValues{{"filterForVideo", filterForVideo}});
    const int generation = changeGeneration.increment();
    if (colour && swatchOutlet)
        swatchOutlet->setLayerBackgroundColour(*colour);
    qrn::MainQueue::after(
        kChangeDelay, [generation, colour, filterForVideo] { reapply(generation, colour, filterForVideo); });
    QRN_LOG_OUT(std::nullopt);
}
