// Adding an asset (its model rows, its container in the preview and its tile in the strip) and
// showing the selected asset.
#include "Controller/Editing/Preview/previewLayerClass.h"

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Global/svgIconView.h"
#include "platform/foundation/colour.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace {

constexpr double assetPitch = 80;

template <typename T> void placeRow(std::vector<T>& rows, std::optional<int> at, T value = T()) {
    if (at && size_t(*at) < rows.size())
        rows.insert(rows.begin() + *at, std::move(value));
    else
        rows.push_back(std::move(value));
}

std::shared_ptr<qrn::ui::View> containerOf(const std::shared_ptr<qrn::ui::View>& preview,
                                           const std::string& assetId) {
    auto tagged = preview ? preview->viewWithTag(std::stoi(assetId) + 1) : nullptr;
    return tagged ? tagged->superview() : nullptr;
}

qrn::Colour colourOf(const std::vector<double>& c) {
    return c.size() >= 4 ? qrn::Colour{c[0], c[1], c[2], c[3]} : qrn::Colour::black();
}

} // namespace

void previewLayerClass::addAsset(bool isRegularAsset, bool isNewAsset, bool syncAutocue,
                                 std::optional<int> duplicateSourceIndex, std::optional<int> restoreIndex,
                                 bool skipUndo, bool isRestore, bool isDuplicate) {
    QRN_LOG_IN(LogValues{{"isRegularAsset", isRegularAsset}, {"isNewAsset", isNewAsset}});
    const auto configuration = getConfiguration();
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    const auto parent = configuration ? configuration->parentPreviewView : nullptr;
    const int counter = getAssetIdCounter();
    auto assets = getAssetArray();
    const int id = restoreIndex ? std::stoi(assets[size_t(*restoreIndex)]) : getLayerIdCounter();
    const int position = restoreIndex ? *restoreIndex - 1 : (isRegularAsset ? counter - 1 : 0);
    // A duplicate records its own undo entry, whatever its source.
    const bool duplicating = duplicateSourceIndex.has_value();
    if (duplicateSourceIndex && *duplicateSourceIndex == 0)
        duplicateSourceIndex.reset();

    // The colour the container and thumbnail are painted with.
    std::vector<double> colour{0, 0, 0, 1};
    const auto colours = getAssetBackgroundColour();
    if (duplicateSourceIndex && size_t(*duplicateSourceIndex - 1) < colours.size())
        colour = colours[size_t(*duplicateSourceIndex - 1)];
    else if (isRegularAsset && !isNewAsset) {
        const size_t k = size_t(restoreIndex.value_or(int(assets.size())));
        if (k >= 1 && k - 1 < colours.size())
            colour = colours[k - 1];
    }

    std::shared_ptr<qrn::ui::View> previous;
    if (restoreIndex)
        previous = *restoreIndex >= 2 ? containerOf(preview, assets[size_t(*restoreIndex - 1)]) : nullptr;
    else if (isRegularAsset && assets.size() > 1)
        previous = containerOf(preview, assets.back());

    // Model rows: one entry per asset in the first family, one per regular asset in the second.
    filterClass filters;
    attributedStringStorageClass texts;
    auto layers = getLayerArray();
    auto first = getFirstLayerAboveVideoArray();
    auto paths = previewLayerViewPathCreationClass().getPathsArray();
    auto origins = getLayerTransformedOrigin();
    auto scales = getLayerTransformedSize();
    const std::optional<int> at =
        restoreIndex && size_t(*restoreIndex) < layers.size() ? restoreIndex : std::nullopt;
    bool layerRows = true;
    if (!restoreIndex) {
        assets.push_back(std::to_string(id));
        setAssetArray(assets);
        if (isRegularAsset) {
            auto backgrounds = getAssetBackgroundIDArray();
            backgrounds.emplace_back();
            setAssetBackgroundIDArray(backgrounds);
        }
        if (isNewAsset && isRegularAsset) {
            auto newColours = colours;
            newColours.push_back(colour);
            setAssetBackgroundColour(newColours);
            auto scripts = texts.getAutocueStringArray();
            scripts.push_back(duplicateSourceIndex && size_t(*duplicateSourceIndex - 1) < scripts.size()
                                  ? scripts[size_t(*duplicateSourceIndex - 1)]
                                  : qrn::AttributedString());
            texts.setAutocueStringArray(scripts);
        }
        // An opened project keeps the per-layer rows it has read.
        layerRows = isNewAsset || !isRegularAsset;
    }
    placeRow(layers, at);
    placeRow(first, at, std::optional<std::string>());
    placeRow(paths, at);
    placeRow(origins, at);
    placeRow(scales, at);
    setLayerArray(std::move(layers));
    setFirstLayerAboveVideoArray(std::move(first));
    previewLayerViewPathCreationClass().setPathsArray(std::move(paths));
    setLayerTransformedOrigin(std::move(origins));
    setLayerTransformedSize(std::move(scales));
    auto symbolTexts = texts.getTextSymbolStringArray();
    if (restoreIndex)
        placeRow(symbolTexts, at);
    while (symbolTexts.size() < getAssetArray().size())
        symbolTexts.emplace_back();
    texts.setTextSymbolStringArray(std::move(symbolTexts), isNewAsset ? 1 : 0);
    if (layerRows || restoreIndex) {
        auto frames = getLayerOriginSizeArray();
        auto rotations = getLayerRotateArray();
        auto originals = getLayerOriginalPosSize();
        auto flips = getLayerIsFlippedArray();
        auto locks = getLayerResizeWithAspectRatioArray();
        auto references = getImageReferenceArray();
        auto flags = filters.getLayerFilter();
        auto orders = filters.getLayerFilterOrder();
        auto values = filters.getLayerFilterValues();
        placeRow(frames, at), placeRow(rotations, at), placeRow(originals, at), placeRow(flips, at);
        placeRow(locks, at), placeRow(references, at);
        // The filter model's own reset already holds the sticky asset's row.
        if (restoreIndex || flags.size() < getAssetArray().size())
            placeRow(flags, at), placeRow(orders, at), placeRow(values, at);
        setLayerOriginSizeArray(std::move(frames));
        setLayerRotateArray(std::move(rotations));
        setLayerOriginalPosSize(std::move(originals));
        setLayerIsFlippedArray(std::move(flips));
        setLayerResizeWithAspectRatioArray(std::move(locks));
        setEntireImageReferenceArray(std::move(references));
        filters.setLayerFilter(flags);
        filters.setLayerFilterOrder(orders);
        filters.setLayerFilterValues(values);
        if (!restoreIndex && globalAppSettingsClass().getSaveOnUserAction() && isNewAsset && !isDuplicate)
            persistentDataStorageClass().exportData(false);
    }

    if (isRegularAsset && preview && parent) {
        auto container = qrn::ui::View::make(qrn::Rect(qrn::Point{}, parent->frame().size));
        container->layer()->setBackgroundColour(colourOf(colour));
        container->addSubview(qrn::ui::TextField::makeMarker(id + 1));
        if (previous)
            preview->addSubview(container, qrn::ui::Ordering::Above, previous.get());
        else
            preview->addSubview(container, qrn::ui::Ordering::Below, nullptr);
    }

    // The tile: a label tagged with the asset id (its number, or the sticky icon) and a 16:9
    // thumbnail with its own z-order markers.
    auto tile = qrn::ui::View::make(qrn::Rect(position * assetPitch, 0, 77, 76));
    tile->layer()->setBorderWidth(1.0);
    tile->layer()->setBorderColour(
        qrn::namedColour("border_colour_light_dark", true).value_or(qrn::Colour::black()));
    tile->layer()->setCornerRadius(4.0);
    // The thumbnail is wider than the tile; the rounded tile shows the middle of it.
    tile->layer()->setMasksToBounds(true);
    auto label = qrn::ui::TextField::make(qrn::Rect(0, 0, 78, 15));
    label->setEditable(false);
    label->setBordered(false);
    label->setDrawsBackground(false);
    label->setTag(id);
    if (isRegularAsset) {
        label->setStringValue(std::to_string(restoreIndex.value_or(counter)));
        label->setAlignment(qrn::TextAlignment::center);
    } else {
        auto holder = qrn::ui::View::make(qrn::Rect(25, -7, 28, 28));
        auto icon = std::make_shared<svgIconClass>();
        icon->setIsButtonEnabled(true);
        holder->addSubview(
            svgIconView::createIconView(icon, std::nullopt, "sticky_asset", 1, holder->bounds(), 100.0));
        label->addSubview(holder);
    }
    tile->addSubview(label);
    auto thumbnail = qrn::ui::View::make(qrn::Rect(-15.79, 15.0, 108.58, 61.0));
    if (isRegularAsset) {
        auto thumbnailContainer = qrn::ui::View::make(thumbnail->bounds());
        thumbnailContainer->layer()->setBackgroundColour(colourOf(colour));
        thumbnailContainer->addSubview(qrn::ui::TextField::makeMarker(id + 1));
        thumbnail->addSubview(thumbnailContainer);
    }
    orderLayersClass().addParentOrderViews(thumbnail, true);
    orderLayersClass().addParentOrderViews(thumbnail, false);
    tile->addSubview(thumbnail);
    editViewClass edit;
    const auto screen = edit.getConfiguration();
    if (!isRegularAsset) {
        if (screen && screen->stickyAsset)
            screen->stickyAsset->addSubview(tile);
    } else if (auto strip = edit.getAssetHorizontalScrollView()) {
        strip->setFrameSize({counter * assetPitch, 77});
        strip->addSubview(tile);
        if (screen && screen->assetTableView)
            screen->assetTableView->contentView()->scrollToPoint({counter * assetPitch, 0});
    }

    if (!restoreIndex && !duplicating && isNewAsset && !skipUndo)
        undoRedoClass().action("addAsset", undoValueList{int(getAssetArray().size()) - 1});
    setAssetIdCounter(counter + 1);
    setLayerIdCounter(getLayerIdCounter() + 2);
    selectAsset(tile, false, syncAutocue, !isRegularAsset, isRegularAsset ? !isRestore : true);
}

