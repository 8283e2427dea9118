// The studio shows the editing screen's own views: it borrows the asset thumbnails and the
// preview's layer views while it is open, and the editing screen takes them back here.
#include "Controller/Editing/editViewClass.h"

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/globalAppSettingsClass.h"
#include "platform/ui/view.h"

namespace {

editViewClass::studioHandBackHooks studioHooks;

// The view holding an asset's thumbnail views: the last subview of its tile. The sticky tile
// is found by its own id inside the sticky area, the others by id inside the strip.
std::shared_ptr<qrn::ui::View> thumbnailContainer(editViewClass& edit, size_t index, int id) {
    const auto configuration = edit.getConfiguration();
    const auto area = index == 0 ? (configuration ? configuration->stickyAsset : nullptr)
                                 : edit.getAssetHorizontalScrollView();
    const auto marker = area ? area->viewWithTag(id) : nullptr;
    const auto tile = marker ? marker->superview() : nullptr;
    if (!tile || tile->subviews().empty())
        return nullptr;
    return tile->subviews().back();
}

int idOf(const std::string& id) {
    try {
        return std::stoi(id);
    } catch (...) {
        return -1;
    }
}

} // namespace

std::vector<std::vector<editViewClass::ViewPtr>> editViewClass::getAllAssetPreviewLayers() {
    QRN_LOG_IN(std::nullopt);
    const auto assets = previewLayerClass().getAssetArray();
    std::vector<std::vector<ViewPtr>> all;
    all.reserve(assets.size());
    for (size_t i = 0; i < assets.size(); ++i) {
        const auto container = thumbnailContainer(*this, i, i == 0 ? 0 : idOf(assets[i]));
        all.push_back(container ? container->subviews() : std::vector<ViewPtr>{});
    }
    QRN_LOG_OUT(LogValues{{"ASSET_PREVIEW_LAYER_ARRAY", int(all.size())}});
    return all;
}

void editViewClass::removeAllLayersFromAssetPreviews() {
    QRN_LOG_IN(std::nullopt);
    const auto assets = previewLayerClass().getAssetArray();
    for (size_t i = 0; i < assets.size(); ++i)
        if (auto container = thumbnailContainer(*this, i, idOf(assets[i])))
            container->setSubviews({});
}

qrn::Rect editViewClass::getAssetPreviewBounds() {
    return qrn::Rect(0, 0, 108.58, 61.0);
}

void editViewClass::loadEditingView(const ViewPtr& previewLayer,
                                    const std::vector<std::vector<std::string>>& LAYER_ARRAY,
                                    const std::vector<std::vector<double>>& BACKGROUND_COLOUR_ARRAY) {
    QRN_LOG_IN(LogValues{{"previewLayer", previewLayer != nullptr},
                         {"LAYER_ARRAY", int(LAYER_ARRAY.size())},
                         {"BACKGROUND_COLOUR_ARRAY", int(BACKGROUND_COLOUR_ARRAY.size())}});
    const auto dragView = getDragView();
    if (!dragView)
        return;
    // What the preview still shows of the old views goes; the overlay and camera frame stay.
    const auto overlayMarker = dragView->viewWithTag(-5);
    const auto frameMarker = dragView->viewWithTag(-4);
    const auto overlay = overlayMarker ? overlayMarker->superview() : nullptr;
    const auto cameraFrame = frameMarker ? frameMarker->superview() : nullptr;
    const auto subviews = dragView->subviews();
    for (const auto& view : subviews)
        if (view != overlay && view != cameraFrame)
            view->removeFromSuperview();

    previewLayerClass model;
    model.reloadVideoPreview(false);
    const auto assets = model.getAssetArray();
    const auto layers = model.getLayerArray();
    if (previewLayer)
        orderLayersClass().addLayersInOrderToPreview(previewLayer, dragView, assets, layers, 2);

    auto lent = studioHooks.getAssetPreviewLayerArray ? studioHooks.getAssetPreviewLayerArray()
                                                      : std::vector<std::vector<ViewPtr>>{};
    for (size_t i = 0; i < assets.size(); ++i)
        if (auto container = thumbnailContainer(*this, i, i == 0 ? 0 : idOf(assets[i])))
            orderLayersClass().addLayersToAssetPreview(int(i), container, lent);
    const std::optional<qrn::Rect> from = studioHooks.returnNextAssetPreviewBounds
                                              ? std::optional(studioHooks.returnNextAssetPreviewBounds())
                                              : std::nullopt;
    resizeAndPositionLayersClass().resizeAndPositionAssetPreviewLayers(lent, from, getAssetPreviewBounds(),
                                                                       std::nullopt, std::nullopt);
    if (studioHooks.setAssetPreviewLayerArray)
        studioHooks.setAssetPreviewLayerArray({});

    afterOnThisScreen(0.1, [] {
        editViewClass().resizeAndPositionLayers(true);
        afterOnThisScreen(0.1, [] { editViewClass().resizeAndPositionLayers(false); });
    });
    correctScrollViewLayers();
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreensToFalseAfterDelay();
    QRN_LOG_OUT();
}

