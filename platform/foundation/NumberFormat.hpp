#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Number to text and back, always with '.' as the decimal point and no
// grouping, whatever the process or C++ global locale is.
namespace platform {

// Like "%.<decimals>f": formatFixed(2.345, 1) == "2.3", ties round as printf does.
std::string formatFixed(double value, int decimals);

// Like "%lld" / "%llu".
std::string formatInteger(int64_t value);
std::string formatUnsigned(uint64_t value);

// The shortest text that reads back to the same double, with ".0" added to
// whole numbers ("6.0", "0.1", "1e+16", "nan", "inf").
std::string formatShortest(double value);

// Whole text must be a number (leading/trailing white space is not allowed).
std::optional<double> parseDouble(std::string_view text);
std::optional<int64_t> parseInteger(std::string_view text);

}  // namespace platform
