#include "Controller/Global/filterOrderedListClass.h"

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Filters/filterServices.h"
#include "View/Global/flippedView.h"
#include "View/Global/svgIconView.h"
#include "platform/foundation/colour.h"
#include "platform/ui/image_view.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"

namespace {

// One slot per filter id; a panel that went away leaves its slot to expire.
std::vector<std::weak_ptr<qrn::ui::ViewController>> viewControllerReferenceArray;

const qrn::Rect checkboxFrame(60, 10, 30, 30);

// A row keeps its settings panel's controller for as long as the row is shown.
class filterRowView : public flippedView {
  public:
    using flippedView::flippedView;
    qrn::ui::ViewControllerPtr panelController;
};

qrn::Colour named(const std::string& name) {
    return qrn::namedColour(name, true).value_or(qrn::Colour::black());
}

std::shared_ptr<svgIconView> makeCheckbox(bool on) {
    auto icon = svgIconClass::make();
    icon->setIsButtonEnabled(false);
    auto view =
        svgIconView::createIconView(icon, icon->defaultColourPalletIndex(),
                                    on ? "checkbox_enabled" : "checkbox_disabled", 0, checkboxFrame, 80);
    icon->setImageView(view);
    if (on)
        icon->keepChangedColour(true);
    return view;
}

// The flags and order as a list can show them: missing flags are off, and an order that is not
// an arrangement of every filter id is the plain order.
std::pair<std::vector<bool>, std::vector<int>> usableFlagsAndOrder(std::vector<bool> flags,
                                                                   std::vector<int> order, size_t count) {
    flags.resize(count, false);
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    bool permutation = sorted.size() == count;
    for (size_t i = 0; permutation && i < count; ++i)
        permutation = sorted[i] == int(i);
    if (!permutation) {
        order.resize(count);
        for (size_t i = 0; i < count; ++i)
            order[i] = int(i);
    }
    return {flags, order};
}

std::optional<int> tagFieldTag(const qrn::ui::View& row) {
    for (const auto& subview : row.subviews())
        if (std::dynamic_pointer_cast<qrn::ui::Marker>(subview))
            return subview->tag();
    return std::nullopt;
}

} // namespace

std::pair<std::optional<int>, std::optional<std::string>>
filterOrderedListClass::filterIconNames(std::optional<int> filterIndex, std::optional<std::string> name) {
    QRN_LOG_IN(LogValues{{"index", filterIndex ? qrn::Value(*filterIndex) : qrn::Value()},
                         {"name", name ? qrn::Value(*name) : qrn::Value()}});
    const auto filters = filterClass().getFilterString();
    if (filterIndex) {
        if (*filterIndex >= 0 && size_t(*filterIndex) < filters.size())
            return {filterIndex, filters[size_t(*filterIndex)]};
        return {filterIndex, std::nullopt};
    }
    if (name) {
        const auto found = std::find(filters.begin(), filters.end(), *name);
        if (found != filters.end())
            return {int(found - filters.begin()), name};
    }
    return {std::nullopt, name};
}

