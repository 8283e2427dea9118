#include "View/Editing/AssetScrollView/stickyAssetView.h"

#include "Controller/Editing/editViewClass.h"
#include "Model/persistentDataStorageClass.h"

void stickyAssetView::mouseDown(const qrn::ui::Event&) {
    if (!persistentDataStorageClass().getInProgressBool())
        return;
    editViewClass().assetPreviewSelected(shared_from_this());
}
