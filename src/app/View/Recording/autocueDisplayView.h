#pragma once
// The area of the autocue window that holds the script. It places the script's scroll view from
// the engine's top distance (how far the text's top stands below this view's top; smaller moves
// the text up) and is the only place that turns that distance into view geometry.
#include <functional>
#include <memory>

#include "platform/ui/scroll_view.h"
#include "platform/ui/text_view.h"

namespace qrn::graphics {
class AnimatedValue;
}

class autocueDisplayView : public qrn::ui::View {
  public:
    // Room left of the text for the reading marker, and right of it.
    static constexpr double leadingMargin = 44;
    static constexpr double trailingMargin = 24;

    explicit autocueDisplayView(const qrn::Rect& frame = {});

    // The scroll view whose document is the text view, and the top distance that places it. The
    // view follows the distance from then on.
    void setText(const std::shared_ptr<qrn::ui::ScrollView>& textField,
                 const std::shared_ptr<qrn::graphics::AnimatedValue>& topDistance);
    std::shared_ptr<qrn::ui::TextView> textView() const;

    // The text changed: measure it again and place it.
    void textDidChange();
    // Places the scroll view from the top distance (measuring again when the width changed).
    void layoutText();
    // The text's height at the text view's width, as last measured.
    double textHeight() const { return textHeight_; }

    // Told the top distance each time the text was placed (for measurements).
    void setTextPlacedObserver(std::function<void(double)> fn) { placed_ = std::move(fn); }

    void resizeSubviewsWithOldSize(qrn::Size oldSize) override;

  private:
    void measure(double width);
    // The text's height rounded up to whole device pixels.
    double shownHeight() const;
    std::weak_ptr<qrn::ui::ScrollView> textField_;
    std::weak_ptr<qrn::graphics::AnimatedValue> topDistance_;
    double measuredWidth_ = -1;
    double textHeight_ = 0;
    std::function<void(double)> placed_;
};
