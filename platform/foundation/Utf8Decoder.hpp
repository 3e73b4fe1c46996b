#pragma once

#include <cstddef>
#include <string_view>

namespace platform::detail {

// Decodes the code point at `index` and moves `index` past it. An
// ill-formed sequence yields U+FFFD and consumes its maximal subpart (the
// lead byte and the trail bytes that were still valid), so each bad
// sequence becomes one replacement character.
inline char32_t decodeUtf8(std::string_view text, size_t& index, bool* valid = nullptr) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    const unsigned char lead = s[index];
    auto bad = [&](size_t consumed) {
        index += consumed;
        if (valid) *valid = false;
        return char32_t(0xFFFD);
    };
    if (lead < 0x80) {
        ++index;
        if (valid) *valid = true;
        return lead;
    }
    size_t need;
    unsigned char low = 0x80, high = 0xBF;
    char32_t cp;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return bad(1);
    }
    for (size_t k = 1; k <= need; ++k) {
        if (index + k >= size) return bad(k);
        const unsigned char byte = s[index + k];
        if (byte < low || byte > high) return bad(k);
        low = 0x80;
        high = 0xBF;
        cp = (cp << 6) | (byte & 0x3F);
    }
    index += need + 1;
    if (valid) *valid = true;
    return cp;
}

inline size_t utf16UnitsOf(char32_t cp) { return cp >= 0x10000 ? 2 : 1; }

}  // namespace platform::detail
