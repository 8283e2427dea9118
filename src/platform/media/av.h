#pragma once
// FFmpeg in one place: the C headers, owning pointers and small helpers the media classes share.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QImage>

#include <memory>
#include <string>

namespace qrn::media::av {

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct InputContextDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct SwsDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
// Frames handed between threads are shared: several outputs may hold the same picture.
using SharedFrame = std::shared_ptr<const AVFrame>;

// Registers the capture devices (lavfi, v4l2, pulse, alsa) once per process.
void registerDevices();
std::string errorString(int code);
FramePtr allocFrame();
PacketPtr allocPacket();
// A new reference to `f` that outlives the caller's frame.
SharedFrame share(const AVFrame* f);
// `f` itself, handed over to be shared.
SharedFrame share(FramePtr f);

// Converts a decoded picture to an image of the given size (the frame's own when empty).
// `scaler` caches the conversion between calls of the same shape.
QImage toImage(const AVFrame* frame, SwsContext*& scaler, int width = 0, int height = 0);
// Whether `image` is a Format_ARGB32_Premultiplied picture of that size held by no one else, so
// that its pixels may be written over in place (another holder would still show the old ones).
bool writableInPlace(const QImage& image, int width, int height);
// The same into `image`, whose pixels are written over when writableInPlace(); otherwise it
// becomes a new image. False when the
// picture cannot be converted.
bool toImage(const AVFrame* frame, SwsContext*& scaler, int width, int height, QImage& image);
// A decoded picture enlarged to an image in two steps: its planes scaled in its own
// format, then converted at the new size. For a movie's 4:2:0 pictures this is about half the
// work of scaling straight to 32-bit pixels, whose output step the library has no fast path for.
class ScaledImages {
  public:
    ScaledImages() = default;
    ~ScaledImages();
    ScaledImages(const ScaledImages&) = delete;
    ScaledImages& operator=(const ScaledImages&) = delete;
    // As toImage() into `image`; a picture made no larger is scaled straight, as toImage() does.
    bool toImage(const AVFrame* frame, int width, int height, QImage& image);

  private:
    SwsContext* scale_ = nullptr;
    SwsContext* convert_ = nullptr;
    FramePtr scaled_;
};
// Converts `src` into `dst`, which has its buffers, size and pixel format already, scaling as
// needed. The movie writer and the export convert with this, so their pictures match.
bool convert(const AVFrame* src, AVFrame* dst, SwsContext*& scaler);
// Converts `image` into `dst` as above.
bool convert(const QImage& image, AVFrame* dst, SwsContext*& scaler);
// A frame that reads `image` in place (ARGB32 kinds only; others give a frame without data).
AVFrame wrap(const QImage& image);
// A new picture of the given pixel format and size made from `image`; null when out of memory.
SharedFrame fromImage(const QImage& image, AVPixelFormat format, int width, int height, SwsContext*& scaler);

// Pictures of one pixel format and size whose memory is used again once every holder of a
// picture has let it go, so that a stream of pictures does not touch fresh memory each time.
// Safe to use from several threads; pictures may outlive the pool.
class FramePool {
  public:
    FramePool(AVPixelFormat format, int width, int height);
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;
    // A writable picture with undefined pixels; null when out of memory.
    FramePtr get();
    // `image` converted into a picture of the pool; null when out of memory or not convertible.
    SharedFrame fromImage(const QImage& image, SwsContext*& scaler);

  private:
    AVPixelFormat format_;
    int width_, height_;
    AVBufferPool* pool_;
};

} // namespace qrn::media::av
