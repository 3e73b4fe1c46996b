#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <atomic>
#include <mutex>
#include <thread>

#include "platform/audio/AudioSystem.hpp"
#include "platform/audio/CanberraSystemSounds.hpp"
#include "platform/audio/Resampler.hpp"
#include "tests/desktop/DesktopSession.hpp"

using namespace platform::audio;
using parlox::testing::eventually;
using parlox::testing::Microphone;

namespace {

std::string command(const char* line) {
    std::string out;
    if (FILE* pipe = ::popen(line, "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

TEST(Sounds, CuePlaysItsThemeSoundAtItsVolumeAndStops) {
    ASSERT_TRUE(parlox::testing::theSoundServerRuns());
    CanberraSystemSounds sounds;
    auto failure = sounds.named("Funk");
    ASSERT_TRUE(failure);
    failure->setVolume(0.5f);
    failure->play();
    std::string playing;
    ASSERT_TRUE(eventually([&] {
        playing = command("pactl list sink-inputs");
        return playing.find("event.id = \"dialog-error\"") != std::string::npos;
    }));
    EXPECT_NE(playing.find("-6.02 dB"), std::string::npos) << playing;
    EXPECT_NE(playing.find("application.name = \"Parlox\""), std::string::npos);
    failure->stop();
    EXPECT_TRUE(eventually([&] { return command("pactl list short sink-inputs").empty(); }));
    EXPECT_EQ(sounds.named("Basso"), nullptr);
}

TEST(Microphone, RecordsOneSecondInTheSourceFormatAndResamplesTo16kMono) {
    ASSERT_TRUE(parlox::testing::theSoundServerRuns());
    auto system = makePulseAudioSystem();
    EXPECT_EQ(system->recordPermission(), RecordPermission::granted);
    auto engine = system->makeCaptureEngine();
    const AudioFormat format = engine->inputFormat();
    ASSERT_EQ(format, (AudioFormat{48000, 2}));

    std::mutex mutex;
    std::vector<float> left, right;
    engine->installTap(4096, [&](PcmBuffer& buffer) {
        std::lock_guard lock(mutex);
        left.insert(left.end(), buffer.channel(0), buffer.channel(0) + buffer.frameLength());
        right.insert(right.end(), buffer.channel(1), buffer.channel(1) + buffer.frameLength());
    });
    engine->start();
    Microphone microphone;
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return left.size() >= 48000;
    }));
    engine->removeTap();
    engine->stop();

    std::lock_guard lock(mutex);
    left.resize(48000);
    right.resize(48000);
    double leftEnergy = 0, rightEnergy = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        leftEnergy += left[i] * left[i];
        rightEnergy += right[i] * right[i];
    }
    EXPECT_NEAR(std::sqrt(leftEnergy / static_cast<double>(left.size())), 0.5 / std::sqrt(2.0), 0.03);
    EXPECT_LT(rightEnergy, 1e-6);

    PcmBuffer mono(AudioFormat{48000, 1}, static_cast<int64_t>(left.size()));
    std::copy(left.begin(), left.end(), mono.channel(0));
    mono.setFrameLength(static_cast<int64_t>(left.size()));
    const auto resampled = Resampler::convert(mono, AudioFormat{16000, 1});
    EXPECT_NEAR(static_cast<double>(resampled.frameLength()), left.size() / 3.0, 64);
}

TEST(Microphone, StopsAtOnceWhenTheSourceDeliversNothing) {
    ASSERT_TRUE(parlox::testing::theSoundServerRuns());
    auto engine = makePulseAudioSystem()->makeCaptureEngine();
    int buffers = 0;
    engine->installTap(4096, [&](PcmBuffer&) { ++buffers; });
    engine->start();
    const auto before = std::chrono::steady_clock::now();
    engine->stop();
    // A stop that waited for data would never return; the bound only names
    // that failure instead of leaving it to the test's time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(buffers, 0);
}

TEST(Microphone, NoSoundServerMeansNoPermissionAndNoInput) {
    ::setenv("PULSE_SERVER", "unix:/nonexistent/pulse", 1);
    auto system = makePulseAudioSystem();
    EXPECT_EQ(system->recordPermission(), RecordPermission::denied);
    EXPECT_EQ(system->makeCaptureEngine()->inputFormat().channelCount, 0u);
    ::unsetenv("PULSE_SERVER");
}

}  // namespace
