#include <gtest/gtest.h>

#include "DecodingTestSupport.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;

namespace {

DecodingResult resultOf(std::vector<int64_t> tokens) {
    DecodingResult result;
    for (int64_t token : tokens) result.tokenLogProbs.push_back({{token, -0.25f}});
    result.tokens = std::move(tokens);
    result.avgLogProb = -0.25f;
    result.temperature = 0.2f;
    result.compressionRatio = 1.5f;
    return result;
}

struct Span {
    float start, end;
    size_t tokens;
    bool operator==(const Span&) const = default;
};

std::vector<Span> spans(const std::vector<TranscriptionSegment>& segments) {
    std::vector<Span> list;
    for (const auto& s : segments) list.push_back({s.start, s.end, s.tokens.size()});
    return list;
}

}  // namespace

TEST(SegmentSeeker, CutsAtTimestampPairsAndFindsTheNextSeek) {
    const int64_t eot = special().endToken, a = hola(), b = mundo(), c = dot();
    const auto ts = [](double s) { return timestamp(s); };
    struct Case {
        const char* name;
        std::vector<int64_t> tokens;
        std::vector<Span> segments;  // relative to the window start (10 s)
        int64_t advance;             // next seek minus the window start
    };
    const int64_t size = 400000;
    const std::vector<Case> cases{
        {"no timestamps: one segment for the window", {a, b, eot}, {{0, 25, 3}}, size},
        {"start and end timestamps but no pair", {ts(0), a, ts(2.4), eot}, {{0, 2.4f, 4}}, size},
        {"a pair, ending on one timestamp", {ts(0), a, ts(1), ts(1), b, ts(2), eot}, {{0, 1, 3}, {1, 2, 3}}, 32000},
        {"a pair, ending in text", {ts(0), a, ts(1), ts(1), b, c, eot}, {{0, 1, 3}, {1, 1, 4}}, size},
        {"ending in a pair", {ts(0), a, ts(1), ts(1), b, ts(2), ts(2), eot}, {{0, 1, 3}, {1, 2, 3}}, 32000},
        {"a short stop: 0.1 s is 1599 samples in float", {ts(0), a, ts(0.1), ts(0.1), b, ts(0.1), eot},
         {{0, 0.1f, 3}, {0.1f, 0.1f, 3}}, 1599},
        {"the end of the window", {ts(0), a, ts(29.98), ts(29.98), b, ts(30), eot},
         {{0, 29.98f, 3}, {29.98f, 30, 3}}, 480000},
    };
    SegmentSeeker seeker;
    for (const auto& c : cases) {
        const auto [seek, segments] = seeker.findSeekPointAndSegments(resultOf(c.tokens), roadOptions(), 7, 160000, size,
                                                                    16000, special().timeTokenBegin,
                                                                    special().specialTokenBegin, *tokenizer());
        EXPECT_EQ(seek - 160000, c.advance) << c.name;
        ASSERT_TRUE(segments) << c.name;
        std::vector<Span> relative;
        for (auto span : spans(*segments)) relative.push_back({span.start - 10, span.end - 10, span.tokens});
        ASSERT_EQ(relative.size(), c.segments.size()) << c.name;
        for (size_t i = 0; i < relative.size(); ++i) {
            EXPECT_NEAR(relative[i].start, c.segments[i].start, 1e-4) << c.name << " " << i;
            EXPECT_NEAR(relative[i].end, c.segments[i].end, 1e-4) << c.name << " " << i;
            EXPECT_EQ(relative[i].tokens, c.segments[i].tokens) << c.name << " " << i;
            EXPECT_EQ((*segments)[i].id, 7 + static_cast<int64_t>(i));
            EXPECT_EQ((*segments)[i].seek, 160000);
            EXPECT_EQ((*segments)[i].temperature, 0.2f);
            EXPECT_EQ((*segments)[i].avgLogprob, -0.25f);
            EXPECT_EQ((*segments)[i].compressionRatio, 1.5f);
            EXPECT_FALSE((*segments)[i].words.has_value());
        }
    }
}

TEST(SegmentSeeker, SpecialTokensInTextOnlyWhenAskedAndSilenceSkipsTheWindow) {
    SegmentSeeker seeker;
    const auto result = resultOf({timestamp(0), hola(), timestamp(1), special().endToken});
    auto options = roadOptions();
    const auto find = [&](const DecodingResult& r) {
        return seeker.findSeekPointAndSegments(r, options, 0, 0, 480000, 16000, special().timeTokenBegin,
                                               special().specialTokenBegin, *tokenizer());
    };
    EXPECT_EQ(find(result).second->at(0).text, " Hola");
    EXPECT_EQ(find(result).second->at(0).tokens.size(), 4u);
    options.skipSpecialTokens = false;
    EXPECT_EQ(find(result).second->at(0).text, "<|0.00|> Hola<|1.00|><|endoftext|>");

    // Silence is skipped (no list at all) unless the text is likely enough.
    auto silent = result;
    silent.noSpeechProb = 0.9f;
    silent.avgLogProb = -2.0f;
    const auto skipped = find(silent);
    EXPECT_EQ(skipped.first, 480000);
    EXPECT_FALSE(skipped.second.has_value());
    silent.avgLogProb = -0.5f;
    EXPECT_TRUE(find(silent).second.has_value());
}

TEST(SegmentSeeker, ResultsBreakingItsPreconditionsDoNotCrashIt) {
    SegmentSeeker seeker;
    // Fewer log-probabilities than tokens: the rest get empty maps.
    auto result = resultOf({timestamp(0), hola(), timestamp(1), timestamp(1), mundo(), timestamp(2), special().endToken});
    result.tokenLogProbs.resize(2);
    const auto [seek, segments] = seeker.findSeekPointAndSegments(result, roadOptions(), 0, 0, 480000, 16000,
                                                                  special().timeTokenBegin,
                                                                  special().specialTokenBegin, *tokenizer());
    ASSERT_EQ(segments->size(), 2u);
    EXPECT_EQ(segments->at(1).tokenLogProbs.size(), 3u);
    EXPECT_TRUE(segments->at(1).tokenLogProbs[0].empty());
    EXPECT_EQ(seek, 32000);
}
