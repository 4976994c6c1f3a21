// SPDX-License-Identifier: MIT
// The widget tests' main: the Qt application object every widget needs, offscreen unless
// the caller asked for a display (test discovery runs the binary without CTest's
// environment).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "FontWarmUp.h"
#include "Main.h"

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    // As the program starts: the font configuration is read while the application starts.
    startFontWarmUp();
    QApplication app(argc, argv);
    applyProgramLook();
    return RUN_ALL_TESTS();
}
