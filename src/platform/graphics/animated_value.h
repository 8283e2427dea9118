#pragma once
// A number that moves linearly to a target over a duration, stepped on the main queue at display
// rate (as view fades are). Each step computes the value from the clock, so a late step lands
// where the value should be at that moment instead of lagging behind, and the value can be read
// between steps. Whoever shows the value listens through setOnChange.
#include <functional>
#include <memory>

namespace qrn::graphics {

class AnimatedValue {
  public:
    explicit AnimatedValue(double value = 0);
    ~AnimatedValue();
    AnimatedValue(const AnimatedValue&) = delete;
    AnimatedValue& operator=(const AnimatedValue&) = delete;

    // The value at this moment, mid-animation included.
    double value() const;
    // Sets the value at once; a running animation stops there and its completion is not called.
    void setValue(double value);
    // Freezes a running animation where it stands (setValue(value())).
    void stop();
    // Moves from the current value to `target` over `duration` seconds with linear timing; a
    // duration of 0 or less (or one that is not finite) sets the target at once. The completion
    // runs on the main queue when the target is reached, unless a newer animate, setValue or
    // stop came first.
    void animate(double target, double duration, std::function<void()> completion = {});
    bool isAnimating() const;
    // The target of the running animation, or the value when none runs.
    double target() const;

    // Called with the new value each time the shown value changes (each step, each set).
    void setOnChange(std::function<void(double)> fn);
    // Interval between steps, in seconds.
    static constexpr double stepInterval = 1.0 / 60;

    // The moving parts, shared with the pending steps (which hold it weakly).
    struct State;

  private:
    std::shared_ptr<State> state_;
};

} // namespace qrn::graphics
