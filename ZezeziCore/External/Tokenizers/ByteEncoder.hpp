#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Tokenizers {

// The byte alphabet of byte-level models: each of the 256 byte values as one
// printable character (printable bytes keep their own character, the others
// take consecutive code points from U+0100 in ascending order).
const std::array<std::string, 256>& byteEncoder();
// The inverse, as a map from the one-character text to its byte.
const std::unordered_map<std::string, uint8_t>& byteDecoder();
// Byte of one alphabet scalar, or -1 when the scalar is not in the alphabet.
int byteOfScalar(char32_t scalar);

// The UTF-8 bytes of a text, each as its alphabet character.
std::string byteLevelEncode(std::string_view text);
// The same, appended to `out`.
void appendByteLevelEncoded(std::string& out, std::string_view text);

namespace Utils {
// Value to key; where two keys share a value the one met last wins.
template <class K, class V>
std::unordered_map<V, K> invert(const std::unordered_map<K, V>& map) {
    std::unordered_map<V, K> out;
    out.reserve(map.size());
    for (const auto& [k, v] : map) out.insert_or_assign(v, k);
    return out;
}
}  // namespace Utils

}  // namespace Tokenizers
