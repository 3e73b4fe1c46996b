#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::audio {

// What the header of a RIFF/WAVE file says about its samples, read from the
// file itself (the decoder trusts the file's size instead).
struct WavHeader {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t blockAlign = 0;  // bytes per frame
    uint32_t dataBytes = 0;   // as the "data" chunk declares it
    uint64_t dataOffset = 0;  // where the samples start

    // Frames the header promises; absent when the size is a placeholder (0 or
    // 0xFFFFFFFF, as writers that stream leave it) or frames have no fixed size.
    std::optional<int64_t> declaredFrames() const;

    // Absent when the file is not RIFF/WAVE or has no "fmt " and "data" chunk.
    static std::optional<WavHeader> read(const std::string& path);
};

}  // namespace platform::audio
