#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// UTF-8 is the string form everywhere; these helpers count and cut it the
// way other layers count: UTF-16 units (the app's ranges), code points
// (AT-SPI offsets) and grapheme clusters (user-perceived characters).
// Unless said otherwise, invalid UTF-8 input is read as if repaired
// (each bad sequence is one U+FFFD).
namespace platform {

bool isValidUtf8(std::string_view text);

// Replaces every ill-formed sequence with U+FFFD; valid text is returned as is.
std::string repairUtf8(std::string_view text);

// Conversions. Lone surrogates in UTF-16 become U+FFFD in UTF-8.
std::u16string toUtf16(std::string_view utf8);
std::string fromUtf16(std::u16string_view utf16);
std::u32string toUtf32(std::string_view utf8);
std::string fromUtf32(std::u32string_view utf32);
std::string fromCodePoint(char32_t codePoint);

size_t utf16Length(std::string_view utf8);
size_t codePointCount(std::string_view utf8);

// Offset conversions over valid UTF-8. Each returns nullopt when the offset is
// past the end of the text or falls inside a character (inside a multi-byte
// sequence, or between the two halves of a surrogate pair).
std::optional<size_t> utf16OffsetToByteOffset(std::string_view utf8, size_t utf16Offset);
std::optional<size_t> byteOffsetToUtf16Offset(std::string_view utf8, size_t byteOffset);
std::optional<size_t> codePointOffsetToByteOffset(std::string_view utf8, size_t codePointOffset);
std::optional<size_t> byteOffsetToCodePointOffset(std::string_view utf8, size_t byteOffset);
std::optional<size_t> utf16OffsetToCodePointOffset(std::string_view utf8, size_t utf16Offset);
std::optional<size_t> codePointOffsetToUtf16Offset(std::string_view utf8, size_t codePointOffset);

// The text in [location, location + length) counted in UTF-16 units;
// nullopt when the range leaves the text or cuts a surrogate pair.
std::optional<std::string> substringUtf16(std::string_view utf8, size_t location, size_t length);

// Extended grapheme clusters.
size_t graphemeCount(std::string_view utf8);
std::vector<std::string> graphemeClusters(std::string_view utf8);
// The first `count` grapheme clusters (all of the text when it has fewer).
std::string graphemePrefix(std::string_view utf8, size_t count);

// Full case mapping with the root locale (same result under any process locale).
std::string lowercased(std::string_view utf8);
std::string uppercased(std::string_view utf8);

// Canonical composition (NFC): canonically equal texts come out byte for byte
// equal, as string equality compares them.
std::string composedCanonically(std::string_view utf8);

}  // namespace platform
