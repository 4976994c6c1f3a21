// SPDX-License-Identifier: MIT
#include "transport/Trace.h"

namespace zvk {

Trace::Trace(Clock& clock, size_t keep)
    : clock_(&clock), keep_(keep), start_(clock.now()), frequency_(clock.frequency()) {}

// Both record()s in one body: the one-value form runs on every port access of a trace and
// must not pay a second call.
[[gnu::always_inline]] inline void Trace::store(TraceEvent& event) {
    event.ticks = clock_->now();
    ++recorded_;
    if (keep_ != 0 && events_.size() == keep_) events_.pop_front();
    events_.push_back(event);
    if (listener_) listener_(events_.back());
}

void Trace::record(TraceEvent event) {
    store(event);
}

void Trace::record(TraceEvent::Kind kind, uint16_t a) {
    TraceEvent event{.kind = kind, .a = a};
    store(event);
}

double Trace::microseconds(const TraceEvent& e) const {
    return double(e.ticks - start_) * 1e6 / double(frequency_ == 0 ? 1 : frequency_);
}

}  // namespace zvk
