#pragma once

#include <cstdint>
#include <vector>

#include "DovuzudUza/Core/TokenSampling.hpp"

namespace DovuzudUza {

// Holds a beam configuration; sampling with it is not supported.
class BeamSearchTokenSampler : public TokenSampling {
public:
    // Throws std::invalid_argument "Invalid beam size <n> or patience <p>"
    // when patience x beamSize (float, cut toward zero) is below 1.
    BeamSearchTokenSampler(int64_t beamSize, int64_t eotToken, float patience = 1);

    int64_t beamSize;
    int64_t eotToken;
    float patience;

    int64_t maxCandidates() const { return maxCandidates_; }
    const std::vector<float>& finishedSequences() const { return finishedSequences_; }

    void reset();
    // Both throw std::logic_error "Not implemented: ...".
    SamplingResult update(const std::vector<int64_t>& tokens, const platform::ml::MultiArray& logits,
                          const std::vector<float>& logProbs) override;
    SamplingResult finalize(const std::vector<int64_t>& tokens, const std::vector<float>& logProbs) override;

private:
    int64_t maxCandidates_;
    std::vector<float> finishedSequences_;
};

}  // namespace DovuzudUza