std::shared_ptr<qrn::ui::ScrollView>
filterOrderedListClass::constructOrderedList(const std::shared_ptr<qrn::ui::View>& mainView,
                                             bool videoLayerSelected) {
    QRN_LOG_IN(LogValues{{"mainView", mainView != nullptr}, {"videoLayerSelected", videoLayerSelected}});
    filterClass filters;
    filters.setFiltersForVideo(videoLayerSelected);
    const qrn::Size size = mainView ? mainView->bounds().size : qrn::Size{};
    std::vector<bool> flags;
    std::vector<int> order;
    if (videoLayerSelected) {
        flags = filters.getVideoFilter();
        order = filters.getVideoFilterOrder();
    } else {
        previewLayerClass model;
        const int a = model.getSelectedAssetIndex();
        const int l = model.getSelectedLayer() ? model.getSelectedLayerIndex(false) : -1;
        const auto allFlags = filters.getLayerFilter();
        const auto allOrders = filters.getLayerFilterOrder();
        if (model.getVideoLayerSelected() || l < 0 || a < 0 || size_t(a) >= allFlags.size() ||
            size_t(l) >= allFlags[size_t(a)].size())
            return qrn::ui::ScrollView::make();
        flags = allFlags[size_t(a)][size_t(l)];
        if (size_t(a) < allOrders.size() && size_t(l) < allOrders[size_t(a)].size())
            order = allOrders[size_t(a)][size_t(l)];
    }
    auto scrollView = qrn::ui::ScrollView::make(qrn::Rect(0, 0, size.width, size.height));
    scrollView->setAutoresizingMask(qrn::ui::HeightSizable);
    scrollView->setIdentifier(videoLayerSelected ? "true" : "false");
    scrollView->setHasVerticalScroller(true);
    scrollView->setHasHorizontalScroller(false);
    if (flags.empty())
        return scrollView;

    const auto names = filters.getFilterString();
    const size_t count = names.size();
    std::tie(flags, order) = usableFlagsAndOrder(std::move(flags), std::move(order), count);
    std::vector<std::shared_ptr<qrn::ui::View>> panels(count);
    std::vector<qrn::ui::ViewControllerPtr> controllers(count);
    std::vector<double> top(count), height(count);
    // A list narrower than a whole panel (the camera's own window) narrows its panels to fit.
    const double width = size.width > 2 * rowHeight ? std::min(panelWidth, size.width - rowHeight) : panelWidth;
    double total = 0;
    for (size_t i = 0; i < count; ++i) {
        controllers[i] = qrn::ui::SceneRegistry::instantiateViewController(names[i]);
        panels[i] = controllers[i] ? controllers[i]->view() : qrn::ui::View::make();
        const double panelHeight = panels[i]->frame().height();
        top[i] = total;
        height[i] = flags[i] ? rowHeight + panelHeight : rowHeight;
        panels[i]->setFrame(qrn::Rect(rowHeight, rowHeight, width, panelHeight));
        total += height[i];
    }
    auto document = std::make_shared<flippedView>(qrn::Rect(0, 0, size.width, total));
    scrollView->setDocumentView(document);

    for (size_t i = 0; i < count; ++i) {
        auto row =
            std::make_shared<filterRowView>(qrn::Rect(0, top[size_t(order[i])], size.width, height[i]));
        row->panelController = controllers[i];
        auto layer = row->layer();
        layer->setZPosition(2);
        layer->setBackgroundColour(named("background_colour_dark_dark"));
        layer->setBorderWidth(1.0);
        layer->setBorderColour(named("border_colour_light_dark"));

        auto tagField = qrn::ui::TextField::makeMarker(-2 - int(i));
        row->addSubview(tagField);
        row->addSubview(makeCheckbox(flags[i]));
        auto area =
            std::make_shared<filterOrderedListSelectionArea>(qrn::Rect(rowHeight, 0, width, rowHeight));
        area->layer()->setZPosition(1);
        area->filterForVideo = videoLayerSelected;
        row->addSubview(area);
        auto handle = std::make_shared<filterOrderedListDraggableItemView>(
            qrn::Rect(0, 0, rowHeight, rowHeight + panels[i]->frame().height()));
        handle->layer()->setBackgroundColour(named("background_colour_dark_dark"));
        auto icon = svgIconClass::make();
        icon->setIsButtonEnabled(false);
        auto iconView = svgIconView::createIconView(icon, icon->defaultColourPalletIndex(), names[i], 0,
                                                    qrn::Rect(10, 10, 30, 30), 80);
        icon->setImageView(iconView);
        handle->addSubview(iconView);
        row->addSubview(handle);
        panels[i]->setAlphaValue(flags[i] ? 1.0 : 0.0);
        row->addSubview(panels[i]);
        document->addSubview(row);
    }
    scrollView->setFrame(qrn::Rect(0, 0, size.width, size.height));
    QRN_LOG_OUT(LogValues{{"scrollView", int(count)}});
    return scrollView;
}

