// The filter chain of the camera picture and of each layer, and the one entry point through
// which filter settings reach the model, the project file and the screen.
#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Filters/filterServices.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/imaging/picture_reader.h"
#include "platform/ui/view.h"

namespace {

// An order is usable when it names each filter exactly once and every one has a flag.
bool usableOrder(const std::vector<int>& order, const std::vector<bool>& flags) {
    if (order.empty() || flags.size() < order.size())
        return false;
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < sorted.size(); ++i)
        if (sorted[i] != int(i))
            return false;
    return true;
}

// The own size of the layer's picture: the one filtered, else the one its entries hold.
QSize layerPictureOwnSize(const qrn::ImageHandle& image, const filterValuesArray& values) {
    if (image)
        return qrn::imaging::ownPictureSize(*image);
    for (const auto& entry : values)
        if (entry && !entry->empty() && entry->front().isImage() && entry->front().toImage())
            return qrn::imaging::ownPictureSize(*entry->front().toImage());
    return {};
}

// A filtered picture carries the own size of the one it was made from, for the next filter.
qrn::ImageHandle withOwnSize(const qrn::ImageHandle& image, QSize own) {
    if (own.isEmpty() || qrn::imaging::ownPictureSize(*image) == own)
        return image;
    QImage tagged = *image;
    qrn::imaging::setOwnPictureSize(tagged, own);
    return std::make_shared<const QImage>(std::move(tagged));
}

class layerFilterEditingHost : public filterEditingHost {
  public:
    void applyFilter(bool display, int index, const filterValuesEntry& VALUES_ARRAY, bool videoLayerSelected,
                     bool exportData) override {
        editViewClass().applyFilter(display, index, VALUES_ARRAY, videoLayerSelected, exportData);
    }
    filterValuesArray getLayerFilterValues(bool videoSelected) override {
        if (videoSelected)
            return filterClass().getVideoFilterValues();
        previewLayerClass model;
        if (!model.getSelectedLayer())
            return {};
        const size_t a = size_t(model.getSelectedAssetIndex());
        const int l = model.getSelectedLayerIndex(false);
        const auto values = filterClass().getLayerFilterValues();
        if (l < 0 || a >= values.size() || size_t(l) >= values[a].size())
            return {};
        return values[a][size_t(l)];
    }
    bool isVideoLayerSelected() override { return previewLayerClass().getVideoLayerSelected(); }
    bool isLayerSelected() override { return previewLayerClass().getSelectedLayer().has_value(); }
};

} // namespace

void editViewClass::registerFilterEditingHost() {
    setFilterEditingHost(std::make_shared<layerFilterEditingHost>());
}

editViewClass::filterChainResult
editViewClass::getFiltersArrayOrFilteredImage(const qrn::ImageHandle& image, bool videoSelected,
                                              const std::optional<filterValuesArray>& VALUES_ARRAY,
                                              std::optional<int> layerIndex, std::optional<int> assetIndex) {
    QRN_LOG_IN(LogValues{{"videoSelected", videoSelected}});
    filterChainResult result{{}, image};
    filterClass filters;
    std::vector<bool> flags;
    std::vector<int> order;
    filterValuesArray values;
    if (videoSelected) {
        flags = filters.getVideoFilter();
        order = filters.getVideoFilterOrder();
        values = VALUES_ARRAY.value_or(filters.getVideoFilterValues());
    } else {
        previewLayerClass model;
        const size_t a = size_t(assetIndex.value_or(model.getSelectedAssetIndex()));
        const int l = layerIndex.value_or(model.getSelectedLayer() ? model.getSelectedLayerIndex(false) : -1);
        // In place: a project being opened filters its layers one by one.
        const auto tables = filterClass::layerFilterRows();
        const auto& allFlags = tables.flags;
        const auto& allOrders = tables.orders;
        const auto& allValues = tables.values;
        if (l < 0 || a >= allFlags.size() || size_t(l) >= allFlags[a].size() || a >= allOrders.size() ||
            size_t(l) >= allOrders[a].size())
            return result;
        flags = allFlags[a][size_t(l)];
        order = allOrders[a][size_t(l)];
        if (VALUES_ARRAY)
            values = *VALUES_ARRAY;
        else if (a < allValues.size() && size_t(l) < allValues[a].size())
            values = allValues[a][size_t(l)];
    }
    if (!usableOrder(order, flags)) {
        if (std::find(flags.begin(), flags.end(), true) != flags.end())
            QRN_LOG_ERROR(std::string("Filter flags and order do not match; no filters applied"));
        return result;
    }
    // A layer's filters count in its picture's own pixels (the file's size, not the size it is
    // held at), wherever it is drawn; the camera's in its frames' (the renderer finds them).
    const QSize own = videoSelected ? QSize() : layerPictureOwnSize(image, values);
    for (const int i : order) {
        if (!flags[size_t(i)])
            continue;
        std::optional<filterValuesEntry> entry =
            size_t(i) < values.size() ? values[size_t(i)] : std::optional<filterValuesEntry>();
        if (!image) {
            // Live filters take no picture: without one every filter gives its filter object.
            if (entry && !entry->empty() && entry->front().isImage()) {
                entry->erase(entry->begin());
                if (entry->empty())
                    entry->emplace_back();
            }
            const auto made = filters.filters(i, entry, videoSelected, true);
            if (made && std::holds_alternative<qrn::graphics::ContentFilterPtr>(*made) &&
                std::get<qrn::graphics::ContentFilterPtr>(*made)) {
                result.filters.push_back(std::get<qrn::graphics::ContentFilterPtr>(*made));
                result.filters.back()->setOwnSize(own);
            } else
                QRN_LOG_ERROR("Filter " + std::to_string(i) + " gave no filter");
            continue;
        }
        // Each filter works on what the previous one made.
        if (entry && !entry->empty() && (entry->front().isImage() || entry->front().isEmpty()) &&
            !videoSelected)
            entry->front() = qrn::Value(result.image);
        const auto made = filters.filters(i, entry, videoSelected, false);
        if (made && std::holds_alternative<qrn::ImageHandle>(*made) && std::get<qrn::ImageHandle>(*made))
            result.image = withOwnSize(std::get<qrn::ImageHandle>(*made), own);
        else
            QRN_LOG_ERROR("Filter " + std::to_string(i) + " gave no image");
    }
    return result;
}

