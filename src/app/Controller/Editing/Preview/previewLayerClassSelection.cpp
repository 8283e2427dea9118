// What is selected in the preview (one layer of the selected asset, the camera view, or
// nothing) and what follows the selection: the overlay, the layer-list row, the Arrange flips.
#include "Controller/Editing/Preview/previewLayerClass.h"

#include <algorithm>

#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/stylingClass.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/view.h"

void previewLayerClass::highlightOfSelectedScrollViewLayer(int colourIndex, std::optional<int> layer) {
    QRN_LOG_IN(LogValues{{"colourIndex", colourIndex}});
    if (!layer) {
        if (!getVideoLayerSelected())
            return;
        layer = -8;
    }
    if (auto list = editViewClass().getLayerScrollDocumentView())
        if (auto tagged = list->viewWithTag(*layer))
            if (auto row = tagged->superview()) {
                row->layer()->setBorderColour(stylingClass().getColour(colourIndex));
                // A selected tile wholly out of sight (a layer just added at the end of a long
                // list) is brought into view. One partly in sight stays put: a press on it may be
                // starting a reorder drag.
                auto clip = std::dynamic_pointer_cast<qrn::ui::ClipView>(list->superview());
                if (colourIndex != 0 && clip && !clip->documentVisibleRect().intersects(row->frame()))
                    clip->scrollRectToVisible(row->frame());
            }
    mainMenuAppearance menu;
    menu.enableItem("Arrange", "Flip Horizontally");
    menu.enableItem("Arrange", "Flip Vertically");
}

bool previewLayerClass::getDraggingLayer() {
    return getInteractionState().draggingLayer;
}

void previewLayerClass::setDraggingLayer(bool dragging) {
    QRN_LOG_IN(LogValues{{"dragging", dragging}});
    getInteractionState().draggingLayer = dragging;
}

void previewLayerClass::layerSelected(const std::shared_ptr<qrn::ui::View>& view) {
    QRN_LOG_IN(LogValues{{"view", view != nullptr}});
    if (const int handle = getResizeOrRotateButtonSelected(); handle != 0) {
        // The press works a handle of the current selection, which stays as it is.
        setRotateButtonSelected(handle);
        return;
    }
    if (recordViewClass().getRecordViewSelected()) {
        if (view)
            recordViewClass().selectNextAsset();
        return;
    }
    if (!view) {
        noLayerSelected();
        return;
    }
    if (view == getVideoLayerView()) {
        selectVideoLayer();
        cropOverlay(getVideoCropState());
        return;
    }
    // A layer view carries its id on its first subview; anything else selects nothing.
    const auto id = view->subviews().empty() ? std::nullopt : view->subviews().front()->tag();
    if (!id) {
        noLayerSelected();
        return;
    }
    const auto overlay = getSuperviewOfTaggedPreviewView();
    const auto previous = getSelectedLayer();
    setSelectedLayer(*id);
    if (overlay)
        overlay->setHidden(false);
    if (previous && *previous == *id) {
        // The layer list may have been built anew since the layer was selected (the editing
        // screen taking its views back from the studio): its tile shows the selection again.
        highlightOfSelectedScrollViewLayer(5, *id);
        setDraggingLayer(true);
        return;
    }
    highlightOfSelectedScrollViewLayer(0, previous);
    setVideoLayerSelected(false);
    highlightOfSelectedScrollViewLayer(5, *id);
    if (overlay) {
        if (overlay->subviews().size() > 2)
            overlay->subviews()[2]->setHidden(false);
        cropOverlay(false);
        rotateLayer(*overlay, 0.0);
        positionAndResizeOverlay(std::nullopt, true);
        const int a = getSelectedAssetIndex();
        const int l = getSelectedLayerIndex(false);
        if (a >= 0 && l >= 0)
            rotateLayer(*overlay, getLayerRotateArray()[size_t(a)][size_t(l)]);
    }
    setDraggingLayer(true);
    reloadSettingsPane();
}

void previewLayerClass::noLayerSelected() {
    QRN_LOG_IN(std::nullopt);
    highlightOfSelectedScrollViewLayer(0, getSelectedLayer());
    setVideoLayerSelected(false);
    setSelectedLayer(std::nullopt);
    if (auto overlay = getSuperviewOfTaggedPreviewView())
        overlay->setHidden(true);
    mainMenuAppearance menu;
    menu.disableItem("Arrange", "Flip Horizontally");
    menu.disableItem("Arrange", "Flip Vertically");
    reloadSettingsPane();
}

void previewLayerClass::selectLastLayer() {
    QRN_LOG_IN(std::nullopt);
    const int a = getSelectedAssetIndex();
    const auto& layers = getLayerArray();
    const auto configuration = getConfiguration();
    if (a < 0 || size_t(a) >= layers.size() || layers[size_t(a)].empty() || !configuration) {
        noLayerSelected();
        return;
    }
    auto tagged = configuration->layerContainerView->viewWithTag(std::stoi(layers[size_t(a)][0]));
    layerSelected(tagged ? tagged->superview() : nullptr);
}
