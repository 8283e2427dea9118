#pragma once
// A layer's content filters, run in order on its picture. Consecutive image filters run as one
// pass over the picture: each band of rows is carried through every filter of the run while
// its rows are still in the cache, with the rows above and below that the later filters need,
// instead of one full pass per filter with the threads joining in between. The bytes are those
// of running the filters one after another.
#include <vector>

#include "platform/graphics/content_filter.h"

namespace qrn::imaging {

// `image` is Format_ARGB32_Premultiplied, and so is the result. Null filters, and filters whose
// result has another size, are passed over.
// Parameters in a picture's own pixels follow the size it is drawn at: `drawn` is the size in
// pixels of `image` that the layer's picture covers (empty: the whole image). A filter counts in
// its own size (ContentFilter::ownSize), else in `own` when given (a camera's frames), else in
// the image's pixels.
QImage applyContentFilters(const std::vector<graphics::ContentFilterPtr>& filters, const QImage& image,
                           QSizeF drawn = {}, QSize own = {});
// The scale applyContentFilters gives `filter`.
double contentFilterScale(const graphics::ContentFilter& filter, QSizeF drawn, QSize own);

} // namespace qrn::imaging
