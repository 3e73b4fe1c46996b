#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <unicode/utf8.h>

// The one UTF-8 decoder and encoder; every layer that walks UTF-8 by code
// point goes through these.
namespace platform {

// Decodes the code point at `index` and moves `index` past it. An
// ill-formed sequence yields U+FFFD and consumes its maximal subpart (the
// lead byte and the trail bytes that were still valid), so each bad
// sequence becomes one replacement character. `index` must be below the size.
inline char32_t decodeUtf8(std::string_view text, size_t& index, bool* valid = nullptr) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const size_t length = text.size();
    UChar32 c;
    U8_NEXT(bytes, index, length, c);
    if (valid) *valid = c >= 0;
    return c >= 0 ? static_cast<char32_t>(c) : char32_t(0xFFFD);
}

// Decodes the code point that ends at `index` and moves `index` back to its
// start, with the same U+FFFD rule. `index` must be above 0.
inline char32_t decodeUtf8Before(std::string_view text, size_t& index) {
    // A code point is at most four bytes: look no further back.
    const size_t base = index > U8_MAX_LENGTH ? index - U8_MAX_LENGTH : 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data()) + base;
    int32_t at = static_cast<int32_t>(index - base);
    UChar32 c;
    U8_PREV(bytes, 0, at, c);
    index = base + static_cast<size_t>(at);
    return c >= 0 ? static_cast<char32_t>(c) : char32_t(0xFFFD);
}

// Appends the UTF-8 form of a scalar value; surrogates and values past
// U+10FFFF are written as U+FFFD.
inline void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
        return;
    }
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) codePoint = 0xFFFD;
    char buffer[U8_MAX_LENGTH];
    size_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, codePoint);
    out.append(buffer, length);
}

inline size_t utf16UnitsOf(char32_t codePoint) { return codePoint >= 0x10000 ? 2 : 1; }

}  // namespace platform