void previewLayerClass::selectAsset(const std::shared_ptr<qrn::ui::View>& tile, bool fromUndo,
                                    bool syncAutocue, bool isSticky, bool reloadLayers) {
    QRN_LOG_IN(
        LogValues{{"fromUndo", fromUndo}, {"syncAutocue", syncAutocue}, {"reloadLayers", reloadLayers}});
    if (!tile || tile->subviews().empty())
        return;
    const int id = isSticky ? 0 : tile->subviews()[0]->tag().value_or(0);
    if (getSelectedLayer() || getVideoLayerSelected())
        noLayerSelected();
    setSelectedAsset(id);
    const auto configuration = getConfiguration();
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    if (preview) {
        const auto assets = getAssetArray();
        const auto& layers = getLayerArrayReference();
        const int selected = getSelectedAssetIndex();
        for (size_t a = 0; a < assets.size(); ++a) {
            const bool shown = a == 0 || int(a) == selected;
            if (a != 0)
                if (auto container = containerOf(preview, assets[a]))
                    container->setHidden(!shown);
            if (a < layers.size())
                for (const auto& layer : layers[a])
                    if (auto tagged = preview->viewWithTag(std::stoi(layer)))
                        if (auto view = tagged->superview())
                            view->setHidden(!shown);
        }
    }
    fillSelectedAssetOrderedLayerArray();
}
