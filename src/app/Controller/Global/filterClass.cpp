#include "Controller/Global/filterClass.h"

#include <algorithm>

#include "Controller/Global/dataLoggingClass.h"
#include "Filters/BoxBlur/boxBlurClass.h"
#include "Filters/ChromaKey/chromaKeyClass.h"
#include "Filters/Median/medianClass.h"
#include "platform/imaging/picture_reader.h"

namespace {

const std::vector<std::string> FILTERS_ARRAY{"ChromaKeyRgb", "BoxBlur", "Median"};
std::vector<bool> VIDEO_FILTER;
std::vector<int> VIDEO_FILTER_ORDER;
filterValuesArray VIDEO_FILTER_VALUES;
layerFilterArray LAYER_FILTER;
layerFilterOrderArray LAYER_FILTER_ORDER;
layerFilterValuesArray LAYER_FILTER_VALUES;
bool filteredOrderedListFiltersForVideo = false;

const std::vector<double> kDefaultKeyColour{32.0, 255.0, 0.0, 1.0};
const double kDefaultRange = 10.0;

filterValuesEntry emptyPlaceholder() {
    return filterValuesEntry{qrn::Value()};
}

void appendVideoDefaults() {
    for (std::size_t i = 0; i < FILTERS_ARRAY.size(); ++i) {
        VIDEO_FILTER.push_back(false);
        VIDEO_FILTER_ORDER.push_back(static_cast<int>(i));
        VIDEO_FILTER_VALUES.push_back(emptyPlaceholder());
    }
}

// Slots past the end of an entry read as empty.
const qrn::Value& slot(const filterValuesEntry& entry, std::size_t i) {
    static const qrn::Value empty;
    return i < entry.size() ? entry[i] : empty;
}

qrn::Value boolsValue(const std::vector<bool>& flags) {
    qrn::Value::List out;
    for (bool b : flags)
        out.emplace_back(b);
    return qrn::Value(std::move(out));
}

qrn::Value intsValue(const std::vector<int>& ints) {
    qrn::Value::List out;
    for (int i : ints)
        out.emplace_back(i);
    return qrn::Value(std::move(out));
}

template <typename Row, typename F>
qrn::Value nestedValue(const std::vector<std::vector<Row>>& rows, F element) {
    qrn::Value::List out;
    for (const auto& row : rows) {
        qrn::Value::List r;
        for (const auto& e : row)
            r.push_back(element(e));
        out.emplace_back(std::move(r));
    }
    return qrn::Value(std::move(out));
}

qrn::Value resultValue(const std::optional<filterResult>& result) {
    if (!result)
        return {};
    if (auto image = std::get_if<qrn::ImageHandle>(&*result))
        return qrn::Value(*image);
    const auto& filter = std::get<qrn::graphics::ContentFilterPtr>(*result);
    return filter ? qrn::Value(filter->name()) : qrn::Value();
}

// The chroma key with parameters read from `first` on: key colour, range, saturation range,
// brightness range. An empty key colour means the defaults; other empty slots their defaults.
std::optional<filterResult> chromaKeyFrom(const qrn::Value& image, const filterValuesEntry& entry,
                                          std::size_t first, bool returnFilter) {
    const qrn::Value& key = slot(entry, first);
    if (key.isEmpty())
        return chromaKeyClass().chromaKeyFilter(image, kDefaultKeyColour, 0, 0, returnFilter, kDefaultRange);
    const qrn::Value& range = slot(entry, first + 1);
    const qrn::Value& saturation = slot(entry, first + 2);
    const qrn::Value& brightness = slot(entry, first + 3);
    const auto colour = colourArrayOf(key);
    if (!colour || !(range.isEmpty() || range.isNumber()) ||
        !(saturation.isEmpty() || saturation.isNumber()) || !(brightness.isEmpty() || brightness.isNumber()))
        return std::nullopt;
    return chromaKeyClass().chromaKeyFilter(image, *colour, static_cast<int>(saturation.toInt()),
                                            static_cast<int>(brightness.toInt()), returnFilter,
                                            range.toReal(kDefaultRange));
}

} // namespace

filterResult filterResultFor(const qrn::graphics::ContentFilterPtr& filter, const qrn::Value& image,
                             bool returnFilter) {
    if (image.isImage() && image.toImage() && !returnFilter) {
        // The picture may be held smaller than its own size, which the parameters count in.
        const QImage& picture = *image.toImage();
        const double scale = qrn::graphics::ContentFilter::drawnScale(
            QSizeF(qrn::imaging::ownPictureSize(picture)), QSizeF(picture.size()));
        return qrn::ImageHandle(std::make_shared<const QImage>(filter->applyScaled(picture, scale)));
    }
    return filter;
}

LogValues filterResultLogValues(const filterResult& result) {
    return {{std::holds_alternative<qrn::ImageHandle>(result) ? "image" : "filter", resultValue(result)}};
}

