#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio/PcmBuffer.hpp"

namespace platform::audio {

// An input device as the sound server lists it.
struct InputDevice {
    uint32_t id = 0;
    std::string name;
    uint32_t inputChannels = 0;

    bool operator==(const InputDevice&) const = default;
};

// The microphone side of an audio engine: one input, one tap that receives
// every captured buffer on the capture thread.
class CaptureEngine {
public:
    using Tap = std::function<void(PcmBuffer&)>;

    virtual ~CaptureEngine() = default;

    // Points the input at a device. Returns 0, or a non-zero status when the
    // device is refused (the input then stays on the default device).
    virtual int selectDevice(uint32_t deviceId) = 0;
    // Format of the buffers the tap receives; channel count 0 when there is no input.
    virtual AudioFormat inputFormat() = 0;
    virtual void installTap(uint32_t framesPerBuffer, Tap tap) = 0;
    virtual void removeTap() = 0;
    // Throws AudioError when capture cannot start.
    virtual void start() = 0;
    virtual void pause() = 0;
    // After it returns the tap is never called again.
    virtual void stop() = 0;
};

// Whether this process may record: the desktop's answer so far.
enum class RecordPermission { granted, undetermined, denied, restricted };

// The machine's sound input: devices, capture engines and the permission to record.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;

    // The input-capable devices in the server's order; none when the server cannot be asked.
    virtual std::optional<std::vector<InputDevice>> inputDevices() = 0;
    virtual std::unique_ptr<CaptureEngine> makeCaptureEngine() = 0;
    virtual bool requestRecordPermission() = 0;
    // The permission without asking. Desktops without a microphone permission grant it.
    virtual RecordPermission recordPermission() { return RecordPermission::granted; }
};

// The sound-server backend.
std::shared_ptr<AudioSystem> makePulseAudioSystem();

}  // namespace platform::audio
