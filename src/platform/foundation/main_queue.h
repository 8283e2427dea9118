#pragma once
// The main queue: delayed blocks and repeating timers, all run on the main thread.
// In the application they run on the Qt event loop; tests switch to a manual clock that they
// advance themselves, so no test sleeps.
#include <functional>
#include <memory>

namespace qrn {

class MainQueue {
  public:
    using Task = std::function<void()>;

    // Runs `fn` on the main thread `seconds` from now (0: as soon as possible, after the current
    // work). Blocks due at the same time run in the order they were scheduled.
    static void after(double seconds, Task fn);
    // Safe from any thread: runs `fn` on the main thread soon.
    static void post(Task fn);
    // Seconds since the clock started; on the manual clock, the time advanced so far.
    static double now();

    // Switches to a manual clock at time 0, dropping anything scheduled. For tests.
    static void useManualClock();
    // Switches back to the Qt event loop.
    static void useEventLoop();
    static bool isManual();
    // Manual clock: moves time forward, running every block that falls due, in time order.
    static void advance(double seconds);
    // Manual clock: runs blocks posted from other threads and blocks due now. Returns how many ran.
    static int runPending();
    // Manual clock: keeps running posted blocks (waiting up to `timeoutSeconds` of real time)
    // until `done` returns true. Returns `done()`.
    static bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    // Number of blocks waiting on the manual clock.
    static int pendingCount();
    // Drops every block still waiting, on either clock, destroying what they hold here and now
    // (blocks scheduled while they go are dropped too). Returns how many were dropped. The
    // application calls it when its event loop has ended, before the windows and Qt go.
    static int discardPending();
    // Manual clock: every block scheduled from now on runs this many seconds after it is due,
    // as on a busy main thread. For tests of code that must not add up lateness.
    static void setManualLatenessForTesting(double seconds);
};

// A timer that fires every `interval` seconds on the main queue until stopped or destroyed.
// Ticks keep to a fixed grid: tick k is due at start + k * interval, however late the ones
// before it ran, so lateness never adds up. A firing that comes later than the next grid point
// catches up, once per grid point passed.
class RepeatingTimer {
  public:
    RepeatingTimer(double interval, double tolerance, MainQueue::Task fn);
    ~RepeatingTimer();
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;

    void start();
    void stop();
    bool isValid() const;
    double interval() const { return interval_; }
    double tolerance() const { return tolerance_; }

    // Ticks fired since the last start.
    long long ticks() const { return ticks_; }

  private:
    void schedule();
    void fire(const std::weak_ptr<bool>& token);
    double interval_, tolerance_;
    MainQueue::Task fn_;
    std::shared_ptr<bool> alive_;
    double start_ = 0;
    long long ticks_ = 0;
};

// Generation counter for debouncing: each call takes a new generation, and a delayed block
// acts only when the generation it captured is still the current one.
class GenerationCounter {
  public:
    // Values run from 0 up to bound - 1, then wrap to 0.
    explicit GenerationCounter(int bound = 10000) : bound_(bound) {}
    int increment() {
        value_ = (value_ + 1) % bound_;
        return value_;
    }
    int value() const { return value_; }
    bool isCurrent(int v) const { return v == value_; }
    void reset() { value_ = 0; }
    // Takes a value in range as it stands (wrapped into it otherwise).
    void set(int v) { value_ = ((v % bound_) + bound_) % bound_; }

  private:
    int bound_;
    int value_ = 0;
};

} // namespace qrn
