// SPDX-License-Identifier: MIT
#include "remote/ScpiServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace zvk::remote {

namespace {

// What one read takes: a flood arrives in pieces of this size, each answered before the next.
constexpr size_t kReadChunk = 16384;
// Connections the system holds for the server before it accepts them.
constexpr int kBacklog = 4;

std::string systemError(int number) {
    return std::strerror(number);
}

// "ADDR:PORT" of a socket address, IPv6 in brackets.
std::string addressText(const sockaddr* sa, socklen_t length) {
    char host[NI_MAXHOST] = "";
    char port[NI_MAXSERV] = "";
    if (getnameinfo(sa, length, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return sa->sa_family == AF_INET6 ? "[" + std::string(host) + "]:" + port
                                     : std::string(host) + ":" + port;
}

bool isLoopback(const sockaddr_storage& a) {
    if (a.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (a.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
        if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

// A received line as the log shows it: printable ASCII as it is, every other byte as \xNN,
// so that junk cannot break the log's one-line-per-command form.
std::string loggedText(std::string_view text) {
    std::string s;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            s += c;
        } else if (b == '\\') {
            s += "\\\\";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(b));
            s += hex;
        }
    }
    return s;
}

// The wall-clock time in UTC with milliseconds, as ISO 8601 writes it.
std::string logTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char full[48];
    std::snprintf(full, sizeof full, "%s.%03dZ", text, int(ms));
    return full;
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error) {
    const std::string expected = "expected ADDR:PORT, such as 127.0.0.1:5025 or [::1]:5025";
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = expected;
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            error = expected;
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            error = "an IPv6 address goes in brackets: [ADDR]:PORT";
            return std::nullopt;
        }
    }
    if (host.empty()) {
        error = "the address is missing (0.0.0.0 listens on every interface): " + expected;
        return std::nullopt;
    }
    for (const char c : host) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F) {
            error = "the address holds a character no address has";
            return std::nullopt;
        }
    }
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string_view::npos ||
        std::stoul(std::string(port)) > 65535) {
        error = "the port is not a number from 0 to 65535";
        return std::nullopt;
    }
    return ListenAddress{std::string(host), uint16_t(std::stoul(std::string(port)))};
}

struct ScpiServer::Impl {
    Impl(LineHandler& h, ServerOptions o) : handler(h), options(std::move(o)) {
        clock = options.clock != nullptr ? options.clock : &steady;
    }

    LineHandler& handler;
    ServerOptions options;
    SteadyClock steady;
    Clock* clock;

    int listenFd = -1;
    sockaddr_storage bound{};
    uint16_t boundPort = 0;
    int wakeRead = -1;
    int wakeWrite = -1;
    FILE* log = nullptr;
    bool logFailing = false;

    // The client in control.
    int clientFd = -1;
    std::string client;
    std::string input;   // received, not yet taken as lines
    std::string output;  // replies not yet sent
    size_t outputSent = 0;
    bool discarding = false;  // the rest of an overlong line is dropped up to its newline
    uint64_t lastActivity = 0;

    size_t pendingOutput() const { return output.size() - outputSent; }

    void writeLog(const std::string& who, const std::string& text) {
        if (log == nullptr) return;
        const std::string entry = logTime() + " " + who + " " + text + "\n";
        const bool ok = std::fputs(entry.c_str(), log) >= 0 && std::fflush(log) == 0;
        if (!ok && !logFailing) {
            // Serving matters more than its record: the commands go on, and the user hears
            // once that the log misses them, and again when it works again.
            const int err = errno;
            if (options.notice)
                options.notice("the log \"" + options.logPath + "\" cannot be written (" +
                               systemError(err) + "): commands are served but not logged");
        } else if (ok && logFailing && options.notice) {
            options.notice("the log \"" + options.logPath + "\" is written again");
        }
        logFailing = !ok;
        if (!ok) std::clearerr(log);
    }

    void closeClient(const std::string& why) {
        if (clientFd < 0) return;
        ::close(clientFd);
        writeLog(client, "(" + why + ")");
        clientFd = -1;
        client.clear();
        // A line cut off by the close is no command: nothing of it stays.
        input.clear();
        output.clear();
        outputSent = 0;
        discarding = false;
    }

