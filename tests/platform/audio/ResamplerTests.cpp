#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/audio/AudioError.hpp"
#include "platform/audio/Resampler.hpp"

using namespace platform::audio;

namespace {

PcmBuffer sine(double rate, double hz, int64_t frames, uint32_t channels = 1) {
    PcmBuffer b(AudioFormat{rate, channels}, frames);
    for (uint32_t c = 0; c < channels; ++c)
        for (int64_t i = 0; i < frames; ++i) b.channel(c)[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / rate));
    b.setFrameLength(frames);
    return b;
}

// Frequency estimated from rising zero crossings.
double frequency(const PcmBuffer& b) {
    int crossings = 0;
    int64_t first = -1, last = -1;
    for (int64_t i = 1; i < b.frameLength(); ++i) {
        if (b.channel(0)[i - 1] < 0 && b.channel(0)[i] >= 0) {
            if (first < 0) first = i;
            last = i;
            ++crossings;
        }
    }
    return (crossings - 1) * b.sampleRate() / static_cast<double>(last - first);
}

}  // namespace

TEST(Resampler, ConvertsRateAndKeepsPitch) {
    const auto in = sine(44100, 440, 44100);
    const auto out = Resampler::convert(in, AudioFormat{16000, 1});
    EXPECT_EQ(out.sampleRate(), 16000);
    EXPECT_NEAR(out.frameLength(), 16000, 2);
    EXPECT_NEAR(frequency(out), 440, 1);
}

TEST(Resampler, StreamingJoinsBuffersWithoutSeams) {
    const auto in = sine(48000, 300, 48000);
    const auto whole = Resampler::convert(in, AudioFormat{16000, 1});

    Resampler stream(in.format(), AudioFormat{16000, 1});
    std::vector<float> pieces;
    for (int64_t at = 0; at < in.frameLength(); at += 4800) {
        PcmBuffer part(in.format(), 4800);
        part.append(in, at, 4800);
        const auto out = stream.process(part);
        pieces.insert(pieces.end(), out.channel(0), out.channel(0) + out.frameLength());
    }
    const auto tail = stream.flush();
    pieces.insert(pieces.end(), tail.channel(0), tail.channel(0) + tail.frameLength());

    ASSERT_EQ(static_cast<int64_t>(pieces.size()), whole.frameLength());
    for (size_t i = 0; i < pieces.size(); ++i) ASSERT_NEAR(pieces[i], whole.channel(0)[i], 1e-6) << i;
}

TEST(Resampler, SameFormatCopiesAndBadFormatsFail) {
    const auto in = sine(16000, 100, 1000);
    const auto out = Resampler::convert(in, in.format());
    ASSERT_EQ(out.frameLength(), 1000);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(out.channel(0)[i], in.channel(0)[i]);
    EXPECT_THROW(Resampler(AudioFormat{0, 1}, AudioFormat{16000, 1}), AudioError);
    EXPECT_THROW(Resampler(AudioFormat{44100.5, 1}, AudioFormat{16000, 1}), AudioError);
    EXPECT_THROW(Resampler(AudioFormat{44100, 0}, AudioFormat{16000, 1}), AudioError);
}
