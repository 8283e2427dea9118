#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/imaging/filters.h"
#include "platform/imaging/worker_pool.h"

#include "green_key.h"

using namespace qrn::imaging;

namespace {

// Counts how often each part ran.
struct Tally {
    explicit Tally(int n) : runs(static_cast<size_t>(n)) {}
    std::vector<std::atomic<int>> runs;
    bool eachOnce() const {
        for (const auto& r : runs)
            if (r.load() != 1)
                return false;
        return true;
    }
};

QImage camera(int w, int h, unsigned seed) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            // Mostly green with noise, so the key clears some pixels and blends others.
            row[x] = qRgba(int(rng() % 80), 120 + int(rng() % 136), int(rng() % 90), 255);
    }
    return img;
}

QImage threeFilters(const QImage& src, int threads) {
    ColourCubeFilter key(greenKeyCube(16));
    BoxBlurFilter blur(4);
    MedianFilter median;
    for (ImageFilter* f : std::initializer_list<ImageFilter*>{&key, &blur, &median})
        f->setThreadCount(threads);
    return median.apply(blur.apply(key.apply(src))).copy();
}

} // namespace

TEST(WorkerPool, SharedPoolIsSizedByTheUsableCoresAndRunsEveryPartOnceWhoeverHelps) {
    WorkerPool& pool = WorkerPool::shared();
    EXPECT_EQ(pool.threadCount(), usableCores());
    EXPECT_FALSE(pool.isWorkerThread());
    for (auto caller : {WorkerPool::Caller::Helps, WorkerPool::Caller::Waits})
        for (int threads : {0, 1, 2, 5, 64})
            for (int count : {1, 2, 3, 17}) {
                Tally tally(count);
                std::atomic<int> onCaller{0};
                const auto me = std::this_thread::get_id();
                pool.forEach(
                    count, threads,
                    [&](int i) {
                        tally.runs[size_t(i)]++;
                        if (std::this_thread::get_id() == me)
                            onCaller++;
                    },
                    caller);
                EXPECT_TRUE(tally.eachOnce()) << threads << " " << count;
                if (caller == WorkerPool::Caller::Waits)
                    EXPECT_EQ(onCaller.load(), 0);
            }
    pool.forEach(0, 2, [](int) { FAIL(); });
}

TEST(WorkerPool, ACallerThatWaitsGetsEveryThreadItAsksForAtOnceAndNoMore) {
    for (int threads : {2, 3, 4}) {
        WorkerPool pool(4);
        // Each of the first `threads` parts waits for all of them to have started: the call only
        // finishes if every helper it asked for runs at the same time as the others. A call
        // short of helpers is let go after a while, and fails.
        std::mutex mutex;
        std::condition_variable arrived;
        int waiting = 0;
        bool giveUp = false, together = true;
        std::set<std::thread::id> seen;
        auto call = std::async(std::launch::async, [&] {
            pool.forEach(
                12, threads,
                [&](int i) {
                    std::unique_lock lock(mutex);
                    seen.insert(std::this_thread::get_id());
                    if (i >= threads)
                        return;
                    if (++waiting == threads)
                        arrived.notify_all();
                    arrived.wait(lock, [&] { return waiting == threads || giveUp; });
                    together = together && waiting == threads;
                },
                WorkerPool::Caller::Waits);
        });
        if (call.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            std::lock_guard lock(mutex);
            giveUp = true;
            arrived.notify_all();
        }
        call.get();
        EXPECT_TRUE(together) << "helpers missing: " << threads;
        EXPECT_EQ(seen.size(), size_t(threads));
    }
}

TEST(WorkerPool, FiltersGiveTheSameBytesOnAnyNumberOfThreadsAndFromSeveralCallersAtOnce) {
    const QImage src = camera(203, 157, 3);
    const QImage one = threeFilters(src, 1);
    for (int threads : {0, 2, 3, 7, 157})
        EXPECT_EQ(threeFilters(src, threads), one) << threads;

    // Callers on threads of their own share the pool, as the export's composers do.
    std::vector<std::future<QImage>> results;
    for (int k = 0; k < 4; ++k)
        results.push_back(std::async(std::launch::async, [&src, k] { return threeFilters(src, 1 + k); }));
    for (auto& r : results)
        EXPECT_EQ(r.get(), one);
}

