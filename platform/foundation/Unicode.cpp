#include "platform/foundation/Unicode.hpp"

#include <unicode/bytestream.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "platform/foundation/GraphemeClusters.hpp"
#include "platform/foundation/Utf8.hpp"

namespace platform {

namespace {

// The three counters at each code-point boundary.
struct Position {
    size_t bytes = 0;
    size_t units = 0;
    size_t points = 0;
};

// Walks the text until `stop(position)` says so; returns the position it
// stopped at (or the end) and whether it stopped exactly on a boundary.
template <class Reached>
std::optional<Position> walkTo(std::string_view text, Reached reached) {
    Position p;
    while (true) {
        int r = reached(p);  // <0 not yet, 0 exactly here, >0 passed it
        if (r == 0) return p;
        if (r > 0) return std::nullopt;
        if (p.bytes >= text.size()) return std::nullopt;
        size_t index = p.bytes;
        char32_t cp = decodeUtf8(text, index);
        p.bytes = index;
        p.units += utf16UnitsOf(cp);
        p.points += 1;
    }
}

int compare(size_t value, size_t target) { return value < target ? -1 : value == target ? 0 : 1; }

}  // namespace

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        bool valid = true;
        decodeUtf8(text, i, &valid);
        if (!valid) return false;
    }
    return true;
}

std::string repairUtf8(std::string_view text) {
    if (isValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        bool valid = true;
        char32_t cp = decodeUtf8(text, i, &valid);
        if (valid)
            out.append(text.substr(start, i - start));
        else
            appendUtf8(out, cp);
    }
    return out;
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = decodeUtf8(utf8, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string fromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t unit = utf16[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            char32_t cp = 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            appendUtf8(out, cp);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::u32string toUtf32(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) out += decodeUtf8(utf8, i);
    return out;
}

std::string fromUtf32(std::u32string_view utf32) {
    std::string out;
    out.reserve(utf32.size());
    for (char32_t cp : utf32) appendUtf8(out, cp);
    return out;
}

std::string fromCodePoint(char32_t codePoint) {
    std::string out;
    appendUtf8(out, codePoint);
    return out;
}

size_t utf16Length(std::string_view utf8) {
    size_t units = 0;
    size_t i = 0;
    while (i < utf8.size()) units += utf16UnitsOf(decodeUtf8(utf8, i));
    return units;
}

size_t codePointCount(std::string_view utf8) {
    size_t points = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        decodeUtf8(utf8, i);
        ++points;
    }
    return points;
}

namespace {

// Finds the boundary where the `from` counter equals `offset` and reads the
// `to` counter there.
std::optional<size_t> convertOffset(std::string_view utf8, size_t offset, size_t Position::*from,
                                    size_t Position::*to) {
    auto p = walkTo(utf8, [&](const Position& p) { return compare(p.*from, offset); });
    if (!p) return std::nullopt;
    return (*p).*to;
}

}  // namespace

std::optional<size_t> utf16OffsetToByteOffset(std::string_view utf8, size_t utf16Offset) {
    return convertOffset(utf8, utf16Offset, &Position::units, &Position::bytes);
}

std::optional<size_t> byteOffsetToUtf16Offset(std::string_view utf8, size_t byteOffset) {
    return convertOffset(utf8, byteOffset, &Position::bytes, &Position::units);
}

std::optional<size_t> codePointOffsetToByteOffset(std::string_view utf8, size_t codePointOffset) {
    return convertOffset(utf8, codePointOffset, &Position::points, &Position::bytes);
}

std::optional<size_t> byteOffsetToCodePointOffset(std::string_view utf8, size_t byteOffset) {
    return convertOffset(utf8, byteOffset, &Position::bytes, &Position::points);
}

std::optional<size_t> utf16OffsetToCodePointOffset(std::string_view utf8, size_t utf16Offset) {
    return convertOffset(utf8, utf16Offset, &Position::units, &Position::points);
}

std::optional<size_t> codePointOffsetToUtf16Offset(std::string_view utf8, size_t codePointOffset) {
    return convertOffset(utf8, codePointOffset, &Position::points, &Position::units);
}

std::optional<std::string> substringUtf16(std::string_view utf8, size_t location, size_t length) {
    if (length > SIZE_MAX - location) return std::nullopt;
    auto start = utf16OffsetToByteOffset(utf8, location);
    if (!start) return std::nullopt;
    auto rest = utf8.substr(*start);
    auto end = utf16OffsetToByteOffset(rest, length);
    if (!end) return std::nullopt;
    return repairUtf8(rest.substr(0, *end));
}

size_t graphemeCount(std::string_view utf8) {
    size_t count = 0;
    forEachGraphemeCluster(repairUtf8(utf8), [&](size_t, size_t) { ++count; });
    return count;
}

std::vector<std::string> graphemeClusters(std::string_view utf8) {
    std::vector<std::string> clusters;
    const std::string valid = repairUtf8(utf8);
    forEachGraphemeCluster(valid, [&](size_t start, size_t end) {
        clusters.emplace_back(valid.substr(start, end - start));
    });
    return clusters;
}

std::string graphemePrefix(std::string_view utf8, size_t count) {
    const std::string valid = repairUtf8(utf8);
    size_t seen = 0, end = 0;
    if (count == 0) return {};
    forEachGraphemeCluster(valid, [&](size_t, size_t clusterEnd) {
        end = clusterEnd;
        return ++seen < count;
    });
    return valid.substr(0, end);
}

namespace {

std::string mapCase(std::string_view utf8, bool upper) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(repairUtf8(utf8));
    if (upper)
        text.toUpper(icu::Locale::getRoot());
    else
        text.toLower(icu::Locale::getRoot());
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace

std::string lowercased(std::string_view utf8) { return mapCase(utf8, false); }

std::string uppercased(std::string_view utf8) { return mapCase(utf8, true); }

std::string composedCanonically(std::string_view utf8) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    const std::string text = repairUtf8(utf8);
    if (U_FAILURE(status)) return text;
    std::string out;
    icu::StringByteSink<std::string> sink(&out);
    nfc->normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink, nullptr, status);
    return U_SUCCESS(status) ? out : text;
}

}  // namespace platform
