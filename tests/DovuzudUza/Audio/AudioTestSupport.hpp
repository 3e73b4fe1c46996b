#pragma once

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "../Models/LogCapture.hpp"
#include "../WhisperErrorOf.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace DovuzudUza::audio_test {

using test_support::LogCapture;

using parlox::testing::TemporaryFolder;

using test_support::whisperError;

inline std::vector<float> tone(size_t count, double rate, double hz, float amplitude) {
    std::vector<float> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / rate));
    return v;
}

// 16 kHz "speech": a tone, with silent stretches given in seconds.
inline std::vector<float> voiceWithSilences(double seconds, std::vector<std::pair<double, double>> silences) {
    auto v = tone(static_cast<size_t>(seconds * 16000), 16000, 220, 0.3f);
    for (auto [from, to] : silences)
        for (size_t i = static_cast<size_t>(from * 16000); i < static_cast<size_t>(to * 16000) && i < v.size(); ++i) v[i] = 0;
    return v;
}

inline bool contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& l : lines)
        if (l == text) return true;
    return false;
}

inline int countOf(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const auto& l : lines) n += l == text;
    return n;
}

inline bool runQuiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A lossless (FLAC) copy of the 16-bit WAV at `wav` whose header announces
// `declaredFrames` frames, whatever the copy holds.
inline void writeFlacAnnouncing(const std::string& wav, const std::string& flac, uint64_t declaredFrames) {
    ASSERT_TRUE(runQuiet("ffmpeg -v error -nostdin -y -i '" + wav + "' '" + flac + "'"));
    std::fstream file(flac, std::ios::in | std::ios::out | std::ios::binary);
    // "fLaC", the stream-info block's header, then 10 bytes of block and frame
    // sizes; the frame count is the low 36 bits of the next 8 bytes.
    unsigned char field[8];
    file.seekg(18);
    file.read(reinterpret_cast<char*>(field), 8);
    uint64_t v = 0;
    for (unsigned char byte : field) v = v << 8 | byte;
    v = (v & ~((uint64_t{1} << 36) - 1)) | declaredFrames;
    for (int i = 7; i >= 0; --i, v >>= 8) field[i] = static_cast<unsigned char>(v & 0xFF);
    file.seekp(18);
    file.write(reinterpret_cast<const char*>(field), 8);
    ASSERT_TRUE(file.good());
}

}  // namespace DovuzudUza::audio_test
