// SPDX-License-Identifier: MIT
#include "storage/FileText.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <utility>

#include "base/Numbers.h"

namespace zvk {

namespace {

std::string reasonOf(int err) {
    return std::strerror(err);
}

constexpr const char* kTooLarge =
    "it is larger than 16 MiB, far more than any settings or configuration file";

// Closes on every path out, so an early return cannot leak the descriptor.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    // It owns the descriptor: moved, never copied (a copy would close it twice).
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd >= 0) ::close(fd);
            fd = other.release();
        }
        return *this;
    }
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    int release() {
        const int f = fd;
        fd = -1;
        return f;
    }
};

bool writeAll(int fd, std::string_view data, int& err) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    return true;
}

// Where the bytes really go: a symbolic link is replaced by what it points at, so that
// renaming over it keeps the link in place.
std::string resolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 16; ++hops) {
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), buf, sizeof buf - 1);
        if (n < 0) break;
        std::string link(buf, size_t(n));
        if (link.empty()) break;
        if (link.front() == '/') {
            target = link;
        } else {
            const auto slash = target.rfind('/');
            if (slash == std::string::npos) {
                target = link;
            } else {
                target.resize(slash + 1);
                target += link;
            }
        }
    }
    return target;
}

// Where a save of path writes first, and what names it gives its temporary files there:
// the target's folder ("" for the current one) and ".<name>.tmp" before the writer's
// process id.
struct TempPlace {
    std::string target, dir, prefix;
};
TempPlace tempPlace(const std::string& path) {
    TempPlace t;
    t.target = resolveTarget(path);
    const auto slash = t.target.rfind('/');
    t.dir = slash == std::string::npos ? "" : t.target.substr(0, slash + 1);
    t.prefix = "." + (slash == std::string::npos ? t.target : t.target.substr(slash + 1)) + ".tmp";
    return t;
}

}  // namespace

static std::optional<std::string> notARegularFile(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return std::nullopt;
    if (S_ISDIR(st.st_mode)) return "it is a directory, not a file";
    if (S_ISFIFO(st.st_mode)) return "it is a FIFO (named pipe), not a regular file";
    if (S_ISSOCK(st.st_mode)) return "it is a socket, not a regular file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "it is a device, not a regular file";
    return "it is not a regular file";
}

std::optional<std::string> readFileText(const std::string& path, std::string* error,
                                        int* errorNumber) {
    auto fail = [&](int err, const std::string& reason) {
        if (error) *error = reason;
        if (errorNumber) *errorNumber = err;
        return std::nullopt;
    };
    // Without blocking: opening a FIFO for reading would wait for a writer for ever.
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (f.fd < 0) return fail(errno, reasonOf(errno));
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) return fail(errno, reasonOf(errno));
    if (auto what = notARegularFile(st)) return fail(EINVAL, *what);
    if (st.st_size > kMaxFileSize) return fail(EFBIG, kTooLarge);
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return fail(errno, reasonOf(errno));
        }
        text.append(buf, size_t(n));
        // A file that grows while it is read is held to the same limit.
        if (text.size() > size_t(kMaxFileSize)) return fail(EFBIG, kTooLarge);
    }
    return text;
}

std::optional<std::string> replaceFileText(const std::string& path, std::string_view data) {
    if (path.empty()) return reasonOf(ENOENT);
    const TempPlace place = tempPlace(path);
    const std::string& target = place.target;

    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (hadFile) {
        if (auto what = notARegularFile(old)) return what;
        // A write-protected file stays as it is, also for root, who could rename over it.
        if ((old.st_mode & S_IWUSR) == 0 || ::access(target.c_str(), W_OK) != 0)
            return std::string("the file is write-protected");
    }

    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::string temp;
    Fd f;
    for (int attempt = 0; attempt < 100 && f.fd < 0; ++attempt) {
        temp = place.dir + place.prefix + std::to_string(::getpid()) + "." +
               std::to_string(counter++) + "." + std::to_string(rd() % 100000);
        // A new file gets the permissions the user's umask gives any new file; a replaced
        // one never more than it had, from the first byte on.
        const mode_t mode = hadFile ? (old.st_mode & 0777) : 0666;
        f.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (f.fd < 0 && errno != EEXIST) return reasonOf(errno);
    }
    if (f.fd < 0) return reasonOf(EEXIST);

    int err = 0;
    bool ok = true;
    // Root saving someone else's file leaves it theirs.
    if (hadFile && ::geteuid() == 0 && ::fchown(f.fd, old.st_uid, old.st_gid) != 0)
        ok = false, err = errno;
    if (ok && hadFile && ::fchmod(f.fd, old.st_mode & 07777) != 0) ok = false, err = errno;
    if (ok) ok = writeAll(f.fd, data, err);
    if (ok && ::fsync(f.fd) != 0) ok = false, err = errno;
    if (ok) {
        if (::close(f.release()) != 0) ok = false, err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false, err = errno;
    if (!ok) {
        ::unlink(temp.c_str());
        return reasonOf(err);
    }
    return std::nullopt;
}

void removeStaleTemporaries(const std::string& path) {
    const TempPlace place = tempPlace(path);
    const std::string& prefix = place.prefix;
    DIR* d = ::opendir(place.dir.empty() ? "." : place.dir.c_str());
    if (d == nullptr) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind(prefix, 0) != 0) continue;
        // Our own naming: prefix, the writer's process id, a dot. A writer still running
        // may be in the middle of its save.
        const std::string rest = name.substr(prefix.size());
        const auto dot = rest.find('.');
        if (dot == std::string::npos || dot == 0) continue;
        const auto pid =
            parseInteger(rest.substr(0, dot), {.hexPrefix = false, .min = 1, .max = INT32_MAX});
        if (!pid) continue;
        if (::kill(pid_t(*pid), 0) == 0 || errno != ESRCH) continue;
        ::unlinkat(::dirfd(d), name.c_str(), 0);
    }
    ::closedir(d);
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string changeFileExt(const std::string& path, const std::string& ext) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return path.substr(0, dot) + ext;
    return path + ext;
}

std::string_view nextLine(std::string_view text, size_t& pos) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    return line;
}

}  // namespace zvk
