#include "Controller/Global/orderLayersClass.h"

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/globalAppSettingsClass.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"

namespace {

using ViewPtr = orderLayersClass::ViewPtr;

int positionOf(const std::vector<std::string>& row, const std::optional<std::string>& id) {
    if (!id)
        return -1;
    auto it = std::find(row.begin(), row.end(), *id);
    return it == row.end() ? -1 : int(it - row.begin());
}

ViewPtr taggedSuperview(const ViewPtr& in, int tag) {
    if (!in)
        return nullptr;
    auto tagged = in->viewWithTag(tag);
    return tagged ? tagged->superview() : nullptr;
}

constexpr int firstGroupTag = -9;
constexpr int lastGroupTag = -13;

// An empty view holding only the group's tag; the group's layers stand directly above it. It
// draws nothing, so it has no layer of its own: every slide tile of a deck holds one.
ViewPtr groupMarkerView(int tag) {
    auto parent = qrn::ui::View::makePlaceHolder();
    parent->addSubview(qrn::ui::TextField::makeMarker(tag));
    return parent;
}

ViewPtr layerViewOf(const ViewPtr& in, const std::string& id) {
    return taggedSuperview(in, std::stoi(id));
}

std::optional<std::string> backgroundOf(const std::vector<std::optional<std::string>>& backgroundIds, int i) {
    if (i < 1 || size_t(i - 1) >= backgroundIds.size())
        return std::nullopt;
    return backgroundIds[size_t(i - 1)];
}

} // namespace

void orderLayersClass::addParentOrderViews(const ViewPtr& previewView, bool beforeVideo) {
    QRN_LOG_IN(LogValues{{"beforeVideo", beforeVideo}});
    const std::vector<int> tags = beforeVideo ? std::vector<int>{-9, -10, -11} : std::vector<int>{-12, -13};
    for (int tag : tags)
        previewView->addSubview(groupMarkerView(tag));
}

orderLayersClass::ViewPtr orderLayersClass::stackingViewIn(const ViewPtr& in, int tag) {
    if (!in)
        return nullptr;
    if (auto found = taggedSuperview(in, tag))
        return found;
    if (tag > firstGroupTag || tag < lastGroupTag)
        return nullptr;
    // Groups stack -9 at the bottom to -13 at the top, each group's layers right above its
    // marker: the new marker goes below the first marker of a later group, else on top.
    auto marker = groupMarkerView(tag);
    for (const auto& view : in->subviews()) {
        const auto& inside = view->subviews();
        const auto later = inside.size() == 1 ? inside.front()->tag() : std::nullopt;
        if (later && *later < tag && *later >= lastGroupTag) {
            in->addSubview(marker, qrn::ui::Ordering::Below, view.get());
            return marker;
        }
    }
    in->addSubview(marker);
    return marker;
}

std::string orderLayersClass::returnParentOrderView(int layerType, bool aboveVideo) {
    QRN_LOG_IN(LogValues{{"layerType", layerType}, {"aboveVideo", aboveVideo}});
    if (layerType == 0)
        return "-9";
    if (layerType == 1)
        return aboveVideo ? "-12" : "-10";
    return aboveVideo ? "-13" : "-11";
}

std::string
orderLayersClass::findPreviousLayerInSameAsset(int i, int j, int layerType, const layerRows& insertedLayers,
                                               bool aboveVideo,
                                               const std::vector<std::optional<std::string>>& firstAboveVideo,
                                               const std::vector<std::optional<std::string>>& backgroundIds) {
    QRN_LOG_IN(LogValues{{"i", i}, {"j", j}, {"layerType", layerType}, {"aboveVideo", aboveVideo}});
    const std::string parent = returnParentOrderView(layerType, aboveVideo);
    if (layerType == 1) {
        const auto& sticky = insertedLayers[0];
        if (!aboveVideo)
            return (j < 1 || size_t(j) > sticky.size()) ? parent : sticky[size_t(j - 1)];
        const int k = positionOf(sticky, firstAboveVideo.empty() ? std::nullopt : firstAboveVideo[0]);
        if (k < 0 || k >= j)
            return parent;
        return sticky[size_t(j - 1)];
    }
    const auto& row = insertedLayers[size_t(i)];
    const auto background = backgroundOf(backgroundIds, i);
    if (layerType == 0) {
        const int k = positionOf(row, background);
        return (k >= 0 && k < j) ? *background : parent;
    }
    int k0 = 0;
    if (aboveVideo) {
        k0 = positionOf(row, size_t(i) < firstAboveVideo.size() ? firstAboveVideo[size_t(i)] : std::nullopt);
        if (k0 < 0 || k0 == j)
            return parent;
    }
    for (int k = j - 1; k >= k0; --k) {
        if (background && row[size_t(k)] == *background)
            continue;
        return row[size_t(k)];
    }
    return parent;
}

