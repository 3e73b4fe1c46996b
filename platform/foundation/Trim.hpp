#pragma once

#include <string>
#include <string_view>

namespace platform {

// Unicode White_Space: tab, line feed, vertical tab, form feed, carriage
// return, space, U+0085, U+00A0, U+1680, U+2000-U+200A, U+2028, U+2029,
// U+202F, U+205F and U+3000.
bool isWhitespaceOrNewline(char32_t codePoint);

// Removes white space and newlines at both ends; inner characters are kept.
std::string trimmingWhitespaceAndNewlines(std::string_view utf8);
// Removes white space at both ends but no line break (LF, VT, FF, CR,
// U+0085, U+2028, U+2029): tabs and the Unicode spaces go, newlines stay.
std::string trimmingWhitespace(std::string_view utf8);
// Only at the start / only at the end.
std::string trimmingLeadingWhitespaceAndNewlines(std::string_view utf8);
std::string trimmingTrailingWhitespaceAndNewlines(std::string_view utf8);

// For protocol and file-format fields: removes the given ASCII characters at
// both ends and keeps every other byte as it is, invalid UTF-8 included.
inline constexpr std::string_view kSpacesAndTabs = " \t";
inline constexpr std::string_view kAsciiWhitespace = " \t\n\r\v\f";
std::string trimmingAscii(std::string_view text, std::string_view characters);
std::string trimmingTrailingAscii(std::string_view text, std::string_view characters);

}  // namespace platform
