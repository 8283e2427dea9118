// The asset strip's clicks, thumbnails and duplication, the layer list of the selected asset,
// and the selected asset's script.
#include <algorithm>
#include <iostream>

#include "Controller/Editing/Preview/previewLayerAnimatedPicture.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/animatedImagesClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/LayerScrollView/layerScrollViewView.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/image_view.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

namespace {

constexpr double tilePitch = 39;

std::function<std::optional<qrn::AttributedString>()> autocueTextGetter;
std::function<void(const qrn::AttributedString&)> autocueTextSetter;
std::function<void(bool)> assetChangeSetter;
std::function<void(int, int, bool)> duplicateLayerInternal;
bool assetChange = false;
std::function<bool()> controlKeyPressed;
std::function<void(const qrn::ui::Event&, int, bool)> popoverShower;

// A burst of colour changes: the asset and its colour from before the first change, the colour
// after the last. Kept here rather than in the history's shared before-value slot, so that a
// gesture or another asset in between cannot mix with it.
struct pendingColourEntry {
    int assetIndex;
    std::string assetId;
    std::vector<double> before;
    std::vector<double> after;
};
std::optional<pendingColourEntry> pendingColour;
int colourCounter = 0;

int selectedIndex() {
    return previewLayerClass().getSelectedAssetIndex();
}

std::optional<std::string> backgroundIdOf(int assetIndex) {
    if (assetIndex < 1)
        return std::nullopt;
    const auto& backgrounds = previewLayerClass().getAssetBackgroundIDArray();
    return size_t(assetIndex - 1) < backgrounds.size() ? backgrounds[size_t(assetIndex - 1)] : std::nullopt;
}

std::vector<qrn::ImageHandle> framesOf(const qrn::Value& picture) {
    std::vector<qrn::ImageHandle> frames;
    if (picture.isList())
        for (const auto& frame : picture.toList())
            if (frame.isImage() && frame.toImage())
                frames.push_back(frame.toImage());
    return frames;
}

// The still picture a layer view shows: the first image view's image or layer contents in it.
qrn::Value shownPicture(const qrn::ui::View& layerView) {
    for (const auto& sub : layerView.subviews()) {
        // A text's tile is the text picture, never the text as the preview draws it.
        if (dynamic_cast<const qrn::ui::TextView*>(sub.get()) ||
            dynamic_cast<const qrn::ui::TextField*>(sub.get()))
            continue;
        if (auto image = std::dynamic_pointer_cast<qrn::ui::ImageView>(sub);
            image && !image->image().isNull())
            return qrn::Value(std::make_shared<const QImage>(image->image()));
        if (!sub->layer()->contents().isNull())
            return qrn::Value(std::make_shared<const QImage>(sub->layer()->contents()));
    }
    return qrn::Value();
}

} // namespace

void editViewClass::setAutocueTextHooks(std::function<std::optional<qrn::AttributedString>()> getText,
                                        std::function<void(const qrn::AttributedString&)> setText) {
    autocueTextGetter = std::move(getText);
    autocueTextSetter = std::move(setText);
}

void editViewClass::setAssetChangeHook(std::function<void(bool)> setAssetChange) {
    assetChangeSetter = std::move(setAssetChange);
}

void editViewClass::setDuplicateLayerInternalHook(std::function<void(int, int, bool)> hook) {
    duplicateLayerInternal = std::move(hook);
}

void editViewClass::setControlKeyPressedHook(std::function<bool()> hook) {
    controlKeyPressed = std::move(hook);
}

void editViewClass::setShowPopoverHook(std::function<void(const qrn::ui::Event&, int, bool)> hook) {
    popoverShower = std::move(hook);
}

bool editViewClass::controlKeyPressedThroughHook() {
    return controlKeyPressed && controlKeyPressed();
}

void editViewClass::showPopoverThroughHook(const qrn::ui::Event& event, int type, bool force) {
    if (popoverShower)
        popoverShower(event, type, force);
}

std::optional<qrn::AttributedString> editViewClass::getAutocueText() {
    return autocueTextGetter ? autocueTextGetter() : std::nullopt;
}

void editViewClass::setAutocueText(const qrn::AttributedString& text) {
    if (autocueTextSetter)
        autocueTextSetter(text);
}

