// Adding a layer: its values in every per-layer row, its view in the right z-order group of the
// preview, its thumbnails, its hit path, its undo entry and the steps that wait for layout.
#include <algorithm>
#include <cmath>
#include <utility>

#include "Controller/Editing/Preview/previewLayerAnimatedPicture.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/Model/layerDataClass.h"
#include "Controller/Global/animatedImagesClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Global/viewSizingClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/Preview/dragViewImageView.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/image_view.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

namespace {

// Text layers are laid out for a 560 x 315 preview and scaled to the real one.
constexpr double textReferenceWidth = resizeAndPositionLayersClass::textReferenceWidth;
constexpr double textReferenceHeight = resizeAndPositionLayersClass::textReferenceHeight;
constexpr double wideRatio = 1.7777777777777777;

previewLayerClass::addLayerToAssetScrollViewHook addToAssetStrip;
std::function<void()> rebuildLayerList;
std::function<void()> loadSettingsView;
std::function<void()> refreshBackgroundBox;
// The layers an opened project re-creates leave the settings pane to be loaded once, after.
bool settingsPaneDue = false;

template <typename T> void placeAt(std::vector<T>& row, int index, T value) {
    if (index >= 0 && size_t(index) < row.size())
        row.insert(row.begin() + index, std::move(value));
    else
        row.push_back(std::move(value));
}

template <typename T> void setAt(std::vector<T>& row, int index, T value) {
    if (index >= 0 && size_t(index) < row.size())
        row[size_t(index)] = std::move(value);
    else
        row.push_back(std::move(value));
}

bool isTextReference(const imageReferenceArray& reference) {
    return !reference.empty() && reference.front().isInteger() && reference.front().toInt() == 1 &&
           reference.back().isInteger() && reference.back().toInt() == 1;
}

int positionIn(const std::vector<std::string>& row, const std::optional<std::string>& id) {
    if (!id)
        return -1;
    auto it = std::find(row.begin(), row.end(), *id);
    return it == row.end() ? -1 : int(it - row.begin());
}

// Takes a layer's copy out of its asset's tile in the asset strip.
void removeAssetThumbnail(const std::string& assetId, int layerId) {
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    auto label = strip ? strip->viewWithTag(std::stoi(assetId)) : nullptr;
    auto tile = label ? label->superview() : nullptr;
    if (!tile || tile->subviews().empty())
        return;
    auto marker = tile->subviews().back()->viewWithTag(layerId);
    if (auto copy = marker ? marker->superview() : nullptr)
        copy->removeFromSuperview();
}

// Where a layer id stands now: [asset, layer], or none when it is gone.
// The asset the layer was in when asked is looked in first: a deck's every layer asks once.
std::optional<std::pair<int, int>> findLayer(const std::string& id, size_t likelyAsset) {
    const auto& layers = previewLayerClass().getLayerArrayReference();
    if (likelyAsset < layers.size())
        if (int l = positionIn(layers[likelyAsset], id); l >= 0)
            return std::pair{int(likelyAsset), l};
    for (size_t a = 0; a < layers.size(); ++a)
        if (int l = positionIn(layers[a], id); l >= 0)
            return std::pair{int(a), l};
    return std::nullopt;
}

// Runs fn later for the layer with that id, only while the same preview shows the same
// project, with the layer's position at that time; a layer removed meanwhile is skipped.
void afterForLayer(double seconds, const std::string& id, size_t likelyAsset,
                   std::function<void(int asset, int layer)> fn) {
    const auto configuration = previewLayerClass().getConfiguration();
    const std::weak_ptr<qrn::ui::View> preview = configuration ? configuration->layerContainerView : nullptr;
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(seconds, [preview, project, id, likelyAsset, fn = std::move(fn)] {
        const auto now = previewLayerClass().getConfiguration();
        if (preview.expired() || !now || now->layerContainerView != preview.lock() ||
            project != persistentDataStorageClass().getProjectDirectory())
            return;
        if (auto at = findLayer(id, likelyAsset))
            fn(at->first, at->second);
    });
}

std::shared_ptr<qrn::ui::View> layerViewOf(const std::shared_ptr<qrn::ui::View>& preview,
                                           const std::string& id) {
    auto tagged = preview ? preview->viewWithTag(std::stoi(id)) : nullptr;
    return tagged ? tagged->superview() : nullptr;
}

std::vector<double> rectValues(qrn::Point origin, qrn::Size size) {
    return {origin.x, origin.y, size.width, size.height};
}

} // namespace

