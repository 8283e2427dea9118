#pragma once
// Presenters run QRN as ordinary users, who may lower a thread's priority but never raise it
// again; tests and benchmarks run as root. While one of these lives, the thread that made it
// (and every thread it starts) works under an ordinary user's limits: CAP_SYS_NICE is out of its
// effective capabilities, and the process's soft RLIMIT_NICE is 0, as Debian sets it. Both come
// back at the end.
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

class withoutRaisingPriority {
  public:
    withoutRaisingPriority() {
        getrlimit(RLIMIT_NICE, &limit_);
        rlimit none = limit_;
        none.rlim_cur = 0;
        limited_ = setrlimit(RLIMIT_NICE, &none) == 0;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (syscall(SYS_capget, &header, caps_) != 0)
            return;
        __user_cap_data_struct without[2] = {caps_[0], caps_[1]};
        without[CAP_TO_INDEX(CAP_SYS_NICE)].effective &= ~CAP_TO_MASK(CAP_SYS_NICE);
        dropped_ = syscall(SYS_capset, &header, without) == 0;
    }
    ~withoutRaisingPriority() {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (dropped_)
            (void)syscall(SYS_capset, &header, caps_);
        if (limited_)
            (void)setrlimit(RLIMIT_NICE, &limit_);
    }
    withoutRaisingPriority(const withoutRaisingPriority&) = delete;
    withoutRaisingPriority& operator=(const withoutRaisingPriority&) = delete;

    // Whether the limits are in force.
    bool ok() const { return dropped_ && limited_; }

  private:
    rlimit limit_{};
    __user_cap_data_struct caps_[2]{};
    bool limited_ = false, dropped_ = false;
};
