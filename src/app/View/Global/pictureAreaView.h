#pragma once
// A screen's root view that shows the movie's 16:9 picture in a band of the window: the picture
// takes the largest 16:9 rectangle that fits the band, centred there. The band (in this view,
// y up) grows and shrinks with the window as a subview sizable both ways would; `place` frames
// the picture, and what goes with it, from the fitted rectangle, now and after every change of
// size.
#include <functional>

#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

class pictureAreaView : public qrn::ui::View {
  public:
    using View::View;

    void setPreviewArea(const qrn::Rect& area, std::function<void(const qrn::Rect&)> place);
    qrn::Rect previewArea() const { return previewArea_; }
    // The largest 16:9 rectangle in whole points inside `area`, centred in it (empty for an
    // area with no room). The picture's height is rounded, so a 556-wide area 313 high is
    // filled exactly.
    static qrn::Rect previewFrameIn(const qrn::Rect& area);

    // The one-line message along the picture's foot (hidden until there is something to say):
    // light text on a dark strip of its own, so it reads over any camera picture.
    static std::shared_ptr<qrn::ui::TextField> makeMessageLabel(const qrn::Rect& frame);

    void resizeSubviewsWithOldSize(qrn::Size oldSize) override;

  private:
    qrn::Rect previewArea_;
    std::function<void(const qrn::Rect&)> placePreview_;
};