void editViewClass::setAssetChange(bool change) {
    assetChange = change;
    if (assetChangeSetter)
        assetChangeSetter(change);
}

bool editViewClass::getAssetChange() {
    return assetChange;
}

void editViewClass::settlePendingColourEntry(bool record) {
    auto pending = std::exchange(pendingColour, std::nullopt);
    if (!pending || !record)
        return;
    previewLayerClass model;
    // The entry names the selected asset: record only while it is the one the burst changed.
    const auto assets = model.getAssetArray();
    if (model.getSelectedAssetIndex() != pending->assetIndex ||
        size_t(pending->assetIndex) >= assets.size() ||
        assets[size_t(pending->assetIndex)] != pending->assetId)
        return;
    undoRedoClass history;
    const auto gesture = undoRedoClass::getValuesCompare();
    history.setValuesCompare(undoValueList{pending->before});
    history.action("changeAssetBackgroundColour", undoValueList{pending->after});
    history.setValuesCompare(gesture);
}

void editViewClass::changeAssetBackgroundColour(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer, const qrn::Colour& colour,
    bool undoRedo) {
    QRN_LOG_IN(LogValues{{"undoRedo", undoRedo}});
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    previewLayerClass model;
    if ((recordViewClass().getRecordViewSelected() || model.getSelectedAsset() == 0) && !undoRedo)
        return;
    if (getAssetChange() && !undoRedo)
        return;
    const int index = layer ? model.layerAssetIndexAndVideoSelectedParameterValues(layer).assetIndex
                            : model.getSelectedAssetIndex();
    auto colours = model.getAssetBackgroundColour();
    const auto assets = model.getAssetArray();
    if (index < 1 || size_t(index - 1) >= colours.size() || size_t(index) >= assets.size())
        return;
    // Stored as the project file holds colours: red, green and blue on 0-255, alpha on 0-1.
    const std::vector<double> after = stylingClass().colourToArray(colour, 1.0, true);
    const std::vector<double> before = colours[size_t(index - 1)];
    if (before == after)
        return;
    const qrn::Colour shown = stylingClass().arrayToColour(after);
    const int marker = std::stoi(assets[size_t(index)]) + 1;
    for (const auto& in : {getDragView(), getAssetHorizontalScrollView()})
        if (auto tagged = in ? in->viewWithTag(marker) : nullptr)
            tagged->superview()->layer()->setBackgroundColour(shown);
    // A replay for another asset leaves the well showing the selected asset's colour.
    const auto screen = getConfiguration();
    if (screen && screen->backgroundColourView && index == model.getSelectedAssetIndex())
        screen->backgroundColourView->layer()->setBackgroundColour(shown);
    if (!undoRedo) {
        if (pendingColour &&
            (pendingColour->assetIndex != index || pendingColour->assetId != assets[size_t(index)]))
            settlePendingColourEntry(true);
        if (!pendingColour) {
            pendingColour = pendingColourEntry{index, assets[size_t(index)], before, after};
            undoRedoClass::setPendingEntryHook("assetColour", &editViewClass::settlePendingColourEntry);
        }
    }
    colours[size_t(index - 1)] = after;
    model.setAssetBackgroundColour(colours);
    if (!undoRedo) {
        pendingColour->after = after;
        colourCounter = (colourCounter + 1) % 10000;
        const int mine = colourCounter;
        qrn::MainQueue::after(0.5, [mine] {
            if (colourCounter == mine)
                settlePendingColourEntry(true);
        });
    }
    persistentDataStorageClass().exportData(false);
}

void editViewClass::addTextToAutocueArray(const qrn::AttributedString& attributedString) {
    QRN_LOG_IN(std::nullopt);
    attributedStringStorageClass texts;
    const int k = selectedIndex();
    // The sticky asset keeps no script of its own.
    if (k == 0)
        return;
    auto scripts = texts.getAutocueStringArray();
    if (k > 0 && size_t(k - 1) < scripts.size()) {
        scripts[size_t(k - 1)] = attributedString;
        texts.setAutocueStringArray(scripts);
    }
}

// --- The layer list

