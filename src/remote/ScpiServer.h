// SPDX-License-Identifier: MIT
#pragma once
// The SCPI socket server: text lines over TCP, as lab instruments take them on port 5025.
// It knows nothing of the commands: each complete line goes to a LineHandler, whose reply
// goes back with a newline. One client is in control at a time; a second one is told so
// in one line and closed.
//
// The server has no thread and no loop of its own that a front end must use: it names the
// descriptors to watch (watches()) and is told when one is ready (descriptorReady()) and
// when its timer is due (timerDue(), msUntilTimer()). The window drives it from its event
// loop that way; serveUntil() is the same thing as a poll() loop for the command-line tool.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"

namespace zvk::remote {

// What the server hands the lines to.
class LineHandler {
  public:
    virtual ~LineHandler() = default;
    // One line without its line end; the reply without its newline, empty for none.
    virtual std::string line(std::string_view text) = 0;
    // A line longer than the limit arrived; its text is dropped.
    virtual void overlong() = 0;
    // Another client took control: what the last one left (errors, status) is forgotten.
    virtual void clientChanged() = 0;
};

// The longest line the server takes, without its line end. Every command and file name
// fits many times over; a longer line is a client that lost its framing (or junk).
inline constexpr size_t kMaxLineLength = 8192;
// Replies waiting for a client that does not read them: beyond this the server reads no
// more from it until they drain, so a flood of queries costs bounded memory.
inline constexpr size_t kOutputLimit = 65536;
// How long a client may stay silent before the server closes it, so that a client that
// vanished without closing (a crashed script, an unplugged cable) does not keep control.
inline constexpr int kDefaultIdleTimeoutMs = 300000;
// The port lab instruments listen on for raw SCPI.
inline constexpr uint16_t kDefaultScpiPort = 5025;

// Where to listen: a numeric IPv4 address, a bracketed IPv6 address or a host name,
// and a port (0: any free one).
struct ListenAddress {
    std::string host = "127.0.0.1";
    uint16_t port = kDefaultScpiPort;
};
// "ADDR:PORT" or "[IPv6]:PORT"; nullopt and the reason for anything else.
std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error);

struct ServerOptions {
    ListenAddress listen;
    // 0: a silent client keeps control for ever.
    int idleTimeoutMs = kDefaultIdleTimeoutMs;
    // The log of the commands received; none when empty.
    std::string logPath;
    // Something the user should know that is no reply (a log that cannot be written).
    std::function<void(const std::string&)> notice;
    // The clock of the idle limit; the steady clock when none.
    Clock* clock = nullptr;
};

// Why listening failed.
struct ListenError : std::runtime_error {
    // kBadAddress: no address of this computer; kLog: the log cannot be opened.
    enum Kind { kBadAddress, kInUse, kLog, kFailed };
    ListenError(Kind k, const std::string& what) : std::runtime_error(what), kind(k) {}
    Kind kind;
};

class ScpiServer {
  public:
    ScpiServer(LineHandler& handler, ServerOptions options);
    ~ScpiServer();
    ScpiServer(const ScpiServer&) = delete;
    ScpiServer& operator=(const ScpiServer&) = delete;

    // Binds and listens; opens the log. Throws ListenError.
    void start();
    // Closes the client, the listening socket and the log; start() may follow.
    void stop();
    bool listening() const;
    // The port listened on (the free one the system chose for port 0).
    uint16_t port() const;
    // "ADDR:PORT" as a client reaches it.
    std::string address() const;
    // Whether only this computer can connect: the protocol has no authentication.
    bool loopbackOnly() const;

    // A descriptor to watch, and for what.
    struct Watch {
        int fd;
        bool read;
        bool write;
        bool operator==(const Watch&) const = default;
    };
    // What to watch now; it changes after descriptorReady() and timerDue().
    std::vector<Watch> watches() const;
    void descriptorReady(int fd, bool readable, bool writable);
    // Milliseconds until timerDue() has something to do; -1 for nothing.
    int msUntilTimer();
    // Closes a client that was silent for the idle limit.
    void timerDue();

    // The poll() loop: serves until stop is set. wake() makes it look at stop at once.
    void serveUntil(const std::atomic<bool>& stop);
    // Safe in a signal handler.
    void wake() noexcept;

    // The client in control ("ADDR:PORT"), empty for none.
    std::string clientAddress() const;
    // What the server holds of the client's lines and replies, in bytes.
    size_t bufferedBytes() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace zvk::remote
