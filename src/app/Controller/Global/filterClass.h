#pragma once
// The filter state of a project (the video's and every layer's on/off flags, order and values)
// and the application of one filter to one image. The state lives in module globals of the .cpp.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/value.h"
#include "platform/graphics/content_filter.h"

// One filter's list of value slots; an empty qrn::Value is an empty slot. A layer's entry holds
// the layer's image in its first slot, the video's has no image slot.
using filterValuesEntry = std::vector<qrn::Value>;
// Per filter id: an entry, or none.
using filterValuesArray = std::vector<std::optional<filterValuesEntry>>;
using layerFilterArray = std::vector<std::vector<std::vector<bool>>>;
using layerFilterOrderArray = std::vector<std::vector<std::vector<int>>>;
using layerFilterValuesArray = std::vector<std::vector<filterValuesArray>>;

// What a filter gives back: the filtered image, or a filter object for a layer's content filters.
using filterResult = std::variant<qrn::ImageHandle, qrn::graphics::ContentFilterPtr>;

// `filter` applied to the image that `image` holds; the filter itself when it holds none or
// returnFilter is set.
filterResult filterResultFor(const qrn::graphics::ContentFilterPtr& filter, const qrn::Value& image,
                             bool returnFilter);
// The log form of a filter's result: {"image": the image} or {"filter": the filter's name}.
LogValues filterResultLogValues(const filterResult& result);

class filterClass {
  public:
    filterClass();
    virtual ~filterClass() = default;

    virtual void setVideoFilter(const std::vector<bool>& VIDEO_FILTER);
    virtual void setVideoFilterValues(const filterValuesArray& VIDEO_FILTER_VALUES);
    virtual void setLayerFilter(const layerFilterArray& LAYER_FILTER);
    virtual void setLayerFilterOrder(const layerFilterOrderArray& LAYER_FILTER_ORDER);
    virtual void setLayerFilterValues(const layerFilterValuesArray& LAYER_FILTER_VALUES);
    virtual bool getFiltersForVideo();
    virtual void setFiltersForVideo(bool filteredOrderedListFiltersForVideo);
    virtual void clearClass();
    // The filter `index` applied to the image in the entry (returnFilter false), or the filter
    // object with the entry's parameters (returnFilter true, or no image). None for an absent
    // entry, an unknown id or an entry whose slots are of the wrong kind.
    virtual std::optional<filterResult> filters(int index,
                                                const std::optional<filterValuesEntry>& VALUES_ARRAY,
                                                bool videoSelected, bool returnFilter);

    std::vector<bool> getVideoFilter();
    std::vector<int> getVideoFilterOrder();
    filterValuesArray getVideoFilterValues();
    layerFilterArray getLayerFilter();
    layerFilterOrderArray getLayerFilterOrder();
    layerFilterValuesArray getLayerFilterValues();
    std::vector<std::string> getFilterString();

    // The filter entries of a new layer: appended to the asset's rows, or inserted at `layerIndex`.
    // With a readable image every entry is [image, empty], else [empty].
    void addPlaceholderValuesToLayerArray(int assetArrayIndex, const qrn::ImageHandle& image, int layerIndex,
                                          bool append);

    // The id of a filter name, none when the list has no such name.
    std::optional<int> filterIndex(const std::string& name);

    // The per-layer filter tables in place, for operations that touch one layer's entries:
    // copying (and logging) whole tables per layer made laying out a large project slow.
    struct layerFilterTables {
        layerFilterArray& flags;
        layerFilterOrderArray& orders;
        layerFilterValuesArray& values;
    };
    static layerFilterTables layerFilterRows();
};

// The key colour held by a slot: a colour array, or the plain list of four numbers that a
// project file gives back for one. None for anything else.
std::optional<std::vector<double>> colourArrayOf(const qrn::Value& slot);

// Log forms of the filter arrays.
qrn::Value filterValuesEntryValue(const std::optional<filterValuesEntry>& entry);
qrn::Value filterValuesArrayValue(const filterValuesArray& values);
