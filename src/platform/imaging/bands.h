#pragma once
// Splitting a frame into bands of rows so that a kernel can run on several threads. Every
// kernel gives the same bytes for a band as for the same rows of the whole image.
#include <functional>

namespace qrn::imaging {

// The number of threads the filters use when the caller does not say: the machine's cores.
int defaultThreadCount();

// Calls fn(rowBegin, rowEnd) for `bands` consecutive bands covering rows [0, height), on up
// to `bands` threads (the calling thread takes one band), and returns when all are done.
void forEachBand(int height, int bands, const std::function<void(int, int)>& fn);

} // namespace qrn::imaging
