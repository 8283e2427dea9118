#include "Filters/filterPanelControllers.h"

#include <QPainter>
#include <QPainterPath>

#include <any>

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/filterOrderedListClass.h"
#include "Filters/BoxBlur/boxBlurClass.h"
#include "Filters/ChromaKey/RGB/chromaKeyRgbClass.h"
#include "Model/globalAppSettingsClass.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"

namespace {

// The panels' controls as the filter classes see them.
class sliderAdapter : public filterSlider {
  public:
    explicit sliderAdapter(std::shared_ptr<qrn::ui::Slider> s) : slider(std::move(s)) {}
    double value() const override { return slider->doubleValue(); }
    void setValue(double v) override { slider->setDoubleValue(v); }
    double minValue() const override { return slider->minValue(); }
    std::shared_ptr<qrn::ui::Slider> slider;
};

class swatchAdapter : public colourSwatch {
  public:
    explicit swatchAdapter(std::shared_ptr<qrn::ui::View> v) : view(std::move(v)) {}
    std::optional<qrn::Colour> layerBackgroundColour() const override {
        return view->layer()->backgroundColour();
    }
    void setLayerBackgroundColour(const qrn::Colour& colour) override {
        view->layer()->setBackgroundColour(colour);
    }
    void setLayerBorder(double width, const qrn::Colour& colour, double cornerRadius) override {
        view->layer()->setBorderWidth(width);
        view->layer()->setBorderColour(colour);
        view->layer()->setCornerRadius(cornerRadius);
    }
    std::shared_ptr<qrn::ui::View> view;
};

// Each panel keeps the logic object its load made.
std::shared_ptr<chromaKeyRgbClass> chromaKeyRgbInstance;
std::shared_ptr<boxBlurClass> boxBlurInstance;
std::shared_ptr<chromaKeyViewsClass> chromaKeyViewsInstance;
std::shared_ptr<qrn::ui::View> chromaKeyContainer;

// The wheel's wedge, once defaulted, for the process.
std::optional<double> wheelStart, wheelEnd;

const double panelWidth = filterOrderedListClass::panelWidth;

void registerPanel(qrn::ui::ViewController& controller, bool dismiss) {
    filterOrderedListClass().setViewControllerReferenceArray(controller.shared_from_this(), dismiss);
}

// A panel's root and its slider follow the width the filter list gives the panel.
std::shared_ptr<qrn::ui::View> makePanelRoot(double height) {
    auto root = qrn::ui::View::make(qrn::Rect(0, 0, panelWidth, height));
    root->setAutoresizingMask(qrn::graphics::WidthSizable);
    return root;
}

std::shared_ptr<qrn::ui::Slider> makeSlider(const qrn::Rect& frame, double min, double max) {
    auto slider = qrn::ui::Slider::make(frame);
    slider->setAutoresizingMask(qrn::graphics::WidthSizable);
    slider->setRange(min, max);
    slider->setContinuous(true);
    return slider;
}

} // namespace

void colourPanelButtonView::mouseDown(const qrn::ui::Event&) {
    chromaKeyRgbClass().openColourPanel(keyForVideo);
}

void chromaKeyRgbController::loadView() {
    auto root = makePanelRoot(60);
    colourPickerButton = std::make_shared<colourPanelButtonView>(qrn::Rect(10, 15, 30, 30));
    rangeSlider = makeSlider(qrn::Rect(55, 20, 280, 20), 0, 100);
    const std::weak_ptr<qrn::ui::ViewController> weak = weak_from_this();
    rangeSlider->setAction([weak](qrn::ui::Control&) {
        if (auto self = std::static_pointer_cast<chromaKeyRgbController>(weak.lock()))
            self->rangeSliderAction();
    });
    root->addSubview(colourPickerButton);
    root->addSubview(rangeSlider);
    setView(root);
}

void chromaKeyRgbController::viewDidLoad() {
    QRN_LOG_IN();
    setIdentifier("ChromaKeyRgb");
    filterForVideo = filterClass().getFiltersForVideo();
    colourPickerButton->keyForVideo = filterForVideo;
    registerPanel(*this, false);
    chromaKeyRgbClass logic;
    logic.setPanelOutlets(std::make_shared<swatchAdapter>(colourPickerButton),
                          std::make_shared<sliderAdapter>(rangeSlider));
    logic.setColourChangeResponder(std::weak_ptr<colourChangeTarget>(
        std::static_pointer_cast<chromaKeyRgbController>(shared_from_this())));
    chromaKeyRgbInstance = std::make_shared<chromaKeyRgbClass>();
    chromaKeyRgbInstance->changeSliderValues(std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                             filterForVideo);
}

