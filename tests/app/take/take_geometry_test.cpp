// Where the camera picture lies in the composed movie, and when each asset's layers show.
#include <gtest/gtest.h>

#include "Controller/Global/captureSessionClass.h"
#include "app/layers/layers_support.h"
#include "platform/graphics/animation.h"
#include "platform/graphics/layer.h"
#include "platform/ui/view.h"
#include "take_fixture.h"

using namespace taketest;
using qrn::Point;
using qrn::Rect;
using qrn::Size;

namespace {

void expectRect(const Rect& r, double x, double y, double w, double h) {
    EXPECT_NEAR(r.origin.x, x, 1e-9);
    EXPECT_NEAR(r.origin.y, y, 1e-9);
    EXPECT_NEAR(r.size.width, w, 1e-9);
    EXPECT_NEAR(r.size.height, h, 1e-9);
}

struct cropGuard {
    std::pair<Size, Point> saved = previewLayerClass().getVideoCropSizeAndOrigin();
    std::vector<double> frame = previewLayerClass().getVideoOriginSizeArray();
    ~cropGuard() {
        previewLayerClass().setVideoCropSizeAndOrigin(saved.first, saved.second);
        previewLayerClass().setVideoOriginSizeArray(frame);
    }
};

} // namespace

TEST(TakeGeometry, MovieSizesForCamerasOfEveryShape) {
    captureSessionClass c;
    const Size render{1920, 1080};
    EXPECT_EQ(c.getRenderSizeFromVideoSize({1920, 1080}, render), render);
    EXPECT_EQ(c.getRenderSizeFromVideoSize({1280, 720}, render), render);
    // 4:3 is narrower: the picture keeps the height.
    EXPECT_EQ(c.getRenderSizeFromVideoSize({640, 480}, render), (Size{1440, 1080}));
    // Equal or wider shapes fall through to the movie's size.
    EXPECT_EQ(c.getRenderSizeFromVideoSize({2560, 1080}, render), render);

    // A 16:9 camera needs no correction.
    auto none = c.correctionForAspectRatioOfVideoInput(render, render, {10, 20}, {1000, 500});
    EXPECT_EQ(none.correctAspectRatioOrigin, (Point{0, 0}));
    EXPECT_EQ(none.correctAspectRatioSize, (Size{0, 0}));
    // 4:3: narrowed to 75 % and moved right by 12.5 % of the width.
    auto narrow = c.correctionForAspectRatioOfVideoInput(render, {1440, 1080}, {10, 20}, {1000, 500});
    EXPECT_NEAR(narrow.correctAspectRatioOrigin.x, 125, 1e-9);
    EXPECT_EQ(narrow.correctAspectRatioOrigin.y, 0);
    EXPECT_NEAR(narrow.correctAspectRatioSize.width, -250, 1e-9);
    EXPECT_EQ(narrow.correctAspectRatioSize.height, 0);
    // A shorter picture: lowered and centred vertically.
    auto flat = c.correctionForAspectRatioOfVideoInput(render, {1920, 810}, {0, 0}, {1000, 500});
    EXPECT_NEAR(flat.correctAspectRatioOrigin.y, (1 - 810.0 / 1080) * 0.5 * 500, 1e-9);
    EXPECT_NEAR(flat.correctAspectRatioSize.height, 810.0 / 1080 * 500 - 500, 1e-9);
}

