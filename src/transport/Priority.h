// SPDX-License-Identifier: MIT
#pragma once

namespace zvk {

// Real-time scheduling for the duration of a write cycle, so that other processes do not
// stretch a parallel-port word. Silently does nothing where it is not permitted.
void raiseToRealtimePriority();
// Back to the normal policy, whatever the policy was before the raise.
void backToNormalPriority();

}  // namespace zvk
