#include <gtest/gtest.h>

#include <thread>

#include "DovuzudUza/Core/JsonCoding.hpp"
#include "DovuzudUza/Core/TranscriptionResult.hpp"
#include "LogCapture.hpp"
#include "tests/support/SpanishNumbers.hpp"

using namespace DovuzudUza;
using nlohmann::json;

namespace {

WordTiming word(const std::string& text, float start) { return {text, {1, 2}, start, start + 0.5f, 0.75f}; }

TranscriptionSegment segment(int64_t id, std::optional<std::vector<WordTiming>> words = std::nullopt) {
    TranscriptionSegment s;
    s.id = id;
    s.seek = 480000;
    s.start = 1.5f;
    s.end = 4.0f;
    s.text = " Hola mundo";
    s.tokens = {50364, 1, 2};
    s.tokenLogProbs = {{{50364, -0.25f}}, {{1, -0.5f}}, {{2, -1.125f}}};
    s.temperature = 0.2f;
    s.avgLogprob = -0.3f;
    s.compressionRatio = 1.4f;
    s.noSpeechProb = 0.01f;
    s.words = std::move(words);
    return s;
}

}  // namespace

TEST(TranscriptionSegment, JsonFormAndDuration) {
    auto s = segment(3);
    EXPECT_FLOAT_EQ(s.duration(), 2.5f);
    nlohmann::ordered_json written = s;
    EXPECT_EQ(written["tokenLogProbs"][0].dump(), R"({"50364":-0.25})");
    EXPECT_FALSE(written.contains("words"));
    EXPECT_EQ(written.dump().rfind(R"({"id":3,"seek":480000,"start":1.5,"end":4.0,"text":" Hola mundo")", 0), 0u);

    json noWords = json::parse(written.dump());
    EXPECT_EQ(transcriptionSegmentFromJson(noWords), s);
    for (const char* key : {"id", "seek", "start", "end", "text", "tokens", "tokenLogProbs", "temperature",
                            "avgLogprob", "compressionRatio", "noSpeechProb"}) {
        json j = noWords;
        j.erase(key);
        EXPECT_THROW(transcriptionSegmentFromJson(j), JsonDecodingError) << key;
    }
    json badKey = noWords;
    badKey["tokenLogProbs"][0] = json::parse(R"({"x1":-0.25})");
    EXPECT_THROW(transcriptionSegmentFromJson(badKey), JsonDecodingError);
    EXPECT_EQ(std::hash<TranscriptionSegment>{}(s), std::hash<TranscriptionSegment>{}(segment(3)));
}

TEST(TranscriptionSegment, JsonNumbersKeepTheirPointUnderADecimalCommaLocale) {
    parlox::testing::SpanishNumbers spanish;
    ASSERT_TRUE(spanish.cLocale());
    nlohmann::ordered_json written = segment(3);
    EXPECT_EQ(written["temperature"].dump(), "0.2");
    EXPECT_EQ(written["avgLogprob"].dump(), "-0.3");
    EXPECT_EQ(written["start"].dump(), "1.5");
    EXPECT_EQ(written["tokenLogProbs"][2].dump(), R"({"2":-1.125})");
}

TEST(TranscriptionResult, RecordsRoundTripThroughJson) {
    std::vector<TranscriptionResultStruct> table{
        {},
        {" Hola mundo", {segment(0)}, "es", TranscriptionTimings::make({.fullPipeline = 1.25}), std::nullopt},
        {"a b c", {segment(0, std::vector<WordTiming>{word("a", 0), word("b", 1)}), segment(1, std::vector<WordTiming>{})},
         "en", {}, 30.0f},
    };
    for (const auto& value : table) {
        nlohmann::ordered_json structJson = value;
        SCOPED_TRACE(structJson.dump());
        EXPECT_EQ(transcriptionResultStructFromJson(json::parse(structJson.dump())), value);

        TranscriptionResult object(value.text, value.segments, value.language, value.timings, value.seekTime);
        auto objectJson = object.toJson();
        EXPECT_TRUE(objectJson.contains("seekTime"));
        auto reread = TranscriptionResult::fromJson(json::parse(objectJson.dump()));
        EXPECT_EQ(reread->text(), value.text);
        EXPECT_EQ(reread->segments(), value.segments);
        EXPECT_EQ(reread->language(), value.language);
        EXPECT_EQ(reread->timings(), value.timings);
        EXPECT_EQ(reread->seekTime(), value.seekTime);
    }
}

TEST(TranscriptionResult, SeekTimeNullVersusOmitted) {
    TranscriptionResult object("x", {}, "en", {}, std::nullopt);
    auto objectJson = object.toJson();
    ASSERT_TRUE(objectJson.contains("seekTime"));
    EXPECT_TRUE(objectJson["seekTime"].is_null());

    nlohmann::ordered_json structJson = TranscriptionResultStruct{"x", {}, "en", {}, std::nullopt};
    EXPECT_FALSE(structJson.contains("seekTime"));

    json withoutKey = json::parse(structJson.dump());
    EXPECT_NO_THROW(transcriptionResultStructFromJson(withoutKey));
    EXPECT_THROW(TranscriptionResult::fromJson(withoutKey), JsonDecodingError);
    json withoutText = json::parse(objectJson.dump());
    withoutText.erase("text");
    EXPECT_THROW(TranscriptionResult::fromJson(withoutText), JsonDecodingError);
}

TEST(TranscriptionResult, AllWordsSkipsSegmentsWithoutWords) {
    TranscriptionResult result("", {segment(0, std::vector<WordTiming>{word("a", 0), word("b", 1)}), segment(1),
                                    segment(2, std::vector<WordTiming>{word("c", 2)})});
    std::vector<std::string> words;
    for (const auto& w : result.allWords()) words.push_back(w.word);
    EXPECT_EQ(words, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(TranscriptionResult().allWords().empty());
}

TEST(TranscriptionResult, LogsSegmentsByPositionAndTimings) {
    test_support::LogCapture log;
    TranscriptionResult result("", {segment(7), segment(9)});
    result.logSegments();
    auto texts = log.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "[Segment 0] [1.50 --> 4.00]  Hola mundo");
    EXPECT_EQ(texts[1].rfind("[Segment 1] ", 0), 0u);

    test_support::LogCapture infoOnly(ZezeziCore::Logging::LogLevel::info);
    result.logSegments();
    result.logTimings();
    auto lines = infoOnly.texts();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Total Tokens:                  6\n"), std::string::npos);
}

TEST(TranscriptionResult, ConcurrentChangesAreNotLost) {
    auto result = std::make_shared<TranscriptionResult>();
    constexpr int kThreads = 8;
    constexpr int kEach = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                result->modifySegments([&](auto& list) { list.push_back(segment(t * kEach + i)); });
                result->modifyTimings([](auto& timings) { timings.totalDecodingLoops += 1; });
                result->modifyText([](auto& text) { text += "x"; });
                if (i % 100 == 0) (void)result->toJson().size();
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(result->segments().size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(result->timings().totalDecodingLoops, kThreads * kEach);
    EXPECT_EQ(result->text().size(), static_cast<size_t>(kThreads * kEach));
}

TEST(TranscriptionState, DisplayTexts) {
    EXPECT_EQ(description(TranscriptionState::convertingAudio), "Converting Audio");
    EXPECT_EQ(description(TranscriptionState::transcribing), "Transcribing");
    EXPECT_EQ(description(TranscriptionState::finished), "Finished");
}
