// SPDX-License-Identifier: MIT
// Real-time priority for the write cycles: whatever happens while it is raised, the
// thread ends with the policy it had, and threads started meanwhile are not real-time.
#include <gtest/gtest.h>
#include <sched.h>

#include <stdexcept>
#include <thread>

#include "transport/Priority.h"

namespace zvk {
namespace {

struct Policy {
    int policy;
    int priority;
    bool operator==(const Policy&) const = default;
};

Policy current() {
    sched_param p{};
    sched_getparam(0, &p);
    return {sched_getscheduler(0), p.sched_priority};
}

class RealtimePriorityTest : public ::testing::Test {
  protected:
    void SetUp() override { before_ = current(); }
    void TearDown() override {
        sched_param p{};
        p.sched_priority = before_.priority;
        sched_setscheduler(0, before_.policy, &p);
    }
    Policy before_{};
};

TEST_F(RealtimePriorityTest, ThePreviousPolicyComesBackEvenAfterAnException) {
    // A policy other than the normal one, as a batch job would run under.
    sched_param none{};
    ASSERT_EQ(sched_setscheduler(0, SCHED_BATCH, &none), 0);
    const Policy batch = current();
    bool raised = false;
    try {
        RealtimePriority p;
        raised = p.raised();
        if (raised) {
            EXPECT_EQ(sched_getscheduler(0), SCHED_FIFO | SCHED_RESET_ON_FORK);
            int childPolicy = -1;
            std::thread([&] { childPolicy = sched_getscheduler(0); }).join();
            EXPECT_EQ(childPolicy, SCHED_OTHER) << "a thread started meanwhile is not real-time";
        }
        throw std::runtime_error("a transfer failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(current(), batch) << (raised ? "after raising" : "without raising");
}

TEST_F(RealtimePriorityTest, ARefusalIsToldOnceAndNothingIsRaisedWhenNotWanted) {
    {
        RealtimePriority off(false);
        EXPECT_FALSE(off.raised());
        EXPECT_EQ(current(), before_);
    }
    bool raised;
    {
        RealtimePriority p;
        raised = p.raised();
    }
    const auto first = takeRealtimeRefusal();
    if (raised) {
        EXPECT_FALSE(first.has_value());
        EXPECT_FALSE(realtimeNotAllowed().has_value());
        return;
    }
    ASSERT_TRUE(first.has_value());
    EXPECT_NE(first->find("rtprio"), std::string::npos) << *first;
    { RealtimePriority again; }
    EXPECT_FALSE(takeRealtimeRefusal().has_value()) << "once per run";
    EXPECT_TRUE(realtimeNotAllowed().has_value());
}

}  // namespace
}  // namespace zvk