TEST(TakeGeometryStudioByHand, CropMovesTheWindowAndTheWholePictureTheOtherWay) {
    studioByHand s(1);
    cropGuard guard;
    captureSessionClass c;
    // Default crop: the window is the picture and the picture sits at its origin.
    previewLayerClass().setVideoCropSizeAndOrigin({100, 100}, {0, 0});
    auto whole = c.videoLayerCropWithDifferenceCalculation({30, 40}, {1000, 500});
    EXPECT_EQ(whole.videoLayerOrigin, (Point{30, 40}));
    EXPECT_EQ(whole.videoLayerSize, (Size{1000, 500}));
    EXPECT_EQ(whole.videoLayerFrameSizeWidthSubtraction, 0);

    previewLayerClass().setVideoCropSizeAndOrigin({50, 60}, {10, 20});
    auto crop = c.videoLayerCropWithDifferenceCalculation({0, 0}, {1000, 500});
    EXPECT_EQ(crop.videoLayerOriginAddition, (Point{100, 100}));
    EXPECT_EQ(crop.videoLayerOrigin, (Point{100, 100}));
    EXPECT_EQ(crop.videoLayerSize, (Size{500, 300}));
    EXPECT_EQ(crop.videoLayerFrameSizeWidthSubtraction, 500);
    EXPECT_EQ(crop.videoLayerFrameSizeHeightSubtraction, 200);

    // The layers: the camera rectangle fills the 556 x 313 recording view, so the whole
    // 1920 x 1080 movie; the child carries the uncropped picture shifted back by the crop.
    previewLayerClass().setVideoOriginSizeArray({0, 0, 556, 313});
    auto layers = c.createVideoLayer({1920, 1080}, {1920, 1080}, {1920, 1080});
    expectRect(layers.parentVideoLayer->frame(), 192, 216, 960, 648);
    EXPECT_TRUE(layers.parentVideoLayer->masksToBounds());
    expectRect(layers.finalChildVideoLayer->frame(), -192, -216, 1920, 1080);
    EXPECT_EQ(layers.finalChildVideoLayer->superlayerPointer(), layers.parentVideoLayer.get());

    // A 4:3 camera: the child is narrowed and centred within the uncropped picture.
    previewLayerClass().setVideoCropSizeAndOrigin({100, 100}, {0, 0});
    auto narrow = c.createVideoLayer({1920, 1080}, {640, 480}, {1440, 1080});
    expectRect(narrow.parentVideoLayer->frame(), 0, 0, 1920, 1080);
    expectRect(narrow.finalChildVideoLayer->frame(), 240, 0, 1440, 1080);
    // A camera wider than the movie lays the picture out at its own size.
    auto big = c.createVideoLayer({1920, 1080}, {3840, 2160}, {1920, 1080});
    expectRect(big.parentVideoLayer->frame(), 0, 0, 3840, 2160);
}

namespace {

const qrn::graphics::KeyframeAnimation* opacityOf(const std::shared_ptr<qrn::ui::View>& v) {
    return v ? v->layer()->animation("opacity") : nullptr;
}

void expectKeys(const std::shared_ptr<qrn::ui::View>& v, std::vector<double> values,
                std::vector<double> keyTimes, double duration) {
    auto a = opacityOf(v);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->values, values);
    ASSERT_EQ(a->keyTimes.size(), keyTimes.size());
    for (size_t i = 0; i < keyTimes.size(); ++i)
        EXPECT_EQ(a->keyTimes[i], keyTimes[i]) << "key " << i; // formed exactly so
    EXPECT_EQ(a->duration, duration);
    EXPECT_FALSE(a->removedOnCompletion);
    EXPECT_EQ(a->beginTime, qrn::graphics::KeyframeAnimation::mediaZero);
}

// The ids of the output's sublayers, bottom to top: a layer id, "asset <id>" or "video".
std::vector<std::string> outputOrder(const studioByHand& s, const qrn::graphics::Layer& output,
                                     const qrn::graphics::Layer* video) {
    std::vector<std::string> out;
    for (auto& l : output.sublayers()) {
        std::string name = "?";
        if (l.get() == video)
            name = "video";
        for (size_t a = 1; a < s.views.assets.size(); ++a)
            if (s.container(s.views.assets[a]) && s.container(s.views.assets[a])->layer() == l)
                name = "asset " + s.views.assets[a];
        for (auto& row : s.views.layers)
            for (auto& id : row)
                if (s.holder(id)->layer() == l)
                    name = id;
        out.push_back(name);
    }
    return out;
}

} // namespace

