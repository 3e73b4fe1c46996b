#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/audio/AudioError.hpp"
#include "platform/audio/AudioSystem.hpp"

namespace platform::audio {

// A scripted microphone. Tests hand it buffers (or a script of samples) and
// it calls the tap at once on the test's thread, as the capture thread would.
class FakeCaptureEngine final : public CaptureEngine {
public:
    enum class State { idle, running, paused, stopped };

    // What a test sees of one engine, alive or gone.
    struct Record {
        std::mutex mutex;
        State state = State::idle;
        bool destroyed = false;
        bool tapInstalled = false;
        uint32_t framesPerBuffer = 0;
        std::optional<uint32_t> device;
        AudioFormat format;
        Tap tap;
        int starts = 0;
        int stops = 0;
    };

    FakeCaptureEngine(std::shared_ptr<Record> record, std::set<uint32_t> refused, bool failStart)
        : record_(std::move(record)), refused_(std::move(refused)), failStart_(failStart) {}

    ~FakeCaptureEngine() override {
        std::lock_guard lock(record_->mutex);
        record_->destroyed = true;
        record_->tap = nullptr;
        record_->tapInstalled = false;
    }

    int selectDevice(uint32_t deviceId) override {
        if (refused_.count(deviceId)) return -2;
        std::lock_guard lock(record_->mutex);
        record_->device = deviceId;
        return 0;
    }

    AudioFormat inputFormat() override {
        std::lock_guard lock(record_->mutex);
        return record_->format;
    }

    void installTap(uint32_t framesPerBuffer, Tap tap) override {
        std::lock_guard lock(record_->mutex);
        record_->framesPerBuffer = framesPerBuffer;
        record_->tap = std::move(tap);
        record_->tapInstalled = true;
    }

    void removeTap() override {
        std::lock_guard lock(record_->mutex);
        record_->tap = nullptr;
        record_->tapInstalled = false;
    }

    void start() override {
        if (failStart_) throw AudioError(AudioError::Kind::captureFailed, "Cannot open the microphone: no device");
        std::lock_guard lock(record_->mutex);
        record_->state = State::running;
        ++record_->starts;
    }

    void pause() override {
        std::lock_guard lock(record_->mutex);
        if (record_->state == State::running) record_->state = State::paused;
    }

    void stop() override {
        std::lock_guard lock(record_->mutex);
        record_->state = State::stopped;
        ++record_->stops;
    }

private:
    std::shared_ptr<Record> record_;
    std::set<uint32_t> refused_;
    bool failStart_;
};

class FakeAudioSystem final : public AudioSystem {
public:
    using Record = FakeCaptureEngine::Record;

    // Settings a test may change before engines are made.
    std::optional<std::vector<InputDevice>> devices = std::vector<InputDevice>{};
    AudioFormat inputFormat{48000, 2};
    std::set<uint32_t> refusedDevices;
    bool failStart = false;
    bool permission = true;
    RecordPermission permissionStatus = RecordPermission::granted;

    std::optional<std::vector<InputDevice>> inputDevices() override { return devices; }

    std::unique_ptr<CaptureEngine> makeCaptureEngine() override {
        auto record = std::make_shared<Record>();
        record->format = inputFormat;
        {
            std::lock_guard lock(mutex_);
            engines_.push_back(record);
        }
        return std::make_unique<FakeCaptureEngine>(record, refusedDevices, failStart);
    }

    bool requestRecordPermission() override { return permission; }
    RecordPermission recordPermission() override { return permissionStatus; }

    std::vector<std::shared_ptr<Record>> engines() const {
        std::lock_guard lock(mutex_);
        return engines_;
    }
    std::shared_ptr<Record> lastEngine() const {
        std::lock_guard lock(mutex_);
        return engines_.empty() ? nullptr : engines_.back();
    }

    // Hands one buffer to the tap of the newest engine when it is running.
    // Returns whether the tap received it.
    static bool deliver(const std::shared_ptr<Record>& record, PcmBuffer buffer) {
        FakeCaptureEngine::Tap tap;
        {
            std::lock_guard lock(record->mutex);
            if (record->destroyed || record->state != FakeCaptureEngine::State::running || !record->tap) return false;
            tap = record->tap;
        }
        tap(buffer);
        return true;
    }
    bool deliver(PcmBuffer buffer) {
        auto record = lastEngine();
        return record && deliver(record, std::move(buffer));
    }

    // Plays interleaved samples in the engine's format, in buffers of the
    // tap's requested size; returns the number of buffers taken.
    int play(const std::vector<float>& interleaved) {
        auto record = lastEngine();
        if (!record) return 0;
        AudioFormat format;
        uint32_t frames;
        {
            std::lock_guard lock(record->mutex);
            format = record->format;
            frames = record->framesPerBuffer == 0 ? 1024 : record->framesPerBuffer;
        }
        const size_t total = interleaved.size() / format.channelCount;
        int taken = 0;
        for (size_t at = 0; at < total; at += frames) {
            const size_t n = std::min<size_t>(frames, total - at);
            PcmBuffer buffer(format, static_cast<int64_t>(n));
            for (uint32_t c = 0; c < format.channelCount; ++c)
                for (size_t i = 0; i < n; ++i) buffer.channel(c)[i] = interleaved[(at + i) * format.channelCount + c];
            buffer.setFrameLength(static_cast<int64_t>(n));
            if (deliver(record, std::move(buffer))) ++taken;
        }
        return taken;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Record>> engines_;
};

}  // namespace platform::audio
