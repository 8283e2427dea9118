#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/main_queue.h"

using namespace qrn;

TEST(MainQueue, ManualClockRunsBlocksInTimeOrderThenSchedulingOrder) {
    std::vector<std::string> ran;
    MainQueue::after(0.5, [&] { ran.push_back("b"); });
    MainQueue::after(0.2, [&] { ran.push_back("a"); });
    MainQueue::after(0.5, [&] { ran.push_back("c"); });
    MainQueue::after(1.0, [&] { ran.push_back("late"); });

    MainQueue::advance(0.19);
    EXPECT_TRUE(ran.empty());
    MainQueue::advance(0.31);
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_DOUBLE_EQ(MainQueue::now(), 0.5);
    EXPECT_EQ(MainQueue::pendingCount(), 1);
}

TEST(MainQueue, BlocksScheduledWhileAdvancingRunWhenTheyFallDueInTheSameAdvance) {
    std::vector<double> times;
    MainQueue::after(0.1, [&] {
        times.push_back(MainQueue::now());
        MainQueue::after(0.1, [&] { times.push_back(MainQueue::now()); });
    });
    MainQueue::advance(1.0);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_DOUBLE_EQ(times[0], 0.1);
    EXPECT_DOUBLE_EQ(times[1], 0.2);
}

TEST(MainQueue, PostFromAnotherThreadRunsOnTheMainThread) {
    auto mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    bool done = false;
    std::thread worker([&] { MainQueue::post([&] { ranOn = std::this_thread::get_id(), done = true; }); });
    worker.join();
    EXPECT_TRUE(MainQueue::runUntil([&] { return done; }, 5));
    EXPECT_EQ(ranOn, mainThread);
}

TEST(MainQueue, GenerationCounterDropsSupersededBlocks) {
    GenerationCounter generation(10000);
    int fired = 0, lastValue = 0;
    auto debounced = [&](int value) {
        int mine = generation.increment();
        MainQueue::after(0.5, [&, mine, value] {
            if (generation.isCurrent(mine))
                ++fired, lastValue = value;
        });
    };
    debounced(1);
    MainQueue::advance(0.1);
    debounced(2);
    MainQueue::advance(0.1);
    debounced(3);
    MainQueue::advance(0.49);
    EXPECT_EQ(fired, 0);
    MainQueue::advance(0.01);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(lastValue, 3);
}

TEST(MainQueue, GenerationCounterWrapsAtItsBound) {
    GenerationCounter g(3);
    EXPECT_EQ(g.increment(), 1);
    EXPECT_EQ(g.increment(), 2);
    EXPECT_EQ(g.increment(), 0);
    EXPECT_TRUE(g.isCurrent(0));
}

TEST(RepeatingTimer, FiresEveryIntervalUntilStopped) {
    int ticks = 0;
    RepeatingTimer timer(1.0, 0.1, [&] { ++ticks; });
    timer.start();
    MainQueue::advance(3.5);
    EXPECT_EQ(ticks, 3);
    timer.stop();
    MainQueue::advance(3);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer.isValid());
}

TEST(RepeatingTimer, DestroyedTimerNeverFires) {
    int ticks = 0;
    {
        RepeatingTimer timer(0.5, 0, [&] { ++ticks; });
        timer.start();
    }
    MainQueue::advance(2);
    EXPECT_EQ(ticks, 0);
}

// Every firing runs late (a busy main thread): ticks stay on their grid instead of drifting.
TEST(RepeatingTimer, LateFiringsKeepToTheGrid) {
    int ticks = 0;
    MainQueue::setManualLatenessForTesting(0.02);
    RepeatingTimer timer(1.0, 0.25, [&] { ++ticks; });
    timer.start();
    MainQueue::advance(612.05);
    EXPECT_EQ(ticks, 612);
    EXPECT_EQ(timer.ticks(), 612);

    // Later than a whole interval: one tick per grid point passed, none twice.
    ticks = 0;
    MainQueue::setManualLatenessForTesting(2.5);
    timer.start();
    MainQueue::advance(3.4);
    EXPECT_EQ(ticks, 0);
    MainQueue::advance(0.2);
    EXPECT_EQ(ticks, 3);
    MainQueue::advance(10);
    EXPECT_EQ(ticks, 12);
    MainQueue::setManualLatenessForTesting(0);
}

TEST(RepeatingTimer, ATickMayStopOrRestartItsTimer) {
    int ticks = 0;
    RepeatingTimer stopper(1.0, 0, [&] {
        if (++ticks == 2)
            stopper.stop();
    });
    stopper.start();
    MainQueue::setManualLatenessForTesting(5);
    MainQueue::advance(20);
    EXPECT_EQ(ticks, 2);
    MainQueue::setManualLatenessForTesting(0);

    ticks = 0;
    RepeatingTimer restarter(1.0, 0, [&] {
        if (++ticks == 1)
            restarter.start();
    });
    restarter.start();
    MainQueue::advance(1.5);
    EXPECT_EQ(ticks, 1);
    MainQueue::advance(1.0);
    EXPECT_EQ(ticks, 2);
}

