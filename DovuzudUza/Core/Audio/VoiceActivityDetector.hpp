#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace DovuzudUza {

// Decides frame by frame whether audio holds voice. Subclasses give the
// per-frame decision; the frame grid and everything derived from it live here.
// Immutable after construction, so one detector may serve several threads.
class VoiceActivityDetector {
public:
    struct Range {
        int64_t startIndex = 0;
        int64_t endIndex = 0;
        bool operator==(const Range&) const = default;
    };

    // Throws std::invalid_argument unless the frame length is positive and
    // the overlap is not negative.
    VoiceActivityDetector(int64_t sampleRate, int64_t frameLengthSamples, int64_t frameOverlapSamples = 0);
    virtual ~VoiceActivityDetector() = default;

    int64_t sampleRate() const { return sampleRate_; }
    int64_t frameLengthSamples() const { return frameLengthSamples_; }
    int64_t frameOverlapSamples() const { return frameOverlapSamples_; }

    // One flag per frame, frame i starting at sample i * frameLengthSamples.
    virtual std::vector<bool> voiceActivity(std::span<const float> waveform) const = 0;
    virtual std::vector<bool> voiceActivityAsync(std::span<const float> waveform) const;

    // Spans of voice in samples, joining consecutive voice frames.
    virtual std::vector<Range> calculateActiveChunks(std::span<const float> waveform) const;
    virtual int64_t voiceActivityIndexToAudioSampleIndex(int64_t index) const;
    virtual float voiceActivityIndexToSeconds(int64_t index) const;
    // Longest run of silent frames [start, end); the earliest wins a tie.
    virtual std::optional<Range> findLongestSilence(const std::vector<bool>& vadResult) const;

    // Voice spans as start, end, start, end ... seconds.
    virtual std::vector<float> voiceActivityClipTimestamps(std::span<const float> waveform) const;
    // Voice spans as (start, end) sample pairs.
    virtual std::vector<std::pair<int64_t, int64_t>> calculateNonSilentSeekClips(std::span<const float> waveform) const;
    // Voice spans as (start, end) seconds.
    virtual std::vector<std::pair<float, float>> calculateSeekTimestamps(std::span<const float> waveform) const;

private:
    int64_t sampleRate_;
    int64_t frameLengthSamples_;
    int64_t frameOverlapSamples_;
};

// Voice is a frame whose root mean square is strictly above a threshold.
class EnergyVAD : public VoiceActivityDetector {
public:
    EnergyVAD(int64_t sampleRate = 16000, int64_t frameLengthSamples = 1600, int64_t frameOverlapSamples = 0,
              float energyThreshold = 0.02f);
    // Frame length and overlap in seconds (truncated to whole samples).
    static EnergyVAD withSeconds(int64_t sampleRate, float frameLength, float frameOverlap, float energyThreshold);

    float energyThreshold() const { return energyThreshold_; }

    std::vector<bool> voiceActivity(std::span<const float> waveform) const override;

private:
    float energyThreshold_;
};

}  // namespace DovuzudUza
