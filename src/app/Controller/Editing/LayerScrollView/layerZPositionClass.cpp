#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"

#include <algorithm>

#include "Controller/Editing/LayerScrollView/layerZPositionClassState.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/colour.h"
#include "platform/ui/event.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/view.h"

namespace layerZPositionDetail {

dragState& state() {
    static dragState drag;
    return drag;
}

std::optional<std::string> backgroundIdOf(int a) {
    if (a < 1)
        return std::nullopt;
    const auto backgrounds = previewLayerClass().getAssetBackgroundIDArray();
    return size_t(a - 1) < backgrounds.size() ? backgrounds[size_t(a - 1)] : std::nullopt;
}

std::vector<std::string> tileOrder(int a) {
    previewLayerClass model;
    const auto& layers = model.getLayerArrayReference();
    if (a < 0 || size_t(a) >= layers.size())
        return {};
    const auto firsts = model.getFirstLayerAboveVideoArray();
    const auto first = size_t(a) < firsts.size() ? firsts[size_t(a)] : std::nullopt;
    const auto background = backgroundIdOf(a);
    std::vector<std::string> order;
    bool cameraPlaced = false;
    for (const auto& id : layers[size_t(a)]) {
        if (background && id == *background)
            continue;
        if (first && id == *first && !cameraPlaced) {
            order.push_back(cameraTile);
            cameraPlaced = true;
        }
        order.push_back(id);
    }
    if (!cameraPlaced)
        order.push_back(cameraTile);
    return order;
}

} // namespace layerZPositionDetail

using namespace layerZPositionDetail;

namespace {

std::shared_ptr<qrn::ui::View> mainView() {
    const auto config = viewLoaderClass().getConfig();
    return config ? config->mainView : nullptr;
}

// The floating tile: the superview of the -7 marker in the main view.
std::shared_ptr<qrn::ui::View> draggedLayerPreview() {
    const auto main = mainView();
    const auto marker = main ? main->viewWithTag(-7) : nullptr;
    return marker ? marker->superview() : nullptr;
}

std::shared_ptr<qrn::ui::View> tileOf(const std::string& id) {
    const auto list = editViewClass().getLayerScrollDocumentView();
    const auto marker = list ? list->viewWithTag(std::stoi(id)) : nullptr;
    const auto tile = marker ? marker->superview() : nullptr;
    return tile && tile != list ? tile : nullptr;
}

void placeTile(const std::string& id, int slot) {
    if (auto tile = tileOf(id))
        tile->setFrameOrigin({slot * layerZPositionClass::layerWidth, tile->frame().origin.y});
}

// A scroll view's frame in the main view's coordinates.
std::optional<qrn::Rect> frameInMainView(const std::shared_ptr<qrn::ui::ScrollView>& scroll) {
    const auto main = mainView();
    if (!scroll || !main)
        return std::nullopt;
    return scroll->convertRectToView(scroll->bounds(), main.get());
}

} // namespace

void layerZPositionClass::setDraggedLayerTag(int tag) {
    QRN_LOG_IN(LogValues{{"tag", tag}});
    state().draggedLayerTag = tag;
}

std::optional<int> layerZPositionClass::getDraggedLayerTag() {
    return state().draggedLayerTag;
}

void layerZPositionClass::returnImageFromDraggedLayerPreviewViewToLayerPreviewInScrollView(
    const std::shared_ptr<qrn::ui::View>& layerView) {
    QRN_LOG_IN(std::nullopt);
    const auto preview = draggedLayerPreview();
    if (preview) {
        preview->setHidden(true);
        // The first subview is the preview's own marker; the second is the lifted picture.
        if (layerView && preview->subviews().size() > 1) {
            const auto picture = preview->subviews()[1];
            const auto first = layerView->subviews().empty() ? nullptr : layerView->subviews().front();
            if (first)
                layerView->addSubview(picture, qrn::ui::Ordering::Below, first.get());
            else
                layerView->addSubview(picture);
        }
        // A tile that went meanwhile leaves its picture behind; it must not ride along next time.
        while (preview->subviews().size() > 1)
            preview->subviews().back()->removeFromSuperview();
    }
    if (layerView)
        layerView->layer()->setOpacity(1.0);
}

