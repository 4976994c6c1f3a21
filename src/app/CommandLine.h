// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>

// What the command line asks for: lab mode is the original first argument "bench",
// exactly; --virtual-board (the virtual board's parallel port) or --virtual-board=usb (its
// adapter as well) may stand anywhere; --settings FILE, --help, --version and the
// toolkit's own options. Other plain arguments are ignored.
struct CommandLine {
    bool labMode = false;
    std::string boardName = "hardware";
    std::string settingsPath;  // empty: the program's own settings file
    std::string device;        // one adapter: usb:BUS/DEV or usb:path=PORT
    // Set when the program ends at once (help, version, an unknown option) with this code,
    // after printing the text: on standard output for 0, else on standard error.
    std::optional<int> exitCode;
    std::string text;
};
CommandLine parseCommandLine(int argc, const char* const* argv);
