#include "platform/foundation/Trim.hpp"

#include <gtest/gtest.h>

namespace {

using namespace platform;

struct TrimCase {
    const char* name;
    std::string input;
    std::string both;
    std::string leading;
    std::string trailing;
};

const TrimCase kCases[] = {
    {"plain", "  hola  ", "hola", "hola  ", "  hola"},
    {"innerSpacesKept", "\n  buenos   d\xC3\xAD" "as \t", "buenos   d\xC3\xAD" "as",
     "buenos   d\xC3\xAD" "as \t", "\n  buenos   d\xC3\xAD" "as"},
    {"noBreakSpace", "\xC2\xA0" "x\xC2\xA0" "y\xC2\xA0", "x\xC2\xA0" "y", "x\xC2\xA0" "y\xC2\xA0",
     "\xC2\xA0" "x\xC2\xA0" "y"},
    {"lineSeparators", "\xE2\x80\xA8" "a\xE2\x80\xA9", "a", "a\xE2\x80\xA9", "\xE2\x80\xA8" "a"},
    {"ideographicSpace", "\xE3\x80\x80\xE6\x97\xA5\xE3\x80\x80", "\xE6\x97\xA5",
     "\xE6\x97\xA5\xE3\x80\x80", "\xE3\x80\x80\xE6\x97\xA5"},
    {"nextLineAndCarriageReturn", "\xC2\x85\r\nz\r\n\v\f", "z", "z\r\n\v\f", "\xC2\x85\r\nz"},
    {"onlyWhitespace", " \n\xE2\x80\x83\t", "", "", ""},
    {"empty", "", "", "", ""},
    // Zero-width space and BOM are not white space: they stay.
    {"zeroWidthIsNotSpace", "\xE2\x80\x8B" "a", "\xE2\x80\x8B" "a", "\xE2\x80\x8B" "a",
     "\xE2\x80\x8B" "a"},
    {"emoji", " \xF0\x9F\x98\x80 ", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80 ", " \xF0\x9F\x98\x80"},
};

class TrimTable : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTable, TrimsOnlyTheEnds) {
    const auto& c = GetParam();
    EXPECT_EQ(trimmingWhitespaceAndNewlines(c.input), c.both);
    EXPECT_EQ(trimmingLeadingWhitespaceAndNewlines(c.input), c.leading);
    EXPECT_EQ(trimmingTrailingWhitespaceAndNewlines(c.input), c.trailing);
}

INSTANTIATE_TEST_SUITE_P(Trim, TrimTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Trim, WhiteSpaceSet) {
    for (char32_t c : {U'\t', U'\n', U'\v', U'\f', U'\r', U' ', U'\u0085', U'\u00A0', U'\u1680',
                       U'\u2000', U'\u200A', U'\u2028', U'\u2029', U'\u202F', U'\u205F', U'\u3000'})
        EXPECT_TRUE(isWhitespaceOrNewline(c)) << static_cast<uint32_t>(c);
    for (char32_t c : {U'a', U'\u200B', U'\uFEFF', U'\u180E', U'_'})
        EXPECT_FALSE(isWhitespaceOrNewline(c)) << static_cast<uint32_t>(c);
}

TEST(Trim, WhitespaceWithoutNewlinesKeepsTheLineBreaks) {
    struct Case {
        const char* input;
        const char* trimmed;
    };
    for (const auto& c : {Case{"\xC2\xA0 Hola\n\t\xE3\x80\x80", "Hola\n"}, Case{"\r\n a \u2028", "\r\n a \u2028"},
                          Case{" \t\xE2\x80\x8A", ""}, Case{"\v\f", "\v\f"}, Case{"\xC2\x85x\xC2\x85", "\xC2\x85x\xC2\x85"}})
        EXPECT_EQ(trimmingWhitespace(c.input), c.trimmed) << c.input;
}

TEST(Trim, InvalidUtf8IsRepairedNotCut) {
    EXPECT_EQ(trimmingWhitespaceAndNewlines("  a\xFF  "), "a\xEF\xBF\xBD");
}

}  // namespace

namespace {

TEST(TrimAscii, CutsOnlyTheNamedBytesAndKeepsTheRestAsIs) {
    struct Case {
        std::string input, both, trailing;
    };
    const Case cases[] = {
        {" \tvalor \t", "valor", " \tvalor"},
        {"a b", "a b", "a b"},
        {"\t \t", "", ""},
        {"", "", ""},
        // A no-break space is not in the set, and invalid bytes are not repaired.
        {"\xC2\xA0x\xFF \t", "\xC2\xA0x\xFF", "\xC2\xA0x\xFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::trimmingAscii(c.input, platform::kSpacesAndTabs), c.both) << c.input;
        EXPECT_EQ(platform::trimmingTrailingAscii(c.input, platform::kSpacesAndTabs), c.trailing) << c.input;
    }
    EXPECT_EQ(platform::trimmingAscii("\r\n\v etag\f\r\n", platform::kAsciiWhitespace), "etag");
    EXPECT_EQ(platform::trimmingAscii("\nvalor\n", platform::kSpacesAndTabs), "\nvalor\n");
}

}  // namespace
