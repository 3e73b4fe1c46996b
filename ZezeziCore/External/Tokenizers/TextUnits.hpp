#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Character-level helpers over UTF-8 text, where a character is an extended
// grapheme cluster, on platform/foundation's text layer. Inputs are expected
// to be valid UTF-8 (the tokenizer repairs its input once at the door).
namespace Tokenizers::text {

// Hash and equality that let string maps be searched with a string_view.
// The hash is deliberately not noexcept: the standard library then keeps
// each key's hash in its node, so a lookup walking a bucket compares stored
// hashes instead of hashing every key it passes.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};
struct StringEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};
template <class V>
using StringMap = std::unordered_map<std::string, V, StringHash, StringEqual>;

// The characters of the text, as views into it.
std::vector<std::string_view> characters(std::string_view utf8);
std::size_t characterCount(std::string_view utf8);
// Byte offset of the character boundary after `offset` (the end when none).
std::size_t nextCharacterBoundary(std::string_view utf8, std::size_t offset);

// First scalar of a text (U+FFFD for empty or ill-formed text).
char32_t firstScalar(std::string_view utf8);

std::string nfc(std::string_view utf8);
std::string nfd(std::string_view utf8);
std::string nfkc(std::string_view utf8);
std::string nfkd(std::string_view utf8);
std::string lowercased(std::string_view utf8);

bool isWhiteSpace(char32_t c);          // Unicode White_Space
bool isSpaceSeparatorOrTab(char32_t c); // category Zs, or U+0009
bool isPunctuation(char32_t c);         // category P
bool isCjkIdeograph(char32_t c);

// Each character whose first scalar is a CJK ideograph gets a space on
// either side.
std::string spacedCjkIdeographs(std::string_view utf8);
// The text without its non-spacing marks (category Mn), nothing recomposed.
std::string withoutNonSpacingMarks(std::string_view utf8);

// Literal, non-overlapping, left-to-right replacement.
std::string replacingAll(std::string_view text, std::string_view of, std::string_view with);

}  // namespace Tokenizers::text
