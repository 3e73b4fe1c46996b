#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

#include "TempFolder.hpp"
#include "platform/audio/AudioError.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/fake/WavWriter.hpp"

using namespace platform::audio;
using platform::audio::test::TempFolder;

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
    TempFolder tmp;
    const auto samples = ramp(5000, 2);
    writeWavFloat(tmp.file("a.wav"), samples, 22050, 2);

    AudioFile file(tmp.file("a.wav"));
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
    TempFolder tmp;
    const auto samples = ramp(200000, 1);
    writeWavFloat(tmp.file("s.wav"), samples, 16000, 1);
    AudioFile file(tmp.file("s.wav"));
    PcmBuffer buffer(file.processingFormat(), 10);
    for (int64_t at : {150000, 100, 100, 120000, 0, 199995}) {
        file.setFramePosition(at);
        const int64_t n = file.read(buffer, 10);
        ASSERT_EQ(n, std::min<int64_t>(10, 200000 - at)) << at;
        for (int64_t i = 0; i < n; ++i) EXPECT_EQ(buffer.channel(0)[i], samples[at + i]) << at;
    }
}

TEST(AudioFile, DecodesCompressedFormats) {
    TempFolder tmp;
    std::vector<float> tone(44100);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * std::sin(2 * std::numbers::pi * 440 * i / 44100.0);
    writeWav16(tmp.file("t.wav"), tone, 44100, 1);
    const std::string cmd = "ffmpeg -v error -y -i " + tmp.file("t.wav") + " " + tmp.file("t.flac") + " " +
                            tmp.file("t.ogg") + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const char* name : {"t.flac", "t.ogg"}) {
        AudioFile file(tmp.file(name));
        PcmBuffer buffer(file.processingFormat(), 100000);
        const int64_t n = file.read(buffer, 100000);
        EXPECT_NEAR(static_cast<double>(n) / file.sampleRate(), 1.0, 0.03) << name;
        float peak = 0;
        for (int64_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(buffer.channel(0)[i]));
        EXPECT_NEAR(peak, 0.5, 0.05) << name;
    }
}

TEST(AudioFile, BadFilesFailWithTheirKind) {
    TempFolder tmp;
    { std::ofstream(tmp.file("text.wav")) << "this is not audio, only some words in a text file\n"; }
    { std::ofstream(tmp.file("empty.wav")); }
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=black:s=16x16:d=0.2 -c:v mjpeg " +
                           tmp.file("video.mkv") + " 2>&1").c_str()), 0);

    EXPECT_EQ(openKind(tmp.file("missing.wav")), AudioError::Kind::fileNotFound);
    EXPECT_EQ(openKind(tmp.file("text.wav")), AudioError::Kind::openFailed);
    EXPECT_EQ(openKind(tmp.file("empty.wav")), AudioError::Kind::openFailed);
    EXPECT_EQ(openKind(tmp.file("video.mkv")), AudioError::Kind::noAudioStream);
}

TEST(AudioFile, TruncatedFileYieldsWhatIsThere) {
    TempFolder tmp;
    writeWav16(tmp.file("full.wav"), ramp(32000, 1), 16000, 1);
    std::filesystem::resize_file(tmp.file("full.wav"), 44 + 16000 * 2);
    AudioFile file(tmp.file("full.wav"));
    PcmBuffer buffer(file.processingFormat(), 40000);
    EXPECT_EQ(file.read(buffer, 40000), 16000);
}
