#include "View/Recording/autocueDisplayView.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/animated_value.h"
#include "platform/ui/window.h"

namespace {

// The text scrolls in whole device pixels: its picture is shown one to one, and the window
// repaints when the text has moved by a pixel rather than at every step of the scroll.
double devicePixel(const qrn::ui::View& view) {
    const double scale = view.window() ? view.window()->backingScaleFactor() : 1;
    return scale > 0 ? 1 / scale : 1;
}

double wholePixels(double v, double pixel) {
    return std::round(v / pixel) * pixel;
}

} // namespace

autocueDisplayView::autocueDisplayView(const qrn::Rect& frame) : View(frame) {
    // Text scrolled past the top or bottom must not draw over the controls.
    layer()->setMasksToBounds(true);
}

void autocueDisplayView::setText(const std::shared_ptr<qrn::ui::ScrollView>& textField,
                                 const std::shared_ptr<qrn::graphics::AnimatedValue>& topDistance) {
    textField_ = textField;
    topDistance_ = topDistance;
    // The script is drawn whole once and then scrolled: a long one is drawn sharp up to the
    // painter's largest side, at a cost of up to 128 MB, rather than coarser and stretched.
    if (auto text = textView())
        text->setPictureLimits(32000, 32.0 * 1024 * 1024);
    std::weak_ptr<View> weak = weak_from_this();
    topDistance->setOnChange([weak](double) {
        if (auto self = std::static_pointer_cast<autocueDisplayView>(weak.lock()))
            self->layoutText();
    });
    textDidChange();
}

std::shared_ptr<qrn::ui::TextView> autocueDisplayView::textView() const {
    auto field = textField_.lock();
    return field ? std::dynamic_pointer_cast<qrn::ui::TextView>(field->documentView()) : nullptr;
}

void autocueDisplayView::textDidChange() {
    measuredWidth_ = -1;
    layoutText();
}

void autocueDisplayView::measure(double width) {
    measuredWidth_ = width;
    auto text = textView();
    if (!text)
        return;
    // The text view takes the width first: its height is measured at its own width.
    text->setFrameSize({width, std::max(1.0, text->frame().height())});
    textHeight_ = text->usedHeight();
    text->setFrameSize({width, shownHeight()});
}

double autocueDisplayView::shownHeight() const {
    const double pixel = devicePixel(*this);
    return std::max(1.0, std::ceil(textHeight_ / pixel - 1e-6) * pixel);
}

void autocueDisplayView::layoutText() {
    auto field = textField_.lock();
    auto distance = topDistance_.lock();
    if (!field || !distance)
        return;
    const double width = std::max(1.0, bounds().size.width - leadingMargin - trailingMargin);
    const bool remeasure = width != measuredWidth_;
    if (remeasure)
        measure(width);
    const double height = shownHeight();
    const double top = distance->value();
    // The text's top edge on a whole pixel; the extra fraction of the height lies below the text.
    const double textTop = wholePixels(bounds().size.height - top, devicePixel(*this));
    field->setFrame(qrn::Rect(leadingMargin, textTop - height, width, height));
    if (remeasure)
        if (auto text = textView())
            field->scrollToPoint(text->frame().origin);
    if (placed_)
        placed_(top);
}

void autocueDisplayView::resizeSubviewsWithOldSize(qrn::Size oldSize) {
    View::resizeSubviewsWithOldSize(oldSize);
    layoutText();
}
