#include <pulse/error.h>
#include <pulse/pulseaudio.h>

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
    uint32_t rate = 0;
    bool isDefault = false;
};

struct ListState {
    std::vector<Source> sources;
    std::string defaultSource;
    bool done = false;
    bool failed = false;
    bool serverDone = false;
};

// Asks the sound server for its capture sources (monitors of outputs left
// out), each with its own sample rate and whether it is the default one.
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
            pa_operation* serverOp = pa_context_get_server_info(
                context,
                [](pa_context*, const pa_server_info* info, void* user) {
                    auto* st = static_cast<ListState*>(user);
                    if (info != nullptr && info->default_source_name != nullptr)
                        st->defaultSource = info->default_source_name;
                    st->serverDone = true;
                },
                &state);
            while (serverOp != nullptr && !state.serverDone && std::chrono::steady_clock::now() < deadline &&
                   iterate()) {
            }
            if (serverOp != nullptr) pa_operation_unref(serverOp);
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
                    src.rate = info->sample_spec.rate;
                    src.isDefault = src.serverName == st->defaultSource;
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

// One recording stream on a connection of its own, driven by whoever holds it.
class RecordStream {
public:
    // Throws AudioError when the server or the source refuses.
    static std::unique_ptr<RecordStream> open(const std::string& device, AudioFormat format, uint32_t frames) {
        std::unique_ptr<RecordStream> s(new RecordStream());
        s->loop_ = pa_mainloop_new();
        s->context_ = pa_context_new(pa_mainloop_get_api(s->loop_), "Parlox");
        if (s->context_ == nullptr || pa_context_connect(s->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            throw AudioError(AudioError::Kind::captureFailed, "Cannot open the microphone: no sound server");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        auto waitFor = [&](auto ready, auto good) {
            while (std::chrono::steady_clock::now() < deadline) {
                if (ready()) return true;
                if (!good() || !s->iterate(100)) return false;
            }
            return false;
        };
        if (!waitFor([&] { return pa_context_get_state(s->context_) == PA_CONTEXT_READY; },
                     [&] { return PA_CONTEXT_IS_GOOD(pa_context_get_state(s->context_)); }))
            throw AudioError(AudioError::Kind::captureFailed, "Cannot open the microphone: no sound server");
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(format.sampleRate),
                                  static_cast<uint8_t>(format.channelCount)};
        s->stream_ = pa_stream_new(s->context_, "Dictado", &spec, nullptr);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = frames * format.channelCount * sizeof(float);
        if (s->stream_ == nullptr ||
            pa_stream_connect_record(s->stream_, device.empty() ? nullptr : device.c_str(), &attr,
                                     PA_STREAM_ADJUST_LATENCY) < 0 ||
            !waitFor([&] { return pa_stream_get_state(s->stream_) == PA_STREAM_READY; },
                     [&] { return PA_STREAM_IS_GOOD(pa_stream_get_state(s->stream_)); }))
            throw AudioError(AudioError::Kind::captureFailed,
                             std::string("Cannot open the microphone: ") + pa_strerror(pa_context_errno(s->context_)));
        return s;
    }

    ~RecordStream() {
        if (stream_ != nullptr) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_ != nullptr) pa_mainloop_free(loop_);
    }

    // Waits up to `wait` for audio and appends what arrived (interleaved
    // floats) to `out`; false when the stream broke.
    bool pump(std::vector<float>& out, std::chrono::milliseconds wait) {
        if (!iterate(static_cast<int>(wait.count()))) return false;
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) return false;
        while (pa_stream_readable_size(stream_) > 0) {
            const void* data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(stream_, &data, &bytes) < 0) return false;
            if (bytes == 0) break;
            // A hole in the stream (data == nullptr) is skipped.
            if (data != nullptr) {
                const auto* samples = static_cast<const float*>(data);
                out.insert(out.end(), samples, samples + bytes / sizeof(float));
            }
            pa_stream_drop(stream_);
        }
        return true;
    }

private:
    RecordStream() = default;
    bool iterate(int timeoutMs) {
        if (pa_mainloop_prepare(loop_, timeoutMs * 1000) < 0) return false;
        if (pa_mainloop_poll(loop_) < 0) return false;
        return pa_mainloop_dispatch(loop_) >= 0;
    }

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
};

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
                format_ = AudioFormat{};
                return 0;
            }
        }
        return -PA_ERR_NOENTITY;
    }

    // The chosen source's own rate and channels (the default source when none
    // was chosen); no channels when the server or the source is not there.
    AudioFormat inputFormat() override {
        std::string device;
        {
            std::lock_guard lock(shared_->mutex);
            device = device_;
        }
        const auto sources = listSources();
        if (!sources) return AudioFormat{};
        for (const auto& s : *sources) {
            if (device.empty() ? s.isDefault : s.serverName == device) {
                std::lock_guard lock(shared_->mutex);
                format_ = AudioFormat{static_cast<double>(s.rate), s.device.inputChannels};
                return format_;
            }
        }
        return AudioFormat{};
    }

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
        AudioFormat format;
        {
            std::lock_guard lock(shared_->mutex);
            device = device_;
            frames = frames_;
            format = format_;
        }
        if (format.channelCount == 0) format = inputFormat();
        if (format.channelCount == 0 || !(format.sampleRate > 0))
            throw AudioError(AudioError::Kind::captureFailed, "Cannot open the microphone: no capture source");
        auto stream = RecordStream::open(device, format, frames);
        shared_->running = true;
        thread_ = std::thread([shared = shared_, stream = std::move(stream), frames, format]() mutable {
            captureLoop(shared, std::move(stream), frames, format);
        });
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

    // Hands the stream's frames to the tap in buffers of `frames`, one plane
    // per channel. The stream is polled, so a stop is seen within 50 ms even
    // when the source delivers nothing.
    static void captureLoop(std::shared_ptr<Shared> shared, std::unique_ptr<RecordStream> stream, uint32_t frames,
                            AudioFormat format) {
        const uint32_t channels = format.channelCount;
        std::vector<float> pending;
        while (shared->running && stream->pump(pending, std::chrono::milliseconds(50))) {
            while (pending.size() >= static_cast<size_t>(frames) * channels && shared->running) {
                PcmBuffer buffer(format, frames);
                for (uint32_t c = 0; c < channels; ++c) {
                    float* plane = buffer.channel(c);
                    for (uint32_t i = 0; i < frames; ++i) plane[i] = pending[static_cast<size_t>(i) * channels + c];
                }
                buffer.setFrameLength(frames);
                pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(frames) * channels);
                std::shared_ptr<Tap> tap;
                {
                    std::lock_guard lock(shared->mutex);
                    tap = shared->tap;
                }
                if (tap) (*tap)(buffer);
            }
        }
    }

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::string device_;
    AudioFormat format_;
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
    bool requestRecordPermission() override { return recordPermission() == RecordPermission::granted; }

    // Granted when the sound server lists a capture source; denied when it
    // lists none or cannot be reached.
    RecordPermission recordPermission() override {
        auto sources = listSources();
        return sources && !sources->empty() ? RecordPermission::granted : RecordPermission::denied;
    }
};

}  // namespace

std::shared_ptr<AudioSystem> makePulseAudioSystem() { return std::make_shared<PulseAudioSystem>(); }

}  // namespace platform::audio
