#pragma once
// Box blur: every pixel becomes the mean of the (2R + 1) x (2R + 1) square around it, where
// R is the whole radius. Pixels outside the image count as transparent black, so the picture
// fades out towards its edges; the result has the input's size. The cost per pixel does not
// depend on the radius (running sums, horizontal then vertical).
#include "platform/imaging/image.h"

namespace qrn::imaging {

// The whole radius used for a radius in pixels: rounded to the nearest whole number, halves
// up (4.5 gives 5). Radii below 0.5, and anything that is not a number, give 0: the image is
// returned unchanged.
int boxBlurWholeRadius(double radius);

// A box between two whole sizes, for a picture drawn at a size its own box does not divide
// into: the blurs of whole radius `whole` and `whole` + 1 mixed, the larger weighing
// `weight` / 256 (0 to 255). The mix spreads an edge as far as a box of the width between.
struct BoxBlurSize {
    int whole = 0;
    int weight = 0;
    int largest() const { return whole + (weight > 0 ? 1 : 0); }
    bool leavesImageAlone() const { return largest() == 0; }
    bool operator==(const BoxBlurSize&) const = default;
};
// The size for a radius in pixels that need not be whole (2 x radius + 1 pixels wide); below
// 1/512 of a pixel from a whole radius it is that whole radius.
BoxBlurSize boxBlurSize(double radius);
// out = smaller mixed with larger, the larger weighing weight / 256; out may be either input.
void mixBoxBlurRows(const std::uint8_t* smaller, const std::uint8_t* larger, int weight, std::size_t bytes,
                    std::uint8_t* out);

// The blur a row at a time, for callers that make their rows one by one and keep the rows
// around them (the filter chain): vertical sums first, per channel in 16 bits, then across.
// The same bytes as the whole-image blur. Only for whole radii up to this, whose columns of
// 2R + 1 bytes cannot overflow 16 bits.
constexpr int kMaxRowBoxBlurRadius = 128;
// columns[i] += add[i] - remove[i] for `lanes` bytes; a null row counts as zeros.
void slideBoxBlurColumns(std::uint16_t* columns, const std::uint8_t* add, const std::uint8_t* remove,
                         std::size_t lanes);
// A row of `width` pixels from the column sums of the 2R + 1 rows around it (whole radius R).
void boxBlurRowFromColumns(const std::uint16_t* columns, int width, int wholeRadius, std::uint8_t* out);

// Rows [rowBegin, rowEnd) of dst, reading whatever rows of src they need. src and dst have the
// same size and channel order and must not overlap.
void boxBlur(ConstImageView src, ImageView dst, double radius, int rowBegin, int rowEnd);
void boxBlur(ConstImageView src, ImageView dst, BoxBlurSize size, int rowBegin, int rowEnd);
// The whole image, spread over `threads` bands.
Image boxBlur(const Image& src, double radius, int threads = 1);

} // namespace qrn::imaging
