#pragma once
// A benchmark of the whole application runs it as a process of its own, as the presenter starts
// QRN: the launch is counted from the moment the program is started, and the memory the process
// reaches is the application's alone. On a display it gets a virtual one of its own (Xvfb with
// openbox, each in a session of its own), so its window is framed and painted as on a desktop.
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace benchsupport {

// An X display with a window manager, for as long as the object lives.
class virtualDisplay {
  public:
    virtualDisplay();
    ~virtualDisplay();
    virtualDisplay(const virtualDisplay&) = delete;
    virtualDisplay& operator=(const virtualDisplay&) = delete;

    // ":N", or empty when the server did not start.
    const std::string& name() const { return name_; }
    // The server's process id, or -1.
    int server() const { return server_; }

  private:
    std::string name_;
    int server_ = -1;
    int windowManager_ = -1;
};

// Nanoseconds of CLOCK_MONOTONIC, which every process of the machine reads alike.
long long monotonicNanoseconds();

// Has the machine back `megabytes` of free memory by touching them once and letting them go, just
// before a process is started: a virtual machine hands the host memory that has lain free a couple
// of seconds, and the first process to touch it again pays for the host's faults in the kernel
// (a third of a second on the main thread for 500 pictures), which a presenter's machine never does.
void backFreeMemory(size_t megabytes);

// The environment's changes that give a process started by runForFigures settings, recent
// documents, runtime and temporary folders of its own below `folder` (made here), so that no
// running QRN takes its launch.
std::map<std::string, std::string> foldersOfItsOwn(const std::filesystem::path& folder);

// Runs `program` with `arguments`, its environment changed by `environment` (an empty value
// removes the variable), and collects the "name=value" lines it prints on its standard output;
// none when it could not be started or did not end with status 0 within `seconds`.
std::optional<std::map<std::string, double>>
runForFigures(const std::string& program, const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& environment, double seconds);

} // namespace benchsupport
