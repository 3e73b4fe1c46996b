#pragma once

#include <any>
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
    // The written file's path, or why writing failed.
    using WriteOutcome = std::variant<std::string, std::exception_ptr>;

    virtual ~ResultWriting() = default;

    virtual std::string outputDir() const = 0;
    virtual WriteOutcome write(const TranscriptionResult& result, const std::string& to,
                               const std::optional<std::map<std::string, std::any>>& options = std::nullopt) = 0;
    virtual std::string formatTime(float seconds, bool alwaysIncludeHours, const std::string& decimalMarker) = 0;
};

}  // namespace DovuzudUza