    // A connection while another client is in control: one line saying so, then closed.
    void refuse(int fd, const std::string& who) {
        const std::string line =
            "ERROR: another client (" + client + ") is in control; try again when it has closed\n";
        (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        // Half-closed first, and what the client sent already read: closing a socket with
        // unread input resets it, and the reset could overtake the line.
        ::shutdown(fd, SHUT_WR);
        char junk[4096];
        while (::recv(fd, junk, sizeof junk, MSG_DONTWAIT) > 0) {
        }
        ::close(fd);
        writeLog(who, "(refused: " + client + " is in control)");
    }

    // A client that closed and one that connects at once may be seen in either order: the
    // old one's close is looked for before the new one is refused. Its last lines are
    // still answered (as far as the replies fit), then its end is read.
    void noticeClosedClient() {
        pollfd p{clientFd, short(POLLIN | POLLRDHUP), 0};
        if (::poll(&p, 1, 0) <= 0) return;
        if ((p.revents & (POLLHUP | POLLERR)) != 0 && !wantsInput()) {
            closeClient("gone");
            return;
        }
        for (int rounds = 0; clientFd >= 0 && wantsInput() && rounds < 64; ++rounds) {
            const bool more = receive();
            flush();
            if (!more) break;
        }
    }

    void accept() {
        for (;;) {
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;  // none left, or one that went away before it was taken
            const std::string who = addressText(reinterpret_cast<sockaddr*>(&peer), length);
            if (clientFd >= 0) noticeClosedClient();
            if (clientFd >= 0) {
                refuse(fd, who);
                continue;
            }
            clientFd = fd;
            client = who;
            lastActivity = clock->now();
            writeLog(client, "(connected)");
            handler.clientChanged();
        }
    }

    void flush() {
        while (clientFd >= 0 && pendingOutput() > 0) {
            const ssize_t n = ::send(clientFd, output.data() + outputSent, pendingOutput(),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n <= 0) {
                closeClient("gone while replies were sent: " + systemError(errno));
                return;
            }
            outputSent += size_t(n);
            lastActivity = clock->now();
        }
        if (pendingOutput() == 0) {
            output.clear();
            outputSent = 0;
        }
    }

    // The complete lines received, each answered, while the replies fit.
    void takeLines() {
        size_t start = 0;
        while (clientFd >= 0 && pendingOutput() < kOutputLimit) {
            const size_t end = input.find('\n', start);
            if (end == std::string::npos) break;
            if (discarding) {
                discarding = false;
                start = end + 1;
                continue;
            }
            std::string_view line(input.data() + start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            start = end + 1;
            if (line.size() > kMaxLineLength) {
                writeLog(client,
                         "(line over " + std::to_string(kMaxLineLength) + " bytes dropped)");
                handler.overlong();
                continue;
            }
            writeLog(client, loggedText(line));
            std::string reply = handler.line(line);
            if (!reply.empty()) {
                output += reply;
                output += '\n';
            }
        }
        input.erase(0, start);
        if (discarding) {
            // Nothing of the overlong line is kept: only its end is looked for.
            if (input.find('\n') == std::string::npos) input.clear();
        } else if (input.find('\n') == std::string::npos && input.size() > kMaxLineLength + 1) {
            // (One more byte than the limit: it may be the "\r" of a "\r\n".)
            writeLog(client, "(line over " + std::to_string(kMaxLineLength) + " bytes dropped)");
            handler.overlong();
            input.clear();
            discarding = true;
        }
    }

    bool wantsInput() const {
        return pendingOutput() < kOutputLimit && input.find('\n') == std::string::npos;
    }

    // One read: false when there was nothing to read.
    bool receive() {
        char buffer[kReadChunk];
        const ssize_t n = ::recv(clientFd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return false;
        if (n == 0) {
            closeClient("closed by the client");
            return true;
        }
        if (n < 0) {
            closeClient("gone: " + systemError(errno));
            return true;
        }
        lastActivity = clock->now();
        input.append(buffer, size_t(n));
        takeLines();
        return true;
    }
};

ScpiServer::ScpiServer(LineHandler& handler, ServerOptions options)
    : d_(std::make_unique<Impl>(handler, std::move(options))) {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        d_->wakeRead = fds[0];
        d_->wakeWrite = fds[1];
    }
}

ScpiServer::~ScpiServer() {
    stop();
    if (d_->wakeRead >= 0) ::close(d_->wakeRead);
    if (d_->wakeWrite >= 0) ::close(d_->wakeWrite);
}

void ScpiServer::start() {
    stop();
    const ListenAddress& where = d_->options.listen;
    const std::string named = where.host.find(':') != std::string::npos
                                  ? "[" + where.host + "]:" + std::to_string(where.port)
                                  : where.host + ":" + std::to_string(where.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(where.port);
    if (const int rc = ::getaddrinfo(where.host.c_str(), port.c_str(), &hints, &found); rc != 0)
        throw ListenError(ListenError::kBadAddress,
                          "\"" + where.host + "\" is no address: " + gai_strerror(rc));
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, ::freeaddrinfo);
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            found->ai_protocol);
    if (fd < 0)
        throw ListenError(ListenError::kFailed,
                          "no socket for " + named + ": " + systemError(errno));
    // A server started again at once finds its port free, though the last one's
    // connections still linger in TIME_WAIT.
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, kBacklog) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EADDRINUSE)
            throw ListenError(ListenError::kInUse, named + " is in use by another program");
        if (err == EADDRNOTAVAIL)
            throw ListenError(ListenError::kBadAddress, named + " is no address of this computer");
        throw ListenError(ListenError::kFailed,
                          "cannot listen on " + named + ": " + systemError(err));
    }
    socklen_t length = sizeof d_->bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&d_->bound), &length);
    d_->boundPort = d_->bound.ss_family == AF_INET6
                        ? ntohs(reinterpret_cast<const sockaddr_in6*>(&d_->bound)->sin6_port)
                        : ntohs(reinterpret_cast<const sockaddr_in*>(&d_->bound)->sin_port);
    if (!d_->options.logPath.empty()) {
        d_->log = std::fopen(d_->options.logPath.c_str(), "ae");
        if (d_->log == nullptr) {
            const int err = errno;
            ::close(fd);
            throw ListenError(ListenError::kLog, "the log \"" + d_->options.logPath +
                                                     "\" cannot be opened: " + systemError(err));
        }
        d_->logFailing = false;
    }
    d_->listenFd = fd;
    d_->writeLog(address(), "(listening)");
}

