// A layer's filters on screen. Every view of a layer filters what it shows as it is drawn: its
// picture in the preview (which the studio borrows and the movie draws) and each thumbnail copy.
// A picture handed to a view later (a sharper decode after a resize or a move in the layer list,
// a picture that arrives after an opening) is then filtered too, and a layer brought back by
// Undo, Redo, a copy or an opening gets its filters from the same place as one set in the pane.
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "platform/imaging/picture_reader.h"
#include "platform/ui/image_view.h"
#include "platform/ui/view.h"

namespace {

// Every view tagged id below root, depth first.
void collectTagged(const std::shared_ptr<qrn::ui::View>& root, int id,
                   std::vector<std::shared_ptr<qrn::ui::View>>& found) {
    for (auto& view : root->viewsWithTag(id))
        if (view != root)
            found.push_back(std::move(view));
}

void install(qrn::ui::View& view, const std::vector<qrn::graphics::ContentFilterPtr>& filters) {
    // A layer that never had filters is left as it is, not marked for drawing again.
    if (!filters.empty() || !view.layer()->contentFilters().empty())
        view.layer()->setContentFilters(filters);
}

} // namespace

std::vector<qrn::graphics::ContentFilterPtr> previewLayerClass::layerContentFilters(int a, int l) {
    return editViewClass().getFiltersArrayOrFilteredImage(nullptr, false, std::nullopt, l, a).filters;
}

void previewLayerClass::reapplyLayerFilters(int a, int l) {
    QRN_LOG_IN(LogValues{{"assetIndex", a}, {"layerIndex", l}});
    const auto& layers = getLayerArrayReference();
    if (a < 0 || size_t(a) >= layers.size() || l < 0 || size_t(l) >= layers[size_t(a)].size())
        return;
    const int id = std::stoi(layers[size_t(a)][size_t(l)]);
    const auto list = layerContentFilters(a, l);
    const auto configuration = getConfiguration();
    auto tagged = configuration && configuration->layerContainerView
                      ? configuration->layerContainerView->viewWithTag(id)
                      : nullptr;
    auto container = tagged ? tagged->superview() : nullptr;
    if (container && container->subviews().size() > 1) {
        auto& content = *container->subviews()[1];
        // Filters count in the picture's own pixels. An opened project's entries hold no
        // picture, so they learn its size from the one the layer shows.
        if (auto* picture = dynamic_cast<qrn::ui::ImageView*>(&content);
            picture && !picture->image().isNull())
            for (const auto& filter : list)
                if (filter->ownSize().isEmpty())
                    filter->setOwnSize(qrn::imaging::ownPictureSize(picture->image()));
        install(content, list);
    }
    // Every thumbnail copy: a sticky layer has one in each tile.
    editViewClass edit;
    std::vector<std::shared_ptr<qrn::ui::View>> copies;
    if (auto strip = edit.getAssetHorizontalScrollView())
        collectTagged(strip, id, copies);
    if (const auto screen = edit.getConfiguration(); screen && screen->stickyAsset)
        collectTagged(screen->stickyAsset, id, copies);
    for (const auto& marker : copies)
        if (auto thumbnail = marker->superview())
            install(*thumbnail, list);
}
