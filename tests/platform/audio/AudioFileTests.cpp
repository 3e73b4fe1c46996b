#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>

#include "platform/audio/AudioError.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/fake/WavWriter.hpp"
#include "platform/log/SystemLog.hpp"
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

namespace {

// Captures the warnings of the system log while alive.
class WarningCapture {
public:
    WarningCapture() {
        platform::SystemLog::setSink([this](platform::LogLevel level, const std::string&, const std::string&,
                                            const std::string& message) {
            if (level == platform::LogLevel::warning) lines.push_back(message);
        });
    }
    ~WarningCapture() { platform::SystemLog::setSink(nullptr); }
    std::vector<std::string> lines;
};

}  // namespace

TEST(AudioFile, TruncatedWavYieldsWhatIsThereWithOneWarning) {
    TemporaryFolder tmp;
    const auto samples = ramp(32000, 1);  // 2 s at 16 kHz
    struct Case {
        const char* name;
        uintmax_t cutTo;       // file size after the cut (the header is 44 bytes)
        int64_t frames;        // whole frames left
        const char* decoded;
    };
    const Case cases[] = {
        {"half", 44 + 16000 * 4, 16000, "1.0"},
        {"inside a frame", 44 + 8000 * 4 + 2, 8000, "0.5"},
        {"no samples", 44, 0, "0.0"},
    };
    for (const auto& c : cases) {
        const auto path = (tmp / (std::string(c.name) + ".wav")).string();
        writeWavFloat(path, samples, 16000, 1);
        std::filesystem::resize_file(path, c.cutTo);
        WarningCapture log;
        AudioFile file(path);
        PcmBuffer buffer(file.processingFormat(), 40000);
        int64_t total = 0;
        std::vector<float> got;
        for (int64_t n; (n = file.read(buffer, 5000)) > 0; total += n) got.insert(got.end(), buffer.channel(0), buffer.channel(0) + n);
        EXPECT_EQ(total, c.frames) << c.name;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), samples.begin())) << c.name;
        EXPECT_EQ(file.read(buffer, 5000), 0) << c.name;
        ASSERT_EQ(log.lines.size(), 1u) << c.name;
        EXPECT_EQ(log.lines[0], path + " ends before its header says: 2.0 s declared, " + c.decoded + " s decoded");
    }
}

TEST(AudioFile, WholeOrStreamedWavGivesNoWarning) {
    TemporaryFolder tmp;
    const auto samples = ramp(8000, 2);
    writeWavFloat((tmp / "whole.wav").string(), samples, 16000, 2);
    // A writer that streams leaves the data size open.
    writeWavFloat((tmp / "streamed.wav").string(), samples, 16000, 2);
    {
        std::fstream f((tmp / "streamed.wav").string(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(40);
        const uint32_t open = 0xFFFFFFFFu;
        f.write(reinterpret_cast<const char*>(&open), 4);
    }
    for (const char* name : {"whole.wav", "streamed.wav"}) {
        WarningCapture log;
        AudioFile file((tmp / name).string());
        PcmBuffer buffer(file.processingFormat(), 10000);
        EXPECT_EQ(file.read(buffer, 10000), 8000) << name;
        EXPECT_EQ(file.read(buffer, 10000), 0) << name;
        EXPECT_TRUE(log.lines.empty()) << name << ": " << (log.lines.empty() ? "" : log.lines[0]);
    }
}

TEST(AudioFile, ALengthOnlyEstimatedFromTheBitrateIsCounted) {
    // MP3s without a frame-count header: their length is guessed from the
    // first frames' bitrate, too long when the file starts quiet and too
    // short when it starts loud.
    TemporaryFolder tmp;
    struct Case {
        const char* name;
        const char* filter;
    };
    const Case cases[] = {
        {"quiet-first.mp3", "[1]atrim=0:6[q];[q][0]concat=n=2:v=0:a=1"},
        {"loud-first.mp3", "[1]atrim=0:6[q];[0][q]concat=n=2:v=0:a=1"},
    };
    for (const auto& c : cases) {
        const auto path = (tmp / c.name).string();
        const std::string cmd = std::string("ffmpeg -v error -y -f lavfi -i anoisesrc=d=6:c=pink:r=44100:a=0.5 ") +
                                "-f lavfi -i anullsrc=r=44100:cl=mono -filter_complex '" + c.filter +
                                "' -c:a libmp3lame -q:a 6 -write_xing 0 " + path + " 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        AudioFile file(path);
        PcmBuffer buffer(file.processingFormat(), 44100);
        int64_t decoded = 0;
        for (int64_t n; (n = file.read(buffer, 44100)) > 0;) decoded += n;
        EXPECT_EQ(file.length(), decoded) << c.name;
        EXPECT_NEAR(static_cast<double>(decoded) / 44100.0, 12.0, 0.1) << c.name;
    }
}