TEST(WorkerPool, NestedCallsFinishEvenWhenEveryThreadIsBusyAndErrorsReachTheCaller) {
    // One thread: the inner calls cannot wait for a free thread, their callers do the work.
    WorkerPool pool(1);
    std::atomic<int> inner{0};
    std::atomic<bool> insideSeen{false};
    pool.forEach(
        3, 0,
        [&](int) {
            if (pool.isWorkerThread())
                insideSeen = true;
            pool.forEach(4, 4, [&](int) { inner++; });
        },
        WorkerPool::Caller::Waits);
    EXPECT_EQ(inner.load(), 12);
    EXPECT_TRUE(insideSeen.load());

    // Several outside callers, each nesting, at once.
    WorkerPool two(2);
    std::atomic<long> sum{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < 4; ++c)
        callers.emplace_back([&] {
            for (int round = 0; round < 20; ++round)
                two.forEach(3, 0, [&](int i) { two.forEach(5, 0, [&](int j) { sum += i * 5 + j; }); });
        });
    for (auto& t : callers)
        t.join();
    EXPECT_EQ(sum.load(), 4L * 20 * (14 * 15 / 2));

    // Every part still runs; the first failure is what the caller sees.
    Tally tally(9);
    EXPECT_THROW(two.forEach(9, 0,
                             [&](int i) {
                                 tally.runs[size_t(i)]++;
                                 if (i % 4 == 1)
                                     throw std::runtime_error("part failed");
                             }),
                 std::runtime_error);
    EXPECT_TRUE(tally.eachOnce());
}

TEST(WorkerPool, HelpersThatStartLateAndAPoolThatEndsTouchNothingOfAFinishedCall) {
    auto pool = std::make_unique<WorkerPool>(1);
    std::promise<void> started, release;
    auto releaseFuture = release.get_future().share();
    // Keep the only thread busy.
    std::thread busy([&] {
        pool->forEach(
            1, 1,
            [&](int) {
                started.set_value();
                releaseFuture.wait();
            },
            WorkerPool::Caller::Waits);
    });
    started.get_future().wait();
    {
        // Its helpers queue behind the busy thread; the caller does every part and returns.
        std::vector<int> seen(6, 0);
        pool->forEach(6, 6, [&seen](int i) { seen[size_t(i)]++; });
        EXPECT_EQ(seen, std::vector<int>(6, 1));
    } // `seen` and the call's work are gone before the queued helpers run
    release.set_value();
    busy.join();
    // Waits for the late helpers, then lets the thread go.
    pool.reset();
    SUCCEED();
}

TEST(WorkerPool, PostedWorkRunsOnAPoolThreadAndOneThatThrowsLeavesThePoolWorking) {
    WorkerPool pool(1);
    std::promise<bool> ranOnPool, ranAfterThrow;
    pool.post([&] { throw std::runtime_error("a picture that cannot be read"); });
    pool.post([&] { ranOnPool.set_value(pool.isWorkerThread()); });
    pool.post([&] { ranAfterThrow.set_value(true); });
    EXPECT_TRUE(ranOnPool.get_future().get());
    EXPECT_TRUE(ranAfterThrow.get_future().get());
    // A band call from outside still finishes while posted work is queued.
    std::atomic<int> parts{0};
    for (int i = 0; i < 4; ++i)
        pool.post([&] { parts.fetch_add(1); });
    pool.forEach(
        3, 0, [&](int) { parts.fetch_add(100); }, WorkerPool::Caller::Waits);
    EXPECT_GE(parts.load(), 300);
}

TEST(WorkerPool, APoolOfItsOwnWaitsForItsPostedWorkBeforeItGoes) {
    std::atomic<int> done{0};
    {
        WorkerPool pool(2);
        for (int i = 0; i < 16; ++i)
            pool.post([&] { done.fetch_add(1); });
    }
    EXPECT_EQ(done.load(), 16);
}
