// SPDX-License-Identifier: MIT
// The SCPI socket server alone, with a handler of the test's own: framing, limits, the
// second client, the idle limit, clients that misbehave. The server runs in the test's
// thread, driven through its descriptors as the window drives it.
#include <gtest/gtest.h>
#include <poll.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ScpiClient.h"
#include "TempDir.h"
#include "remote/ScpiServer.h"

namespace zvk::remote {
namespace {

using test::TcpClient;

ServerOptions listenOn(const char* host, uint16_t port) {
    ServerOptions o;
    o.listen = {host, port};
    return o;
}

// Answers a query ("...?") with the number of lines seen so far and its text; a setting
// gets no reply, as an instrument's.
class RecordingHandler : public LineHandler {
  public:
    std::string line(std::string_view text) override {
        lines.emplace_back(text);
        if (text.empty() || text.back() != '?') return {};
        return std::to_string(lines.size()) + ":" + std::string(text);
    }
    void overlong() override { ++overlongLines; }
    void clientChanged() override { ++clientChanges; }

    std::vector<std::string> lines;
    int overlongLines = 0;
    int clientChanges = 0;
};

// A clock the test moves by hand: the idle limit is reached when the test says so.
class ManualClock : public Clock {
  public:
    uint64_t now() override { return t; }
    uint64_t t = 1000000;
};

class ScpiServerTest : public ::testing::Test {
  protected:
    void SetUp() override { start({}); }
    void start(ServerOptions o) {
        server.reset();
        o.listen = {"127.0.0.1", 0};
        o.clock = &clock;
        if (o.idleTimeoutMs == kDefaultIdleTimeoutMs) o.idleTimeoutMs = 5000;
        server = std::make_unique<ScpiServer>(handler, std::move(o));
        server->start();
        ASSERT_NE(server->port(), 0);
    }
    // One round: waits up to ms for a ready descriptor and serves what is ready.
    bool pumpOnce(int ms) {
        std::vector<pollfd> fds;
        for (const auto& w : server->watches())
            fds.push_back({w.fd, short((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0)), 0});
        if (::poll(fds.data(), fds.size(), ms) <= 0) return false;
        // The client first, as serveUntil does.
        std::reverse(fds.begin(), fds.end());
        for (const pollfd& p : fds)
            if (p.revents != 0)
                server->descriptorReady(p.fd, (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0,
                                        (p.revents & POLLOUT) != 0);
        return true;
    }
    // Serves until nothing has been ready for a while: then everything sent so far has
    // been handled (the wait is generous, for a loaded machine that delivers late).
    void settle() {
        for (int quiet = 0, rounds = 0; quiet < 3 && rounds < 100000; ++rounds)
            quiet = pumpOnce(quiet == 0 ? 0 : 20) ? 0 : quiet + 1;
    }
    std::unique_ptr<TcpClient> connect() {
        auto c = std::make_unique<TcpClient>(server->port());
        EXPECT_TRUE(c->connected());
        settle();
        return c;
    }
    // Everything the server sent the client so far.
    std::string received(TcpClient& c) {
        settle();
        c.readAvailable();
        return c.received;
    }

    RecordingHandler handler;
    ManualClock clock;
    std::unique_ptr<ScpiServer> server;
};

// Lines end at "\n" or "\r\n", wherever the writes split them; a line still open when the
// test looks has not been handed on.
TEST_F(ScpiServerTest, LinesAreFramedWhereverTheWritesSplitThem) {
    struct Case {
        const char* name;
        std::vector<std::string> writes;
        std::vector<std::string> lines;
        std::string replies;
    };
    const Case cases[] = {
        {"newline", {"*IDN?\n"}, {"*IDN?"}, "1:*IDN?\n"},
        {"crlf", {"FREQ 1e8\r\nFREQ?\r\n"}, {"FREQ 1e8", "FREQ?"}, "2:FREQ?\n"},
        {"split in a word", {"FR", "EQ", "?\n"}, {"FREQ?"}, "1:FREQ?\n"},
        {"split between cr and lf", {"A?\r", "\nB?\r", "\n"}, {"A?", "B?"}, "1:A?\n2:B?\n"},
        {"byte by byte", {"L", "O", "C", "K", "?", "\r", "\n"}, {"LOCK?"}, "1:LOCK?\n"},
        {"several in one write", {"A\nB?\nC?\n"}, {"A", "B?", "C?"}, "2:B?\n3:C?\n"},
        {"an empty line", {"\n", "X?\n"}, {"", "X?"}, "2:X?\n"},
        {"the last line still open", {"A?\nB"}, {"A?"}, "1:A?\n"},
        {"a lone cr inside a line", {"A\rB?\n"}, {"A\rB?"}, "1:A\rB?\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        handler.lines.clear();
        auto client = connect();
        for (const std::string& w : c.writes) {
            ASSERT_TRUE(client->send(w));
            settle();
        }
        EXPECT_EQ(handler.lines, c.lines);
        EXPECT_EQ(received(*client), c.replies);
        client.reset();
        settle();
    }
}

// A line over the limit is dropped as a whole and said to the handler once; the
// connection stays, and the next line is served. A line of exactly the limit is a line.
TEST_F(ScpiServerTest, AnOverlongLineIsDroppedAndTheConnectionStays) {
    auto client = connect();
    const std::string atLimit(kMaxLineLength - 1, 'x');
    ASSERT_TRUE(client->send(atLimit + "?\r\n"));
    settle();
    ASSERT_EQ(handler.lines.size(), 1u);
    EXPECT_EQ(handler.lines[0].size(), kMaxLineLength);
    EXPECT_EQ(handler.overlongLines, 0);
    EXPECT_EQ(received(*client), "1:" + atLimit + "?\n");

    // One byte over, and a megabyte sent in pieces, each followed by a good line.
    for (const size_t length : {kMaxLineLength + 1, size_t(1) << 20}) {
        handler.lines.clear();
        client->received.clear();
        const int before = handler.overlongLines;
        const std::string big(length, 'y');
        for (size_t at = 0; at < big.size(); at += 100000) {
            ASSERT_TRUE(client->send(big.substr(at, 100000)));
            settle();
            EXPECT_LE(server->bufferedBytes(), kMaxLineLength + 16384 + 2);
        }
        ASSERT_TRUE(client->send("\r\nNEXT?\n"));
        settle();
        EXPECT_EQ(handler.overlongLines, before + 1);
        EXPECT_EQ(handler.lines, std::vector<std::string>{"NEXT?"});
        EXPECT_EQ(received(*client), "1:NEXT?\n");
    }
}

// One client is in control; a second is told so in one line and closed, and the first
// goes on. After the first leaves, the next one is served, and the handler hears of it.
TEST_F(ScpiServerTest, ASecondClientIsToldAndClosedWhileTheFirstGoesOn) {
    auto first = connect();
    EXPECT_EQ(handler.clientChanges, 1);
    ASSERT_TRUE(first->send("A?\n"));
    auto second = connect();
    // (The server may have closed it already: whether this arrives does not matter.)
    second->send("*IDN?\n");
    settle();
    for (int i = 0; i < 100 && !second->ended(); ++i) {
        second->waitReadable(10);
        second->readAvailable();
    }
    EXPECT_TRUE(second->ended());
    EXPECT_NE(
        second->received.find("another client (" + server->clientAddress() + ") is in control"),
        std::string::npos)
        << second->received;
    EXPECT_EQ(std::count(second->received.begin(), second->received.end(), '\n'), 1);
    EXPECT_EQ(handler.lines, std::vector<std::string>{"A?"});
    EXPECT_EQ(handler.clientChanges, 1);

    ASSERT_TRUE(first->send("B?\n"));
    EXPECT_EQ(received(*first), "1:A?\n2:B?\n");
    first.reset();
    settle();
    EXPECT_EQ(server->clientAddress(), "");
    auto third = connect();
    EXPECT_EQ(handler.clientChanges, 2);
    ASSERT_TRUE(third->send("C?\n"));
    EXPECT_EQ(received(*third), "3:C?\n");

    // A client that sends its last line and closes, and one that connects before the
    // server has seen the close: the new connection is taken first here, and still the
    // old client's line is answered and the new one served, not refused.
    ASSERT_TRUE(third->send("LAST\n"));
    third->close();
    TcpClient fourth(server->port());
    ASSERT_TRUE(fourth.connected());
    const int listenFd = server->watches().front().fd;
    server->descriptorReady(listenFd, true, false);
    ASSERT_TRUE(fourth.send("D?\n"));
    EXPECT_EQ(received(fourth), "5:D?\n");
    EXPECT_EQ(handler.lines.back(), "D?");
    EXPECT_EQ(handler.lines[handler.lines.size() - 2], "LAST");
}

// A client silent for the idle limit is closed; anything it sends or reads starts the
// limit again. Then the next client can take control.
TEST_F(ScpiServerTest, ASilentClientIsClosedAfterTheIdleLimit) {
    auto client = connect();
    EXPECT_EQ(server->msUntilTimer(), 5000);
    clock.t += 4999000;
    server->timerDue();
    EXPECT_EQ(received(*client), "");
    EXPECT_FALSE(client->ended());
    ASSERT_TRUE(client->send("A?\n"));
    settle();
    clock.t += 4999000;
    server->timerDue();
    EXPECT_EQ(received(*client), "1:A?\n");
    EXPECT_FALSE(client->ended());
    clock.t += 1000;
    EXPECT_EQ(server->msUntilTimer(), 0);
    server->timerDue();
    received(*client);
    EXPECT_TRUE(client->ended());
    EXPECT_EQ(server->msUntilTimer(), -1);
    auto next = connect();
    EXPECT_EQ(server->clientAddress().empty(), false);
    EXPECT_EQ(handler.clientChanges, 2);
}

TEST_F(ScpiServerTest, NoIdleLimitWhenItIsZero) {
    ServerOptions o;
    o.idleTimeoutMs = 0;
    start(o);
    auto client = connect();
    EXPECT_EQ(server->msUntilTimer(), -1);
    clock.t += uint64_t(1) << 40;
    server->timerDue();
    EXPECT_FALSE(received(*client).size() > 0 || client->ended());
}

// A client gone mid-line leaves nothing behind: its half line is no part of the next
// client's first line, whether it closed or was reset.
TEST_F(ScpiServerTest, AClientGoneMidLineLeavesNothingBehind) {
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "closed");
        handler.lines.clear();
        auto client = connect();
        ASSERT_TRUE(client->send("FREQ 1"));
        settle();
        reset ? client->reset() : client->close();
        settle();
        EXPECT_EQ(server->clientAddress(), "");
        EXPECT_EQ(server->bufferedBytes(), 0u);
        auto next = connect();
        ASSERT_TRUE(next->send("00E6?\n"));
        EXPECT_EQ(received(*next), "1:00E6?\n");
        EXPECT_EQ(handler.lines, std::vector<std::string>{"00E6?"});
    }
}

// A client that sends queries and never reads: the server stops reading from it once
// the replies back up, holds a bounded amount, and answers everything in order once the
// client reads. A client that then resets does not end the process (no SIGPIPE).
TEST_F(ScpiServerTest, AFloodOfUnreadQueriesIsBoundedAndAnsweredInOrder) {
    // Long queries, so that the replies outgrow what the system buffers on both sides.
    constexpr int kQueries = 100000;
    const std::string query = "MEASURE:SOMETHING:WITH:A:LONG:HEADER:TO:FILL:THE:PIPES:QUICKLY?";
    std::string flood;
    for (int i = 0; i < kQueries; ++i) flood += query + "\n";
    // A small receive buffer on the client's side, so the replies back up soon.
    auto client = std::make_unique<TcpClient>(server->port(), 4096);
    settle();
    size_t sent = 0;
    size_t handledBefore = 0;
    for (int stalls = 0; stalls < 3 && sent < flood.size();) {
        sent += client->sendSome(std::string_view(flood).substr(sent));
        settle();
        EXPECT_LE(server->bufferedBytes(), kOutputLimit + 16384 + kMaxLineLength);
        stalls = handler.lines.size() == handledBefore ? stalls + 1 : 0;
        handledBefore = handler.lines.size();
    }
    // The server stopped taking lines well before the end: it waits for the reader.
    ASSERT_LT(handler.lines.size(), size_t(kQueries));

    // Reading drains it: every reply comes, in order.
    int expected = 1;
    for (int rounds = 0; rounds < 1000000 && expected <= kQueries; ++rounds) {
        if (sent < flood.size()) sent += client->sendSome(std::string_view(flood).substr(sent));
        pumpOnce(1);
        client->readAvailable();
        while (auto line = client->takeLine()) {
            ASSERT_EQ(*line, std::to_string(expected) + ":" + query);
            ++expected;
        }
    }
    EXPECT_EQ(expected, kQueries + 1);
    EXPECT_LE(server->bufferedBytes(), kOutputLimit + 16384 + kMaxLineLength);

    // The same again, but the client resets with replies backed up.
    client->close();
    settle();
    handler.lines.clear();
    auto rude = std::make_unique<TcpClient>(server->port(), 4096);
    settle();
    ASSERT_FALSE(server->clientAddress().empty());
    for (size_t at = 0, stalls = 0; stalls < 3 && at < flood.size();) {
        const size_t n = rude->sendSome(std::string_view(flood).substr(at));
        at += n;
        settle();
        stalls = n == 0 ? stalls + 1 : 0;
    }
    ASSERT_GT(server->bufferedBytes(), 0u);
    rude->reset();
    settle();
    EXPECT_EQ(server->clientAddress(), "");
    EXPECT_EQ(server->bufferedBytes(), 0u);
    auto next = connect();
    ASSERT_TRUE(next->send("ALIVE?\n"));
    EXPECT_NE(received(*next).find(":ALIVE?\n"), std::string::npos);
}

// Binary junk is lines like any other: every byte but the newline reaches the handler as
// it came, NULs included, and the server goes on.
TEST_F(ScpiServerTest, BinaryJunkReachesTheHandlerByteForByte) {
    std::mt19937 random(7);
    std::string junk;
    for (int i = 0; i < 50000; ++i) junk += char(random() % 256);
    const size_t lineEnds = size_t(std::count(junk.begin(), junk.end(), '\n'));
    auto client = connect();
    ASSERT_TRUE(client->send(junk + "\nZ?\n"));
    settle();
    ASSERT_EQ(handler.lines.size(), lineEnds + 2);
    std::string joined;
    for (size_t i = 0; i + 1 < handler.lines.size(); ++i) {
        joined += handler.lines[i];
        joined += '\n';
    }
    // Only a "\r" just before a newline is taken as part of the line end.
    std::string expected;
    const std::string sent = junk + "\n";
    for (size_t i = 0; i < sent.size(); ++i)
        if (!(sent[i] == '\r' && i + 1 < sent.size() && sent[i + 1] == '\n')) expected += sent[i];
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(handler.lines.back(), "Z?");
}

class ScpiServerLog : public test::TempDir {
  protected:
    ScpiServerLog() : TempDir("zvk-scpi-log") {}
};

// The log has one line per command: the time, the client, the text with junk escaped;
// and the connections. A log that cannot be written is said once, and serving goes on.
TEST_F(ScpiServerLog, TheLogHoldsEveryCommandAndAFailingLogStopsNothing) {
    RecordingHandler handler;
    std::vector<std::string> notices;
    ServerOptions o;
    o.listen = {"127.0.0.1", 0};
    o.logPath = file("commands.log");
    {
        ScpiServer server(handler, o);
        server.start();
        TcpClient client(server.port());
        // No queries: replies to a client that has closed would make its end a reset.
        ASSERT_TRUE(client.send("FREQ 100MHZ\n*RST\n\x01\xff\\\n"));
        ASSERT_TRUE(client.send("FREQ 2"));
        client.close();
        // Served until the client is gone and its lines are handled.
        for (int i = 0; i < 1000 && (handler.lines.size() < 3 || !server.clientAddress().empty());
             ++i) {
            std::vector<pollfd> fds;
            for (const auto& w : server.watches()) fds.push_back({w.fd, POLLIN, 0});
            ::poll(fds.data(), fds.size(), 10);
            for (const pollfd& p : fds)
                if (p.revents != 0) server.descriptorReady(p.fd, true, false);
        }
    }
    std::ifstream in(file("commands.log"));
    std::vector<std::string> entries;
    for (std::string l; std::getline(in, l);) entries.push_back(l);
    std::vector<std::string> texts;
    for (const std::string& e : entries) {
        // 2026-12-11T10:56:43.123Z 127.0.0.1:4711 TEXT
        ASSERT_GE(e.size(), 25u) << e;
        EXPECT_EQ(e[10], 'T') << e;
        EXPECT_EQ(e.substr(23, 2), "Z ") << e;
        const size_t blank = e.find(' ', 25);
        ASSERT_NE(blank, std::string::npos) << e;
        EXPECT_EQ(e.substr(25, 10), "127.0.0.1:") << e;
        texts.push_back(e.substr(blank + 1));
    }
    const std::vector<std::string> expected = {"(listening)",    "(connected)",
                                               "FREQ 100MHZ",    "*RST",
                                               "\\x01\\xFF\\\\", "(closed by the client)",
                                               "(stopped)"};
    EXPECT_EQ(texts, expected);

    o.logPath = "/dev/full";
    o.notice = [&](const std::string& n) { notices.push_back(n); };
    ScpiServer full(handler, o);
    full.start();
    TcpClient client(full.port());
    handler.lines.clear();
    ASSERT_TRUE(client.send("A?\nB?\n"));
    for (int i = 0; i < 1000 && client.received.size() < 10; ++i) {
        std::vector<pollfd> fds;
        for (const auto& w : full.watches()) fds.push_back({w.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 10);
        for (const pollfd& p : fds)
            if (p.revents != 0) full.descriptorReady(p.fd, true, true);
        client.readAvailable();
    }
    EXPECT_EQ(client.received, "1:A?\n2:B?\n");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("\"/dev/full\" cannot be written"), std::string::npos) << notices[0];
}

// Where to listen, as --listen takes it.
TEST(ScpiListenAddress, ParsesAddressAndPortAndNamesWhatIsWrong) {
    struct Case {
        const char* text;
        const char* host;  // nullptr: refused
        int port;
        const char* reason;
    };
    const Case cases[] = {
        {"127.0.0.1:5025", "127.0.0.1", 5025, ""},
        {"0.0.0.0:0", "0.0.0.0", 0, ""},
        {"localhost:65535", "localhost", 65535, ""},
        {"[::1]:5025", "::1", 5025, ""},
        {"127.0.0.1", nullptr, 0, "expected ADDR:PORT"},
        {"127.0.0.1:", nullptr, 0, "port is not a number"},
        {"127.0.0.1:65536", nullptr, 0, "port is not a number"},
        {"127.0.0.1:50x", nullptr, 0, "port is not a number"},
        {"127.0.0.1:-1", nullptr, 0, "port is not a number"},
        {"127.0.0.1:0000005025", nullptr, 0, "port is not a number"},
        {":5025", nullptr, 0, "address is missing"},
        {"::1:5025", nullptr, 0, "IPv6 address goes in brackets"},
        {"[::1]5025", nullptr, 0, "expected ADDR:PORT"},
        {"[::1", nullptr, 0, "expected ADDR:PORT"},
        {"a b:5025", nullptr, 0, "character no address has"},
        {"", nullptr, 0, "expected ADDR:PORT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto a = parseListenAddress(c.text, error);
        if (c.host == nullptr) {
            EXPECT_FALSE(a.has_value());
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        } else {
            ASSERT_TRUE(a.has_value()) << error;
            EXPECT_EQ(a->host, c.host);
            EXPECT_EQ(a->port, c.port);
        }
    }
}

// Port 0 takes a free port; a port in use is its own failure; an address of no interface
// here is another; listening beyond this computer is known, so that it can be said.
TEST(ScpiListen, FreePortsPortsInUseAndAddressesElsewhere) {
    RecordingHandler handler;
    ScpiServer first(handler, listenOn("127.0.0.1", 0));
    first.start();
    ASSERT_NE(first.port(), 0);
    EXPECT_EQ(first.address(), "127.0.0.1:" + std::to_string(first.port()));
    EXPECT_TRUE(first.loopbackOnly());

    ScpiServer second(handler, listenOn("127.0.0.1", first.port()));
    try {
        second.start();
        ADD_FAILURE() << "a port in use was taken";
    } catch (const ListenError& e) {
        EXPECT_EQ(e.kind, ListenError::kInUse);
        EXPECT_NE(std::string(e.what()).find(first.address() + " is in use"), std::string::npos)
            << e.what();
    }
    ScpiServer elsewhere(handler, listenOn("192.0.2.1", 0));
    try {
        elsewhere.start();
        ADD_FAILURE() << "an address of another computer was taken";
    } catch (const ListenError& e) {
        EXPECT_EQ(e.kind, ListenError::kBadAddress) << e.what();
    }
    ScpiServer everywhere(handler, listenOn("0.0.0.0", 0));
    everywhere.start();
    EXPECT_FALSE(everywhere.loopbackOnly());
    ScpiServer six(handler, listenOn("::1", 0));
    six.start();
    EXPECT_TRUE(six.loopbackOnly());
    EXPECT_EQ(six.address(), "[::1]:" + std::to_string(six.port()));
}

}  // namespace
}  // namespace zvk::remote
