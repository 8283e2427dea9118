#include "View/Editing/LayerScrollView/backgroundColourView.h"

#include <any>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Model/globalAppSettingsClass.h"
#include "View/Editing/viewLoaderController.h"
#include "platform/ui/panels.h"
#include "platform/ui/window.h"

void backgroundColourView::mouseDown(const qrn::ui::Event&) {
    if (previewLayerClass().getSelectedAsset() == 0)
        return;
    auto* screen =
        dynamic_cast<viewLoaderController*>(window() ? window()->contentViewController() : nullptr);
    if (!screen)
        return;
    // The panel's changes go to the editing screen, not to a filter or text panel that held it.
    globalAppSettingsClass().setColourChangeResponderClass(std::any());
    qrn::ColourPanel::shared().setShowsAlpha(false);
    std::weak_ptr<qrn::ui::ViewController> weak = screen->shared_from_this();
    editViewClass().showAssetColourInPanel(screen, [weak](const qrn::Colour& colour) {
        if (auto alive = std::static_pointer_cast<viewLoaderController>(weak.lock()))
            alive->changeColor(colour);
    });
}
