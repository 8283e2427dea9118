#include "View/Editing/AssetScrollView/dragBackgroundViewView.h"

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/imageClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/tracking_area.h"

namespace {

dragBackgroundViewView::hooks stripHooks;

int assetIdOf(const qrn::ui::View& tile) {
    return tile.subviews().empty() ? 0 : tile.subviews()[0]->tag().value_or(0);
}

} // namespace

std::shared_ptr<dragBackgroundViewView> dragBackgroundViewView::makeDropView(const qrn::Rect& frame) {
    auto tile = std::make_shared<dragBackgroundViewView>(frame);
    auto types = imagePasteboardTypes();
    types.push_back(qrn::ui::pasteboard_type::symbol);
    tile->registerForDraggedTypes(std::move(types));
    tile->addTrackingArea(tile->bounds(),
                          qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow);
    return tile;
}

void dragBackgroundViewView::setHooks(hooks given) {
    stripHooks = std::move(given);
}

void dragBackgroundViewView::mouseDown(const qrn::ui::Event& event) {
    editViewClass::followModifierKeys(event);
    // An import rebuilds the strip under the tile.
    if (!persistentDataStorageClass().getInProgressBool())
        return;
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
    if (!persistentDataStorageClass().getInProgressBool())
        return;
    editViewClass::setHoveredAssetTag(assetIdOf(*this));
    // The tile may have gone with its asset since the press was routed.
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    const auto label = strip ? strip->viewWithTag(assetIdOf(*this)) : nullptr;
    const auto tile = label ? label->superview() : nullptr;
    if (!tile)
        return;
    previewLayerClass().selectAsset(tile, false, true, false, true);
    editViewClass::showPopoverThroughHook(event, 1, false);
}

void dragBackgroundViewView::mouseEntered(const qrn::ui::Event&) {
    assetZPositionClass().setHoveredOverAssetInBackground(shared_from_this(), true);
}

void dragBackgroundViewView::mouseExited(const qrn::ui::Event&) {
    editViewClass::setHoveredAssetTag(std::nullopt);
    assetZPositionClass().setHoveredOverAssetInBackground(shared_from_this(), false);
}
