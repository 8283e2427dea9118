#include "platform/graphics/animated_value.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/main_queue.h"

namespace qrn::graphics {

struct AnimatedValue::State {
    double value = 0;
    double from = 0;
    double to = 0;
    double start = 0;
    double duration = 0;
    bool running = false;
    // Every animate and set takes a new generation; steps and completions of an older one stop.
    unsigned generation = 0;
    std::function<void()> completion;
    std::function<void(double)> onChange;

    double current() const {
        if (!running)
            return value;
        const double u = std::clamp((MainQueue::now() - start) / duration, 0.0, 1.0);
        return from + (to - from) * u;
    }
    void apply(double v) {
        value = v;
        if (onChange)
            onChange(v);
    }
};

namespace {

void scheduleCompletion(const std::weak_ptr<AnimatedValue::State>&, unsigned, std::function<void()>);

} // namespace

AnimatedValue::AnimatedValue(double value) : state_(std::make_shared<State>()) {
    state_->value = value;
}

AnimatedValue::~AnimatedValue() = default;

double AnimatedValue::value() const {
    return state_->current();
}

bool AnimatedValue::isAnimating() const {
    return state_->running;
}

double AnimatedValue::target() const {
    return state_->running ? state_->to : state_->value;
}

void AnimatedValue::setOnChange(std::function<void(double)> fn) {
    state_->onChange = std::move(fn);
}

void AnimatedValue::setValue(double value) {
    State& s = *state_;
    ++s.generation;
    s.running = false;
    s.completion = nullptr;
    s.apply(value);
}

void AnimatedValue::stop() {
    setValue(value());
}

namespace {

// Steps one animation until it ends or a newer generation takes over.
void step(const std::weak_ptr<AnimatedValue::State>& weak, unsigned generation) {
    auto s = weak.lock();
    if (!s || s->generation != generation || !s->running)
        return;
    const double now = MainQueue::now();
    if (now - s->start >= s->duration) {
        s->running = false;
        auto completion = std::move(s->completion);
        s->completion = nullptr;
        s->apply(s->to);
        if (completion && s->generation == generation)
            completion();
        return;
    }
    s->apply(s->current());
    // The next step keeps to the display-rate ticks counted from the start, so a late step is
    // not followed by a full interval's wait.
    const double elapsed = now - s->start;
    const double next =
        (std::floor(elapsed / AnimatedValue::stepInterval + 1e-6) + 1) * AnimatedValue::stepInterval;
    MainQueue::after(std::max(0.001, next - elapsed), [weak, generation] { step(weak, generation); });
}

void scheduleCompletion(const std::weak_ptr<AnimatedValue::State>& weak, unsigned generation,
                        std::function<void()> completion) {
    if (!completion)
        return;
    MainQueue::after(0, [weak, generation, completion = std::move(completion)] {
        auto s = weak.lock();
        if (s && s->generation == generation)
            completion();
    });
}

} // namespace

void AnimatedValue::animate(double target, double duration, std::function<void()> completion) {
    State& s = *state_;
    const double from = s.current();
    const unsigned generation = ++s.generation;
    if (!(duration > 0) || !std::isfinite(duration)) {
        s.running = false;
        s.completion = nullptr;
        s.apply(target);
        scheduleCompletion(state_, generation, std::move(completion));
        return;
    }
    s.from = from;
    s.to = target;
    s.start = MainQueue::now();
    s.duration = duration;
    s.running = true;
    s.completion = std::move(completion);
    std::weak_ptr<State> weak = state_;
    MainQueue::after(stepInterval, [weak, generation] { step(weak, generation); });
}

} // namespace qrn::graphics
