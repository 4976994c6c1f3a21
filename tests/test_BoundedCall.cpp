// SPDX-License-Identifier: MIT
// The bound on calls that sleep in the kernel, on real blocking calls: a read on an empty
// pipe and a flock another descriptor holds. Nothing here measures time: a call that is
// never interrupted hangs the test, which the test runner's time-out reports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include "transport/BoundedCall.h"

namespace zvk {
namespace {

struct Pipe {
    Pipe() { EXPECT_EQ(pipe(fd), 0); }
    ~Pipe() {
        close(fd[0]);
        close(fd[1]);
    }
    int fd[2] = {-1, -1};
};

TEST(BoundedCall, InterruptsCallsThatWouldSleepForEver) {
    using namespace std::chrono_literals;
    Pipe p;  // the write end stays open: the read has nothing to wait for but the signal
    char c = 0;
    errno = 0;
    EXPECT_EQ(boundedCall(20ms, [&] { return int(read(p.fd[0], &c, 1)); }), -1);
    EXPECT_EQ(errno, EINTR);

    char name[] = "/tmp/zvk-bounded-XXXXXX";
    const int holder = mkstemp(name);
    ASSERT_GE(holder, 0);
    const int waiter = open(name, O_RDWR | O_CLOEXEC);
    ASSERT_GE(waiter, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    errno = 0;
    EXPECT_EQ(boundedCall(20ms, [&] { return flock(waiter, LOCK_EX); }), -1);
    EXPECT_EQ(errno, EINTR);
    // Once the holder lets go the same wait succeeds.
    ASSERT_EQ(flock(holder, LOCK_UN), 0);
    EXPECT_EQ(boundedCall(20ms, [&] { return flock(waiter, LOCK_EX); }), 0);
    close(waiter);
    close(holder);
    unlink(name);
}

TEST(BoundedCall, LeavesACallThatReturnsAloneAndLaterCallsUntouched) {
    using namespace std::chrono_literals;
    Pipe p;
    ASSERT_EQ(write(p.fd[1], "x", 1), 1);
    char c = 0;
    EXPECT_EQ(boundedCall(10s, [&] { return int(read(p.fd[0], &c, 1)); }), 1);
    EXPECT_EQ(c, 'x');
    // The timer is off after the call: a blocking read afterwards is ended by the data a
    // thread writes, not by a signal left over.
    std::thread writer([&] { EXPECT_EQ(write(p.fd[1], "y", 1), 1); });
    EXPECT_EQ(read(p.fd[0], &c, 1), 1);
    writer.join();
    EXPECT_EQ(c, 'y');
    // Each thread has its own timer.
    std::thread other([] {
        Pipe q;
        char d = 0;
        EXPECT_EQ(boundedCall(20ms, [&] { return int(read(q.fd[0], &d, 1)); }), -1);
        EXPECT_EQ(errno, EINTR);
    });
    other.join();
}

}  // namespace
}  // namespace zvk
