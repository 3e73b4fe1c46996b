#pragma once

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
};

}  // namespace DovuzudUza
