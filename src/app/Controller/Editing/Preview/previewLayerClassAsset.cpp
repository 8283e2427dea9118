// Adding an asset (its model rows, its container in the preview and its tile in the strip) and
// showing the selected asset.
#include "Controller/Editing/Preview/previewLayerClass.h"

#include <algorithm>
#include <utility>

#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/animatedImagesClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/AssetScrollView/dragBackgroundViewView.h"
#include "View/Editing/AssetScrollView/stickyAssetView.h"
#include "View/Global/svgIconView.h"
#include "platform/foundation/colour.h"
#include "platform/ui/image_view.h"
#include "platform/ui/panels.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace {

constexpr double assetPitch = 80;

// The strip's width the last tile added during an import asked for: growing the strip re-lays
// every tile in it, so an opening project sizes it once, at the end.
std::optional<double> stripWidthAfterImport;

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

// Stored colours hold red, green and blue on 0-255 and alpha on 0-1.
qrn::Colour colourOf(const std::vector<double>& c) {
    return stylingClass().arrayToColour(c);
}

// The asset whose tile label is highlighted; a new project starts from the sticky asset.
int lastSelectedAsset = 0;
bool layerListsHeld = false;

// From the end: ids are unique, and the asset asked about is most often the one just added.
int positionOf(const std::vector<std::string>& list, int id) {
    const auto it = std::find(list.rbegin(), list.rend(), std::to_string(id));
    return it == list.rend() ? -1 : int(list.rend() - it) - 1;
}

std::shared_ptr<qrn::ui::View> layerViewOf(const std::shared_ptr<qrn::ui::View>& preview,
                                           const std::string& id) {
    auto tagged = preview ? preview->viewWithTag(std::stoi(id)) : nullptr;
    return tagged ? tagged->superview() : nullptr;
}

std::shared_ptr<qrn::ui::View> stickyLabel() {
    const auto screen = editViewClass().getConfiguration();
    if (!screen || !screen->stickyAsset || screen->stickyAsset->subviews().empty())
        return nullptr;
    const auto& tile = screen->stickyAsset->subviews()[0];
    return tile->subviews().empty() ? nullptr : tile->subviews()[0];
}

void paintLabel(const std::shared_ptr<qrn::ui::View>& label, bool highlighted) {
    auto field = std::dynamic_pointer_cast<qrn::ui::TextField>(label);
    if (!field)
        return;
    field->setDrawsBackground(highlighted);
    field->setBackgroundColour(highlighted ? colourFromHex("#1774c8FF").value_or(qrn::Colour::clear())
                                           : qrn::Colour::clear());
}

bool isTextReference(const imageReferenceArray& reference) {
    return !reference.empty() && reference.front().isInteger() && reference.front().toInt() == 1 &&
           reference.back().isInteger() && reference.back().toInt() == 1;
}

