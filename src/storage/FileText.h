// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace zvk {

// Whole-file reads and replacements for the settings and configuration files.

// Far more than any settings or configuration file holds.
inline constexpr long long kMaxFileSize = 16LL << 20;

// The file's bytes; nullopt with the reason in *error (and its errno value in *errorNumber)
// when it cannot be read. Only a regular file of at most kMaxFileSize bytes is read; it is
// opened without blocking, so a FIFO is refused rather than waited on.
std::optional<std::string> readFileText(const std::string& path, std::string* error = nullptr,
                                        int* errorNumber = nullptr);

// Replaces the file's content with data: the bytes go to a new file beside the target
// (same directory, so the rename stays on one file system), are flushed, and the new file
// is renamed over the target. A failure at any step removes the new file and leaves the
// target exactly as it was. A symbolic link is followed, so the link itself survives,
// unless another user owns it in a shared folder (sticky or world-writable), where it is
// refused as the kernel's protected_symlinks refuses it. An existing file keeps its
// permission bits, its owner and its group: saved by root through fchown, by a member of
// its group through fchown to that group; where the saving user cannot keep them (the
// file is another user's), the bytes are written into the file in place, as a shell
// redirect does. A file that is not a regular one, or is write-protected, is not
// replaced. Temporary files of dead writers beside the target are removed first. Returns
// the reason on failure.
std::optional<std::string> replaceFileText(const std::string& path, std::string_view data);

// Who is to own the folders and files a save makes at path, when that is not the saving
// user: root saving for someone else, as "sudo -E" (which keeps HOME) does. With
// SUDO_UID (and SUDO_GID) naming another user, that user; else the owner of the nearest
// folder that exists above path, when that is not root. Never for a path under root's
// own home (plain sudo saves there, for root). nullopt when the saver owns what it makes.
struct FileOwner {
    unsigned uid = 0;
    unsigned gid = 0;
};
std::optional<FileOwner> ownerForNewFiles(const std::string& path);

// Whether replaceFileText(path, ...) would find the target writable now: the same checks
// (links, kind, write protection) and a temporary file made and removed beside it, with
// the file itself unchanged. Outputs are checked so before anything else happens.
std::optional<std::string> checkReplaceable(const std::string& path);

// The file a path names, for telling two names of one file apart: "dev:ino" where it
// exists, else the absolute path with every symbolic link followed as far as it goes.
std::string fileIdentity(const std::string& path);

// Temporary files that a save beside path left behind when its process died.
void removeStaleTemporaries(const std::string& path);

// An advisory lock (flock) around a read-modify-write of a file, so that two programs
// changing one file one after the other both keep their changes. It is taken on the
// hidden file ".NAME.lock" beside the file (beside the file a link leads to), which the
// holder removes when it lets go. A lock file that cannot be made (a read-only folder)
// leaves the change unlocked: the save itself then says what is wrong.
class SaveLock {
  public:
    // Waits up to kWaitMs for the lock.
    explicit SaveLock(const std::string& path);
    ~SaveLock();
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;
    // Set when another program held the lock for the whole wait.
    const std::optional<std::string>& refusal() const { return refusal_; }
    static constexpr int kWaitMs = 10000;

  private:
    int fd_ = -1;
    std::string lockPath_;
    std::optional<std::string> refusal_;
};

// The line that starts at pos, without its CR, LF or CR LF; pos moves past the end of the
// line. Call while pos < text.size().
std::string_view nextLine(std::string_view text, size_t& pos);

// The part of a path after its last '/'.
std::string fileNameOf(const std::string& path);
// The path with the extension of its file name (from the last '.', a leading dot
// included) replaced by ext; a name without a dot gets ext appended.
std::string changeFileExt(const std::string& path, const std::string& ext);

}  // namespace zvk
