// SPDX-License-Identifier: MIT
#include "transport/BoundedCall.h"

#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace zvk {

namespace {

// A real-time signal nothing else of ours uses; Qt and glibc keep off them.
int timerSignal() {
    return SIGRTMIN + 3;
}

void wakeUp(int) {}

void installHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = wakeUp;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no SA_RESTART: the sleeping call must come back
        sigaction(timerSignal(), &sa, nullptr);
    });
}

// The thread's own timer, made at its first bounded call and deleted with the thread.
class ThreadTimer {
  public:
    ThreadTimer() {
        struct sigevent ev {};
        ev.sigev_notify = SIGEV_THREAD_ID;
        ev.sigev_signo = timerSignal();
        ev._sigev_un._tid = pid_t(syscall(SYS_gettid));
        ok_ = timer_create(CLOCK_MONOTONIC, &ev, &id_) == 0;
    }
    ~ThreadTimer() {
        if (ok_) timer_delete(id_);
    }
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;
    bool arm(std::chrono::nanoseconds first, std::chrono::nanoseconds every) {
        itimerspec t{};
        t.it_value = timespecOf(first);
        t.it_interval = timespecOf(every);
        return ok_ && timer_settime(id_, 0, &t, nullptr) == 0;
    }
    void disarm() {
        if (!ok_) return;
        itimerspec t{};
        timer_settime(id_, 0, &t, nullptr);
    }

  private:
    static timespec timespecOf(std::chrono::nanoseconds ns) {
        if (ns.count() <= 0) ns = std::chrono::nanoseconds(1);
        return {time_t(ns.count() / 1000000000), long(ns.count() % 1000000000)};
    }
    timer_t id_{};
    bool ok_ = false;
};

}  // namespace

int boundedCall(std::chrono::milliseconds limit, const std::function<int()>& call) {
    installHandler();
    thread_local ThreadTimer timer;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    // Again and again after the first expiry: one signal can land between the check and
    // the kernel's sleep, the next one will not.
    if (!timer.arm(limit, std::chrono::milliseconds(5))) {
        // No timer to be had: better a call that may sleep than one never made.
        return call();
    }
    int result;
    int err;
    for (;;) {
        result = call();
        err = errno;
        if (result != -1 || err != EINTR || Clock::now() >= deadline) break;
    }
    timer.disarm();
    errno = err;
    return result;
}

}  // namespace zvk