void ScpiServer::stop() {
    d_->closeClient("the server stops");
    if (d_->listenFd >= 0) {
        d_->writeLog(address(), "(stopped)");
        ::close(d_->listenFd);
        d_->listenFd = -1;
    }
    if (d_->log != nullptr) {
        std::fclose(d_->log);
        d_->log = nullptr;
    }
}

bool ScpiServer::listening() const {
    return d_->listenFd >= 0;
}

uint16_t ScpiServer::port() const {
    return d_->boundPort;
}

std::string ScpiServer::address() const {
    sockaddr_storage a = d_->bound;
    return addressText(reinterpret_cast<sockaddr*>(&a),
                       a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
}

bool ScpiServer::loopbackOnly() const {
    return isLoopback(d_->bound);
}

std::string ScpiServer::clientAddress() const {
    return d_->client;
}

size_t ScpiServer::bufferedBytes() const {
    return d_->input.size() + d_->output.size();
}

std::vector<ScpiServer::Watch> ScpiServer::watches() const {
    std::vector<Watch> w;
    if (d_->listenFd >= 0) w.push_back({d_->listenFd, true, false});
    if (d_->clientFd >= 0) w.push_back({d_->clientFd, d_->wantsInput(), d_->pendingOutput() > 0});
    return w;
}

void ScpiServer::descriptorReady(int fd, bool readable, bool writable) {
    if (fd < 0) return;
    if (fd == d_->clientFd) {
        if (writable) {
            d_->flush();
            // Replies drained: the lines that waited for room are answered now.
            d_->takeLines();
        }
        if (readable && d_->clientFd >= 0 && d_->wantsInput()) d_->receive();
        d_->flush();
    } else if (fd == d_->listenFd && readable) {
        d_->accept();
    }
}

int ScpiServer::msUntilTimer() {
    if (d_->clientFd < 0 || d_->options.idleTimeoutMs <= 0) return -1;
    const uint64_t due = d_->lastActivity + uint64_t(d_->options.idleTimeoutMs) * 1000;
    const uint64_t now = d_->clock->now();
    if (now >= due) return 0;
    return int((due - now + 999) / 1000);
}

void ScpiServer::timerDue() {
    if (d_->clientFd >= 0 && msUntilTimer() == 0) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", d_->options.idleTimeoutMs / 1000.0);
        d_->closeClient("silent for " + std::string(limit) + " s: closed");
    }
}

void ScpiServer::wake() noexcept {
    if (d_->wakeWrite >= 0) {
        const char byte = 1;
        (void)!::write(d_->wakeWrite, &byte, 1);
    }
}

void ScpiServer::serveUntil(const std::atomic<bool>& stop) {
    std::vector<pollfd> fds;
    while (!stop.load()) {
        fds.clear();
        // The client before the listening socket: a close and an accept in one round may
        // give the new client the old one's number, and its stale events must not count.
        for (const Watch& w : watches()) {
            const short events = short((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0));
            fds.push_back({w.fd, events, 0});
        }
        std::reverse(fds.begin(), fds.end());
        if (d_->wakeRead >= 0) fds.push_back({d_->wakeRead, POLLIN, 0});
        const int rc = ::poll(fds.data(), fds.size(), msUntilTimer());
        if (rc < 0 && errno != EINTR) break;
        if (rc > 0) {
            for (const pollfd& p : fds) {
                if (p.revents == 0) continue;
                if (p.fd == d_->wakeRead) {
                    char drain[64];
                    while (::read(d_->wakeRead, drain, sizeof drain) > 0) {
                    }
                    continue;
                }
                // A hang-up or an error shows in the next read.
                descriptorReady(p.fd, (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0,
                                (p.revents & POLLOUT) != 0);
            }
        }
        timerDue();
    }
}

}  // namespace zvk::remote
