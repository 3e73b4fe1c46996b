#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "DovuzudUza/Core/AudioSampleStream.hpp"
#include "DovuzudUza/Core/StageTensorTypes.hpp"

namespace DovuzudUza {

// The audio stage: captured samples, their energy, live capture and window
// fitting. Its class-level operations (loading files, `padOrTrimAudio`) are
// static members of the implementing class.
class AudioProcessing {
public:
    using SamplesCallback = std::function<void(const std::vector<float>&)>;

    virtual ~AudioProcessing() = default;

    virtual std::vector<float> audioSamples() const = 0;
    virtual void purgeAudioSamples(int64_t keepingLast) = 0;
    virtual std::vector<float> relativeEnergy() const = 0;

    // Reads that copy no more than they are asked for, so that a long capture
    // costs a reader nothing until it wants the samples. These defaults go
    // through the whole arrays; an implementation that can do better does.
    virtual int64_t audioSampleCount() const { return static_cast<int64_t>(audioSamples().size()); }
    // The captured samples from `from` up to `to`, cut to those captured.
    virtual std::vector<float> audioSamplesBetween(int64_t from, int64_t to) const {
        return slice(audioSamples(), from, to);
    }
    virtual int64_t relativeEnergyCount() const { return static_cast<int64_t>(relativeEnergy().size()); }
    // The relative energies of the buffers from index `from` on.
    virtual std::vector<float> relativeEnergySince(int64_t from) const {
        const auto all = relativeEnergy();
        return slice(all, from, static_cast<int64_t>(all.size()));
    }
    virtual int64_t relativeEnergyWindow() const = 0;
    virtual void setRelativeEnergyWindow(int64_t window) = 0;

    // Throws when capture cannot start.
    virtual void startRecordingLive(std::optional<uint32_t> inputDeviceID = std::nullopt,
                                    SamplesCallback callback = nullptr) = 0;
    // The stream is also its own continuation: the capture yields into it.
    virtual std::shared_ptr<AudioSampleStream> startStreamingRecordingLive(
        std::optional<uint32_t> inputDeviceID = std::nullopt) = 0;
    virtual void pauseRecording() = 0;
    virtual void stopRecording() = 0;
    virtual void resumeRecordingLive(std::optional<uint32_t> inputDeviceID = std::nullopt,
                                     SamplesCallback callback = nullptr) = 0;

    // Null when nothing fits.
    virtual AudioProcessorOutputType padOrTrim(std::span<const float> fromArray, int64_t startAt,
                                               int64_t toLength) = 0;

protected:
    // Values [from, to) of the array, both ends held within it.
    static std::vector<float> slice(std::span<const float> values, int64_t from, int64_t to) {
        const auto size = static_cast<int64_t>(values.size());
        const int64_t begin = std::clamp<int64_t>(from, 0, size);
        const int64_t end = std::clamp<int64_t>(to, begin, size);
        return {values.begin() + begin, values.begin() + end};
    }
};

}  // namespace DovuzudUza
