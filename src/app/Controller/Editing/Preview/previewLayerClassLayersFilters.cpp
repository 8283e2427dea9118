// A layer's filters on screen: a still picture is filtered once per change and kept in its image
// view; other pictures and every thumbnail copy filter live.
#include <QPainter>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
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

} // namespace

void previewLayerClass::reapplyLayerFilters(int a, int l) {
    QRN_LOG_IN(LogValues{{"assetIndex", a}, {"layerIndex", l}});
    const auto& layers = getLayerArrayReference();
    if (a < 0 || size_t(a) >= layers.size() || l < 0 || size_t(l) >= layers[size_t(a)].size())
        return;
    const int id = std::stoi(layers[size_t(a)][size_t(l)]);
    editViewClass edit;
    const auto list = edit.getFiltersArrayOrFilteredImage(nullptr, false, std::nullopt, l, a).filters;

    // The layer's own picture, as its filter entries hold it.
    qrn::ImageHandle original;
    const auto& values = filterClass::layerFilterRows().values;
    if (size_t(a) < values.size() && size_t(l) < values[size_t(a)].size())
        for (const auto& entry : values[size_t(a)][size_t(l)])
            if (entry && !entry->empty() && entry->front().isImage()) {
                original = entry->front().toImage();
                break;
            }
    const auto configuration = getConfiguration();
    auto tagged = configuration && configuration->layerContainerView
                      ? configuration->layerContainerView->viewWithTag(id)
                      : nullptr;
    auto container = tagged ? tagged->superview() : nullptr;
    auto content = container && container->subviews().size() > 1 ? container->subviews()[1] : nullptr;
    auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(content);
    // Filters drawn live count in the picture's own pixels. An opened project's entries hold no
    // picture, so they learn its size from the one the layer shows.
    if (picture && !picture->image().isNull())
        for (const auto& filter : list)
            if (filter->ownSize().isEmpty())
                filter->setOwnSize(qrn::imaging::ownPictureSize(picture->image()));
    // A moving picture keeps its frames and is filtered as it is drawn.
    if (picture && original && !picture->playsOnTimeline()) {
        const auto filtered = edit.getFiltersArrayOrFilteredImage(original, false, std::nullopt, l, a).image;
        // At the view's size in points, within the bounds of a view's picture (the view
        // stretches it to its size).
        const qrn::Size size = picture->frame().size;
        const double scale = qrn::ui::View::boundedPictureScale(size, 1);
        QImage drawn(scale > 0 ? std::max(1, int(size.width * scale)) : 1,
                     scale > 0 ? std::max(1, int(size.height * scale)) : 1,
                     QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, drawn.width(), drawn.height()), *filtered);
        painter.end();
        picture->setImage(drawn);
    } else if (content) {
        content->layer()->setContentFilters(list);
    }
    // Every thumbnail copy: a sticky layer has one in each tile.
    std::vector<std::shared_ptr<qrn::ui::View>> copies;
    if (auto strip = edit.getAssetHorizontalScrollView())
        collectTagged(strip, id, copies);
    if (const auto screen = edit.getConfiguration(); screen && screen->stickyAsset)
        collectTagged(screen->stickyAsset, id, copies);
    for (const auto& marker : copies)
        if (auto thumbnail = marker->superview())
            thumbnail->layer()->setContentFilters(list);
}
