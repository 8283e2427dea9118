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

// Rows [rowBegin, rowEnd) of dst, reading whatever rows of src they need. src and dst have the
// same size and channel order and must not overlap.
void boxBlur(ConstImageView src, ImageView dst, double radius, int rowBegin, int rowEnd);
// The whole image, spread over `threads` bands.
Image boxBlur(const Image& src, double radius, int threads = 1);

} // namespace qrn::imaging
