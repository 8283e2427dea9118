#include "platform/foundation/work_progress.h"

#include <exception>
#include <thread>

namespace qrn {

namespace {
ProgressRunner& runner() {
    static ProgressRunner r;
    return r;
}
} // namespace

void setProgressRunner(ProgressRunner r) {
    runner() = std::move(r);
}

void runWithProgress(const std::string& title, const std::function<void(WorkProgress&)>& work) {
    WorkProgress progress;
    std::exception_ptr thrown;
    const std::function<void()> body = [&] {
        try {
            work(progress);
        } catch (...) {
            thrown = std::current_exception();
        }
    };
    if (runner())
        runner()(title, progress, body);
    else
        std::thread(body).join();
    if (thrown)
        std::rethrow_exception(thrown);
}

} // namespace qrn
