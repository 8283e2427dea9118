#include "View/Editing/AssetScrollView/dragBackgroundViewView.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Recording/recordViewClass.h"

namespace {

dragBackgroundViewView::hooks stripHooks;

int assetIdOf(const qrn::ui::View& tile) {
    return tile.subviews().empty() ? 0 : tile.subviews()[0]->tag().value_or(0);
}

} // namespace

std::shared_ptr<dragBackgroundViewView> dragBackgroundViewView::makeDropView(const qrn::Rect& frame) {
    return std::make_shared<dragBackgroundViewView>(frame);
}

void dragBackgroundViewView::setHooks(hooks given) {
    stripHooks = std::move(given);
}

void dragBackgroundViewView::mouseDown(const qrn::ui::Event& event) {
    editViewClass().assetPreviewSelected(shared_from_this());
    if (editViewClass::controlKeyPressedThroughHook()) {
        editViewClass::showPopoverThroughHook(event, 1, false);
        return;
    }
    if (recordViewClass().getRecordViewSelected())
        return;
    if (stripHooks.setDraggedAsset)
        stripHooks.setDraggedAsset(assetIdOf(*this));
    if (stripHooks.dragAssetToDifferentLocationInScrollView)
        stripHooks.dragAssetToDifferentLocationInScrollView(event, true);
}

void dragBackgroundViewView::rightMouseDown(const qrn::ui::Event& event) {
    // The tile may have gone with its asset since the press was routed.
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    const auto label = strip ? strip->viewWithTag(assetIdOf(*this)) : nullptr;
    const auto tile = label ? label->superview() : nullptr;
    if (!tile)
        return;
    previewLayerClass().selectAsset(tile, false, true, false, true);
    editViewClass::showPopoverThroughHook(event, 1, false);
}
