#include "FontWarmUp.h"

#include <fontconfig/fontconfig.h>

#include <system_error>
#include <thread>

namespace {
std::thread g_warmUp;
}

void startFontWarmUp() {
    if (g_warmUp.joinable()) return;
    try {
        g_warmUp = std::thread([] { FcInit(); });
    } catch (const std::system_error&) {
        // No thread to be had: the toolkit loads the configuration itself when needed.
    }
}

void finishFontWarmUp() {
    if (g_warmUp.joinable()) g_warmUp.join();
}
