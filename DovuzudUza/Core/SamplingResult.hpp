#pragma once

#include <cstdint>
#include <vector>

namespace DovuzudUza {

// What a token sampler returns: the tokens so far, their log
// probabilities, and whether decoding is complete.
struct SamplingResult {
    std::vector<int64_t> tokens;
    std::vector<float> logProbs;
    bool completed = false;

    bool operator==(const SamplingResult&) const = default;
};

}  // namespace DovuzudUza