TEST(TakeKeyFramesStudioByHand, OneAssetShowsToTheEndAndLaterAssetsAreHidden) {
    studioByHand s(3);
    s.open();
    recordViewClass().appendAssetTiming(7.5); // T = [0, 7.5]
    captureSessionClass c;
    auto output = qrn::graphics::Layer::make(Rect(0, 0, 1920, 1080));
    auto video = qrn::graphics::Layer::make();
    c.addLayersToParentLayer(output, video, 7.5);
    const double e = 0.00000000001;
    expectKeys(s.container(s.views.assets[1]), {1, 1, 0}, {0, 1 - e, 1}, 7.5);
    expectKeys(s.holder(s.layerIds[1]), {1, 1, 0}, {0, 1 - e, 1}, 7.5);
    // Never reached: hidden, not animated.
    EXPECT_TRUE(s.holder(s.layerIds[2])->isHidden());
    EXPECT_FALSE(opacityOf(s.holder(s.layerIds[3])));
    // The sticky asset's container gets nothing.
    EXPECT_FALSE(s.container("0") && opacityOf(s.container("0")));
    // Shown through the whole movie at time 7.4, gone after.
    EXPECT_EQ(s.holder(s.layerIds[1])->layer()->presentationOpacity(7.4), 1);
}

TEST(TakeKeyFramesStudioByHand, EachAssetExactlyForItsTimeAndTheStickyLayersThroughout) {
    studioByHand s(4);
    s.open();
    // A sticky layer and an asset without layers.
    const auto sticky = s.scene.addLayer(0, qrn::Rect(20, 20, 50, 50), 0, previewtest::placement::above);
    s.views.layers = previewLayerClass().getLayerArray();
    s.sync();
    auto& rows = s.views.layers;
    rows[3].clear(); // asset 3 reached but without layers
    s.sync();
    for (double t : {4.0, 9.0, 12.0})
        recordViewClass().appendAssetTiming(t); // T = [0, 4, 9, 12]
    captureSessionClass c;
    auto output = qrn::graphics::Layer::make(Rect(0, 0, 1920, 1080));
    auto video = qrn::graphics::Layer::make();
    output = c.addLayersToParentLayer(output, video, 12);
    const double e = 0.00000000001;
    expectKeys(s.holder(s.layerIds[1]), {1, 1, 0}, {0, 4.0 / 12 - e, 4.0 / 12}, 12);
    expectKeys(s.holder(s.layerIds[2]), {0, 0, 1, 1, 0}, {0, 4.0 / 12 - e, 4.0 / 12, 9.0 / 12 - e, 9.0 / 12},
               12);
    // The last asset reached: from its start to the end, container and all, layers or not.
    expectKeys(s.container(s.views.assets[3]), {0, 0, 1}, {0, 9.0 / 12 - e, 9.0 / 12}, 12);
    EXPECT_TRUE(s.holder(s.layerIds[4])->isHidden());
    expectKeys(s.holder(sticky), {1}, {0}, 12);

    // Cuts, not fades: either side of each change.
    auto opacity = [&](const std::string& id, double t) {
        return s.holder(id)->layer()->presentationOpacity(t);
    };
    EXPECT_EQ(opacity(s.layerIds[1], 3.99), 1);
    EXPECT_EQ(opacity(s.layerIds[1], 4.0), 0);
    EXPECT_EQ(opacity(s.layerIds[2], 3.99), 0);
    EXPECT_EQ(opacity(s.layerIds[2], 4.0), 1);
    EXPECT_EQ(opacity(s.layerIds[2], 9.0), 0);
    EXPECT_EQ(opacity(sticky, 11.9), 1);

    // Below the camera, the camera, then above it.
    auto order = outputOrder(s, *output, video.get());
    auto at = [&](const std::string& name) {
        return std::find(order.begin(), order.end(), name) - order.begin();
    };
    ASSERT_NE(at("video"), long(order.size()));
    EXPECT_LT(at("asset " + s.views.assets[1]), at("video"));
    for (int a : {1, 2})
        EXPECT_EQ(at(s.layerIds[size_t(a)]) > at("video"),
                  previewLayerClass().getFirstLayerAboveVideoArray()[size_t(a)].has_value());
}
