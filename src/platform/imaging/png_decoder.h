#pragma once
// A quick reader for PNG files of every kind but interlaced: grey, RGB, grey with alpha and RGBA
// at 8 or 16 bits, palettes and colour keys. It reads the file a piece at a time, inflates the
// image data a block of rows at a time and, row by row, unfilters, premultiplies and averages it
// down to the size asked for. So what it holds besides the picture it makes is a few rows, never
// the whole file nor the whole image at its own size, however large that is. Whatever it does not
// take (interlaced files, anything damaged or unusual) it leaves to Qt's reader.
#include <QImage>
#include <QSize>

#include <cstddef>
#include <functional>
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

// The picture's own size when the first kPngHeaderBytes of a file say it is one this reader takes.
std::optional<QSize> fastPngSize(const unsigned char* start, std::size_t size);
// The most this reader holds while decoding a picture of `own` pixels to `target`.
std::size_t fastPngWorkingBytes(QSize own, QSize target);

// `image` averaged down to `target` as this reader averages, converting a strip of rows at a
// time: no converted copy of the whole is made, whatever its format.
QImage averagedDown(const QImage& image, QSize target);

} // namespace qrn::imaging