void layerZPositionClass::removeBorderHighlightFromAssetInScrollView() {
    if (previewLayerClass().getAssetArray().size() < 3)
        return;
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    if (!strip)
        return;
    const auto plain = qrn::namedColour("border_colour_light_dark", true).value_or(qrn::Colour::black());
    for (const auto& tile : strip->subviews())
        tile->layer()->setBorderColour(plain);
}

int layerZPositionClass::nextSlot(int m, double x, int lastSlot) {
    // 25 points either side of the slot's origin before the target changes.
    if (m >= 1 && x < (m - 1) * layerWidth + 19 - 5)
        return m - 1;
    if (m >= lastSlot)
        return m;
    if ((m + 1) * layerWidth - 19 + 5 < x)
        return m + 1;
    return m;
}

int layerZPositionClass::shownCameraSlot(int cameraSlot, int startSlot, int target) {
    if (startSlot < cameraSlot && target >= cameraSlot)
        return cameraSlot - 1;
    if (startSlot > cameraSlot && target <= cameraSlot)
        return cameraSlot + 1;
    return cameraSlot;
}

void layerZPositionClass::changeLayerViewOriginX(int layerIndex) {
    const auto order = tileOrder(previewLayerClass().getSelectedAssetIndex());
    if (layerIndex >= 0 && size_t(layerIndex) < order.size())
        placeTile(order[size_t(layerIndex)], layerIndex);
}

void layerZPositionClass::revertAllMovedLayersBackToOriginalPosition(int assetArrayIndex) {
    QRN_LOG_IN(LogValues{{"assetArrayIndex", assetArrayIndex}});
    auto& drag = state();
    if (!drag.movedLayerIndexRange)
        return;
    const int s0 = selectedLayerStartingIndex(true, assetArrayIndex);
    const auto [lowest, highest] = *drag.movedLayerIndexRange;
    for (int i = s0 + 1; i <= highest; ++i)
        changeLayerViewOriginX(i);
    for (int i = lowest; i < s0; ++i)
        changeLayerViewOriginX(i);
    if (drag.videoLayerIndexValue)
        drag.newVideoLayerIndex = drag.videoLayerIndexValue;
}

void layerZPositionClass::moveNonSelectedLayerOutOfTheWay(int moveToLayerIndexValue, bool moveToLeft) {
    auto& drag = state();
    if (!drag.moveToLayerIndex || !drag.movedLayerIndexRange || !drag.videoLayerIndexValue)
        return;
    const int a = previewLayerClass().getSelectedAssetIndex();
    const int s0 = selectedLayerStartingIndex(true, a);
    const int m = *drag.moveToLayerIndex;
    auto& range = *drag.movedLayerIndexRange;
    if (moveToLeft)
        range[0] = std::min(range[0], m);
    else
        range[1] = std::max(range[1], m);
    // The list as shown with the dragged tile in slot m: the tile now due in the vacated slot
    // slides there.
    const auto shown = movedOrder(tileOrder(a), s0, m);
    if (moveToLayerIndexValue < 0 || size_t(moveToLayerIndexValue) >= shown.size())
        return;
    placeTile(shown[size_t(moveToLayerIndexValue)], moveToLayerIndexValue);
    drag.newVideoLayerIndex = shownCameraSlot(*drag.videoLayerIndexValue, s0, m);
}

