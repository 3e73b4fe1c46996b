#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

#include "platform/audio/AudioError.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/fake/WavWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace platform::audio;
using parlox::testing::TemporaryFolder;

namespace {

std::vector<float> ramp(size_t frames, uint16_t channels) {
    std::vector<float> v(frames * channels);
    for (size_t i = 0; i < frames; ++i)
        for (uint16_t c = 0; c < channels; ++c) v[i * channels + c] = static_cast<float>((i % 1000) / 1000.0 - 0.5) * (c + 1) * 0.5f;
    return v;
}

AudioError::Kind openKind(const std::string& path) {
    try {
        AudioFile file(path);
    } catch (const AudioError& e) {
        EXPECT_FALSE(e.description().empty());
        return e.kind();
    }
    ADD_FAILURE() << "opened " << path;
    return AudioError::Kind::readFailed;
}

}  // namespace

TEST(AudioFile, ReadsFloatWavExactlyAndPlanar) {
    TemporaryFolder tmp;
    const auto samples = ramp(5000, 2);
    writeWavFloat((tmp / "a.wav").string(), samples, 22050, 2);

    AudioFile file((tmp / "a.wav").string());
    EXPECT_EQ(file.sampleRate(), 22050);
    EXPECT_EQ(file.channelCount(), 2u);
    EXPECT_EQ(file.length(), 5000);

    PcmBuffer buffer(file.processingFormat(), 3000);
    EXPECT_EQ(file.read(buffer, 3000), 3000);
    EXPECT_EQ(file.framePosition(), 3000);
    for (int i : {0, 1, 999, 2999}) {
        EXPECT_EQ(buffer.channel(0)[i], samples[i * 2]);
        EXPECT_EQ(buffer.channel(1)[i], samples[i * 2 + 1]);
    }
    EXPECT_EQ(file.read(buffer, 3000), 2000);
    EXPECT_EQ(buffer.channel(1)[1999], samples[4999 * 2 + 1]);
    EXPECT_EQ(file.read(buffer, 3000), 0);
}

TEST(AudioFile, SeeksBackwardAndForward) {
    TemporaryFolder tmp;
    const auto samples = ramp(200000, 1);
    writeWavFloat((tmp / "s.wav").string(), samples, 16000, 1);
    AudioFile file((tmp / "s.wav").string());
    PcmBuffer buffer(file.processingFormat(), 10);
    for (int64_t at : {150000, 100, 100, 120000, 0, 199995}) {
        file.setFramePosition(at);
        const int64_t n = file.read(buffer, 10);
        ASSERT_EQ(n, std::min<int64_t>(10, 200000 - at)) << at;
        for (int64_t i = 0; i < n; ++i) EXPECT_EQ(buffer.channel(0)[i], samples[at + i]) << at;
    }
}

TEST(AudioFile, DecodesCompressedFormats) {
    TemporaryFolder tmp;
    std::vector<float> tone(44100);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * std::sin(2 * std::numbers::pi * 440 * i / 44100.0);
    writeWav16((tmp / "t.wav").string(), tone, 44100, 1);
    const std::string cmd = "ffmpeg -v error -y -i " + (tmp / "t.wav").string() + " " + (tmp / "t.flac").string() + " " +
                            (tmp / "t.ogg").string() + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const char* name : {"t.flac", "t.ogg"}) {
        AudioFile file((tmp / name).string());
        PcmBuffer buffer(file.processingFormat(), 100000);
        const int64_t n = file.read(buffer, 100000);
        EXPECT_NEAR(static_cast<double>(n) / file.sampleRate(), 1.0, 0.03) << name;
        float peak = 0;
        for (int64_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(buffer.channel(0)[i]));
        EXPECT_NEAR(peak, 0.5, 0.05) << name;
    }
}

TEST(AudioFile, BadFilesFailWithTheirKind) {
    TemporaryFolder tmp;
    { std::ofstream((tmp / "text.wav").string()) << "this is not audio, only some words in a text file\n"; }
    { std::ofstream((tmp / "empty.wav").string()); }
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=black:s=16x16:d=0.2 -c:v mjpeg " +
                           (tmp / "video.mkv").string() + " 2>&1").c_str()), 0);

    EXPECT_EQ(openKind((tmp / "missing.wav").string()), AudioError::Kind::fileNotFound);
    EXPECT_EQ(openKind((tmp / "text.wav").string()), AudioError::Kind::openFailed);
    EXPECT_EQ(openKind((tmp / "empty.wav").string()), AudioError::Kind::openFailed);
    EXPECT_EQ(openKind((tmp / "video.mkv").string()), AudioError::Kind::noAudioStream);
}

TEST(AudioFile, TruncatedFileYieldsWhatIsThere) {
    TemporaryFolder tmp;
    writeWav16((tmp / "full.wav").string(), ramp(32000, 1), 16000, 1);
    std::filesystem::resize_file((tmp / "full.wav").string(), 44 + 16000 * 2);
    AudioFile file((tmp / "full.wav").string());
    PcmBuffer buffer(file.processingFormat(), 40000);
    EXPECT_EQ(file.read(buffer, 40000), 16000);
}