void previewLayerClass::setAddLayerToAssetScrollViewHook(addLayerToAssetScrollViewHook hook) {
    addToAssetStrip = std::move(hook);
}
void previewLayerClass::setRebuildLayerListHook(std::function<void()> hook) {
    rebuildLayerList = std::move(hook);
}
void previewLayerClass::setLoadSettingsViewHook(std::function<void()> hook) {
    loadSettingsView = std::move(hook);
}
void previewLayerClass::reloadSettingsPane() {
    // An opening project selects every slide it re-creates: the pane is loaded once, after.
    if (previewLayerClass().getImportMarker())
        settingsPaneDue = true;
    else if (loadSettingsView)
        loadSettingsView();
}

void previewLayerClass::loadSettingsPaneAfterImport() {
    if (std::exchange(settingsPaneDue, false) && loadSettingsView)
        loadSettingsView();
}

void previewLayerClass::setRefreshBackgroundBoxHook(std::function<void()> hook) {
    refreshBackgroundBox = std::move(hook);
}
void previewLayerClass::reloadLayerList() {
    if (rebuildLayerList)
        rebuildLayerList();
}

qrn::Size previewLayerClass::getMinSize(bool isText, qrn::Size size) {
    const auto parent = getParentPreviewView();
    const qrn::Size preview = parent ? parent->frame().size : qrn::Size{556, 313};
    double w = preview.width / 556.0 * size.width;
    double h = preview.height / 313.0 * size.height;
    const double m = 3.0 * globalAppSettingsClass().getMinimumLayerSize();
    if (w < m && w > 0) {
        const double k = m / w;
        w *= k, h *= k;
    }
    if (h < m && h > 0) {
        const double k = m / h;
        w *= k, h *= k;
    }
    if (isText)
        w *= 4.0;
    return {w, h};
}

