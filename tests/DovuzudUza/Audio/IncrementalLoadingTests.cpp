#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "AudioTestSupport.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/audio/fake/WavWriter.hpp"

using namespace DovuzudUza;
using audio_test::TemporaryFolder;
using ChannelMode = AudioInputOptions::ChannelMode;

namespace {

template <class F>
std::string loadError(F&& f) {
    try {
        f();
    } catch (const WhisperError& e) {
        EXPECT_EQ(e.kind(), WhisperError::Kind::loadAudioFailed);
        return e.message();
    }
    return "no error";
}

// Waits until `condition` holds (the producer runs on its own thread).
template <class F>
bool eventually(F&& condition) {
    // Generous: the producer may be slow to run on a busy machine.
    for (int i = 0; i < 5000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

}  // namespace

TEST(IncrementalLoading, ArgumentsAreCheckedInOrderBeforeTheFile) {
    const std::string missing = "/nonexistent/parlox/a.wav";
    const auto mode = ChannelMode::sumChannels();
    for (double d : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(loadError([&] { AudioProcessor::loadFileIncrementally(missing, mode, d, 0, 480000); }),
                  "Incremental chunk duration must be greater than 0");
    EXPECT_EQ(loadError([&] { AudioProcessor::loadFileIncrementally(missing, mode, 1e-3, 0, 480000); }),
              "Incremental chunk buffer size must be greater than 0");
    EXPECT_EQ(loadError([&] { AudioProcessor::loadFileIncrementally(missing, mode, 120, 2, 480000); }),
              "Audio file not found at path: " + missing);
}

TEST(IncrementalLoading, BoundedChunksWithAbsoluteOffsets) {
    TemporaryFolder tmp;
    // 8 s of voice with silences at 1.5 s, 3.5 s and 5.5 s; windows of 2 s.
    const auto audio = audio_test::voiceWithSilences(8.0, {{1.5, 1.7}, {3.5, 3.7}, {5.5, 5.7}});
    platform::audio::writeWavFloat((tmp / "v.wav").string(), audio, 16000, 1);
    auto stream = AudioProcessor::loadFileIncrementally((tmp / "v.wav").string(), ChannelMode::sumChannels(), 1.0, 2, 32000);

    auto a = stream->next();
    auto b = stream->next();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->audioChunk.seekOffsetIndex, 0);
    EXPECT_EQ(b->audioChunk.seekOffsetIndex, static_cast<int64_t>(a->audioChunk.audioSamples.size()));
    // Two chunks out and none completed: the producer waits for a slot.
    ASSERT_TRUE(eventually([&] { return stream->controller()->waitingProducers() == 1; }));
    EXPECT_EQ(stream->controller()->activeChunks(), 2);

    a->completionSignal();
    auto c = stream->next();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->audioChunk.seekOffsetIndex, b->audioChunk.seekOffsetIndex + static_cast<int64_t>(b->audioChunk.audioSamples.size()));
    ASSERT_TRUE(eventually([&] { return stream->controller()->waitingProducers() == 1; }));

    // The chunks are the file's own samples at their offsets.
    for (const auto* chunk : {&a->audioChunk, &b->audioChunk, &c->audioChunk})
        EXPECT_TRUE(std::equal(chunk->audioSamples.begin(), chunk->audioSamples.end(), audio.begin() + chunk->seekOffsetIndex));

    // Extra completions never take the count below zero.
    for (int i = 0; i < 5; ++i) b->completionSignal();
    EXPECT_GE(stream->controller()->activeChunks(), 0);
    // Ending the stream while the producer waits is quiet.
    stream->cancel();
    EXPECT_FALSE(stream->next());
}

TEST(IncrementalLoading, ShortAndEmptyFiles) {
    TemporaryFolder tmp;
    const auto audio = audio_test::voiceWithSilences(3.0, {});
    platform::audio::writeWavFloat((tmp / "short.wav").string(), audio, 16000, 1);
    platform::audio::writeWavFloat((tmp / "empty.wav").string(), {}, 16000, 1);

    auto stream = AudioProcessor::loadFileIncrementally((tmp / "short.wav").string(), ChannelMode::sumChannels(), 0.5, 2, 480000);
    auto only = stream->next();
    ASSERT_TRUE(only);
    EXPECT_EQ(only->audioChunk.seekOffsetIndex, 0);
    EXPECT_EQ(only->audioChunk.audioSamples, audio);
    EXPECT_FALSE(stream->next());

    auto empty = AudioProcessor::loadFileIncrementally((tmp / "empty.wav").string(), ChannelMode::sumChannels(), 120, 2, 480000);
    EXPECT_FALSE(empty->next());
}

TEST(IncrementalLoading, WindowShorterThanThePaddingStillMakesProgress) {
    // A window of 0.5 s is shorter than the chunker's one-second padding: the
    // first pass alone makes no chunk, so the loader has to read on.
    TemporaryFolder tmp;
    const auto audio = audio_test::voiceWithSilences(4.0, {});
    platform::audio::writeWavFloat((tmp / "v.wav").string(), audio, 16000, 1);
    auto stream = AudioProcessor::loadFileIncrementally((tmp / "v.wav").string(), ChannelMode::sumChannels(), 0.5, 100, 8000);
    auto drained = std::async(std::launch::async, [&] {
        std::vector<AudioChunk> chunks;
        while (auto chunk = stream->next()) chunks.push_back(chunk->audioChunk);
        return chunks;
    });
    if (drained.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        stream->cancel();
        drained.wait();
        FAIL() << "the loader stopped making progress";
    }
    const auto chunks = drained.get();
    ASSERT_FALSE(chunks.empty());
    int64_t expected = 0;
    for (const auto& chunk : chunks) {
        EXPECT_EQ(chunk.seekOffsetIndex, expected);
        EXPECT_LE(static_cast<int64_t>(chunk.audioSamples.size()), 8000);
        EXPECT_TRUE(std::equal(chunk.audioSamples.begin(), chunk.audioSamples.end(), audio.begin() + chunk.seekOffsetIndex));
        expected += static_cast<int64_t>(chunk.audioSamples.size());
    }
    // Only the tail within the padding of the end is left out.
    EXPECT_GE(expected, static_cast<int64_t>(audio.size()) - 16000);
}

TEST(IncrementalLoading, UnreadableFileEndsTheStreamWithItsError) {
    TemporaryFolder tmp;
    { std::ofstream((tmp / "bad.wav").string()) << "not audio"; }
    audio_test::LogCapture log;
    auto stream = AudioProcessor::loadFileIncrementally((tmp / "bad.wav").string(), ChannelMode::sumChannels(), 120, 2, 480000);
    EXPECT_THROW(stream->next(), std::exception);
    ASSERT_TRUE(eventually([&] { return !log.texts().empty(); }));
    EXPECT_EQ(log.texts()[0].rfind("Error loading audio file incrementally: ", 0), 0u);
}

TEST(IncrementalLoading, StopsWhereTheAudioStopsNotWhereItsHeaderSays) {
    // Three seconds of audio under a header that announces an hour.
    TemporaryFolder tmp;
    const std::string path = (tmp / "lying.flac").string();
    platform::audio::writeWav16((tmp / "v.wav").string(), audio_test::voiceWithSilences(3.0, {}), 16000, 1);
    audio_test::writeFlacAnnouncing((tmp / "v.wav").string(), path, 16000 * 3600);
    const auto audio = AudioProcessor::loadAudioAsFloatArray((tmp / "v.wav").string(), ChannelMode::sumChannels());
    audio_test::LogCapture log;
    auto stream = AudioProcessor::loadFileIncrementally(path, ChannelMode::sumChannels(), 30, 2, 480000);
    std::vector<float> loaded;
    while (auto chunk = stream->next()) {
        EXPECT_EQ(chunk->audioChunk.seekOffsetIndex, static_cast<int64_t>(loaded.size()));
        loaded.insert(loaded.end(), chunk->audioChunk.audioSamples.begin(), chunk->audioChunk.audioSamples.end());
        chunk->completionSignal();
    }
    EXPECT_EQ(loaded, audio);
    int blocksRead = 0;
    for (const auto& line : log.texts()) blocksRead += line.rfind("Audio source details - ", 0) == 0;
    EXPECT_EQ(blocksRead, 1);
}
