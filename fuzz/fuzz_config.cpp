// SPDX-License-Identifier: MIT
// libFuzzer target: the configuration file reader, and what a loaded file leads to.
#include <cstddef>
#include <cstdint>
#include <string>

#include "session/Session.h"
#include "storage/ConfigFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zvk::Config c;
    (void)zvk::loadConfigText(text, c);

    // Whatever a file loads must come back from a saved copy: the same words, mode,
    // preset and INJLO1, and the frequencies as the saved text shows them.
    const std::string saved = zvk::configText(c, "title", "date", "time");
    zvk::Config back;
    back.spisel = !c.spisel;
    if (zvk::loadConfigText(saved, back)) __builtin_trap();
    if (back.regs != c.regs || back.spisel != c.spisel || back.pllmux != c.pllmux ||
        back.injlo1 != c.injlo1)
        __builtin_trap();
    if (zvk::configText(back, "title", "date", "time") != saved) __builtin_trap();

    // Loading ends with the program core's steps and the planning on whatever the file held.
    // A stepping clock: the planning step's beeps wait, and a fuzzer should not.
    static zvk::SteppingClock clock;
    static zvk::Session session([] {
        zvk::SessionOptions o;
        o.boardName = "virtual";
        o.clock = &clock;
        o.realtime = false;
        return o;
    }());
    session.takeConfig(c);
    session.applyLoadedConfiguration(c);
    return 0;
}
