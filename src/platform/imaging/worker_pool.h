#pragma once
// The process's one pool of threads for work split into bands: the filters, the renderer's
// bands, composition. It is Qt's global thread pool, sized to the cores this process may run on
// and kept alive between frames, so a frame never waits for threads to start; and Qt's own
// image code, which spreads large conversions and scalings over that pool unless it already
// runs on one of its threads, never stacks a second set of threads on ours.
#include <functional>

class QThreadPool;

namespace qrn::imaging {

class WorkerPool {
  public:
    // The pool the preview, the studio and the export share.
    static WorkerPool& shared();

    // A pool of its own with `threads` threads, for work that must not wait behind the shared one.
    explicit WorkerPool(int threads);
    // Waits for the parts it is running; a pool of its own then lets its threads go.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Threads that may work at once for the calling thread: 1 under a RunHere.
    int threadCount() const;
    // Whether the calling thread is one of the pool's.
    bool isWorkerThread() const;

    // Who runs parts besides the pool's threads.
    enum class Caller {
        // The calling thread takes parts too.
        Helps,
        // A thread outside the pool only waits (one of the pool's always helps: it is a thread
        // the pool would otherwise be short of).
        Waits,
    };

    // Runs work(0) .. work(count - 1) on up to `threads` threads at once (0: threadCount()) and
    // returns when all have run. Parts are taken in order by whichever thread is free, so a call
    // from inside the pool, or from several threads at once, always finishes: its caller works
    // through what no one else has taken. The first exception a part throws is rethrown here
    // once every part is done.
    void forEach(int count, int threads, const std::function<void(int)>& work, Caller caller = Caller::Helps);

    // While one lives on a thread, every forEach called there runs all its parts on that thread
    // and puts nothing on the pool. For threads that gave way to everything else: the pool's
    // lock, taken by such a thread and held while it is preempted, or its parts queued ahead of
    // others', would hold up the presenter's windows, whose painting waits on the pool too.
    class RunHere {
      public:
        RunHere();
        ~RunHere();
        RunHere(const RunHere&) = delete;
        RunHere& operator=(const RunHere&) = delete;
        // Whether the calling thread is inside one.
        static bool active();
    };

    // Runs `work` once on one of the pool's threads and returns at once: for work that goes on
    // behind the screen (pictures decoding after a project opened). It queues behind nothing:
    // parts of forEach started later still go first, so a frame waits at most for one piece of
    // it. An exception it throws is dropped.
    void post(std::function<void()> work);

  private:
    explicit WorkerPool(QThreadPool* pool);
    QThreadPool* pool_;
    bool owned_;
};

// The cores this process may run on (a pinned process has fewer than the machine).
int usableCores();

} // namespace qrn::imaging
