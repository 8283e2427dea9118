#pragma once
// Work the presenter waits for that may take longer than a moment (copying a package): it runs
// on a worker thread while the windows keep drawing, and says how far it has come.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace qrn {

// Bytes done of the total; written by the worker, read by whoever shows the progress.
struct WorkProgress {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
};

// Runs `work` on a worker thread and returns once it has finished (an exception it throws is
// thrown here). While it runs the windows keep drawing but take no input, so nothing the work
// reads changes under it; past half a second a progress window titled `title` shows the bytes
// done of the total. At the usual priority: the presenter is waiting for it.
void runWithProgress(const std::string& title, const std::function<void(WorkProgress&)>& work);

// The Qt layer installs the waiting: it starts `work` on a thread of its own, keeps the event
// loop turning and shows the window. Without one the calling thread waits for the worker.
using ProgressRunner =
    std::function<void(const std::string& title, WorkProgress& progress, const std::function<void()>& work)>;
void setProgressRunner(ProgressRunner runner);

} // namespace qrn
