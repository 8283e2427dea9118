#include "View/Global/svgIconView.h"

#include <cmath>

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/stylingClass.h"
#include "platform/ui/cursor.h"
#include "platform/ui/image_view.h"
#include "platform/ui/resources.h"
#include "platform/ui/tracking_area.h"

namespace {

double roundTwoDecimals(double v) {
    return std::round(v * 100) / 100;
}

constexpr int kIconLight = 4;
constexpr int kIconHover = 5;
constexpr int kIconDark = 6;

} // namespace

qrn::Rect svgIconView::iconGeometry(const qrn::Rect& frame, double s) {
    const double w = frame.size.width, h = frame.size.height;
    if (s == 100)
        return qrn::Rect(0, 0, w, h);
    const double offset = roundTwoDecimals(w * (100 - s) / 200);
    return qrn::Rect(offset, offset, roundTwoDecimals(w * s / 100), roundTwoDecimals(h * s / 100));
}

std::shared_ptr<svgIconView> svgIconView::createIconView(const std::shared_ptr<svgIconClass>& icon,
                                                         std::optional<int> colourIndex,
                                                         const std::string& imageName, int hoverMode,
                                                         const qrn::Rect& frame, double percentage) {
    return createIconView(icon, colourIndex, false, imageName, hoverMode, frame, percentage);
}

std::shared_ptr<svgIconView> svgIconView::createIconView(const std::shared_ptr<svgIconClass>& icon,
                                                         std::optional<int> colourIndex,
                                                         bool useDefaultColour, const std::string& imageName,
                                                         int hoverMode, const qrn::Rect& frame,
                                                         double percentage) {
    auto view = std::make_shared<svgIconView>(frame);
    view->setSvgIconObj(icon);

    const qrn::Rect pictureFrame = iconGeometry(frame, percentage);
    auto picture = qrn::ui::ImageView::make(pictureFrame);
    picture->setImageScaling(qrn::ui::ImageScaling::axesIndependently);
    picture->setImageSize(pictureFrame.size);
    // A missing picture leaves the icon empty; the names come with the application.
    picture->setImageNamed(imageName);
    picture->setTemplate(true);

    if (hoverMode == 2)
        view->addTrackingArea(view->bounds(), qrn::ui::TrackingMouseEnteredAndExited |
                                                  qrn::ui::TrackingActiveAlways |
                                                  qrn::ui::TrackingInVisibleRect);

    const bool ownColour = !useDefaultColour && colourIndex && *colourIndex != -1;
    const int resting = ownColour ? *colourIndex : (hoverMode == 0 ? kIconDark : kIconLight);
    picture->setContentTintColour(stylingClass().getColour(resting));
    view->addSubview(picture);
    return view;
}

std::shared_ptr<svgIconClass> svgIconView::svgIconObj() const {
    return svgIconObj_.lock();
}

void svgIconView::setSvgIconObj(std::shared_ptr<svgIconClass> obj) {
    svgIconObj_ = obj;
    placedSvgIconObj_ = superviewPointer() ? std::move(obj) : nullptr;
}

void svgIconView::mouseEntered(const qrn::ui::Event&) {
    QRN_LOG_IN();
    auto icon = svgIconObj();
    if (!icon || !icon->isButtonEnabled().value_or(false))
        return;
    qrn::ui::Cursor::set(qrn::ui::CursorShape::PointingHand);
    if (!icon->keepChangedColourValue()) {
        const auto& text = icon->changeColourOnHover();
        icon->tint(text ? colourFromHex(*text)
                        : std::optional<qrn::Colour>(stylingClass().getColour(kIconHover)));
    }
}

void svgIconView::mouseExited(const qrn::ui::Event&) {
    QRN_LOG_IN();
    auto icon = svgIconObj();
    if (!icon || !icon->isButtonEnabled().value_or(false))
        return;
    qrn::ui::Cursor::set(qrn::ui::CursorShape::Arrow);
    if (!icon->keepChangedColourValue())
        icon->tint(stylingClass().getColour(kIconLight));
}

void svgIconView::viewWillMoveToWindow(qrn::ui::Window* newWindow) {
    if (newWindow || !window())
        return;
    for (const auto& area : trackingAreas())
        if (area->isInside()) {
            mouseExited(qrn::ui::Event::mouse(qrn::ui::EventType::MouseExited, {}));
            return;
        }
}

void svgIconView::viewDidMoveToSuperview() {
    auto icon = svgIconObj();
    if (!superviewPointer() || !icon)
        return;
    // From here the view tree keeps this view, and this view the object.
    placedSvgIconObj_ = icon;
    icon->viewWasPlaced(this);
}
