// Duplicating a layer through the add routine, and taking one out of every row, the preview,
// the asset strip and the layer list.
#include <algorithm>
#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/ui/view.h"

namespace {

std::function<void()> addEmptyBackgroundRow;

template <typename T> void eraseAt(std::vector<std::vector<T>>& table, size_t a, size_t l) {
    if (a < table.size() && l < table[a].size())
        table[a].erase(table[a].begin() + long(l));
}

int positionIn(const std::vector<std::string>& row, const std::string& id) {
    auto it = std::find(row.begin(), row.end(), id);
    return it == row.end() ? -1 : int(it - row.begin());
}

// Takes the copy of a layer out of an asset tile's thumbnail.
void removeThumbnail(const std::shared_ptr<qrn::ui::View>& tile, int layerId) {
    if (!tile || tile->subviews().empty())
        return;
    auto tagged = tile->subviews().back()->viewWithTag(layerId);
    if (auto copy = tagged ? tagged->superview() : nullptr)
        copy->removeFromSuperview();
}

} // namespace

void previewLayerClass::setAddEmptyBackgroundRowHook(std::function<void()> hook) {
    addEmptyBackgroundRow = std::move(hook);
}

void previewLayerClass::duplicateLayer(std::optional<int> assetId, std::optional<int> layerId) {
    QRN_LOG_IN(std::nullopt);
    const int asset = assetId.value_or(getSelectedAsset());
    const auto id = layerId ? layerId : getSelectedLayer();
    if (!id)
        return;
    const auto assets = getAssetArray();
    const int index = int(std::find(assets.begin(), assets.end(), std::to_string(asset)) - assets.begin());
    if (size_t(index) >= assets.size())
        return;
    const auto backgrounds = getAssetBackgroundIDArray();
    if (index >= 1 && backgrounds[size_t(index - 1)] &&
        *backgrounds[size_t(index - 1)] == std::to_string(*id))
        return;
    const int l = positionIn(getLayerArrayReference()[size_t(index)], std::to_string(*id));
    if (l < 0)
        return;
    const size_t before = getLayerArrayReference()[size_t(index)].size();
    duplicateLayerInternal(index, l, false);
    // The add routine leaves a copy unsaved so that an asset duplication writes once after all of
    // its layers; a single copy is complete here, with its filters, and is written like any edit.
    if (getLayerArrayReference()[size_t(index)].size() > before &&
        globalAppSettingsClass().getSaveOnUserAction())
        persistentDataStorageClass().exportData(false);
}

