#pragma once

#include <string_view>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Regex.hpp"

namespace Tokenizers {

// The byte-level split pattern
//   's|'t|'re|'ve|'m|'ll|'d| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+
// scanned by hand: the same matches as the ICU expression, without the
// regular-expression engine on the hot path of every encode.
std::vector<Regex::Range> byteLevelSplitRanges(std::string_view text);

// The pattern's source text, for comparison with the engine.
extern const char* const kByteLevelSplitPattern;

}  // namespace Tokenizers
