#include "DovuzudUza/Core/BeamSearchTokenSampler.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

namespace {

int64_t candidatesFor(int64_t beamSize, float patience) {
    const float product = patience * static_cast<float>(beamSize);
    // Not a number, or beyond any count: no usable beam.
    if (!(product >= 1.0f) || product >= 9.2e18f) return 0;
    return static_cast<int64_t>(product);
}

}  // namespace

BeamSearchTokenSampler::BeamSearchTokenSampler(int64_t beamSize, int64_t eotToken, float patience)
    : beamSize(beamSize), eotToken(eotToken), patience(patience), maxCandidates_(candidatesFor(beamSize, patience)) {
    if (maxCandidates_ < 1)
        throw std::invalid_argument("Invalid beam size " + platform::formatInteger(beamSize) + " or patience " +
                                    platform::formatShortest(patience));
}

void BeamSearchTokenSampler::reset() { finishedSequences_.clear(); }

SamplingResult BeamSearchTokenSampler::update(const std::vector<int64_t>&, const platform::ml::MultiArray&,
                                              const std::vector<float>&) {
    throw std::logic_error("Not implemented: update(tokens:logits:logProbs:)");
}

SamplingResult BeamSearchTokenSampler::finalize(const std::vector<int64_t>&, const std::vector<float>&) {
    throw std::logic_error("Not implemented: finalize(tokens:logProbs:)");
}

}  // namespace DovuzudUza
