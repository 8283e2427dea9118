#pragma once
// Splitting a frame into bands of rows so that a kernel can run on several threads. Every
// kernel gives the same bytes for a band as for the same rows of the whole image.
#include <functional>
#include <mutex>
#include <vector>

#include "platform/imaging/image.h"

namespace qrn::imaging {

// The number of threads the filters use when the caller does not say: the shared worker
// pool's, which is the cores the process may run on.
int defaultThreadCount();

// Calls fn(rowBegin, rowEnd) for `bands` consecutive bands covering rows [0, height), on up
// to `bands` threads of the shared worker pool (the calling thread takes bands too), and
// returns when all are done.
void forEachBand(int height, int bands, const std::function<void(int, int)>& fn);

// Rows of an image handed out to the parts of a pool call, for work that is cheaper carried on
// down the rows than started afresh (each start makes some rows above it again). Part i starts
// on the i-th of equal shares and goes down it a few rows at a time; a part whose share is done
// takes the lower half of what is left of the share with most left, when that is worth a fresh
// start. So a part whose core is busy with other work does not hold the image back, and fresh
// starts happen once a part, plus once a split.
class RowShares {
  public:
    // `chunkRows`: rows handed out at a time; `minimumTake`: the fewest rows worth a fresh start.
    RowShares(int height, int parts, int chunkRows, int minimumTake);
    // The next rows [begin, end) for part `part`; false when there are none left for it.
    // `fresh` tells whether they do not carry on from the part's last rows.
    bool next(int part, int& begin, int& end, bool& fresh);

  private:
    struct Share {
        int next, end;
        bool started = false;
    };
    std::mutex mutex_;
    std::vector<Share> shares_;
    int chunk_, minimumTake_;
};

// Fills rows [rowBegin, rowEnd) of dst from src.
using RowKernel = std::function<void(ConstImageView src, ImageView dst, int rowBegin, int rowEnd)>;

// A new image like `src` that `kernel` fills on `threads` bands; a null source gives a null image.
Image runInBands(const Image& src, int threads, const RowKernel& kernel);

} // namespace qrn::imaging
