#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "DovuzudUza/Core/Audio/AudioEnergy.hpp"
#include "DovuzudUza/Core/Audio/AudioInputOptions.hpp"
#include "DovuzudUza/Core/Audio/IncrementalFileLoading.hpp"
#include "DovuzudUza/Core/Audio/VoiceActivityDetector.hpp"
#include "DovuzudUza/Core/AudioProcessing.hpp"
#include "DovuzudUza/Core/AudioSampleStream.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/AudioSystem.hpp"
#include "platform/audio/PcmBuffer.hpp"
#include "platform/audio/Resampler.hpp"
#include "platform/ml/MultiArray.hpp"

namespace platform::audio {
class CaptureEngine;
}

namespace DovuzudUza {

using AudioBuffer = platform::audio::PcmBuffer;
using AudioBufferCallback = std::function<void(const std::vector<float>&)>;
// The samples of one file, or why it could not be loaded.
using AudioLoadResult = std::variant<std::vector<float>, std::exception_ptr>;

// A bitmap whose pixel bytes are the raw bytes of float samples (32-bit
// premultiplied ARGB, little-endian).
struct WaveformImage {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<uint8_t> pixels;
};

// The engine's audio stage: files to 16 kHz mono samples, window fitting,
// and live capture with per-buffer energy readings.
class AudioProcessor : public AudioProcessing {
public:
    static constexpr double sampleRate = 16000;
    static constexpr uint32_t defaultAudioReadFrameSize = 1323000;

    // Captures from the sound server, or from the system handed in.
    AudioProcessor();
    explicit AudioProcessor(std::shared_ptr<platform::audio::AudioSystem> audio);
    virtual ~AudioProcessor() override;
    AudioProcessor(const AudioProcessor&) = delete;
    AudioProcessor& operator=(const AudioProcessor&) = delete;

    // --- Files -----------------------------------------------------------
    static AudioBuffer loadAudio(const std::string& path, const AudioInputOptions::ChannelMode& channelMode,
                                 std::optional<double> startTime = std::nullopt,
                                 std::optional<double> endTime = std::nullopt,
                                 std::optional<uint32_t> maxReadFrameSize = std::nullopt);
    static AudioBuffer loadAudio(platform::audio::AudioFile& file, const AudioInputOptions::ChannelMode& channelMode,
                                 std::optional<double> startTime = std::nullopt,
                                 std::optional<double> endTime = std::nullopt,
                                 std::optional<uint32_t> maxReadFrameSize = std::nullopt);
    static std::vector<float> loadAudioAsFloatArray(const std::string& path,
                                                    const AudioInputOptions::ChannelMode& channelMode,
                                                    std::optional<double> startTime = std::nullopt,
                                                    std::optional<double> endTime = std::nullopt);
    // One result per path, in path order; the files load in parallel, as
    // many at once as the process has cores to run on.
    static std::vector<AudioLoadResult> loadAudio(const std::vector<std::string>& paths,
                                                  const AudioInputOptions::ChannelMode& channelMode);
    static AudioBuffer loadAudioAsync(const std::string& path);
    // Window-sized chunks of a file, read block by block in a producer thread.
    // Throws WhisperError for bad arguments or a missing file.
    static std::shared_ptr<IncrementalChunkStream> loadFileIncrementally(
        const std::string& path, const AudioInputOptions::ChannelMode& channelMode, double chunkDurationSeconds,
        int64_t maxBufferedChunks, int64_t maxChunkLength, std::shared_ptr<const VoiceActivityDetector> vad = nullptr);

    static std::optional<AudioBuffer> resampleAudio(platform::audio::AudioFile& file, double toSampleRate,
                                                    uint32_t channelCount,
                                                    const AudioInputOptions::ChannelMode& channelMode,
                                                    std::optional<int64_t> frameCount, uint32_t maxReadFrameSize);
    static std::optional<AudioBuffer> resampleAudio(const AudioBuffer& buffer, double toSampleRate, uint32_t channelCount);
    // Converts one buffer; the converter keeps its state for the next buffer.
    static AudioBuffer resampleBuffer(const AudioBuffer& buffer, platform::audio::Resampler& converter);
    static std::optional<AudioBuffer> convertToMono(const AudioBuffer& buffer, const AudioInputOptions::ChannelMode& mode);
    // The first channel's samples; that channel is left all zeros.
    static std::vector<float> convertBufferToArray(AudioBuffer& buffer, int64_t chunkSize = 1024);

