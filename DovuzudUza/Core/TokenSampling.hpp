#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "DovuzudUza/Core/SamplingResult.hpp"
#include "platform/ml/MultiArray.hpp"

namespace DovuzudUza {

// The next-token sampler.
class TokenSampling {
public:
    virtual ~TokenSampling() = default;

    virtual SamplingResult update(const std::vector<int64_t>& tokens, const platform::ml::MultiArray& logits,
                                  const std::vector<float>& logProbs) = 0;
    virtual SamplingResult finalize(const std::vector<int64_t>& tokens, const std::vector<float>& logProbs) = 0;
};

}  // namespace DovuzudUza
