#include "View/Editing/LayerScrollView/layerScrollViewView.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Model/persistentDataStorageClass.h"

namespace {

layerScrollViewView::hooks tileHooks;

} // namespace

void layerScrollViewView::setHooks(hooks given) {
    tileHooks = std::move(given);
}

bool layerScrollViewView::selectLayer() {
    // An import rebuilds the list under the tile.
    if (!persistentDataStorageClass().getInProgressBool() || subviews().empty())
        return false;
    const auto number = subviews().back()->tag();
    previewLayerClass().layerSelected(editViewClass().getBackgroundImageView(number));
    return true;
}

void layerScrollViewView::mouseDown(const qrn::ui::Event& event) {
    editViewClass::followModifierKeys(event);
    if (!selectLayer())
        return;
    if (editViewClass::controlKeyPressedThroughHook()) {
        editViewClass::showPopoverThroughHook(event, 2, true);
        return;
    }
    if (tileHooks.setDraggedLayerTag && subviews().size() > 1)
        tileHooks.setDraggedLayerTag(subviews()[1]->tag().value_or(0));
    if (tileHooks.dragLayerToDifferentLocationInScrollView)
        tileHooks.dragLayerToDifferentLocationInScrollView(event, 0);
}

void layerScrollViewView::rightMouseDown(const qrn::ui::Event& event) {
    editViewClass::followModifierKeys(event);
    if (!selectLayer())
        return;
    editViewClass::showPopoverThroughHook(event, 2, true);
}