    // --- Window fitting --------------------------------------------------
    static std::shared_ptr<platform::ml::MultiArray> padOrTrimAudio(std::span<const float> fromArray, int64_t startAt,
                                                                    int64_t toLength, bool saveSegment = false);
    AudioProcessorOutputType padOrTrim(std::span<const float> fromArray, int64_t startAt, int64_t toLength) override;

    // --- Captured samples and energy -------------------------------------
    std::vector<float> audioSamples() const override;
    void purgeAudioSamples(int64_t keepingLast) override;
    std::vector<AudioEnergyReading> audioEnergy() const;
    std::vector<float> relativeEnergy() const override;
    int64_t audioSampleCount() const override;
    std::vector<float> audioSamplesBetween(int64_t from, int64_t to) const override;
    int64_t relativeEnergyCount() const override;
    std::vector<float> relativeEnergySince(int64_t from) const override;
    int64_t relativeEnergyWindow() const override;
    void setRelativeEnergyWindow(int64_t window) override;
    int64_t minBufferLength() const;
    void setMinBufferLength(int64_t frames);
    AudioBufferCallback audioBufferCallback() const;
    void setAudioBufferCallback(AudioBufferCallback callback);
    bool isInputSuppressed() const;
    void setInputSuppressed(bool suppressed);
    bool isCapturing() const;

    // --- Live capture ----------------------------------------------------
    // Starts a new capture; a running one is stopped first.
    void startRecordingLive(std::optional<uint32_t> inputDeviceID = std::nullopt,
                            AudioBufferCallback callback = nullptr) override;
    // A capture whose buffers go to the returned stream. Finishing the stream
    // from the reading side ends the capture; a failure to start finishes it
    // with that error.
    std::shared_ptr<AudioSampleStream> startStreamingRecordingLive(
        std::optional<uint32_t> inputDeviceID = std::nullopt) override;
    void pauseRecording() override;
    void stopRecording() override;
    void resumeRecordingLive(std::optional<uint32_t> inputDeviceID = std::nullopt,
                             AudioBufferCallback callback = nullptr) override;

    // --- Energy measures -------------------------------------------------
    static float calculateAverageEnergy(std::span<const float> signal) { return AudioEnergy::calculateAverageEnergy(signal); }
    static AudioEnergy::Energy calculateEnergy(std::span<const float> signal) { return AudioEnergy::calculateEnergy(signal); }
    static float calculateRelativeEnergy(std::span<const float> signal, std::optional<float> reference) {
        return AudioEnergy::calculateRelativeEnergy(signal, reference);
    }
    static std::vector<bool> calculateVoiceActivityInChunks(std::span<const float> signal, int64_t chunkCount,
                                                            int64_t frameLengthSamples, int64_t frameOverlapSamples,
                                                            float energyThreshold) {
        return AudioEnergy::calculateVoiceActivityInChunks(signal, chunkCount, frameLengthSamples, frameOverlapSamples,
                                                           energyThreshold);
    }
    static std::vector<VoiceActivityDetector::Range> calculateNonSilentChunks(std::span<const float> signal);
    static bool isVoiceDetected(std::span<const float> relativeEnergies, float nextBufferInSeconds, float silenceThreshold) {
        return AudioEnergy::isVoiceDetected(relativeEnergies, nextBufferInSeconds, silenceThreshold);
    }
    static std::optional<WaveformImage> createWaveformImage(std::span<const float> samples, double width, double height);

    // --- Devices and permission ------------------------------------------
    // The sound server's, or those of the system handed in.
    static std::vector<AudioDevice> getAudioDevices();
    static std::vector<AudioDevice> getAudioDevices(platform::audio::AudioSystem& audio);
    static bool requestRecordPermission();
    static bool requestRecordPermission(platform::audio::AudioSystem& audio);

protected:
    // Stores and measures one converted buffer (the capture thread calls it).
    void processBuffer(const std::vector<float>& samples);

private:
    struct CaptureState;
    std::unique_ptr<platform::audio::CaptureEngine> setupEngine(std::optional<uint32_t> inputDeviceID);
    void stopEngineLocked();

    std::shared_ptr<platform::audio::AudioSystem> audio_;
    std::shared_ptr<CaptureState> state_;
    // Lets a stream's end handler reach the processor only while it lives.
    struct Lifetime;
    std::shared_ptr<Lifetime> lifetime_;
    mutable std::mutex controlMutex_;  // engine and device; never held by the capture thread
    std::unique_ptr<platform::audio::CaptureEngine> engine_;
    std::optional<uint32_t> lastInputDevice_;
};

}  // namespace DovuzudUza
