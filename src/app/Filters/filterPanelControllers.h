#pragma once
// The settings panels of the filters, each a scene named like its filter: the RGB chroma key
// (key colour swatch and range slider), the box blur (radius slider) and the median (no
// controls); and two panels only a scene shows: the chroma key container ("ChromaKey") and the
// hue chroma key ("ChromaKeyHue") with its colour wheel, whose controls nothing reads.
#include <memory>
#include <optional>

#include "Filters/filterServices.h"
#include "platform/ui/view_controller.h"

namespace qrn::ui {
class Slider;
class Stepper;
class TextField;
} // namespace qrn::ui
class chromaKeyRgbClass;
class boxBlurClass;

// The key colour swatch: a click opens the colour panel on the key colour.
class colourPanelButtonView : public qrn::ui::View {
  public:
    using View::View;
    void mouseDown(const qrn::ui::Event& event) override;
    // The target of the panel it belongs to: the video's key or the selected layer's.
    std::optional<bool> keyForVideo;
};

class chromaKeyRgbController : public qrn::ui::ViewController, public colourChangeTarget {
  public:
    std::shared_ptr<colourPanelButtonView> colourPickerButton;
    std::shared_ptr<qrn::ui::Slider> rangeSlider;
    // Taken from the list being built: a panel of the video's list acts on the video.
    bool filterForVideo = false;

    bool acceptsFirstResponder() const override { return true; }
    void rangeSliderAction();
    // The colour panel's change; only for the panel that opened it last, and not while the
    // screens are being switched.
    void changeColor(const qrn::Colour& colour) override;

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillDisappear() override;
};

class boxBlurController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::Slider> sliderView;
    bool filterForVideo = false;
    void sliderValues();

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillDisappear() override;
};

class medianController : public qrn::ui::ViewController {
  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillDisappear() override;
};

// Loads the RGB chroma key panel into its container.
class chromaKeyViewsClass {
  public:
    void loadView(bool forceLoad);
};

class chromaKeyViewsController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::View> viewContainer;

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillDisappear() override;
};

// A circle with a wedge from start to end (percent of the circle).
class chromaKeyColourWheel : public qrn::ui::View {
  public:
    using View::View;
    void draw(QPainter& painter, const qrn::Rect& dirty) override;
    void drawPieChart(double start, double end);
    // The circle: inset 4 from the left and 1 from the bottom, as wide as the view less 8.
    qrn::Rect circleRect() const;
    static std::optional<double> wedgeStart();
    static std::optional<double> wedgeEnd();
};

class chromaKeyHueController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::Slider> sliderFrom, sliderTo;
    std::shared_ptr<qrn::ui::TextField> sliderFromPercentageField, sliderToPercentageField;
    std::shared_ptr<qrn::ui::Stepper> sliderFromStepper, sliderToStepper;
    std::shared_ptr<chromaKeyColourWheel> wheel;

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillDisappear() override;
};

// Registers the panels' scenes.
void registerFilterPanelScenes();
