// SPDX-License-Identifier: MIT
#include "transport/Violation.h"

namespace zvk {

std::string_view violationName(ViolationKind kind) {
    static constexpr std::string_view kNames[kViolationKinds] = {
        "data-with-clock-edge", "enable-with-clock", "clock-high-at-enable-edge",
        "clock-while-enabled",  "short-frame",       "latch-without-spisel",
        "request-length",       "unknown-command",   "unknown-selector",
        "before-configure",
    };
    const auto i = size_t(kind);
    return i < size_t(kViolationKinds) ? kNames[i] : "unknown";
}

}  // namespace zvk
