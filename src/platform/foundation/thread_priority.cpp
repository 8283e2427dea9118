#include "platform/foundation/thread_priority.h"

#include <sched.h>

namespace qrn {

bool giveWayToTheMainThread() {
    if (sched_getscheduler(0) == SCHED_BATCH)
        return true;
    sched_param none{};
    return sched_setscheduler(0, SCHED_BATCH, &none) == 0;
}

} // namespace qrn
