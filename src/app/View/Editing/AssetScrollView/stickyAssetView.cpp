#include "View/Editing/AssetScrollView/stickyAssetView.h"

#include "Controller/Editing/editViewClass.h"

void stickyAssetView::mouseDown(const qrn::ui::Event&) {
    editViewClass().assetPreviewSelected(shared_from_this());
}
