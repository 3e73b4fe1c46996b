#include "DovuzudUza/Core/Audio/AudioEnergy.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace DovuzudUza::AudioEnergy {

float calculateAverageEnergy(std::span<const float> samples) {
    if (samples.empty()) return 0;
    // 32-bit float throughout, as the platform's vector RMS computes it.
    float sum = 0;
    for (float s : samples) sum += s * s;
    return std::sqrt(sum / static_cast<float>(samples.size()));
}

Energy calculateEnergy(std::span<const float> samples) {
    Energy e;
    e.avg = calculateAverageEnergy(samples);
    if (samples.empty()) return e;
    float hi = 0, lo = std::numeric_limits<float>::infinity();
    for (float s : samples) {
        const float m = std::fabs(s);
        hi = std::max(hi, m);
        lo = std::min(lo, m);
    }
    e.max = hi;
    e.min = lo;
    return e;
}

float calculateRelativeEnergy(std::span<const float> samples, std::optional<float> reference) {
    const float rms = calculateAverageEnergy(samples);
    const float floorDb = reference ? 20.0f * std::log10(std::max(*reference, 1e-8f)) : -60.0f;
    const float r = (20.0f * std::log10(rms) - floorDb) / (0.0f - floorDb);
    if (std::isnan(r)) return 0;
    return std::max(std::min(r, 1.0f), 0.0f);
}

std::vector<bool> calculateVoiceActivityInChunks(std::span<const float> samples, int64_t chunkCount,
                                                 int64_t frameLengthSamples, int64_t frameOverlapSamples,
                                                 float energyThreshold) {
    const auto n = static_cast<int64_t>(samples.size());
    std::vector<float> energies;
    energies.reserve(static_cast<size_t>(std::max<int64_t>(chunkCount, 0)));
    for (int64_t i = 0; i < chunkCount; ++i) {
        const int64_t start = std::min(i * frameLengthSamples, n);
        const int64_t end = std::min(start + frameLengthSamples + frameOverlapSamples, n);
        energies.push_back(calculateAverageEnergy(samples.subspan(static_cast<size_t>(start), static_cast<size_t>(end - start))));
    }
    std::vector<bool> voice(energies.size());
    for (size_t i = 0; i < energies.size(); ++i) voice[i] = energies[i] > energyThreshold;
    return voice;
}

int64_t recentBufferCount(float nextBufferInSeconds) {
    const float steps = nextBufferInSeconds / 0.1f;
    if (std::isnan(steps) || steps <= 0) return 0;
    if (steps >= static_cast<float>(std::numeric_limits<int64_t>::max())) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(steps);
}

bool isVoiceDetected(std::span<const float> relativeEnergies, float nextBufferInSeconds, float silenceThreshold) {
    const auto count = static_cast<int64_t>(relativeEnergies.size());
    const int64_t recentCount = std::min(recentBufferCount(nextBufferInSeconds), count);
    auto recent = relativeEnergies.subspan(static_cast<size_t>(count - recentCount));
    const int64_t m = std::min<int64_t>(std::max<int64_t>(recentCount - 10, 10), recentCount);
    for (int64_t i = 0; i < m; ++i)
        if (recent[static_cast<size_t>(i)] > silenceThreshold) return true;
    return false;
}

}  // namespace DovuzudUza::AudioEnergy
