#include <gtest/gtest.h>

#include "DovuzudUza/Utilities/EngineExtensions.hpp"
#include "DovuzudUza/Utilities/TranscriptionUtilities.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "tests/DovuzudUza/SegmentTestSupport.hpp"

using namespace DovuzudUza;

namespace {

using test_support::texts;

TranscriptionSegment segment(int64_t id, float start, float end, std::string text = " x") {
    TranscriptionSegment s;
    s.id = id;
    s.seek = 100;
    s.start = start;
    s.end = end;
    s.text = std::move(text);
    s.words = std::vector<WordTiming>{{" x", {1}, start, end, 0.5f}};
    return s;
}

WordTiming word(std::string text) { return WordTiming{std::move(text), {1}, 0, 1, 1}; }

std::shared_ptr<TranscriptionResult> result(std::string text, std::vector<TranscriptionSegment> segments, std::string language,
                                            double start, double pipeline) {
    TranscriptionTimings timings;
    timings.pipelineStart = start;
    timings.firstTokenTime = start + 1;
    timings.fullPipeline = pipeline;
    timings.encoderLoadTime = pipeline;
    timings.totalDecodingWindows = 1;
    timings.encoderSpecializationTime = 3;
    return std::make_shared<TranscriptionResult>(std::move(text), std::move(segments), std::move(language), timings);
}

}  // namespace

TEST(TranscriptionUtilities, SegmentsMoveOntoALongerTimeline) {
    for (const auto& moved : {TranscriptionUtilities::updateSegmentTimings(segment(0, 1.0f, 2.0f), int64_t{480000}),
                              TranscriptionUtilities::updateSegmentTimings(segment(0, 1.0f, 2.0f), 30.0f)}) {
        EXPECT_EQ(moved.seek, 480100);
        EXPECT_FLOAT_EQ(moved.start, 31.0f);
        EXPECT_FLOAT_EQ(moved.end, 32.0f);
        EXPECT_FLOAT_EQ(moved.words->at(0).start, 31.0f);
        EXPECT_FLOAT_EQ(moved.words->at(0).end, 32.0f);
        EXPECT_EQ(moved.text, " x");
    }
    EXPECT_EQ(TranscriptionUtilities::formatSegments({segment(0, 0.0f, 2.4f, " hola")}, true),
              std::vector<std::string>{"[0.00 --> 2.40]  hola"});
    EXPECT_EQ(TranscriptionUtilities::formatSegments({segment(0, 0.0f, 2.4f, " hola")}), std::vector<std::string>{" hola"});
    EXPECT_TRUE(TranscriptionUtilities::formatSegments({}, true).empty());
}

TEST(TranscriptionUtilities, WordListsCompareByTheirNormalisedTexts) {
    const std::vector<WordTiming> first{word(" Hello,"), word(" world"), word(" again")};
    const std::vector<WordTiming> second{word(" hello"), word(" World."), word(" anew"), word(" more")};
    EXPECT_EQ(texts(TranscriptionUtilities::findLongestCommonPrefix(first, second)),
              (std::vector<std::string>{" hello", " World."}));
    EXPECT_EQ(texts(TranscriptionUtilities::findLongestDifferentSuffix(first, second)),
              (std::vector<std::string>{" anew", " more"}));
    EXPECT_EQ(texts(TranscriptionUtilities::findLongestCommonPrefix({word("well-known")}, {word("Well known")})),
              std::vector<std::string>{"Well known"});
    EXPECT_EQ(texts(TranscriptionUtilities::findLongestDifferentSuffix({word("a")}, {word("b"), word("c")})),
              (std::vector<std::string>{"b", "c"}));
}

