#include "platform/graphics/animation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qrn::graphics {

std::optional<double> KeyframeAnimation::valueAtFraction(double f) const {
    if (values.empty())
        return std::nullopt;
    const size_t n = values.size();
    if (n == 1)
        return values[0];
    auto keyTime = [&](size_t i) {
        if (keyTimes.size() == n)
            return keyTimes[i];
        return double(i) / double(n - 1);
    };
    if (f < keyTime(0))
        return values[0];
    // The last keyframe whose time has been reached: with equal key times this picks the later
    // one, which is what makes a pair of equal times a cut.
    size_t i = 0;
    while (i + 1 < n && keyTime(i + 1) <= f)
        ++i;
    if (i + 1 >= n)
        return values[n - 1];
    double t0 = keyTime(i), t1 = keyTime(i + 1);
    if (t1 <= t0)
        return values[i + 1];
    double u = (f - t0) / (t1 - t0);
    return values[i] + (values[i + 1] - values[i]) * u;
}

std::optional<double> KeyframeAnimation::valueAt(double t) const {
    if (values.empty() || !(duration > 0) || !(repeatCount > 0))
        return std::nullopt;
    double local = t - beginTime;
    if (local < 0)
        return std::nullopt;
    double active = duration * repeatCount; // infinite for ever-repeating animations
    if (local >= active) {
        if (removedOnCompletion)
            return std::nullopt;
        // Holding: the value at the end of the last cycle (a fractional repeat count ends mid-cycle).
        double rest = std::fmod(repeatCount, 1.0);
        return valueAtFraction(rest > 0 ? rest : 1.0);
    }
    double f = std::fmod(local, duration) / duration;
    return valueAtFraction(f);
}

bool KeyframeAnimation::isActiveAfter(double t) const {
    if (values.size() < 2 || !(duration > 0))
        return false;
    return t < beginTime + duration * repeatCount;
}

double KeyframeAnimation::nextChangeAfter(double t) const {
    constexpr double never = std::numeric_limits<double>::infinity();
    if (!isActiveAfter(t))
        return never;
    const double local = t - beginTime;
    if (local < 0)
        return beginTime;
    const size_t n = values.size();
    const auto keyTime = [&](size_t i) {
        return keyTimes.size() == n ? keyTimes[i] : double(i) / double(n - 1);
    };
    const double cycle = std::floor(local / duration);
    const double cycleStart = beginTime + cycle * duration;
    const double f = local / duration - cycle;
    // The stretch between neighbouring key times that holds f (before the first key: the first
    // value holds), then past it any change too short to be seen as one.
    size_t i = 0;
    while (i + 1 < n && keyTime(i + 1) <= f)
        ++i;
    constexpr double cut = 1e-3;
    const auto span = [&](size_t k) { return (keyTime(k + 1) - keyTime(k)) * duration; };
    double next;
    if (f < keyTime(0)) {
        next = keyTime(0);
        i = 0;
    } else if (i + 1 >= n) {
        next = 1; // held to the end of the cycle
    } else if (values[i] != values[i + 1] && span(i) >= cut) {
        return t;
    } else {
        next = keyTime(++i);
    }
    while (i + 1 < n && span(i) < cut)
        next = keyTime(++i);
    return std::min(cycleStart + next * duration, beginTime + duration * repeatCount);
}

} // namespace qrn::graphics
