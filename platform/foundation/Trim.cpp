#include "platform/foundation/Trim.hpp"

#include <unicode/uchar.h>

#include "platform/foundation/Unicode.hpp"
#include "platform/foundation/Utf8.hpp"

namespace platform {

bool isWhitespaceOrNewline(char32_t codePoint) {
    return u_hasBinaryProperty(static_cast<UChar32>(codePoint), UCHAR_WHITE_SPACE);
}

namespace {

// White space that is no line break: the tab and the Unicode spaces.
bool isWhitespace(char32_t codePoint) {
    switch (codePoint) {
        case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x85: case 0x2028: case 0x2029: return false;
        default: return isWhitespaceOrNewline(codePoint);
    }
}

std::string trim(std::string_view input, bool leading, bool trailing, bool (*trimmed)(char32_t) = isWhitespaceOrNewline) {
    const std::string text = repairUtf8(input);
    size_t first = text.size();  // start of the first kept character
    size_t last = 0;             // end of the last kept character
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        char32_t cp = decodeUtf8(text, i);
        if (!trimmed(cp)) {
            if (first == text.size()) first = start;
            last = i;
        }
    }
    if (first == text.size()) {
        // Nothing but white space: trimming either end empties it.
        return (leading || trailing) ? std::string() : text;
    }
    size_t from = leading ? first : 0;
    size_t to = trailing ? last : text.size();
    return text.substr(from, to - from);
}

}  // namespace

std::string trimmingWhitespaceAndNewlines(std::string_view utf8) { return trim(utf8, true, true); }

std::string trimmingWhitespace(std::string_view utf8) { return trim(utf8, true, true, isWhitespace); }

std::string trimmingLeadingWhitespaceAndNewlines(std::string_view utf8) {
    return trim(utf8, true, false);
}

std::string trimmingTrailingWhitespaceAndNewlines(std::string_view utf8) {
    return trim(utf8, false, true);
}

std::string trimmingAscii(std::string_view text, std::string_view characters) {
    const size_t first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(characters) - first + 1));
}

std::string trimmingTrailingAscii(std::string_view text, std::string_view characters) {
    const size_t last = text.find_last_not_of(characters);
    return std::string(last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1));
}

}  // namespace platform
