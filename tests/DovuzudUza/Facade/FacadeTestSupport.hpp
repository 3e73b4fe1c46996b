#pragma once

// Audio and outcome helpers shared by the engine facade's tests.

#include <cmath>
#include <exception>
#include <string>
#include <variant>
#include <vector>

#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "platform/foundation/Error.hpp"

namespace DovuzudUza::test_support {

// 16 kHz audio: a tone in the even seconds and silence in the odd ones, so
// silence cuts exist everywhere.
inline std::vector<float> speechLike(double seconds) {
    std::vector<float> audio(static_cast<size_t>(seconds * 16000), 0.0f);
    for (size_t i = 0; i < audio.size(); ++i)
        if ((i / 16000) % 2 == 0) audio[i] = 0.4f * static_cast<float>(std::sin(2 * M_PI * 300.0 * static_cast<double>(i) / 16000.0));
    return audio;
}

// The message of the error an outcome holds.
inline std::string messageOf(const TranscriptionOutcome& outcome) {
    try {
        std::rethrow_exception(std::get<std::exception_ptr>(outcome));
    } catch (const std::exception& error) {
        return platform::plainDescription(error);
    }
}

}  // namespace DovuzudUza::test_support
