// SPDX-License-Identifier: MIT
#pragma once

// Reading the system's font configuration is the largest single cost of showing the
// first word of text, and it needs nothing of the toolkit. startFontWarmUp() does it on
// a thread of its own, so that it overlaps the start of the application object;
// finishFontWarmUp() waits for it and must come before anything measures or draws text,
// so that the toolkit finds the configuration loaded instead of loading it a second time.
// Both may be called more than once; finishing without a start does nothing.
void startFontWarmUp();
void finishFontWarmUp();
