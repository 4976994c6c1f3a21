// SPDX-License-Identifier: MIT
#include "transport/Trace.h"

namespace zvk {

Trace::Trace(Clock& clock, size_t keep)
    : clock_(&clock), keep_(keep), start_(clock.now()), frequency_(clock.frequency()) {}

void Trace::record(TraceEvent event) {
    event.ticks = clock_->now();
    ++recorded_;
    if (keep_ != 0 && events_.size() == keep_) events_.pop_front();
    events_.push_back(event);
    if (listener_) listener_(events_.back());
}

double Trace::microseconds(const TraceEvent& e) const {
    return double(e.ticks - start_) * 1e6 / double(frequency_ == 0 ? 1 : frequency_);
}

}  // namespace zvk