void orderLayersClass::insertLayerViewInOrder(const ViewPtr& previewView, const ViewPtr& layerView, int i,
                                              int j, int layerType, bool aboveVideo) {
    QRN_LOG_IN(LogValues{{"i", i}, {"j", j}});
    previewLayerClass model;
    const std::string anchorTag =
        findPreviousLayerInSameAsset(i, j, layerType, model.getLayerArray(), aboveVideo,
                                     model.getFirstLayerAboveVideoArray(), model.getAssetBackgroundIDArray());
    auto anchor = taggedSuperview(previewView, std::stoi(anchorTag));
    if (layerView->superviewPointer())
        layerView->removeFromSuperview();
    previewView->addSubview(layerView, qrn::ui::Ordering::Above, anchor.get());
}

std::vector<ViewPtr> orderLayersClass::returnAllLayersBeforeOrAfterVideo(bool beforeVideo, int i,
                                                                         const layerRows& insertedLayers) {
    QRN_LOG_IN(LogValues{{"beforeVideo", beforeVideo}, {"i", i}});
    previewLayerClass model;
    const auto& first = model.getFirstLayerAboveVideoArray();
    const auto& row = insertedLayers[size_t(i)];
    const int k = positionOf(row, size_t(i) < first.size() ? first[size_t(i)] : std::nullopt);
    int from = 0, to = int(row.size());
    if (k >= 0)
        (beforeVideo ? to : from) = k;
    else if (!beforeVideo)
        return {};
    const auto background = backgroundOf(model.getAssetBackgroundIDArray(), i);
    const auto configuration = model.getConfiguration();
    const ViewPtr preview = configuration ? configuration->layerContainerView : nullptr;
    std::vector<ViewPtr> views;
    for (int p = from; p < to; ++p) {
        if (background && row[size_t(p)] == *background)
            continue;
        if (auto view = layerViewOf(preview, row[size_t(p)]))
            views.push_back(std::move(view));
    }
    return views;
}

std::vector<ViewPtr> orderLayersClass::orderedLayersBeforeOrAfterVideo(bool beforeVideo, int i,
                                                                       const layerRows& insertedLayers) {
    QRN_LOG_IN(LogValues{{"beforeVideo", beforeVideo}, {"i", i}});
    std::vector<ViewPtr> result;
    const auto append = [&result](std::vector<ViewPtr> views) {
        result.insert(result.end(), views.begin(), views.end());
    };
    for (const auto& name : globalAppSettingsClass().getLayersZPosOrder()) {
        if (name == "sticky") {
            if (!insertedLayers.empty() && !insertedLayers[0].empty())
                append(returnAllLayersBeforeOrAfterVideo(beforeVideo, 0, insertedLayers));
        } else if (name == "regular") {
            if (size_t(i) < insertedLayers.size() && !insertedLayers[size_t(i)].empty())
                append(returnAllLayersBeforeOrAfterVideo(beforeVideo, i, insertedLayers));
        } else if (beforeVideo && i >= 1) {
            previewLayerClass model;
            if (auto background = backgroundOf(model.getAssetBackgroundIDArray(), i)) {
                const auto configuration = model.getConfiguration();
                if (auto view =
                        layerViewOf(configuration ? configuration->layerContainerView : nullptr, *background))
                    result.push_back(std::move(view));
            }
        }
    }
    return result;
}

std::vector<ViewPtr> orderLayersClass::fillSelectedAssetOrderedLayerArray(int i,
                                                                          const layerRows& insertedLayers) {
    QRN_LOG_IN(LogValues{{"i", i}});
    auto result = orderedLayersBeforeOrAfterVideo(true, i, insertedLayers);
    result.push_back(previewLayerClass().getVideoLayerView());
    auto above = orderedLayersBeforeOrAfterVideo(false, i, insertedLayers);
    result.insert(result.end(), above.begin(), above.end());
    return result;
}

