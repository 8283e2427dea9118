#include "platform/ui/dragging.h"

#include "platform/ui/event.h"
#include "platform/ui/view.h"

namespace qrn::ui {

namespace {
DragDriver dragDriver;
} // namespace

void setDragDriver(DragDriver driver) {
    dragDriver = std::move(driver);
}

unsigned beginDraggingSession(View& view, std::vector<PasteboardItem> items, const QImage& image,
                              const Event& mouseEvent, DraggingSource* source) {
    DragRequest request;
    request.sourceView = &view;
    request.source = source;
    request.pasteboard = Pasteboard::makeForDrag();
    request.pasteboard->writeItems(std::move(items));
    request.image = image;
    request.locationInWindow = mouseEvent.locationInWindow;
    request.operationMask = source ? source->sourceOperationMask() : DragOperationCopy;
    unsigned op = dragDriver ? dragDriver(request) : DragOperationNone;
    if (source)
        source->draggingSessionEnded(mouseEvent.locationInWindow, op);
    return op;
}

} // namespace qrn::ui
