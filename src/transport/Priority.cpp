// SPDX-License-Identifier: MIT
#include "transport/Priority.h"

#include <sched.h>

namespace zvk {

void raiseToRealtimePriority() {
    sched_param p{};
    p.sched_priority = sched_get_priority_min(SCHED_FIFO);
    sched_setscheduler(0, SCHED_FIFO, &p);
}

void backToNormalPriority() {
    sched_param p{};
    p.sched_priority = 0;
    sched_setscheduler(0, SCHED_OTHER, &p);
}

}  // namespace zvk
