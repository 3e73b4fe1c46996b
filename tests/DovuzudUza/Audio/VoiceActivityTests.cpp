#include <gtest/gtest.h>

#include <cmath>

#include "AudioTestSupport.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/Audio/VoiceActivityDetector.hpp"

using namespace DovuzudUza;
using Range = VoiceActivityDetector::Range;

TEST(EnergyVAD, FrameGridAndDecisions) {
    const EnergyVAD vad;
    EXPECT_EQ(vad.voiceActivity(std::vector<float>(16000, 0.5f)).size(), 10u);
    const auto flags = vad.voiceActivity(std::vector<float>(16001, 0.5f));
    ASSERT_EQ(flags.size(), 11u);
    EXPECT_TRUE(flags.back());  // the last frame holds one sample
    EXPECT_TRUE(vad.voiceActivity({}).empty());
    EXPECT_FLOAT_EQ(vad.voiceActivityIndexToSeconds(5), 0.5f);
    EXPECT_EQ(vad.voiceActivityIndexToAudioSampleIndex(5), 8000);

    // Energy equal to the threshold is silence.
    const EnergyVAD exact(16000, 100, 0, 0.25f);
    EXPECT_FALSE(exact.voiceActivity(std::vector<float>(100, 0.25f))[0]);
    EXPECT_TRUE(exact.voiceActivity(std::vector<float>(100, 0.2501f))[0]);

    // Overlap reaches into the next frame.
    std::vector<float> s(200, 0.0f);
    std::fill(s.begin() + 100, s.end(), 1.0f);
    EXPECT_FALSE(EnergyVAD(16000, 100, 0, 0.1f).voiceActivity(s)[0]);
    EXPECT_TRUE(EnergyVAD(16000, 100, 50, 0.1f).voiceActivity(s)[0]);

    const auto fromSeconds = EnergyVAD::withSeconds(16000, 0.1f, 0.05f, 0.02f);
    EXPECT_EQ(fromSeconds.frameLengthSamples(), 1600);
    EXPECT_EQ(fromSeconds.frameOverlapSamples(), 800);
    EXPECT_THROW(EnergyVAD(16000, 0), std::invalid_argument);
}

TEST(EnergyVAD, SpansAndSilences) {
    const EnergyVAD vad;
    const auto silent = std::vector<float>(16000, 0.0f);
    EXPECT_TRUE(vad.calculateActiveChunks(silent).empty());
    EXPECT_EQ(vad.findLongestSilence(vad.voiceActivity(silent)), (Range{0, 10}));

    const auto loud = std::vector<float>(16050, 0.5f);
    EXPECT_EQ(vad.calculateActiveChunks(loud), (std::vector<Range>{{0, 16050}}));
    EXPECT_FALSE(vad.findLongestSilence(vad.voiceActivity(loud)).has_value());
    EXPECT_FALSE(vad.findLongestSilence({}).has_value());

    // voice 0-0.3 s, silence 0.3-0.5 s, voice 0.5-0.6 s, silence 0.6-0.8 s, voice to 1 s.
    auto v = audio_test::voiceWithSilences(1.0, {{0.3, 0.5}, {0.6, 0.8}});
    EXPECT_EQ(vad.calculateActiveChunks(v), (std::vector<Range>{{0, 4800}, {8000, 9600}, {12800, 16000}}));
    EXPECT_EQ(vad.findLongestSilence(vad.voiceActivity(v)), (Range{3, 5}));  // the earlier of two equal runs
    EXPECT_EQ(AudioProcessor::calculateNonSilentChunks(v), vad.calculateActiveChunks(v));
    EXPECT_EQ(vad.calculateNonSilentSeekClips(v).size(), 3u);
}

TEST(AudioEnergy, RelativeEnergyOnTheDecibelScale) {
    struct Case {
        float rms;
        std::optional<float> reference;
        float expected;
    };
    for (const Case& c : std::vector<Case>{{0.001f, std::nullopt, 0.0f},
                                            {0.1f, std::nullopt, 2.0f / 3.0f},
                                            {1.0f, std::nullopt, 1.0f},
                                            {0.0f, std::nullopt, 0.0f},
                                            {0.1f, 0.1f, 0.0f},
                                            {0.1f, 0.001f, 2.0f / 3.0f},
                                            {0.5f, std::numeric_limits<float>::infinity(), 0.0f},
                                            {0.5f, 0.0f, 1.0f - std::log10(2.0f) * 20 / 160}}) {
        const std::vector<float> samples(100, c.rms);
        EXPECT_NEAR(AudioProcessor::calculateRelativeEnergy(samples, c.reference), c.expected, 1e-5)
            << c.rms << " ref " << c.reference.value_or(-1);
    }
    const auto e = AudioProcessor::calculateEnergy(std::vector<float>{0.5f, -1.0f, 0.25f});
    EXPECT_FLOAT_EQ(e.max, 1.0f);
    EXPECT_FLOAT_EQ(e.min, 0.25f);
    EXPECT_NEAR(e.avg, std::sqrt((0.25 + 1 + 0.0625) / 3), 1e-6);
}

TEST(AudioEnergy, VoiceDetectionLooksAtTheOlderOfTheNewestValues) {
    auto energies = [](size_t n, std::vector<size_t> loud) {
        std::vector<float> v(n, 0.0f);
        for (size_t i : loud) v[i] = 0.9f;
        return v;
    };
    struct Case {
        std::vector<float> energies;
        float seconds;
        bool voice;
    };
    const float nan = std::nanf("");
    for (const auto& c : std::vector<Case>{
             {energies(30, {29}), 2.0f, false},  // newest 10 of the last 20 are not looked at
             {energies(30, {19}), 2.0f, true},
             {energies(30, {9}), 2.0f, false},   // older than the last 20
             {energies(30, {10}), 3.0f, true},
             {energies(30, {20}), 3.0f, false},
             {energies(30, {29}), 0.5f, true},   // all of the last 5
             {energies(30, {24}), 0.5f, false},
             {{}, 1.0f, false},
             {{nan, nan}, 1.0f, false},
         }) {
        EXPECT_EQ(AudioProcessor::isVoiceDetected(c.energies, c.seconds, 0.3f), c.voice) << c.seconds;
    }
}
