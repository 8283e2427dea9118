#pragma once
// The picture of an image layer in the preview. Drops on it belong to the layer's drop view
// (the nearest dragViewView above it); the picture itself never takes the dropped image.
#include <QImage>

#include <memory>
#include <optional>

#include "platform/ui/image_view.h"

class dragViewView;

class dragViewImageView : public qrn::ui::ImageView {
  public:
    using ImageView::ImageView;
    // A picture view of that frame, registered for the image drop's types.
    static std::shared_ptr<dragViewImageView> makeDropView(const qrn::Rect& frame);

    // Each answer is the drop view's; without one above it the drop is refused.
    unsigned draggingEntered(qrn::ui::DraggingInfo& info) override;
    unsigned draggingUpdated(qrn::ui::DraggingInfo& info) override;
    void draggingExited(qrn::ui::DraggingInfo& info) override;
    bool prepareForDragOperation(qrn::ui::DraggingInfo& info) override;
    bool performDragOperation(qrn::ui::DraggingInfo& info) override;
    void draggingEnded(qrn::ui::DraggingInfo& info) override;

    // The picture shown when a drop was performed on the view.
    std::optional<QImage> imageValue;

  private:
    dragViewView* dropView() const;
};
