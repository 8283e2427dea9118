#include "platform/imaging/worker_pool.h"

#include <QThread>
#include <QThreadPool>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace qrn::imaging {

int usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

WorkerPool& WorkerPool::shared() {
    static WorkerPool pool(QThreadPool::globalInstance());
    return pool;
}

WorkerPool::WorkerPool(QThreadPool* pool) : pool_(pool), owned_(false) {
    pool_->setMaxThreadCount(usableCores());
    // Threads that expire have to be started again for the next frame.
    pool_->setExpiryTimeout(-1);
}

WorkerPool::WorkerPool(int threads) : pool_(new QThreadPool), owned_(true) {
    pool_->setMaxThreadCount(std::max(1, threads));
    pool_->setExpiryTimeout(-1);
}

WorkerPool::~WorkerPool() {
    if (!owned_)
        return; // Qt's own pool ends with the process
    pool_->waitForDone();
    delete pool_;
}

namespace {
thread_local int runHereDepth = 0;
} // namespace

WorkerPool::RunHere::RunHere() {
    ++runHereDepth;
}
WorkerPool::RunHere::~RunHere() {
    --runHereDepth;
}
bool WorkerPool::RunHere::active() {
    return runHereDepth > 0;
}

int WorkerPool::threadCount() const {
    return RunHere::active() ? 1 : std::max(1, pool_->maxThreadCount());
}

bool WorkerPool::isWorkerThread() const {
    return pool_->contains(QThread::currentThread());
}

void WorkerPool::forEach(int count, int threads, const std::function<void(int)>& work, Caller caller) {
    if (count <= 0)
        return;
    threads = threads > 0 ? threads : threadCount();
    const bool inPool = isWorkerThread();
    const bool helps = caller == Caller::Helps || inPool;
    if (RunHere::active() || (std::min(threads, count) == 1 && helps)) {
        std::exception_ptr error;
        for (int i = 0; i < count; ++i) {
            try {
                work(i);
            } catch (...) {
                if (!error)
                    error = std::current_exception();
            }
        }
        if (error)
            std::rethrow_exception(error);
        return;
    }
    struct Job {
        std::atomic<int> next{0};
        // Helpers still to be started, each by the one before it.
        std::atomic<int> unstarted{0};
        std::mutex mutex;
        std::condition_variable finished;
        int done = 0;
        std::exception_ptr error;
    };
    auto job = std::make_shared<Job>();
    // A helper that starts after the last part was taken touches only `job`, which it keeps
    // alive; `work` is only reached through a part not yet done, so it is still the caller's.
    auto take = [job, count, &work] {
        for (int i = job->next.fetch_add(1); i < count; i = job->next.fetch_add(1)) {
            std::exception_ptr error;
            try {
                work(i);
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(job->mutex);
            if (error && !job->error)
                job->error = error;
            if (++job->done == count)
                job->finished.notify_all();
        }
    };
    // Each helper starts the next one before it takes parts, rather than the caller waking them
    // all at once: woken together by one thread, the scheduler tends to queue them on the same
    // idle core, where they take turns for milliseconds while another core stays idle. A helper
    // waking the next from its own core leaves it the cores that are really free.
    struct Chain {
        std::shared_ptr<Job> job;
        QThreadPool* pool;
        std::function<void()> take;
        int count;
        void operator()() const {
            if (job->next.load() < count && job->unstarted.fetch_sub(1) > 0)
                pool->start(*this);
            take();
        }
    };
    const int helpers = std::min(threads, count) - (helps ? 1 : 0);
    if (helpers > 0) {
        job->unstarted = helpers - 1;
        pool_->start(Chain{job, pool_, take, count});
    }
    if (helps)
        take();
    std::unique_lock lock(job->mutex);
    job->finished.wait(lock, [&] { return job->done == count; });
    if (job->error)
        std::rethrow_exception(job->error);
}

void WorkerPool::post(std::function<void()> work) {
    // Below the default priority of forEach's parts.
    constexpr int background = -1;
    pool_->start(
        [work = std::move(work)] {
            try {
                work();
            } catch (...) {
            }
        },
        background);
}

} // namespace qrn::imaging
