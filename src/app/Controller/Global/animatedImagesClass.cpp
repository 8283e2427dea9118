#include "Controller/Global/animatedImagesClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/graphics/animation.h"
#include "platform/ui/view.h"

namespace {

// Key times go through 32-bit floats, as the animation system stores them: the tiny step
// before each boundary then rounds onto the boundary, and the switch is a cut.
double keyTime(double t) {
    return double(float(t));
}

} // namespace

std::shared_ptr<qrn::ui::View>
animatedImages::createAnimatedImage(const std::shared_ptr<qrn::ui::View>& parentView,
                                    double animationDuration,
                                    const std::vector<qrn::ImageHandle>& animationImages, qrn::Point origin,
                                    qrn::Size size, bool startAnimating, bool type) {
    QRN_LOG_IN(LogValues{{"animationDuration", animationDuration}, {"frames", int(animationImages.size())}});
    const qrn::Rect frame = parentView ? parentView->layer()->bounds() : qrn::Rect(origin, size);
    auto result = qrn::ui::View::make(frame);
    const size_t n = animationImages.size();
    if (n < 1)
        return result;
    const double D = animationDuration;
    const double d = D / double(n);
    constexpr double epsilon = 1e-11;
    const auto t = [&](size_t k) { return d * double(k) / D; };
    for (size_t i = 0; i < n; ++i) {
        std::shared_ptr<qrn::graphics::Layer> holderLayer;
        std::shared_ptr<qrn::ui::View> holderView;
        if (type) {
            holderView = qrn::ui::View::make(qrn::Rect(qrn::Point{}, size));
            holderView->setFrame(result->bounds());
            holderLayer = holderView->layer();
            holderLayer->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
        } else {
            holderLayer = qrn::graphics::Layer::make(qrn::Rect(qrn::Point{}, size));
            holderLayer->setFrame(result->bounds());
        }
        if (animationImages[i])
            holderLayer->setContents(*animationImages[i]);
        qrn::graphics::KeyframeAnimation animation;
        animation.keyPath = "opacity";
        animation.repeatCount = qrn::graphics::KeyframeAnimation::repeatForever;
        animation.duration = D;
        animation.removedOnCompletion = false;
        animation.beginTime = qrn::graphics::KeyframeAnimation::mediaZero;
        if (i == 0) {
            animation.values = {1, 1, 0};
            animation.keyTimes = {0, keyTime(t(1) - epsilon), keyTime(t(1))};
        } else if (i + 1 < n) {
            animation.values = {0, 0, 1, 1, 0};
            animation.keyTimes = {0, keyTime(t(i) - epsilon), keyTime(t(i)), keyTime(t(i + 1) - epsilon),
                                  keyTime(t(i + 1))};
        } else {
            animation.values = {0, 0, 1};
            animation.keyTimes = {0, keyTime(t(i) - epsilon), keyTime(t(i))};
        }
        if (startAnimating)
            holderLayer->addAnimation(animation, "opacity");
        else if (i > 0 && holderView)
            holderView->setHidden(true);
        else if (i > 0)
            holderLayer->setHidden(true);
        if (type)
            result->addSubview(holderView);
        else
            result->layer()->addSublayer(holderLayer);
    }
    return result;
}
