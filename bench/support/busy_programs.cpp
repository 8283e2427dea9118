#include "support/busy_programs.h"

#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace benchsupport {

busyPrograms::busyPrograms(int count) {
    char sh[] = "sh", c[] = "-c", loop[] = "while :; do :; done";
    char* argv[] = {sh, c, loop, nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    cpu_set_t cores;
    CPU_ZERO(&cores);
    (void)sched_getaffinity(0, sizeof cores, &cores);
    int cpu = 0;
    for (int i = 0; i < count; ++i) {
        while (cpu < CPU_SETSIZE && !CPU_ISSET(cpu, &cores))
            ++cpu;
        pid_t pid = 0;
        if (posix_spawnp(&pid, "sh", nullptr, &attributes, argv, environ) != 0)
            continue;
        pids_.push_back(pid);
        if (cpu < CPU_SETSIZE) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu++, &one);
            (void)sched_setaffinity(pid, sizeof one, &one);
        }
    }
    posix_spawnattr_destroy(&attributes);
}

busyPrograms::~busyPrograms() {
    for (pid_t pid : pids_) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

} // namespace benchsupport
