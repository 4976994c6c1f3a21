// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zvk {

// The parallel ports the kernel drives, as /proc/sys/dev/parport lists them: one folder
// parportN per port, whose base-addr holds the base in decimal ("888\t1912" is 0x378)
// and whose devices/active names the driver holding the port ("none" when free). The
// folders are parameters so tests can lay out a scratch copy.
struct Parport {
    int number = -1;     // N of parportN
    int base = -1;       // the I/O base, -1 when base-addr could not be read
    std::string device;  // devDir/parportN, the ppdev node
    // Why base is -1 when base-addr holds a number that no I/O port has.
    std::string baseProblem;
};

// The highest I/O port address.
inline constexpr long long kMaxIoPort = 0xFFFF;

// Every parportN folder under procDir, lowest N first.
std::vector<Parport> listParports(const std::string& procDir, const std::string& devDir = "/dev");

// The number N of the kernel's parport whose base-addr file names base; the lowest
// one when several do, -1 when none does.
int parportForBase(const std::string& procDir, int base);

// Who holds parportN right now, from its devices/active file, control characters spelled
// out; nullopt when the port is free ("none") or the file cannot be read (older kernels:
// nothing to go by).
std::optional<std::string> parportHolder(const std::string& procDir, int number);

// The N of a name "parportN" (as --port takes it); nullopt for anything else.
std::optional<int> parportNumber(std::string_view name);

}  // namespace zvk