void editViewClass::applyFilter(std::optional<bool> displayValue, int index, const filterValuesEntry& values,
                                bool videoLayer, bool exportData) {
    QRN_LOG_IN(LogValues{{"index", index}, {"videoLayer", videoLayer}, {"exportData", exportData}});
    filterClass filters;
    previewLayerClass model;
    if (index < 0)
        return;
    const size_t i = size_t(index);
    const bool hasValues = !values.empty() && !values[0].isEmpty();
    if (videoLayer) {
        auto flags = filters.getVideoFilter();
        if (hasValues) {
            auto stored = filters.getVideoFilterValues();
            if (i < stored.size() && stored[i] && !stored[i]->empty()) {
                if (stored[i]->front().isImage())
                    stored[i] = filterValuesEntry{stored[i]->front(), values[0]};
                else
                    stored[i] = values;
                filters.setVideoFilterValues(stored);
            }
        }
        if (displayValue && i < flags.size())
            flags[i] = *displayValue;
        if (!flags.empty())
            filters.setVideoFilter(flags);
        if (exportData && globalAppSettingsClass().getSaveOnUserAction())
            persistentDataStorageClass().exportData(false);
        if (flags.empty())
            return;
        // While the studio shows, its own camera view is the one on screen.
        recordViewClass studio;
        const auto video = studio.getRecordViewSelected() ? studio.getVideoView() : model.getVideoLayerView();
        if (video && video->layer())
            video->layer()->setContentFilters(
                getFiltersArrayOrFilteredImage(nullptr, true, std::nullopt, std::nullopt).filters);
        return;
    }
    if (!model.getSelectedLayer())
        return;
    const size_t a = size_t(model.getSelectedAssetIndex());
    const int l = model.getSelectedLayerIndex(false);
    // One layer's entries change: the tables are edited in place (an opened project applies
    // the filters of every layer in turn).
    const auto tables = filterClass::layerFilterRows();
    auto& flags = tables.flags;
    if (l < 0 || a >= flags.size() || size_t(l) >= flags[a].size())
        return;
    if (hasValues) {
        auto& stored = tables.values;
        if (a < stored.size() && size_t(l) < stored[a].size()) {
            auto& entries = stored[a][size_t(l)];
            if (entries.size() <= i)
                entries.resize(i + 1);
            entries[i] = values;
        }
    }
    if (displayValue && i < flags[a][size_t(l)].size())
        flags[a][size_t(l)][i] = *displayValue;
    if (exportData && globalAppSettingsClass().getSaveOnUserAction())
        persistentDataStorageClass().exportData(false);
    model.reapplyLayerFilters(int(a), l);
}