void previewLayerClass::duplicateLayerInternal(int a, int l, bool toSelectedAsset) {
    QRN_LOG_IN(LogValues{{"assetIndex", a}, {"layerIndex", l}, {"toSelectedAsset", toSelectedAsset}});
    const auto reference = getImageReferenceArray()[size_t(a)][size_t(l)];
    qrn::Value picture;
    try {
        picture = getImageFromImageReferenceArray(reference);
    } catch (const qrnError& error) {
        QRN_LOG_ERROR(std::string(error.what()));
        return;
    }
    const int mode = toSelectedAsset ? 2 : 1;
    // The copy's reference: right after its source, or at the end of the asset it goes to.
    const int s = getSelectedAssetIndex();
    auto references = getImageReferenceArray();
    auto& row = references[size_t(mode == 1 ? a : s)];
    if (mode == 1 && size_t(l + 1) <= row.size())
        row.insert(row.begin() + l + 1, reference);
    else
        row.push_back(reference);
    setEntireImageReferenceArray(std::move(references));

    const auto backgrounds = getAssetBackgroundIDArray();
    const std::string sourceId = getLayerArrayReference()[size_t(a)][size_t(l)];
    const bool isBackground = a >= 1 && backgrounds[size_t(a - 1)] && *backgrounds[size_t(a - 1)] == sourceId;
    if (picture.isList()) {
        std::vector<qrn::ImageHandle> frames;
        for (const auto& frame : picture.toList())
            if (frame.isImage())
                frames.push_back(frame.toImage());
        addLayer(nullptr, frames, std::nullopt, std::nullopt, false, false, {}, std::vector<int>{a, l}, mode,
                 false, false, false, true);
    } else {
        std::optional<std::string> url;
        const auto text = [&](size_t i) {
            return i < reference.size() && reference[i].isString() ? reference[i].toString() : "";
        };
        if (!reference.empty() && reference[0].isInteger() && reference[0].toInt() == 3) {
            const std::string name = text(2), extension = text(1);
            const std::string path =
                persistentDataStorageClass().getProjectDirectory() + "/images/" + name + "." + extension;
            // A name that would lead out of the images folder counts as a missing file.
            const bool safe = isSafeImageFileName(name, extension);
            std::error_code error;
            if (!safe || !std::filesystem::is_regular_file(path, error))
                QRN_LOG_ERROR("Unable to retrieve remote regular image " + name + "." + extension);
            if (safe)
                url = path;
        }
        addLayer(picture.isImage() ? picture.toImage() : nullptr, std::nullopt, url, std::nullopt, false,
                 isBackground, {}, std::vector<int>{a, l}, mode, false, false, false, true);
    }

    // The copy takes the source's filters in the filter list's order.
    const auto copyId = getSelectedLayer();
    const int target = mode == 1 ? a : s;
    const int at =
        copyId ? positionIn(getLayerArrayReference()[size_t(target)], std::to_string(*copyId)) : -1;
    if (at < 0)
        return;
    filterClass filters;
    auto flags = filters.getLayerFilter();
    auto orders = filters.getLayerFilterOrder();
    auto values = filters.getLayerFilterValues();
    const size_t from = size_t(mode == 1 && at <= l ? l + 1 : l);
    if (size_t(a) >= flags.size() || from >= flags[size_t(a)].size() ||
        size_t(at) >= flags[size_t(target)].size())
        return;
    flags[size_t(target)][size_t(at)] = flags[size_t(a)][from];
    orders[size_t(target)][size_t(at)] = orders[size_t(a)][from];
    values[size_t(target)][size_t(at)] = values[size_t(a)][from];
    filters.setLayerFilter(flags);
    filters.setLayerFilterOrder(orders);
    filters.setLayerFilterValues(values);
    reapplyLayerFilters(target, at);
    // The copy was selected, and its panes built, before it had its filters.
    if (getSelectedLayer() == copyId)
        reloadSettingsPane();
}