// Copies of the sticky layers in a new tile's thumbnail: siblings directly above the order view
// of their group, in layer order, as the preview holds them.
void addStickyCopies(const std::shared_ptr<qrn::ui::View>& thumbnail,
                     const std::shared_ptr<qrn::ui::View>& preview) {
    previewLayerClass model;
    const auto& layers = model.getLayerArrayReference();
    if (layers.empty() || layers[0].empty() || !preview)
        return;
    const auto sticky = layers[0];
    // Only the sticky asset's rows: copying every asset's made each new tile cost as much as
    // the whole project.
    const auto rows = previewLayerClass::layerRows();
    const auto frames = rows.frames.empty() ? std::vector<std::vector<double>>{} : rows.frames[0];
    const auto rotations = rows.rotations.empty() ? std::vector<double>{} : rows.rotations[0];
    const auto references = rows.references.empty() ? std::vector<imageReferenceArray>{} : rows.references[0];
    const auto& first = model.getFirstLayerAboveVideoArray();
    std::optional<size_t> firstAbove;
    if (!first.empty() && first[0])
        if (auto it = std::find(sticky.begin(), sticky.end(), *first[0]); it != sticky.end())
            firstAbove = size_t(it - sticky.begin());
    std::shared_ptr<qrn::ui::View> lastBelow, lastAbove;
    editViewClass edit;
    for (size_t j = 0; j < sticky.size(); ++j) {
        auto view = layerViewOf(preview, sticky[j]);
        if (!view)
            continue;
        std::optional<qrn::Rect> stored;
        if (j < frames.size() && frames[j].size() >= 4) {
            const auto& f = frames[j];
            stored = qrn::Rect(f[0], f[1], f[2], f[3]);
        }
        auto copy = edit.assetPreviewLayerView(view, std::stoi(sticky[j]), stored);
        if (j < references.size() && isTextReference(references[j])) {
            // The text placeholder, as the copies made with the layer show it: the text's own
            // picture is its symbol tile, which would stand in the tile only after reopening.
            auto placeholder = qrn::ui::ImageView::make(qrn::Rect(qrn::Point{}, copy->frame().size));
            placeholder->setImageNamed("text_preview");
            placeholder->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
            copy->addSubview(placeholder);
        } else if (j < references.size()) {
            try {
                const auto picture = model.getImageFromImageReferenceArray(references[j]);
                const qrn::Rect inside(qrn::Point{}, copy->frame().size);
                if (picture.isList()) {
                    std::vector<qrn::ImageHandle> images;
                    for (const auto& frame : picture.toList())
                        if (frame.isImage())
                            images.push_back(frame.toImage());
                    copy->addSubview(animatedImages().createAnimatedImage(nullptr, 0.5, images, inside.origin,
                                                                          inside.size, true, true));
                } else if (picture.isImage() && picture.toImage()) {
                    auto image = qrn::ui::View::make(inside);
                    image->layer()->setContents(*picture.toImage());
                    copy->addSubview(image);
                }
            } catch (const std::exception& error) {
                dataLoggingClass().logError(logSender(&model), error.what(), __FILE__, __func__);
            }
        }
        // Filtered as the layer's other copies are.
        if (auto filters = previewLayerClass::layerContentFilters(0, int(j)); !filters.empty())
            copy->layer()->setContentFilters(std::move(filters));
        const double rotation = j < rotations.size() ? rotations[j] : 0.0;
        resizeAndPositionLayersClass().resizeAndPositionAssetPreviewLayers(
            {{copy}}, preview->bounds(), thumbnail->bounds(), std::nullopt, rotation);
        const bool above = firstAbove && *firstAbove <= j;
        auto& last = above ? lastAbove : lastBelow;
        std::shared_ptr<qrn::ui::View> anchor = last;
        if (!anchor)
            anchor = orderLayersClass().stackingViewIn(thumbnail, above ? -12 : -10);
        if (anchor)
            thumbnail->addSubview(copy, qrn::ui::Ordering::Above, anchor.get());
        else
            thumbnail->addSubview(copy);
        last = copy;
    }
}

} // namespace

