#include "platform/foundation/NumberFormat.hpp"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/SpanishNumbers.hpp"

namespace {

using namespace platform;

struct FixedCase {
    double value;
    int decimals;
    const char* text;
};

const FixedCase kFixed[] = {
    {2.3, 1, "2.3"},      {2.25, 1, "2.2"},     {2.35, 1, "2.4"},  {4.25, 1, "4.2"},
    {0.96, 1, "1.0"},     {-0.04, 1, "-0.0"},   {12.345, 2, "12.35"}, {1234567.891, 1, "1234567.9"},
    {3, 0, "3"},          {2.5, 0, "2"},        {0.5, 3, "0.500"},  {1e21, 0, "1000000000000000000000"},
    {-7.0, 2, "-7.00"},
};

TEST(SpanishNumbers, FormattingStillUsesAPoint) {
    parlox::testing::SpanishNumbers spanish;
    if (!spanish.cLocale()) std::printf("no Spanish C locale here; only the C++ global locale is Spanish\n");
    if (spanish.cLocale()) {
        // The trap being avoided: the C library now prints a comma.
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%.1f", 2.3);
        EXPECT_STREQ(buffer, "2,3");
    }
    for (const auto& c : kFixed) EXPECT_EQ(formatFixed(c.value, c.decimals), c.text) << c.value;
    EXPECT_EQ(formatInteger(1234567), "1234567");
    EXPECT_EQ(formatShortest(0.1), "0.1");
    EXPECT_EQ(parseDouble("2.5"), 2.5);
    EXPECT_FALSE(parseDouble("2,5").has_value());
}

TEST(NumberFormat, FixedMatchesTheCLocalePrintf) {
    std::setlocale(LC_ALL, "C");
    for (const auto& c : kFixed) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f", c.decimals, c.value);
        EXPECT_EQ(formatFixed(c.value, c.decimals), buffer);
        EXPECT_EQ(formatFixed(c.value, c.decimals), c.text);
    }
}

TEST(NumberFormat, FixedPadsToAWidthLikePrintf) {
    std::setlocale(LC_ALL, "C");
    for (int width : {0, 3, 8, 12}) {
        for (const auto& c : kFixed) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%*.*f", width, c.decimals, c.value);
            EXPECT_EQ(formatFixed(c.value, c.decimals, width), buffer) << width << " " << c.value;
        }
    }
    EXPECT_EQ(formatFixed(NAN, 2, 5), "  nan");
    EXPECT_EQ(formatFixed(-INFINITY, 2, 2), "-inf");
}

TEST(NumberFormat, IntegersAndShortest) {
    EXPECT_EQ(formatInteger(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(formatUnsigned(UINT64_MAX), "18446744073709551615");
    EXPECT_EQ(formatShortest(6), "6.0");
    EXPECT_EQ(formatShortest(-0.5), "-0.5");
    EXPECT_EQ(formatShortest(1e16), "1e+16");
    EXPECT_EQ(formatShortest(NAN), "nan");
    EXPECT_EQ(formatShortest(-INFINITY), "-inf");
    EXPECT_EQ(formatFixed(NAN, 1), "nan");
    EXPECT_EQ(formatFixed(1.25, -3), "1");
    EXPECT_EQ(formatFixed(-1e300, 1).size(), 304u);  // sign, 301 digits, ".0"
}

TEST(NumberFormat, FloatsPrintTheirOwnShortestText) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {{0.1f, "0.1"},           {0.2f, "0.2"},      {2.4f, "2.4"},  {-1.5f, "-1.5"},
                          {16000.0f, "16000.0"},   {1e-7f, "1e-07"},   {3.4028235e38f, "3.4028235e+38"},
                          {0.199951171875f, "0.19995117"}, {NAN, "nan"}, {-INFINITY, "-inf"}};
    for (const auto& c : cases) {
        EXPECT_EQ(formatShortest(c.value), c.text) << c.text;
        if (std::isfinite(c.value)) {
            EXPECT_EQ(static_cast<float>(*parseDouble(formatShortest(c.value))), c.value);
        }
    }
    // The double overload shows the widened value's expansion; integers stay whole.
    EXPECT_EQ(formatShortest(static_cast<double>(0.1f)), "0.10000000149011612");
    EXPECT_EQ(formatShortest(6), "6.0");
}

TEST(NumberFormat, SignificantDigitsLikePrintfG) {
    std::setlocale(LC_ALL, "C");
    const double values[] = {0.0, 1.0, 0.2, 1.23456, 12.345, 123.456, 1234.5, 0.000123456, -9.87654, 29.999};
    for (int digits : {1, 3, 5}) {
        for (double v : values) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.*g", digits, v);
            EXPECT_EQ(formatSignificant(v, digits), buffer) << v << " " << digits;
        }
    }
    EXPECT_EQ(formatSignificant(1.5, 0), "2");
    EXPECT_EQ(formatSignificant(NAN, 3), "nan");
}

TEST(NumberFormat, ParsingWantsTheWholeText) {
    EXPECT_EQ(parseDouble("6"), 6.0);
    EXPECT_EQ(parseDouble("+1.5e2"), 150.0);
    EXPECT_EQ(parseDouble("-0.25"), -0.25);
    for (const char* bad : {"", " 1", "1 ", "1.2.3", "abc", "++1", "1,5", "+"})
        EXPECT_FALSE(parseDouble(bad).has_value()) << bad;
    EXPECT_EQ(parseInteger("-42"), -42);
    EXPECT_EQ(parseInteger("+7"), 7);
    for (const char* bad : {"", "4.0", "99999999999999999999", "0x10", "-"})
        EXPECT_FALSE(parseInteger(bad).has_value()) << bad;
}

}  // namespace
