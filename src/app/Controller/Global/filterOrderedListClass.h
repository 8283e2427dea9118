#pragma once
// The filter list of the layer settings pane and of the studio's video settings: one row per
// filter (a drag handle with the filter's icon, a checkbox, a click area and the filter's own
// settings panel, shown while the filter is on). A click on a row switches its filter for the
// video or the selected layer. Also the registry of the filter panels that are loaded.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"

namespace qrn::ui {
class ScrollView;
}

class filterOrderedListClass {
  public:
    static constexpr double rowHeight = 50;
    static constexpr double panelWidth = 354;

    // (id, name): with an id its name in the filter list; without, the name's position.
    std::pair<std::optional<int>, std::optional<std::string>>
    filterIconNames(std::optional<int> filterIndex, std::optional<std::string> name);
    // The list for the video's filters or the selected layer's, sized to mainView; bare when a
    // layer list has no layer to show.
    std::shared_ptr<qrn::ui::ScrollView> constructOrderedList(const std::shared_ptr<qrn::ui::View>& mainView,
                                                              bool videoLayerSelected);
    // A filter panel registers itself while loaded (dismiss false) and unregisters (true).
    void setViewControllerReferenceArray(const std::shared_ptr<qrn::ui::ViewController>& viewController,
                                         bool dismissViewController);
    std::vector<std::weak_ptr<qrn::ui::ViewController>> getViewControllerReferenceArray();
    // Rows are not reordered by dragging; this only notes the call.
    void orderFilter(const void* a, const void* b, const void* c, const void* d);
    // Switches the row's filter on or off, moving the rows of the higher filter ids.
    void applyFilter(const std::shared_ptr<qrn::ui::View>& filterView, bool filterForVideo);

    static void resetForTesting();
};

// A row's click area: switches the row's filter for its list's target.
class filterOrderedListSelectionArea : public qrn::ui::View {
  public:
    using View::View;
    std::optional<bool> filterForVideo;
    void mouseDown(const qrn::ui::Event& event) override;
};

// A row's drag handle, showing the filter's icon.
class filterOrderedListDraggableItemView : public qrn::ui::View {
  public:
    explicit filterOrderedListDraggableItemView(const qrn::Rect& frame = {}) : View(frame) {
        setFlipped(true);
    }
    void mouseDown(const qrn::ui::Event& event) override;
};
