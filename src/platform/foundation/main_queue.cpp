#include "platform/foundation/main_queue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace qrn {

namespace {

struct ManualClock {
    double now = 0;
    double lateness = 0;
    unsigned long long seq = 0;
    // Ordered by due time, then by scheduling order.
    std::map<std::pair<double, unsigned long long>, MainQueue::Task> due;
};

struct State {
    bool manual = false;
    ManualClock clock;
    QElapsedTimer elapsed;
    std::mutex postedMutex;
    std::condition_variable postedCv;
    std::deque<MainQueue::Task> posted;
    // On the event loop: the blocks waiting to run, by number. Qt's queue carries only the
    // number, so Qt never owns (and never destroys, in its own teardown) what a block holds.
    unsigned long long liveSeq = 0;
    std::map<unsigned long long, MainQueue::Task> live;
    // Delayed blocks on the event loop, by due time and then scheduling order, under one Qt timer
    // set for the earliest: Qt keeps its timers in a list that each new one is sorted into, so
    // an open that schedules a block per slide would spend minutes in that list.
    std::map<std::pair<double, unsigned long long>, MainQueue::Task> delayed;
    QPointer<QTimer> delayTimer; // the event loop's thread only
};

State& state() {
    static State s;
    if (!s.elapsed.isValid())
        s.elapsed.start();
    return s;
}

void scheduleManual(double at, MainQueue::Task fn) {
    auto& c = state().clock;
    c.due.emplace(std::make_pair(at, c.seq++), std::move(fn));
}

// Moves blocks posted from other threads onto the manual clock, due now.
void drainPosted() {
    std::deque<MainQueue::Task> tasks;
    {
        std::lock_guard lock(state().postedMutex);
        tasks.swap(state().posted);
    }
    for (auto& t : tasks)
        scheduleManual(state().clock.now, std::move(t));
}

int runDueUpTo(double target) {
    auto& c = state().clock;
    int ran = 0;
    for (;;) {
        drainPosted();
        // A nanosecond of slack keeps sums like 0.1 + 0.2 from missing 0.3.
        if (c.due.empty() || c.due.begin()->first.first > target + 1e-9)
            break;
        auto it = c.due.begin();
        c.now = std::max(c.now, it->first.first);
        auto fn = std::move(it->second);
        c.due.erase(it);
        fn();
        ++ran;
    }
    c.now = std::max(c.now, target);
    return ran;
}

unsigned long long keepLive(MainQueue::Task fn) {
    auto& s = state();
    std::lock_guard lock(s.postedMutex);
    const auto id = ++s.liveSeq;
    s.live.emplace(id, std::move(fn));
    return id;
}

void runLive(unsigned long long id) {
    auto& s = state();
    MainQueue::Task fn;
    {
        std::lock_guard lock(s.postedMutex);
        auto it = s.live.find(id);
        if (it == s.live.end())
            return;
        fn = std::move(it->second);
        s.live.erase(it);
    }
    if (fn)
        fn();
}

void runDelayed();

// Sets the one timer for the earliest delayed block; on the event loop's thread.
void armDelayTimer() {
    auto& s = state();
    auto* app = QCoreApplication::instance();
    if (!app)
        return;
    double first;
    {
        std::lock_guard lock(s.postedMutex);
        if (s.delayed.empty()) {
            if (s.delayTimer)
                s.delayTimer->stop();
            return;
        }
        first = s.delayed.begin()->first.first;
    }
    if (!s.delayTimer) {
        s.delayTimer = new QTimer(app);
        s.delayTimer->setSingleShot(true);
        s.delayTimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(s.delayTimer, &QTimer::timeout, app, [] { runDelayed(); });
    }
    const double wait = std::max(0.0, first - s.elapsed.nsecsElapsed() / 1e9);
    s.delayTimer->start(static_cast<int>(std::ceil(wait * 1000)));
}

// Runs the blocks due by now that were waiting when the timer fired; those they schedule wait
// for the next round, so input and painting get their turn in between as they did.
void runDelayed() {
    auto& s = state();
    const double now = s.elapsed.nsecsElapsed() / 1e9;
    std::vector<MainQueue::Task> due;
    {
        std::lock_guard lock(s.postedMutex);
        // Timers count in whole milliseconds: what is due within half of one runs now.
        while (!s.delayed.empty() && s.delayed.begin()->first.first <= now + 0.0005) {
            due.push_back(std::move(s.delayed.begin()->second));
            s.delayed.erase(s.delayed.begin());
        }
    }
    for (auto& fn : due)
        if (fn)
            fn();
    armDelayTimer();
}

} // namespace

void MainQueue::after(double seconds, Task fn) {
    if (seconds < 0)
        seconds = 0;
    auto& s = state();
    if (s.manual) {
        scheduleManual(s.clock.now + seconds + s.clock.lateness, std::move(fn));
        return;
    }
    auto* app = QCoreApplication::instance();
    if (!app)
        return;
    const double at = s.elapsed.nsecsElapsed() / 1e9 + seconds;
    bool earliest;
    {
        std::lock_guard lock(s.postedMutex);
        earliest = s.delayed.empty() || at < s.delayed.begin()->first.first;
        s.delayed.emplace(std::make_pair(at, ++s.liveSeq), std::move(fn));
    }
    if (!earliest)
        return;
    if (QThread::currentThread() == app->thread())
        armDelayTimer();
    else
        QMetaObject::invokeMethod(
            app, [] { armDelayTimer(); }, Qt::QueuedConnection);
}

