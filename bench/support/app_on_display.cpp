#include "support/app_on_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

extern char** environ;

namespace benchsupport {

namespace {

// The strings an exec needs, made before the fork: a child of a threaded process may only make
// async-signal-safe calls until it execs.
struct commandLine {
    std::vector<std::string> storage;
    std::vector<char*> pointers;
    explicit commandLine(std::vector<std::string> words) : storage(std::move(words)) {
        for (auto& word : storage)
            pointers.push_back(word.data());
        pointers.push_back(nullptr);
    }
};

commandLine environmentWith(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> words;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!changes.contains(entry.substr(0, entry.find('='))))
            words.push_back(entry);
    }
    for (const auto& [name, value] : changes)
        if (!value.empty())
            words.push_back(name + "=" + value);
    return commandLine(std::move(words));
}

// Starts a program in a session of its own, its standard output to `out` (or /dev/null when
// -1) and `keep` left open for it; the process id, or -1.
pid_t startInSession(const std::vector<std::string>& words, const commandLine& environment, int out = -1,
                     int keep = -1) {
    commandLine command(words);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    setsid();
    const int nothing = open("/dev/null", O_RDWR);
    dup2(nothing, STDIN_FILENO);
    dup2(out >= 0 ? out : nothing, STDOUT_FILENO);
    if (out < 0)
        dup2(nothing, STDERR_FILENO);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keep)
            close(fd);
    execvpe(command.pointers[0], command.pointers.data(), environment.pointers.data());
    _exit(127);
}

void endSession(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(-pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        usleep(20000);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    pid = -1;
}

} // namespace

long long monotonicNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

virtualDisplay::virtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0)
        return;
    // The server picks a free display number and writes it to the descriptor it is given.
    server_ = startInSession(
        {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"},
        environmentWith({}), -1, fds[1]);
    close(fds[1]);
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&wait, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty()) {
        endSession(server_);
        return;
    }
    name_ = ":" + number;
    windowManager_ = startInSession({"openbox"}, environmentWith({{"DISPLAY", name_}}));
    // The manager takes the screen within a moment; a window shown before would go unframed.
    usleep(1000000);
}

virtualDisplay::~virtualDisplay() {
    endSession(windowManager_);
    endSession(server_);
}

void backFreeMemory(size_t megabytes) {
    const size_t bytes = megabytes << 20;
    void* block =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (block != MAP_FAILED)
        munmap(block, bytes);
}

std::map<std::string, std::string> foldersOfItsOwn(const std::filesystem::path& folder) {
    for (const char* sub : {"home", "tmp", "runtime", "config", "data", "cache"})
        std::filesystem::create_directories(folder / sub);
    std::filesystem::permissions(folder / "runtime", std::filesystem::perms::owner_all);
    return {{"HOME", (folder / "home").string()},
            {"TMPDIR", (folder / "tmp").string()},
            {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
            {"XDG_CONFIG_HOME", (folder / "config").string()},
            {"XDG_DATA_HOME", (folder / "data").string()},
            {"XDG_CACHE_HOME", (folder / "cache").string()}};
}

std::optional<std::map<std::string, double>>
runForFigures(const std::string& program, const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& environment, double seconds) {
    int fds[2];
    if (pipe(fds) != 0)
        return std::nullopt;
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const commandLine changed = environmentWith(environment);
    // Its errors go to ours, where a failed run says why.
    commandLine command(words);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        dup2(fds[1], STDOUT_FILENO);
        for (int fd = 3; fd < 1024; ++fd)
            close(fd);
        execve(command.pointers[0], command.pointers.data(), changed.pointers.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return std::nullopt;
    }
    std::string output;
    const long long deadline = monotonicNanoseconds() + (long long)(seconds * 1e9);
    char buffer[4096];
    for (;;) {
        const long long left = deadline - monotonicNanoseconds();
        pollfd wait{fds[0], POLLIN, 0};
        if (left <= 0 || poll(&wait, 1, int(left / 1000000) + 1) <= 0)
            break;
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        output.append(buffer, size_t(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0 && monotonicNanoseconds() < deadline)
        usleep(10000);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    std::map<std::string, double> figures;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (const auto equals = line.find('='); equals != std::string::npos)
            figures[line.substr(0, equals)] = std::strtod(line.c_str() + equals + 1, nullptr);
    return figures;
}

} // namespace benchsupport
