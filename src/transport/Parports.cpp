// SPDX-License-Identifier: MIT
#include "transport/Parports.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zvk {

namespace {

std::string firstLine(const std::filesystem::path& file) {
    std::ifstream f(file);
    std::string line;
    std::getline(f, line);
    return line;
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
        long value = -1;
        if (pos != std::string::npos) {
            const auto parsed =
                std::from_chars(text.data() + pos, text.data() + text.size(), value);
            if (parsed.ec != std::errc()) value = -1;
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
    std::ifstream f(procDir + "/parport" + std::to_string(number) + "/devices/active");
    if (!f) return std::nullopt;
    std::string holder;
    std::getline(f, holder);
    while (!holder.empty() &&
           (holder.back() == ' ' || holder.back() == '\t' || holder.back() == '\r'))
        holder.pop_back();
    if (holder.empty() || holder == "none") return std::nullopt;
    return holder;
}

}  // namespace zvk
