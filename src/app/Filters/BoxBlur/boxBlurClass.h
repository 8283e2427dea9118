#pragma once
// The box blur and its panel slider.
#include <memory>
#include <optional>

#include "Controller/Global/filterClass.h"
#include "Filters/filterServices.h"

class boxBlurClass {
  public:
    boxBlurClass() = default;
    // Makes `slider` the panel's blur slider and shows the target's stored radius on it.
    boxBlurClass(std::shared_ptr<filterSlider> slider, bool filterForVideo);
    virtual ~boxBlurClass() = default;

    // The radius used when none is stored.
    virtual double getMinimumSliderValue();
    virtual void changeSliderValues(float value);
    // Stores the slider's radius for the target (the video, or the selected layer) and re-renders it.
    virtual void sliderChanged(bool filterForVideo);
    // image: a value that may hold an image. The blurred image when it holds one and
    // returnFilter is false; otherwise the blur filter object.
    virtual std::optional<filterResult> boxBlurFilter(const qrn::Value& image, bool returnFilter,
                                                      double radius);
};
