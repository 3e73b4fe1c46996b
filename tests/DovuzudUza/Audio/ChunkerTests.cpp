#include <gtest/gtest.h>

#include <atomic>

#include "AudioTestSupport.hpp"
#include "DovuzudUza/Core/Audio/VADAudioChunker.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"

using namespace DovuzudUza;
using audio_test::LogCapture;

namespace {

struct CountingVAD : EnergyVAD {
    mutable std::atomic<int> calls{0};
    std::vector<bool> voiceActivity(std::span<const float> waveform) const override {
        ++calls;
        return EnergyVAD::voiceActivity(waveform);
    }
};

std::vector<std::pair<int64_t, int64_t>> spans(const std::vector<AudioChunk>& chunks) {
    std::vector<std::pair<int64_t, int64_t>> out;
    for (const auto& c : chunks) out.emplace_back(c.seekOffsetIndex, c.seekOffsetIndex + static_cast<int64_t>(c.audioSamples.size()));
    return out;
}

DecodingOptions withClips(std::vector<float> clips) {
    DecodingOptions options;
    options.clipTimestamps = std::move(clips);
    return options;
}

}  // namespace

TEST(VADAudioChunker, ShortAudioIsOneChunkWithoutDetection) {
    auto vad = std::make_shared<CountingVAD>();
    VADAudioChunker chunker(16000, vad);
    const auto audio = audio_test::voiceWithSilences(2.0, {});
    for (int64_t m : {32000, 40000}) {
        const auto chunks = chunker.chunkAll(audio, m, std::nullopt);
        ASSERT_EQ(chunks.size(), 1u);
        EXPECT_EQ(chunks[0].seekOffsetIndex, 0);
        EXPECT_EQ(chunks[0].audioSamples, audio);
    }
    EXPECT_EQ(vad->calls, 0);
}

TEST(VADAudioChunker, CutsAtTheMiddleOfTheLongestSilence) {
    LogCapture log;
    VADAudioChunker chunker;
    const auto audio = audio_test::voiceWithSilences(31.25, {{25.0, 26.0}});
    const auto chunks = chunker.chunkAll(audio, 480000, std::nullopt);
    EXPECT_EQ(spans(chunks), (std::vector<std::pair<int64_t, int64_t>>{{0, 408000}, {408000, 500000}}));
    EXPECT_TRUE(audio_test::contains(log.texts(), "Found chunk from 0.00 to 25.50"));
    EXPECT_EQ(chunks[1].audioSamples.front(), audio[408000]);
}

TEST(VADAudioChunker, CutRulesAtTheEdges) {
    VADAudioChunker chunker;
    // Second half all voice: cut at the window's end.
    const auto voice = audio_test::voiceWithSilences(40.0, {});
    EXPECT_EQ(spans(chunker.chunkAll(voice, 480000, std::nullopt)),
              (std::vector<std::pair<int64_t, int64_t>>{{0, 480000}, {480000, 640000}}));
    // A remainder within the padding after the last cut is not chunked.
    const auto shortTail = audio_test::voiceWithSilences(30.5, {});
    EXPECT_EQ(spans(chunker.chunkAll(shortTail, 480000, std::nullopt)), (std::vector<std::pair<int64_t, int64_t>>{{0, 480000}}));
}

