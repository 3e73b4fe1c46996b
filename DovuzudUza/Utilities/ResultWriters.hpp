#pragma once

#include <string>

#include "DovuzudUza/Core/ResultWriting.hpp"

namespace DovuzudUza {

// The whole result as indented JSON with its own keys, in "<name>.json".
class WriteJSON : public ResultWriting {
public:
    explicit WriteJSON(std::string outputDir) : outputDir_(std::move(outputDir)) {}
    std::string outputDir() const override { return outputDir_; }
    WriteOutcome write(const TranscriptionResult& result, const std::string& to,
                       const std::optional<std::map<std::string, std::any>>& options = std::nullopt) override;

private:
    std::string outputDir_;
};

// SRT subtitles in "<name>.srt": one numbered cue per segment, or one per
// word for a segment with words; the numbering runs across the file.
class WriteSRT : public ResultWriting {
public:
    explicit WriteSRT(std::string outputDir) : outputDir_(std::move(outputDir)) {}
    std::string outputDir() const override { return outputDir_; }
    WriteOutcome write(const TranscriptionResult& result, const std::string& to,
                       const std::optional<std::map<std::string, std::any>>& options = std::nullopt) override;

private:
    std::string outputDir_;
};

// WebVTT subtitles in "<name>.vtt": "WEBVTT", then cues as for SRT without numbers.
class WriteVTT : public ResultWriting {
public:
    explicit WriteVTT(std::string outputDir) : outputDir_(std::move(outputDir)) {}
    std::string outputDir() const override { return outputDir_; }
    WriteOutcome write(const TranscriptionResult& result, const std::string& to,
                       const std::optional<std::map<std::string, std::any>>& options = std::nullopt) override;

private:
    std::string outputDir_;
};

}  // namespace DovuzudUza
