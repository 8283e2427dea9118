#include "Filters/filterServices.h"

namespace {

// Keeps the video's filter flags and values in the filter model; with no workspace there is no
// selected layer and no view to refresh.
class standInEditingHost : public filterEditingHost {
  public:
    void applyFilter(bool display, int index, const filterValuesEntry& VALUES_ARRAY, bool videoLayerSelected,
                     bool) override {
        if (!videoLayerSelected || index < 0)
            return;
        auto flags = filterClass().getVideoFilter();
        auto values = filterClass().getVideoFilterValues();
        const auto i = static_cast<std::size_t>(index);
        if (i >= flags.size() || i >= values.size())
            return;
        flags[i] = display;
        if (!VALUES_ARRAY.empty() && !VALUES_ARRAY[0].isEmpty())
            values[i] = VALUES_ARRAY;
        filterClass().setVideoFilter(flags);
        filterClass().setVideoFilterValues(values);
    }
    filterValuesArray getLayerFilterValues(bool videoSelected) override {
        return videoSelected ? filterClass().getVideoFilterValues() : filterValuesArray{};
    }
    bool isVideoLayerSelected() override { return false; }
    bool isLayerSelected() override { return false; }
};

std::shared_ptr<filterEditingHost> registeredHost;
std::shared_ptr<colourPanel> registeredColourPanel;

} // namespace

void setFilterEditingHost(std::shared_ptr<filterEditingHost> host) {
    registeredHost = std::move(host);
}

filterEditingHost& filterEditing() {
    static standInEditingHost standIn;
    return registeredHost ? *registeredHost : standIn;
}

std::optional<filterValuesEntry> storedFilterEntry(const std::string& name, bool videoSelected) {
    const auto id = filterClass().filterIndex(name);
    const filterValuesArray values = filterEditing().getLayerFilterValues(videoSelected);
    if (!id || static_cast<std::size_t>(*id) >= values.size())
        return std::nullopt;
    return values[*id];
}

void setSharedColourPanel(std::shared_ptr<colourPanel> panel) {
    registeredColourPanel = std::move(panel);
}

std::shared_ptr<colourPanel> sharedColourPanel() {
    return registeredColourPanel;
}
