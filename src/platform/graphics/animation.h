#pragma once
// Keyframe animation of a layer property (opacity is the one the renderer reads), evaluated at
// an absolute time t on the media timeline, so the same tree plays identically in a window and
// in an exported movie.
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace qrn::graphics {

struct KeyframeAnimation {
    static constexpr double repeatForever = std::numeric_limits<double>::infinity();
    // Begin time zero is the start of the media timeline (the first frame of an export, the
    // start of the host window's clock), not the moment the animation was added.
    static constexpr double mediaZero = 0.0;

    std::string keyPath = "opacity";
    std::vector<double> values;
    // Fractions of the duration, non-decreasing, one per value; empty spreads the values evenly.
    // Two equal key times make a cut: the later value applies from that time on.
    std::vector<double> keyTimes;
    double duration = 0;
    // Number of cycles; `repeatForever` repeats indefinitely.
    double repeatCount = 1;
    double beginTime = mediaZero;
    // When false the last value holds after the animation has finished.
    bool removedOnCompletion = false;

    // Linear interpolation between neighbouring keyframes. None before the begin time, after
    // completion of a removed-on-completion animation, or when the animation cannot play.
    std::optional<double> valueAt(double t) const;
    // Value at a fraction of one cycle (0...1).
    std::optional<double> valueAtFraction(double fraction) const;
    // True while the value can still change after time t (the host keeps redrawing for it).
    bool isActiveAfter(double t) const;
    // The first time from t on at which the value may differ from its value at t: t itself while
    // it changes gradually, the end of a held stretch (a frame of a GIF) otherwise, infinity
    // once it no longer changes. A change over less than a millisecond counts as a cut, and the
    // time given is where it has been made.
    double nextChangeAfter(double t) const;
};

} // namespace qrn::graphics
