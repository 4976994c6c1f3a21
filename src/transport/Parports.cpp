// SPDX-License-Identifier: MIT
#include "transport/Parports.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/FileRead.h"
#include "base/Text.h"

namespace zvk {

namespace {

// The first line of a file of the kernel's, read as every file from outside is: bounded
// and never waiting (a FIFO in its place under a copied layout).
std::string firstLine(const std::filesystem::path& file) {
    const auto text = readRegularFile(file.string(), kMaxSystemFileSize);
    if (!text) return {};
    return text->substr(0, text->find('\n'));
}

}  // namespace

std::optional<int> parportNumber(std::string_view name) {
    constexpr std::string_view kPrefix = "parport";
    if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix)
        return std::nullopt;
    int n = -1;
    const char* first = name.data() + kPrefix.size();
    const char* last = name.data() + name.size();
    const auto digits = std::from_chars(first, last, n);
    if (digits.ec != std::errc() || digits.ptr != last || n < 0) return std::nullopt;
    return n;
}

std::vector<Parport> listParports(const std::string& procDir, const std::string& devDir) {
    namespace fs = std::filesystem;
    std::vector<Parport> ports;
    std::error_code ec;
    for (fs::directory_iterator it(procDir, ec), end; !ec && it != end; it.increment(ec)) {
        const auto n = parportNumber(it->path().filename().string());
        if (!n) continue;
        Parport p;
        p.number = *n;
        p.device = devDir + "/parport" + std::to_string(*n);
        // The kernel writes "base<TAB>base_hi"; only the first number is the base.
        const std::string text = firstLine(it->path() / "base-addr");
        const size_t pos = text.find_first_not_of(" \t");
        const size_t stop = std::min(text.find_first_of(" \t", pos), text.size());
        long long value = -1;
        if (pos != std::string::npos) {
            const auto parsed = std::from_chars(text.data() + pos, text.data() + stop, value);
            if (parsed.ec == std::errc::result_out_of_range || value > kMaxIoPort) {
                p.baseProblem = "base-addr " + quotedText(text.substr(pos, stop - pos)) +
                                " is out of range for an I/O port";
                value = -1;
            } else if (parsed.ec != std::errc() || value < 0) {
                value = -1;
            }
        }
        p.base = int(value);
        ports.push_back(std::move(p));
    }
    std::sort(ports.begin(), ports.end(),
              [](const Parport& a, const Parport& b) { return a.number < b.number; });
    return ports;
}

int parportForBase(const std::string& procDir, int base) {
    for (const Parport& p : listParports(procDir))
        if (p.base >= 0 && p.base == base) return p.number;
    return -1;
}

std::optional<std::string> parportHolder(const std::string& procDir, int number) {
    std::string holder =
        firstLine(procDir + "/parport" + std::to_string(number) + "/devices/active");
    while (!holder.empty() &&
           (holder.back() == ' ' || holder.back() == '\t' || holder.back() == '\r'))
        holder.pop_back();
    if (holder.empty() || holder == "none") return std::nullopt;
    // A driver's name goes into our messages: no terminal control gets through.
    return escapedText(holder);
}

}  // namespace zvk
