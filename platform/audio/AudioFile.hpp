#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/PcmBuffer.hpp"

namespace platform::audio {

// A decoded audio file read as planar float frames at the file's own rate,
// whatever the container and codec. Throws AudioError.
class AudioFile {
public:
    explicit AudioFile(const std::string& path);
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    const std::string& path() const;
    // Planar float at the file's rate and channel count.
    AudioFormat processingFormat() const;
    double sampleRate() const { return processingFormat().sampleRate; }
    uint32_t channelCount() const { return processingFormat().channelCount; }
    // Length in frames as the container declares it (the decoder may end
    // earlier); counted by decoding when the container only estimates it.
    int64_t length() const;

    int64_t framePosition() const;
    void setFramePosition(int64_t frame);

    // Reads up to `frameCount` frames into the start of `buffer` (which must
    // have the processing format), sets its frame length and returns it.
    // Zero means the end of the audio.
    int64_t read(PcmBuffer& buffer, int64_t frameCount);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::audio