bool previewLayerClass::appendNewLayerValuesToArray(
    const std::shared_ptr<qrn::ui::View>& layerView, const qrn::ImageHandle& image,
    const std::optional<std::string>& imageFileURL, bool isBackgroundLayer,
    const std::optional<std::vector<int>>& layerPosition, int addMode,
    const std::optional<qrn::AttributedString>& text, int isText, qrn::Point origin, qrn::Size size,
    bool storeText, bool saveImageToProject, bool restoreAtPosition, bool isDuplicate) {
    QRN_LOG_IN(LogValues{{"addMode", addMode}, {"isText", isText}, {"restoreAtPosition", restoreAtPosition}});
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    const std::string id = std::to_string(getLayerIdCounter());
    const auto frame = rectValues(origin, size);
    const bool importing = layerPosition && addMode == 0 && !restoreAtPosition;
    const int asset = importing || restoreAtPosition ? (*layerPosition)[0] : getSelectedAssetIndex();
    const size_t a = size_t(asset);
    const auto rows = layerRows();
    auto& layers = rows.layers;
    auto& frames = rows.frames;
    auto& origins = rows.origins;
    auto& scales = rows.scales;
    auto& rotations = rows.rotations;
    auto& originals = rows.originals;
    auto& flips = rows.flips;
    auto& locks = rows.locks;
    auto& backgrounds = rows.backgrounds;
    const std::vector<double> lock{1.0, size.height != 0 ? size.width / size.height : 1.0};
    // The rows are edited in place.
    const auto commit = [] {};

    if (importing) {
        const int l = (*layerPosition)[1];
        persistentDataStorageClass storage;
        const auto& stored = storage.getTempLayerArray();
        const auto& storedFirst = storage.getTempFirstLayerAboveVideoArray();
        if (a < stored.size() && size_t(l) < stored[a].size() && a < storedFirst.size() && storedFirst[a] &&
            *storedFirst[a] == stored[a][size_t(l)])
            // In place: a copy of the whole list for each layer made opening a deck quadratic.
            rows.firstAboveVideo[a] = id;
        // The originals stay as the file has them (the import converts them later), so Revert
        // still goes back to where the layer was first placed.
        setAt(frames[a], l, frame);
        if (isBackgroundLayer && asset >= 1)
            backgrounds[a - 1] = id;
        layers[a].push_back(id);
        origins[a].push_back(qrn::Point{});
        scales[a].push_back(isText ? qrn::Size{} : qrn::Size{1.0, 1.0});
        if (isText) {
            const auto parent = getParentPreviewView();
            const qrn::Size preview = parent ? parent->frame().size : qrn::Size{556, 313};
            scales[a].back() = {preview.width / textReferenceWidth, preview.height / textReferenceHeight};
        }
        commit();
        return false;
    }

    const auto replacedIndex = [&]() -> int {
        if (restoreAtPosition)
            return (*layerPosition)[1];
        if (isBackgroundLayer && asset >= 1 && backgrounds[a - 1])
            return layerPosition ? (*layerPosition)[1]
                                 : positionIn(layers[a], std::to_string(getSelectedLayer().value_or(-1)));
        return -2;
    }();
    bool replaced = false;
    if (replacedIndex >= 0) {
        const int l = replacedIndex;
        const auto address = layerAssetIndexAndVideoSelectedArray{false, asset, l};
        if (!restoreAtPosition) {
            // A new picture in the background's place starts plain.
            setAt(frames[a], l, frame);
            setAt(origins[a], l, qrn::Point{});
            if (addMode == 0)
                setAt(rotations[a], l, 0.0);
            setAt(originals[a], l, frame);
            setAt(flips[a], l, std::vector<bool>{false, false});
            setAt(locks[a], l, lock);
            setAt(scales[a], l, qrn::Size{1.0, 1.0});
            commit();
            imageManipulationClass files;
            files.softDeleteImage(layerPosition ? std::optional(address) : std::nullopt);
            if (imageFileURL && image)
                files.saveImage(address, image, *imageFileURL, true);
            replaced = true;
        } else {
            commit();
            // The snapshot put the layer's own values back; its file is named again.
            imageManipulationClass().markedImageNeedsToBeKept(address);
        }
    } else {
        // A copy looks like its source: same turn and flips.
        std::vector<bool> sourceFlips{false, false};
        if ((addMode == 1 || addMode == 2) && layerPosition)
            sourceFlips = flips[size_t((*layerPosition)[0])][size_t((*layerPosition)[1])];
        if (addMode == 1 || addMode == 2) {
            const int source = (*layerPosition)[1];
            const double rotation = rotations[size_t((*layerPosition)[0])][size_t(source)];
            if (addMode == 1)
                placeAt(rotations[a], source + 1, rotation);
            else
                rotations[a].push_back(rotation);
        }
        attributedStringStorageClass storage;
        // The deck's texts are copied only to store one more: every layer of an opening deck
        // comes through here, and a copy for each made the open quadratic.
        const auto textsWith = [&] {
            auto texts = storage.getTextSymbolStringArray();
            if (texts.size() <= a)
                texts.resize(a + 1);
            return texts;
        };
        if (addMode == 1) {
            const int at = (*layerPosition)[1] + 1;
            const bool inserting = size_t(at) < layers[a].size();
            placeAt(layers[a], at, id);
            placeAt(frames[a], at, frame);
            placeAt(origins[a], at, qrn::Point{});
            placeAt(scales[a], at, qrn::Size{1.0, 1.0});
            placeAt(originals[a], at, frame);
            placeAt(flips[a], at, sourceFlips);
            placeAt(locks[a], at, lock);
            commit();
            if (isText && storeText && text) {
                // The copy's text goes right after its source's among the asset's texts.
                const int n = editViewClass().getSelectedTextSymbolIndex(
                    std::vector<qrn::Value>{false, asset, at}, false);
                auto texts = textsWith();
                placeAt(texts[a], n, *text);
                storage.setTextSymbolStringArray(std::move(texts), 1);
            }
            filterClass().addPlaceholderValuesToLayerArray(asset, image, inserting ? at : 0, !inserting);
        } else {
            layers[a].push_back(id);
            if (isBackgroundLayer && asset >= 1)
                backgrounds[a - 1] = id;
            setAt(frames[a], int(frames[a].size()), frame);
            origins[a].push_back(qrn::Point{});
            scales[a].push_back(qrn::Size{1.0, 1.0});
            if (addMode == 0)
                rotations[a].push_back(0.0);
            originals[a].push_back(frame);
            flips[a].push_back(sourceFlips);
            locks[a].push_back(lock);
            commit();
            if (isText && storeText && text) {
                auto texts = textsWith();
                texts[a].push_back(*text);
                storage.setTextSymbolStringArray(std::move(texts), 1);
            }
            filterClass().addPlaceholderValuesToLayerArray(asset, image, 0, true);
        }
        if (saveImageToProject && imageFileURL && image)
            imageManipulationClass().saveImage(std::nullopt, image, *imageFileURL, false);
    }
    (void)layerView;
    if (globalAppSettingsClass().getSaveOnUserAction() && !isDuplicate)
        persistentDataStorageClass().exportData(false);
    return replaced;
}