void MainQueue::post(Task fn) {
    auto& s = state();
    if (s.manual) {
        {
            std::lock_guard lock(s.postedMutex);
            s.posted.push_back(std::move(fn));
        }
        s.postedCv.notify_all();
        return;
    }
    auto* app = QCoreApplication::instance();
    if (!app)
        return;
    const auto id = keepLive(std::move(fn));
    QMetaObject::invokeMethod(
        app, [id] { runLive(id); }, Qt::QueuedConnection);
}

double MainQueue::now() {
    auto& s = state();
    if (s.manual)
        return s.clock.now;
    return s.elapsed.nsecsElapsed() / 1e9;
}

void MainQueue::useManualClock() {
    auto& s = state();
    s.manual = true;
    // The dropped blocks are destroyed after the new clock is in place: what they hold may
    // schedule again while it goes.
    ManualClock dropped = std::exchange(s.clock, ManualClock{});
    std::deque<Task> droppedPosted;
    {
        std::lock_guard lock(s.postedMutex);
        droppedPosted.swap(s.posted);
    }
}

int MainQueue::discardPending() {
    auto& s = state();
    int dropped = 0;
    // What a dropped block holds may schedule again as it goes; those go too.
    for (;;) {
        std::map<unsigned long long, Task> live;
        std::map<std::pair<double, unsigned long long>, Task> due, delayed;
        std::deque<Task> posted;
        {
            std::lock_guard lock(s.postedMutex);
            live.swap(s.live);
            posted.swap(s.posted);
            delayed.swap(s.delayed);
        }
        due.swap(s.clock.due);
        const auto count = live.size() + due.size() + posted.size() + delayed.size();
        if (count == 0)
            return dropped;
        dropped += static_cast<int>(count);
    }
}

namespace {

// The thread that runs the event loop answers timers and input in short bursts. Kernels that
// take a time-slice request (Linux 6.12 on) let such a thread in as soon as it wakes, instead of
// after a busy worker's longer slice; the encoder and the studio's drawing keep their share.
// Older kernels refuse or ignore it, which changes nothing.
void askForShortTimeSlices() {
    // The kernel's sched_attr as of its first version; C library headers do not declare it.
    struct SchedAttr {
        std::uint32_t size;
        std::uint32_t sched_policy;
        std::uint64_t sched_flags;
        std::int32_t sched_nice;
        std::uint32_t sched_priority;
        std::uint64_t sched_runtime, sched_deadline, sched_period;
    };
    thread_local const bool asked = [] {
        SchedAttr attr{};
        attr.size = sizeof attr;
        attr.sched_policy = SCHED_OTHER;
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        if (errno != 0 || (sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) != SCHED_OTHER)
            return false;
        attr.sched_nice = nice;
        attr.sched_runtime = 1'000'000; // nanoseconds
        // Threads started from here on (workers, encoders) keep the usual slices.
        attr.sched_flags = 0x01; // SCHED_FLAG_RESET_ON_FORK
        return syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
    }();
    (void)asked;
}

} // namespace

void MainQueue::useEventLoop() {
    state().manual = false;
    askForShortTimeSlices();
}

bool MainQueue::isManual() {
    return state().manual;
}

void MainQueue::advance(double seconds) {
    if (!isManual())
        return;
    runDueUpTo(state().clock.now + std::max(0.0, seconds));
}

int MainQueue::runPending() {
    if (!isManual()) {
        QCoreApplication::processEvents();
        return 0;
    }
    return runDueUpTo(state().clock.now);
}

bool MainQueue::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    auto& s = state();
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        if (!s.manual) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (runPending() == 0) {
            std::unique_lock lock(s.postedMutex);
            s.postedCv.wait_for(lock, std::chrono::milliseconds(10), [&] { return !s.posted.empty(); });
        }
    }
    return true;
}

void MainQueue::setManualLatenessForTesting(double seconds) {
    state().clock.lateness = std::max(0.0, seconds);
}

int MainQueue::pendingCount() {
    auto& s = state();
    std::lock_guard lock(s.postedMutex);
    return static_cast<int>(s.clock.due.size() + s.posted.size() + s.live.size() + s.delayed.size());
}

RepeatingTimer::RepeatingTimer(double interval, double tolerance, MainQueue::Task fn)
    : interval_(interval > 0 ? interval : 0.001), tolerance_(tolerance), fn_(std::move(fn)) {}

RepeatingTimer::~RepeatingTimer() {
    stop();
}

void RepeatingTimer::start() {
    stop();
    alive_ = std::make_shared<bool>(true);
    start_ = MainQueue::now();
    ticks_ = 0;
    schedule();
}

void RepeatingTimer::stop() {
    if (alive_)
        *alive_ = false;
    alive_.reset();
}

bool RepeatingTimer::isValid() const {
    return alive_ && *alive_;
}

void RepeatingTimer::schedule() {
    std::weak_ptr<bool> token = alive_;
    const double due = start_ + double(ticks_ + 1) * interval_;
    MainQueue::after(due - MainQueue::now(), [this, token] { fire(token); });
}

void RepeatingTimer::fire(const std::weak_ptr<bool>& token) {
    auto alive = token.lock();
    if (!alive || !*alive)
        return;
    // Every grid point passed by now gets its tick; a tick may stop the timer.
    const double now = MainQueue::now();
    while (*alive && start_ + double(ticks_ + 1) * interval_ <= now + 1e-9) {
        ++ticks_;
        fn_();
    }
    if (*alive)
        schedule();
}

} // namespace qrn