void chromaKeyRgbController::viewWillDisappear() {
    registerPanel(*this, true);
}

void chromaKeyRgbController::rangeSliderAction() {
    if (chromaKeyRgbInstance)
        chromaKeyRgbInstance->sliderChanged(std::nullopt, filterForVideo);
}

void chromaKeyRgbController::changeColor(const qrn::Colour& colour) {
    QRN_LOG_IN();
    globalAppSettingsClass settings;
    const std::any responder = settings.getColourChangeResponderClass();
    const auto* weak = std::any_cast<std::weak_ptr<colourChangeTarget>>(&responder);
    if (!weak || weak->lock().get() != static_cast<colourChangeTarget*>(this) ||
        settings.getJustMovedBetweenOrReloadedScreens())
        return;
    if (chromaKeyRgbInstance)
        chromaKeyRgbInstance->sliderChanged(colour, filterForVideo);
}

void boxBlurController::loadView() {
    auto root = makePanelRoot(50);
    sliderView = makeSlider(qrn::Rect(10, 15, 325, 20), 0, 50);
    const std::weak_ptr<qrn::ui::ViewController> weak = weak_from_this();
    sliderView->setAction([weak](qrn::ui::Control&) {
        if (auto self = std::static_pointer_cast<boxBlurController>(weak.lock()))
            self->sliderValues();
    });
    root->addSubview(sliderView);
    setView(root);
}

void boxBlurController::viewDidLoad() {
    QRN_LOG_IN();
    setIdentifier("BoxBlur");
    filterForVideo = filterClass().getFiltersForVideo();
    boxBlurInstance =
        std::make_shared<boxBlurClass>(std::make_shared<sliderAdapter>(sliderView), filterForVideo);
    registerPanel(*this, false);
}

void boxBlurController::viewWillDisappear() {
    registerPanel(*this, true);
}

void boxBlurController::sliderValues() {
    if (boxBlurInstance)
        boxBlurInstance->sliderChanged(filterForVideo);
}

void medianController::loadView() {
    setView(qrn::ui::View::make(qrn::Rect(0, 0, panelWidth, 10)));
}

void medianController::viewDidLoad() {
    setIdentifier("Median");
    registerPanel(*this, false);
}

void medianController::viewWillDisappear() {
    registerPanel(*this, true);
}

void chromaKeyViewsClass::loadView(bool forceLoad) {
    QRN_LOG_IN(LogValues{{"forceLoad", forceLoad}});
    auto controller = qrn::ui::SceneRegistry::instantiateViewController("ChromaKeyRgb");
    if (!controller || !chromaKeyContainer)
        return;
    chromaKeyContainer->setSubviews({});
    const auto view = controller->view();
    view->setFrameSize({chromaKeyContainer->bounds().width(), view->frame().height()});
    chromaKeyContainer->addSubview(view);
    // The RGB panel's controller goes with its view.
    static qrn::ui::ViewControllerPtr shown;
    shown = controller;
}

void chromaKeyViewsController::loadView() {
    auto root = makePanelRoot(60);
    viewContainer = qrn::ui::View::make(root->bounds());
    viewContainer->setAutoresizingMask(qrn::graphics::WidthSizable);
    root->addSubview(viewContainer);
    setView(root);
}

void chromaKeyViewsController::viewDidLoad() {
    setIdentifier("ChromaKey");
    chromaKeyContainer = viewContainer;
    chromaKeyViewsInstance = std::make_shared<chromaKeyViewsClass>();
    chromaKeyViewsInstance->loadView(true);
    registerPanel(*this, false);
}

void chromaKeyViewsController::viewWillDisappear() {
    registerPanel(*this, true);
}

std::optional<double> chromaKeyColourWheel::wedgeStart() {
    return wheelStart;
}

std::optional<double> chromaKeyColourWheel::wedgeEnd() {
    return wheelEnd;
}

