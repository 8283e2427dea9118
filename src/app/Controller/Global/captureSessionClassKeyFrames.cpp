// The composed movie's layer tree: every asset's container and layer holder of the studio's
// recording view gets an opacity animation that shows it exactly while its asset was on screen,
// and their backing layers go, in z order around the camera picture, into one output layer.
#include <cstdlib>

#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/captureSessionClassTake.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "platform/graphics/animation.h"
#include "platform/graphics/layer.h"
#include "platform/ui/view.h"

namespace {

// The view that holds the tagged one: an asset's container or a layer's holder.
std::shared_ptr<qrn::ui::View> holderOf(const std::shared_ptr<qrn::ui::View>& preview, int tag) {
    auto tagged = preview ? preview->viewWithTag(tag) : nullptr;
    return tagged ? tagged->superview() : nullptr;
}

// A cut rather than a fade: the change takes this much of the movie.
constexpr double epsilon = 0.00000000001;

} // namespace

captureSessionClass::outputLayers
captureSessionClass::createCoreAnimationLayersForComposition(double duration, qrn::Size renderSize,
                                                             qrn::Size videoSize, qrn::Size scaleSize) {
    QRN_LOG_IN(LogValues{{"duration", duration}});
    auto output = qrn::graphics::Layer::make(qrn::Rect({0, 0}, renderSize));
    output->setBackgroundColour(qrn::Colour::clear());
    auto video = createVideoLayer(renderSize, videoSize, scaleSize);
    return {addLayersToParentLayer(output, video.parentVideoLayer, duration), video.finalChildVideoLayer};
}

captureSessionClass::LayerPtr captureSessionClass::addLayersToParentLayer(const LayerPtr& outputLayerValue,
                                                                          const LayerPtr& videoLayer,
                                                                          double duration) {
    auto screen = recordViewClass().getTakeScreen();
    if (!screen || !outputLayerValue)
        return outputLayerValue;
    const auto& preview = screen->recordingView;
    const auto timing = recordViewClass().getAssetTimingArray();
    for (size_t a = 0; a < screen->assets.size(); ++a) {
        static const std::vector<std::string> none;
        const auto& row = a < screen->layers.size() ? screen->layers[a] : none;
        if (a < timing.size()) {
            if (a != 0)
                processingLayers(int(a), timing, preview,
                                 recordViewClass::takeScreen::idValue(screen->assets[a]) + 1, duration);
            for (const auto& id : row)
                processingLayers(int(a), timing, preview, recordViewClass::takeScreen::idValue(id), duration);
        } else {
            for (const auto& id : row)
                if (auto holder = holderOf(preview, recordViewClass::takeScreen::idValue(id)))
                    holder->setHidden(true);
        }
    }
    auto output = orderLayersClass().addLayersInOrderToFinalMovieOutputLayer(
        preview, outputLayerValue, screen->assets, screen->layers, true);
    if (videoLayer)
        output->addSublayer(videoLayer);
    output = orderLayersClass().addLayersInOrderToFinalMovieOutputLayer(preview, output, screen->assets,
                                                                        screen->layers, false);
    QRN_LOG_OUT(LogValues{{"outputLayer", int(output->sublayers().size())}});
    return output;
}

qrn::graphics::KeyframeAnimation assetOpacityAnimation(int i, const std::vector<double>& T, double duration) {
    qrn::graphics::KeyframeAnimation animation;
    animation.keyPath = "opacity";
    animation.repeatCount = 1;
    animation.duration = duration;
    animation.removedOnCompletion = false;
    animation.beginTime = qrn::graphics::KeyframeAnimation::mediaZero;
    const double d = duration;
    const size_t k = size_t(i);
    if (i == 0) {
        animation.values = {1};
        animation.keyTimes = {0};
    } else if (i == 1 && T.size() >= 2) {
        animation.values = {1, 1, 0};
        animation.keyTimes = {0, T[1] / d - epsilon, T[1] / d};
    } else if (k < T.size() - 1) {
        animation.values = {0, 0, 1, 1, 0};
        animation.keyTimes = {0, T[k - 1] / d - epsilon, T[k - 1] / d, T[k] / d - epsilon, T[k] / d};
    } else {
        animation.values = {0, 0, 1};
        animation.keyTimes = {0, T[k - 1] / d - epsilon, T[k - 1] / d};
    }
    return animation;
}

void captureSessionClass::processingLayers(int i, const std::vector<double>& T,
                                           const std::shared_ptr<qrn::ui::View>& preview, int layerInt,
                                           double duration) {
    auto holder = holderOf(preview, layerInt);
    if (!holder || duration <= 0 || i < 0 || size_t(i) >= T.size())
        return;
    holder->setHidden(false);
    holder->layer()->addAnimation(assetOpacityAnimation(i, T, duration), "opacity");
}
