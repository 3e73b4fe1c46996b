#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "DovuzudUza/Core/Audio/AudioLog.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/audio/AudioSystem.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

using platform::audio::AudioFormat;
using platform::audio::CaptureEngine;
using platform::audio::Resampler;

// What the capture thread writes and callers read, under one lock. The tap
// holds it weakly, so a processor that is gone ends its capture.
struct AudioProcessor::CaptureState {
    mutable std::mutex mutex;
    std::vector<float> samples;
    std::vector<AudioEnergyReading> energy;
    int64_t relativeEnergyWindow = 20;
    int64_t minBufferLength = 1600;
    AudioBufferCallback callback;
    bool inputSuppressed = false;

    void process(const std::vector<float>& buffer) {
        AudioBufferCallback cb;
        std::optional<std::string> debugLine;
        {
            std::lock_guard lock(mutex);
            samples.insert(samples.end(), buffer.begin(), buffer.end());
            float reference = std::numeric_limits<float>::infinity();
            const size_t first = energy.size() > 20 ? energy.size() - 20 : 0;
            for (size_t i = first; i < energy.size(); ++i) reference = std::min(reference, energy[i].avg);
            AudioEnergyReading reading;
            reading.rel = AudioEnergy::calculateRelativeEnergy(buffer, reference);
            const auto e = AudioEnergy::calculateEnergy(buffer);
            reading.avg = e.avg;
            reading.max = e.max;
            reading.min = e.min;
            energy.push_back(reading);
            cb = callback;
            const int64_t cadence = minBufferLength * relativeEnergyWindow;
            if (cadence > 0 && !samples.empty() && static_cast<int64_t>(samples.size()) % cadence == 0) {
                debugLine = "Current audio size: " + std::to_string(samples.size()) + " samples, most recent buffer: " +
                            std::to_string(buffer.size()) + " samples, most recent energy: (rel: " +
                            platform::formatShortest(reading.rel) + ", avg: " + platform::formatShortest(reading.avg) +
                            ", max: " + platform::formatShortest(reading.max) + ", min: " + platform::formatShortest(reading.min) + ")";
            }
        }
        if (cb) cb(buffer);
        if (debugLine) AudioLog::debug(*debugLine);
    }
};

struct AudioProcessor::Lifetime {
    std::mutex mutex;
    AudioProcessor* processor = nullptr;
};

AudioProcessor::AudioProcessor() : AudioProcessor(platform::audio::makePulseAudioSystem()) {}

AudioProcessor::AudioProcessor(std::shared_ptr<platform::audio::AudioSystem> audio)
    : audio_(std::move(audio)), state_(std::make_shared<CaptureState>()), lifetime_(std::make_shared<Lifetime>()) {
    lifetime_->processor = this;
}

AudioProcessor::~AudioProcessor() {
    {
        // Waits for an end handler that is stopping this processor right now.
        std::lock_guard life(lifetime_->mutex);
        lifetime_->processor = nullptr;
    }
    std::lock_guard lock(controlMutex_);
    stopEngineLocked();
}

// --- Window fitting ----------------------------------------------------------

std::shared_ptr<platform::ml::MultiArray> AudioProcessor::padOrTrimAudio(std::span<const float> fromArray, int64_t startAt,
                                                                         int64_t toLength, bool /*saveSegment*/) {
    const auto n = static_cast<int64_t>(fromArray.size());
    if (startAt < 0 || startAt >= n || toLength <= 0) {
        AudioLog::error("startIndex is outside the buffer size");
        return nullptr;
    }
    const int64_t end = std::min(startAt + toLength, n);
    const int64_t copied = end - startAt;
    auto array = platform::ml::MultiArray::make({toLength}, platform::ml::DataType::float32);
    float* out = array->data<float>();
    std::memcpy(out, fromArray.data() + startAt, static_cast<size_t>(copied) * sizeof(float));
    if (copied < toLength) std::fill(out + copied, out + toLength, 0.0f);
    return array;
}

AudioProcessorOutputType AudioProcessor::padOrTrim(std::span<const float> fromArray, int64_t startAt, int64_t toLength) {
    return padOrTrimAudio(fromArray, startAt, toLength, false);
}

// --- Captured samples ----------------------------------------------------------

std::vector<float> AudioProcessor::audioSamples() const {
    std::lock_guard lock(state_->mutex);
    return state_->samples;
}

void AudioProcessor::purgeAudioSamples(int64_t keepingLast) {
    std::lock_guard lock(state_->mutex);
    auto& s = state_->samples;
    const int64_t count = static_cast<int64_t>(s.size());
    if (keepingLast < 0) keepingLast = 0;
    if (keepingLast < count) s.erase(s.begin(), s.begin() + (count - keepingLast));
}

std::vector<AudioEnergyReading> AudioProcessor::audioEnergy() const {
    std::lock_guard lock(state_->mutex);
    return state_->energy;
}

