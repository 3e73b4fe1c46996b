#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "ZezeziCore/External/Hub/BinaryDistinctString.hpp"

using ZezeziCore::BinaryDistinctCharacter;
using ZezeziCore::BinaryDistinctString;

namespace {
BinaryDistinctString units(std::u16string s) { return BinaryDistinctString(std::move(s)); }
}  // namespace

TEST(BinaryDistinctString, KeysThatTextEqualityWouldMergeStayApart) {
    std::unordered_map<BinaryDistinctString, int> map;
    map[BinaryDistinctString("\xEF\xBB\xBF" "abc")] = 1;
    map[BinaryDistinctString("abc")] = 2;
    map[BinaryDistinctString("\xC3\xA9")] = 3;   // U+00E9
    map[BinaryDistinctString("e\xCC\x81")] = 4;  // e + U+0301
    EXPECT_EQ(map.size(), 4u);
    EXPECT_NE(BinaryDistinctString("\xC3\xA9"), BinaryDistinctString("e\xCC\x81"));
    EXPECT_EQ(BinaryDistinctString("\xC3\xA9").count(), 1);
    EXPECT_EQ(BinaryDistinctString("e\xCC\x81").count(), 1);
    EXPECT_EQ(BinaryDistinctString("\xEF\xBB\xBF" "abc").value().size(), 4u);
}

TEST(BinaryDistinctString, OrdersByUnsignedUnits) {
    EXPECT_LT(units(u"z"), units(u"\uE000"));
    EXPECT_LT(units(u"\uE000"), units(u"\uFFFF"));
    EXPECT_LT(BinaryDistinctString("ab"), BinaryDistinctString("abc"));
    EXPECT_FALSE(BinaryDistinctString("abc") < BinaryDistinctString("ab"));
}

TEST(BinaryDistinctString, PrefixAndSuffix) {
    BinaryDistinctString empty;
    EXPECT_TRUE(empty.hasPrefix(empty));
    EXPECT_TRUE(empty.hasSuffix(empty));
    BinaryDistinctString s("hello");
    EXPECT_TRUE(s.hasPrefix(""));
    EXPECT_TRUE(s.hasSuffix(""));
    EXPECT_TRUE(s.hasPrefix("he"));
    EXPECT_TRUE(s.hasSuffix("llo"));
    EXPECT_FALSE(s.hasPrefix("hello!"));
    EXPECT_FALSE(s.hasSuffix("xhello"));
    EXPECT_FALSE(s.hasPrefix("el"));
}

TEST(BinaryDistinctString, CountsCharactersAndChecksIndexes) {
    BinaryDistinctString smile("\xF0\x9F\x98\x80");  // U+1F600
    EXPECT_EQ(smile.value().size(), 2u);
    EXPECT_EQ(smile.count(), 1);
    EXPECT_EQ(smile.endIndex(), 1);
    EXPECT_THROW(smile.index(0, 2), std::out_of_range);
    try {
        smile.index(0, 2);
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Index out of bounds");
    }
    EXPECT_EQ(smile.index(0, 1), 1);
    EXPECT_EQ(smile.index(0, 2, 5), std::optional<int64_t>(2));
    EXPECT_EQ(smile.index(0, -1, 5), std::optional<int64_t>(-1));
    EXPECT_EQ(smile.index(0, 6, 5), std::nullopt);
    // A family emoji joined by ZWJ is one character.
    EXPECT_EQ(BinaryDistinctString("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7").count(), 1);
}

TEST(BinaryDistinctString, IteratesCharacters) {
    auto chars = BinaryDistinctString("e\xCC\x81x").characters();
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0].bytes(), (std::u16string{u'e', u'\u0301'}));
    EXPECT_EQ(chars[1].bytes(), u"x");
    EXPECT_EQ(BinaryDistinctString(chars), BinaryDistinctString("e\xCC\x81x"));
    EXPECT_TRUE(BinaryDistinctString().characters().empty());
}

TEST(BinaryDistinctString, CharacterDescription) {
    EXPECT_EQ(BinaryDistinctCharacter("A").description(), "BinaryDistinctCharacter('A', bytes: [\"0x41\"])");
    EXPECT_EQ(BinaryDistinctCharacter(std::u16string{u'\u0120'}).description(),
              "BinaryDistinctCharacter('\xC4\xA0', bytes: [\"0x120\"])");
    EXPECT_EQ(BinaryDistinctCharacter("e\xCC\x81").description(),
              "BinaryDistinctCharacter('e\xCC\x81', bytes: [\"0x65\", \"0x301\"])");
}

TEST(BinaryDistinctString, SlicesByScalarPositions) {
    BinaryDistinctString s("a\xF0\x9F\x98\x80" "bc");  // a, U+1F600, b, c
    EXPECT_EQ(s.slice(1, 2).value(), u"\U0001F600");
    EXPECT_EQ(s.slice(2).string(), "bc");
    EXPECT_TRUE(s.slice(2, 2).empty());
    EXPECT_TRUE(BinaryDistinctString().slice(0, 0).empty());
    EXPECT_THROW(s.slice(-1, 1), std::out_of_range);
    EXPECT_THROW(s.slice(0, 5), std::out_of_range);
    EXPECT_THROW(s.slice(3, 2), std::out_of_range);
}

TEST(BinaryDistinctString, TextOperations) {
    EXPECT_EQ(BinaryDistinctString("\xC3\x89" "COLE").lowercased().string(), "\xC3\xA9" "cole");
    EXPECT_EQ(BinaryDistinctString("aXbXc").replacingOccurrences("X", "--").string(), "a--b--c");
    EXPECT_EQ(BinaryDistinctString("abc").replacingOccurrences("", "z").string(), "abc");
    // Literal search: a precomposed letter is not found inside its decomposed form.
    EXPECT_EQ(BinaryDistinctString("e\xCC\x81").replacingOccurrences("\xC3\xA9", "E").string(), "e\xCC\x81");
    EXPECT_EQ((BinaryDistinctString("ab") + BinaryDistinctString("cd")).string(), "abcd");
}

TEST(BinaryDistinctString, RawUnitsKeepLoneSurrogates) {
    auto lone = units(std::u16string{u'a', char16_t(0xD800)});
    EXPECT_EQ(lone.value().size(), 2u);
    EXPECT_NE(lone, units(std::u16string{u'a', char16_t(0xFFFD)}));
    EXPECT_EQ(lone.string(), "a\xEF\xBF\xBD");
    EXPECT_EQ(lone.count(), 2);
    // Ill-formed UTF-8 becomes U+FFFD rather than being dropped.
    EXPECT_EQ(BinaryDistinctString(std::string_view("a\xFF" "b")).value(), (std::u16string{u'a', char16_t(0xFFFD), u'b'}));
}

TEST(BinaryDistinctString, MergeWithTextKeys) {
    std::unordered_map<BinaryDistinctString, int> map{{BinaryDistinctString("a"), 1}};
    std::unordered_map<std::string, int> other{{"a", 10}, {"b", 2}};
    auto merged = ZezeziCore::merging(map, other, [](int current, int incoming) { return current + incoming; });
    EXPECT_EQ(merged.at(BinaryDistinctString("a")), 11);
    EXPECT_EQ(merged.at(BinaryDistinctString("b")), 2);
    EXPECT_EQ(map.size(), 1u);
}
