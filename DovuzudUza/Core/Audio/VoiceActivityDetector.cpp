#include "DovuzudUza/Core/Audio/VoiceActivityDetector.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "DovuzudUza/Core/Audio/AudioEnergy.hpp"

namespace DovuzudUza {

VoiceActivityDetector::VoiceActivityDetector(int64_t sampleRate, int64_t frameLengthSamples, int64_t frameOverlapSamples)
    : sampleRate_(sampleRate), frameLengthSamples_(frameLengthSamples), frameOverlapSamples_(frameOverlapSamples) {
    if (frameLengthSamples <= 0) throw std::invalid_argument("frame length must be positive");
    if (frameOverlapSamples < 0) throw std::invalid_argument("frame overlap must not be negative");
}

std::vector<bool> VoiceActivityDetector::voiceActivityAsync(std::span<const float> waveform) const {
    return voiceActivity(waveform);
}

std::vector<VoiceActivityDetector::Range> VoiceActivityDetector::calculateActiveChunks(std::span<const float> waveform) const {
    const auto n = static_cast<int64_t>(waveform.size());
    const auto flags = voiceActivity(waveform);
    std::vector<Range> spans;
    bool newSpan = true;
    for (size_t i = 0; i < flags.size(); ++i) {
        if (!flags[i]) {
            newSpan = true;
            continue;
        }
        const int64_t start = static_cast<int64_t>(i) * frameLengthSamples_;
        const int64_t end = std::min(n, start + frameLengthSamples_);
        if (newSpan || spans.empty()) {
            spans.push_back(Range{start, end});
        } else {
            spans.back().endIndex = end;
        }
        newSpan = false;
    }
    return spans;
}

int64_t VoiceActivityDetector::voiceActivityIndexToAudioSampleIndex(int64_t index) const {
    return index * frameLengthSamples_;
}

float VoiceActivityDetector::voiceActivityIndexToSeconds(int64_t index) const {
    return static_cast<float>(index * frameLengthSamples_) / static_cast<float>(sampleRate_);
}

std::optional<VoiceActivityDetector::Range> VoiceActivityDetector::findLongestSilence(const std::vector<bool>& flags) const {
    std::optional<Range> best;
    int64_t bestLength = 0;
    const auto count = static_cast<int64_t>(flags.size());
    int64_t i = 0;
    while (i < count) {
        if (flags[static_cast<size_t>(i)]) {
            ++i;
            continue;
        }
        int64_t e = i + 1;
        while (e < count && !flags[static_cast<size_t>(e)]) ++e;
        if (e - i > bestLength) {
            bestLength = e - i;
            best = Range{i, e};
        }
        i = e;
    }
    return best;
}

std::vector<float> VoiceActivityDetector::voiceActivityClipTimestamps(std::span<const float> waveform) const {
    std::vector<float> times;
    for (const auto& span : calculateActiveChunks(waveform)) {
        times.push_back(static_cast<float>(span.startIndex) / static_cast<float>(sampleRate_));
        times.push_back(static_cast<float>(span.endIndex) / static_cast<float>(sampleRate_));
    }
    return times;
}

std::vector<std::pair<int64_t, int64_t>> VoiceActivityDetector::calculateNonSilentSeekClips(std::span<const float> waveform) const {
    std::vector<std::pair<int64_t, int64_t>> clips;
    for (const auto& span : calculateActiveChunks(waveform)) clips.emplace_back(span.startIndex, span.endIndex);
    return clips;
}

std::vector<std::pair<float, float>> VoiceActivityDetector::calculateSeekTimestamps(std::span<const float> waveform) const {
    std::vector<std::pair<float, float>> times;
    for (const auto& span : calculateActiveChunks(waveform))
        times.emplace_back(static_cast<float>(span.startIndex) / static_cast<float>(sampleRate_),
                           static_cast<float>(span.endIndex) / static_cast<float>(sampleRate_));
    return times;
}

EnergyVAD::EnergyVAD(int64_t sampleRate, int64_t frameLengthSamples, int64_t frameOverlapSamples, float energyThreshold)
    : VoiceActivityDetector(sampleRate, frameLengthSamples, frameOverlapSamples), energyThreshold_(energyThreshold) {}

EnergyVAD EnergyVAD::withSeconds(int64_t sampleRate, float frameLength, float frameOverlap, float energyThreshold) {
    const float rate = static_cast<float>(sampleRate);
    const float length = frameLength * rate;
    const float overlap = frameOverlap * rate;
    if (!std::isfinite(length) || !std::isfinite(overlap) || std::fabs(length) >= 9.2e18f || std::fabs(overlap) >= 9.2e18f)
        throw std::invalid_argument("frame length and overlap must be finite");
    return EnergyVAD(sampleRate, static_cast<int64_t>(length), static_cast<int64_t>(overlap), energyThreshold);
}

std::vector<bool> EnergyVAD::voiceActivity(std::span<const float> waveform) const {
    const auto n = static_cast<double>(waveform.size());
    const auto frames = static_cast<int64_t>(std::ceil(n / static_cast<double>(frameLengthSamples())));
    return AudioEnergy::calculateVoiceActivityInChunks(waveform, frames, frameLengthSamples(), frameOverlapSamples(),
                                                       energyThreshold_);
}

}  // namespace DovuzudUza
