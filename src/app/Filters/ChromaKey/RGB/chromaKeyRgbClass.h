#pragma once
// The chroma key panel's logic: the key colour swatch, the range slider and the colour panel,
// and turning the user's changes into a new chroma key entry for the video or the selected layer.
#include <any>
#include <memory>
#include <optional>
#include <vector>

#include "Filters/filterServices.h"

class chromaKeyRgbClass {
  public:
    virtual ~chromaKeyRgbClass() = default;

    // The panel sets its controls when it loads, and itself as the colour panel's target.
    void setPanelOutlets(std::shared_ptr<colourSwatch> swatch, std::shared_ptr<filterSlider> rangeSlider);
    void setColourChangeResponder(std::any responder);

    // Shows the shared colour panel on the current key colour: that of the given target (the
    // video or the selected layer), or without one, of the preview's selection.
    virtual void openColourPanel(std::optional<bool> filterForVideo = std::nullopt);
    // Shows a key colour and range on the swatch and slider: the given ones, or with no colour
    // those stored for the target. Does nothing before the panel has loaded.
    virtual void changeSliderValues(const std::optional<std::vector<double>>& RGB_VALUES_ARRAY,
                                    std::optional<double> rangeValue, std::optional<int> saturationRangeValue,
                                    std::optional<int> brightnessRangeValue, bool filterForVideo);
    // A slider or colour change: applied 0.05 s later unless another change comes first.
    virtual void sliderChanged(const std::optional<qrn::Colour>& colour, bool filterForVideo);
};
