// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace zvk {

// How much of an input a message repeats: enough to recognise it, never a whole file or
// a 5 MB option value.
inline constexpr size_t kQuotedLength = 100;

// Input repeated in a one-line message: in double quotes, cut after maxBytes bytes (at a
// character's start, "..." after it), a tab as \t and every other control character as
// \xNN, so that the message stays one readable line whatever it quotes.
std::string quotedText(std::string_view text, size_t maxBytes = kQuotedLength);
// A file's path in a message: quoted, cut only where no path reaches.
std::string quotedPath(std::string_view path);

// A text from the system (a driver's name, a file's first line) in a line of ours:
// control characters spelled out as quotedText() does, nothing cut.
std::string escapedText(std::string_view text);

}  // namespace zvk