void chromaKeyColourWheel::drawPieChart(double start, double end) {
    wheelStart = start;
    wheelEnd = end;
}

qrn::Rect chromaKeyColourWheel::circleRect() const {
    const double d = bounds().width() - 8;
    return qrn::Rect(4, 1, d, d);
}

void chromaKeyColourWheel::draw(QPainter& painter, const qrn::Rect&) {
    if (!wheelStart)
        wheelStart = 30.0;
    if (!wheelEnd)
        wheelEnd = 40.0;
    drawPieChart(*wheelStart, *wheelEnd);
    const qrn::Rect circle = circleRect();
    const QRectF oval(circle.origin.x, circle.origin.y, circle.width(), circle.height());
    const QColor stroke = QColor::fromHsvF(0.581, 0.882, 0.982, 1.0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(stroke, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(oval);
    QPainterPath wedge;
    wedge.moveTo(oval.center());
    wedge.arcTo(oval, *wheelStart * 3.6, (*wheelEnd - *wheelStart) * 3.6);
    wedge.closeSubpath();
    QColor fill = stroke;
    fill.setAlphaF(0.1);
    painter.fillPath(wedge, fill);
    painter.drawPath(wedge);
    painter.restore();
}

void chromaKeyHueController::loadView() {
    auto root = qrn::ui::View::make(qrn::Rect(0, 0, panelWidth, 120));
    wheel = std::make_shared<chromaKeyColourWheel>(qrn::Rect(10, 6, 108, 108));
    sliderFrom = makeSlider(qrn::Rect(130, 80, 150, 20), 0, 100);
    sliderTo = makeSlider(qrn::Rect(130, 30, 150, 20), 0, 100);
    sliderFromPercentageField = qrn::ui::TextField::makeLabel("", qrn::Rect(285, 80, 40, 20));
    sliderToPercentageField = qrn::ui::TextField::makeLabel("", qrn::Rect(285, 30, 40, 20));
    sliderFromStepper = qrn::ui::Stepper::make(qrn::Rect(328, 78, 20, 24));
    sliderToStepper = qrn::ui::Stepper::make(qrn::Rect(328, 28, 20, 24));
    for (const auto& stepper : {sliderFromStepper, sliderToStepper})
        stepper->setRange(0, 100);
    // Nothing reads these controls; moving them is only noted.
    for (const auto& control : std::vector<std::shared_ptr<qrn::ui::Control>>{
             sliderFrom, sliderTo, sliderFromStepper, sliderToStepper})
        control->setAction([](qrn::ui::Control&) {
            dataLoggingClass().log("chromaKeyHueController", 0, true, std::nullopt, __FILE__, __func__,
                                   __LINE__);
        });
    for (const auto& view : std::vector<std::shared_ptr<qrn::ui::View>>{
             wheel, sliderFrom, sliderTo, sliderFromPercentageField, sliderToPercentageField,
             sliderFromStepper, sliderToStepper})
        root->addSubview(view);
    setView(root);
}

void chromaKeyHueController::viewDidLoad() {
    setIdentifier("ChromaKeyHue");
    sliderFrom->setDoubleValue(30.0);
    sliderFromStepper->setDoubleValue(30.0);
    sliderFromPercentageField->setStringValue("30.0");
    sliderTo->setDoubleValue(40.0);
    sliderToStepper->setDoubleValue(40.0);
    sliderToPercentageField->setStringValue("40.0");
    registerPanel(*this, false);
}

void chromaKeyHueController::viewWillDisappear() {
    registerPanel(*this, true);
}

void registerFilterPanelScenes() {
    using qrn::ui::SceneRegistry;
    SceneRegistry::registerViewController("ChromaKeyRgb",
                                          [] { return std::make_shared<chromaKeyRgbController>(); });
    SceneRegistry::registerViewController("BoxBlur", [] { return std::make_shared<boxBlurController>(); });
    SceneRegistry::registerViewController("Median", [] { return std::make_shared<medianController>(); });
    SceneRegistry::registerViewController("ChromaKey",
                                          [] { return std::make_shared<chromaKeyViewsController>(); });
    SceneRegistry::registerViewController("ChromaKeyHue",
                                          [] { return std::make_shared<chromaKeyHueController>(); });
}