void previewLayerClass::removeLayer(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                    bool replay) {
    QRN_LOG_IN(LogValues{{"replay", replay}});
    // Every file this change writes goes to disk as one commit.
    packageCommitScope together;
    const auto resolved = layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (resolved.videoSelected || !resolved.layerIndex)
        return;
    const size_t a = size_t(resolved.assetIndex), l = size_t(*resolved.layerIndex);
    if (a >= getLayerArrayReference().size() || l >= getLayerArrayReference()[a].size())
        return;
    const layerAssetIndexAndVideoSelectedArray address{false, int(a), int(l)};
    if (!replay)
        undoRedoClass().action("removeLayer", undoValueList{int(l)});
    const std::string id = getLayerArrayReference()[a][l];
    const int tag = std::stoi(id);
    imageManipulationClass().softDeleteImage(address);

    // Thumbnails: a sticky layer has a copy in every tile.
    editViewClass edit;
    const auto assets = getAssetArray();
    const auto strip = edit.getAssetHorizontalScrollView();
    const auto tileOf = [&](size_t asset) -> std::shared_ptr<qrn::ui::View> {
        if (asset == 0) {
            const auto screen = edit.getConfiguration();
            return screen && screen->stickyAsset && !screen->stickyAsset->subviews().empty()
                       ? screen->stickyAsset->subviews().front()
                       : nullptr;
        }
        auto tagged = strip ? strip->viewWithTag(std::stoi(assets[asset])) : nullptr;
        return tagged ? tagged->superview() : nullptr;
    };
    for (size_t t = 0; t < assets.size(); ++t)
        if (a == 0 || t == a)
            removeThumbnail(tileOf(t), tag);

    auto backgrounds = getAssetBackgroundIDArray();
    const bool isBackground = a >= 1 && backgrounds[a - 1] && *backgrounds[a - 1] == id;
    if (edit.selectedLayerSpecialSymbolType(address) == 1) {
        attributedStringStorageClass storage;
        auto texts = storage.getTextSymbolStringArray();
        const int k = edit.getSelectedTextSymbolIndex(address, false);
        if (a < texts.size() && k >= 0 && size_t(k) < texts[a].size()) {
            texts[a].erase(texts[a].begin() + k);
            storage.setTextSymbolStringArray(std::move(texts), 1);
        }
    }
    filterClass filters;
    auto flags = filters.getLayerFilter();
    auto orders = filters.getLayerFilterOrder();
    auto values = filters.getLayerFilterValues();
    eraseAt(flags, a, l), eraseAt(orders, a, l), eraseAt(values, a, l);
    filters.setLayerFilter(flags);
    filters.setLayerFilterOrder(orders);
    filters.setLayerFilterValues(values);
    if (isBackground) {
        backgrounds[a - 1].reset();
        setAssetBackgroundIDArray(backgrounds);
    }
    auto frames = getLayerOriginSizeArray();
    auto origins = getLayerTransformedOrigin();
    auto scales = getLayerTransformedSize();
    auto rotations = getLayerRotateArray();
    auto originals = getLayerOriginalPosSize();
    auto flips = getLayerIsFlippedArray();
    auto locks = getLayerResizeWithAspectRatioArray();
    eraseAt(frames, a, l), eraseAt(origins, a, l), eraseAt(scales, a, l), eraseAt(rotations, a, l);
    eraseAt(originals, a, l), eraseAt(flips, a, l), eraseAt(locks, a, l);
    setLayerOriginSizeArray(std::move(frames));
    setLayerTransformedOrigin(std::move(origins));
    setLayerTransformedSize(std::move(scales));
    setLayerRotateArray(std::move(rotations));
    setLayerOriginalPosSize(std::move(originals));
    setLayerIsFlippedArray(std::move(flips));
    setLayerResizeWithAspectRatioArray(std::move(locks));

    // The next layer up that is not the background takes over as the first above the camera;
    // handing it to the background would put every other layer below the camera.
    auto first = getFirstLayerAboveVideoArray();
    if (first[a] == id) {
        first[a].reset();
        const auto& row = getLayerArrayReference()[a];
        for (size_t next = l + 1; next < row.size(); ++next)
            if (!(a >= 1 && backgrounds[a - 1] == row[next])) {
                first[a] = row[next];
                break;
            }
        setFirstLayerAboveVideoArray(first);
    }
    previewLayerViewPathCreationClass creation;
    auto paths = creation.getPathsArray();
    eraseAt(paths, a, l);
    creation.setPathsArray(std::move(paths));
    auto layers = getLayerArray();
    eraseAt(layers, a, l);
    setLayerArray(std::move(layers));
    auto references = getImageReferenceArray();
    eraseAt(references, a, l);
    setEntireImageReferenceArray(std::move(references));
    if (!replay && globalAppSettingsClass().getSaveOnUserAction())
        persistentDataStorageClass().exportData(false);

    const auto configuration = getConfiguration();
    if (auto tagged = configuration && configuration->layerContainerView
                          ? configuration->layerContainerView->viewWithTag(tag)
                          : nullptr)
        if (auto view = tagged->superview())
            view->removeFromSuperview();
    if (int(a) == getSelectedAssetIndex())
        fillSelectedAssetOrderedLayerArray();
    if (getSelectedLayer() == tag)
        setSelectedLayer(std::nullopt);

    reloadLayerList();
    if (isBackground && addEmptyBackgroundRow)
        addEmptyBackgroundRow();

    if (replay) {
        noLayerSelected();
        return;
    }
    if (int(a) != getSelectedAssetIndex())
        return;
    const auto& row = getLayerArrayReference()[a];
    if (!row.empty()) {
        auto tagged = configuration->layerContainerView->viewWithTag(std::stoi(row.front()));
        layerSelected(tagged ? tagged->superview() : nullptr);
    } else if (getVideoLayerView()->isHidden()) {
        noLayerSelected();
    } else {
        selectVideoLayer();
    }
}
