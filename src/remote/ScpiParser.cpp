// SPDX-License-Identifier: MIT
#include "remote/ScpiParser.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "remote/ErrorQueue.h"

namespace zvk::remote {

namespace {

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSpace(char c) {
    // SCPI's white space: every control character but the line end, and the blank.
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
char upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}
std::string upperText(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = upper(c);
    return out;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

// A byte shown in a message: itself when printable, else its code.
std::string shownChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u < 0x7F) return std::string("'") + c + "'";
    static const char* hex = "0123456789ABCDEF";
    return std::string("byte 0x") + hex[u >> 4] + hex[u & 15];
}

// "#H1F", "#B101", "#Q17": a whole number in another base.
std::optional<ParseError> nonDecimal(std::string_view t, Parameter& p) {
    if (t.size() < 3)
        return ParseError{kNumericDataError, std::string(t) + " has no digits after its base"};
    const char base = upper(t[1]);
    const int radix = base == 'H' ? 16 : base == 'B' ? 2 : base == 'Q' ? 8 : 0;
    if (radix == 0)
        return ParseError{kDataTypeError, std::string(t.substr(0, 2)) +
                                              " is no number base (#H, #B or #Q); block "
                                              "data is not taken"};
    unsigned long long v = 0;
    const char* first = t.data() + 2;
    const char* last = t.data() + t.size();
    const auto r = std::from_chars(first, last, v, radix);
    if (r.ec == std::errc::result_out_of_range || (r.ec == std::errc() && v > (1ULL << 62)))
        return ParseError{kNumericDataError, std::string(t) + " is too large"};
    if (r.ec != std::errc() || r.ptr != last)
        return ParseError{kNumericDataError, std::string(t) + " holds a digit that base " +
                                                 std::to_string(radix) + " does not have"};
    p.kind = Parameter::Kind::Number;
    p.text = std::string(t);
    p.integer = static_cast<long long>(v);
    p.value = static_cast<double>(v);
    return std::nullopt;
}

// A decimal number with an optional exponent and suffix: "433.92E6", "-5", ".5 MHz".
std::optional<ParseError> decimal(std::string_view t, Parameter& p) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digits = 0;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    bool fraction = false;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i])) ++i, ++digits, fraction = true;
    }
    if (digits == 0) return ParseError{kNumericDataError, std::string(t) + " is no number"};
    size_t mantissaEnd = i;
    // The exponent, with SCPI's white space allowed before its letter and after it.
    size_t j = i;
    while (j < t.size() && isSpace(t[j])) ++j;
    bool exponent = false;
    if (j < t.size() && upper(t[j]) == 'E') {
        size_t k = j + 1;
        while (k < t.size() && isSpace(t[k])) ++k;
        if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
        size_t expDigits = 0;
        while (k < t.size() && isDigit(t[k])) ++k, ++expDigits;
        if (expDigits > 0) {
            exponent = true;
            i = k;
        } else if (j + 1 < t.size() && (isSpace(t[j + 1]) || t[j + 1] == '+' || t[j + 1] == '-')) {
            // "5 E+" is a broken exponent, not the suffix "E".
            return ParseError{kNumericDataError,
                              std::string(t) + " has an exponent without digits"};
        }
    }
    // The number without white space, for the conversion.
    std::string number;
    for (char c : t.substr(0, exponent ? i : mantissaEnd))
        if (!isSpace(c)) number += c;
    if (number[0] == '+') number.erase(0, 1);
    double v = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), v);
    if (r.ec != std::errc() || r.ptr != number.data() + number.size() || !std::isfinite(v))
        return ParseError{kNumericDataError, std::string(t) + " is out of the range of numbers"};
    // The suffix: letters after optional white space.
    size_t s = exponent ? i : mantissaEnd;
    while (s < t.size() && isSpace(t[s])) ++s;
    const size_t unitStart = s;
    while (s < t.size() && isLetter(t[s])) ++s;
    if (s != t.size()) {
        if (s == unitStart)
            return ParseError{kNumericDataError,
                              std::string(t) + " is no number: " + shownChar(t[s]) + " after it"};
        return ParseError{kInvalidSuffix, std::string(t) + " has no suffix a number takes"};
    }
    p.kind = Parameter::Kind::Number;
    p.text = std::string(t);
    p.value = v;
    p.unit = upperText(t.substr(unitStart));
    if (!fraction && !exponent && std::fabs(v) < 9.0e15) p.integer = static_cast<long long>(v);
    if (exponent && v == std::floor(v) && std::fabs(v) < 9.0e15)
        p.integer = static_cast<long long>(v);
    if (fraction && v == std::floor(v) && std::fabs(v) < 9.0e15)
        p.integer = static_cast<long long>(v);
    return std::nullopt;
}

std::optional<ParseError> quoted(std::string_view t, Parameter& p) {
    const char q = t[0];
    std::string content;
    size_t i = 1;
    for (;;) {
        if (i >= t.size())
            return ParseError{kStringDataError,
                              "the string " + std::string(1, q) + "... is not closed"};
        if (t[i] == q) {
            if (i + 1 < t.size() && t[i + 1] == q) {
                content += q;
                i += 2;
                continue;
            }
            break;
        }
        content += t[i++];
    }
    if (i + 1 != t.size())
        return ParseError{kSyntaxError, shownChar(t[i + 1]) + " after the closing quote"};
    p.kind = Parameter::Kind::String;
    p.text = std::move(content);
    return std::nullopt;
}