TEST(VADAudioChunker, ClipsBoundTheChunks) {
    VADAudioChunker chunker;
    const auto audio = audio_test::voiceWithSilences(40.0, {});
    // Chunks never cross a clip's end; each clip starts its own chunks.
    EXPECT_EQ(spans(chunker.chunkAll(audio, 160000, withClips({1.0f, 5.0f, 20.0f, 32.0f}))),
              (std::vector<std::pair<int64_t, int64_t>>{{16000, 80000}, {320000, 480000}, {480000, 512000}}));
    // A clip that reaches past the audio is cut at its last sample.
    EXPECT_EQ(spans(chunker.chunkAll(audio, 480000, withClips({35.0f, 90.0f}))),
              (std::vector<std::pair<int64_t, int64_t>>{{560000, 640000}}));
    // A clip that starts past the audio is refused.
    try {
        chunker.chunkAll(audio, 480000, withClips({50.0f, 90.0f}));
        ADD_FAILURE();
    } catch (const WhisperError& e) {
        EXPECT_EQ(e, WhisperError::audioProcessingFailed("startIndex is outside the buffer size"));
    }
    EXPECT_EQ(withClips({5.0f, 10.5f}).prepareSeekClips(1000), (std::vector<std::pair<int64_t, int64_t>>{{80000, 168000}}));
    EXPECT_EQ(withClips({1.5f}).prepareSeekClips(480000), (std::vector<std::pair<int64_t, int64_t>>{{24000, 480000}}));
    // Times far past any audio stay well-defined: the clip is cut at the
    // last sample, or refused when it starts there.
    const int64_t far = int64_t{1} << 62;
    EXPECT_EQ(withClips({1e30f, -1e30f}).prepareSeekClips(1000), (std::vector<std::pair<int64_t, int64_t>>{{far, -far}}));
    EXPECT_EQ(spans(chunker.chunkAll(audio, 480000, withClips({35.0f, 1e30f}))),
              (std::vector<std::pair<int64_t, int64_t>>{{560000, 640000}}));
    EXPECT_THROW(chunker.chunkAll(audio, 480000, withClips({50.0f, 1e30f})), WhisperError);
}

TEST(VADAudioChunker, ResultsMoveOntoTheWholeTimeline) {
    auto result = [](float start, float end) {
        TranscriptionSegment s;
        s.seek = 100;
        s.start = start;
        s.end = end;
        s.words = std::vector<WordTiming>{WordTiming{"hola", {1}, start, end, 0.9f}};
        return std::make_shared<TranscriptionResult>("t", std::vector<TranscriptionSegment>{s});
    };
    auto first = result(0.5f, 1.0f);
    auto third = result(1.0f, 2.0f);
    const std::vector<AudioChunk> chunks{{0, {}}, {16000, {}}, {32000, {}}};
    std::vector<ChunkTranscriptionResult> results{
        std::vector<std::shared_ptr<TranscriptionResult>>{first},
        std::make_exception_ptr(WhisperError::audioProcessingFailed("boom")),
        std::vector<std::shared_ptr<TranscriptionResult>>{third}};
    LogCapture log;
    const auto moved = updateSeekOffsetsForResults(results, chunks);
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_EQ(moved[0], first);
    EXPECT_EQ(moved[1], third);
    EXPECT_EQ(first->seekTime(), 0.0f);
    EXPECT_EQ(third->seekTime(), 2.0f);
    const auto seg = third->segments()[0];
    EXPECT_EQ(seg.seek, 32100);
    EXPECT_FLOAT_EQ(seg.start, 3.0f);
    EXPECT_FLOAT_EQ(seg.end, 4.0f);
    EXPECT_FLOAT_EQ((*seg.words)[0].start, 3.0f);
    EXPECT_TRUE(audio_test::contains(log.texts(), "Error transcribing chunk 1: boom"));
    EXPECT_TRUE(updateSeekOffsetsForResults({}, chunks).empty());
}

TEST(VADAudioChunker, SegmentsMoveByTheChunksOwnSampleOffset) {
    // Offsets whose time in seconds is not exact in single precision.
    for (const int64_t offset : {int64_t{251}, int64_t{16001}, int64_t{1234567}}) {
        TranscriptionSegment segment;
        segment.seek = 100;
        auto result = std::make_shared<TranscriptionResult>("t", std::vector<TranscriptionSegment>{segment});
        const std::vector<AudioChunk> chunks{{offset, {}}};
        const auto moved = updateSeekOffsetsForResults(
            {std::vector<std::shared_ptr<TranscriptionResult>>{result}}, chunks);
        ASSERT_EQ(moved.size(), 1u);
        EXPECT_EQ(moved[0]->segments()[0].seek, 100 + offset) << offset;
        EXPECT_EQ(*moved[0]->seekTime(), static_cast<float>(offset) / 16000.0f) << offset;
    }
}
