#pragma once
// Splitting a frame into bands of rows so that a kernel can run on several threads. Every
// kernel gives the same bytes for a band as for the same rows of the whole image.
#include <functional>

#include "platform/imaging/image.h"

namespace qrn::imaging {

// The number of threads the filters use when the caller does not say: the shared worker
// pool's, which is the cores the process may run on.
int defaultThreadCount();

// Calls fn(rowBegin, rowEnd) for `bands` consecutive bands covering rows [0, height), on up
// to `bands` threads of the shared worker pool (the calling thread takes bands too), and
// returns when all are done.
void forEachBand(int height, int bands, const std::function<void(int, int)>& fn);

// Fills rows [rowBegin, rowEnd) of dst from src.
using RowKernel = std::function<void(ConstImageView src, ImageView dst, int rowBegin, int rowEnd)>;

// A new image like `src` that `kernel` fills on `threads` bands; a null source gives a null image.
Image runInBands(const Image& src, int threads, const RowKernel& kernel);

} // namespace qrn::imaging
