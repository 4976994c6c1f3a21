// SPDX-License-Identifier: MIT
#include "base/Text.h"

#include "base/Numbers.h"

namespace zvk {

std::string escapedText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto ch = static_cast<unsigned char>(c);
        if (ch == '\t') {
            out += "\\t";
        } else if (ch < 0x20 || ch == 0x7F) {
            out += "\\x" + hexText(ch, 2);
        } else {
            out += c;
        }
    }
    return out;
}

std::string quotedText(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return "\"" + escapedText(text) + "\"";
    size_t cut = maxBytes;
    // Not inside a UTF-8 sequence: the message stays valid text.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return "\"" + escapedText(text.substr(0, cut)) + "...\"";
}

}  // namespace zvk

namespace zvk {

std::string quotedPath(std::string_view path) {
    // Linux's PATH_MAX: a longer path names no file.
    return quotedText(path, 4096);
}

}  // namespace zvk