bool orderLayersClass::hideLayer(int hideAllLayers, int i) {
    switch (hideAllLayers) {
    case 0:
        return true;
    case 1:
        return i >= 2;
    case 2:
        return i != previewLayerClass().getSelectedAssetIndex();
    default:
        return false;
    }
}

ViewPtr orderLayersClass::addAssetLayersToNewPreview(int i, int j, const ViewPtr& oldPreview,
                                                     const ViewPtr& newPreview, const layerRows& layers,
                                                     int orderingViewTag, int hideAllLayers,
                                                     const std::optional<std::string>& skipId) {
    QRN_LOG_IN(LogValues{{"i", i}, {"j", j}, {"orderingViewTag", orderingViewTag}});
    const auto& first = previewLayerClass().getFirstLayerAboveVideoArray();
    const auto& row = layers[size_t(j)];
    // The first layer above the camera is looked up in the whole row: when it is the skipped
    // background, the layers after it are still above the camera.
    const int k = positionOf(row, size_t(j) < first.size() ? first[size_t(j)] : std::nullopt);
    int from = 0, to = int(row.size());
    if (k >= 0)
        (i == 0 ? to : from) = k;
    else if (i == 1)
        return newPreview;
    const bool hidden = hideLayer(hideAllLayers, j);
    for (int p = to - 1; p >= from; --p) {
        if (skipId && row[size_t(p)] == *skipId)
            continue;
        auto view = layerViewOf(oldPreview, row[size_t(p)]);
        auto anchor = taggedSuperview(newPreview, orderingViewTag);
        if (!view)
            continue;
        view->setHidden(hidden);
        newPreview->addSubview(view, qrn::ui::Ordering::Above, anchor.get());
    }
    return newPreview;
}

void orderLayersClass::addLayersInOrderToPreview(const ViewPtr& oldPreview, const ViewPtr& newPreview,
                                                 const std::vector<std::string>& assets,
                                                 const layerRows& layers, int hideAllLayers) {
    QRN_LOG_IN(LogValues{{"hideAllLayers", hideAllLayers}});
    const auto& backgrounds = previewLayerClass().getAssetBackgroundIDArray();
    auto bg = taggedSuperview(newPreview, -9);
    if (layers.size() >= 2) {
        for (size_t a = 1; a < layers.size(); ++a) {
            auto container = taggedSuperview(oldPreview, std::stoi(assets[a]) + 1);
            if (!container)
                continue;
            container->setHidden(hideLayer(hideAllLayers, int(a)));
            newPreview->addSubview(container, qrn::ui::Ordering::Below, bg.get());
        }
    }
    for (const auto& name : globalAppSettingsClass().getLayersZPosOrder()) {
        if (name == "background") {
            for (size_t e = 0; e < backgrounds.size(); ++e) {
                if (!backgrounds[e])
                    continue;
                auto view = layerViewOf(oldPreview, *backgrounds[e]);
                if (!view)
                    continue;
                view->setHidden(hideLayer(hideAllLayers, int(e) + 1));
                newPreview->addSubview(view, qrn::ui::Ordering::Above, bg.get());
            }
        } else if (name == "sticky") {
            addAssetLayersToNewPreview(0, 0, oldPreview, newPreview, layers, -10, hideAllLayers);
            addAssetLayersToNewPreview(1, 0, oldPreview, newPreview, layers, -12, hideAllLayers);
        } else {
            for (int side = 0; side <= 1; ++side)
                for (size_t a = 1; a < layers.size(); ++a)
                    addAssetLayersToNewPreview(side, int(a), oldPreview, newPreview, layers,
                                               side == 0 ? -11 : -13, hideAllLayers,
                                               backgroundOf(backgrounds, int(a)));
        }
    }
}

void orderLayersClass::addLayersToAssetPreview(int index, const ViewPtr& assetPreview,
                                               const std::vector<std::vector<ViewPtr>>& viewLists) {
    QRN_LOG_IN(LogValues{{"index", index}});
    if (size_t(index) >= viewLists.size())
        return;
    for (const auto& view : viewLists[size_t(index)]) {
        view->setHidden(false);
        assetPreview->addSubview(view);
    }
}
