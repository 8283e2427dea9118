#include "View/Recording/autocueButtonHoldClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "platform/ui/tracking_area.h"

autocueButtonHoldClass::autocueButtonHoldClass(const Configuration& configuration,
                                               std::optional<std::string> buttonTypeName)
    : svgButtonClass(configuration), buttonTypeName_(std::move(buttonTypeName)) {}

void autocueButtonHoldClass::viewDidMoveToWindow() {
    svgButtonClass::viewDidMoveToWindow();
    // Leaving the button while holding it ends the hold, so the button must hear the exit.
    if (trackingAdded_ || !window())
        return;
    trackingAdded_ = true;
    addTrackingArea(qrn::Rect(), qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveAlways |
                                     qrn::ui::TrackingInVisibleRect);
}

void autocueButtonHoldClass::hold(bool held) {
    if (buttonTypeName_ == "rewind")
        autocueDisplayClass().rewindAnimation(held);
    else
        autocueDisplayClass().forwardAnimation(held);
}

void autocueButtonHoldClass::mouseDown(const qrn::ui::Event&) {
    QRN_LOG_IN({{"buttonTypeName", buttonTypeName_.value_or("")}});
    hold(true);
}

void autocueButtonHoldClass::mouseUp(const qrn::ui::Event&) {
    QRN_LOG_IN({{"buttonTypeName", buttonTypeName_.value_or("")}});
    hold(false);
}

void autocueButtonHoldClass::mouseExited(const qrn::ui::Event&) {
    QRN_LOG_IN({{"buttonTypeName", buttonTypeName_.value_or("")}});
    hold(false);
}