void layerZPositionClass::moveLayerToDifferentPositionInScrollViewOrOrderZPosition(int firstMiddleLastInt,
                                                                                   int assetArrayIndex,
                                                                                   bool undoRedo) {
    auto& drag = state();
    if (!drag.moveToLayerIndex || !drag.draggedLayerTag)
        return;
    if (firstMiddleLastInt == 2) {
        const int s0 = selectedLayerStartingIndex(true, assetArrayIndex);
        if (assetArrayIndex == previewLayerClass().getSelectedAssetIndex())
            placeTile(std::to_string(*drag.draggedLayerTag), *drag.moveToLayerIndex);
        updateLayerArraysForSelectedAsset(s0, *drag.moveToLayerIndex, assetArrayIndex, undoRedo);
        return;
    }
    const auto config = editViewClass().getConfiguration();
    const auto listFrame = frameInMainView(config ? config->layerTableView : nullptr);
    const auto list = editViewClass().getLayerScrollDocumentView();
    const auto main = mainView();
    if (!listFrame || !list || !main || !drag.draggedLayerBounds)
        return;
    const auto [minY, maxY, minX, maxX] = *drag.draggedLayerBounds;
    (void)minY;
    (void)maxY;
    // No step until the floating tile reaches 4 points into the list.
    if (maxX < listFrame->minX() + 4.0)
        return;
    const double x = list->convertPointFromView({minX, 0}, main.get()).x;
    const int m = *drag.moveToLayerIndex;
    const int next = nextSlot(m, x, int(list->subviews().size()) - 1);
    if (next == m)
        return;
    drag.moveToLayerIndex = next;
    moveNonSelectedLayerOutOfTheWay(m, next < m);
}

bool layerZPositionClass::checkIfDraggedLayerBoundsIsWithinScrollView(bool layerScrollView) {
    const auto& bounds = state().draggedLayerBounds;
    const auto config = editViewClass().getConfiguration();
    if (!bounds || !config)
        return false;
    const auto frame = frameInMainView(layerScrollView ? config->layerTableView : config->assetTableView);
    if (!frame)
        return false;
    const auto [minY, maxY, minX, maxX] = *bounds;
    (void)minX;
    const double low = frame->minY(), high = frame->maxY(), right = frame->minX();
    return ((low < minY && minY < high) || (low < maxY && maxY < high)) && right < maxX;
}

void layerZPositionClass::newAssetPreviewFollowTheMousePosition(
    const qrn::ui::Event& event, const std::shared_ptr<qrn::ui::View>& layerView, int firstMiddleLastInt) {
    auto& drag = state();
    const auto main = mainView();
    const auto preview = draggedLayerPreview();
    if (!main || !preview || !layerView)
        return;
    const qrn::Point p = main->convertPointFromView(event.locationInWindow, nullptr);
    const qrn::Rect tile = layerView->convertRectToView(layerView->bounds(), main.get());
    if (!drag.draggedLayerOffsetX)
        drag.draggedLayerOffsetX = p.x - tile.minX();
    if (!drag.draggedLayerOffsetY)
        drag.draggedLayerOffsetY = p.y - tile.minY();
    const double x = std::max(p.x - *drag.draggedLayerOffsetX, 0.0);
    const double y = std::max(p.y - *drag.draggedLayerOffsetY, 0.0);
    const qrn::Size size = preview->bounds().size;
    preview->setFrame(qrn::Rect(x, y, size.width, size.height));
    drag.draggedLayerBounds = std::array<double, 4>{y, y + size.height, x, x + size.width};

    const int a = previewLayerClass().getSelectedAssetIndex();
    if (firstMiddleLastInt != 2) {
        removeBorderHighlightFromAssetInScrollView();
        if (checkIfDraggedLayerBoundsIsWithinScrollView(true))
            moveLayerToDifferentPositionInScrollViewOrOrderZPosition(firstMiddleLastInt, a, false);
        return;
    }
    if (checkIfDraggedLayerBoundsIsWithinScrollView(true))
        moveLayerToDifferentPositionInScrollViewOrOrderZPosition(2, a, false);
    else
        revertAllMovedLayersBackToOriginalPosition(a);
}

int layerZPositionClass::selectedLayerStartingIndex(bool backgroundLayerCorrection, int assetArrayIndex) {
    (void)backgroundLayerCorrection;
    const auto& tag = state().draggedLayerTag;
    if (!tag)
        return -1;
    const auto order = tileOrder(assetArrayIndex);
    const auto it = std::find(order.begin(), order.end(), std::to_string(*tag));
    return it == order.end() ? -1 : int(it - order.begin());
}

