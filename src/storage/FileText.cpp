// SPDX-License-Identifier: MIT
#include "storage/FileText.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "base/FileRead.h"
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
    off_t at = 0;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, left, at);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        p += n;
        at += n;
        left -= size_t(n);
    }
    return true;
}

std::string userName(uid_t uid) {
    passwd pw{};
    passwd* found = nullptr;
    char buf[1024];
    if (::getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found != nullptr)
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

// The rule the kernel's protected_symlinks applies to opens, taken a little wider: in a
// folder that others may write (world-writable, or sticky as /tmp is), a link is followed
// only when the follower or the folder's owner owns it. Otherwise anyone could plant a
// link there that makes a save by root replace a file of root's.
std::optional<std::string> linkRefused(const struct stat& link, const std::string& folder) {
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) return std::nullopt;
    const bool shared = (dir.st_mode & (S_ISVTX | S_IWOTH)) != 0;
    if (!shared || link.st_uid == ::geteuid() || link.st_uid == dir.st_uid) return std::nullopt;
    const std::string shown =
        folder.rfind("./", 0) == 0 && folder.size() > 2 ? folder.substr(2) : folder;
    return "it is a symbolic link of " + userName(link.st_uid) + " in the shared folder \"" +
           shown + "\" (sticky or writable for all), which is not followed";
}

// The components of a path, the first last, for a walk that pops them from the back.
void pushComponents(std::vector<std::string>& todo, std::string_view path) {
    std::vector<std::string> parts;
    size_t from = 0;
    while (from <= path.size()) {
        const size_t slash = std::min(path.find('/', from), path.size());
        parts.emplace_back(path.substr(from, slash - from));
        from = slash + 1;
    }
    todo.insert(todo.end(), parts.rbegin(), parts.rend());
}

// Where the bytes of a save really go: the path walked component by component as the
// kernel walks it, every symbolic link followed (each under linkRefused's rule), as far
// as the path exists; a missing part is taken as it is written. Renaming over the result
// keeps the user's links in place.
std::optional<std::string> resolveTarget(const std::string& path, std::string& target) {
    std::vector<std::string> todo;
    pushComponents(todo, path);
    std::string done = !path.empty() && path.front() == '/' ? "" : ".";
    bool missing = false;
    int links = 0;
    while (!todo.empty()) {
        const std::string part = std::move(todo.back());
        todo.pop_back();
        if (part.empty() || part == ".") continue;
        const std::string next = done + "/" + part;
        struct stat st {};
        if (!missing && ::lstat(next.c_str(), &st) != 0) missing = true;
        if (missing || !S_ISLNK(st.st_mode)) {
            done = next;
            continue;
        }
        if (auto why = linkRefused(st, done.empty() ? "/" : done == "." ? "./" : done)) return why;
        // The kernel's own limit of links in one path.
        if (++links > 40) return reasonOf(ELOOP);
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(next.c_str(), buf, sizeof buf);
        if (n <= 0 || size_t(n) >= sizeof buf) return reasonOf(n < 0 ? errno : ENAMETOOLONG);
        const std::string_view link(buf, size_t(n));
        if (link.front() == '/') done.clear();
        pushComponents(todo, link);
    }
    target = done.empty() ? "/" : done;
    return std::nullopt;
}

// The longest part of a target's name that the names of its temporary and lock files
// repeat: ".", the part, ".tmp", a process id of up to 7 digits, "." and 6 letters must
// fit the 255 bytes a file name may have.
constexpr size_t kStemLength = 255 - 19;

// The folder of a resolved target ("" for the current one, else ending in '/') and the
// start of the names of its temporary and lock files there.
struct Beside {
    std::string dir, stem;
};
Beside besideOf(const std::string& target) {
    const auto slash = target.rfind('/');
    Beside b;
    b.dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    b.stem = "." + name.substr(0, kStemLength);
    return b;
}

std::string randomLetters() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    unsigned long long v = (static_cast<unsigned long long>(rd()) << 20) ^ counter++;
    std::string out;
    for (int i = 0; i < 6; ++i, v /= 36) out += kLetters[v % 36];
    return out;
}

std::optional<std::string> notARegularFile(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return std::nullopt;
    if (S_ISDIR(st.st_mode)) return "it is a directory, not a file";
    if (S_ISFIFO(st.st_mode)) return "it is a FIFO (named pipe), not a regular file";
    if (S_ISSOCK(st.st_mode)) return "it is a socket, not a regular file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "it is a device, not a regular file";
    return "it is not a regular file";
}

}  // namespace

