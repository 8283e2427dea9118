// Where the recorded camera picture lies in the composed movie: the composition of the
// recording, the movie's sizes, the correction for cameras of another shape than 16:9, the crop
// and the two video layers (the crop window and the whole picture inside it).
#include <algorithm>
#include <cmath>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "platform/graphics/layer.h"
#include "platform/ui/view.h"

using qrn::Point;
using qrn::Rect;
using qrn::Size;

captureSessionClass::mutableComposition
captureSessionClass::createMutableCompositionFromAsset(const qrn::media::MovieAsset& asset, double duration) {
    QRN_LOG_IN(LogValues{{"asset", asset.path}, {"duration", duration}});
    using qrn::media::MediaType;
    auto composition = std::make_shared<qrn::media::Composition>();
    auto* videoTrack = composition->addTrack(MediaType::Video);
    const auto* sourceVideo = asset.firstTrack(MediaType::Video);
    if (!videoTrack || !sourceVideo)
        throw throwClass().error("Unable to load video track");
    // The stand-in movie is shorter than a long take: the movie ends with what was recorded,
    // and the asset changes keep their times.
    const double length = std::min(duration, sourceVideo->duration);
    if (auto inserted = videoTrack->insertTimeRange({0, length}, asset, *sourceVideo, 0); !inserted) {
        changeErrorMessage("Unable to insert time in video track", "Unable to insert time in video track",
                           inserted.error(), MessageType::error);
        qrnError error = throwClass().error("Unable to load video track");
        error.code = 1; // the error line already names the insertion
        throw error;
    }
    auto* audioTrack = composition->addTrack(MediaType::Audio);
    const auto* sourceAudio = asset.firstTrack(MediaType::Audio);
    if (!audioTrack || !sourceAudio)
        throw throwClass().error("Unable to load audio track");
    if (!audioTrack->insertTimeRange({0, std::min(length, sourceAudio->duration)}, asset, *sourceAudio, 0))
        throw throwClass().error("Unable to insert time in audio track");
    const Size natural = composition->naturalSize();
    QRN_LOG_OUT(LogValues{{"videoTrack naturalSize", qrn::Value::list({natural.width, natural.height})}});
    return {composition, natural};
}

Size captureSessionClass::getRenderSizeFromVideoSize(Size videoSize, Size renderSize) {
    QRN_LOG_IN(LogValues{{"videoSize", qrn::Value::list({videoSize.width, videoSize.height})},
                         {"renderSize", qrn::Value::list({renderSize.width, renderSize.height})}});
    const double vw = videoSize.width, vh = videoSize.height, rw = renderSize.width, rh = renderSize.height;
    if (vw <= 0 || vh <= 0 || rw <= 0)
        return renderSize;
    if (rh / rw < vh / vw)
        return {rw * (vh / vw), rh};
    if (vw / vh < rw / rh)
        return {rw, rh * (vw / vh)};
    return renderSize;
}

captureSessionClass::aspectRatioCorrection
captureSessionClass::correctionForAspectRatioOfVideoInput(Size renderSize, Size scaleSize,
                                                          Point videoLayerOrigin, Size videoLayerSize) {
    const double rw = renderSize.width, rh = renderSize.height, sw = scaleSize.width, sh = scaleSize.height;
    const double ox = videoLayerOrigin.x, oy = videoLayerOrigin.y;
    const double lw = videoLayerSize.width, lh = videoLayerSize.height;
    aspectRatioCorrection c;
    if (sw < rw) {
        c.correctAspectRatioOrigin = {((1 - sw / rw) * 0.5 * lw + ox) - ox, 0};
        c.correctAspectRatioSize = {(sw / rw) * lw - lw, 0};
    } else if (sh < rh) {
        c.correctAspectRatioOrigin = {0, ((1 - sh / rh) * 0.5 * lh + oy) - oy};
        c.correctAspectRatioSize = {0, (sh / rh) * lh - lh};
    }
    QRN_LOG_OUT(LogValues{{"correctAspectRatioOrigin",
                           qrn::Value::list({c.correctAspectRatioOrigin.x, c.correctAspectRatioOrigin.y})},
                          {"correctAspectRatioSize", qrn::Value::list({c.correctAspectRatioSize.width,
                                                                       c.correctAspectRatioSize.height})}});
    return c;
}

