// libFuzzer target: the settings reader and the merge that writing does.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "storage/Settings.h"

namespace {
bool sameIntegers(const zvk::Settings& a, const zvk::Settings& b) {
    return a.top == b.top && a.left == b.left && a.width == b.width && a.height == b.height &&
           a.adr == b.adr && a.vpwm == b.vpwm && a.del == b.del && a.spisel == b.spisel &&
           a.pllmux == b.pllmux && a.injlo1 == b.injlo1 && a.level == b.level && a.cwr == b.cwr;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const zvk::Settings s = zvk::parseSettingsText(text);

    // Writing what was read into the same file must read back the same values, whatever
    // else the file holds, and a second write must change nothing more.
    const auto merged = zvk::mergeSettingsText(text, s);
    if (!merged) return 0;
    const zvk::Settings r = zvk::parseSettingsText(*merged);
    if (!sameIntegers(s, r)) __builtin_trap();
    const auto again = zvk::mergeSettingsText(*merged, r);
    if (!again || *again != *merged) __builtin_trap();
    return 0;
}
