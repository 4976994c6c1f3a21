// SPDX-License-Identifier: MIT
// libFuzzer target: the remote control commands. Each line of the input is one line a
// client sends. Whatever it holds, the reply stays one line, and a line whose first
// command was refused leaves the register image and the plan's inputs as they were.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "remote/Instrument.h"
#include "session/Session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A stepping clock: the planning step's beeps wait, and a fuzzer should not.
    static zvk::SteppingClock clock;
    static zvk::Session session([] {
        zvk::SessionOptions o;
        o.boardName = "virtual";
        o.clock = &clock;
        o.realtime = false;
        return o;
    }());
    // Files go to a folder of their own, never beside the fuzzer's corpus; it goes when
    // the process ends (a plain array: no destructor runs before the removal).
    static char files[] = "/tmp/zvk-fuzz-scpi-XXXXXX";
    static const bool made = [] {
        if (::mkdtemp(files) == nullptr) return false;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(files, ec);
        });
        return true;
    }();
    static zvk::remote::Instrument instrument(
        session, {.labMode = true, .filesDir = made ? files : "/nonexistent"});

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        const std::string_view line = input.substr(start, end - start);
        const zvk::RegisterImage regs = session.regs();
        const zvk::PlanEdits edits = session.edits();
        const size_t errors = instrument.errors().count();
        const std::string reply = instrument.execute(line);
        if (reply.find('\n') != std::string::npos) __builtin_trap();
        // Nothing answered and an error more: the first command was refused or the line
        // did not parse, and nothing may have changed.
        if (reply.empty() && instrument.errors().count() > errors && line.find(';') == line.npos &&
            (session.regs() != regs || session.edits().frf != edits.frf ||
             session.edits().fxtal != edits.fxtal || session.edits().rgIf1 != edits.rgIf1))
            __builtin_trap();
        // The queue is read now and then, as a client would.
        if (instrument.errors().count() > 10) instrument.execute("*CLS");
        start = end + 1;
    }
    return 0;
}
