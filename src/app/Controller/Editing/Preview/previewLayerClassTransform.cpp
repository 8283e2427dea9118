// Turning, flipping and re-framing layer views.
#include "Controller/Editing/Preview/previewLayerClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "platform/ui/view.h"

namespace {

std::shared_ptr<qrn::ui::View> layerViewAt(previewLayerClass& model, int a, int l) {
    const auto configuration = model.getConfiguration();
    const auto& layers = model.getLayerArrayReference();
    if (!configuration || !configuration->layerContainerView || size_t(a) >= layers.size() ||
        size_t(l) >= layers[size_t(a)].size())
        return nullptr;
    auto tagged = configuration->layerContainerView->viewWithTag(std::stoi(layers[size_t(a)][size_t(l)]));
    return tagged ? tagged->superview() : nullptr;
}

} // namespace

void previewLayerClass::rotateLayer(qrn::ui::View& view, double angleR) {
    QRN_LOG_IN(LogValues{{"angleR", angleR}});
    view.setFrameCenterRotation(angleR * 360 / 6.283185307179586);
}

bool previewLayerClass::checkIfLayerIsFlipped(
    bool horizontal, const std::optional<layerAssetIndexAndVideoSelectedArray>& layer) {
    QRN_LOG_IN(LogValues{{"horizontal", horizontal}});
    const auto resolved = layerAssetIndexAndVideoSelectedParameterValues(layer);
    const size_t flag = horizontal ? 0 : 1;
    if (resolved.videoSelected) {
        const auto flips = getVideoIsFlippedArray();
        return flag < flips.size() && flips[flag];
    }
    const auto& all = layerRows().flips;
    const size_t a = size_t(resolved.assetIndex), l = size_t(resolved.layerIndex.value_or(-1));
    if (!resolved.layerIndex || a >= all.size() || l >= all[a].size())
        return false;
    return flag < all[a][l].size() && all[a][l][flag];
}

void previewLayerClass::mirrorLayerCheck(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                         const std::shared_ptr<qrn::graphics::Layer>& target) {
    QRN_LOG_IN(std::nullopt);
    const auto resolved = layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (!resolved.videoSelected && !resolved.layerIndex)
        return;
    auto backing = target;
    if (!backing) {
        if (resolved.videoSelected) {
            backing = getVideoLayerView()->layer();
        } else if (auto view = layerViewAt(*this, resolved.assetIndex, *resolved.layerIndex)) {
            backing = view->layer();
        }
    }
    if (!backing)
        return;
    auto t = backing->transform();
    if (checkIfLayerIsFlipped(true, layer))
        t.c = -t.c, t.d = -t.d;
    if (checkIfLayerIsFlipped(false, layer))
        t.a = -t.a, t.b = -t.b;
    backing->setTransform(t);
}

void previewLayerClass::resizeCorrectionForSingleLayer(
    const std::optional<std::vector<double>>& values,
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer, bool fromUndo) {
    QRN_LOG_IN(std::nullopt);
    const auto resolved = layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (resolved.videoSelected || !resolved.layerIndex)
        return;
    const size_t a = size_t(resolved.assetIndex), l = size_t(*resolved.layerIndex);
    const auto stored = getSingleLayerOriginSizeArray(layer);
    if (stored.size() < 4 || !layerViewAt(*this, int(a), int(l)))
        return;
    std::vector<double> applied =
        values.value_or(std::vector<double>{stored[2], stored[3], layerRows().rotations[a][l]});
    const layerAssetIndexAndVideoSelectedArray address{false, int(a), int(l)};
    resizeOrRotateLayer(false, applied, false, address, false, fromUndo, true, true, 0, 0, false, true);
}