std::shared_ptr<qrn::ui::View> previewLayerClass::makeLayerThumbnail(const qrn::ui::View& container,
                                                                     int layerId) {
    auto thumbnail = qrn::ui::View::make(container.frame());
    thumbnail->addSubview(qrn::ui::TextField::makeMarker(layerId));
    return thumbnail;
}

void previewLayerClass::addLayer(const qrn::ImageHandle& image,
                                 const std::optional<std::vector<qrn::ImageHandle>>& animationFrames,
                                 const std::optional<std::string>& imageFileURL,
                                 std::optional<qrn::Size> layerSize, bool saveImageToProject,
                                 bool isBackgroundLayer, qrn::Point dropPoint,
                                 std::optional<std::vector<int>> layerPosition, int addMode,
                                 bool restoreAtPosition, bool insertBetweenLayers,
                                 bool isFirstLayerAboveVideo, bool isDuplicate) {
    QRN_LOG_IN(LogValues{{"addMode", addMode},
                         {"isBackgroundLayer", isBackgroundLayer},
                         {"restoreAtPosition", restoreAtPosition},
                         {"isDuplicate", isDuplicate}});
    if (layerPosition && layerPosition->size() < 2)
        layerPosition.reset();
    if (getAssetArrayReference().empty())
        return;
    const int asset = layerPosition && addMode != 2 ? (*layerPosition)[0] : getSelectedAssetIndex();
    const size_t a = size_t(asset);
    if (a >= getLayerArrayReference().size())
        return;
    const int count = int(getLayerArrayReference()[a].size());
    // Where the caller put the new layer's image reference.
    const int referenceIndex = restoreAtPosition ? (*layerPosition)[1]
                               : addMode == 1    ? (*layerPosition)[1] + 1
                                                 : count;
    const bool callerAppendedReference = !restoreAtPosition && !(layerPosition && addMode == 0);
    const auto dropReference = [&] {
        auto references = getImageReferenceArray();
        if (callerAppendedReference && a < references.size() && references[a].size() > size_t(count) &&
            size_t(referenceIndex) < references[a].size()) {
            references[a].erase(references[a].begin() + referenceIndex);
            setEntireImageReferenceArray(std::move(references));
        }
    };
    if (!image && !animationFrames) {
        dropReference();
        return;
    }

    editViewClass edit;
    const auto screen = edit.getConfiguration();
    globalAppSettingsClass settings;
    if (count >= settings.getMaxLayers() && !restoreAtPosition) {
        dropReference();
        auto& counter = getInteractionState().addLayerGeneration;
        const int shown = counter.increment();
        const std::string message = std::to_string(settings.getMaxLayers()) + "/" +
                                    std::to_string(settings.getMaxLayers()) + " layers";
        const std::weak_ptr<qrn::ui::TextField> label = screen ? screen->videoLabel : nullptr;
        const std::weak_ptr<qrn::ui::ProgressIndicator> spinner = screen ? screen->videoLoadingIcon : nullptr;
        qrn::MainQueue::after(0.0, [label, spinner, message, shown] {
            if (auto s = spinner.lock())
                s->stopAnimation();
            if (auto l = label.lock()) {
                l->setHidden(false);
                l->setStringValue(message);
            }
            qrn::MainQueue::after(3.0, [label, shown] {
                if (!previewLayerClass().getInteractionState().addLayerGeneration.isCurrent(shown))
                    return;
                if (auto l = label.lock())
                    l->setHidden(true);
            });
        });
        return;
    }

    const auto configuration = getConfiguration();
    const auto parent = configuration ? configuration->parentPreviewView : nullptr;
    const auto preview = configuration ? configuration->layerContainerView : nullptr;
    if (!parent || !preview)
        return;
    const qrn::Size previewSize = parent->frame().size;
    const int layerIndex = restoreAtPosition ? (*layerPosition)[1] : count;
    const auto& references = layerRows().references;
    const bool isText = a < references.size() && size_t(referenceIndex) < references[a].size() &&
                        isTextReference(references[a][size_t(referenceIndex)]);
    const bool isBundleImage = a < references.size() && size_t(referenceIndex) < references[a].size() &&
                               !references[a][size_t(referenceIndex)].empty() &&
                               references[a][size_t(referenceIndex)].front().isInteger() &&
                               references[a][size_t(referenceIndex)].front().toInt() == 1;
    if (!getMainPreviewViewArrayFromImport())
        setMainPreviewViewArrayFromImport(edit.getMainPreviewViewRectAsArray());
    const auto stored = getMainPreviewViewArrayFromImport().value_or(std::vector<double>{0, 0, 556, 313});
    const double storedWidth = stored.size() >= 4 && stored[2] > 0 ? stored[2] : previewSize.width;
    const double storedHeight = stored.size() >= 4 && stored[3] > 0 ? stored[3] : previewSize.height;

    // Frame and rotation.
    qrn::Point origin;
    qrn::Size size;
    std::optional<double> rotation;
    std::optional<int> replacedBackgroundIndex;
    std::vector<double> replacedBackgroundFrame;
    std::shared_ptr<layerDataClass> replacedBackground;
    const auto& backgrounds = getAssetBackgroundIDArray();
    const auto& layers = getLayerArrayReference();
    const int backgroundIndex =
        asset >= 1 && size_t(asset - 1) < backgrounds.size() ? positionIn(layers[a], backgrounds[a - 1]) : -1;
    if (layerPosition) {
        const size_t sa = size_t((*layerPosition)[0]), sl = size_t((*layerPosition)[1]);
        const auto f = layerRows().frames[sa][sl];
        rotation = layerRows().rotations[sa][sl];
        if (isText) {
            // Stored text frames are re-expressed at every preview size, so writing and opening
            // a project again leaves them where they were.
            const double w = addMode == 0 ? storedWidth : previewSize.width;
            const double h = addMode == 0 ? storedHeight : previewSize.height;
            origin = {previewSize.width * f[0] / w, previewSize.height * f[1] / h};
            size = {f[2] / w * textReferenceWidth, f[3] / h * textReferenceHeight};
        } else if (addMode == 0) {
            origin = {f[0] * previewSize.width / storedWidth, f[1] * previewSize.height / storedHeight};
            size = {f[2] * previewSize.width / storedWidth, f[3] * previewSize.height / storedHeight};
        } else {
            origin = {f[0], f[1]};
            size = {f[2], f[3]};
        }
    } else if (isText) {
        size = getMinSize(true, layerSize.value_or(qrn::Size{10, 10}));
        origin = {dropPoint.x - size.width / 2, dropPoint.y - size.height / 2};
    } else if (!isBackgroundLayer) {
        size = layerSize.value_or(qrn::Size{10, 10});
        if (size.width > previewSize.width || size.height > previewSize.height) {
            const double r = size.width / size.height;
            size = r > wideRatio ? qrn::Size{previewSize.width, previewSize.width / r}
                                 : qrn::Size{r * previewSize.height, previewSize.height};
        } else {
            size = getMinSize(false, size);
        }
        origin = {dropPoint.x - size.width / 2, dropPoint.y - size.height / 2};
    } else {
        size = viewSizingClass().resizeToBoundsWithAspectRatio(
            layerSize.value_or(previewSize), qrn::Rect(qrn::Point{}, previewSize), wideRatio);
        origin = {(previewSize.width - size.width) / 2, (previewSize.height - size.height) / 2};
        if (backgroundIndex >= 0) {
            replacedBackgroundIndex = backgroundIndex;
            replacedBackgroundFrame = getLayerOriginSizeArray()[a][size_t(backgroundIndex)];
            replacedBackgroundFrame.resize(4);
            replacedBackgroundFrame.push_back(getLayerRotateArray()[a][size_t(backgroundIndex)]);
            // Undo brings the old background back as it was, originals and lock included.
            replacedBackground = std::make_shared<layerDataClass>();
            replacedBackground->assetIndex = asset;
            replacedBackground->layerIndex = backgroundIndex;
            replacedBackground->fillObjectWithData();
        }
    }
    if (addMode == 1)
        origin = {origin.x + 10, origin.y - 10};

    auto container = qrn::ui::View::make(qrn::Rect(origin, size));
    highlightOfSelectedScrollViewLayer(0, getSelectedLayer());

    // Id.
    int id = getLayerIdCounter();
    const bool replacesBackground = addMode == 0 && isBackgroundLayer &&
                                    (!restoreAtPosition || insertBetweenLayers) && backgroundIndex >= 0 &&
                                    !(layerPosition && !restoreAtPosition);
    if (replacesBackground)
        id = std::stoi(layers[a][size_t(backgroundIndex)]);
    else if (restoreAtPosition)
        id = std::stoi(layers[a][size_t(layerIndex)]);
    const std::string idText = std::to_string(id);
    setSelectedLayer(id);
    container->addSubview(qrn::ui::TextField::makeMarker(id));

    // The kind's view and the thumbnails.
    const bool sticky = asset == 0;
    const size_t thumbnailCount = sticky ? getAssetArrayReference().size() : 1;
    std::vector<std::shared_ptr<qrn::ui::View>> thumbnails;
    std::optional<qrn::AttributedString> text;
    bool textIsNew = false;
    if (isText) {
        attributedStringStorageClass storage;
        // Read where they are kept: every text layer of an opening deck comes through here, and
        // a copy of all the deck's texts for each made the open quadratic.
        const auto& stored = storage.getTextSymbolStringArray();
        if (layerPosition) {
            const size_t sa = size_t((*layerPosition)[0]);
            const int n = edit.getSelectedTextSymbolIndex(
                std::vector<qrn::Value>{false, int(sa), (*layerPosition)[1]}, false);
            int textLayers = 0;
            for (const auto& reference : references[sa])
                textLayers += isTextReference(reference) ? 1 : 0;
            const size_t storedHere = sa < stored.size() ? stored[sa].size() : 0;
            // Only a change takes a copy of the texts, to be stored whole.
            const auto changed = [&] {
                auto texts = stored;
                if (texts.size() <= std::max(a, sa))
                    texts.resize(std::max(a, sa) + 1);
                return texts;
            };
            if (restoreAtPosition && storedHere < size_t(textLayers)) {
                // The removal took the layer's text out: it goes back at the layer's rank.
                text = defaultTextSymbolText();
                auto texts = changed();
                placeAt(texts[sa], n, *text);
                storage.setTextSymbolStringArray(std::move(texts), 1);
            } else if (n >= 0 && size_t(n) < storedHere) {
                text = stored[sa][size_t(n)];
                // A duplicate or a copy stores a text of its own.
                textIsNew = addMode != 0 && !restoreAtPosition;
            } else {
                text = defaultTextSymbolText();
                textIsNew = addMode != 0 && !restoreAtPosition;
                // An opened project with fewer texts than text layers: the list is padded where it
                // is kept, as each of its text layers comes through here.
                if (!textIsNew)
                    storage.padTextSymbolTexts(std::max(a, sa) + 1, sa, size_t(std::max(n + 1, 0)), *text);
            }
        } else {
            text = defaultTextSymbolText();
            textIsNew = true;
        }
        auto textView = qrn::ui::TextView::make(qrn::Rect(qrn::Point{}, size));
        textView->setMinSize(size);
        textView->setMaxSize(size);
        textView->setEditable(false);
        textView->setSelectable(false);
        textView->setDrawsBackground(false);
        // A text layer is sized in points and drawn scaled with the picture: its sizes are kept
        // to the fraction, in the preview, the studio and the movie alike.
        textView->setHonoursFractionalSizes(true);
        textView->setAttributedString(*text);
        textView->setAutoresizesSubviews(false);
        container->setAutoresizingMask(0);
        container->addSubview(textView);
        for (size_t i = 0; i < thumbnailCount; ++i) {
            auto thumbnail = makeLayerThumbnail(*container, id);
            auto picture = qrn::ui::ImageView::make(thumbnail->bounds());
            picture->setImageNamed("text_preview");
            picture->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
            thumbnail->addSubview(picture);
            thumbnails.push_back(thumbnail);
        }
        // The model keeps the frame at the preview's scale; the view gets it when laid out.
        size = {size.width * previewSize.width / textReferenceWidth,
                size.height * previewSize.height / textReferenceHeight};
    } else if (image) {
        auto picture = dragViewImageView::makeDropView(container->bounds());
        picture->setImageScaling(qrn::ui::ImageScaling::axesIndependently);
        picture->setImage(*image);
        // A picture file that moves plays in the preview, and so in the studio and the movie. Its
        // frames are held sharp up to twice the preview's size, the largest the layer can be.
        const QSize drawn(int(std::ceil(std::max(previewSize.width, container->bounds().size.width) * 2)),
                          int(std::ceil(std::max(previewSize.height, container->bounds().size.height) * 2)));
        if (a < references.size() && size_t(referenceIndex) < references[a].size())
            if (auto frames = animatedPictureOf(references[a][size_t(referenceIndex)], imageFileURL, drawn))
                picture->setAnimatedImageOnTimeline(std::move(*frames));
        picture->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
        container->addSubview(picture);
        for (size_t i = 0; i < thumbnailCount; ++i) {
            auto thumbnail = makeLayerThumbnail(*container, id);
            auto content = qrn::ui::View::make(thumbnail->bounds());
            content->layer()->setContents(*image);
            content->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
            thumbnail->addSubview(content);
            thumbnails.push_back(thumbnail);
        }
    } else {
        animatedImages animation;
        container->addSubview(
            animation.createAnimatedImage(container, 0.5, *animationFrames, qrn::Point{}, size, true, true));
        for (size_t i = 0; i < thumbnailCount; ++i) {
            auto thumbnail = makeLayerThumbnail(*container, id);
            thumbnail->addSubview(animation.createAnimatedImage(thumbnail, 0.5, *animationFrames,
                                                                qrn::Point{}, size, true, true));
            thumbnails.push_back(thumbnail);
        }
    }

    // Model.
    const bool replaced = appendNewLayerValuesToArray(
        container, image, imageFileURL, isBackgroundLayer, layerPosition, addMode, text, isText ? 1 : 0,
        origin, size, isText && textIsNew, saveImageToProject && imageFileURL.has_value(), restoreAtPosition,
        isDuplicate);

    // Z order.
    const auto& rows = getLayerArrayReference();
    int newIndex = int(rows[a].size()) - 1;
    if (restoreAtPosition)
        newIndex = (*layerPosition)[1];
    else if (replaced && replacedBackgroundIndex)
        newIndex = *replacedBackgroundIndex;
    else if (replaced)
        newIndex = positionIn(rows[a], idText);
    else if (addMode == 1)
        newIndex = (*layerPosition)[1] + 1;
    const auto& first = getFirstLayerAboveVideoArray();
    const int firstIndex = positionIn(rows[a], first[a]);
    bool above = isFirstLayerAboveVideo || (firstIndex >= 0 && newIndex >= firstIndex && first[a] != idText);
    // A copy of its asset's first layer above the camera is the first above in the copy's asset.
    if (addMode == 2 && layerPosition) {
        const size_t sa = size_t((*layerPosition)[0]);
        const auto& sourceRow = getLayerArrayReference()[sa];
        if (first[sa] && size_t((*layerPosition)[1]) < sourceRow.size() &&
            sourceRow[size_t((*layerPosition)[1])] == *first[sa] && !first[a])
            isFirstLayerAboveVideo = above = true;
    }
    if (first[a] == idText)
        above = true;
    const int layerType = isBackgroundLayer ? 0 : sticky ? 1 : 2;
    if (isBackgroundLayer)
        above = false;
    const std::string stackOn = orderLayersClass().findPreviousLayerInSameAsset(
        asset, newIndex, layerType, rows, above, first, getAssetBackgroundIDArray());
    auto old = replaced ? layerViewOf(preview, idText) : nullptr;
    if (old)
        old->removeFromSuperview();
    // The replaced picture's copy in the asset strip goes too: the new one takes its id and its
    // place at the bottom, where the old copy would cover it.
    if (replaced && asset >= 1)
        removeAssetThumbnail(getAssetArrayReference()[a], std::stoi(idText));
    if (auto below = layerViewOf(preview, stackOn))
        preview->addSubview(container, qrn::ui::Ordering::Above, below.get());
    else
        preview->addSubview(container, qrn::ui::Ordering::Above, nullptr);
    if (isFirstLayerAboveVideo && !isBackgroundLayer)
        layerRows().firstAboveVideo[a] = idText;
    if (isText && previewSize.width > textReferenceWidth) {
        container->layer()->setAnchorPoint({0, 0});
        container->layer()->setPosition(container->frame().origin);
    }

    // Asset strip and hit path.
    if (addToAssetStrip)
        addToAssetStrip(asset, getLayerArrayReference(), thumbnails, stackOn, rotation.value_or(0.0));
    const auto address = layerAssetIndexAndVideoSelectedArray{false, asset, newIndex};
    createOrUpdateLayerPath(address, !replaced, newIndex, false);
    // The new views show the filters the layer's entries hold: none for a new layer, the stored
    // ones for a layer an opening, Undo or Redo brings back.
    reapplyLayerFilters(asset, newIndex);
    const bool intoSelected = asset == getSelectedAssetIndex();
    // A project being opened fills the list once, when all its layers exist.
    if (intoSelected && !getImportMarker())
        fillSelectedAssetOrderedLayerArray();

    // Selection overlay.
    const auto overlay = getSuperviewOfTaggedPreviewView();
    if (overlay && overlay->subviews().size() > 2)
        overlay->subviews()[2]->setHidden(false);
    setVideoLayerSelected(false);
    cropOverlay(false);
    if (!replaced && !restoreAtPosition)
        setLayerIdCounter(getLayerIdCounter() + 1);
    if (overlay)
        rotateLayer(*overlay, 0);
    if (!restoreAtPosition && overlay)
        positionAndResizeOverlay(address, true);

    // Steps that wait for the view to be laid out; each finds its layer again by id.
    if (isText) {
        const double turn = layerPosition ? rotation.value_or(0.0) : 0.0;
        const auto place = [this, turn, idText, preview](int la, int ll) {
            auto view = layerViewOf(preview, idText);
            if (!view)
                return;
            const auto f = layerRows().frames[size_t(la)][size_t(ll)];
            view->layer()->setAnchorPoint({0.5, 0.5});
            view->layer()->setPosition({f[0] + f[2] / 2, f[1] + f[3] / 2});
            // As a correction (no undo entry, no write), but with the text laid out in the box at
            // the size it shows: stretching the box's picture instead would draw the text blurred.
            resizeOrRotateLayer(false, std::vector<double>{f[2], f[3], turn}, false,
                                layerAssetIndexAndVideoSelectedArray{false, la, ll}, false, false, true, true,
                                0, 0, false, false);
        };
        afterForLayer(0.5, idText, a, [place, idText](int la, int ll) {
            place(la, ll);
            afterForLayer(0.5, idText, size_t(la), place);
        });
    } else {
        const bool recreated = layerPosition.has_value();
        // Centres the layer on its frame; a re-created one also gets its rotation and flips.
        afterForLayer(0.1, idText, a, [this](int la, int ll) {
            resizeCorrectionForSingleLayer(std::nullopt, layerAssetIndexAndVideoSelectedArray{false, la, ll},
                                           false);
        });
        if (recreated && !restoreAtPosition && rotation && *rotation != 0 && overlay)
            rotateLayer(*overlay, *rotation);
        if (!layerPosition && isBundleImage)
            afterForLayer(0.1, idText, a, [this, size](int la, int ll) {
                resizeCorrectionForSingleLayer(std::vector<double>{size.width, size.height, 0},
                                               layerAssetIndexAndVideoSelectedArray{false, la, ll}, false);
            });
    }

    // Undo. Layers an opened project re-creates are no steps of the user's.
    const bool importing = layerPosition && addMode == 0 && !restoreAtPosition;
    if (addMode != 2 && !importing) {
        if (replaced && replacedBackgroundIndex)
            undoRedoClass().action("replaceBackgroundLayer",
                                   undoValueList{*replacedBackgroundIndex, replacedBackgroundFrame},
                                   replacedBackground);
        else
            undoRedoClass().action("addLayer", undoValueList{getSelectedLayerIndex(false)});
    }

    // Selection.
    if (!intoSelected) {
        noLayerSelected();
        if (asset != 0)
            container->setHidden(true);
        return;
    }
    if (!importing) {
        reloadLayerList();
        if (isBackgroundLayer && refreshBackgroundBox)
            refreshBackgroundBox();
    }
    if (restoreAtPosition) {
        noLayerSelected();
        return;
    }
    if (getImportMarker())
        settingsPaneDue = true;
    else if (loadSettingsView)
        loadSettingsView();
    highlightOfSelectedScrollViewLayer(5, id);
}
