// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>

namespace zvk {

// Real-time scheduling (SCHED_FIFO at its lowest priority) for as long as it lives, so
// that other processes do not stretch a parallel-port word. The thread's previous policy
// and priority come back when it ends, whatever happened in between; threads started
// meanwhile begin at normal priority (SCHED_RESET_ON_FORK). Where raising is not
// permitted it does nothing, and takeRealtimeRefusal() says why once.
class RealtimePriority {
  public:
    explicit RealtimePriority(bool wanted = true);
    ~RealtimePriority();
    RealtimePriority(const RealtimePriority&) = delete;
    RealtimePriority& operator=(const RealtimePriority&) = delete;
    bool raised() const { return raised_; }

  private:
    bool raised_ = false;
    int policy_ = 0;
    int priority_ = 0;
};

// Why real-time priority was refused, the first time it was in this run; nullopt before
// that and ever after.
std::optional<std::string> takeRealtimeRefusal();

// How a desktop user is given real-time priority.
inline constexpr const char* kRealtimeFix =
    "allow it with a line such as \"@lp - rtprio 1\" in a file under "
    "/etc/security/limits.d/, then log in again";

// Whether this process may raise itself to real-time priority, and if not why; nullopt
// when it may.
std::optional<std::string> realtimeNotAllowed();

}  // namespace zvk
