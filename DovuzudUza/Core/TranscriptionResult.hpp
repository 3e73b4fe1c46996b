#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "DovuzudUza/Core/TranscriptionSegment.hpp"
#include "DovuzudUza/Core/TranscriptionTimings.hpp"
#include "ZezeziCore/PropertyLock.hpp"

namespace DovuzudUza {

// The result of one transcription, shared by reference between threads.
// Each field has its own lock: a read returns a copy taken under it, a write
// replaces the value under it, and `modify...` runs the change under it, so
// concurrent changes of one field are never lost. No lock spans two fields.
class TranscriptionResult {
public:
    TranscriptionResult(std::string text = {}, std::vector<TranscriptionSegment> segments = {},
                         std::string language = {}, TranscriptionTimings timings = {},
                         std::optional<float> seekTime = std::nullopt);
    virtual ~TranscriptionResult() = default;

    TranscriptionResult(const TranscriptionResult&) = delete;
    TranscriptionResult& operator=(const TranscriptionResult&) = delete;

    std::string text() const;
    void setText(std::string value);
    template <class F>
    void modifyText(F&& change) { text_.modify(std::forward<F>(change)); }

    std::vector<TranscriptionSegment> segments() const;
    void setSegments(std::vector<TranscriptionSegment> value);
    template <class F>
    void modifySegments(F&& change) { segments_.modify(std::forward<F>(change)); }

    std::string language() const;
    void setLanguage(std::string value);
    template <class F>
    void modifyLanguage(F&& change) { language_.modify(std::forward<F>(change)); }

    TranscriptionTimings timings() const;
    void setTimings(TranscriptionTimings value);
    template <class F>
    void modifyTimings(F&& change) { timings_.modify(std::forward<F>(change)); }

    std::optional<float> seekTime() const;
    void setSeekTime(std::optional<float> value);
    template <class F>
    void modifySeekTime(F&& change) { seekTime_.modify(std::forward<F>(change)); }

    // The words of every segment that has them, in segment order.
    std::vector<WordTiming> allWords() const;

    // Debug line per segment: "[Segment i] [start --> end] text".
    void logSegments() const;
    // The timings report over the tokens of all segments, at info level.
    void logTimings() const;

    // Always five keys; an absent seekTime is null.
    nlohmann::ordered_json toJson() const;
    // All five keys required; seekTime may be null. Throws JsonDecodingError.
    static std::shared_ptr<TranscriptionResult> fromJson(const nlohmann::json& json, const std::string& path = "");

private:
    mutable ZezeziCore::PropertyLock<std::string> text_;
    mutable ZezeziCore::PropertyLock<std::vector<TranscriptionSegment>> segments_;
    mutable ZezeziCore::PropertyLock<std::string> language_;
    mutable ZezeziCore::PropertyLock<TranscriptionTimings> timings_;
    mutable ZezeziCore::PropertyLock<std::optional<float>> seekTime_;
};

// The plain value twin of TranscriptionResult.
struct TranscriptionResultStruct {
    std::string text;
    std::vector<TranscriptionSegment> segments;
    std::string language;
    TranscriptionTimings timings;
    std::optional<float> seekTime;

    bool operator==(const TranscriptionResultStruct&) const = default;
};

// seekTime left out when absent and optional on reading.
void to_json(nlohmann::ordered_json& json, const TranscriptionResultStruct& result);
TranscriptionResultStruct transcriptionResultStructFromJson(const nlohmann::json& json, const std::string& path = "");

// A snapshot handed to progress callbacks while a window is decoded.
struct TranscriptionProgress {
    TranscriptionTimings timings;
    std::string text;
    std::vector<int64_t> tokens;
    std::optional<float> temperature;
    std::optional<float> avgLogprob;
    std::optional<float> compressionRatio;
    int64_t windowId = 0;
};

// The engine's coarse progress state.
enum class TranscriptionState { convertingAudio, transcribing, finished };

std::string description(TranscriptionState state);

}  // namespace DovuzudUza