captureSessionClass::videoLayerCrop captureSessionClass::videoLayerCropWithDifferenceCalculation(Point origin,
                                                                                                 Size size) {
    const auto [cropSize, cropOrigin] = previewLayerClass().getVideoCropSizeAndOrigin();
    videoLayerCrop c;
    c.videoLayerOriginAddition = {(size.width / 100) * cropOrigin.x, (size.height / 100) * cropOrigin.y};
    c.videoLayerSize = {(size.width / 100) * cropSize.width, (size.height / 100) * cropSize.height};
    c.videoLayerFrameSizeWidthSubtraction = size.width - (size.width / 100) * cropSize.width;
    c.videoLayerFrameSizeHeightSubtraction = size.height - (size.height / 100) * cropSize.height;
    c.videoLayerOrigin = {c.videoLayerOriginAddition.x + origin.x, c.videoLayerOriginAddition.y + origin.y};
    QRN_LOG_OUT(
        LogValues{{"videoLayerFrameSizeWidthSubtraction", c.videoLayerFrameSizeWidthSubtraction},
                  {"videoLayerFrameSizeHeightSubtraction", c.videoLayerFrameSizeHeightSubtraction},
                  {"videoLayerOriginAddition",
                   qrn::Value::list({c.videoLayerOriginAddition.x, c.videoLayerOriginAddition.y})},
                  {"videoLayerOrigin", qrn::Value::list({c.videoLayerOrigin.x, c.videoLayerOrigin.y})},
                  {"videoLayerSize", qrn::Value::list({c.videoLayerSize.width, c.videoLayerSize.height})}});
    return c;
}

captureSessionClass::videoLayers captureSessionClass::createVideoLayer(Size renderSize, Size videoSize,
                                                                       Size scaleSize) {
    QRN_LOG_IN(std::nullopt);
    const Size base = videoSize.width < renderSize.width ? renderSize : videoSize;
    std::vector<double> v = previewLayerClass().getVideoOriginSizeArray();
    v.resize(std::max<size_t>(v.size(), 4), 0);
    // The camera rectangle is stored in the recording view's space; without that view (or with
    // an empty one) it is taken as already in the movie's.
    Size frame = base;
    if (auto screen = recordViewClass().getTakeScreen(); screen && screen->recordingView) {
        const Size f = screen->recordingView->frame().size;
        if (f.width > 0 && f.height > 0)
            frame = f;
    }
    const Point origin{base.width * (v[0] / frame.width), base.height * (v[1] / frame.height)};
    const Size size{base.width * (v[2] / frame.width), base.height * (v[3] / frame.height)};
    const auto corr = correctionForAspectRatioOfVideoInput(renderSize, scaleSize, origin, size);
    const auto crop = videoLayerCropWithDifferenceCalculation(origin, size);

    auto parent = qrn::graphics::Layer::make(Rect(crop.videoLayerOrigin, crop.videoLayerSize));
    parent->setBackgroundColour(qrn::Colour::clear());
    parent->setMasksToBounds(true);
    auto child = qrn::graphics::Layer::make(
        Rect(corr.correctAspectRatioOrigin.x - crop.videoLayerOriginAddition.x,
             corr.correctAspectRatioOrigin.y - crop.videoLayerOriginAddition.y,
             corr.correctAspectRatioSize.width + crop.videoLayerFrameSizeWidthSubtraction +
                 parent->frame().width(),
             corr.correctAspectRatioSize.height + crop.videoLayerFrameSizeHeightSubtraction +
                 parent->frame().height()));
    child->setBackgroundColour(qrn::Colour::clear());
    // The camera's filters count in the recorded picture's own pixels, whatever size it takes
    // in the movie.
    auto filters =
        editViewClass().getFiltersArrayOrFilteredImage({}, true, std::nullopt, std::nullopt).filters;
    for (const auto& filter : filters)
        filter->setOwnSize(QSize(int(std::lround(videoSize.width)), int(std::lround(videoSize.height))));
    child->setContentFilters(std::move(filters));
    parent->addSublayer(child);
    return {parent, child};
}
