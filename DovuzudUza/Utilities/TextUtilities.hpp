#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace DovuzudUza::TextUtilities {

// How repetitive a text or token list is: its byte count divided by the
// length of its raw DEFLATE stream. A decoder stuck in a loop compresses
// far better than speech, so its ratio is high. Never fails: a value that
// cannot be measured is positive infinity, with a debug log line.

// UTF-8 bytes of the text; the empty text gives infinity at once.
float compressionRatio(std::string_view text);

// Each id as a little-endian 32-bit integer, 4 bytes per token. The empty
// list gives 0 (nothing to repeat, so never a reason to decode again); an
// id outside the 32-bit range cannot be measured and gives infinity.
float compressionRatio(std::span<const int64_t> tokens);

}  // namespace DovuzudUza::TextUtilities
