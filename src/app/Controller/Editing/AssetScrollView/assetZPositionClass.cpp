#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"

#include <algorithm>
#include <array>

#include "Controller/Editing/AssetScrollView/assetZPositionClassModel.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/movedOrder.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/event.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace {

std::optional<int> draggedAsset;
std::weak_ptr<qrn::ui::View> hoveredOverAssetInBackground;
std::optional<double> assetDragOffset;
qrn::GenerationCounter reorderAssetDelayCounter{10000};
// Element 1: the highest slot entered moving right since the last model move.
std::array<int, 2> assetReorderRange{0, 0};
std::optional<int> newAssetIndex;

int assetIdOf(const qrn::ui::View& tile) {
    return tile.subviews().empty() ? -1 : tile.subviews()[0]->tag().value_or(-1);
}

void setNumber(const std::shared_ptr<qrn::ui::View>& tile, const qrn::AttributedString& number) {
    auto label = tile && !tile->subviews().empty()
                     ? std::dynamic_pointer_cast<qrn::ui::TextField>(tile->subviews()[0])
                     : nullptr;
    if (!label)
        return;
    label->setAttributedStringValue(number);
    label->setAlignment(qrn::TextAlignment::center);
}

qrn::AttributedString numberOf(const std::shared_ptr<qrn::ui::View>& tile) {
    auto label = tile && !tile->subviews().empty()
                     ? std::dynamic_pointer_cast<qrn::ui::TextField>(tile->subviews()[0])
                     : nullptr;
    return label ? label->attributedStringValue() : qrn::AttributedString();
}

} // namespace

namespace assetStrip {

std::shared_ptr<qrn::ui::View> tileOf(int assetId) {
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    const auto label = strip ? strip->viewWithTag(assetId) : nullptr;
    const auto tile = label ? label->superview() : nullptr;
    return tile && tile != strip ? tile : nullptr;
}

int indexOf(int assetId) {
    const auto assets = previewLayerClass().getAssetArray();
    const auto it = std::find(assets.begin(), assets.end(), std::to_string(assetId));
    return it == assets.end() ? -1 : int(it - assets.begin());
}

void layOutTilesFromModel(int afterIndex) {
    const auto assets = previewLayerClass().getAssetArray();
    for (size_t i = size_t(std::max(afterIndex + 1, 1)); i < assets.size(); ++i)
        if (auto tile = tileOf(std::stoi(assets[i]))) {
            tile->setFrameOrigin(
                {assetZPositionClass::getXValueFromAssetIndex(int(i)), tile->frame().origin.y});
            setNumber(tile, qrn::AttributedString(std::to_string(i)));
        }
}

} // namespace assetStrip

using namespace assetStrip;

void assetZPositionClass::clearClass() {
    draggedAsset.reset();
    assetDragOffset.reset();
    assetReorderRange = {0, 0};
    newAssetIndex.reset();
}

void assetZPositionClass::setDraggedAsset(int assetId) {
    QRN_LOG_IN(LogValues{{"assetId", assetId}});
    draggedAsset = assetId;
}

std::optional<int> assetZPositionClass::getDraggedAsset() {
    return draggedAsset;
}

void assetZPositionClass::setHoveredOverAssetInBackground(const std::shared_ptr<qrn::ui::View>& tile,
                                                          bool entered) {
    if (!tile || (draggedAsset && assetIdOf(*tile) == *draggedAsset))
        return;
    if (entered)
        hoveredOverAssetInBackground = tile;
    else if (hoveredOverAssetInBackground.lock() == tile)
        hoveredOverAssetInBackground.reset();
}

void assetZPositionClass::addAssetToEndOfScrollView(const std::shared_ptr<qrn::ui::View>& tile) {
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    if (assetDragOffset || !strip || !tile || strip->subviews().size() <= 1 || tile->superview() != strip)
        return;
    strip->addSubview(tile);
}

void assetZPositionClass::reorderAssetZPosition(int fromIndex, bool isUndoRedo) {
    QRN_LOG_IN(LogValues{{"fromIndex", fromIndex}, {"isUndoRedo", isUndoRedo}});
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    if (!newAssetIndex)
        return;
    const int to = *newAssetIndex;
    assetReorderRange = {0, 0};
    newAssetIndex.reset();
    // Back in its own slot: nothing moved, so nothing is recorded or written.
    if (to == fromIndex)
        return;
    if (!assetLists::moveAsset(fromIndex, to, !isUndoRedo)) {
        QRN_LOG_ERROR("The asset lists are out of step; asset " + std::to_string(fromIndex) + " not moved");
        layOutTilesFromModel(0);
        return;
    }
    persistentDataStorageClass().exportData(false);
}

