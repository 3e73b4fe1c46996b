#include <gtest/gtest.h>

#include "ZezeziCore/External/Tokenizers/StringSearch.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

using namespace Tokenizers;
using Pieces = std::vector<std::string>;

TEST(StringSearch, SplitBehavioursAroundPlainMatches) {
    const auto hyphen = SearchPattern::plain("-");
    struct Case {
        SplitDelimiterBehavior behavior;
        const char* text;
        Pieces expected;
    };
    const Case cases[] = {
        {SplitDelimiterBehavior::removed, "a-b--c", {"a", "b", "c"}},
        {SplitDelimiterBehavior::isolated, "a-b--c", {"a", "-", "b", "-", "-", "c"}},
        {SplitDelimiterBehavior::mergedWithPrevious, "a-b--c", {"a-", "b-", "-", "c"}},
        {SplitDelimiterBehavior::mergedWithNext, "a-b--c", {"a", "-b", "-", "-c"}},
        {SplitDelimiterBehavior::mergedWithNext, "-a-", {"-a", "-"}},
        {SplitDelimiterBehavior::mergedWithPrevious, "-a-", {"-", "a-"}},
        {SplitDelimiterBehavior::removed, "abc", {"abc"}},
        {SplitDelimiterBehavior::mergedWithNext, "abc", {"abc"}},
        {SplitDelimiterBehavior::removed, "", {}},
        {SplitDelimiterBehavior::mergedWithPrevious, "", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(split(c.text, hyphen, c.behavior), c.expected) << c.text << " " << int(c.behavior);
    EXPECT_TRUE(ranges("", hyphen).empty());
}

TEST(StringSearch, RegexSplitTakesTheParticipatingGroup) {
    auto re = *Regex::compile("(x)|y");
    EXPECT_EQ(split("axbyc", re), (Pieces{"a", "x", "b", "y", "c"}));
    EXPECT_EQ(split("", re), (Pieces{""}));
    EXPECT_EQ(split("abc", re), (Pieces{"abc"}));
}

TEST(StringSearch, EmptyMatchesAdvanceOneCharacterAndEnd) {
    // "x*" matches the empty string everywhere; every operation must end.
    const auto empty = SearchPattern::regex("x*");
    auto r = ranges("ab", empty);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], (Regex::Range{0, 0}));
    EXPECT_EQ(r[2], (Regex::Range{2, 2}));
    EXPECT_EQ(split("axxb", empty, true), (Pieces{"a", "xx", "b"}));
    EXPECT_EQ(split("ab", empty, false), (Pieces{"ab"}));
    // One character further means one grapheme: an emoji with a skin tone
    // and an accented letter are never cut inside.
    auto clusters = ranges("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD" "e\xCC\x81", empty);
    ASSERT_EQ(clusters.size(), 3u);
    EXPECT_EQ(clusters[1].lower, 8u);
    EXPECT_EQ(clusters[2].lower, 11u);
}

TEST(StringSearch, RegexSplitCutsAtEmptyMatches) {
    const struct {
        const char* pattern;
        const char* text;
        Pieces expected;
    } cases[] = {
        {"x*", "ab", {"", "a", "", "b", ""}},
        {"x*", "axxb", {"", "a", "xx", "", "b", ""}},
        {"(?=b)", "abab", {"a", "", "ba", "", "b"}},
        {"\\b", "hi yo", {"", "hi", "", " ", "", "yo", ""}},
        {"(x)|(?=c)", "axbc", {"a", "x", "b", "", "c"}},
        {"x*", "", {""}},
    };
    for (const auto& c : cases) EXPECT_EQ(split(c.text, *Regex::compile(c.pattern)), c.expected) << c.pattern << " on " << c.text;
}

TEST(StringSearch, RegexRangesUseIcuSyntaxAndSeeLookAhead) {
    const auto re = SearchPattern::regex("\\s+(?!\\S)|\\p{L}+|\\u0021");
    EXPECT_EQ(rangeTexts("ab  cd!", re), (Pieces{"ab", " ", "cd", "!"}));
    EXPECT_THROW(SearchPattern::regex("("), TokenizerError);
    try {
        SearchPattern::regex("(");
    } catch (const TokenizerError& e) {
        EXPECT_EQ(e.description(), "Tokenizer configuration mismatch: Cannot build regexp from (");
    }
}

TEST(StringSearch, LongInputsFinish) {
    std::string spaces(1 << 20, ' ');
    auto pieces = rangeTexts(spaces, SearchPattern::regex("\\s+(?!\\S)|\\s+"));
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].size(), spaces.size());
    std::string letters(1 << 20, 'a');
    EXPECT_EQ(split(letters, SearchPattern::regex("b*"), true).size(), 1u);
}

TEST(StringSearch, RunawayPatternGivesUpInsteadOfHanging) {
    // Nested quantifiers backtrack exponentially on a near miss.
    const auto evil = SearchPattern::regex("(a+)+b");
    std::string text(64, 'a');
    auto r = ranges(text, evil);
    // The search gives up; the text is kept whole rather than lost.
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (Regex::Range{0, text.size()}));
}