std::vector<float> AudioProcessor::relativeEnergy() const { return relativeEnergySince(0); }

int64_t AudioProcessor::audioSampleCount() const {
    std::lock_guard lock(state_->mutex);
    return static_cast<int64_t>(state_->samples.size());
}

std::vector<float> AudioProcessor::audioSamplesBetween(int64_t from, int64_t to) const {
    std::lock_guard lock(state_->mutex);
    return slice(state_->samples, from, to);
}

int64_t AudioProcessor::relativeEnergyCount() const {
    std::lock_guard lock(state_->mutex);
    return static_cast<int64_t>(state_->energy.size());
}

std::vector<float> AudioProcessor::relativeEnergySince(int64_t from) const {
    std::lock_guard lock(state_->mutex);
    const auto& energy = state_->energy;
    const auto first = static_cast<size_t>(std::clamp<int64_t>(from, 0, static_cast<int64_t>(energy.size())));
    std::vector<float> rel;
    rel.reserve(energy.size() - first);
    for (size_t i = first; i < energy.size(); ++i) rel.push_back(energy[i].rel);
    return rel;
}

int64_t AudioProcessor::relativeEnergyWindow() const {
    std::lock_guard lock(state_->mutex);
    return state_->relativeEnergyWindow;
}

void AudioProcessor::setRelativeEnergyWindow(int64_t window) {
    std::lock_guard lock(state_->mutex);
    state_->relativeEnergyWindow = window;
}

int64_t AudioProcessor::minBufferLength() const {
    std::lock_guard lock(state_->mutex);
    return state_->minBufferLength;
}

void AudioProcessor::setMinBufferLength(int64_t frames) {
    std::lock_guard lock(state_->mutex);
    state_->minBufferLength = frames;
}

AudioBufferCallback AudioProcessor::audioBufferCallback() const {
    std::lock_guard lock(state_->mutex);
    return state_->callback;
}

void AudioProcessor::setAudioBufferCallback(AudioBufferCallback callback) {
    std::lock_guard lock(state_->mutex);
    state_->callback = std::move(callback);
}

bool AudioProcessor::isInputSuppressed() const {
    std::lock_guard lock(state_->mutex);
    return state_->inputSuppressed;
}

void AudioProcessor::setInputSuppressed(bool suppressed) {
    std::lock_guard lock(state_->mutex);
    state_->inputSuppressed = suppressed;
}

bool AudioProcessor::isCapturing() const {
    std::lock_guard lock(controlMutex_);
    return engine_ != nullptr;
}

void AudioProcessor::processBuffer(const std::vector<float>& samples) { state_->process(samples); }

// --- Live capture ----------------------------------------------------------------

std::unique_ptr<CaptureEngine> AudioProcessor::setupEngine(std::optional<uint32_t> inputDeviceID) {
    auto engine = audio_->makeCaptureEngine();
    if (inputDeviceID) {
        const int status = engine->selectDevice(*inputDeviceID);
        if (status != 0) {
            AudioLog::error("Error setting Audio Unit property: " + std::to_string(status));
        } else {
            AudioLog::info("Successfully set input device.");
        }
    }
    const AudioFormat nodeFormat = engine->inputFormat();
    if (nodeFormat.channelCount == 0 || !(nodeFormat.sampleRate > 0))
        throw WhisperError::audioProcessingFailed("Failed to create node format");
    const AudioFormat desired{sampleRate, 1};
    std::shared_ptr<Resampler> converter;
    const AudioFormat firstChannel{nodeFormat.sampleRate, 1};
    if (nodeFormat.sampleRate != sampleRate) {
        try {
            converter = std::make_shared<Resampler>(firstChannel, desired);
        } catch (const std::exception&) {
            throw WhisperError::audioProcessingFailed("Failed to create audio converter");
        }
    }
    int64_t frames;
    {
        std::lock_guard lock(state_->mutex);
        frames = state_->minBufferLength;
    }
    std::weak_ptr<CaptureState> weak = state_;
    engine->installTap(static_cast<uint32_t>(std::clamp<int64_t>(frames, 1, std::numeric_limits<uint32_t>::max())),
                       [weak, converter, firstChannel](AudioBuffer& buffer) {
                           auto state = weak.lock();
                           if (!state || buffer.channelCount() == 0) return;
                           // Only the first channel is kept.
                           AudioBuffer mono(firstChannel, buffer.frameLength());
                           std::memcpy(mono.channel(0), buffer.channel(0),
                                       static_cast<size_t>(buffer.frameLength()) * sizeof(float));
                           mono.setFrameLength(buffer.frameLength());
                           if (converter) {
                               try {
                                   mono = resampleBuffer(mono, *converter);
                               } catch (const std::exception& e) {
                                   AudioLog::error(std::string("Failed to resample buffer: ") + e.what());
                                   return;
                               }
                           }
                           auto samples = convertBufferToArray(mono, 1024);
                           bool suppressed;
                           {
                               std::lock_guard lock(state->mutex);
                               suppressed = state->inputSuppressed;
                           }
                           if (suppressed) std::fill(samples.begin(), samples.end(), 0.0f);
                           state->process(samples);
                       });
    engine->start();
    return engine;
}

