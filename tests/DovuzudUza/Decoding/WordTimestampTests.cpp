#include <gtest/gtest.h>

#include "DecodingTestSupport.hpp"
#include "tests/DovuzudUza/SegmentTestSupport.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;

namespace {

using test_support::texts;

WordTiming word(std::string text, float start, float end, std::vector<int64_t> tokens = {1}, float probability = 0.5f) {
    return WordTiming{std::move(text), std::move(tokens), start, end, probability};
}

// Alignment rows over `frames` frames: row r is 1 on frames [from, to) of
// its span and -1 elsewhere (weights standardised per token look so), so
// the cheapest path is the one through the spans and no other.
std::shared_ptr<MultiArray> alignment(int64_t rows, int64_t frames, const std::vector<std::pair<int64_t, int64_t>>& spans) {
    auto matrix = MultiArray::make({rows, frames}, DataType::float16);
    matrix->fill(-1.0);
    for (size_t r = 0; r < spans.size(); ++r)
        for (int64_t f = spans[r].first; f < spans[r].second; ++f) matrix->setValue({static_cast<int64_t>(r), f}, 1.0);
    return matrix;
}

TranscriptionSegment segment(std::vector<int64_t> tokens, float start, float end, std::optional<size_t> withoutLogProb = {}) {
    TranscriptionSegment s;
    s.start = start;
    s.end = end;
    for (size_t i = 0; i < tokens.size(); ++i)
        s.tokenLogProbs.push_back(i == withoutLogProb ? std::map<int64_t, float>{{-5, -9.0f}}
                                                      : std::map<int64_t, float>{{tokens[i], -0.25f}});
    s.tokens = std::move(tokens);
    return s;
}

std::optional<std::vector<TranscriptionSegment>> timed(const std::vector<TranscriptionSegment>& segments,
                                                       const MultiArray& weights, int64_t seek = 480000) {
    SegmentSeeker seeker;
    return seeker.addWordTimestamps(segments, weights, *tokenizer(), seek, 480000,
                                    std::string(Constants::defaultPrependPunctuations),
                                    std::string(Constants::defaultAppendPunctuations),
                                    static_cast<float>(seek) / 16000.0f, roadOptions(), TranscriptionTimings{});
}

}  // namespace

TEST(WordTimestamps, HandMadeAlignmentRowsTimeTheWordsOfAWindow) {
    // Hola on frames 0-9, mundo on 10-24, "." from 25 on; rows past the
    // tokens (the rest of the cache) are not read.
    const auto weights = alignment(6, 40, {{0, 10}, {10, 25}, {25, 40}});
    const auto result = timed({segment({hola(), mundo(), dot()}, 30.0f, 31.0f)}, *weights);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->size(), 1u);
    const auto& s = result->front();
    ASSERT_TRUE(s.words);
    // "." joins the word before it and carries that word's timing.
    ASSERT_EQ(texts(*s.words), (std::vector<std::string>{" Hola", " mundo."}));
    EXPECT_EQ(s.words->at(0).tokens, std::vector<int64_t>{hola()});
    EXPECT_EQ(s.words->at(1).tokens, (std::vector<int64_t>{mundo(), dot()}));
    EXPECT_FLOAT_EQ(s.words->at(0).start, 30.0f);
    EXPECT_FLOAT_EQ(s.words->at(0).end, 30.2f);
    EXPECT_FLOAT_EQ(s.words->at(1).start, 30.2f);
    EXPECT_FLOAT_EQ(s.words->at(1).end, 30.5f);
    EXPECT_FLOAT_EQ(s.words->at(0).probability, 0.78f);  // exp(-0.25), two decimals
    // The segment now ends with its last word.
    EXPECT_FLOAT_EQ(s.start, 30.0f);
    EXPECT_FLOAT_EQ(s.end, 30.5f);

    // A token without its own log-probability counts as 0 and shifts nothing.
    const auto missing = timed({segment({hola(), mundo(), dot()}, 30.0f, 31.0f, 0)}, *weights);
    EXPECT_FLOAT_EQ(missing->front().words->at(0).probability, 1.0f);
    EXPECT_FLOAT_EQ(missing->front().words->at(1).probability, 0.78f);
}