std::optional<std::vector<double>> colourArrayOf(const qrn::Value& slot) {
    if (slot.isColour())
        return slot.toColour().size() >= 4 ? std::optional(slot.toColour()) : std::nullopt;
    if (!slot.isList() || slot.toList().size() < 4)
        return std::nullopt;
    std::vector<double> colour;
    for (const qrn::Value& component : slot.toList()) {
        if (!component.isNumber())
            return std::nullopt;
        colour.push_back(component.toReal());
    }
    return colour;
}

qrn::Value filterValuesEntryValue(const std::optional<filterValuesEntry>& entry) {
    if (!entry)
        return {};
    return qrn::Value(qrn::Value::List(entry->begin(), entry->end()));
}

qrn::Value filterValuesArrayValue(const filterValuesArray& values) {
    qrn::Value::List out;
    for (const auto& e : values)
        out.push_back(filterValuesEntryValue(e));
    return qrn::Value(std::move(out));
}

filterClass::filterClass() {
    if (!FILTERS_ARRAY.empty() && VIDEO_FILTER_VALUES.empty())
        appendVideoDefaults();
}

void filterClass::setVideoFilter(const std::vector<bool>& value) {
    QRN_LOG_IN(LogValues{{"VIDEO_FILTER", boolsValue(value)}});
    VIDEO_FILTER = value;
    QRN_LOG_OUT(std::nullopt);
}

void filterClass::setVideoFilterValues(const filterValuesArray& value) {
    QRN_LOG_IN(LogValues{{"VIDEO_FILTER_VALUES", filterValuesArrayValue(value)}});
    VIDEO_FILTER_VALUES = value;
    QRN_LOG_OUT(std::nullopt);
}

void filterClass::setLayerFilter(const layerFilterArray& value) {
    QRN_LOG_IN(LogValues{{"LAYER_FILTER", nestedValue(value, boolsValue)}});
    LAYER_FILTER = value;
    QRN_LOG_OUT(std::nullopt);
}

void filterClass::setLayerFilterOrder(const layerFilterOrderArray& value) {
    QRN_LOG_IN(LogValues{{"LAYER_FILTER_ORDER", nestedValue(value, intsValue)}});
    LAYER_FILTER_ORDER = value;
    QRN_LOG_OUT(std::nullopt);
}

void filterClass::setLayerFilterValues(const layerFilterValuesArray& value) {
    QRN_LOG_IN(LogValues{{"LAYER_FILTER_VALUES", nestedValue(value, filterValuesArrayValue)}});
    LAYER_FILTER_VALUES = value;
    QRN_LOG_OUT(std::nullopt);
}

bool filterClass::getFiltersForVideo() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"filteredOrderedListFiltersForVideo", filteredOrderedListFiltersForVideo}});
    return filteredOrderedListFiltersForVideo;
}

void filterClass::setFiltersForVideo(bool value) {
    QRN_LOG_IN(LogValues{{"filteredOrderedListFiltersForVideo", value}});
    filteredOrderedListFiltersForVideo = value;
    QRN_LOG_OUT(std::nullopt);
}

void filterClass::clearClass() {
    QRN_LOG_IN(std::nullopt);
    VIDEO_FILTER.clear();
    VIDEO_FILTER_ORDER.clear();
    VIDEO_FILTER_VALUES.clear();
    LAYER_FILTER = {{}};
    LAYER_FILTER_ORDER = {{}};
    LAYER_FILTER_VALUES = {{}};
    appendVideoDefaults();
    QRN_LOG_OUT(std::nullopt);
}

std::vector<bool> filterClass::getVideoFilter() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"VIDEO_FILTER", boolsValue(VIDEO_FILTER)}});
    return VIDEO_FILTER;
}

std::vector<int> filterClass::getVideoFilterOrder() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"VIDEO_FILTER_ORDER", intsValue(VIDEO_FILTER_ORDER)}});
    return VIDEO_FILTER_ORDER;
}

filterValuesArray filterClass::getVideoFilterValues() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"VIDEO_FILTER_VALUES", filterValuesArrayValue(VIDEO_FILTER_VALUES)}});
    return VIDEO_FILTER_VALUES;
}

layerFilterArray filterClass::getLayerFilter() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"LAYER_FILTER", nestedValue(LAYER_FILTER, boolsValue)}});
    return LAYER_FILTER;
}

layerFilterOrderArray filterClass::getLayerFilterOrder() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"LAYER_FILTER_ORDER", nestedValue(LAYER_FILTER_ORDER, intsValue)}});
    return LAYER_FILTER_ORDER;
}

layerFilterValuesArray filterClass::getLayerFilterValues() {
    QRN_LOG_IN(std::nullopt);
    QRN_LOG_OUT(LogValues{{"LAYER_FILTER_VALUES", nestedValue(LAYER_FILTER_VALUES, filterValuesArrayValue)}});
    return LAYER_FILTER_VALUES;
}

