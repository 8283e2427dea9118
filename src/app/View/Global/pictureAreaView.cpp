#include "View/Global/pictureAreaView.h"

#include <algorithm>
#include <cmath>

void pictureAreaView::setPreviewArea(const qrn::Rect& area, std::function<void(const qrn::Rect&)> place) {
    previewArea_ = area;
    placePreview_ = std::move(place);
    if (placePreview_)
        placePreview_(previewFrameIn(previewArea_));
}

qrn::Rect pictureAreaView::previewFrameIn(const qrn::Rect& area) {
    const double W = std::floor(area.size.width), H = std::floor(area.size.height);
    if (!(W >= 1) || !(H >= 1) || !std::isfinite(W) || !std::isfinite(H))
        return qrn::Rect(area.origin, {0, 0});
    double w, h;
    if (W * 9 <= H * 16) {
        w = W;
        h = std::min(H, std::max(1.0, std::round(W * 9 / 16)));
    } else {
        h = H;
        w = std::min(W, std::max(1.0, std::round(H * 16 / 9)));
    }
    // Whole points from the area's corner keep the picture's edges on pixels.
    return qrn::Rect(area.origin.x + std::floor((area.size.width - w) / 2),
                     area.origin.y + std::floor((area.size.height - h) / 2), w, h);
}

std::shared_ptr<qrn::ui::TextField> pictureAreaView::makeMessageLabel(const qrn::Rect& frame) {
    auto label = qrn::ui::TextField::make(frame);
    label->setEditable(false);
    label->setBordered(false);
    label->setBackgroundColour({0, 0, 0, 0.6});
    label->setTextColour(qrn::Colour::white());
    label->setHidden(true);
    return label;
}

void pictureAreaView::resizeSubviewsWithOldSize(qrn::Size oldSize) {
    View::resizeSubviewsWithOldSize(oldSize);
    if (!placePreview_)
        return;
    // The band may pass zero in a window shrunk below the screen's size and comes back when
    // the window grows again.
    previewArea_.size.width += bounds().size.width - oldSize.width;
    previewArea_.size.height += bounds().size.height - oldSize.height;
    placePreview_(previewFrameIn(previewArea_));
}
