#include "View/Global/aboutController.h"

#include "Controller/Global/QRNMenuClass.h"

#include "Controller/Global/aboutClass.h"
#include "Controller/Global/bundleInformationClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/mainWindowClass.h"
#include "platform/foundation/colour.h"
#include "platform/ui/button.h"
#include "platform/ui/window.h"
#include "platform/ui/workspace.h"

namespace {
QFont aboutFont(double size, bool bold = false) {
    QFont font("DejaVu Sans");
    font.setPointSizeF(size);
    font.setBold(bold);
    return font;
}
} // namespace

void aboutController::loadView() {
    auto root = qrn::ui::View::make(qrn::Rect(0, 0, 420, 240));
    auto background = qrn::ui::View::make(root->bounds());
    background->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
    root->addSubview(background);
    backgroundColourView_ = background;

    const auto light = qrn::namedColour("text_colour_light_dark", true).value_or(qrn::Colour{1, 1, 1, 1});
    auto name = qrn::ui::TextField::makeLabel("QRN", qrn::Rect(20, 170, 380, 40));
    name->setFont(aboutFont(28, true));
    name->setAlignment(qrn::TextAlignment::center);
    name->setTextColour(light);
    root->addSubview(name);
    auto tagline =
        qrn::ui::TextField::makeLabel("A studio for presenting to a camera", qrn::Rect(20, 140, 380, 22));
    tagline->setFont(aboutFont(12));
    tagline->setAlignment(qrn::TextAlignment::center);
    tagline->setTextColour(qrn::namedColour("text_colour_dark_dark", true).value_or(light));
    root->addSubview(tagline);
    auto version = qrn::ui::TextField::makeLabel("", qrn::Rect(20, 110, 380, 22));
    version->setFont(aboutFont(12));
    version->setAlignment(qrn::TextAlignment::center);
    version->setTextColour(light);
    root->addSubview(version);
    versionText_ = version;

    std::weak_ptr<aboutController> weak = std::static_pointer_cast<aboutController>(shared_from_this());
    auto acknowledgements = qrn::ui::Button::make(qrn::Rect(20, 30, 180, 32));
    acknowledgements->setTitle("Acknowledgements");
    acknowledgements->setAction([weak](qrn::ui::Control&) {
        if (auto self = weak.lock())
            self->acknowledgementsButton();
    });
    root->addSubview(acknowledgements);
    auto terms = qrn::ui::Button::make(qrn::Rect(220, 30, 180, 32));
    terms->setTitle("Terms of use");
    terms->setAction([weak](qrn::ui::Control&) {
        if (auto self = weak.lock())
            self->licenseAgreementButton();
    });
    root->addSubview(terms);
    setView(root);
}

void aboutController::viewDidLoad() {
    QRN_LOG_IN();
    auto version = versionText();
    if (!version)
        return;
    version->setStringValue(bundleInformationClass().versionAndBuildLine());
    auto background = backgroundColourView();
    if (!background)
        return;
    if (auto colour = qrn::namedColour("background_colour_light_dark", true))
        background->layer()->setBackgroundColour(*colour);
}

void aboutController::viewDidAppear() {
    if (auto* w = window()) {
        w->setTitle("");
        // Over the middle of the main window, where the eye already is.
        if (auto main = mainWindowClass().getCurrentMainWindow(); main && !main->isClosed()) {
            const qrn::Rect over = main->frame(), own = w->frame();
            w->setFrameOrigin({over.midX() - own.width() / 2, over.midY() - own.height() / 2});
        }
    }
    aboutClass::setCurrentAboutController(shared_from_this());
}

void aboutController::acknowledgementsButton() {
    openPageOrSay(bundleInformationClass::acknowledgementsPageAddress(), "the acknowledgements page");
}

void aboutController::licenseAgreementButton() {
    openPageOrSay(bundleInformationClass::termsPageAddress(), "the terms of use");
}
