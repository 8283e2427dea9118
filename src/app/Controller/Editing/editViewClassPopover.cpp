// Which context menu a right-click or Control-click opens: the layer menu (or the delete-only
// menu of a background layer) on the selected layer, in the preview or in the layer list, and
// the asset menu on the selected asset's tile. The click's window location is converted into
// the view it is tested in, so scrolled lists and a moved preview hit the right tile.
#include "Controller/Editing/editViewClass.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/popupMenuClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/event.h"
#include "platform/ui/view.h"

namespace {

bool controlKeyPressed = false;

// The tile holding the marker tagged tag in a list's document view, and whether the click lands
// on it.
bool clickOnTile(const std::shared_ptr<qrn::ui::View>& document, int tag, const qrn::ui::Event& event,
                 bool& tileFound) {
    const auto marker = document ? document->viewWithTag(tag) : nullptr;
    const auto tile = marker ? marker->superview() : nullptr;
    tileFound = tile != nullptr;
    if (!tile || tile == document)
        return false;
    const qrn::Point p = document->convertPointFromView(event.locationInWindow, nullptr);
    return tile->frame().contains(p);
}

} // namespace

void editViewClass::showPopover(const qrn::ui::Event& event, int type, bool force) {
    QRN_LOG_IN(LogValues{{"type", type}, {"force", force}});
    previewLayerClass model;
    const auto selectedLayer = model.getSelectedLayer();
    bool layerMenu = false;
    bool assetMenu = false;
    if (type == 0 && selectedLayer) {
        const size_t a = size_t(model.getSelectedAssetIndex());
        const int l = model.getSelectedLayerIndex(false);
        const auto& paths = previewLayerViewPathCreationClass().pathsArrayReference();
        const bool hasPath = l >= 0 && a < paths.size() && size_t(l) < paths[a].size();
        const auto dragView = getDragView();
        if (force) {
            layerMenu = true;
        } else if (hasPath && dragView) {
            const qrn::Point p = dragView->convertPointFromView(event.locationInWindow, nullptr);
            layerMenu = paths[a][size_t(l)].path.contains(p);
        }
    } else if (type == 1) {
        // The sticky asset has no tile in the strip: no menu.
        bool tileFound = false;
        const bool hit =
            clickOnTile(getAssetHorizontalScrollView(), model.getSelectedAsset(), event, tileFound);
        assetMenu = tileFound && (hit || force);
    } else if (type == 2 && selectedLayer) {
        bool tileFound = false;
        const bool hit = clickOnTile(getLayerScrollDocumentView(), *selectedLayer, event, tileFound);
        layerMenu = tileFound && (hit || force);
    }

    popupMenuClass menu;
    if (layerMenu) {
        const int assetIndex = model.getSelectedAssetIndex();
        const auto backgrounds = model.getAssetBackgroundIDArray();
        std::optional<std::string> background;
        if (assetIndex > 0 && size_t(assetIndex - 1) < backgrounds.size())
            background = backgrounds[size_t(assetIndex - 1)];
        const bool isBackground = background && *background == std::to_string(*selectedLayer);
        menu.showPopover(event, isBackground ? "popupMenuControllerThree" : "popupMenuControllerOne", 0);
    } else if (assetMenu) {
        menu.showPopover(event, "popupMenuControllerTwo", 0);
    } else {
        // A miss also drops a menu still waiting to load for an earlier click.
        menu.closePopover();
    }
    QRN_LOG_OUT();
}

bool editViewClass::getControlKeyPressed() {
    return controlKeyPressed;
}

void editViewClass::setControlKeyPressed(bool pressed) {
    controlKeyPressed = pressed;
}

void editViewClass::followModifierKeys(const qrn::ui::Event& press) {
    if (!press.hasModifier(qrn::ui::ModifierControl))
        controlKeyPressed = false;
    if (!press.hasModifier(qrn::ui::ModifierShift))
        editViewClass().setShiftKeyPressed(false);
}

void editViewClass::connectPopoverHooks() {
    setControlKeyPressedHook([] { return editViewClass().getControlKeyPressed(); });
    setShowPopoverHook([](const qrn::ui::Event& event, int type, bool force) {
        editViewClass().showPopover(event, type, force);
    });
}
