#include "chip/Numbers.h"

#include <charconv>
#include <cmath>

namespace zvk {

std::string fixedText(double value, int decimals) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

std::string hexText(unsigned long long value, int minDigits) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value, 16);
    std::string digits(buf, r.ptr);
    for (char& c : digits)
        if (c >= 'a' && c <= 'f') c = char(c - 'a' + 'A');
    if (int(digits.size()) < minDigits) digits.insert(0, size_t(minDigits) - digits.size(), '0');
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

namespace {
std::optional<long long> parseInt(std::string_view text, int base, bool signAllowed) {
    bool neg = false;
    if (signAllowed && !text.empty() && (text.front() == '+' || text.front() == '-')) {
        neg = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    unsigned long long v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    if (v > 0x7FFFFFFFFFFFFFFFull) return std::nullopt;
    return neg ? -(long long)v : (long long)v;
}
}  // namespace

std::optional<long long> parseDecimal(std::string_view text) {
    return parseInt(text, 10, true);
}
std::optional<long long> parseHex(std::string_view text) {
    return parseInt(text, 16, false);
}

std::optional<int32_t> parseDecimal32(std::string_view text) {
    const auto v = parseDecimal(text);
    if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
    return int32_t(*v);
}

std::optional<uint32_t> parseHex32(std::string_view text) {
    const auto v = parseHex(text);
    if (!v || *v > 0xFFFFFFFFll) return std::nullopt;
    return uint32_t(*v);
}

}  // namespace zvk