TEST(MainQueue, DiscardingPendingDropsBlocksOnEitherClockAndThoseTheyScheduleAsTheyGo) {
    struct Reschedules {
        explicit Reschedules(int* d) : destroyed(d) {}
        int* destroyed;
        ~Reschedules() {
            ++*destroyed;
            // A block dropped while it goes may schedule another; that one goes too.
            if (*destroyed == 1)
                qrn::MainQueue::after(0, [] { ADD_FAILURE() << "ran after discard"; });
        }
    };
    int destroyed = 0;
    bool ran = false;
    {
        auto holder = std::make_shared<Reschedules>(&destroyed);
        qrn::MainQueue::after(1, [holder] {});
        qrn::MainQueue::post([&ran] { ran = true; });
    }
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(qrn::MainQueue::discardPending(), 3);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(qrn::MainQueue::pendingCount(), 0);
    qrn::MainQueue::advance(5);
    EXPECT_FALSE(ran);

    // On the event loop Qt carries only a number; the block is ours to drop.
    qrn::MainQueue::useEventLoop();
    destroyed = 0;
    {
        auto holder = std::make_shared<Reschedules>(&destroyed);
        qrn::MainQueue::after(0, [holder] {});
    }
    EXPECT_EQ(qrn::MainQueue::pendingCount(), 1);
    EXPECT_GE(qrn::MainQueue::discardPending(), 1);
    EXPECT_EQ(destroyed, 1);
    QCoreApplication::processEvents();
    qrn::MainQueue::discardPending();
    qrn::MainQueue::useManualClock();
}

namespace {

// The kernel's time slice of a thread of this process, where the kernel shows it.
std::optional<long> timeSlice(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/sched");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("se.slice", 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    return std::nullopt;
}

} // namespace

// The thread that runs the event loop asks for short time slices and nothing more: its nice
// value (a presenter may start QRN under nice) and its policy stay, and the threads it starts
// afterwards have the usual slices, or the workers would be as eager as it is.
TEST(MainQueueEventLoop, ItsThreadKeepsItsNiceAndItsWorkersTheUsualSlices) {
    std::thread([] {
        ASSERT_EQ(setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 3), 0);
        const auto before = timeSlice(gettid());
        MainQueue::useEventLoop();
        MainQueue::useManualClock();
        errno = 0;
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), 3);
        EXPECT_EQ(errno, 0);
        EXPECT_EQ(sched_getscheduler(0) & ~SCHED_RESET_ON_FORK, SCHED_OTHER);

        std::optional<long> worker;
        std::thread([&] { worker = timeSlice(gettid()); }).join();
        const auto after = timeSlice(gettid());
        if (!before || !after || *after == *before)
            GTEST_SKIP() << "this kernel keeps one slice for every thread";
        EXPECT_LT(*after, *before);
        ASSERT_TRUE(worker);
        EXPECT_EQ(*worker, *before);
    }).join();
}

// On the event loop delayed blocks run by due time, then in scheduling order, also when a worker
// thread schedules one; a block scheduled by a running block waits for a later round. An open
// that schedules a block per slide (100,000 here) runs them all at once rather than sorting each into a
// list of timers (the bound is far above the normal figure: it guards against that bomb).
TEST(MainQueueEventLoop, DelayedBlocksRunInDueOrderAndThousandsCostLittle) {
    MainQueue::useEventLoop();
    std::vector<int> order;
    MainQueue::after(1.0, [&] { order.push_back(3); });
    MainQueue::after(0.01, [&] {
        order.push_back(1);
        MainQueue::after(0, [&] { order.push_back(5); });
    });
    MainQueue::after(0.01, [&] { order.push_back(2); });
    std::thread([&] { MainQueue::after(0.5, [&] { order.push_back(4); }); }).join();
    EXPECT_TRUE(MainQueue::runUntil([&] { return order.size() == 5; }, 10));
    // The worker's block was due before the last one, whatever the thread.
    EXPECT_EQ(order, (std::vector<int>{1, 2, 5, 4, 3}));

    const auto started = std::chrono::steady_clock::now();
    int ran = 0;
    for (int i = 0; i < 100000; ++i)
        MainQueue::after(0.05 + (i % 100) * 1e-4, [&ran] { ++ran; });
    EXPECT_TRUE(MainQueue::runUntil([&] { return ran == 100000; }, 60));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    MainQueue::discardPending();
    MainQueue::useManualClock();
}
