#pragma once
// Finds, among many rectangles, those that may meet an area, without looking at each: a long
// strip's tiles, of which a paint or a pointer event concerns the few in sight. Built once over
// the rectangles (rounded outwards), it answers with a superset of those that meet the area,
// edges touching included, and costs about the logarithm of their number plus what it returns
// and what lies beside that along the strip.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/foundation/geometry.h"

namespace qrn {

class RectIndex {
  public:
    // Starts again over `count` items, item i lying in `rectOf(i)`. An empty rectangle still
    // counts as the line or point it is.
    void rebuild(std::size_t count, const std::function<Rect(std::size_t)>& rectOf);
    void clear();
    std::size_t size() const { return rects_.size(); }
    // The rectangle kept for item i, at least as large as the one given.
    Rect rectOf(std::size_t item) const;
    // Calls `found` with each item whose rectangle may meet `area`, in no particular order.
    void forEachMeeting(const Rect& area, const std::function<void(std::size_t)>& found) const;

  private:
    struct Box {
        float lo[2], hi[2];
    };
    // The items by where they start along `axis_` (the one they spread over the most), with the
    // furthest any of them up to there reaches: items before the first that reaches the area's
    // start cannot meet it.
    int axis_ = 0;
    std::vector<Box> rects_;
    std::vector<std::uint32_t> byStart_;
    std::vector<float> reach_;
};

} // namespace qrn