std::pair<std::optional<std::string>, std::optional<int>>
editViewClass::getIndexAndStringOfFirstLayerAboveVideo(int assetArrayIndex) {
    previewLayerClass model;
    const auto& first = model.getFirstLayerAboveVideoArray();
    const auto& layers = model.getLayerArrayReference();
    if (assetArrayIndex < 0 || size_t(assetArrayIndex) >= first.size() || !first[size_t(assetArrayIndex)] ||
        size_t(assetArrayIndex) >= layers.size())
        return {std::nullopt, std::nullopt};
    const auto& row = layers[size_t(assetArrayIndex)];
    const auto it = std::find(row.begin(), row.end(), *first[size_t(assetArrayIndex)]);
    if (it == row.end())
        return {std::nullopt, std::nullopt};
    return {*it, int(it - row.begin())};
}

void editViewClass::appendVideoToScrollViewLayerArrays(std::vector<qrn::Value>& images,
                                                       std::vector<int>& numbers, std::vector<int>& places,
                                                       int videoLayerIndex) {
    // The camera tile takes its picture by name.
    images.emplace_back();
    numbers.push_back(-8);
    places.push_back(videoLayerIndex);
}

void editViewClass::loadScrollViewLayers() {
    QRN_LOG_IN(std::nullopt);
    previewLayerClass model;
    const int selected = selectedIndex();
    const auto& layers = model.getLayerArray();
    if (selected < 0 || size_t(selected) >= layers.size())
        return;
    const auto& row = layers[size_t(selected)];
    // Only the selected asset's references: copying every asset's on each selection made
    // opening a large project slow.
    const auto& allReferences = previewLayerClass::layerRows().references;
    const auto references = size_t(selected) < allReferences.size() ? allReferences[size_t(selected)]
                                                                    : std::vector<imageReferenceArray>{};
    const auto background = backgroundIdOf(selected);
    const auto firstAbove = getIndexAndStringOfFirstLayerAboveVideo(selected).second;
    const auto preview = model.getConfiguration();
    const auto drop = preview ? preview->layerContainerView : nullptr;

    std::vector<qrn::Value> images;
    std::vector<int> numbers, places;
    std::optional<int> cameraSlot;
    int slot = 0;
    for (size_t j = 0; j < row.size(); ++j) {
        if (background && row[j] == *background)
            continue;
        if (firstAbove && int(j) == *firstAbove)
            cameraSlot = slot++;
        // A still layer shows what its view shows; text and animated layers take their bundle
        // pictures from the reference.
        qrn::Value picture;
        const auto view = drop ? drop->viewWithTag(std::stoi(row[j])) : nullptr;
        if (view && view->superview())
            picture = shownPicture(*view->superview());
        if (picture.isEmpty() && j < references.size()) {
            try {
                picture = model.getImageFromImageReferenceArray(references[j]);
            } catch (const std::exception& error) {
                QRN_LOG_ERROR(error.what());
            }
        }
        images.push_back(picture);
        numbers.push_back(std::stoi(row[j]));
        places.push_back(slot++);
    }
    appendVideoToScrollViewLayerArrays(images, numbers, places, cameraSlot.value_or(slot));
    addLayersToLayerScrollView(images, numbers, places, std::nullopt, true, false, false);

    // The sticky layers show with every asset.
    if (!drop)
        return;
    for (size_t a : {size_t(0), size_t(selected)})
        if (a < layers.size())
            for (const auto& id : layers[a])
                if (auto tagged = drop->viewWithTag(std::stoi(id)))
                    if (auto view = tagged->superview())
                        view->setHidden(false);
}

