#pragma once

#include <cstdint>
#include <vector>

namespace platform::audio {

// Sample rate and channel count of planar 32-bit float audio.
struct AudioFormat {
    double sampleRate = 0;
    uint32_t channelCount = 0;

    bool operator==(const AudioFormat&) const = default;
};

// Planar float samples: one contiguous plane per channel, a fixed capacity
// and the number of frames that hold audio.
class PcmBuffer {
public:
    PcmBuffer() = default;
    PcmBuffer(AudioFormat format, int64_t frameCapacity);

    const AudioFormat& format() const { return format_; }
    double sampleRate() const { return format_.sampleRate; }
    uint32_t channelCount() const { return format_.channelCount; }

    int64_t frameCapacity() const { return capacity_; }
    int64_t frameLength() const { return length_; }
    // Clamped to [0, capacity].
    void setFrameLength(int64_t frames);

    bool hasFloatData() const { return !planes_.empty(); }
    float* channel(uint32_t index) { return planes_[index].data(); }
    const float* channel(uint32_t index) const { return planes_[index].data(); }

    // Copies frames [start, start + count) of `other` (same format) after the
    // frames already held, cut to what fits; returns the frames appended.
    int64_t append(const PcmBuffer& other, int64_t start, int64_t count);

private:
    AudioFormat format_;
    int64_t capacity_ = 0;
    int64_t length_ = 0;
    std::vector<std::vector<float>> planes_;
};

}  // namespace platform::audio