void editViewClass::correctScrollViewLayers() {
    QRN_LOG_IN(std::nullopt);
    const int selected = previewLayerClass().getSelectedAsset();
    const auto configuration = getConfiguration();
    const auto area = selected == 0 ? (configuration ? configuration->stickyAsset : nullptr)
                                    : getAssetHorizontalScrollView();
    const auto marker = area ? area->viewWithTag(selected) : nullptr;
    if (!marker)
        return;
    previewLayerClass model;
    // Showing the slide again selects its lowest layer, which on a slide with a backdrop is the
    // backdrop: the layer the presenter had selected before the studio is selected again.
    const auto kept = model.getSelectedLayer();
    const bool cameraKept = model.getVideoLayerSelected();
    model.selectAsset(marker->superview(), true, true, false, true);
    if (cameraKept && !model.getVideoLayerSelected()) {
        if (const auto camera = model.getVideoLayerView(); camera && !camera->isHidden())
            model.selectVideoLayer();
        return;
    }
    if (!kept || model.getSelectedLayer() == kept)
        return;
    const int a = model.getSelectedAssetIndex();
    const auto& layers = model.getLayerArrayReference();
    const std::string id = std::to_string(*kept);
    if (a < 0 || size_t(a) >= layers.size() ||
        std::find(layers[size_t(a)].begin(), layers[size_t(a)].end(), id) == layers[size_t(a)].end())
        return;
    const auto preview = model.getConfiguration();
    const auto tagged =
        preview && preview->layerContainerView ? preview->layerContainerView->viewWithTag(*kept) : nullptr;
    if (tagged && tagged->superview())
        model.layerSelected(tagged->superview());
}

void editViewClass::setStudioHandBackHooks(studioHandBackHooks hooks) {
    studioHooks = std::move(hooks);
}

const editViewClass::studioHandBackHooks& editViewClass::getStudioHandBackHooks() {
    return studioHooks;
}

void editViewClass::connectStudioHandBack() {
    studioHandBackHooks hooks;
    hooks.getRecordingView = [] { return recordViewClass().getRecordingView(); };
    hooks.getLayerArray = [] { return recordViewClass().getLayerArray(); };
    hooks.getBackgroundColourArray = [] { return recordViewClass().getBackgroundColourArray(); };
    hooks.getAssetPreviewLayerArray = [] { return recordViewClass().getAssetPreviewLayerArray(); };
    hooks.setAssetPreviewLayerArray = [](std::vector<std::vector<ViewPtr>> views) {
        recordViewClass().setAssetPreviewLayerArray(std::move(views));
    };
    hooks.returnNextAssetPreviewBounds = [] { return recordViewClass().returnNextAssetPreviewBounds(); };
    setStudioHandBackHooks(std::move(hooks));
    recordViewClass::setLoadEditingViewHook([] {
        const auto& studio = getStudioHandBackHooks();
        editViewClass().loadEditingView(studio.getRecordingView ? studio.getRecordingView() : nullptr,
                                        studio.getLayerArray ? studio.getLayerArray()
                                                             : std::vector<std::vector<std::string>>{},
                                        studio.getBackgroundColourArray ? studio.getBackgroundColourArray()
                                                                        : std::vector<std::vector<double>>{});
    });
}