TEST(WordTimestamps, WeightsThatDoNotCoverTheTokensAreRefused) {
    const auto segments = std::vector<TranscriptionSegment>{segment({hola(), mundo(), dot()}, 0, 1)};
    EXPECT_EQ(whisperError([&] { timed(segments, *alignment(2, 40, {})); }),
              WhisperError::segmentingFailed("Invalid shape in alignmentWeights"));
    EXPECT_EQ(whisperError([&] { timed(segments, *MultiArray::make({40}, DataType::float16)); }),
              WhisperError::segmentingFailed("Invalid shape in alignmentWeights"));
    SegmentSeeker seeker;
    EXPECT_EQ(whisperError([&] { seeker.dynamicTimeWarping(*MultiArray::make({2, 2, 2}, DataType::float16)); }),
              WhisperError::segmentingFailed("Invalid alignment matrix shape"));
}

TEST(WordTimestamps, OneWordOrNothingToAlignGivesNoWords) {
    const auto weights = alignment(4, 20, {{0, 20}});
    for (const auto& tokens : {std::vector<int64_t>{hola()}, std::vector<int64_t>{}}) {
        const auto result = timed({segment(tokens, 2.0f, 3.0f)}, *weights);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->front().words, std::vector<WordTiming>{}) << tokens.size();
        EXPECT_EQ(result->front().start, 2.0f);
        EXPECT_EQ(result->front().end, 3.0f);
    }
}

TEST(WordTimestamps, WarpingFollowsTheStrongestWeights) {
    SegmentSeeker seeker;
    const auto path = seeker.dynamicTimeWarping(*alignment(3, 5, {{0, 2}, {2, 3}, {3, 5}}));
    EXPECT_EQ(path.textIndices, (std::vector<int64_t>{0, 0, 1, 2, 2}));
    EXPECT_EQ(path.timeIndices, (std::vector<int64_t>{0, 1, 2, 3, 4}));
    // With weights of 0 outside the spans, a detour through them costs
    // nothing; on equal costs the path goes left first, so token 1 is
    // entered a frame early.
    auto flat = alignment(2, 3, {{0, 2}, {2, 3}});
    flat->setValue({0, 2}, 0);
    flat->setValue({1, 0}, 0);
    flat->setValue({1, 1}, 0);
    const auto detour = seeker.dynamicTimeWarping(*flat);
    EXPECT_EQ(detour.textIndices, (std::vector<int64_t>{0, 0, 1, 1}));
    EXPECT_EQ(detour.timeIndices, (std::vector<int64_t>{0, 1, 1, 2}));
    // Equal costs prefer going left, then up.
    EXPECT_EQ(seeker.minCostAndTrace(1, 1, 1, 0).trace, 2);
    EXPECT_EQ(seeker.minCostAndTrace(0, 1, 1, 0).trace, 0);
    EXPECT_EQ(seeker.minCostAndTrace(2, 1, 2, 0).trace, 1);
    EXPECT_EQ(seeker.minCostAndTrace(2, 1, 1, 0).trace, 2);
    EXPECT_EQ(seeker.minCostAndTrace(2, 1, 1, 0.5).cost, 0.5);
}

TEST(WordTimestamps, DurationsMedianIsCappedAndLongWordsAreClampedAtSentenceEnds) {
    SegmentSeeker seeker;
    struct Case {
        std::vector<float> durations;
        float median, max;
    };
    for (const auto& c : {Case{{0.2f, 0.4f, 0.6f, 1.0f}, 0.6f, 1.2f}, Case{{1.0f, 2.0f}, 0.7f, 1.4f}, Case{{0, -1}, 0, 0}}) {
        std::vector<WordTiming> words;
        for (float d : c.durations) words.push_back(word("w", 1.0f, 1.0f + d));
        const auto constraints = seeker.calculateWordDurationConstraints(words);
        EXPECT_FLOAT_EQ(constraints.median, c.median);
        EXPECT_FLOAT_EQ(constraints.max, c.max);
    }
    const auto clamped = seeker.truncateLongWordsAtSentenceBoundaries(
        {word(".", 0, 3), word("a", 3, 4), word(".", 4, 7), word("b", 7, 10), word("c", 10, 13)}, 1.2f);
    EXPECT_FLOAT_EQ(clamped[0].end, 3.0f);    // the first word is never clamped
    EXPECT_FLOAT_EQ(clamped[2].start, 4.0f);  // a long "." keeps its start...
    EXPECT_FLOAT_EQ(clamped[2].end, 5.2f);    // ...and ends max after it
    EXPECT_FLOAT_EQ(clamped[3].start, 8.8f);  // the word after a "." keeps its end
    EXPECT_FLOAT_EQ(clamped[3].end, 10.0f);
    EXPECT_FLOAT_EQ(clamped[4].start, 10.0f);  // nothing to do with sentence ends
}

