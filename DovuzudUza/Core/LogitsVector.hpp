#pragma once

#include <cstdint>
#include <vector>

#include "platform/ml/MultiArray.hpp"

// A decoder step's logits seen as one vector: every element of a float16
// array in logical order, the position being the token id.
namespace DovuzudUza::LogitsVector {

bool isFloat16(const platform::ml::MultiArray& logits);

// The logits widened to float (resized to the element count).
void read(const platform::ml::MultiArray& logits, std::vector<float>& into);

// Writes float16 minus infinity at positions [begin, end), clamped to the
// vector; nothing for an array that is not float16.
void forbidRange(platform::ml::MultiArray& logits, int64_t begin, int64_t end);

}  // namespace DovuzudUza::LogitsVector