void layerZPositionClass::addImageToDraggedLayerPreviewView(const std::shared_ptr<qrn::ui::View>& layerView,
                                                            int firstMiddleLastInt) {
    if (firstMiddleLastInt != 0 || !layerView)
        return;
    auto& drag = state();
    const int s0 = selectedLayerStartingIndex(true, previewLayerClass().getSelectedAssetIndex());
    drag.moveToLayerIndex = s0;
    drag.movedLayerIndexRange = std::array<int, 2>{s0, s0};
    const auto preview = draggedLayerPreview();
    if (!preview)
        return;
    preview->setFrame(qrn::Rect(qrn::Point{}, layerView->bounds().size));
    if (!layerView->subviews().empty())
        preview->addSubview(layerView->subviews().front());
    preview->setHidden(false);
    layerView->layer()->setOpacity(0);
}

void layerZPositionClass::videoLayerIndex(int assetArrayIndex) {
    auto& drag = state();
    const auto order = tileOrder(assetArrayIndex);
    const auto camera = std::find(order.begin(), order.end(), cameraTile);
    const int start = selectedLayerStartingIndex(true, assetArrayIndex);
    drag.videoLayerIndexValue = int(camera - order.begin());
    drag.newVideoLayerIndex = drag.videoLayerIndexValue;
    drag.layerIsAboveVideo = start > *drag.videoLayerIndexValue;
}

void layerZPositionClass::clearClass() {
    state() = dragState{};
}

void layerZPositionClass::dragLayerToDifferentLocationInScrollView(const qrn::ui::Event& event,
                                                                   int firstMiddleLastInt) {
    auto& drag = state();
    if (!drag.draggedLayerTag)
        return;
    QRN_LOG_IN(LogValues{{"firstMiddleLastInt", firstMiddleLastInt}});
    const auto layerView = tileOf(std::to_string(*drag.draggedLayerTag));
    const int a = previewLayerClass().getSelectedAssetIndex();
    if (firstMiddleLastInt == 0) {
        // A tile whose layer is not in the selected asset's row has nothing to drag.
        if (!layerView || selectedLayerStartingIndex(true, a) < 0) {
            clearClass();
            return;
        }
        videoLayerIndex(a);
        addImageToDraggedLayerPreviewView(layerView, 0);
        newAssetPreviewFollowTheMousePosition(event, layerView, 0);
        return;
    }
    if (!drag.moveToLayerIndex) {
        clearClass();
        return;
    }
    addImageToDraggedLayerPreviewView(layerView, firstMiddleLastInt);
    newAssetPreviewFollowTheMousePosition(event, layerView, firstMiddleLastInt);
    if (firstMiddleLastInt != 2)
        return;
    clearClass();
    returnImageFromDraggedLayerPreviewViewToLayerPreviewInScrollView(layerView);
    removeBorderHighlightFromAssetInScrollView();
}

void layerZPositionClass::revertAnUndoRedoAction(int fromAssetIndex, std::optional<int> toAssetIndex,
                                                 int fromLayerInt, int toLayerIndex, int newVideoLayerIndex) {
    QRN_LOG_IN(LogValues{{"fromAssetIndex", fromAssetIndex},
                         {"fromLayerInt", fromLayerInt},
                         {"toLayerIndex", toLayerIndex},
                         {"newVideoLayerIndex", newVideoLayerIndex}});
    if (toAssetIndex) {
        QRN_LOG_ERROR(std::string("A layer is never moved to another asset"));
        clearClass();
        return;
    }
    auto& drag = state();
    drag.moveToLayerIndex = toLayerIndex;
    drag.draggedLayerTag = fromLayerInt;
    if (selectedLayerStartingIndex(true, fromAssetIndex) < 0) {
        QRN_LOG_ERROR("Layer " + std::to_string(fromLayerInt) + " is not in asset " +
                      std::to_string(fromAssetIndex));
        clearClass();
        return;
    }
    videoLayerIndex(fromAssetIndex);
    drag.newVideoLayerIndex = newVideoLayerIndex;
    moveLayerToDifferentPositionInScrollViewOrOrderZPosition(2, fromAssetIndex, true);
    clearClass();
    // Only the moved tile was placed; the others follow the model again.
    if (fromAssetIndex == previewLayerClass().getSelectedAssetIndex())
        editViewClass().loadScrollViewLayers();
}