std::optional<FileOwner> ownerForNewFiles(const std::string& path) {
    if (::geteuid() != 0 || path.empty()) return std::nullopt;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target = fs::absolute(path, ec);
    if (const passwd* root = ::getpwuid(0); root != nullptr && root->pw_dir != nullptr) {
        const std::string home = fs::path(root->pw_dir).lexically_normal().string();
        const std::string t = target.lexically_normal().string();
        if (home != "/" && (t == home || t.rfind(home + "/", 0) == 0)) return std::nullopt;
    }
    auto number = [](const char* name) -> std::optional<unsigned> {
        const char* text = std::getenv(name);
        if (text == nullptr || *text == '\0') return std::nullopt;
        char* end = nullptr;
        errno = 0;
        const unsigned long v = std::strtoul(text, &end, 10);
        if (errno != 0 || *end != '\0' || v == 0 || v > 0xFFFFFFFEul) return std::nullopt;
        return unsigned(v);
    };
    if (const auto uid = number("SUDO_UID")) {
        FileOwner o{*uid, *uid};
        if (const auto gid = number("SUDO_GID")) {
            o.gid = *gid;
        } else if (const passwd* pw = ::getpwuid(*uid); pw != nullptr) {
            o.gid = pw->pw_gid;
        }
        return o;
    }
    for (fs::path dir = target.parent_path(); !dir.empty(); dir = dir.parent_path()) {
        struct stat st {};
        if (::stat(dir.c_str(), &st) == 0) {
            if (st.st_uid == 0) return std::nullopt;
            return FileOwner{st.st_uid, st.st_gid};
        }
        if (dir == dir.root_path()) break;
    }
    return std::nullopt;
}

namespace {

// A save on its way: the target checked, and the temporary file made (or the target
// opened, for a save in place). Dropped before commit, it leaves nothing behind.
class Replacement {
  public:
    Replacement() = default;
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement() {
        if (!temp_.empty()) ::unlink(temp_.c_str());
    }

    std::optional<std::string> prepare(const std::string& path) {
        if (path.empty()) return reasonOf(ENOENT);
        if (auto why = resolveTarget(path, target_)) return why;
        hadFile_ = ::stat(target_.c_str(), &old_) == 0;
        if (hadFile_) {
            if (auto what = notARegularFile(old_)) return what;
            // A write-protected file stays as it is, also for root, who could rename over it.
            if ((old_.st_mode & S_IWUSR) == 0) return std::string("the file is write-protected");
            if (::access(target_.c_str(), W_OK) != 0)
                return errno == EACCES || errno == EPERM
                           ? std::string("the file is write-protected")
                           : reasonOf(errno);
            // Only root can give the new file another user's name.
            if (::geteuid() != 0 && old_.st_uid != ::geteuid()) return openInPlace();
        }
        if (auto why = makeTemporary()) return why;
        if (!hadFile_) {
            // Root saving for a user makes the file theirs, or they could not save it again.
            if (const auto owner = ownerForNewFiles(target_))
                if (::fchown(f_.fd, owner->uid, owner->gid) != 0) return reasonOf(errno);
            return std::nullopt;
        }
        // Root saving someone else's file leaves it theirs; a member of the file's group
        // keeps the group (a folder with the set-group-ID bit may have given another).
        if (::geteuid() == 0) {
            if (::fchown(f_.fd, old_.st_uid, old_.st_gid) != 0) return reasonOf(errno);
        } else if (madeGid_ != old_.st_gid && ::fchown(f_.fd, uid_t(-1), old_.st_gid) != 0) {
            dropTemporary();
            return openInPlace();
        }
        if (::fchmod(f_.fd, old_.st_mode & 07777) != 0) return reasonOf(errno);
        return std::nullopt;
    }

    std::optional<std::string> commit(std::string_view data) {
        int err = 0;
        bool ok = true;
        if (inPlace_) {
            // Room for the whole text first, so that a full disk fails before the old
            // bytes are touched.
            if (!data.empty()) {
                const int r = ::posix_fallocate(f_.fd, 0, off_t(data.size()));
                if (r != 0 && r != EOPNOTSUPP && r != EINVAL) return reasonOf(r);
            }
            ok = writeAll(f_.fd, data, err);
            if (ok && ::ftruncate(f_.fd, off_t(data.size())) != 0) ok = false, err = errno;
            if (ok && ::fsync(f_.fd) != 0) ok = false, err = errno;
            if (ok && ::close(f_.release()) != 0) ok = false, err = errno;
            return ok ? std::nullopt : std::optional<std::string>(reasonOf(err));
        }
        ok = writeAll(f_.fd, data, err);
        if (ok && ::fsync(f_.fd) != 0) ok = false, err = errno;
        if (ok && ::close(f_.release()) != 0) ok = false, err = errno;
        if (ok && ::rename(temp_.c_str(), target_.c_str()) != 0) ok = false, err = errno;
        if (!ok) return reasonOf(err);
        temp_.clear();
        return std::nullopt;
    }

