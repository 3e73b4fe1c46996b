#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "DovuzudUza/Core/TranscriptionSegment.hpp"
#include "platform/audio/PcmBuffer.hpp"

// Small operations the engine adds to its records and to platform types.
// (The seek clips of the decoding options are DecodingOptions::prepareSeekClips;
// trimming "<|>" is Constants::trimmingSpecialTokenCharacters.)
namespace DovuzudUza {

// Each success's value, or nothing for a failure (its error is dropped).
template <class T>
std::vector<std::optional<T>> toOptionalArrays(const std::vector<std::variant<T, std::exception_ptr>>& results) {
    std::vector<std::optional<T>> values;
    values.reserve(results.size());
    for (const auto& result : results) {
        if (const auto* value = std::get_if<T>(&result))
            values.emplace_back(*value);
        else
            values.emplace_back(std::nullopt);
    }
    return values;
}

// Appends frames [startingFrame, startingFrame + frameCount) of `of` to the
// frames `into` holds, every channel. Refused (false, `into` unchanged, the
// reason logged) when the formats differ, the frames are not all in `of`
// (a negative start or count included) or a buffer holds no samples; a
// count beyond the room left is cut to fit.
bool appendContents(platform::audio::PcmBuffer& into, const platform::audio::PcmBuffer& of, int64_t startingFrame,
                    int64_t frameCount);

// True when a segment has the same start time (nothing else is compared).
bool contains(const std::vector<TranscriptionSegment>& segments, const TranscriptionSegment& segment);

// A comparison form: lower case, "-" as a space, no punctuation, runs of
// spaces as one, no white space or newlines at the ends.
std::string normalized(std::string_view text);

}  // namespace DovuzudUza
