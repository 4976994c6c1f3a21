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
// Blank lines are layout: SimpleIni puts them around sections and file comments as it likes.
std::vector<std::string_view> nonBlankLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        if (end > pos) lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
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
    if (!again || nonBlankLines(*again) != nonBlankLines(*merged)) __builtin_trap();
    return 0;
}
