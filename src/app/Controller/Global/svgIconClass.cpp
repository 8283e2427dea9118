#include "Controller/Global/svgIconClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Model/stylingClass.h"
#include "View/Global/svgIconView.h"
#include "platform/ui/cursor.h"
#include "platform/ui/image_view.h"

namespace {

// Palette indexes of the icon colours.
constexpr int kIconLight = 4; // icon_colour_light_dark
constexpr int kIconHover = 5; // icon_colour_hover_dark
constexpr int kIconDark = 6;  // icon_colour_dark_dark

qrn::Value describe(const std::shared_ptr<svgIconView>& view) {
    return view ? qrn::Value(logSender(view.get())) : qrn::Value("nil");
}

} // namespace

void svgIconClass::setImageView(const std::shared_ptr<svgIconView>& view) {
    imageView_ = view;
    unplacedView_ = (view && !view->superviewPointer()) ? view : nullptr;
}

void svgIconClass::viewWasPlaced(const svgIconView* view) {
    if (unplacedView_.get() == view)
        unplacedView_.reset();
}

std::shared_ptr<svgIconView> svgIconClass::getImageView() {
    QRN_LOG_IN();
    auto view = imageView();
    QRN_LOG_OUT({{"imageView", describe(view)}});
    return view;
}

bool svgIconClass::getIsButtonEnabled() {
    QRN_LOG_IN();
    // The creator sets the flag before the icon is used; an unset flag counts as not enabled.
    const bool enabled = isButtonEnabled_.value_or(false);
    QRN_LOG_OUT({{"isButtonEnabled", enabled}});
    return enabled;
}

void svgIconClass::tint(std::optional<qrn::Colour> colour) {
    auto view = imageView();
    if (!view || view->subviews().empty())
        return;
    if (auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(view->subviews().front()))
        picture->setContentTintColour(colour);
}

std::optional<qrn::Colour> svgIconClass::changedTint() const {
    if (changeColourOnHover_)
        return colourFromHex(*changeColourOnHover_);
    if (!changeColourPalletIndexOnHover_ || *changeColourPalletIndexOnHover_ == -1)
        return stylingClass().getColour(kIconHover);
    return stylingClass().getColour(*changeColourPalletIndexOnHover_);
}

qrn::Colour svgIconClass::restingTint() const {
    if (!defaultColourPalletIndex_ || *defaultColourPalletIndex_ == -1)
        return stylingClass().getColour(kIconLight);
    return stylingClass().getColour(*defaultColourPalletIndex_);
}

void svgIconClass::clearColourChange() {
    QRN_LOG_IN();
    qrn::ui::Cursor::set(qrn::ui::CursorShape::Arrow);
    // A disabled button that took the light tint would look as if it could be pressed.
    tint(stylingClass().getColour(disabled_ ? kIconDark : kIconLight));
    QRN_LOG_OUT();
}

void svgIconClass::keepChangedColour(bool keep) {
    QRN_LOG_IN({{"isButtonEnabled", isButtonEnabled_.value_or(false)}});
    keepChangedColour_ = keep;
    tint(keep ? changedTint() : std::optional<qrn::Colour>(restingTint()));
    QRN_LOG_OUT();
}

void svgIconClass::enableButton(bool enable) {
    QRN_LOG_IN({{"enable", enable}});
    isButtonEnabled_ = enable;
    disabled_ = !enable;
    if (enable)
        keepChangedColour(false);
    else
        tint(stylingClass().getColour(kIconDark));
    QRN_LOG_OUT();
}