TEST(WordTimestamps, PunctuationJoinsItsWord) {
    SegmentSeeker seeker;
    const std::string prepend(Constants::defaultPrependPunctuations), append(Constants::defaultAppendPunctuations);
    struct Case {
        const char* name;
        std::vector<WordTiming> words;
        std::vector<std::string> merged;
        float firstStart;
    };
    const std::vector<Case> cases{
        {"opening mark", {word(" (", 0, 1, {1}), word("hola", 1, 2, {2})}, {" (hola"}, 1},
        {"closing marks", {word(" Hola", 0, 1), word(",", 1, 2), word(".", 2, 3)}, {" Hola,."}, 0},
        {"after a space nothing joins and the mark goes", {word("hola ", 0, 1), word(",", 1, 2)}, {"hola "}, 0},
        {"words stay apart", {word(" Hola", 0, 1), word(" mundo", 1, 2)}, {" Hola", " mundo"}, 0},
        {"only a mark", {word(" (", 0, 1)}, {}, 0},
    };
    for (const auto& c : cases) {
        const auto merged = seeker.mergePunctuations(c.words, prepend, append);
        EXPECT_EQ(texts(merged), c.merged) << c.name;
        if (!merged.empty()) {
            EXPECT_EQ(merged[0].start, c.firstStart) << c.name;
        }
    }
    const auto opening = seeker.mergePunctuations({word(" (", 0, 1, {1}), word("hola", 1, 2, {2})}, prepend, append);
    EXPECT_EQ(opening[0].tokens, (std::vector<int64_t>{1, 2}));
}

TEST(WordTimestamps, WordsSpreadOverSegmentsWithAbsoluteTimes) {
    SegmentSeeker seeker;
    const auto segments = std::vector<TranscriptionSegment>{segment({hola()}, 30.0f, 30.5f),
                                                            segment({mundo(), special().endToken}, 30.5f, 31.0f)};
    const auto words = std::vector<WordTiming>{word(" Hola", 0.004f, 0.3f, {hola()}, 0.876f),
                                               word(" mundo", 0.3f, 0.9f, {mundo()}, 0.5f),
                                               word("<|endoftext|>", 0.9f, 1.0f, {special().endToken})};
    const auto updated = seeker.updateSegmentsWithWordTimings(segments, words, 480000, 30.0f, 0.5f, 1.0f, *tokenizer());
    ASSERT_EQ(updated.size(), 2u);
    ASSERT_EQ(updated[0].words->size(), 1u);
    EXPECT_FLOAT_EQ(updated[0].words->at(0).start, 30.0f);  // rounded to two decimals
    EXPECT_FLOAT_EQ(updated[0].words->at(0).probability, 0.88f);
    ASSERT_EQ(updated[1].words->size(), 1u);  // the end token is no word
    EXPECT_EQ(updated[1].words->at(0).word, " mundo");
    EXPECT_FLOAT_EQ(updated[1].words->at(0).end, 30.9f);
    EXPECT_FLOAT_EQ(updated[1].end, 30.9f);

    // A first word far after the last speech and too long starts max before its end.
    const auto late = seeker.updateSegmentsWithWordTimings({segment({hola()}, 40.0f, 45.0f)},
                                                           {word(" Hola", 2.0f, 5.0f, {hola()})}, 640000, 30.0f, 0.5f,
                                                           1.0f, *tokenizer());
    EXPECT_FLOAT_EQ(late[0].words->at(0).start, 44.0f);
    EXPECT_FLOAT_EQ(late[0].words->at(0).end, 45.0f);
}
