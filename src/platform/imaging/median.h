#pragma once
// Median: each channel of a pixel becomes the median of that channel over the 3 x 3 square
// around it; beyond the edges the nearest edge pixel is repeated.
#include "platform/imaging/image.h"

namespace qrn::imaging {

// One row of `width` pixels from the rows above it, itself and below it (the same row where
// there is none). `scratch` holds medianScratchBytes(width) bytes.
void median3x3Row(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                  std::uint8_t* out, int width, std::uint8_t* scratch);
std::size_t medianScratchBytes(int width);

// Rows [rowBegin, rowEnd) of dst, reading the rows around them in src. src and dst have the
// same size and channel order and must not overlap.
void median3x3(ConstImageView src, ImageView dst, int rowBegin, int rowEnd);
// The whole image, spread over `threads` bands.
Image median3x3(const Image& src, int threads = 1);

} // namespace qrn::imaging