void assetZPositionClass::reorderAssetZPositionDelayCheck(bool dragging) {
    const int generation = reorderAssetDelayCounter.increment();
    if (!dragging) {
        if (draggedAsset)
            reorderAssetZPosition(indexOf(*draggedAsset), false);
        return;
    }
    if (!draggedAsset)
        return;
    // The rest acts on this drag's asset, by its id, and only while that drag is on.
    const int asset = *draggedAsset;
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(0.3, [generation, asset, project] {
        if (!reorderAssetDelayCounter.isCurrent(generation) || draggedAsset != asset ||
            project != persistentDataStorageClass().getProjectDirectory())
            return;
        assetZPositionClass().reorderAssetZPosition(indexOf(asset), false);
    });
}

void assetZPositionClass::moveNonSelectedAssetOutOfTheWay(int slotIndex, bool movingLeft, int draggedAssetId,
                                                          bool replaying, bool swapLabels) {
    if (!newAssetIndex)
        return;
    const int s = *newAssetIndex;
    const auto assets = previewLayerClass().getAssetArray();
    const int m = indexOf(draggedAssetId);
    if (!replaying && !movingLeft)
        assetReorderRange[1] = std::max(assetReorderRange[1], s);
    // Replaying follows the model; a drag follows the strip as shown, with the dragged tile
    // in slot s and the model not yet moved.
    const auto shown = replaying ? assets : movedOrder(assets, m, s);
    const size_t at = size_t(replaying ? s : slotIndex);
    if (m < 0 || at >= shown.size() || at == 0)
        return;
    const auto neighbour = tileOf(std::stoi(shown[at]));
    if (!neighbour || (!replaying && shown[at] == std::to_string(draggedAssetId)))
        return;
    neighbour->setFrameOrigin({getXValueFromAssetIndex(slotIndex), neighbour->frame().origin.y});
    const auto previous = numberOf(neighbour);
    setNumber(neighbour, qrn::AttributedString(std::to_string(slotIndex)));
    if (swapLabels)
        setNumber(tileOf(draggedAssetId), previous);
}

int assetZPositionClass::nextSlot(int c, double x, int n, double w) {
    if (c >= 2 && x < (c - 2) * assetPitch + w * 0.5 - 10.0)
        return c - 1;
    if (c < n && x > (c - 1) * assetPitch + w * 0.5 + 10.0)
        return c + 1;
    return c;
}

void assetZPositionClass::reorderAssetInScrollView(double x) {
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    const auto tile = draggedAsset ? tileOf(*draggedAsset) : nullptr;
    if (!strip || !tile)
        return;
    const int c = newAssetIndex.value_or(indexOf(*draggedAsset));
    const int next = nextSlot(c, x, int(strip->subviews().size()), tile->frame().size.width);
    if (next == c)
        return;
    newAssetIndex = next;
    moveNonSelectedAssetOutOfTheWay(c, next < c, *draggedAsset, false, true);
}

double assetZPositionClass::getXValueFromAssetIndex(int index) {
    return double((index - 1) * 78 + (index - 1) * 2);
}

double assetZPositionClass::calculateNewXValue(const qrn::ui::Event& event, bool dragging) {
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    const auto tile = draggedAsset ? tileOf(*draggedAsset) : nullptr;
    if (!strip || !tile)
        return 0;
    if (!dragging)
        return getXValueFromAssetIndex(newAssetIndex.value_or(indexOf(*draggedAsset)));
    // Measured in the strip's document, so a scrolled strip follows the pointer too.
    const double m = std::max(strip->convertPointFromView(event.locationInWindow, nullptr).x, 0.0);
    if (!assetDragOffset)
        assetDragOffset = m - tile->frame().origin.x;
    const double x = std::max(m - *assetDragOffset, 0.0);
    if (x + tile->frame().size.width > strip->frame().size.width)
        return tile->frame().origin.x;
    return x;
}

void assetZPositionClass::dragAssetToDifferentLocationInScrollView(const qrn::ui::Event& event,
                                                                   bool dragging) {
    if (!draggedAsset)
        return;
    const auto tile = tileOf(*draggedAsset);
    if (!tile)
        return;
    const double x = calculateNewXValue(event, dragging);
    tile->setFrameOrigin({x, tile->frame().origin.y});
    reorderAssetInScrollView(x);
    reorderAssetZPositionDelayCheck(dragging);
    if (dragging)
        return;
    clearClass();
    if (auto hovered = hoveredOverAssetInBackground.lock())
        addAssetToEndOfScrollView(hovered);
}

void assetZPositionClass::revertUndoRedoAction(int from, int to) {
    QRN_LOG_IN(LogValues{{"from", from}, {"to", to}});
    newAssetIndex = to;
    reorderAssetZPosition(from, true);
    layOutTilesFromModel(0);
    // The selected tile may have moved out of the strip's view; the presenter sees it where it went.
    editViewClass().showSelectedAssetTile();
}

void assetZPositionClass::moveAllAssetPreviewsAfterIndexForwardsByOne(int index) {
    QRN_LOG_IN(LogValues{{"index", index}});
    if (index >= int(previewLayerClass().getAssetArray().size()) - 1)
        return;
    layOutTilesFromModel(index);
}
