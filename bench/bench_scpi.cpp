// SPDX-License-Identifier: MIT
// What remote control costs: SCPI commands over the loopback through the real server and
// the real command set on a virtual-board session, one round trip each (a client that
// waits for every reply, as PyVISA's query does) and pipelined (a client that sends a
// batch and then reads). Beside them the server with a handler that does nothing, and
// the write cycle alone: the server's part of a command should be well under the write
// cycle's, so FREQ's round trip is the write cycle plus little.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "chip/FieldMap.h"
#include "remote/Instrument.h"
#include "remote/InstrumentLines.h"
#include "remote/ScpiServer.h"
#include "session/Session.h"

namespace {

using namespace zvk;

std::unique_ptr<Session> virtualSession() {
    SessionOptions o;
    o.boardName = "virtual";
    o.realtime = false;  // measure our code, not the scheduler's system calls
    auto s = std::make_unique<Session>(o);
    Config c;
    c.regs = kDefaultImage;
    c.spisel = true;
    s->takeConfig(c);
    // A receiver that runs and shows lock detect, so LOCK? reads a real answer.
    s->chip().setField(field("OPMODE"), 1);
    s->chip().setField(field("SHOWLD"), 1);
    s->writeCycle();
    return s;
}

// Answers every line with "1": what is left is the server and the loopback.
class NothingHandler : public remote::LineHandler {
  public:
    std::string line(std::string_view) override { return "1"; }
    void overlong() override {}
    void clientChanged() override {}
};

// A server on a free loopback port, served on a thread of its own until it goes; and a
// client with Nagle's delay off, as instrument clients set it.
class Served {
  public:
    explicit Served(remote::LineHandler& handler)
        : server_(handler, [] {
              remote::ServerOptions o;
              o.listen = {"127.0.0.1", 0};
              return o;
          }()) {
        server_.start();
        thread_ = std::thread([this] { server_.serveUntil(stop_); });
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(server_.port());
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("no connection to the server");
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~Served() {
        ::close(fd_);
        stop_ = true;
        server_.wake();
        thread_.join();
    }
    Served(const Served&) = delete;
    Served& operator=(const Served&) = delete;

    void send(const std::string& text) {
        if (::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size()))
            throw std::runtime_error("the server went away");
    }
    // The next n reply lines; the last one.
    std::string replies(int n) {
        std::string last;
        for (int i = 0; i < n; ++i) {
            size_t end;
            while ((end = buffer_.find('\n')) == std::string::npos) {
                char chunk[65536];
                const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
                if (got <= 0) throw std::runtime_error("the server went away");
                buffer_.append(chunk, size_t(got));
            }
            last = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
        }
        return last;
    }

  private:
    remote::ScpiServer server_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    int fd_ = -1;
    std::string buffer_;
};

void perCommand(benchmark::State& state, int perIteration) {
    state.counters["commands_per_s"] =
        benchmark::Counter(double(state.iterations()) * perIteration, benchmark::Counter::kIsRate);
}

// One query, its reply awaited before the next.
void roundTrips(benchmark::State& state, const std::string& query) {
    auto session = virtualSession();
    remote::Instrument instrument(*session, {});
    remote::InstrumentLines lines(instrument);
    Served s(lines);
    for (auto _ : state) {
        s.send(query + "\n");
        benchmark::DoNotOptimize(s.replies(1));
    }
    perCommand(state, 1);
}

void BM_FreqQuery_RoundTrip(benchmark::State& state) {
    roundTrips(state, "FREQ?");
}
// The work runs on the server's thread: the time that counts is the wall clock's.
BENCHMARK(BM_FreqQuery_RoundTrip)->UseRealTime();

void BM_LockQuery_RoundTrip(benchmark::State& state) {
    roundTrips(state, "LOCK?");
}
BENCHMARK(BM_LockQuery_RoundTrip)->UseRealTime();

// A hundred queries sent at once, then their replies read.
void pipelined(benchmark::State& state, const std::string& query) {
    auto session = virtualSession();
    remote::Instrument instrument(*session, {});
    remote::InstrumentLines lines(instrument);
    Served s(lines);
    std::string batch;
    for (int i = 0; i < 100; ++i) batch += query + "\n";
    for (auto _ : state) {
        s.send(batch);
        benchmark::DoNotOptimize(s.replies(100));
    }
    perCommand(state, 100);
}

void BM_FreqQuery_Pipelined(benchmark::State& state) {
    pipelined(state, "FREQ?");
}
BENCHMARK(BM_FreqQuery_Pipelined)->UseRealTime();

void BM_LockQuery_Pipelined(benchmark::State& state) {
    pipelined(state, "LOCK?");
}
BENCHMARK(BM_LockQuery_Pipelined)->UseRealTime();

// FREQ to one of two frequencies by turns, so each plans anew and writes a cycle; *OPC?
// makes the client wait for it.
void BM_FreqSet_RoundTrip(benchmark::State& state) {
    auto session = virtualSession();
    remote::Instrument instrument(*session, {});
    remote::InstrumentLines lines(instrument);
    Served s(lines);
    const uint64_t cycles = session->chip().writeCycles();
    bool other = false;
    for (auto _ : state) {
        s.send(other ? "FREQ 433.920MHZ;*OPC?\n" : "FREQ 434.000MHZ;*OPC?\n");
        if (s.replies(1) != "1") state.SkipWithError("FREQ was refused");
        other = !other;
    }
    state.counters["write_cycles_per_command"] =
        double(session->chip().writeCycles() - cycles) / double(state.iterations());
    perCommand(state, 1);
}
BENCHMARK(BM_FreqSet_RoundTrip)->UseRealTime();

// The same FREQ straight into the command set, without the server and the socket.
void BM_FreqSet_CommandSetAlone(benchmark::State& state) {
    auto session = virtualSession();
    remote::Instrument instrument(*session, {});
    bool other = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            instrument.execute(other ? "FREQ 433.920MHZ;*OPC?" : "FREQ 434.000MHZ;*OPC?"));
        other = !other;
    }
    perCommand(state, 1);
}
BENCHMARK(BM_FreqSet_CommandSetAlone);

// The write cycle alone, on the same kind of session.
void BM_WriteCycle_Alone(benchmark::State& state) {
    auto session = virtualSession();
    for (auto _ : state) session->writeCycle();
    perCommand(state, 1);
}
BENCHMARK(BM_WriteCycle_Alone);

// The server and the loopback alone: a handler that answers without doing anything.
void BM_ServerOnly_RoundTrip(benchmark::State& state) {
    NothingHandler nothing;
    Served s(nothing);
    for (auto _ : state) {
        s.send("X?\n");
        benchmark::DoNotOptimize(s.replies(1));
    }
    perCommand(state, 1);
}
BENCHMARK(BM_ServerOnly_RoundTrip)->UseRealTime();

void BM_ServerOnly_Pipelined(benchmark::State& state) {
    NothingHandler nothing;
    Served s(nothing);
    std::string batch;
    for (int i = 0; i < 100; ++i) batch += "X?\n";
    for (auto _ : state) {
        s.send(batch);
        benchmark::DoNotOptimize(s.replies(100));
    }
    perCommand(state, 100);
}
BENCHMARK(BM_ServerOnly_Pipelined)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