void filterOrderedListClass::setViewControllerReferenceArray(
    const std::shared_ptr<qrn::ui::ViewController>& viewController, bool dismissViewController) {
    QRN_LOG_IN(LogValues{{"viewController", viewController ? viewController->identifier() : std::string()},
                         {"dismissViewController", dismissViewController}});
    if (!viewController)
        return;
    const auto [id, name] = filterIconNames(std::nullopt, viewController->identifier());
    if (!id)
        return;
    const size_t count = filterClass().getFilterString().size();
    if (viewControllerReferenceArray.empty())
        viewControllerReferenceArray.resize(count);
    if (size_t(*id) >= viewControllerReferenceArray.size())
        return;
    auto& slot = viewControllerReferenceArray[size_t(*id)];
    if (!dismissViewController)
        slot = viewController;
    else if (slot.lock() == viewController)
        slot.reset();
}

std::vector<std::weak_ptr<qrn::ui::ViewController>>
filterOrderedListClass::getViewControllerReferenceArray() {
    return viewControllerReferenceArray;
}

void filterOrderedListClass::orderFilter(const void*, const void*, const void*, const void*) {
    QRN_LOG_IN();
}

void filterOrderedListClass::applyFilter(const std::shared_ptr<qrn::ui::View>& filterView,
                                         bool filterForVideo) {
    QRN_LOG_IN(LogValues{{"filterView", filterView != nullptr}, {"filterForVideo", filterForVideo}});
    if (!filterView || filterView->subviews().empty())
        return;
    const auto tag = tagFieldTag(*filterView);
    auto* document = filterView->superviewPointer();
    if (!tag || !document)
        return;
    // The drag handle names the filter by its icon.
    std::optional<int> filterId;
    for (const auto& subview : filterView->subviews())
        if (std::dynamic_pointer_cast<filterOrderedListDraggableItemView>(subview) &&
            !subview->subviews().empty() && !subview->subviews().front()->subviews().empty())
            if (auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(
                    subview->subviews().front()->subviews().front()))
                filterId = filterIconNames(std::nullopt, picture->imageName()).first;
    if (!filterId)
        return;
    const int n = int(document->subviews().size());
    const auto& panel = filterView->subviews().back();
    const double panelHeight = panel->frame().height();
    const bool on = panel->alphaValue() == 0;
    panel->setAlphaValue(on ? 1.0 : 0.0);
    const double delta = on ? panelHeight : -panelHeight;
    qrn::Rect frame = filterView->frame();
    frame.size.height = on ? panelHeight + rowHeight : rowHeight;
    filterView->setFrame(frame);
    for (const auto& row : document->subviews()) {
        const auto rowTag = tagFieldTag(*row);
        if (rowTag && *rowTag <= *tag - 1 && *rowTag >= -(n + 1)) {
            qrn::Rect moved = row->frame();
            moved.origin.y += delta;
            row->setFrame(moved);
        }
    }
    qrn::Rect documentFrame = document->frame();
    documentFrame.size.height += delta;
    document->setFrame(documentFrame);
    for (const auto& subview : filterView->subviews())
        if (std::dynamic_pointer_cast<svgIconView>(subview) && !subview->subviews().empty() &&
            std::dynamic_pointer_cast<qrn::ui::ImageView>(subview->subviews().front())) {
            filterView->replaceSubview(subview.get(), makeCheckbox(on));
            break;
        }
    filterEditing().applyFilter(on, *filterId, filterValuesEntry{qrn::Value()}, filterForVideo, true);
}

void filterOrderedListClass::resetForTesting() {
    viewControllerReferenceArray.clear();
}

void filterOrderedListSelectionArea::mouseDown(const qrn::ui::Event&) {
    if (!filterForVideo)
        return;
    if (auto* row = superviewPointer())
        filterOrderedListClass().applyFilter(row->shared_from_this(), *filterForVideo);
}

void filterOrderedListDraggableItemView::mouseDown(const qrn::ui::Event&) {
    filterOrderedListClass().orderFilter(this, nullptr, nullptr, nullptr);
}
