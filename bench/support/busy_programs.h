#pragma once
// Programs that keep the first `count` of the cores this process may use busy while they live,
// one each. Each runs in a session of its own, as another program on the machine does: inside
// this process's session it would share QRN's scheduling group (autogroup), where QRN's many
// threads outweigh it and the wait it causes hides.
#include <sys/types.h>

#include <vector>

namespace benchsupport {

class busyPrograms {
  public:
    explicit busyPrograms(int count);
    ~busyPrograms();
    busyPrograms(const busyPrograms&) = delete;
    busyPrograms& operator=(const busyPrograms&) = delete;

  private:
    std::vector<pid_t> pids_;
};

} // namespace benchsupport
