#include "platform/media/av.h"

#include "platform/media/picture_convert.h"

#include <mutex>

namespace qrn::media::av {

void registerDevices() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        avdevice_register_all();
    });
}

std::string errorString(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

FramePtr allocFrame() {
    return FramePtr(av_frame_alloc());
}
PacketPtr allocPacket() {
    return PacketPtr(av_packet_alloc());
}

SharedFrame share(const AVFrame* f) {
    AVFrame* copy = av_frame_clone(f);
    return SharedFrame(copy, [](const AVFrame* p) {
        auto* q = const_cast<AVFrame*>(p);
        av_frame_free(&q);
    });
}

QImage toImage(const AVFrame* frame, SwsContext*& scaler, int width, int height) {
    QImage image;
    if (!toImage(frame, scaler, width, height, image))
        return {};
    return image;
}

bool writableInPlace(const QImage& image, int width, int height) {
    return !image.isNull() && image.isDetached() && image.width() == width && image.height() == height &&
           image.format() == QImage::Format_ARGB32_Premultiplied;
}

bool toImage(const AVFrame* frame, SwsContext*& scaler, int width, int height, QImage& image) {
    if (!frame || frame->width <= 0 || frame->height <= 0)
        return false;
    if (width <= 0 || height <= 0) {
        width = frame->width;
        height = frame->height;
    }
    // ARGB32 is B, G, R, A in memory on the little-endian machines we build for; video is
    // opaque, so premultiplied and straight alpha are the same bytes.
    scaler = sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format), width,
                                  height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler)
        return false;
    if (!writableInPlace(image, width, height))
        image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return false;
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    return true;
}

ScaledImages::~ScaledImages() {
    sws_freeContext(scale_);
    sws_freeContext(convert_);
}

bool ScaledImages::toImage(const AVFrame* frame, int width, int height, QImage& image) {
    if (!frame || frame->width <= 0 || frame->height <= 0 || width <= 0 || height <= 0)
        return false;
    // Made smaller, the straight way costs little and keeps its detail.
    if (width <= frame->width && height <= frame->height)
        return av::toImage(frame, convert_, width, height, image);
    const auto format = AVPixelFormat(frame->format);
    if (!scaled_ || scaled_->width != width || scaled_->height != height || scaled_->format != format) {
        scaled_ = allocFrame();
        if (!scaled_)
            return false;
        scaled_->width = width;
        scaled_->height = height;
        scaled_->format = format;
        if (av_frame_get_buffer(scaled_.get(), 0) < 0) {
            scaled_.reset();
            return false;
        }
    }
    scale_ = sws_getCachedContext(scale_, frame->width, frame->height, format, width, height, format,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scale_)
        return false;
    sws_scale(scale_, frame->data, frame->linesize, 0, frame->height, scaled_->data, scaled_->linesize);
    return av::toImage(scaled_.get(), convert_, width, height, image);
}

bool convert(const AVFrame* src, AVFrame* dst, SwsContext*& scaler) {
    // The composed pictures' way to the encoder, in one pass and to the same bytes.
    if ((src->format == AV_PIX_FMT_BGRA || src->format == AV_PIX_FMT_BGR0) &&
        dst->format == AV_PIX_FMT_YUV420P && src->width == dst->width && src->height == dst->height &&
        src->linesize[0] > 0 && bgraToYuv420Handles(src->width, src->height)) {
        bgraToYuv420(src->data[0], src->linesize[0], src->width, src->height, dst->data, dst->linesize);
        return true;
    }
    scaler = sws_getCachedContext(scaler, src->width, src->height, AVPixelFormat(src->format), dst->width,
                                  dst->height, AVPixelFormat(dst->format), SWS_BILINEAR, nullptr, nullptr,
                                  nullptr);
    if (!scaler)
        return false;
    sws_scale(scaler, src->data, src->linesize, 0, src->height, dst->data, dst->linesize);
    return true;
}

AVFrame wrap(const QImage& image) {
    AVFrame frame{};
    switch (image.format()) {
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_ARGB32:
    case QImage::Format_RGB32:
        break;
    default:
        return frame;
    }
    frame.format = AV_PIX_FMT_BGRA;
    frame.width = image.width();
    frame.height = image.height();
    frame.data[0] = const_cast<uint8_t*>(image.constBits());
    frame.linesize[0] = int(image.bytesPerLine());
    return frame;
}

SharedFrame share(FramePtr frame) {
    return SharedFrame(frame.release(), [](const AVFrame* p) {
        auto* q = const_cast<AVFrame*>(p);
        av_frame_free(&q);
    });
}

bool convert(const QImage& image, AVFrame* out, SwsContext*& scaler) {
    QImage source = wrap(image).data[0] ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const AVFrame in = wrap(source);
    return in.data[0] && convert(&in, out, scaler);
}

namespace {

// Pictures' rows start on this many bytes, as av_frame_get_buffer lays them out.
constexpr int rowAlignment = 64;

} // namespace

SharedFrame fromImage(const QImage& image, AVPixelFormat format, int width, int height, SwsContext*& scaler) {
    FramePtr out = allocFrame();
    if (!out)
        return nullptr;
    out->format = format;
    out->width = width;
    out->height = height;
    if (av_frame_get_buffer(out.get(), 0) < 0 || !convert(image, out.get(), scaler))
        return nullptr;
    return share(std::move(out));
}

FramePool::FramePool(AVPixelFormat format, int width, int height)
    : format_(format), width_(width), height_(height), pool_(nullptr) {
    const int size = av_image_get_buffer_size(format, width, height, rowAlignment);
    if (size > 0)
        pool_ = av_buffer_pool_init(size_t(size), nullptr);
}

FramePool::~FramePool() {
    // The memory itself goes once the last picture handed out has been let go.
    av_buffer_pool_uninit(&pool_);
}

FramePtr FramePool::get() {
    if (!pool_)
        return nullptr;
    FramePtr frame = allocFrame();
    if (!frame)
        return nullptr;
    frame->buf[0] = av_buffer_pool_get(pool_);
    if (!frame->buf[0])
        return nullptr;
    frame->format = format_;
    frame->width = width_;
    frame->height = height_;
    if (av_image_fill_arrays(frame->data, frame->linesize, frame->buf[0]->data, format_, width_, height_,
                             rowAlignment) < 0)
        return nullptr;
    return frame;
}

SharedFrame FramePool::fromImage(const QImage& image, SwsContext*& scaler) {
    FramePtr out = get();
    if (!out || !convert(image, out.get(), scaler))
        return nullptr;
    return share(std::move(out));
}

} // namespace qrn::media::av
