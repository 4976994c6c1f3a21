// SPDX-License-Identifier: MIT
#include "base/Numbers.h"

#include <charconv>
#include <cmath>

#include "base/Text.h"

namespace zvk {

std::string fixedText(double value, int decimals) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

void appendHexText(std::string& out, unsigned long long value, int minDigits) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, 16);
    const int n = int(r.ptr - buf);
    if (n < minDigits) out.append(size_t(minDigits - n), '0');
    for (const char* c = buf; c != r.ptr; ++c)
        out += (*c >= 'a' && *c <= 'f') ? char(*c - 'a' + 'A') : *c;
}

std::string hexText(unsigned long long value, int minDigits) {
    std::string digits;
    appendHexText(digits, value, minDigits);
    return digits;
}

std::optional<double> parseDouble(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<long long> parseInteger(std::string_view text, const IntegerSyntax& syntax) {
    bool neg = false;
    bool signed_ = false;
    if (syntax.sign && !text.empty() && (text.front() == '+' || text.front() == '-')) {
        neg = text.front() == '-';
        signed_ = true;
        text.remove_prefix(1);
    }
    int base = syntax.bareHex ? 16 : 10;
    if (syntax.hexPrefix && text.size() > 2 && text[0] == '0' &&
        (text[1] == 'x' || text[1] == 'X')) {
        // A sign belongs to decimal numbers only.
        if (signed_) return std::nullopt;
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars takes a sign of its own; blanks and a second sign are no number here.
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    unsigned long long v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    if (v > 0x7FFFFFFFFFFFFFFFull) return std::nullopt;
    const long long value = neg ? -static_cast<long long>(v) : static_cast<long long>(v);
    if (value < syntax.min || value > syntax.max) return std::nullopt;
    return value;
}

std::string notAnInteger(std::string_view what, std::string_view text) {
    return std::string(what) + ": " + quotedText(text) + " is not an integer";
}

std::optional<long long> parseDecimal(std::string_view text) {
    return parseInteger(text, {.sign = true, .hexPrefix = false});
}
std::optional<long long> parseHex(std::string_view text) {
    return parseInteger(text, {.hexPrefix = false, .bareHex = true});
}

std::optional<int32_t> parseDecimal32(std::string_view text) {
    const auto v =
        parseInteger(text, {.sign = true, .hexPrefix = false, .min = INT32_MIN, .max = INT32_MAX});
    if (!v) return std::nullopt;
    return int32_t(*v);
}

std::optional<uint32_t> parseHex32(std::string_view text) {
    const auto v = parseInteger(text, {.hexPrefix = false, .bareHex = true, .max = 0xFFFFFFFFll});
    if (!v) return std::nullopt;
    return uint32_t(*v);
}

std::string formatFrequency(double mhz) {
    if (std::isnan(mhz)) return "NAN";
    if (std::isinf(mhz)) return mhz > 0 ? "INF" : "-INF";

    // Eighteen significant digits first, then a half-up rounding of that digit string,
    // so a value that prints as ...5 rounds away from zero like the rest of the program's
    // numbers rather than to even.
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(mhz), std::chars_format::scientific, 17);
    std::string digits;
    const char* p = buf;
    for (; p != res.ptr && *p != 'e'; ++p)
        if (*p != '.') digits += *p;
    int exp10 = 0;
    if (p != res.ptr) {
        ++p;
        if (*p == '+') ++p;
        std::from_chars(p, res.ptr, exp10);
    }
    int intDigits = exp10 + 1;  // digits before the point
    if (digits.find_first_not_of('0') == std::string::npos) return "0.000";

    const int keep = std::min(7, intDigits + 3);
    if (keep < 0) return "0.000";
    const bool up = size_t(keep) < digits.size() && digits[size_t(keep)] >= '5';
    digits.resize(size_t(keep));
    if (up) {
        int i = keep - 1;
        for (; i >= 0 && digits[size_t(i)] == '9'; --i) digits[size_t(i)] = '0';
        if (i >= 0) {
            ++digits[size_t(i)];
        } else {
            digits.insert(digits.begin(), '1');
            ++intDigits;
        }
    }
    if (digits.find_first_not_of('0') == std::string::npos) return "0.000";

    std::string out = mhz < 0 ? "-" : "";
    auto digitAt = [&](int i) {
        return i >= 0 && size_t(i) < digits.size() ? digits[size_t(i)] : '0';
    };
    if (intDigits > 7) {
        // Beyond seven integer digits the fixed form would invent digits: scientific
        // with seven significant digits, e.g. 1.234568E+07.
        out += digitAt(0);
        out += '.';
        for (int i = 1; i < 7; ++i) out += digitAt(i);
        const int e = intDigits - 1;
        out += e < 0 ? "E-" : "E+";
        const std::string et = std::to_string(std::abs(e));
        if (et.size() < 2) out += '0';
        out += et;
        return out;
    }
    if (intDigits <= 0) {
        out += '0';
    } else {
        for (int i = 0; i < intDigits; ++i) out += digitAt(i);
    }
    out += '.';
    for (int i = 0; i < 3; ++i) out += digitAt(intDigits + i);
    return out;
}

}  // namespace zvk
