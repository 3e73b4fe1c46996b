#include <gtest/gtest.h>

#include "AudioTestSupport.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/Audio/VADAudioChunker.hpp"
#include "platform/audio/fake/WavWriter.hpp"

using namespace DovuzudUza;
using audio_test::TemporaryFolder;

// 75 s of 44.1 kHz stereo "speech" with one second of silence from 24.6 s,
// in WAV, FLAC and a lossy format: each loads to about 1,200,000 samples at
// 16 kHz, the chunker cuts inside the silence, and loading piece by piece
// gives the same chunks.
TEST(LongAudio, LoadsChunksAndStreamsTheSameInEveryFormat) {
    TemporaryFolder tmp;
    const double rate = 44100;
    const size_t frames = static_cast<size_t>(75 * rate);
    std::vector<float> interleaved(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = i / rate;
        const bool silent = t >= 24.6 && t < 25.6;
        // A voice-like signal: a tone whose loudness moves slowly.
        const float level = silent ? 0.0f : static_cast<float>(0.25 + 0.1 * std::sin(2 * std::numbers::pi * 0.7 * t));
        interleaved[2 * i] = level * static_cast<float>(std::sin(2 * std::numbers::pi * 220 * t));
        interleaved[2 * i + 1] = level * static_cast<float>(std::sin(2 * std::numbers::pi * 330 * t));
    }
    platform::audio::writeWav16((tmp / "talk.wav").string(), interleaved, 44100, 2);
    ASSERT_TRUE(audio_test::runQuiet("ffmpeg -v error -y -i " + (tmp / "talk.wav").string() + " " + (tmp / "talk.flac").string() +
                                     " -b:a 128k " + (tmp / "talk.mp3").string()));

    const auto mode = AudioInputOptions::ChannelMode::sumChannels();
    for (const char* name : {"talk.wav", "talk.flac", "talk.mp3"}) {
        SCOPED_TRACE(name);
        const auto samples = AudioProcessor::loadAudioAsFloatArray((tmp / name).string(), mode);
        EXPECT_NEAR(static_cast<double>(samples.size()), 1200000, 2000);

        VADAudioChunker chunker;
        const auto chunks = chunker.chunkAll(samples, 480000, std::nullopt);
        ASSERT_GE(chunks.size(), 2u);
        const double cut = chunks[1].seekOffsetIndex / 16000.0;
        EXPECT_GT(cut, 24.6);
        EXPECT_LT(cut, 25.6);
        for (const auto& chunk : chunks) EXPECT_LE(chunk.audioSamples.size(), 480000u);

        auto stream = AudioProcessor::loadFileIncrementally((tmp / name).string(), mode, 20.0, 2, 480000);
        std::vector<int64_t> streamed;
        std::vector<size_t> lengths;
        while (auto chunk = stream->next()) {
            streamed.push_back(chunk->audioChunk.seekOffsetIndex);
            lengths.push_back(chunk->audioChunk.audioSamples.size());
            chunk->completionSignal();
        }
        ASSERT_EQ(streamed.size(), chunks.size());
        for (size_t i = 0; i < chunks.size(); ++i) {
            EXPECT_EQ(streamed[i], chunks[i].seekOffsetIndex) << i;
            EXPECT_NEAR(static_cast<double>(lengths[i]), static_cast<double>(chunks[i].audioSamples.size()), 2) << i;
        }
    }
}
