#include "Controller/Global/svgButtonClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgIconClass.h"
#include "View/Global/svgIconView.h"

svgButtonClass::svgButtonClass(const Configuration& c)
    : Button(c.frame, qrn::ui::ButtonType::image), iconName_(c.iconName),
      defaultColourPalletIndex_(c.defaultColourPalletIndex), changeColourOnHover_(c.changeColourOnHover),
      changeColourPalletIndexOnHover_(c.changeColourPalletIndexOnHover), isButton_(c.isButton) {
    setBordered(false);
    if (c.iconPercentageRelativeToFrame)
        setIconPercentageRelativeToFrame(*c.iconPercentageRelativeToFrame);
    setNeedsLayout();
}

void svgButtonClass::layout() {
    QRN_LOG_IN();
    if (svgIconObj_)
        return;
    auto icon = svgIconClass::make();
    icon->setDefaultColourPalletIndex(
        defaultColourPalletIndex_ == -1 ? std::nullopt : std::optional<int>(defaultColourPalletIndex_));
    if (changeColourOnHover_)
        icon->setChangeColourOnHover(changeColourOnHover_);
    else
        icon->setChangeColourPalletIndexOnHover(changeColourPalletIndexOnHover_);
    icon->setIsButtonEnabled(isButton_ != 0);
    auto view = svgIconView::createIconView(icon, icon->defaultColourPalletIndex(), iconName_.value_or(""),
                                            isButton_, bounds(), iconPercentageRelativeToFrameValue_);
    icon->setImageView(view);
    svgIconObj_ = icon;
    addSubview(icon->getImageView());
}

void svgButtonClass::draw(QPainter&, const qrn::Rect&) {
    // The icon view is the button's whole picture.
}