void previewLayerClass::addAsset(bool isRegularAsset, bool isNewAsset, bool syncAutocue,
                                 std::optional<int> duplicateSourceIndex, std::optional<int> restoreIndex,
                                 bool skipUndo, bool isRestore, bool isDuplicate) {
    QRN_LOG_IN(LogValues{{"isRegularAsset", isRegularAsset}, {"isNewAsset", isNewAsset}});
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    if (!isRegularAsset)
        lastSelectedAsset = 0;
    const auto configuration = getConfiguration();
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    const auto parent = configuration ? configuration->parentPreviewView : nullptr;
    const int counter = getAssetIdCounter();
    const auto& assets = getAssetArray();
    const int id = restoreIndex ? std::stoi(assets[size_t(*restoreIndex)]) : getLayerIdCounter();
    const int position = restoreIndex ? *restoreIndex - 1 : (isRegularAsset ? counter - 1 : 0);
    // A duplicate records its own undo entry, whatever its source.
    const bool duplicating = duplicateSourceIndex.has_value();
    // The sticky asset as a source gives a fresh asset; 0 means none.
    const int source = duplicateSourceIndex.value_or(0);

    // The colour the container and thumbnail are painted with.
    std::vector<double> colour{0, 0, 0, 1};
    const auto& colours = getAssetBackgroundColour();
    if (source > 0 && size_t(source - 1) < colours.size())
        colour = colours[size_t(source - 1)];
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
    const auto tables = layerRows();
    const std::optional<int> at =
        restoreIndex && size_t(*restoreIndex) < tables.layers.size() ? restoreIndex : std::nullopt;
    bool layerRows = true;
    if (!restoreIndex) {
        tables.assets.push_back(std::to_string(id));
        if (isRegularAsset)
            tables.backgrounds.emplace_back();
        if (isNewAsset && isRegularAsset) {
            auto newColours = colours;
            newColours.push_back(colour);
            setAssetBackgroundColour(newColours);
            auto scripts = texts.getAutocueStringArray();
            scripts.push_back(source > 0 && size_t(source - 1) < scripts.size() ? scripts[size_t(source - 1)]
                                                                                : qrn::AttributedString());
            texts.setAutocueStringArray(scripts);
        }
        // An opened project keeps the per-layer rows it has read.
        layerRows = isNewAsset || !isRegularAsset;
    }
    placeRow(tables.layers, at);
    placeRow(tables.firstAboveVideo, at, std::optional<std::string>());
    // In place: the hit paths hold views and paths, and every asset of an opened project adds a row.
    placeRow(previewLayerViewPathCreationClass().pathsArrayForUpdate(), at);
    placeRow(tables.origins, at);
    placeRow(tables.scales, at);
    if (restoreIndex || isNewAsset) {
        auto symbolTexts = texts.getTextSymbolStringArray();
        if (restoreIndex)
            placeRow(symbolTexts, at);
        while (symbolTexts.size() < tables.assets.size())
            symbolTexts.emplace_back();
        // A slide put back by undo or redo writes its row too, text layers or not.
        texts.setTextSymbolStringArray(std::move(symbolTexts), isNewAsset || restoreIndex ? 1 : 0);
    } else {
        // An opened project's texts are read already: a row for the asset, nothing written.
        texts.padTextSymbolRows(tables.assets.size());
    }
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
    const qrn::Rect tileFrame(position * assetPitch, 0, 77, 76);
    std::shared_ptr<qrn::ui::View> tile;
    if (isRegularAsset)
        tile = dragBackgroundViewView::makeDropView(tileFrame);
    else
        tile = std::make_shared<stickyAssetView>(tileFrame);
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
    // Like the preview, the miniature shows only the slide: a layer reaching past its edge
    // would otherwise cover the number below it.
    thumbnail->layer()->setMasksToBounds(true);
    if (isRegularAsset) {
        auto thumbnailContainer = qrn::ui::View::make(thumbnail->bounds());
        thumbnailContainer->layer()->setBackgroundColour(colourOf(colour));
        thumbnailContainer->addSubview(qrn::ui::TextField::makeMarker(id + 1));
        thumbnail->addSubview(thumbnailContainer);
    }
    // Its group markers come with each group's first layer (orderLayersClass::stackingViewIn).
    if (isRegularAsset)
        addStickyCopies(thumbnail, preview);
    tile->addSubview(thumbnail);
    editViewClass edit;
    const auto screen = edit.getConfiguration();
    if (!isRegularAsset) {
        if (screen && screen->stickyAsset)
            screen->stickyAsset->addSubview(tile);
    } else if (auto strip = edit.getAssetHorizontalScrollView()) {
        const bool importing = persistentDataStorageClass::getImportRunning();
        if (importing)
            stripWidthAfterImport = counter * assetPitch;
        else
            strip->setFrameSize({counter * assetPitch, 77});
        // The tiles after a restored asset move back one place, or two tiles would share one.
        if (restoreIndex) {
            const auto current = getAssetArray();
            for (size_t k = size_t(*restoreIndex) + 1; k < current.size(); ++k) {
                auto field =
                    std::dynamic_pointer_cast<qrn::ui::TextField>(strip->viewWithTag(std::stoi(current[k])));
                if (!field || !field->superview())
                    continue;
                field->setStringValue(std::to_string(k));
                field->superview()->setFrameOrigin({double(k - 1) * assetPitch, 0});
            }
        }
        strip->addSubview(tile);
        if (screen && screen->assetTableView && !importing)
            screen->assetTableView->contentView()->scrollToPoint({counter * assetPitch, 0});
    }

    if (!restoreIndex && !duplicating && isNewAsset && !skipUndo)
        undoRedoClass().action("addAsset", undoValueList{int(getAssetArray().size()) - 1});
    setAssetIdCounter(counter + 1);
    setLayerIdCounter(getLayerIdCounter() + 2);
    selectAsset(tile, false, syncAutocue, !isRegularAsset, isRegularAsset ? !isRestore : true);
}

void previewLayerClass::layOutAssetStripAfterImport() {
    const auto width = std::exchange(stripWidthAfterImport, std::nullopt);
    editViewClass edit;
    const auto strip = edit.getAssetHorizontalScrollView();
    if (!width || !strip)
        return;
    strip->setFrameSize({*width, 77});
    if (const auto screen = edit.getConfiguration(); screen && screen->assetTableView)
        screen->assetTableView->contentView()->scrollToPoint({*width, 0});
    edit.showSelectedAssetTile();
}

void previewLayerClass::holdLayerListsForImport(bool held) {
    layerListsHeld = held;
}

