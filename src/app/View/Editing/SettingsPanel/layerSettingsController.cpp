#include "View/Editing/SettingsPanel/layerSettingsController.h"

#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/main_queue.h"

namespace {

const qrn::Rect paneFrame(0, 0, 694, 732);

qrn::Colour named(const std::string& name) {
    return qrn::namedColour(name, true).value_or(qrn::Colour::black());
}

// A tab button that can be told to take the highlight once it has built its icon (at its first
// layout pass).
class tabMenuButton : public svgButtonClass {
  public:
    using svgButtonClass::svgButtonClass;
    bool highlightAtFirstLayout = false;
    void layout() override {
        const bool built = svgIconObj() != nullptr;
        svgButtonClass::layout();
        if (!built && highlightAtFirstLayout && svgIconObj()) {
            highlightAtFirstLayout = false;
            svgIconObj()->keepChangedColour(true);
        }
    }
};

std::shared_ptr<svgButtonClass> makeTabButton(double x, double height, const std::string& icon) {
    svgButtonClass::Configuration config;
    config.frame = qrn::Rect(x, (height - 38) / 2, 38, 38);
    config.iconName = icon;
    config.defaultColourPalletIndex = 7;
    config.changeColourPalletIndexOnHover = 5;
    config.isButton = 2;
    auto button = std::make_shared<tabMenuButton>(config);
    button->setFrame(config.frame);
    return button;
}

} // namespace

void layerSettingsController::loadView() {
    parentView = qrn::ui::View::make(paneFrame);
    layerSettingsMenu =
        qrn::ui::View::make(qrn::Rect(0, paneFrame.height() - menuHeight, paneFrame.width(), menuHeight));
    layerSettingsMenu->setAutoresizingMask(qrn::ui::WidthSizable | qrn::ui::FlexibleMinYMargin);
    layerSettingsView =
        qrn::ui::View::make(qrn::Rect(0, 0, paneFrame.width(), paneFrame.height() - menuHeight));
    layerSettingsView->setAutoresizingMask(qrn::ui::WidthSizable | qrn::ui::HeightSizable);
    parentView->addSubview(layerSettingsMenu);
    parentView->addSubview(layerSettingsView);
    setView(parentView);
}

void layerSettingsController::viewWillAppear() {
    QRN_LOG_IN();
    layerSettingsClass settings;
    settings.setHostViews(layerSettingsHostViews{parentView, layerSettingsMenu, layerSettingsView});
    settings.initialiseSettings();
}

void layerSettingsMenuViewController::loadView() {
    backgroundView =
        qrn::ui::View::make(qrn::Rect(0, 0, paneFrame.width(), layerSettingsController::menuHeight));
    backgroundView->setAutoresizingMask(qrn::ui::WidthSizable);
    const double h = backgroundView->frame().height();
    buttonLayerSettings = makeTabButton(10, h, "layer_settings_pane");
    buttonTextLayer = makeTabButton(58, h, "text_layer");
    buttonLayerFilters = makeTabButton(106, h, "layer_filters");
    const std::weak_ptr<qrn::ui::ViewController> weak = weak_from_this();
    const auto wire = [weak](svgButtonClass& button, void (layerSettingsMenuViewController::*action)()) {
        button.setAction([weak, action](qrn::ui::Control&) {
            if (auto self = std::static_pointer_cast<layerSettingsMenuViewController>(weak.lock()))
                ((*self).*action)();
        });
    };
    wire(*buttonLayerSettings, &layerSettingsMenuViewController::loadLayerSettings);
    wire(*buttonTextLayer, &layerSettingsMenuViewController::loadTextLayerSettings);
    wire(*buttonLayerFilters, &layerSettingsMenuViewController::loadLayerFilters);
    for (const auto& button : {buttonLayerSettings, buttonTextLayer, buttonLayerFilters})
        backgroundView->addSubview(button);
    setView(backgroundView);
}

void layerSettingsMenuViewController::viewDidLoad() {
    QRN_LOG_IN();
    const qrn::Rect b = backgroundView->frame();
    auto background = qrn::ui::View::make(qrn::Rect(-1.0, 0.0, b.width() + 2.0, b.height() + 1.0));
    background->setAutoresizingMask(qrn::ui::WidthSizable);
    background->layer()->setBackgroundColour(named("background_colour_light_dark"));
    background->layer()->setBorderWidth(1.0);
    background->layer()->setBorderColour(named("border_colour_light_dark"));
    backgroundView->addSubview(background, qrn::ui::Ordering::Below, nullptr);
    highlightFirstButton(0);
}

void layerSettingsMenuViewController::highlightFirstButton(int attempt) {
    const std::weak_ptr<qrn::ui::ViewController> weak = weak_from_this();
    qrn::MainQueue::after(0.01, [weak, attempt] {
        auto self = std::static_pointer_cast<layerSettingsMenuViewController>(weak.lock());
        if (!self || !self->buttonLayerSettings)
            return;
        if (auto icon = self->buttonLayerSettings->svgIconObj()) {
            icon->keepChangedColour(true);
        } else if (attempt == 0) {
            self->highlightFirstButton(1);
        } else if (auto button = std::dynamic_pointer_cast<tabMenuButton>(self->buttonLayerSettings)) {
            button->highlightAtFirstLayout = true;
        }
    });
}

void layerSettingsMenuViewController::iconsLooseColours() {
    QRN_LOG_IN();
    for (const auto& button : {buttonLayerSettings, buttonTextLayer, buttonLayerFilters})
        if (button && button->svgIconObj())
            button->svgIconObj()->keepChangedColour(false);
}

void layerSettingsMenuViewController::loadTab(int tab, svgButtonClass& button) {
    if (!layerSettingsClass().loadSettingsView(tab))
        return;
    iconsLooseColours();
    if (button.svgIconObj())
        button.svgIconObj()->keepChangedColour(true);
}

void layerSettingsMenuViewController::loadLayerSettings() {
    QRN_LOG_IN();
    loadTab(0, *buttonLayerSettings);
}

void layerSettingsMenuViewController::loadTextLayerSettings() {
    QRN_LOG_IN();
    loadTab(1, *buttonTextLayer);
}

void layerSettingsMenuViewController::loadLayerFilters() {
    QRN_LOG_IN();
    loadTab(2, *buttonLayerFilters);
}
