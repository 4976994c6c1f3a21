// SPDX-License-Identifier: MIT
#include "base/FileRead.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zvk {

namespace {

std::optional<std::string> fail(ReadFailure* failure, int number, std::string reason) {
    if (failure != nullptr) *failure = {number, std::move(reason)};
    return std::nullopt;
}

std::string kindReason(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a directory, not a file";
    if (S_ISFIFO(mode)) return "it is a FIFO (named pipe), not a regular file";
    if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
    return "it is not a regular file";
}

std::string tooLarge(size_t maxBytes) {
    return "it holds more than " + std::to_string(maxBytes) + " bytes";
}

}  // namespace

std::optional<std::string> readDescriptor(int fd, size_t maxBytes, ReadFailure* failure) {
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) return text;
        if (n < 0) {
            if (errno == EINTR) continue;
            // A descriptor someone made non-blocking (a shared pipe): wait for more.
            if (errno == EAGAIN) {
                pollfd p{fd, POLLIN, 0};
                ::poll(&p, 1, -1);
                continue;
            }
            return fail(failure, errno, std::strerror(errno));
        }
        if (text.size() + size_t(n) > maxBytes) return fail(failure, EFBIG, tooLarge(maxBytes));
        text.append(buf, size_t(n));
    }
}

std::optional<std::string> readRegularFile(const std::string& path, size_t maxBytes,
                                           ReadFailure* failure) {
    // Without blocking: opening a FIFO for reading would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fail(failure, errno, std::strerror(errno));
    struct stat st {};
    std::optional<std::string> text;
    if (::fstat(fd, &st) != 0) {
        text = fail(failure, errno, std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        text = fail(failure, EINVAL, kindReason(st.st_mode));
    } else if (st.st_size > 0 && size_t(st.st_size) > maxBytes) {
        text = fail(failure, EFBIG, tooLarge(maxBytes));
    } else {
        text = readDescriptor(fd, maxBytes, failure);
    }
    ::close(fd);
    return text;
}

}  // namespace zvk
