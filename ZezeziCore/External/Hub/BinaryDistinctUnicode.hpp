#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// UTF-8 / UTF-16 conversions and character boundaries (ICU underneath) used by
// the code-unit-exact strings and their readers.
namespace ZezeziCore::unicode {

// Ill-formed UTF-8 sequences become U+FFFD (one per maximal bad subpart).
std::u16string utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view utf16);

// Offsets (in units) where each extended grapheme cluster starts, followed by
// the total length; {0} for empty text.
std::vector<std::size_t> graphemeBoundaries(std::u16string_view utf16);
std::size_t graphemeCount(std::u16string_view utf16);

}  // namespace ZezeziCore::unicode
