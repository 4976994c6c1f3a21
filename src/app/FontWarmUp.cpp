// SPDX-License-Identifier: MIT
#include "FontWarmUp.h"

#include <fontconfig/fontconfig.h>

#include <system_error>
#include <thread>

namespace {
// Joined at exit as well, should the program end before it looked at a font.
std::jthread g_warmUp;
}  // namespace

void startFontWarmUp() {
    if (g_warmUp.joinable()) return;
    try {
        g_warmUp = std::jthread([] { FcInit(); });
    } catch (const std::system_error&) {
        // No thread to be had: the toolkit loads the configuration itself when needed.
    }
}

void finishFontWarmUp() {
    if (g_warmUp.joinable()) g_warmUp.join();
}