void previewLayerClass::selectAsset(const std::shared_ptr<qrn::ui::View>& tile, bool forceSelect,
                                    bool syncAutocue, bool isInitialSelection, bool reloadLayerList) {
    QRN_LOG_IN(LogValues{{"forceSelect", forceSelect},
                         {"isInitialSelection", isInitialSelection},
                         {"reloadLayerList", reloadLayerList}});
    if (recordViewClass().getRecordViewSelected())
        return;
    if (!tile || tile->subviews().empty())
        return;
    const int id = tile->subviews()[0]->tag().value_or(0);
    const int leaving = getSelectedAsset();
    if (id == leaving && !forceSelect && !isInitialSelection)
        return;
    // A colour burst still waiting belongs to the asset being left.
    editViewClass::settlePendingColourEntry(true);
    editViewClass edit;
    editViewClass::setAssetChange(true);
    if (!isInitialSelection)
        edit.displayBackgroundColourAndLayer(id != 0);
    const auto& assets = getAssetArray();
    attributedStringStorageClass texts;
    // The script being edited belongs to the asset being left; unchanged, it is not written again.
    if (syncAutocue)
        if (auto text = editViewClass::getAutocueText()) {
            const int k = positionOf(assets, leaving);
            if (k == 0)
                texts.setProjectNotes(*text);
            else if (k > 0) {
                const auto& stored = texts.getAutocueStringArray();
                if (size_t(k - 1) < stored.size() && stored[size_t(k - 1)] != *text) {
                    auto scripts = stored;
                    scripts[size_t(k - 1)] = *text;
                    texts.setAutocueStringArray(std::move(scripts));
                }
            }
        }
    const auto strip = edit.getAssetHorizontalScrollView();
    if (assets.size() == 1 || lastSelectedAsset == 0)
        paintLabel(stickyLabel(), false);
    else if (strip)
        paintLabel(strip->viewWithTag(lastSelectedAsset), false);

    const auto configuration = getConfiguration();
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    if (!isInitialSelection) {
        // The sticky layers show with every asset, so leaving the sticky asset keeps them.
        const int k = positionOf(assets, lastSelectedAsset);
        const auto& layers = getLayerArrayReference();
        if (k > 0 && size_t(k) < layers.size())
            for (const auto& layer : layers[size_t(k)])
                if (auto view = layerViewOf(preview, layer))
                    view->setHidden(true);
        paintLabel(id == 0 ? stickyLabel() : (strip ? strip->viewWithTag(id) : nullptr), true);
        if (leaving != 0 && positionOf(assets, leaving) >= 0 && !forceSelect)
            if (auto marker = preview ? preview->viewWithTag(leaving + 1) : nullptr)
                if (auto container = marker->superview())
                    container->setHidden(true);
    }
    setSelectedAsset(id);
    lastSelectedAsset = id;
    // The chosen slide's tile shows whole, even when the strip's edge cut it or it was out of
    // sight (a removal or an undo chose it).
    edit.showAssetTile(tile);
    if (reloadLayerList)
        edit.addSingleLayerToLayerScrollView(std::nullopt, true, std::nullopt, 0);
    if (id != 0) {
        if (auto marker = preview ? preview->viewWithTag(id + 1) : nullptr)
            if (auto container = marker->superview())
                container->setHidden(false);
        const auto colour = colourOf(getSelectedAssetBackgroundColour());
        if (const auto screen = edit.getConfiguration(); screen && screen->backgroundColourView)
            screen->backgroundColourView->layer()->setBackgroundColour(colour);
        qrn::ColourPanel::shared().setColour(colour);
    }
    const bool fillLists = reloadLayerList && !layerListsHeld;
    if (fillLists)
        edit.loadScrollViewLayers();
    if (!isInitialSelection) {
        const int k = positionOf(assets, id);
        if (k >= 0) {
            const auto& scripts = texts.getAutocueStringArray();
            if (k == 0 || !syncAutocue)
                editViewClass::setAutocueText(texts.getProjectNotes());
            else if (size_t(k - 1) < scripts.size())
                // A copy: showing it can write the scripts back while it is read.
                editViewClass::setAutocueText(qrn::AttributedString(scripts[size_t(k - 1)]));
            const auto& layers = getLayerArrayReference();
            if (size_t(k) >= layers.size() || layers[size_t(k)].empty()) {
                const auto camera = getVideoLayerView();
                if (camera && !camera->isHidden())
                    selectVideoLayer();
                else
                    noLayerSelected();
            } else {
                layerSelected(layerViewOf(preview, layers[size_t(k)][0]));
            }
            if (fillLists)
                fillSelectedAssetOrderedLayerArray();
        }
    }
    editViewClass::setAssetChange(false);
}
