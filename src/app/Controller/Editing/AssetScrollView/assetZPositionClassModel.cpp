#include "Controller/Editing/AssetScrollView/assetZPositionClassModel.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/undoRedoClass.h"

namespace {

template <typename List> void moveEntry(List& list, int from, int to, size_t count) {
    auto entry = std::move(list[size_t(from)]);
    list.erase(list.begin() + from);
    if (count <= size_t(to))
        list.push_back(std::move(entry));
    else
        list.insert(list.begin() + to, std::move(entry));
}

} // namespace

namespace assetLists {

bool moveAsset(int from, int to, bool record) {
    previewLayerClass model;
    filterClass filters;
    previewLayerViewPathCreationClass paths;
    attributedStringStorageClass texts;
    const size_t count = model.getAssetArray().size();
    if (from < 1 || to < 1 || size_t(from) >= count || size_t(to) >= count || from == to)
        return false;

    // Every list is checked before any is touched: one out of step would make the move leave
    // the lists disagreeing, and the next save would store that.
    const auto views = model.getAssetTileViewArray();
    const size_t n = count;
    const bool inStep =
        model.getLayerArrayReference().size() == n && model.getFirstLayerAboveVideoArray().size() == n &&
        model.getLayerOriginSizeArray().size() == n && model.getLayerTransformedOrigin().size() == n &&
        model.getLayerTransformedSize().size() == n && model.getLayerRotateArray().size() == n &&
        model.getLayerOriginalPosSize().size() == n && model.getLayerIsFlippedArray().size() == n &&
        model.getLayerResizeWithAspectRatioArray().size() == n && paths.pathsArrayReference().size() == n &&
        filters.getLayerFilter().size() == n && filters.getLayerFilterOrder().size() == n &&
        filters.getLayerFilterValues().size() == n && texts.getAutocueStringArray().size() == n - 1 &&
        model.getImageReferenceArray().size() == n && model.getAssetBackgroundIDArray().size() == n - 1 &&
        model.getAssetBackgroundColour().size() == n - 1 &&
        // The per-asset view list is kept only where a screen fills it.
        (views.empty() || views.size() == n - 1) && texts.getTextSymbolStringArray().size() == n;
    if (!inStep)
        return false;

    if (record) {
        undoRedoClass undo;
        // Values kept by an earlier gesture are not this move's.
        undo.setValuesCompare(std::nullopt);
        undo.compareValuesBeforeAndAfter(undoValueList{to, from}, std::nullopt);
        undo.action("reorderAsset", undoValueList{from, to});
    }

    const auto own = [&](auto get, auto set) {
        auto list = get();
        moveEntry(list, from, to, count);
        set(std::move(list));
    };
    const auto after = [&](auto get, auto set) {
        auto list = get();
        moveEntry(list, from - 1, to - 1, count - 1);
        set(std::move(list));
    };
    // clang-format off
    own([&] { return model.getLayerArray(); }, [&](auto l) { model.setLayerArray(std::move(l)); });
    own([&] { return model.getFirstLayerAboveVideoArray(); }, [&](auto l) { model.setFirstLayerAboveVideoArray(std::move(l)); });
    own([&] { return model.getLayerOriginSizeArray(); }, [&](auto l) { model.setLayerOriginSizeArray(std::move(l)); });
    own([&] { return model.getLayerTransformedOrigin(); }, [&](auto l) { model.setLayerTransformedOrigin(std::move(l)); });
    own([&] { return model.getLayerTransformedSize(); }, [&](auto l) { model.setLayerTransformedSize(std::move(l)); });
    own([&] { return model.getLayerRotateArray(); }, [&](auto l) { model.setLayerRotateArray(std::move(l)); });
    own([&] { return model.getLayerOriginalPosSize(); }, [&](auto l) { model.setLayerOriginalPosSize(std::move(l)); });
    own([&] { return model.getLayerIsFlippedArray(); }, [&](auto l) { model.setLayerIsFlippedArray(std::move(l)); });
    own([&] { return model.getLayerResizeWithAspectRatioArray(); }, [&](auto l) { model.setLayerResizeWithAspectRatioArray(std::move(l)); });
    own([&] { return paths.getPathsArray(); }, [&](auto l) { paths.setPathsArray(std::move(l)); });
    own([&] { return filters.getLayerFilter(); }, [&](auto l) { filters.setLayerFilter(l); });
    own([&] { return filters.getLayerFilterOrder(); }, [&](auto l) { filters.setLayerFilterOrder(l); });
    own([&] { return filters.getLayerFilterValues(); }, [&](auto l) { filters.setLayerFilterValues(l); });
    after([&] { return texts.getAutocueStringArray(); }, [&](auto l) { texts.setAutocueStringArray(std::move(l)); });
    own([&] { return model.getImageReferenceArray(); }, [&](auto l) { model.setEntireImageReferenceArray(std::move(l)); });
    after([&] { return model.getAssetBackgroundIDArray(); }, [&](auto l) { model.setAssetBackgroundIDArray(std::move(l)); });
    after([&] { return model.getAssetBackgroundColour(); }, [&](auto l) { model.setAssetBackgroundColour(std::move(l)); });
    if (!views.empty())
        after([&] { return model.getAssetTileViewArray(); }, [&](auto l) { model.setAssetTileViewArray(std::move(l)); });
    own([&] { return texts.getTextSymbolStringArray(); }, [&](auto l) { texts.setTextSymbolStringArray(std::move(l), 1); });
    own([&] { return model.getAssetArray(); }, [&](auto l) { model.setAssetArray(std::move(l)); });
    // clang-format on
    return true;
}

} // namespace assetLists
