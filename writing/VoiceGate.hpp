#pragma once

#include <string_view>
#include <vector>

namespace ParloxCore {

// Keeps useless dictations away from the writers: recordings without speech,
// and the stock phrases the speech model makes up from silence.
struct VoiceGate {
    static constexpr float speechThreshold = -45.0f;  // dBFS

    // The loudest 50 ms window's RMS level in dBFS; minus infinity when silent.
    static float peakLevel(const std::vector<float>& samples, double sampleRate);
    static bool hasSpeech(const std::vector<float>& samples, double sampleRate);
    static bool isHallucination(std::string_view text);
};

}  // namespace ParloxCore