void editViewClass::addSingleLayerToLayerScrollView(const std::optional<qrn::Value>& picture,
                                                    bool isBackgroundLayer, std::optional<int> tag,
                                                    int xValue) {
    previewLayerClass model;
    const int selected = selectedIndex();
    const auto screen = getConfiguration();
    qrn::Value image = picture.value_or(qrn::Value());
    ViewPtr tile;
    if (isBackgroundLayer) {
        if (!screen || !screen->backgroundLayerView)
            return;
        screen->backgroundLayerView->setSubviews({});
        const auto background = backgroundIdOf(selected);
        if (selected <= 0 || !background)
            return;
        if (!picture) {
            const auto& layers = model.getLayerArrayReference();
            const auto& references = model.getImageReferenceArray();
            const auto& row = layers[size_t(selected)];
            const auto it = std::find(row.begin(), row.end(), *background);
            const size_t j = size_t(it - row.begin());
            if (it == row.end() || size_t(selected) >= references.size() ||
                j >= references[size_t(selected)].size())
                return;
            try {
                image = model.getImageFromImageReferenceArray(references[size_t(selected)][j]);
            } catch (const std::exception& error) {
                QRN_LOG_ERROR(error.what());
                return;
            }
        }
        tile = qrn::ui::View::make();
        xValue = 0;
        if (!tag)
            tag = std::stoi(*background);
    } else {
        tile = tag == -8 ? qrn::ui::View::make() : std::make_shared<layerScrollViewView>();
    }
    tile->setFrame(qrn::Rect(xValue, 0, 38, 36));
    tile->layer()->setBorderWidth(1.0);
    tile->layer()->setBorderColour(
        qrn::namedColour("border_colour_light_dark", true).value_or(qrn::Colour::black()));
    tile->layer()->setCornerRadius(4.0);
    const qrn::Rect pictureFrame(3, 3, 32, 30);
    if (tag == -8) {
        auto view = qrn::ui::ImageView::make(pictureFrame);
        view->setImageNamed("camera");
        view->setTemplate(true);
        view->setContentTintColour(qrn::namedColour("icon_colour_dark_dark", true));
        tile->addSubview(view);
    } else if (image.isImage() && image.toImage()) {
        auto view = qrn::ui::ImageView::make(pictureFrame);
        view->setImage(*image.toImage());
        if (tag && !isBackgroundLayer)
            if (auto frames = movingPictureShownFor(*tag))
                view->setAnimatedImageOnTimeline(std::move(*frames));
        tile->addSubview(view);
    } else if (const auto frames = framesOf(image); !frames.empty()) {
        tile->addSubview(animatedImages().createAnimatedImage(nullptr, 0.5, frames, pictureFrame.origin,
                                                              pictureFrame.size, true, true));
    } else {
        // A picture that could not be had leaves its place empty; the marker stays second.
        tile->addSubview(qrn::ui::View::make(pictureFrame));
    }
    if (tag)
        tile->addSubview(qrn::ui::TextField::makeMarker(*tag));
    if (isBackgroundLayer)
        screen->backgroundLayerView->addSubview(tile);
    else if (auto list = getLayerScrollDocumentView())
        list->addSubview(tile);
}

void editViewClass::addLayersToLayerScrollView(const std::vector<qrn::Value>& images,
                                               const std::vector<int>& numbers,
                                               const std::vector<int>& places, std::optional<int> insertIndex,
                                               bool displayNewLayers, bool isBackgroundLayer, bool moveFlag) {
    QRN_LOG_IN(LogValues{{"tiles", int(numbers.size())}, {"displayNewLayers", displayNewLayers}});
    (void)moveFlag;
    auto list = getLayerScrollDocumentView();
    const int selected = selectedIndex();
    if (displayNewLayers) {
        if (list) {
            list->setSubviews({});
            list->setFrameSize({tilePitch, tilePitch});
        }
    } else if (!isBackgroundLayer && !numbers.empty()) {
        moveLayersAfterAddedLayerInLayerScrollView(
            int(list ? list->subviews().size() : 0), std::to_string(numbers.back()),
            getIndexAndStringOfFirstLayerAboveVideo(selected).second, insertIndex);
    }
    for (size_t i = 0; i < numbers.size() && i < images.size() && i < places.size(); ++i)
        addSingleLayerToLayerScrollView(images[i], isBackgroundLayer, numbers[i], int(places[i] * tilePitch));
    if (numbers.empty() || !list)
        return;
    const auto& layers = previewLayerClass().getLayerArrayReference();
    const size_t count =
        selected >= 0 && size_t(selected) < layers.size() ? layers[size_t(selected)].size() : 0;
    const double width = double(count + 1) * tilePitch;
    list->setFrameSize({width, 36});
    if (!displayNewLayers)
        if (const auto screen = getConfiguration(); screen && screen->layerTableView)
            screen->layerTableView->scrollToPoint({width, 0});
}

