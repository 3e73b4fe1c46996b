#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Number to text and back, always with '.' as the decimal point and no
// grouping, whatever the process or C++ global locale is.
namespace platform {

// Like "%<width>.<decimals>f": formatFixed(2.345, 1) == "2.3", ties round as
// printf does; shorter texts are padded with spaces on the left to `width`.
std::string formatFixed(double value, int decimals, int width = 0);

// Like "%lld" / "%llu".
std::string formatInteger(int64_t value);
std::string formatUnsigned(uint64_t value);

// The shortest text that reads back to the same double, with ".0" added to
// whole numbers ("6.0", "0.1", "1e+16", "nan", "inf").
std::string formatShortest(double value);
// The same for a 32-bit float: the shortest text that reads back to the
// same float (0.1f prints "0.1", not its double expansion).
std::string formatShortest(float value);
template <std::integral T>
std::string formatShortest(T value) {
    return formatShortest(static_cast<double>(value));
}

// Like "%.<digits>g": at most `digits` significant digits, trailing zeros
// dropped, an exponent only for very large or small values ("0.2", "1.23",
// "1e+03"). `digits` below 1 counts as 1.
std::string formatSignificant(double value, int digits);

// Whole text must be a number (leading/trailing white space is not allowed).
std::optional<double> parseDouble(std::string_view text);
std::optional<int64_t> parseInteger(std::string_view text);

}  // namespace platform