    const std::string& target() const { return target_; }

  private:
    std::optional<std::string> makeTemporary() {
        const Beside b = besideOf(target_);
        for (int attempt = 0; attempt < 100 && f_.fd < 0; ++attempt) {
            temp_ = b.dir + b.stem + ".tmp" + std::to_string(::getpid()) + "." + randomLetters();
            // A new file gets the permissions the user's umask gives any new file; a
            // replaced one never more than it had, from the first byte on.
            const mode_t mode = hadFile_ ? (old_.st_mode & 0777) : 0666;
            f_.fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (f_.fd < 0 && errno != EEXIST) {
                const int err = errno;
                temp_.clear();
                return reasonOf(err);
            }
        }
        if (f_.fd < 0) {
            temp_.clear();
            return reasonOf(EEXIST);
        }
        struct stat made {};
        madeGid_ = ::fstat(f_.fd, &made) == 0 ? made.st_gid : gid_t(-1);
        return std::nullopt;
    }

    void dropTemporary() {
        f_ = Fd();
        ::unlink(temp_.c_str());
        temp_.clear();
    }

    // The file itself, written as a shell redirect writes it: owner, group, links and
    // permissions stay as they are.
    std::optional<std::string> openInPlace() {
        inPlace_ = true;
        f_.fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (f_.fd < 0) return reasonOf(errno);
        struct stat now {};
        if (::fstat(f_.fd, &now) != 0) return reasonOf(errno);
        if (now.st_dev != old_.st_dev || now.st_ino != old_.st_ino)
            return std::string("the file was replaced while it was being saved");
        return std::nullopt;
    }

    std::string target_;
    struct stat old_ {};
    bool hadFile_ = false;
    bool inPlace_ = false;
    std::string temp_;
    gid_t madeGid_ = gid_t(-1);
    Fd f_;
};

}  // namespace

std::optional<std::string> readFileText(const std::string& path, std::string* error,
                                        int* errorNumber) {
    ReadFailure failure;
    auto text = readRegularFile(path, size_t(kMaxFileSize), &failure);
    if (!text) {
        if (error) *error = failure.number == EFBIG ? kTooLarge : failure.reason;
        if (errorNumber) *errorNumber = failure.number;
    }
    return text;
}

std::optional<std::string> replaceFileText(const std::string& path, std::string_view data) {
    removeStaleTemporaries(path);
    Replacement r;
    if (auto why = r.prepare(path)) return why;
    return r.commit(data);
}

std::optional<std::string> checkReplaceable(const std::string& path) {
    Replacement r;
    return r.prepare(path);
}

std::string fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    std::string target;
    if (resolveTarget(path, target)) target = path;
    std::error_code ec;
    return std::filesystem::absolute(target, ec).lexically_normal().string();
}

void removeStaleTemporaries(const std::string& path) {
    std::string target;
    if (path.empty() || resolveTarget(path, target)) return;
    const Beside b = besideOf(target);
    const std::string prefix = b.stem + ".tmp";
    DIR* d = ::opendir(b.dir.empty() ? "." : b.dir.c_str());
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

SaveLock::SaveLock(const std::string& path) {
    std::string target;
    if (path.empty() || resolveTarget(path, target)) return;
    const Beside b = besideOf(target);
    lockPath_ = b.dir + b.stem + ".lock";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    for (;;) {
        // Never through a link, never blocking on something that is not a file.
        const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        int fd = ::open(lockPath_.c_str(), flags);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(lockPath_.c_str(), flags | O_CREAT | O_EXCL, 0644);
            // Readable for the others who save the file too, whatever the umask.
            if (fd >= 0) ::fchmod(fd, 0644);
            if (fd < 0 && errno == EEXIST) continue;
        }
        if (fd < 0) {
            lockPath_.clear();
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The holder before removed the file when it let go: lock the one there now.
            struct stat held {
            }, named{};
            if (::fstat(fd, &held) == 0 && ::stat(lockPath_.c_str(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                fd_ = fd;
                return;
            }
            ::close(fd);
            continue;
        }
        const int err = errno;
        ::close(fd);
        if (err != EWOULDBLOCK && err != EINTR) {
            lockPath_.clear();
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            refusal_ = "another program has been saving it for " + std::to_string(kWaitMs / 1000) +
                       " s (it holds \"" + lockPath_ + "\")";
            lockPath_.clear();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SaveLock::~SaveLock() {
    if (fd_ < 0) return;
    // Removed while still held: a waiting program finds it gone and makes a new one.
    ::unlink(lockPath_.c_str());
    ::close(fd_);
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
