#include "View/Landing/landingButtonView.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/mouseCursorClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "platform/foundation/colour.h"
#include "platform/ui/text_field.h"
#include "platform/ui/tracking_area.h"

landingButtonView::landingButtonView(const qrn::Rect& frame) : View(frame) {
    // One area for the life of the view, following its size (not one more on every draw).
    addTrackingArea(qrn::Rect{}, qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow |
                                     qrn::ui::TrackingInVisibleRect);
}

void landingButtonView::mouseEntered(const qrn::ui::Event&) {
    mouseCursorClass().changeCursor(qrn::ui::CursorShape::PointingHand);
    changeSubviewColours(true);
}

void landingButtonView::mouseExited(const qrn::ui::Event&) {
    mouseCursorClass().changeCursor(std::nullopt);
    changeSubviewColours(false);
}

void landingButtonView::changeSubviewColours(bool hover) {
    QRN_LOG_IN(LogValues{{"hover", hover}});
    const auto colour = qrn::namedColour(hover ? "icon_colour_hover_dark" : "text_colour_dark_dark", true);
    for (const auto& subview : subviews()) {
        if (auto* button = dynamic_cast<svgButtonClass*>(subview.get())) {
            if (button->svgIconObj())
                button->svgIconObj()->keepChangedColour(hover);
        } else if (auto* label = dynamic_cast<qrn::ui::TextField*>(subview.get())) {
            if (colour)
                label->setTextColour(*colour);
        }
    }
}