void editViewClass::changeOriginXForLayerInLayerScrollView(int layerIndexValue,
                                                           const std::string& layerString) {
    int slot = layerIndexValue;
    const int selected = selectedIndex();
    if (const auto background = backgroundIdOf(selected)) {
        const auto& layers = previewLayerClass().getLayerArrayReference();
        const auto& row = layers[size_t(selected)];
        const auto it = std::find(row.begin(), row.end(), *background);
        if (it != row.end() && int(it - row.begin()) <= layerIndexValue)
            slot = layerIndexValue - 1;
    }
    auto list = getLayerScrollDocumentView();
    auto marker = list ? list->viewWithTag(std::stoi(layerString)) : nullptr;
    if (auto tile = marker ? marker->superview() : nullptr)
        tile->setFrameOrigin({slot * tilePitch, tile->frame().origin.y});
}

void editViewClass::moveLayersAfterAddedLayerInLayerScrollView(int last, const std::string& layerString,
                                                               std::optional<int> firstLayerAboveVideoIndex,
                                                               std::optional<int> startIndexValue) {
    QRN_LOG_IN(LogValues{{"layerString", layerString}, {"last", last}});
    (void)startIndexValue;
    auto list = getLayerScrollDocumentView();
    const int selected = selectedIndex();
    const auto& layers = previewLayerClass().getLayerArrayReference();
    if (!list || selected < 0 || size_t(selected) >= layers.size())
        return;
    // Every tile goes to the slot its layer has now, the camera's at the first layer above it.
    const auto row = layers[size_t(selected)];
    const auto background = backgroundIdOf(selected);
    int slot = 0;
    std::optional<int> cameraSlot;
    for (size_t j = 0; j < row.size(); ++j) {
        if (background && row[j] == *background)
            continue;
        if (firstLayerAboveVideoIndex && int(j) == *firstLayerAboveVideoIndex)
            cameraSlot = slot++;
        if (auto marker = list->viewWithTag(std::stoi(row[j])))
            if (auto tile = marker->superview(); tile && tile.get() != list.get())
                tile->setFrameOrigin({slot * tilePitch, tile->frame().origin.y});
        ++slot;
    }
    if (auto marker = list->viewWithTag(-8))
        if (auto tile = marker->superview(); tile && tile.get() != list.get())
            tile->setFrameOrigin({cameraSlot.value_or(slot) * tilePitch, tile->frame().origin.y});
}

// --- The asset strip

void editViewClass::assetPreviewSelected(const ViewPtr& assetView) {
    if (recordViewClass().getRecordViewSelected() || !assetView || assetView->subviews().empty())
        return;
    const int tag = assetView->subviews()[0]->tag().value_or(0);
    previewLayerClass model;
    // These two lines go out whether or not logging is on.
    std::cout << "assetPreviewSeectedTag: " << tag << "\n" << model.getSelectedAsset() << std::endl;
    if (tag != model.getSelectedAsset())
        model.selectAsset(assetView, false, true, false, true);
}

void editViewClass::showAssetTile(const ViewPtr& tile) {
    const auto strip = getAssetHorizontalScrollView();
    if (!tile || !strip || tile->superview() != strip)
        return;
    if (auto clip = std::dynamic_pointer_cast<qrn::ui::ClipView>(strip->superview()))
        clip->scrollRectToVisible(tile->frame());
}

void editViewClass::showSelectedAssetTile() {
    const auto strip = getAssetHorizontalScrollView();
    const int selected = previewLayerClass().getSelectedAsset();
    const auto label = strip && selected != 0 ? strip->viewWithTag(selected) : nullptr;
    showAssetTile(label ? label->superview() : nullptr);
}

editViewClass::ViewPtr editViewClass::assetPreviewLayerView(const ViewPtr& newLayerOne, int tag,
                                                            std::optional<qrn::Rect> rect) {
    auto view = qrn::ui::View::make(rect ? *rect : (newLayerOne ? newLayerOne->frame() : qrn::Rect()));
    auto marker = qrn::ui::TextField::makeMarker(tag);
    view->addSubview(marker);
    return view;
}

