#include "DovuzudUza/Core/LogitsVector.hpp"

#include <algorithm>

#include "platform/ml/Half.hpp"

namespace DovuzudUza::LogitsVector {

using platform::ml::MultiArray;

bool isFloat16(const MultiArray& logits) { return logits.dataType() == platform::ml::DataType::float16; }

void read(const MultiArray& logits, std::vector<float>& into) {
    const int64_t count = logits.count();
    into.resize(static_cast<size_t>(count));
    const auto* bits = logits.data<uint16_t>();
    if (logits.isContiguous()) {
        platform::ml::halvesToFloats(bits, into.data(), static_cast<size_t>(count));
        return;
    }
    for (int64_t n = 0; n < count; ++n) into[static_cast<size_t>(n)] = platform::ml::halfToFloat(bits[logits.offsetOfLinear(n)]);
}

void forbidRange(MultiArray& logits, int64_t begin, int64_t end) {
    if (!isFloat16(logits)) return;
    begin = std::max<int64_t>(begin, 0);
    end = std::min(end, logits.count());
    auto* bits = logits.data<uint16_t>();
    if (logits.isContiguous()) {
        if (begin < end) std::fill(bits + begin, bits + end, platform::ml::kHalfNegativeInfinity);
        return;
    }
    for (int64_t n = begin; n < end; ++n) bits[logits.offsetOfLinear(n)] = platform::ml::kHalfNegativeInfinity;
}

}  // namespace DovuzudUza::LogitsVector