std::vector<std::string> filterClass::getFilterString() {
    QRN_LOG_IN(std::nullopt);
    qrn::Value::List names(FILTERS_ARRAY.begin(), FILTERS_ARRAY.end());
    QRN_LOG_OUT(LogValues{{"FILTERS_ARRAY", qrn::Value(std::move(names))}});
    return FILTERS_ARRAY;
}

std::optional<int> filterClass::filterIndex(const std::string& name) {
    auto it = std::find(FILTERS_ARRAY.begin(), FILTERS_ARRAY.end(), name);
    if (it == FILTERS_ARRAY.end())
        return std::nullopt;
    return static_cast<int>(it - FILTERS_ARRAY.begin());
}

filterClass::layerFilterTables filterClass::layerFilterRows() {
    return {LAYER_FILTER, LAYER_FILTER_ORDER, LAYER_FILTER_VALUES};
}

void filterClass::addPlaceholderValuesToLayerArray(int assetArrayIndex, const qrn::ImageHandle& image,
                                                   int layerIndex, bool append) {
    QRN_LOG_IN(LogValues{{"assetArrayIndex", assetArrayIndex}, {"image", qrn::Value(image)}});
    std::vector<bool> flags;
    std::vector<int> order;
    filterValuesArray values;
    // Every filter's entry starts with the layer's picture: the chain feeds its running image
    // only into entries that hold one, so an entry without it would never reach the layer. The
    // empty slot after it keeps the stored form of a fresh entry one empty value, as before.
    qrn::ImageHandle picture;
    if (image && !image->isNull())
        picture = std::make_shared<const QImage>(image->convertToFormat(QImage::Format_ARGB32_Premultiplied));
    for (std::size_t i = 0; i < FILTERS_ARRAY.size(); ++i) {
        flags.push_back(false);
        order.push_back(static_cast<int>(i));
        values.push_back(picture ? filterValuesEntry{qrn::Value(picture), qrn::Value()} : emptyPlaceholder());
    }
    // An asset the three arrays do not hold would be written past their end; such a call is a
    // caller's mistake that we log rather than act on.
    const auto rows = static_cast<int>(
        std::min({LAYER_FILTER.size(), LAYER_FILTER_ORDER.size(), LAYER_FILTER_VALUES.size()}));
    if (assetArrayIndex < 0 || assetArrayIndex >= rows) {
        QRN_LOG_ERROR(std::optional<std::string>("asset index out of range"));
        QRN_LOG_OUT(std::nullopt);
        return;
    }
    auto insert = [&](auto& row, auto element) {
        const auto size = static_cast<int>(row.size());
        const int at = append ? size : (layerIndex >= 0 && layerIndex <= size ? layerIndex : 0);
        row.insert(row.begin() + at, std::move(element));
    };
    insert(LAYER_FILTER[assetArrayIndex], std::move(flags));
    insert(LAYER_FILTER_ORDER[assetArrayIndex], std::move(order));
    insert(LAYER_FILTER_VALUES[assetArrayIndex], std::move(values));
    QRN_LOG_OUT(std::nullopt);
}

std::optional<filterResult> filterClass::filters(int index,
                                                 const std::optional<filterValuesEntry>& VALUES_ARRAY,
                                                 bool videoSelected, bool returnFilter) {
    QRN_LOG_IN(LogValues{{"index", index},
                         {"VALUES_ARRAY", filterValuesEntryValue(VALUES_ARRAY)},
                         {"videoSelected", videoSelected}});
    std::optional<filterResult> result;
    if (VALUES_ARRAY) {
        const filterValuesEntry& entry = *VALUES_ARRAY;
        const qrn::Value& first = slot(entry, 0);
        if (index == filterIndex("ChromaKeyRgb")) {
            if (first.isImage())
                result = chromaKeyFrom(first, entry, 1, returnFilter);
            else
                result = chromaKeyFrom(qrn::Value(), entry, 0, returnFilter);
        } else if (index == filterIndex("BoxBlur")) {
            const double minimum = boxBlurClass().getMinimumSliderValue();
            if (first.isEmpty())
                result = boxBlurClass().boxBlurFilter(qrn::Value(), false, minimum);
            else if (first.isImage()) {
                const qrn::Value& radius = slot(entry, 1);
                if (radius.isEmpty() || radius.isNumber())
                    result = boxBlurClass().boxBlurFilter(first, false, radius.toReal(minimum));
            } else if (first.isNumber())
                result = boxBlurClass().boxBlurFilter(qrn::Value(), false, first.toReal());
        } else if (index == filterIndex("Median")) {
            result = medianClass().medianFilter(first.isImage() ? first : qrn::Value(), false);
        }
    }
    QRN_LOG_OUT(LogValues{{"filter", resultValue(result)}});
    return result;
}
