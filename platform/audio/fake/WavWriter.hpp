#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::audio {

// Writes a canonical RIFF/WAVE file: one "fmt " chunk, then the sample bytes.
inline void writeWavBytes(const std::string& path, const char* data, uint32_t dataBytes, uint16_t formatTag,
                          uint16_t bitsPerSample, uint32_t sampleRate, uint16_t channels) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const uint16_t bytesPerSample = bitsPerSample / 8;
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(formatTag);
    u16(channels);
    u32(sampleRate);
    u32(sampleRate * channels * bytesPerSample);
    u16(static_cast<uint16_t>(channels * bytesPerSample));
    u16(bitsPerSample);
    out.write("data", 4);
    u32(dataBytes);
    out.write(data, static_cast<std::streamsize>(dataBytes));
}

// Writes interleaved samples as a 16-bit PCM WAV file (test fixtures).
inline void writeWav16(const std::string& path, const std::vector<float>& interleaved, uint32_t sampleRate,
                       uint16_t channels) {
    std::vector<int16_t> pcm(interleaved.size());
    for (size_t i = 0; i < interleaved.size(); ++i) {
        const float v = std::fmax(-1.0f, std::fmin(1.0f, interleaved[i]));
        pcm[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
    }
    writeWavBytes(path, reinterpret_cast<const char*>(pcm.data()), static_cast<uint32_t>(pcm.size() * 2), 1, 16,
                  sampleRate, channels);
}

// Writes interleaved samples as a 32-bit float WAV file (exact samples).
inline void writeWavFloat(const std::string& path, const std::vector<float>& interleaved, uint32_t sampleRate,
                          uint16_t channels) {
    writeWavBytes(path, reinterpret_cast<const char*>(interleaved.data()),
                  static_cast<uint32_t>(interleaved.size() * 4), 3, 32, sampleRate, channels);
}

}  // namespace platform::audio
