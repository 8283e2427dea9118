#include "View/Editing/Preview/dragViewImageView.h"

#include "Controller/Editing/imageClass.h"
#include "View/Editing/dragViewView.h"

std::shared_ptr<dragViewImageView> dragViewImageView::makeDropView(const qrn::Rect& frame) {
    auto view = std::make_shared<dragViewImageView>(frame);
    view->registerForDraggedTypes(imagePasteboardTypes());
    return view;
}

dragViewView* dragViewImageView::dropView() const {
    for (auto* view = superviewPointer(); view; view = view->superviewPointer())
        if (auto* drop = dynamic_cast<dragViewView*>(view))
            return drop;
    return nullptr;
}

unsigned dragViewImageView::draggingEntered(qrn::ui::DraggingInfo& info) {
    auto* drop = dropView();
    return drop ? drop->draggingEntered(info) : qrn::ui::DragOperationNone;
}

unsigned dragViewImageView::draggingUpdated(qrn::ui::DraggingInfo& info) {
    auto* drop = dropView();
    return drop ? drop->draggingUpdated(info) : qrn::ui::DragOperationNone;
}

void dragViewImageView::draggingExited(qrn::ui::DraggingInfo& info) {
    if (auto* drop = dropView())
        drop->draggingExited(info);
}

bool dragViewImageView::prepareForDragOperation(qrn::ui::DraggingInfo& info) {
    auto* drop = dropView();
    return drop && drop->prepareForDragOperation(info);
}

bool dragViewImageView::performDragOperation(qrn::ui::DraggingInfo& info) {
    auto* drop = dropView();
    if (!drop)
        return false;
    imageValue = image();
    return drop->performDragOperation(info);
}

void dragViewImageView::draggingEnded(qrn::ui::DraggingInfo& info) {
    if (auto* drop = dropView())
        drop->draggingEnded(info);
    // A drop never changes the picture; putting it back must not stop an animated one either.
    if (imageValue && animatedImage().isEmpty() && !(image() == *imageValue))
        setImage(*imageValue);
}
