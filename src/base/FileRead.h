// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace zvk {

// Far more than any file of the kernel's (/proc, /sys) that the program reads holds.
inline constexpr size_t kMaxSystemFileSize = size_t(1) << 16;

// Why a read failed: the errno value (EFBIG: more than the limit, EINVAL: not a regular
// file) and a reason that reads well after a colon.
struct ReadFailure {
    int number = 0;
    std::string reason;
};

// A regular file's bytes, at most maxBytes of them. The file is opened without blocking,
// so a FIFO is refused rather than waited on; a directory, a device or a socket is
// refused by its kind, and a file that grows beyond the limit while it is read is
// refused too. Every file the program reads from outside goes through here.
std::optional<std::string> readRegularFile(const std::string& path, size_t maxBytes,
                                           ReadFailure* failure = nullptr);

// What an open descriptor gives until its end (standard input, a pipe), at most
// maxBytes: reading stops as soon as there is more.
std::optional<std::string> readDescriptor(int fd, size_t maxBytes, ReadFailure* failure = nullptr);

}  // namespace zvk
