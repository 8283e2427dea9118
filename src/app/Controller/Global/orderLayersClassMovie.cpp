// The order in which a composed movie draws the layers around the recorded camera picture.
#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Model/globalAppSettingsClass.h"
#include "platform/graphics/layer.h"
#include "platform/ui/view.h"

namespace {

void appendViewOf(const std::shared_ptr<qrn::ui::View>& preview, int tag,
                  const std::shared_ptr<qrn::graphics::Layer>& output) {
    auto tagged = preview ? preview->viewWithTag(tag) : nullptr;
    if (auto view = tagged ? tagged->superview() : nullptr)
        output->addSublayer(view->layer());
}

} // namespace

std::shared_ptr<qrn::graphics::Layer> orderLayersClass::addLayersInOrderToFinalMovieOutputLayer(
    const ViewPtr& previewView, const std::shared_ptr<qrn::graphics::Layer>& output,
    const std::vector<std::string>& assets, const layerRows& layers, bool beforeVideo) {
    if (!output)
        return output;
    if (beforeVideo)
        for (size_t a = 1; a < layers.size() && a < assets.size(); ++a)
            appendViewOf(previewView, std::stoi(assets[a]) + 1, output);
    const auto backgrounds = previewLayerClass().getAssetBackgroundIDArray();
    for (const auto& group : globalAppSettingsClass().getLayersZPosOrder()) {
        if (group == "background") {
            if (beforeVideo)
                for (const auto& id : backgrounds)
                    if (id)
                        appendViewOf(previewView, std::stoi(*id), output);
        } else if (group == "sticky") {
            addAssetLayersToMovieOutputLayer(previewView, output, layers, beforeVideo, 0);
        } else {
            for (size_t a = 1; a < layers.size(); ++a)
                addAssetLayersToMovieOutputLayer(previewView, output, layers, beforeVideo, int(a));
        }
    }
    return output;
}

std::shared_ptr<qrn::graphics::Layer>
orderLayersClass::addAssetLayersToMovieOutputLayer(const ViewPtr& previewView,
                                                   const std::shared_ptr<qrn::graphics::Layer>& output,
                                                   const layerRows& layers, bool beforeVideo, int i) {
    if (!output || i < 0 || size_t(i) >= layers.size())
        return output;
    const auto& row = layers[size_t(i)];
    const auto first = previewLayerClass().getFirstLayerAboveVideoArray();
    const auto backgrounds = previewLayerClass().getAssetBackgroundIDArray();
    const std::optional<std::string> background =
        i >= 1 && size_t(i - 1) < backgrounds.size() ? backgrounds[size_t(i - 1)] : std::nullopt;
    // The first layer above the camera is looked up in the whole row; the background is never
    // one of the asset's layers here, whatever its place.
    const std::optional<std::string> firstAbove = size_t(i) < first.size() ? first[size_t(i)] : std::nullopt;
    const auto found = firstAbove ? std::find(row.begin(), row.end(), *firstAbove) : row.end();
    size_t from = 0, to = 0;
    if (found != row.end()) {
        const size_t k = size_t(found - row.begin());
        from = beforeVideo ? 0 : k;
        to = beforeVideo ? k : row.size();
    } else if (beforeVideo) {
        to = row.size();
    }
    for (size_t l = from; l < to; ++l)
        if (row[l] != background)
            appendViewOf(previewView, std::stoi(row[l]), output);
    return output;
}
