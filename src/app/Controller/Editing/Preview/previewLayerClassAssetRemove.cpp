// Removing an asset: its model entries, its container and layer views in the preview and its
// tile in the strip; the tiles after it are renumbered and a neighbour is selected.
#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace {

constexpr double assetPitch = 80;

template <typename T> void eraseAt(std::vector<T>& rows, int at) {
    if (at >= 0 && size_t(at) < rows.size())
        rows.erase(rows.begin() + at);
}

// Takes entry `at` out of one of the model's per-asset arrays.
template <typename Rows>
void eraseRow(previewLayerClass& model, int at, const Rows& (previewLayerClass::*get)(),
              void (previewLayerClass::*set)(Rows)) {
    auto rows = (model.*get)();
    eraseAt(rows, at);
    (model.*set)(std::move(rows));
}

std::shared_ptr<qrn::ui::View> superviewOfTag(const std::shared_ptr<qrn::ui::View>& in, int tag) {
    auto tagged = in ? in->viewWithTag(tag) : nullptr;
    return tagged ? tagged->superview() : nullptr;
}

} // namespace

void previewLayerClass::removeAsset(std::optional<int> assetId, bool isUndoReplay) {
    QRN_LOG_IN(LogValues{{"assetId", assetId ? *assetId : -1}, {"isUndoReplay", isUndoReplay}});
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    if (getAssetIdCounter() < 1)
        return;
    if (!assetId) {
        if (getSelectedAsset() == 0)
            return;
        assetId = getSelectedAsset();
    }
    auto assets = getAssetArray();
    const auto found = std::find(assets.begin(), assets.end(), std::to_string(*assetId));
    // The sticky asset and unknown ids are never removed.
    if (*assetId == 0 || found == assets.end() || found == assets.begin())
        return;
    const int index = int(found - assets.begin());
    const bool wasSelected = *assetId == getSelectedAsset();

    editViewClass edit;
    if (!isUndoReplay) {
        if (auto text = editViewClass::getAutocueText())
            edit.addTextToAutocueArray(*text);
        // Recorded first, so that its snapshot still holds the asset.
        undoRedoClass().action("removeAsset", undoValueList{index});
    }
    setAssetIdCounter(getAssetIdCounter() - 1);

    auto layers = getLayerArray();
    const std::vector<std::string> removedLayers =
        size_t(index) < layers.size() ? layers[size_t(index)] : std::vector<std::string>{};

    eraseAt(layers, index);
    setLayerArray(std::move(layers));
    using model = previewLayerClass;
    eraseRow(*this, index, &model::getFirstLayerAboveVideoArray, &model::setFirstLayerAboveVideoArray);
    eraseRow(*this, index, &model::getLayerOriginSizeArray, &model::setLayerOriginSizeArray);
    eraseRow(*this, index, &model::getLayerTransformedOrigin, &model::setLayerTransformedOrigin);
    eraseRow(*this, index, &model::getLayerTransformedSize, &model::setLayerTransformedSize);
    eraseRow(*this, index, &model::getLayerRotateArray, &model::setLayerRotateArray);
    eraseRow(*this, index, &model::getLayerOriginalPosSize, &model::setLayerOriginalPosSize);
    eraseRow(*this, index, &model::getLayerIsFlippedArray, &model::setLayerIsFlippedArray);
    eraseRow(*this, index, &model::getLayerResizeWithAspectRatioArray,
             &model::setLayerResizeWithAspectRatioArray);
    eraseRow(*this, index, &model::getImageReferenceArray, &model::setEntireImageReferenceArray);
    previewLayerViewPathCreationClass pathOwner;
    auto paths = pathOwner.getPathsArray();
    eraseAt(paths, index);
    pathOwner.setPathsArray(std::move(paths));
    filterClass filters;
    auto filterFlags = filters.getLayerFilter();
    auto filterOrders = filters.getLayerFilterOrder();
    auto filterValues = filters.getLayerFilterValues();
    eraseAt(filterFlags, index);
    eraseAt(filterOrders, index);
    eraseAt(filterValues, index);
    filters.setLayerFilter(filterFlags);
    filters.setLayerFilterOrder(filterOrders);
    filters.setLayerFilterValues(filterValues);
    attributedStringStorageClass texts;
    auto symbolTexts = texts.getTextSymbolStringArray();
    eraseAt(symbolTexts, index);
    texts.setTextSymbolStringArray(std::move(symbolTexts), 1);
    assets.erase(assets.begin() + index);
    setAssetArray(assets);
    auto scripts = texts.getAutocueStringArray();
    eraseAt(scripts, index - 1);
    texts.setAutocueStringArray(scripts);
    eraseRow(*this, index - 1, &model::getAssetBackgroundIDArray, &model::setAssetBackgroundIDArray);
    eraseRow(*this, index - 1, &model::getAssetBackgroundColour, &model::setAssetBackgroundColour);

    if (globalAppSettingsClass().getSaveOnUserAction())
        persistentDataStorageClass().exportData(false);

    const auto configuration = getConfiguration();
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    if (auto container = superviewOfTag(preview, *assetId + 1))
        container->removeFromSuperview();
    for (const auto& layer : removedLayers)
        if (auto view = superviewOfTag(preview, std::stoi(layer)))
            view->removeFromSuperview();
    const auto strip = edit.getAssetHorizontalScrollView();
    if (auto tile = superviewOfTag(strip, *assetId))
        tile->removeFromSuperview();

    const int n = int(assets.size());
    std::optional<int> next;
    int start = n;
    if (index < n)
        next = index, start = index;
    else if (index >= 2)
        next = index - 1, start = index - 1;
    for (int k = start; k < n; ++k) {
        auto label = strip ? strip->viewWithTag(std::stoi(assets[size_t(k)])) : nullptr;
        if (auto field = std::dynamic_pointer_cast<qrn::ui::TextField>(label)) {
            field->setStringValue(std::to_string(k));
            field->setAlignment(qrn::TextAlignment::center);
        }
        if (auto tile = label ? label->superview() : nullptr)
            tile->setFrameOrigin({(k - 1) * assetPitch, tile->frame().origin.y});
    }
    if (strip)
        strip->setFrameSize({(getAssetIdCounter() - 1) * assetPitch, 77});

    if (wasSelected || !isUndoReplay) {
        std::shared_ptr<qrn::ui::View> tile;
        if (next)
            tile = superviewOfTag(strip, std::stoi(assets[size_t(*next)]));
        else if (const auto screen = edit.getConfiguration();
                 screen && screen->stickyAsset && !screen->stickyAsset->subviews().empty())
            tile = screen->stickyAsset->subviews()[0];
        selectAsset(tile, false, true, false, true);
    }
}
