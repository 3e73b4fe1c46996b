#include <gtest/gtest.h>

#include <cmath>

#include "DecodingTestSupport.hpp"
#include "DovuzudUza/Core/LogitsFilters.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;

namespace {

// Logits of a small vocabulary whose special ids sit as in the big one:
// ids 0..9 text, 10 end, 11 start, 12 transcribe, 13 translate, 14 no
// timestamps, 15.. timestamps.
SpecialTokens smallSpecial() {
    SpecialTokens s;
    s.whitespaceToken = 3;
    s.endToken = s.specialTokenBegin = 10;
    s.startOfTranscriptToken = 11;
    s.transcribeToken = 12;
    s.translateToken = 13;
    s.noTimestampsToken = 14;
    s.timeTokenBegin = 15;
    return s;
}
constexpr int64_t kVocabulary = 30;
constexpr int64_t T = 15;

std::shared_ptr<MultiArray> logits(float value = 0) {
    auto array = MultiArray::make({1, 1, kVocabulary}, DataType::float16);
    array->fill(value);
    return array;
}

// The forbidden (minus infinity) ids.
std::vector<int64_t> forbidden(const MultiArray& array) {
    std::vector<int64_t> ids;
    const auto values = array.toFloatVector();
    for (size_t i = 0; i < values.size(); ++i)
        if (std::isinf(values[i]) && values[i] < 0) ids.push_back(static_cast<int64_t>(i));
    return ids;
}

std::vector<int64_t> ids(int64_t from, int64_t to) {  // [from, to)
    std::vector<int64_t> list;
    for (int64_t i = from; i < to; ++i) list.push_back(i);
    return list;
}

// The ids of both lists, ascending, each once.
std::vector<int64_t> joined(std::vector<int64_t> a, const std::vector<int64_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    std::sort(a.begin(), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    return a;
}

}  // namespace

TEST(LogitsFilters, SuppressTokensForbidsItsListAtEveryStep) {
    LogCapture log;
    SuppressTokensFilter filter({-1, 5, 5, 99});
    EXPECT_EQ(countOf(log.texts(), "SuppressTokensFilter: ignoring negative ids"), 1u);
    for (const auto& history : {std::vector<int64_t>{}, std::vector<int64_t>{11, 12, 14, 2, 3}}) {
        auto array = logits();
        EXPECT_EQ(filter.filterLogits(array, history), array);  // the same array, changed in place
        EXPECT_EQ(forbidden(*array), std::vector<int64_t>{5});
    }
    EXPECT_EQ(filter.suppressTokenIndexes().size(), 4u);
}

TEST(LogitsFilters, SuppressBlankActsOnlyAtTheFirstSampledPosition) {
    SuppressBlankFilter filter(smallSpecial(), 4);
    for (const auto& [length, expected] : std::vector<std::pair<size_t, std::vector<int64_t>>>{
             {3, {}}, {4, {3, 10}}, {5, {}}}) {
        auto array = logits();
        filter.filterLogits(array, std::vector<int64_t>(length, 1));
        EXPECT_EQ(forbidden(*array), expected) << length;
    }
}

TEST(LogitsFilters, LanguageFilterLeavesOnlyLanguageTokens) {
    LanguageLogitsFilter filter({2, 7}, kVocabulary, 0);
    EXPECT_EQ(filter.nonLanguageTokenIndexes().size(), static_cast<size_t>(kVocabulary - 2));
    for (size_t length : {0u, 1u, 6u}) {
        auto array = logits();
        filter.filterLogits(array, std::vector<int64_t>(length, 11));
        std::vector<int64_t> expected = ids(0, kVocabulary);
        expected.erase(std::remove_if(expected.begin(), expected.end(), [](int64_t id) { return id == 2 || id == 7; }),
                       expected.end());
        EXPECT_EQ(forbidden(*array), expected) << length;
    }
    LanguageLogitsFilter later({2}, kVocabulary, 3);
    auto array = logits();
    later.filterLogits(array, {11, 2});
    EXPECT_TRUE(forbidden(*array).empty());
    EXPECT_TRUE(LanguageLogitsFilter({}, 0, 0).nonLanguageTokenIndexes().empty());
}

TEST(LogitsFilters, TimestampRulesKeepTimestampsWellFormed) {
    const auto s = smallSpecial();
    struct Case {
        const char* name;
        bool multilingual;
        int64_t sampleBegin;
        std::vector<int64_t> history;
        std::vector<int64_t> expected;
        std::map<int64_t, float> logits = {};  // otherwise every logit is 0
    };
    const std::vector<Case> cases{
        // Start 3 after [start, language, transcribe]: "no timestamps" goes;
        // with every logit 0 the 15 timestamps together outweigh any one
        // text id, so all text goes too.
        {"at the start", true, 0, {11, 2, 12}, joined({14}, ids(0, T))},
        {"text favoured at the start", true, 0, {11, 2, 12}, {14}, {{4, 8.0f}}},
        {"before the start", true, 4, {11, 2, 12}, {}},
        {"no task token in the first three", true, 0, {11, 2, 1, 12}, {}},
        {"English-only: sampleBegin is the start", false, 2, {11, 14}, {14}, {{4, 8.0f}}},
        {"two timestamps end it: no timestamp", true, 0, {11, 2, 12, T + 1, 4, T + 5, T + 5}, joined({14}, ids(T, kVocabulary)), {{4, 8.0f}}},
        // Ids below the end token go; the same timestamp may close the pair.
        {"text then one timestamp: a timestamp or the end", true, 0, {11, 2, 12, T + 1, 4, T + 5},
         joined({14}, joined(ids(0, 10), ids(T, T + 5))), {{10, 8.0f}}},
        // ... and when the timestamps then outweigh the rest, all text goes.
        {"text then one timestamp, timestamps likely", true, 0, {11, 2, 12, T + 1, 4, T + 5},
         joined(ids(0, T), ids(T, T + 5)), {{20, 8.0f}}},
        {"one sampled timestamp counts as a pair", true, 0, {11, 2, 12, T + 10}, joined({14}, ids(T, kVocabulary)), {{4, 8.0f}}},
        {"timestamps never go back", true, 0, {11, 2, 12, T + 10, 4}, joined({14}, ids(T, T + 11)), {{4, 8.0f}}},
        {"translate token counts too", true, 0, {11, 13}, {14}, {{4, 8.0f}}},
    };
    for (const auto& c : cases) {
        TimestampRulesFilter filter(s, c.sampleBegin, 50, c.multilingual);
        auto array = logits();
        for (const auto& [id, value] : c.logits) array->setFloatAt(id, value);
        filter.filterLogits(array, c.history);
        EXPECT_EQ(forbidden(*array), c.expected) << c.name;
    }
    TimestampRulesFilter multilingual(s, 0, std::nullopt, true);
    EXPECT_EQ(multilingual.sampleBegin(std::vector<int64_t>{11, 2, 12}), 3);
    EXPECT_EQ(multilingual.sampleBegin(std::vector<int64_t>{11, 12}), 2);
    EXPECT_EQ(TimestampRulesFilter(s, 5, std::nullopt, true).sampleBegin(std::vector<int64_t>{11, 12}), 5);
    EXPECT_EQ(multilingual.sampleBegin(std::vector<int64_t>{11, 2, 3, 12}), std::nullopt);
}

TEST(LogitsFilters, TimestampPreferenceComparesTheirSumWithTheBestText) {
    const auto s = smallSpecial();
    TimestampRulesFilter filter(s, 1, std::nullopt, false);
    // 15 timestamps at log(2/15) each have together the weight of one logit
    // log(2): a text logit just above that keeps text possible, just below
    // it forbids all text.
    for (const auto& [text, expectForbidden] : std::vector<std::pair<float, bool>>{{std::log(2.0f) + 0.05f, false},
                                                                                  {std::log(2.0f) - 0.05f, true}}) {
        auto array = logits(-30);
        for (int64_t id = T; id < kVocabulary; ++id) array->setFloatAt(id, std::log(2.0f / 15.0f));
        array->setFloatAt(4, text);
        filter.filterLogits(array, {11, 4});
        const auto f = forbidden(*array);
        EXPECT_EQ(std::find(f.begin(), f.end(), 4) != f.end(), expectForbidden) << text;
    }
}

TEST(LogitsFilters, AnArrayOfAnotherKindIsLeftAsItIs) {
    auto floats = MultiArray::make({1, 1, kVocabulary}, DataType::float32);
    TimestampRulesFilter(smallSpecial(), 0, std::nullopt, false).filterLogits(floats, {1, 2});
    SuppressTokensFilter({1}).filterLogits(floats, {});
    EXPECT_EQ(floats->toFloatVector(), std::vector<float>(kVocabulary, 0.0f));
}
