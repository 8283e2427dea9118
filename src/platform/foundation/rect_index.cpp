#include "platform/foundation/rect_index.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qrn {

namespace {

float down(double v) {
    const float f = float(v);
    return double(f) > v ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}

float up(double v) {
    const float f = float(v);
    return double(f) < v ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

} // namespace

void RectIndex::clear() {
    rects_.clear();
    byStart_.clear();
    reach_.clear();
}

void RectIndex::rebuild(std::size_t count, const std::function<Rect(std::size_t)>& rectOf) {
    rects_.resize(count);
    double spread[2][2] = {
        {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()},
        {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}};
    for (std::size_t i = 0; i < count; ++i) {
        const Rect r = rectOf(i);
        Box& b = rects_[i];
        b = {{down(r.minX()), down(r.minY())}, {up(r.maxX()), up(r.maxY())}};
        // A rectangle that is not a number meets everything: it is kept as the whole plane.
        for (int a = 0; a < 2; ++a) {
            if (std::isnan(b.lo[a]) || std::isnan(b.hi[a])) {
                b.lo[a] = -std::numeric_limits<float>::infinity();
                b.hi[a] = std::numeric_limits<float>::infinity();
            }
            spread[a][0] = std::min(spread[a][0], double(b.lo[a]));
            spread[a][1] = std::max(spread[a][1], double(b.lo[a]));
        }
    }
    axis_ = spread[1][1] - spread[1][0] > spread[0][1] - spread[0][0] ? 1 : 0;
    const auto before = [this](std::uint32_t a, std::uint32_t b) {
        return rects_[a].lo[axis_] < rects_[b].lo[axis_];
    };
    // A strip is laid out in order already, but for a few (a tile raised over the others): those
    // in order are kept as they come, the few others sorted and merged in.
    byStart_.clear();
    byStart_.reserve(count);
    std::vector<std::uint32_t> others;
    for (std::size_t i = 0; i < count; ++i) {
        const auto item = std::uint32_t(i);
        if (byStart_.empty() || !before(item, byStart_.back()))
            byStart_.push_back(item);
        else
            others.push_back(item);
    }
    if (!others.empty()) {
        std::sort(others.begin(), others.end(), before);
        const auto inOrder = std::ptrdiff_t(byStart_.size());
        byStart_.insert(byStart_.end(), others.begin(), others.end());
        std::inplace_merge(byStart_.begin(), byStart_.begin() + inOrder, byStart_.end(), before);
    }
    reach_.resize(count);
    float reach = -std::numeric_limits<float>::infinity();
    for (std::size_t i = 0; i < count; ++i)
        reach_[i] = reach = std::max(reach, rects_[byStart_[i]].hi[axis_]);
}

Rect RectIndex::rectOf(std::size_t item) const {
    const Box& b = rects_[item];
    return Rect(b.lo[0], b.lo[1], double(b.hi[0]) - b.lo[0], double(b.hi[1]) - b.lo[1]);
}

void RectIndex::forEachMeeting(const Rect& area, const std::function<void(std::size_t)>& found) const {
    const double lo[2] = {area.minX(), area.minY()}, hi[2] = {area.maxX(), area.maxY()};
    if (std::isnan(lo[0]) || std::isnan(lo[1]) || std::isnan(hi[0]) || std::isnan(hi[1])) {
        for (std::size_t i = 0; i < rects_.size(); ++i)
            found(i);
        return;
    }
    const int a = axis_, o = 1 - axis_;
    // The first item that reaches the area's start; from there on, those that start by its end.
    auto i = std::size_t(std::lower_bound(reach_.begin(), reach_.end(), lo[a],
                                          [](float reach, double start) { return double(reach) < start; }) -
                         reach_.begin());
    for (; i < byStart_.size(); ++i) {
        const Box& b = rects_[byStart_[i]];
        if (double(b.lo[a]) > hi[a])
            break;
        if (double(b.hi[a]) >= lo[a] && double(b.lo[o]) <= hi[o] && double(b.hi[o]) >= lo[o])
            found(byStart_[i]);
    }
}

} // namespace qrn
