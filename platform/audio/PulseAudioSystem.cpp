#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/audio/AudioError.hpp"
#include "platform/audio/AudioSystem.hpp"

namespace platform::audio {

namespace {

struct Source {
    InputDevice device;
    std::string serverName;
};

struct ListState {
    std::vector<Source> sources;
    bool done = false;
    bool failed = false;
};

// Asks the sound server for its capture sources (monitors of outputs left out).
std::optional<std::vector<Source>> listSources() {
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr) return std::nullopt;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Parlox");
    std::optional<std::vector<Source>> result;
    if (context != nullptr && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        auto iterate = [&] {
            if (pa_mainloop_prepare(loop, 100000) < 0) return false;
            if (pa_mainloop_poll(loop) < 0) return false;
            return pa_mainloop_dispatch(loop) >= 0;
        };
        bool ready = false;
        while (std::chrono::steady_clock::now() < deadline && iterate()) {
            const pa_context_state_t s = pa_context_get_state(context);
            if (s == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(s)) break;
        }
        if (ready) {
            ListState state;
            pa_operation* op = pa_context_get_source_info_list(
                context,
                [](pa_context*, const pa_source_info* info, int eol, void* user) {
                    auto* st = static_cast<ListState*>(user);
                    if (eol < 0) st->failed = true;
                    if (eol != 0) {
                        st->done = true;
                        return;
                    }
                    if (info->monitor_of_sink != PA_INVALID_INDEX || info->sample_spec.channels == 0) return;
                    Source src;
                    src.device.id = info->index;
                    src.device.name = info->description != nullptr ? info->description : "";
                    src.device.inputChannels = info->sample_spec.channels;
                    src.serverName = info->name != nullptr ? info->name : "";
                    st->sources.push_back(std::move(src));
                },
                &state);
            while (op != nullptr && !state.done && std::chrono::steady_clock::now() < deadline && iterate()) {
            }
            if (op != nullptr) pa_operation_unref(op);
            if (state.done && !state.failed) result = std::move(state.sources);
        }
        pa_context_disconnect(context);
    }
    if (context != nullptr) pa_context_unref(context);
    pa_mainloop_free(loop);
    return result;
}

class PulseCaptureEngine final : public CaptureEngine {
public:
    ~PulseCaptureEngine() override { stop(); }

    int selectDevice(uint32_t deviceId) override {
        auto sources = listSources();
        if (!sources) return -PA_ERR_CONNECTIONREFUSED;
        for (const auto& s : *sources) {
            if (s.device.id == deviceId) {
                std::lock_guard lock(shared_->mutex);
                device_ = s.serverName;
                return 0;
            }
        }
        return -PA_ERR_NOENTITY;
    }

    AudioFormat inputFormat() override { return AudioFormat{16000, 1}; }

    void installTap(uint32_t framesPerBuffer, Tap tap) override {
        std::lock_guard lock(shared_->mutex);
        frames_ = framesPerBuffer == 0 ? 1600 : framesPerBuffer;
        shared_->tap = std::make_shared<Tap>(std::move(tap));
    }

    void removeTap() override {
        std::lock_guard lock(shared_->mutex);
        shared_->tap.reset();
    }

    void start() override {
        if (thread_.joinable()) return;
        std::string device;
        uint32_t frames;
        {
            std::lock_guard lock(shared_->mutex);
            device = device_;
            frames = frames_;
        }
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 16000, 1};
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = frames * sizeof(float);
        int error = 0;
        pa_simple* stream = pa_simple_new(nullptr, "Parlox", PA_STREAM_RECORD, device.empty() ? nullptr : device.c_str(),
                                          "Dictado", &spec, nullptr, &attr, &error);
        if (stream == nullptr)
            throw AudioError(AudioError::Kind::captureFailed, std::string("Cannot open the microphone: ") + pa_strerror(error));
        shared_->running = true;
        thread_ = std::thread([shared = shared_, stream, frames] { captureLoop(shared, stream, frames); });
    }

    void pause() override { stop(); }

    void stop() override {
        shared_->running = false;
        if (!thread_.joinable()) return;
        // Stopped from inside the tap: the loop ends by itself after this buffer.
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
            return;
        }
        thread_.join();
    }

private:
    struct Shared {
        std::mutex mutex;
        std::shared_ptr<Tap> tap;
        std::atomic<bool> running{false};
    };

    static void captureLoop(std::shared_ptr<Shared> shared, pa_simple* stream, uint32_t frames) {
        while (shared->running) {
            PcmBuffer buffer(AudioFormat{16000, 1}, frames);
            int error = 0;
            if (pa_simple_read(stream, buffer.channel(0), frames * sizeof(float), &error) < 0) break;
            buffer.setFrameLength(frames);
            std::shared_ptr<Tap> tap;
            {
                std::lock_guard lock(shared->mutex);
                tap = shared->tap;
            }
            if (tap && shared->running) (*tap)(buffer);
        }
        pa_simple_free(stream);
    }

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::string device_;
    uint32_t frames_ = 1600;
    std::thread thread_;
};

class PulseAudioSystem final : public AudioSystem {
public:
    std::optional<std::vector<InputDevice>> inputDevices() override {
        auto sources = listSources();
        if (!sources) return std::nullopt;
        std::vector<InputDevice> devices;
        for (auto& s : *sources) devices.push_back(std::move(s.device));
        return devices;
    }

    std::unique_ptr<CaptureEngine> makeCaptureEngine() override { return std::make_unique<PulseCaptureEngine>(); }

    // The desktop has no recording prompt: recording is allowed when a source exists.
    bool requestRecordPermission() override {
        auto sources = listSources();
        return sources && !sources->empty();
    }
};

}  // namespace

std::shared_ptr<AudioSystem> makePulseAudioSystem() { return std::make_shared<PulseAudioSystem>(); }

}  // namespace platform::audio
