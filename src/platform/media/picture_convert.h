#pragma once
// The composed pictures' last step before the encoder: 32-bit BGRA (alpha ignored) to planar
// 4:2:0 YUV of the same size, BT.601 studio range. The arithmetic is libswscale's own for this
// conversion (SWS_BILINEAR, as the writer asks for it), step for step, so a movie comes out the
// same whichever of the two made its pictures; this one does it in one pass over the picture
// instead of the library's several.
#include <cstdint>

namespace qrn::media {

// Whether bgraToYuv420 handles a picture of this size: even sides, at least 8 rows.
bool bgraToYuv420Handles(int width, int height);

// `bgra` holds `height` rows of `width` pixels, `bgraStride` bytes apart. The planes get
// width x height luma and (width / 2) x (height / 2) of each chroma.
void bgraToYuv420(const std::uint8_t* bgra, int bgraStride, int width, int height,
                  std::uint8_t* const planes[3], const int strides[3]);

} // namespace qrn::media
