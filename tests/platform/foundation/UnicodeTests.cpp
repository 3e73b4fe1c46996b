#include "platform/foundation/Unicode.hpp"

#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

using namespace platform;

struct TextCase {
    const char* name;
    std::string text;
    size_t utf16;
    size_t codePoints;
    size_t graphemes;
};

// é as e + U+0301, family emoji with zero-width joiners, a flag, CJK, Arabic.
const TextCase kTexts[] = {
    {"ascii", "hello", 5, 5, 5},
    {"empty", "", 0, 0, 0},
    {"precomposed", "caf\xC3\xA9", 4, 4, 4},
    {"combining", "cafe\xCC\x81", 5, 5, 4},
    {"emoji", "Hi \xF0\x9F\x98\x80 there", 11, 10, 10},
    {"skinTone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 4, 2, 1},
    {"family", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 8, 5, 1},
    {"flag", "\xF0\x9F\x87\xAA\xF0\x9F\x87\xB8", 4, 2, 1},
    {"cjk", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 3, 3, 3},
    {"arabic", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7", 5, 5, 5},
    {"crlf", "a\r\nb", 4, 4, 3},
};

class TextTable : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextTable, Counts) {
    const auto& c = GetParam();
    EXPECT_TRUE(isValidUtf8(c.text));
    EXPECT_EQ(utf16Length(c.text), c.utf16);
    EXPECT_EQ(codePointCount(c.text), c.codePoints);
    EXPECT_EQ(graphemeCount(c.text), c.graphemes);
    EXPECT_EQ(toUtf16(c.text).size(), c.utf16);
    EXPECT_EQ(fromUtf16(toUtf16(c.text)), c.text);
    EXPECT_EQ(fromUtf32(toUtf32(c.text)), c.text);
    std::string joined;
    for (const auto& cluster : graphemeClusters(c.text)) joined += cluster;
    EXPECT_EQ(joined, c.text);
}

// Every boundary converts to the other two counts and back.
TEST_P(TextTable, OffsetsRoundTripAtEveryBoundary) {
    const auto& c = GetParam();
    size_t units = 0, points = 0;
    size_t byte = 0;
    const std::u32string scalars = toUtf32(c.text);
    for (size_t i = 0; i <= scalars.size(); ++i) {
        EXPECT_EQ(utf16OffsetToByteOffset(c.text, units), byte);
        EXPECT_EQ(byteOffsetToUtf16Offset(c.text, byte), units);
        EXPECT_EQ(codePointOffsetToByteOffset(c.text, points), byte);
        EXPECT_EQ(byteOffsetToCodePointOffset(c.text, byte), points);
        EXPECT_EQ(utf16OffsetToCodePointOffset(c.text, units), points);
        EXPECT_EQ(codePointOffsetToUtf16Offset(c.text, points), units);
        if (i == scalars.size()) break;
        units += scalars[i] >= 0x10000 ? 2 : 1;
        points += 1;
        byte += fromUtf32(std::u32string(1, scalars[i])).size();
    }
    EXPECT_EQ(byte, c.text.size());
    EXPECT_FALSE(utf16OffsetToByteOffset(c.text, c.utf16 + 1).has_value());
    EXPECT_FALSE(codePointOffsetToByteOffset(c.text, c.codePoints + 1).has_value());
    EXPECT_FALSE(byteOffsetToUtf16Offset(c.text, c.text.size() + 1).has_value());
}

INSTANTIATE_TEST_SUITE_P(Unicode, TextTable, ::testing::ValuesIn(kTexts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Unicode, OffsetInsideACharacterHasNoConversion) {
    const std::string text = "a\xF0\x9F\x98\x80" "b";  // a 😀 b
    EXPECT_FALSE(utf16OffsetToByteOffset(text, 2).has_value());  // between the surrogates
    EXPECT_FALSE(utf16OffsetToCodePointOffset(text, 2).has_value());
    EXPECT_FALSE(byteOffsetToUtf16Offset(text, 2).has_value());  // inside the 4-byte sequence
    EXPECT_FALSE(byteOffsetToCodePointOffset(text, 4).has_value());
    EXPECT_EQ(utf16OffsetToByteOffset(text, 3), 5u);
    EXPECT_EQ(codePointOffsetToUtf16Offset(text, 2), 3u);
}

TEST(Unicode, SubstringByUtf16Range) {
    const std::string text = "Hola \xF0\x9F\x98\x80 mundo";  // Hola 😀 mundo
    EXPECT_EQ(substringUtf16(text, 0, 4), "Hola");
    EXPECT_EQ(substringUtf16(text, 5, 2), "\xF0\x9F\x98\x80");
    EXPECT_EQ(substringUtf16(text, 8, 5), "mundo");
    EXPECT_EQ(substringUtf16(text, 13, 0), "");
    EXPECT_FALSE(substringUtf16(text, 6, 2).has_value());   // starts inside the emoji
    EXPECT_FALSE(substringUtf16(text, 5, 1).has_value());   // ends inside it
    EXPECT_FALSE(substringUtf16(text, 10, 10).has_value()); // past the end
    EXPECT_FALSE(substringUtf16(text, 1, SIZE_MAX).has_value());
}

struct InvalidCase {
    const char* name;
    std::string bytes;
    std::string repaired;
};

const InvalidCase kInvalid[] = {
    {"loneContinuation", "a\x80z", "a\xEF\xBF\xBDz"},
    {"overlong", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"truncatedAtEnd", "ok\xE2\x82", "ok\xEF\xBF\xBD"},
    {"truncatedBeforeAscii", "\xF0\x9F\x98" "x", "\xEF\xBF\xBDx"},
    {"beyondUnicode", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"invalidByte", "\xFF", "\xEF\xBF\xBD"},
};

class InvalidTable : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidTable, IsDetectedAndRepaired) {
    const auto& c = GetParam();
    EXPECT_FALSE(isValidUtf8(c.bytes));
    EXPECT_EQ(repairUtf8(c.bytes), c.repaired);
    EXPECT_TRUE(isValidUtf8(repairUtf8(c.bytes)));
    // Counting reads the text as repaired.
    EXPECT_EQ(utf16Length(c.bytes), utf16Length(c.repaired));
    EXPECT_EQ(fromUtf16(toUtf16(c.bytes)), c.repaired);
    EXPECT_EQ(graphemeCount(c.bytes), graphemeCount(c.repaired));
}

INSTANTIATE_TEST_SUITE_P(Unicode, InvalidTable, ::testing::ValuesIn(kInvalid),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Unicode, LoneSurrogatesInUtf16BecomeReplacement) {
    std::u16string units = {u'a', 0xD83D, u'b', 0xDE00};
    EXPECT_EQ(fromUtf16(units), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Unicode, GraphemePrefixNeverSplitsACharacter) {
    const std::string text = "ab\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD" "cafe\xCC\x81";  // ab 👍🏽 café
    EXPECT_EQ(graphemePrefix(text, 0), "");
    EXPECT_EQ(graphemePrefix(text, 3), "ab\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");
    EXPECT_EQ(graphemePrefix(text, 7), text);
    EXPECT_EQ(graphemePrefix(text, 100), text);
}

TEST(Unicode, CaseMappingIgnoresTheProcessLocale) {
    EXPECT_EQ(lowercased("\xCE\xA3\xCE\x91\xCE\xA3"), "\xCF\x83\xCE\xB1\xCF\x82");  // ΣΑΣ -> σας
    EXPECT_EQ(lowercased("ÁRBOL Ñandú"), "árbol ñandú");
    EXPECT_EQ(lowercased("I"), "i");  // not the dotless i of a Turkish locale
    EXPECT_EQ(uppercased("stra\xC3\x9F" "e"), "STRASSE");
}

TEST(Unicode, CanonicalComposition) {
    const std::pair<std::string, std::string> cases[] = {
        {"cafe\xCC\x81", "caf\xC3\xA9"},                 // e + combining acute -> é
        {"caf\xC3\xA9", "caf\xC3\xA9"},                  // already composed
        {"n\xCC\x83o", "\xC3\xB1o"},                     // n + combining tilde -> ñ
        {"\xE2\x84\xAB", "\xC3\x85"},                   // ANGSTROM SIGN -> Å (canonical singleton)
        {"\xEF\xAC\x81", "\xEF\xAC\x81"},              // the fi ligature is only compatibility-equal: kept
        {"", ""},
        {"a\xFF", "a\xEF\xBF\xBD"},                      // ill-formed bytes read as repaired
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(composedCanonically(text), expected) << text;
}

}  // namespace
