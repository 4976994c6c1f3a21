#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zvk {

// Numbers are always formatted and parsed with "." as the decimal separator. The window's
// toolkit switches the C library to the user's locale, so nothing here may use printf or
// strtod for floating-point numbers.

// Fixed-point with the given number of decimals.
std::string fixedText(double value, int decimals);
// Upper-case hexadecimal without prefix, zero-padded to at least minDigits digits.
std::string hexText(unsigned long long value, int minDigits);
// A whole text as a floating-point number in C-locale syntax (no blanks, no comma);
// nullopt when it is not one.
std::optional<double> parseDouble(std::string_view text);
// A whole text as a decimal integer (optional leading '-' or '+'); nullopt otherwise.
std::optional<long long> parseDecimal(std::string_view text);
// A whole text as a hexadecimal integer (no prefix, no sign); nullopt otherwise.
std::optional<long long> parseHex(std::string_view text);
// The same, limited to what 32 bits hold: a signed decimal and an unsigned hexadecimal.
std::optional<int32_t> parseDecimal32(std::string_view text);
std::optional<uint32_t> parseHex32(std::string_view text);

}  // namespace zvk
