#include "app/Audio/AudioRecorder.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/Support/Log.hpp"
#include "platform/audio/Resampler.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace Parlox {

using platform::audio::AudioFormat;
using platform::audio::PcmBuffer;

// Shared by the recorder and the capture thread's tap.
struct AudioRecorder::Store {
    std::mutex mutex;
    std::vector<float> samples;
    bool paused = false;
};

// Where levels go; the tap holds it weakly, so a recorder that is gone gets none.
struct AudioRecorder::Listener {
    std::mutex mutex;
    std::function<void(float)> onLevel;
};

std::string AudioRecorder::RecorderError::localizedDescription() const {
    switch (kind_) {
        case Kind::microphoneDenied:
            return "Parlox no tiene permiso para usar el micrófono.";
        case Kind::noInputDevice:
            return "No hay ningún micrófono disponible.";
        case Kind::converterUnavailable:
            return "No se puede convertir el audio del micrófono a 16 kHz.";
    }
    return {};
}

AudioRecorder::AudioRecorder(std::shared_ptr<platform::audio::AudioSystem> audio,
                             std::shared_ptr<platform::Scheduler> scheduler)
    : audio_(std::move(audio)),
      scheduler_(std::move(scheduler)),
      store_(std::make_shared<Store>()),
      listener_(std::make_shared<Listener>()) {}

AudioRecorder::~AudioRecorder() { stop(); }

void AudioRecorder::setOnLevel(std::function<void(float)> onLevel) {
    std::lock_guard lock(listener_->mutex);
    listener_->onLevel = std::move(onLevel);
}

bool AudioRecorder::requestMicrophone(platform::audio::AudioSystem& audio) {
    using platform::audio::RecordPermission;
    switch (audio.recordPermission()) {
        case RecordPermission::granted:
            return true;
        case RecordPermission::undetermined:
            return audio.requestRecordPermission();
        case RecordPermission::denied:
        case RecordPermission::restricted:
            return false;
    }
    return false;
}

float AudioRecorder::level(const float* samples, size_t count) {
    if (count == 0) return 0;
    float sum = 0;
    for (size_t i = 0; i < count; ++i) sum += samples[i] * samples[i];
    const float meanSquare = sum / static_cast<float>(count);
    if (!(meanSquare > 0)) return 0;
    const float decibels = 20 * std::log10(std::sqrt(meanSquare));
    return std::clamp((decibels + 50) / 50, 0.0f, 1.0f);
}

AudioRecorder::Capture AudioRecorder::start(std::stop_token claim) {
    if (!requestMicrophone(*audio_)) throw RecorderError(RecorderError::Kind::microphoneDenied);

    std::lock_guard engineLock(engineMutex_);
    // Given up while waiting: whatever runs now belongs to someone else.
    if (claim.stop_requested()) throw platform::CancellationError();
    closeEngine();
    auto engine = audio_->makeCaptureEngine();
    const AudioFormat hardware = engine->inputFormat();
    if (!(hardware.sampleRate > 0) || hardware.channelCount == 0)
        throw RecorderError(RecorderError::Kind::noInputDevice);
    const AudioFormat mono{hardware.sampleRate, 1};
    std::shared_ptr<platform::audio::Resampler> converter;
    try {
        converter = std::make_shared<platform::audio::Resampler>(mono, AudioFormat{sampleRate, 1});
    } catch (const std::exception&) {
        throw RecorderError(RecorderError::Kind::converterUnavailable);
    }
    {
        std::lock_guard lock(store_->mutex);
        store_->samples.clear();
        store_->samples.reserve(static_cast<size_t>(60 * sampleRate));
        store_->paused = false;
    }

    auto store = store_;
    std::weak_ptr<Listener> listener = listener_;
    auto scheduler = scheduler_;
    auto levelClock = std::make_shared<std::optional<platform::Scheduler::MonotonicClock::time_point>>();
    engine->installTap(tapFrames, [store, listener, scheduler, converter, mono, levelClock](PcmBuffer& buffer) {
        if (buffer.channelCount() == 0 || buffer.frameLength() == 0 || !buffer.hasFloatData()) return;
        const auto frames = static_cast<size_t>(buffer.frameLength());
        // The level flows while paused too.
        const auto now = scheduler->uptime();
        if (!*levelClock || std::chrono::duration<double>(now - **levelClock).count() > levelInterval) {
            *levelClock = now;
            const float value = level(buffer.channel(0), frames);
            if (auto alive = listener.lock())
                scheduler->post([listener, value] {
                    auto target = listener.lock();
                    if (!target) return;
                    std::function<void(float)> onLevel;
                    {
                        std::lock_guard lock(target->mutex);
                        onLevel = target->onLevel;
                    }
                    if (onLevel) onLevel(value);
                });
        }
        {
            std::lock_guard lock(store->mutex);
            if (store->paused) return;
        }
        // Only the first channel is recorded.
        PcmBuffer first(mono, buffer.frameLength());
        std::memcpy(first.channel(0), buffer.channel(0), frames * sizeof(float));
        first.setFrameLength(buffer.frameLength());
        PcmBuffer converted;
        try {
            converted = converter->process(first);
        } catch (const std::exception& error) {
            Log::error("Conversión de audio: " + platform::localizedDescription(error));
            return;
        }
        if (converted.frameLength() <= 0) return;
        std::lock_guard lock(store->mutex);
        store->samples.insert(store->samples.end(), converted.channel(0),
                              converted.channel(0) + converted.frameLength());
    });
    try {
        engine->start();
    } catch (...) {
        engine->removeTap();
        throw;
    }
    engine_ = std::move(engine);
    capture_ = ++lastCapture_;
    Log::info("Grabación iniciada · entrada " + platform::formatInteger(static_cast<int64_t>(hardware.sampleRate)) +
              " Hz, " + platform::formatInteger(hardware.channelCount) + " canales");
    return capture_;
}

std::vector<float> AudioRecorder::stop() {
    std::lock_guard engineLock(engineMutex_);
    closeEngine();
    return takeSamples();
}

void AudioRecorder::stop(Capture capture) {
    std::lock_guard engineLock(engineMutex_);
    if (!engine_ || capture_ != capture) return;
    closeEngine();
    takeSamples();
}

void AudioRecorder::closeEngine() {
    if (!engine_) return;
    engine_->removeTap();
    engine_->stop();
    engine_.reset();
}

std::vector<float> AudioRecorder::takeSamples() {
    std::lock_guard lock(store_->mutex);
    std::vector<float> taken = std::move(store_->samples);
    store_->samples = {};
    store_->paused = false;
    return taken;
}

void AudioRecorder::pause() {
    std::lock_guard lock(store_->mutex);
    store_->paused = true;
}

void AudioRecorder::resume() {
    std::lock_guard lock(store_->mutex);
    store_->paused = false;
}

bool AudioRecorder::isRunning() const {
    std::lock_guard lock(engineMutex_);
    return engine_ != nullptr;
}

size_t AudioRecorder::sampleCount() const {
    std::lock_guard lock(store_->mutex);
    return store_->samples.size();
}

}  // namespace Parlox
