// SPDX-License-Identifier: MIT
#pragma once
// A raw TCP client for the SCPI server's tests: bytes in and out exactly as given, so a
// test can split a line across writes, send junk or walk away mid-line.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zvk::test {

class TcpClient {
  public:
    // receiveBuffer: the socket's receive buffer in bytes; the system's choice when 0.
    explicit TcpClient(uint16_t port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~TcpClient() { close(); }
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }
    // Sends all of text (blocking); false when the server has gone.
    bool send(std::string_view text) {
        while (!text.empty()) {
            const ssize_t n = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            text.remove_prefix(size_t(n));
        }
        return true;
    }
    // As much of text as the socket takes now; how much that was.
    size_t sendSome(std::string_view text) {
        const ssize_t n = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return n > 0 ? size_t(n) : 0;
    }
    // What has arrived, without waiting; sets ended() at the server's close.
    void readAvailable() {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                received.append(buffer, size_t(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                ended_ = true;
            return;
        }
    }
    // Waits up to ms for something to read.
    bool waitReadable(int ms) {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }
    // The first received line, taken out of received; nullopt when none is complete.
    std::optional<std::string> takeLine() {
        const size_t end = received.find('\n');
        if (end == std::string::npos) return std::nullopt;
        std::string line = received.substr(0, end);
        received.erase(0, end + 1);
        return line;
    }
    // A line from a server in another process, or nullopt after the server closed or
    // after a long time without one (a hung server fails the test instead of hanging it).
    std::optional<std::string> readLine() {
        for (int tries = 0; tries < 300; ++tries) {
            if (auto line = takeLine()) return line;
            if (ended_) return std::nullopt;
            if (waitReadable(100)) readAvailable();
        }
        return takeLine();
    }
    // A query and its one-line reply.
    std::optional<std::string> query(const std::string& line) {
        if (!send(line + "\n")) return std::nullopt;
        return readLine();
    }
    // Whether the server closed the connection (everything before the close was read).
    bool ended() const { return ended_; }
    // Closes with a reset instead of an orderly close, as a killed client's system may.
    void reset() {
        linger l{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close();
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    std::string received;

  private:
    int fd_ = -1;
    bool connected_ = false;
    bool ended_ = false;
};

}  // namespace zvk::test
