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
// target exactly as it was. A symbolic link is followed, so the link itself survives, and
// an existing file keeps its permission bits (and, saved by root, its owner). A file that is
// not a regular one, or is write-protected, is not replaced. Returns the reason on failure.
std::optional<std::string> replaceFileText(const std::string& path, std::string_view data);

// Temporary files that a save beside path left behind when its process died.
void removeStaleTemporaries(const std::string& path);

// The line that starts at pos, without its CR, LF or CR LF; pos moves past the end of the
// line. Call while pos < text.size().
std::string_view nextLine(std::string_view text, size_t& pos);

// The part of a path after its last '/'.
std::string fileNameOf(const std::string& path);
// The path with the extension of its file name (from the last '.', a leading dot
// included) replaced by ext; a name without a dot gets ext appended.
std::string changeFileExt(const std::string& path, const std::string& ext);

}  // namespace zvk
