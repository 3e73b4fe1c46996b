#include "DovuzudUza/Utilities/ResultWriters.hpp"

#include <cmath>
#include <filesystem>
#include <functional>

#include "DovuzudUza/Core/JsonCoding.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/net/Url.hpp"

namespace DovuzudUza {

namespace {

// "%0<width>d" of a whole number.
std::string padded(int64_t value, size_t width) {
    std::string digits = platform::formatInteger(value < 0 ? -value : value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return value < 0 ? "-" + digits : digits;
}

// Cut toward zero; a float beyond 64 bits is held at the edge.
int64_t whole(float value) {
    if (std::isnan(value)) return 0;
    constexpr float limit = 9.2e18f;
    return static_cast<int64_t>(std::fmax(std::fmin(value, limit), -limit));
}

std::string fileUrl(const std::filesystem::path& path) {
    std::string url = "file://";
    for (const auto& part : std::filesystem::absolute(path).lexically_normal()) {
        if (part == "/") continue;
        url += "/" + platform::net::Url::percentEncodeSegment(part.string());
    }
    return url;
}

std::filesystem::path target(const std::string& outputDir, const std::string& name, const char* extension) {
    return std::filesystem::path(outputDir) / (name + extension);
}

// Writes atomically (a temp file renamed into place): a failure leaves no partial file.
ResultWriting::WriteOutcome writeText(const std::filesystem::path& path, const std::string& text) {
    try {
        platform::FileManager::writeAtomically(path, text);
        return fileUrl(path);
    } catch (...) {
        return std::current_exception();
    }
}

// One cue per segment, or one per word of a segment that has words.
std::string cues(const TranscriptionResult& result,
                 const std::function<std::string(float start, float end, const std::string& text)>& cue) {
    std::string text;
    for (const auto& segment : result.segments()) {
        if (!segment.words || segment.words->empty()) {
            text += cue(segment.start, segment.end, segment.text);
            continue;
        }
        for (const auto& word : *segment.words) text += cue(word.start, word.end, word.word);
    }
    return text;
}

}  // namespace

std::string ResultWriting::formatTime(float seconds, bool alwaysIncludeHours, const std::string& decimalMarker) {
    const int64_t hours = whole(seconds / 3600.0f);
    const int64_t minutes = whole(std::fmod(seconds, 3600.0f) / 60.0f);
    const int64_t wholeSeconds = whole(std::fmod(seconds, 60.0f));
    const int64_t milliseconds = whole((seconds - std::floor(seconds)) * 1000.0f);
    std::string text;
    if (alwaysIncludeHours || hours >= 1) text = padded(hours, 2) + ":";
    return text + padded(minutes, 2) + ":" + padded(wholeSeconds, 2) + decimalMarker + padded(milliseconds, 3);
}

std::string ResultWriting::formatSegment(int64_t index, float start, float end, const std::string& text) {
    return platform::formatInteger(index) + "\n" + formatTime(start, true, ",") + " --> " + formatTime(end, true, ",") +
           "\n" + text + "\n\n";
}

std::string ResultWriting::formatTiming(float start, float end, const std::string& text) {
    return formatTime(start, false, ".") + " --> " + formatTime(end, false, ".") + "\n" + text + "\n\n";
}

ResultWriting::WriteOutcome WriteJSON::write(const TranscriptionResult& result, const std::string& to,
                                             const std::optional<std::map<std::string, std::any>>&) {
    std::string json;
    try {
        json = json_coding::encode(result.toJson(), 2);
    } catch (...) {
        return std::current_exception();
    }
    return writeText(target(outputDir_, to, ".json"), json);
}

ResultWriting::WriteOutcome WriteSRT::write(const TranscriptionResult& result, const std::string& to,
                                            const std::optional<std::map<std::string, std::any>>&) {
    int64_t number = 1;
    const auto text = cues(result, [&](float start, float end, const std::string& cueText) {
        return formatSegment(number++, start, end, cueText);
    });
    return writeText(target(outputDir_, to, ".srt"), text);
}

ResultWriting::WriteOutcome WriteVTT::write(const TranscriptionResult& result, const std::string& to,
                                            const std::optional<std::map<std::string, std::any>>&) {
    const auto text = cues(result, [&](float start, float end, const std::string& cueText) {
        return formatTiming(start, end, cueText);
    });
    return writeText(target(outputDir_, to, ".vtt"), "WEBVTT\n\n" + text);
}

}  // namespace DovuzudUza
