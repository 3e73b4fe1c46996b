#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/audio/AudioSystem.hpp"
#include "platform/concurrency/Scheduler.hpp"
#include "platform/foundation/Error.hpp"

namespace Parlox {

// Records the default microphone for one dictation as 16 kHz mono float
// samples, reporting a display level about twelve times a second, and can
// pause without closing the microphone. The capture thread only appends to
// the sample store, under its lock.
class AudioRecorder {
public:
    class RecorderError : public platform::Error {
    public:
        enum class Kind { microphoneDenied, noInputDevice, converterUnavailable };
        explicit RecorderError(Kind kind) : kind_(kind) {}
        Kind kind() const { return kind_; }
        std::string description() const override { return localizedDescription(); }
        std::string localizedDescription() const override;

    private:
        Kind kind_;
    };

    // One start() of the microphone, told apart from the others.
    using Capture = uint64_t;

    static constexpr double sampleRate = 16000;
    static constexpr uint32_t tapFrames = 4096;
    static constexpr double levelInterval = 0.08;

    AudioRecorder(std::shared_ptr<platform::audio::AudioSystem> audio, std::shared_ptr<platform::Scheduler> scheduler);
    ~AudioRecorder();
    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    // Receives each display level (0 to 1) on the main thread.
    void setOnLevel(std::function<void(float)> onLevel);

    // Asks for the microphone if needed and starts capturing into an empty
    // store (a capture still running is stopped and its audio dropped).
    // Throws RecorderError or the audio system's error. May wait for the
    // user's answer: call it off the main thread.
    // `claim` is the caller's hold on the microphone. Once it is given up
    // (stop requested), nothing is opened or stopped and CancellationError
    // is thrown. It is looked at under the lock stop() takes, so a stop()
    // made after giving the claim up either finds this capture open and
    // closes it, or no capture is opened at all.
    // Returns the capture opened, for stop(Capture).
    Capture start(std::stop_token claim = {});
    // Stops capturing and hands over the samples, leaving the store empty
    // and not paused. Without a capture it returns what the store holds (nothing).
    std::vector<float> stop();
    // Stops `capture` and drops its samples, when it is the one running;
    // a later capture is left alone.
    void stop(Capture capture);
    // Incoming audio is dropped while paused; levels keep coming.
    void pause();
    void resume();

    bool isRunning() const;
    size_t sampleCount() const;

    static bool requestMicrophone(platform::audio::AudioSystem& audio);
    // The display level of one buffer's samples: RMS in dB, 0 at -50 dB, 1 at 0 dB.
    static float level(const float* samples, size_t count);

private:
    struct Store;
    struct Listener;

    // Both with engineMutex_ held.
    void closeEngine();
    std::vector<float> takeSamples();

    std::shared_ptr<platform::audio::AudioSystem> audio_;
    std::shared_ptr<platform::Scheduler> scheduler_;
    std::shared_ptr<Store> store_;
    std::shared_ptr<Listener> listener_;
    mutable std::mutex engineMutex_;  // start and stop, one at a time
    std::unique_ptr<platform::audio::CaptureEngine> engine_;
    Capture capture_ = 0;  // the one engine_ runs
    Capture lastCapture_ = 0;
};

}  // namespace Parlox
