#include "storage/FileText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace zvk {

namespace {

std::string reasonOf(int err) {
    return std::strerror(err);
}

// Closes on every path out, so an early return cannot leak the descriptor.
struct Fd {
    int fd = -1;
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
            target = slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
        }
    }
    return target;
}

}  // namespace

std::optional<std::string> readFileText(const std::string& path, std::string* error,
                                        int* errorNumber) {
    auto fail = [&](int err) {
        if (error) *error = reasonOf(err);
        if (errorNumber) *errorNumber = err;
        return std::nullopt;
    };
    Fd f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.fd < 0) return fail(errno);
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        text.append(buf, size_t(n));
    }
    return text;
}

std::optional<std::string> replaceFileText(const std::string& path, std::string_view data) {
    if (path.empty()) return reasonOf(ENOENT);
    const std::string target = resolveTarget(path);
    const auto slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (hadFile && S_ISDIR(old.st_mode)) return reasonOf(EISDIR);

    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::string temp;
    Fd f;
    for (int attempt = 0; attempt < 100 && f.fd < 0; ++attempt) {
        temp = dir + "." + base + ".tmp" + std::to_string(::getpid()) + "." +
               std::to_string(counter++) + "." + std::to_string(rd() % 100000);
        // 0666 so a new file gets the permissions the user's umask gives any new file.
        f.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (f.fd < 0 && errno != EEXIST) return reasonOf(errno);
    }
    if (f.fd < 0) return reasonOf(EEXIST);

    int err = 0;
    bool ok = writeAll(f.fd, data, err);
    if (ok && hadFile && ::fchmod(f.fd, old.st_mode & 07777) != 0) ok = false, err = errno;
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
