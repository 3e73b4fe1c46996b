#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "DovuzudUza/Core/DecodingOptions.hpp"
#include "DovuzudUza/Core/TokenSampling.hpp"
#include "platform/ml/Half.hpp"

namespace DovuzudUza {

// Picks the next token from one step's float16 logits (all elements, the
// position being the id). At temperature 0: the largest logit (the lowest
// id on a tie), with its log-probability under the softmax of all logits.
// Otherwise: the logits scaled by 1/T (T's reciprocal in half precision,
// each scaled value rounded to half), their softmax, the `topK` most
// likely ids (the lowest id first on a tie), and one uniform draw r in
// [0, sum of those k probabilities): the first id whose running sum
// exceeds r, or the most likely one when none does. The log-probability is
// that of the full scaled distribution, not renormalised over the k.
class GreedyTokenSampler : public TokenSampling {
public:
    // Uniform numbers in [0, 1); the default reads the system's random source.
    using RandomSource = std::function<double()>;

    GreedyTokenSampler(platform::ml::Half temperature, int64_t eotToken, DecodingOptions decodingOptions);

    platform::ml::Half temperature;
    int64_t eotToken;
    DecodingOptions decodingOptions;

    // The tokens and log-probabilities with the new pair appended;
    // `completed` when the new token is the end token.
    SamplingResult update(const std::vector<int64_t>& tokens, const platform::ml::MultiArray& logits,
                          const std::vector<float>& logProbs) override;
    // The lists, with the end token (log-probability 0) appended unless
    // they already end with it; always completed.
    SamplingResult finalize(const std::vector<int64_t>& tokens, const std::vector<float>& logProbs) override;

    void setRandomSource(RandomSource source) { random_ = std::move(source); }

private:
    std::pair<int64_t, float> sample(const platform::ml::MultiArray& logits);

    RandomSource random_;
    std::vector<float> values_;  // scratch, reused between steps
    std::vector<float> probabilities_;
};

}  // namespace DovuzudUza