void editViewClass::addLayerToAssetScrollView(int assetArrayIndex,
                                              const std::vector<std::vector<std::string>>& LAYER_ARRAY,
                                              const std::vector<ViewPtr>& imageViews,
                                              const std::string& layerString,
                                              std::optional<double> rotationValue) {
    QRN_LOG_IN(LogValues{{"assetArrayIndex", assetArrayIndex}, {"layerString", layerString}});
    // Read in place: every layer of an opened project comes through here.
    const auto& assets = previewLayerClass().getAssetArrayReference();
    const auto strip = getAssetHorizontalScrollView();
    const auto screen = getConfiguration();
    const auto drop = getDragView();
    auto place = [&](const ViewPtr& thumbnail, const ViewPtr& view) {
        if (!thumbnail || !view)
            return;
        auto above = orderLayersClass().stackingViewIn(thumbnail, std::stoi(layerString));
        if (above && above.get() != thumbnail.get())
            thumbnail->addSubview(view, qrn::ui::Ordering::Above, above.get());
        else
            thumbnail->addSubview(view);
        resizeAndPositionLayersClass().resizeAndPositionAssetPreviewLayers(
            {{view}}, drop ? std::optional(drop->bounds()) : std::nullopt, thumbnail->bounds(), std::nullopt,
            rotationValue.value_or(0.0), size_t(std::max(assetArrayIndex, 0)));
    };
    auto thumbnailOf = [&](int k) -> ViewPtr {
        ViewPtr label;
        if (k == 0) {
            if (screen && screen->stickyAsset && !screen->stickyAsset->subviews().empty())
                return screen->stickyAsset->subviews()[0]->subviews().back();
            return nullptr;
        }
        label =
            strip && size_t(k) < assets.size() ? strip->viewWithTag(std::stoi(assets[size_t(k)])) : nullptr;
        auto tile = label ? label->superview() : nullptr;
        return tile && !tile->subviews().empty() ? tile->subviews().back() : nullptr;
    };
    if (assetArrayIndex == 0) {
        for (size_t k = 1; k < LAYER_ARRAY.size() && k < imageViews.size(); ++k)
            place(thumbnailOf(int(k)), imageViews[k]);
        if (!imageViews.empty())
            place(thumbnailOf(0), imageViews[0]);
    } else if (!imageViews.empty()) {
        place(thumbnailOf(assetArrayIndex), imageViews[0]);
    }
}

void editViewClass::duplicateAsset(std::optional<int> assetTag) {
    QRN_LOG_IN(std::nullopt);
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    previewLayerClass model;
    const int id = assetTag.value_or(model.getSelectedAsset());
    const auto assets = model.getAssetArray();
    const auto found = std::find(assets.begin(), assets.end(), std::to_string(id));
    if (found == assets.end())
        return;
    const int source = int(found - assets.begin());
    if (auto text = getAutocueText())
        addTextToAutocueArray(*text);
    model.addAsset(true, true, true, source, std::nullopt, false, false, true);
    const int copy = int(model.getAssetArray().size()) - 1;

    // The copy's first layer above the camera is the copy of the source's one; each layer copy
    // takes the id the counter gives next, so that one is named before it is made and every
    // copy lands on its source's side of the camera.
    const auto firstAbove = getIndexAndStringOfFirstLayerAboveVideo(source).second;
    const auto& layers = model.getLayerArrayReference();
    const size_t count = size_t(source) < layers.size() ? layers[size_t(source)].size() : 0;
    for (size_t j = 0; j < count; ++j) {
        if (firstAbove && int(j) == *firstAbove) {
            auto first = model.getFirstLayerAboveVideoArray();
            first[size_t(copy)] = std::to_string(model.getLayerIdCounter());
            model.setFirstLayerAboveVideoArray(first);
        }
        if (duplicateLayerInternal)
            duplicateLayerInternal(source, int(j), true);
    }
    // Whatever the copies did, the first layer above names one of the copy's own layers.
    auto first = model.getFirstLayerAboveVideoArray();
    const auto& copied = model.getLayerArrayReference()[size_t(copy)];
    if (first[size_t(copy)] && std::find(copied.begin(), copied.end(), *first[size_t(copy)]) == copied.end())
        first[size_t(copy)] = firstAbove && size_t(*firstAbove) < copied.size()
                                  ? std::optional(copied[size_t(*firstAbove)])
                                  : std::nullopt;
    model.setFirstLayerAboveVideoArray(first);

    persistentDataStorageClass().exportData(false);
    loadScrollViewLayers();
    undoRedoClass().action("duplicateAsset", undoValueList{source, copy});
}