void AudioProcessor::stopEngineLocked() {
    if (!engine_) return;
    engine_->removeTap();
    engine_->stop();
    engine_.reset();
}

void AudioProcessor::startRecordingLive(std::optional<uint32_t> inputDeviceID, AudioBufferCallback callback) {
    std::lock_guard lock(controlMutex_);
    {
        std::lock_guard data(state_->mutex);
        state_->samples.clear();
        state_->energy.clear();
    }
    // A capture never runs beside another: the old one ends before the new one opens.
    stopEngineLocked();
    auto engine = setupEngine(inputDeviceID);
    engine_ = std::move(engine);
    {
        std::lock_guard data(state_->mutex);
        state_->callback = std::move(callback);
    }
    lastInputDevice_ = inputDeviceID;
}

std::shared_ptr<AudioSampleStream> AudioProcessor::startStreamingRecordingLive(std::optional<uint32_t> inputDeviceID) {
    auto stream = std::make_shared<AudioSampleStream>();
    std::weak_ptr<AudioSampleStream> weakStream = stream;
    auto forward = [this, weakStream](const std::vector<float>& samples) {
        auto s = weakStream.lock();
        if (s && s->yield(samples)) return;
        // The reading side ended the stream: the capture ends with it. A
        // start, stop or resume under way on another thread settles the
        // engine itself.
        {
            std::lock_guard data(state_->mutex);
            state_->callback = nullptr;
        }
        std::unique_lock control(controlMutex_, std::try_to_lock);
        if (control.owns_lock()) stopEngineLocked();
    };
    // However the stream ends, the capture ends with it.
    std::weak_ptr<Lifetime> weakLifetime = lifetime_;
    stream->onFinish([weakLifetime] {
        auto lifetime = weakLifetime.lock();
        if (!lifetime) return;
        std::lock_guard life(lifetime->mutex);
        if (!lifetime->processor) return;
        lifetime->processor->setAudioBufferCallback(nullptr);
        lifetime->processor->stopRecording();
    });
    try {
        startRecordingLive(inputDeviceID, forward);
    } catch (...) {
        stream->finish(std::current_exception());
    }
    return stream;
}

void AudioProcessor::pauseRecording() {
    std::lock_guard lock(controlMutex_);
    if (engine_) engine_->pause();
}

void AudioProcessor::stopRecording() {
    std::lock_guard lock(controlMutex_);
    stopEngineLocked();
}

void AudioProcessor::resumeRecordingLive(std::optional<uint32_t> inputDeviceID, AudioBufferCallback callback) {
    std::lock_guard lock(controlMutex_);
    if (inputDeviceID == lastInputDevice_) {
        if (engine_) engine_->start();
    } else {
        stopEngineLocked();
        engine_ = setupEngine(inputDeviceID);
    }
    if (callback) {
        std::lock_guard data(state_->mutex);
        state_->callback = std::move(callback);
    }
}

// --- Measures, devices, permission ---------------------------------------------

std::vector<VoiceActivityDetector::Range> AudioProcessor::calculateNonSilentChunks(std::span<const float> signal) {
    return EnergyVAD().calculateActiveChunks(signal);
}

std::optional<WaveformImage> AudioProcessor::createWaveformImage(std::span<const float> samples, double width, double height) {
    if (!std::isfinite(width) || !std::isfinite(height) || width < 1 || height < 1) return std::nullopt;
    WaveformImage image;
    image.width = static_cast<int64_t>(width);
    image.height = static_cast<int64_t>(height);
    const int64_t pixels = image.width * image.height;
    if (pixels > static_cast<int64_t>(samples.size())) return std::nullopt;
    image.pixels.resize(static_cast<size_t>(pixels) * 4);
    std::memcpy(image.pixels.data(), samples.data(), image.pixels.size());
    return image;
}

std::vector<AudioDevice> AudioProcessor::getAudioDevices() { return getAudioDevices(*platform::audio::makePulseAudioSystem()); }

std::vector<AudioDevice> AudioProcessor::getAudioDevices(platform::audio::AudioSystem& audio) {
    auto devices = audio.inputDevices();
    if (!devices) {
        AudioLog::error("Error: Unable to get the number of audio devices.");
        return {};
    }
    std::vector<AudioDevice> result;
    for (const auto& d : *devices)
        if (d.inputChannels > 0) result.push_back(AudioDevice{d.id, d.name});
    return result;
}

bool AudioProcessor::requestRecordPermission() { return requestRecordPermission(*platform::audio::makePulseAudioSystem()); }

bool AudioProcessor::requestRecordPermission(platform::audio::AudioSystem& audio) { return audio.requestRecordPermission(); }

}  // namespace DovuzudUza
