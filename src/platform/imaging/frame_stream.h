#pragma once
// The frames of an animated picture file, decoded as they are asked for instead of all held:
// for an animation whose frames would not fit in its memory budget. Frames come at one size
// (the size they are drawn at), premultiplied ARGB32. Safe to use from any thread; one caller at
// a time decodes.
//
// A GIF frame is drawn over the ones before it, so a frame is reached by reading forward from
// the start. A few readers are kept at different places, so that the preview and a movie being
// composed, each moving forward through time, do not make each other start over.
#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QIODevice;
class QImageReader;

namespace qrn::imaging {

// The delay before the next frame of every frame of a GIF, in hundredths of a second, read
// from the file's blocks without decoding any picture. Nothing when the bytes are not a GIF or
// break off before the end.
std::optional<std::vector<int>> gifFrameDelays(const QByteArray& bytes);

// The size of the screen a GIF's frames are drawn on, read from the start of `device` (which is
// left where it was): Qt's reader draws every frame on a canvas that large, though the size it
// says is its first frame's. Empty when the device does not hold a GIF.
QSize gifScreenSize(QIODevice* device);

// What decoding a frame of an animation of `own` pixels holds, for its decode lease: the
// decoder's canvas and the frame it hands out, and the frame at the `held` size.
std::size_t frameDecodeBytes(QSize own, QSize held);

class FrameStream {
  public:
    // `frameSize` is the size frames are handed out at. Null when the file cannot be read.
    static std::shared_ptr<FrameStream> open(const std::string& path, size_t frameCount, QSize frameSize);
    ~FrameStream();

    size_t frameCount() const { return count_; }
    QSize frameSize() const { return size_; }
    // Frame `index`, decoded now unless it is among the last few handed out; null when the
    // file no longer gives it.
    QImage frame(size_t index);
    // Bytes of the decoded frames kept for the next asks.
    size_t heldBytes() const;
    // How many frames were decoded (read over) so far, for tests and benches.
    size_t framesDecoded() const;

  private:
    FrameStream(std::string path, size_t count, QSize size);
    struct Reader;
    struct Kept {
        size_t index;
        QImage image;
    };

    std::string path_;
    size_t count_;
    QSize size_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Reader>> readers_;
    std::list<Kept> kept_;
    size_t decoded_ = 0;
    std::uint64_t uses_ = 0;
};

} // namespace qrn::imaging
