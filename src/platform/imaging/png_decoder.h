#pragma once
// A quick reader for PNG files of every kind: grey, RGB, grey with alpha and RGBA at 8 or 16 bits,
// palettes and colour keys, interlaced or not. It reads the file a piece at a time, inflates the
// image data a block of rows at a time and, row by row, unfilters, premultiplies and averages it
// down to the size asked for. So what it holds besides the picture it makes is a few rows, never
// the whole file nor the whole image at its own size, however large that is (an interlaced
// picture scaled down also holds sums the size of the picture it makes). Only a picture no
// larger than a 4K frame, not interlaced, has its image data inflated in one go, which is much
// quicker: it then holds its rows and its image data whole. Whatever it does not take (anything
// damaged or unusual) it leaves to Qt's reader.
#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace qrn::imaging {

// The signature and the header chunk: what fastPngSize needs to look at.
constexpr std::size_t kPngHeaderBytes = 8 + 12 + 13;

// Where the reader gets the file's bytes: up to `size` into `into`; how many it gave, 0 at the
// end or on a failure.
using PngSource = std::function<std::size_t(unsigned char* into, std::size_t size)>;

// The picture, premultiplied ARGB32, averaged down to decodedPictureSize(own size, drawn). None
// when the file is not one this reader takes or does not decode cleanly; the caller then asks
// Qt's reader.
std::optional<QImage> decodeFastPng(const PngSource& source, QSize drawn = {});
std::optional<QImage> decodeFastPng(const unsigned char* bytes, std::size_t size, QSize drawn = {});

// The picture's own size when the first kPngHeaderBytes of a file say it is one this reader
// takes, and whether it is interlaced.
std::optional<QSize> fastPngSize(const unsigned char* start, std::size_t size, bool* interlaced = nullptr);
// The most this reader holds while decoding the picture whose first kPngHeaderBytes are at
// `start` to `target`; 0 when it is not one this reader takes.
std::size_t fastPngWorkingBytes(const unsigned char* start, std::size_t size, QSize target);

// `image` averaged down to `target` as this reader averages, converting a strip of rows at a
// time: no converted copy of the whole is made, whatever its format.
QImage averagedDown(const QImage& image, QSize target);

// Rows of 8-bit samples as a reader makes them, top to bottom, made into the picture held:
// premultiplied ARGB32, averaged down as this reader averages when `target` is smaller than
// `own`. What it holds besides the picture is a few rows of `own`'s width.
class PictureRows {
  public:
    // R, G, B; R, G, B, A; or R, G, B, A with the colours already multiplied by A.
    enum class Kind { rgb, rgba, premultipliedRgba };
    PictureRows(QSize own, QSize target);
    ~PictureRows();
    // False when the picture could not be made.
    bool isValid() const;
    // Row `y` of `own`'s width; every row once, in order.
    void add(std::uint32_t y, const unsigned char* row, Kind kind);
    QImage take();
    // What it holds besides the picture.
    static std::size_t workingBytes(QSize own);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace qrn::imaging
