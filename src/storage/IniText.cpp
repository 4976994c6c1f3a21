// SPDX-License-Identifier: MIT
#include "storage/IniText.h"

#include <cstdint>

namespace zvk {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && blank(t.back())) t.remove_suffix(1);
    return t;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// "[name]": the name, blanks removed. A line that opens a section without closing it is no
// section line: the keys below it stay in the section before.
std::optional<std::string_view> sectionOf(std::string_view line) {
    const std::string_view t = trimmed(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trimmed(t.substr(1, close - 1));
}

// "key=value": where the '=' stands; no key line for comments, sections and lines
// without a key before an '='.
std::optional<size_t> equalsOf(std::string_view line) {
    const std::string_view t = trimmed(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return std::nullopt;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || trimmed(line.substr(0, eq)).empty()) return std::nullopt;
    return eq;
}

// UTF-16 code units to UTF-8; a surrogate without its partner is encoded on its own (as
// three bytes), so that the way back gives the very same units.
std::string fromUtf16(std::string_view bytes, bool bigEndian) {
    std::string out;
    auto put = [&out](uint32_t c) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    };
    const size_t n = bytes.size() / 2;
    const size_t lo = bigEndian ? 1 : 0;
    auto unit = [&](size_t i) {
        return uint32_t(uint8_t(bytes[2 * i + lo])) | uint32_t(uint8_t(bytes[2 * i + 1 - lo])) << 8;
    };
    for (size_t i = 0; i < n; ++i) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
            const uint32_t v = unit(i + 1);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                put(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                ++i;
                continue;
            }
        }
        put(u);
    }
    return out;
}

std::string toUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    auto unit = [&out, bigEndian](uint32_t u) {
        const char low = char(u & 0xFF), high = char(u >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = uint8_t(text[i]);
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        uint32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
        for (int k = 1; k <= extra && i + size_t(k) < text.size(); ++k)
            cp = (cp << 6) | (uint8_t(text[i + size_t(k)]) & 0x3F);
        i += size_t(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

}  // namespace

IniText::IniText(std::string_view bytes) {
    std::string decoded;
    const bool be = bytes.substr(0, kUtf16BeBom.size()) == kUtf16BeBom;
    if (be || bytes.substr(0, kUtf16Bom.size()) == kUtf16Bom) {
        utf16_ = true;
        bigEndian_ = be;
        bytes.remove_prefix(kUtf16Bom.size());
        if (bytes.size() % 2 != 0) tail_ = std::string(bytes.substr(bytes.size() - 1));
        decoded = fromUtf16(bytes.substr(0, bytes.size() - tail_.size()), be);
        bytes = decoded;
    } else if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        bom_ = std::string(kUtf8Bom);
        bytes.remove_prefix(kUtf8Bom.size());
    }
    bool eolSeen = false;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = bytes.find_first_of("\r\n", pos);
        Line line;
        if (end == std::string_view::npos) {
            line.text = std::string(bytes.substr(pos));
            pos = bytes.size();
        } else {
            line.text = std::string(bytes.substr(pos, end - pos));
            const size_t len = bytes.substr(end, 2) == "\r\n" ? 2 : 1;
            line.eol = std::string(bytes.substr(end, len));
            pos = end + len;
            if (!eolSeen) eol_ = line.eol;
            eolSeen = true;
        }
        lines_.push_back(std::move(line));
    }
}

std::optional<size_t> IniText::find(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::string& t = lines_[i].text;
        if (const auto name = sectionOf(t)) {
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection) continue;
        if (const auto eq = equalsOf(t);
            eq && sameName(trimmed(std::string_view(t).substr(0, *eq)), key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniText::value(std::string_view section, std::string_view key) const {
    const auto at = find(section, key);
    if (!at) return std::nullopt;
    const std::string& t = lines_[*at].text;
    return std::string(trimmed(std::string_view(t).substr(*equalsOf(t) + 1)));
}

void IniText::set(std::string_view section, std::string_view key, std::string_view value) {
    if (const auto at = find(section, key)) {
        std::string& t = lines_[*at].text;
        size_t from = *equalsOf(t) + 1;
        while (from < t.size() && blank(t[from])) ++from;  // the blank after '=' stays
        t = t.substr(0, from) + std::string(value);
        return;
    }
    const Line added{std::string(key) + "=" + std::string(value), eol_};
    // The end of the section's first occurrence: after its last line that is not blank.
    std::optional<size_t> header;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionOf(lines_[i].text);
        if (!name) continue;
        if (header) break;
        if (sameName(*name, section)) header = i;
    }
    if (header) {
        size_t last = *header;
        for (size_t i = *header + 1; i < lines_.size() && !sectionOf(lines_[i].text); ++i)
            if (!trimmed(lines_[i].text).empty()) last = i;
        if (lines_[last].eol.empty()) lines_[last].eol = eol_;
        lines_.insert(lines_.begin() + long(last) + 1, added);
        return;
    }
    if (!lines_.empty()) {
        if (lines_.back().eol.empty()) lines_.back().eol = eol_;
        if (!trimmed(lines_.back().text).empty()) lines_.push_back({"", eol_});
    }
    lines_.push_back({"[" + std::string(section) + "]", eol_});
    lines_.push_back(added);
}

std::string IniText::bytes() const {
    std::string text;
    for (const Line& l : lines_) text += l.text + l.eol;
    if (utf16_)
        return std::string(bigEndian_ ? kUtf16BeBom : kUtf16Bom) + toUtf16(text, bigEndian_) +
               tail_;
    return bom_ + text;
}

}  // namespace zvk
