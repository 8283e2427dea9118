#pragma once
// Drag and drop: what a destination view is told about a drag, and how a view starts one.
#include <QImage>

#include <functional>
#include <memory>

#include "platform/foundation/geometry.h"
#include "platform/ui/pasteboard.h"

namespace qrn::ui {

class View;
class Window;
struct Event;

enum DragOperation : unsigned {
    DragOperationNone = 0,
    DragOperationCopy = 1,
    DragOperationLink = 2,
    DragOperationGeneric = 4,
    DragOperationPrivate = 8,
    DragOperationMove = 16,
    DragOperationDelete = 32,
    DragOperationEvery = 0xffffffffu,
};

// What a destination learns about a drag. Tests build one by hand.
class DraggingInfo {
  public:
    DraggingInfo() = default;
    DraggingInfo(Point locationInWindow, std::shared_ptr<Pasteboard> pasteboard,
                 unsigned sourceOperationMask = DragOperationEvery)
        : location_(locationInWindow), pasteboard_(std::move(pasteboard)), mask_(sourceOperationMask) {}

    // In the destination window's space, y up.
    Point draggingLocation() const { return location_; }
    void setDraggingLocation(Point p) { location_ = p; }
    Pasteboard& draggingPasteboard() const { return pasteboard_ ? *pasteboard_ : Pasteboard::general(); }
    const std::shared_ptr<Pasteboard>& pasteboardPointer() const { return pasteboard_; }
    unsigned draggingSourceOperationMask() const { return mask_; }
    void setDraggingSourceOperationMask(unsigned m) { mask_ = m; }
    // The view that started the drag, when it started in this program.
    View* draggingSource() const { return source_; }
    void setDraggingSource(View* v) { source_ = v; }
    const QImage& draggedImage() const { return image_; }
    void setDraggedImage(QImage image) { image_ = std::move(image); }
    Window* destinationWindow() const { return window_; }
    void setDestinationWindow(Window* w) { window_ = w; }
    // Whether the drag image should slide onto the drop point (a look only).
    bool animatesToDestination() const { return animates_; }
    void setAnimatesToDestination(bool a) { animates_ = a; }
    int sequenceNumber() const { return sequence_; }
    void setSequenceNumber(int n) { sequence_ = n; }

  private:
    Point location_;
    std::shared_ptr<Pasteboard> pasteboard_;
    unsigned mask_ = DragOperationEvery;
    View* source_ = nullptr;
    QImage image_;
    Window* window_ = nullptr;
    bool animates_ = true;
    int sequence_ = 0;
};

// Told about drags it started.
class DraggingSource {
  public:
    virtual ~DraggingSource() = default;
    virtual unsigned sourceOperationMask() const { return DragOperationCopy; }
    virtual void draggingSessionEnded(Point /*screenPoint*/, unsigned /*operation*/) {}
};

// Runs a drag on the host (the Qt bridge installs one; a test may install its own). Returns the
// operation the destination performed.
struct DragRequest {
    View* sourceView = nullptr;
    DraggingSource* source = nullptr;
    std::shared_ptr<Pasteboard> pasteboard;
    QImage image;
    Point locationInWindow;
    unsigned operationMask = DragOperationCopy;
};
using DragDriver = std::function<unsigned(const DragRequest&)>;
void setDragDriver(DragDriver driver);

// Starts a drag of `items` from `view`, shown as `image`. Without a host the drag ends at once
// with no operation. The source hears the end either way.
unsigned beginDraggingSession(View& view, std::vector<PasteboardItem> items, const QImage& image,
                              const Event& mouseEvent, DraggingSource* source);

} // namespace qrn::ui
