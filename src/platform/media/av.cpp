#include "platform/media/av.h"

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
    if (!frame || frame->width <= 0 || frame->height <= 0)
        return {};
    if (width <= 0 || height <= 0) {
        width = frame->width;
        height = frame->height;
    }
    // ARGB32 is B, G, R, A in memory on the little-endian machines we build for; video is
    // opaque, so premultiplied and straight alpha are the same bytes.
    scaler = sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format), width,
                                  height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler)
        return {};
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    return image;
}

} // namespace qrn::media::av
