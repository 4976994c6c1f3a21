// SPDX-License-Identifier: MIT
#include "transport/Priority.h"

#include <sched.h>
#include <sys/resource.h>

#include <cerrno>
#include <mutex>

namespace zvk {

namespace {

std::mutex refusalMutex;
std::optional<std::string> pendingRefusal;
bool refusalNoted = false;

std::string refusalReason() {
    rlimit limit{};
    std::string text = "real-time priority not permitted";
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0)
        text += " (RLIMIT_RTPRIO is " +
                (limit.rlim_cur == RLIM_INFINITY ? std::string("unlimited")
                                                 : std::to_string(limit.rlim_cur)) +
                ")";
    return text;
}

std::string refusalText() {
    return refusalReason() + "; write cycles run at normal priority: " + kRealtimeFix;
}

void noteRefusal() {
    std::lock_guard<std::mutex> lock(refusalMutex);
    if (refusalNoted) return;
    refusalNoted = true;
    pendingRefusal = refusalText();
}

// Back to policy and priority. Without CAP_SYS_NICE the reset-on-fork flag cannot be
// cleared again; keeping it only means threads started later begin at normal priority.
void restore(int policy, int priority) {
    sched_param p{};
    p.sched_priority = priority;
    if (sched_setscheduler(0, policy, &p) != 0)
        sched_setscheduler(0, policy | SCHED_RESET_ON_FORK, &p);
}

}  // namespace

RealtimePriority::RealtimePriority(bool wanted) {
    if (!wanted) return;
    const int policy = sched_getscheduler(0);
    sched_param previous{};
    if (policy < 0 || sched_getparam(0, &previous) != 0) return;
    sched_param p{};
    p.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &p) != 0) {
        if (errno == EPERM) noteRefusal();
        return;
    }
    raised_ = true;
    policy_ = policy;
    priority_ = previous.sched_priority;
}

RealtimePriority::~RealtimePriority() {
    if (raised_) restore(policy_, priority_);
}

std::optional<std::string> takeRealtimeRefusal() {
    std::lock_guard<std::mutex> lock(refusalMutex);
    std::optional<std::string> r = std::move(pendingRefusal);
    pendingRefusal.reset();
    return r;
}

std::optional<std::string> realtimeNotAllowed() {
    // Tried and undone at once, without counting as the run's refusal: the write cycles
    // still tell theirs.
    const int policy = sched_getscheduler(0);
    sched_param previous{};
    if (policy < 0 || sched_getparam(0, &previous) != 0) return refusalReason();
    if ((policy & ~SCHED_RESET_ON_FORK) == SCHED_FIFO) return std::nullopt;
    sched_param p{};
    p.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &p) != 0) return refusalReason();
    restore(policy, previous.sched_priority);
    return std::nullopt;
}

}  // namespace zvk
