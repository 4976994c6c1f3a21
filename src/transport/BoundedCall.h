// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <functional>

namespace zvk {

// Runs a system call that may sleep in the kernel for ever (PPCLAIM on a port another
// driver holds, flock on a lock another process keeps) and interrupts it after limit.
// The calling thread gets a timer signal of its own whose handler is installed without
// SA_RESTART, so the call returns -1 with EINTR; the timer keeps firing until the call
// is back, so a signal that came just before the call went to sleep is no hang either.
// Returns the call's result; -1 with errno EINTR when the limit ran out (an interruption
// before the limit by another signal is retried).
int boundedCall(std::chrono::milliseconds limit, const std::function<int()>& call);

}  // namespace zvk