std::optional<ParseError> parameter(std::string_view t, Parameter& p) {
    if (t.empty()) return ParseError{kSyntaxError, "an empty parameter"};
    const char c = t[0];
    if (c == '"' || c == '\'') return quoted(t, p);
    if (c == '#') return nonDecimal(t, p);
    if (isDigit(c) || c == '+' || c == '-' || c == '.') return decimal(t, p);
    if (isLetter(c)) {
        for (char ch : t)
            if (!isLetter(ch) && !isDigit(ch) && ch != '_')
                return ParseError{kInvalidCharacter,
                                  shownChar(ch) + " in " + std::string(t.substr(0, 40))};
        p.kind = Parameter::Kind::Character;
        p.text = upperText(t);
        return std::nullopt;
    }
    return ParseError{kInvalidCharacter, shownChar(c) + " starts no parameter"};
}

// The parameters, split at each ',' outside a quoted string.
std::optional<ParseError> parameters(std::string_view text, std::vector<Parameter>& out) {
    size_t start = 0;
    char inQuote = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size()) {
            const char c = text[i];
            if (inQuote) {
                if (c == inQuote) inQuote = 0;  // a doubled quote closes and opens again
                continue;
            }
            if (c == '"' || c == '\'') {
                inQuote = c;
                continue;
            }
            if (c != ',') continue;
        }
        Parameter p;
        const std::string_view item = trimmed(text.substr(start, i - start));
        if (item.empty() && (i < text.size() || !out.empty()))
            return ParseError{kSyntaxError, "an empty parameter between commas"};
        if (auto e = parameter(item, p)) return e;
        out.push_back(std::move(p));
        start = i + 1;
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string_view> splitUnits(std::string_view line) {
    std::vector<std::string_view> units;
    size_t start = 0;
    char inQuote = 0;
    for (size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size()) {
            const char c = line[i];
            if (inQuote) {
                if (c == inQuote) inQuote = 0;
                continue;
            }
            if (c == '"' || c == '\'') {
                inQuote = c;
                continue;
            }
            if (c != ';') continue;
        }
        const std::string_view unit = trimmed(line.substr(start, i - start));
        if (!unit.empty()) units.push_back(unit);
        start = i + 1;
    }
    return units;
}

ParsedUnit parseUnit(std::string_view text) {
    ParsedUnit out;
    ProgramUnit& u = out.unit;
    auto fail = [&out](int code, std::string detail) {
        out.error = ParseError{code, std::move(detail)};
        return out;
    };
    text = trimmed(text);
    size_t end = 0;
    while (end < text.size() && !isSpace(text[end])) ++end;
    const std::string_view header = text.substr(0, end);
    const std::string_view rest = trimmed(text.substr(end));
    if (header.empty()) return fail(kSyntaxError, "no header");

    std::string_view h = header;
    if (h.back() == '?') {
        u.query = true;
        h.remove_suffix(1);
    }
    if (!h.empty() && h.front() == '*') {
        u.common = true;
        const std::string_view name = h.substr(1);
        if (name.empty()) return fail(kSyntaxError, "'*' without a command name");
        for (char c : name)
            if (!isLetter(c))
                return fail(c == '?' || c == ':' ? kSyntaxError : kInvalidCharacter,
                            shownChar(c) + " in the header " + std::string(header.substr(0, 40)));
        u.nodes.push_back("*" + upperText(name));
    } else {
        if (!h.empty() && h.front() == ':') {
            u.absolute = true;
            h.remove_prefix(1);
        }
        size_t start = 0;
        for (size_t i = 0; i <= h.size(); ++i) {
            if (i < h.size() && h[i] != ':') {
                const char c = h[i];
                if (!isLetter(c) && !isDigit(c) && c != '_')
                    return fail(
                        c == '?' || c == '*' ? kSyntaxError : kInvalidCharacter,
                        shownChar(c) + " in the header " + std::string(header.substr(0, 40)));
                continue;
            }
            const std::string_view m = h.substr(start, i - start);
            if (m.empty())
                return fail(kSyntaxError,
                            "an empty mnemonic in the header " + std::string(header.substr(0, 40)));
            if (!isLetter(m[0]))
                return fail(kSyntaxError, "the mnemonic " + std::string(m.substr(0, 40)) +
                                              " does not start with a letter");
            u.nodes.push_back(upperText(m));
            start = i + 1;
        }
    }
    if (!rest.empty())
        if (auto e = parameters(rest, u.params)) return fail(e->code, std::move(e->detail));
    return out;
}

bool mnemonicMatches(std::string_view received, std::string_view defined) {
    std::string longForm, shortForm;
    for (char c : defined) {
        longForm += upper(c);
        if (!(c >= 'a' && c <= 'z')) shortForm += c;
    }
    const std::string r = upperText(received);
    return r == longForm || r == shortForm;
}

SuffixedMnemonic splitSuffix(std::string_view mnemonic) {
    size_t i = mnemonic.size();
    while (i > 0 && isDigit(mnemonic[i - 1])) --i;
    SuffixedMnemonic s{std::string(mnemonic.substr(0, i)), std::nullopt};
    const std::string_view digits = mnemonic.substr(i);
    if (digits.empty()) return s;
    int v = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    s.suffix = (r.ec == std::errc() && v < 1000000) ? v : -1;
    return s;
}

}  // namespace zvk::remote
