#pragma once

#include <any>
#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "DovuzudUza/Core/TranscriptionResult.hpp"

namespace DovuzudUza {

// A transcript file writer (JSON, SRT, VTT).
class ResultWriting {
public:
    // The written file's location as a "file://" URL, or why writing failed.
    using WriteOutcome = std::variant<std::string, std::exception_ptr>;

    virtual ~ResultWriting() = default;

    virtual std::string outputDir() const = 0;
    // Writes <outputDir>/<to>.<extension>; never throws. The options are not read.
    virtual WriteOutcome write(const TranscriptionResult& result, const std::string& to,
                               const std::optional<std::map<std::string, std::any>>& options = std::nullopt) = 0;

    // "HH:MM:SS<marker>mmm", or "MM:SS<marker>mmm" below an hour unless hours
    // are forced; every part cut toward zero (2.3 s gives 299 ms: the float
    // lies just below 2.3).
    virtual std::string formatTime(float seconds, bool alwaysIncludeHours, const std::string& decimalMarker);
    // An SRT cue: number, times with hours and ",", text, blank line.
    virtual std::string formatSegment(int64_t index, float start, float end, const std::string& text);
    // A WebVTT cue: times with ".", text, blank line.
    virtual std::string formatTiming(float start, float end, const std::string& text);
};

}  // namespace DovuzudUza
