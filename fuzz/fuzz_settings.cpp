// SPDX-License-Identifier: MIT
// libFuzzer target: the settings reader and the merge that writing does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/Settings.h"

namespace {
bool sameIntegers(const zvk::Settings& a, const zvk::Settings& b) {
    return a.top == b.top && a.left == b.left && a.width == b.width && a.height == b.height &&
           a.adr == b.adr && a.vpwm == b.vpwm && a.del == b.del && a.spisel == b.spisel &&
           a.pllmux == b.pllmux && a.injlo1 == b.injlo1 && a.level == b.level && a.cwr == b.cwr;
}
// The lines that can never be one of the program's keys: comments, section lines and
// lines without an '=', each with its line ending.
std::vector<std::string_view> linesNeverOwned(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) break;  // the last line may get an ending
        end += text.substr(end, 2) == "\r\n" ? 2 : 1;
        const std::string_view line = text.substr(pos, end - pos);
        const auto first = line.find_first_not_of(" \t");
        const bool never = line.find('=') == std::string_view::npos ||
                           (first != std::string_view::npos &&
                            (line[first] == ';' || line[first] == '#' || line[first] == '['));
        if (never) lines.push_back(line);
        pos = end;
    }
    return lines;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const zvk::Settings s = zvk::parseSettingsText(text);

    // Writing what was read into the same file must read back the same values, whatever
    // else the file holds, and a second write must change no line.
    const auto merged = zvk::mergeSettingsText(text, s);
    if (!merged) return 0;
    const zvk::Settings r = zvk::parseSettingsText(*merged);
    if (!sameIntegers(s, r)) __builtin_trap();
    const auto again = zvk::mergeSettingsText(*merged, r);
    if (!again || *again != *merged) __builtin_trap();
    // Every line the program cannot own is still there, byte for byte and in its order
    // (a UTF-16 file is compared after its own decoding, so it is left to the checks above).
    if (text.substr(0, 2) != "\xFF\xFE") {
        size_t at = 0;
        for (std::string_view line : linesNeverOwned(text)) {
            const size_t found = merged->find(line, at);
            if (found == std::string::npos) __builtin_trap();
            at = found + line.size();
        }
    }
    return 0;
}