TEST(TranscriptionUtilities, MergingRenumbersSegmentsAndCombinesTimings) {
    auto a = result("A", {segment(5, 0, 1), segment(6, 1, 2)}, "es", 100.0, 5.0);
    auto b = result("B", {segment(0, 30, 31)}, "fr", 110.0, 4.0);
    const auto merged = TranscriptionUtilities::mergeTranscriptionResults({a, nullptr, b});
    EXPECT_EQ(merged->text(), "A  B");
    const auto segments = merged->segments();
    ASSERT_EQ(segments.size(), 3u);
    for (int64_t i = 0; i < 3; ++i) EXPECT_EQ(segments[static_cast<size_t>(i)].id, i);
    EXPECT_FLOAT_EQ(segments[2].start, 30.0f);  // times are not moved
    EXPECT_EQ(merged->language(), "es");
    EXPECT_EQ(merged->seekTime(), std::nullopt);
    const auto t = merged->timings();
    EXPECT_EQ(t.pipelineStart, 100.0);
    EXPECT_EQ(t.firstTokenTime, 101.0);
    EXPECT_EQ(t.fullPipeline, 9.0);  // one after another: the sum, not the 14 s span
    EXPECT_EQ(t.encoderLoadTime, 5.0);  // the longest
    EXPECT_EQ(t.encoderSpecializationTime, 0.0);
    EXPECT_EQ(t.totalDecodingWindows, 2.0);
    EXPECT_EQ(t.inputAudioSeconds, 0.002);
    EXPECT_EQ(a->segments()[0].id, 5);  // the inputs are not changed

    // Side by side: the span.
    const auto parallel = TranscriptionUtilities::mergeTranscriptionResults(
        {result("A", {}, "es", 100.0, 5.0), result("B", {}, "es", 100.5, 5.0)});
    EXPECT_EQ(parallel->timings().fullPipeline, 5.5);

    // Confirmed words give the text; nothing at all gives an empty English result.
    const auto confirmed = TranscriptionUtilities::mergeTranscriptionResults({a}, std::vector<WordTiming>{word(" uno"), word(" dos")});
    EXPECT_EQ(confirmed->text(), " uno dos");
    const auto none = TranscriptionUtilities::mergeTranscriptionResults({nullptr, nullptr});
    EXPECT_EQ(none->text(), " ");
    EXPECT_TRUE(none->segments().empty());
    EXPECT_EQ(none->language(), "en");
    EXPECT_EQ(none->timings().pipelineStart, 0.0);
    EXPECT_EQ(none->timings().inputAudioSeconds, 0.0);
    EXPECT_EQ(none->timings().fullPipeline, 0.0);
}

TEST(EngineExtensions, NormalisedTextsSpecialCharactersAndSegments) {
    EXPECT_EQ(normalized("Well-Known,  Fact!"), "well known fact");
    EXPECT_EQ(normalized("  ¡Hola, Señor!\n"), "hola señor");
    EXPECT_EQ(normalized("a\t b"), "a\t b");  // only runs of spaces collapse
    EXPECT_EQ(Constants::trimmingSpecialTokenCharacters("<|endoftext|>"), "endoftext");
    EXPECT_EQ(Constants::trimmingSpecialTokenCharacters("<|a|b|>"), "a|b");
    std::vector<TranscriptionSegment> list{segment(0, 1.5f, 2.0f, " uno")};
    EXPECT_TRUE(contains(list, segment(9, 1.5f, 9.0f, " otro")));
    EXPECT_FALSE(contains(list, segment(0, 1.25f, 2.0f, " uno")));
}

TEST(EngineExtensions, OptionalArraysKeepTheSuccesses) {
    using Outcome = std::variant<std::vector<int>, std::exception_ptr>;
    const std::vector<Outcome> outcomes{std::vector<int>{1, 2}, std::make_exception_ptr(std::runtime_error("x")),
                                        std::vector<int>{}};
    const auto optional = toOptionalArrays(outcomes);
    ASSERT_EQ(optional.size(), 3u);
    EXPECT_EQ(optional[0], (std::vector<int>{1, 2}));
    EXPECT_FALSE(optional[1].has_value());
    EXPECT_EQ(optional[2], std::vector<int>{});
}

TEST(EngineExtensions, AppendingAudioRefusesWhatIsNotThereAndCutsToTheRoom) {
    using platform::audio::AudioFormat;
    using platform::audio::PcmBuffer;
    const AudioFormat stereo{16000, 2};
    PcmBuffer source(stereo, 150);
    source.setFrameLength(150);
    for (uint32_t c = 0; c < 2; ++c)
        for (int64_t i = 0; i < 150; ++i) source.channel(c)[i] = static_cast<float>(i) + 1000.0f * static_cast<float>(c);

    PcmBuffer target(stereo, 100);
    EXPECT_FALSE(appendContents(target, source, 100, 100));  // frames 100-200 of 150
    EXPECT_FALSE(appendContents(target, source, -1, 10));
    EXPECT_FALSE(appendContents(target, PcmBuffer({44100, 2}, 10), 0, 0));
    EXPECT_EQ(target.frameLength(), 0);

    target.setFrameLength(50);
    EXPECT_TRUE(appendContents(target, source, 10, 80));  // room for 50
    EXPECT_EQ(target.frameLength(), 100);
    EXPECT_EQ(target.channel(0)[50], 10.0f);
    EXPECT_EQ(target.channel(0)[99], 59.0f);
    EXPECT_EQ(target.channel(1)[99], 1059.0f);  // every channel
}
