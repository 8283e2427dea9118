#pragma once
// A quick reader for the PNG files most pictures are: 8 bits per channel, RGB or RGBA, not
// interlaced. It inflates the whole image data in one go and, row by row, unfilters,
// premultiplies and averages it down to the size asked for, so a picture held smaller than
// its own size is never built at full size. Whatever it does not take (other kinds, anything
// damaged or unusual) it leaves to Qt's reader, which reads and refuses files as it always has.
#include <QImage>
#include <QSize>

#include <cstddef>
#include <optional>

namespace qrn::imaging {

// The picture, premultiplied ARGB32, averaged down to decodedPictureSize(own size, drawn). None
// when the file is not one this reader takes or does not decode cleanly; the caller then asks
// Qt's reader.
std::optional<QImage> decodeFastPng(const unsigned char* bytes, std::size_t size, QSize drawn = {});

} // namespace qrn::imaging
