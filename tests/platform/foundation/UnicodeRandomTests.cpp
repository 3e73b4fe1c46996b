#include "platform/foundation/Trim.hpp"
#include "platform/foundation/Unicode.hpp"

#include <random>

#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include "tests/support/RandomText.hpp"

namespace {

using namespace platform;
using parlox::testing::randomText;

// ICU's own converter, with U+FFFD for each ill-formed subsequence, is the
// independent reference for what repair and UTF-16 conversion must give.
std::u16string icuUtf16(const std::string& bytes) {
    std::u16string out(bytes.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, bytes.data(),
                         static_cast<int32_t>(bytes.size()), 0xFFFD, nullptr, &status);
    EXPECT_TRUE(U_SUCCESS(status));
    out.resize(static_cast<size_t>(length));
    return out;
}

bool icuValid(const std::string& bytes) {
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    return status != U_INVALID_CHAR_FOUND;
}

// Pieces of random strings: ASCII, valid multi-byte characters and stray bytes.
const std::vector<std::string> kMixedBytePieces = {
    "a", " ", "\n", "\xC3\xA9", "\xCC\x81", "\xE2\x80\xA8", "\xE6\x97\xA5", "\xF0\x9F\x98\x80",
    "\xF0\x9F\x8F\xBD", "\xE2\x80\x8D", "\x80", "\xBF", "\xC0", "\xC2", "\xE0\xA0", "\xED\xA0",
    "\xED\x9F\xBF", "\xF0\x90", "\xF4\x8F\xBF\xBF", "\xF4\x90", "\xF5", "\xFF", "\xEF\xBF\xBD"};

TEST(UnicodeRandom, AgreesWithIcuOnValidityRepairAndLength) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 5000; ++round) {
        const std::string text = randomText(random, kMixedBytePieces, 12);
        SCOPED_TRACE(::testing::PrintToString(text));
        const std::u16string reference = icuUtf16(text);
        ASSERT_EQ(isValidUtf8(text), icuValid(text));
        ASSERT_EQ(toUtf16(text), reference);
        ASSERT_EQ(utf16Length(text), reference.size());
        const std::string repaired = repairUtf8(text);
        ASSERT_TRUE(isValidUtf8(repaired));
        ASSERT_EQ(toUtf16(repaired), reference);
        ASSERT_EQ(fromUtf16(reference), repaired);
    }
}

TEST(UnicodeRandom, OffsetsAndSubstringsRoundTrip) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        const std::string text = repairUtf8(randomText(random, kMixedBytePieces, 12));
        SCOPED_TRACE(::testing::PrintToString(text));
        const std::u16string units = toUtf16(text);
        for (size_t u = 0; u <= units.size(); ++u) {
            auto byte = utf16OffsetToByteOffset(text, u);
            const bool insidePair = u > 0 && u < units.size() && units[u] >= 0xDC00 && units[u] <= 0xDFFF;
            ASSERT_EQ(byte.has_value(), !insidePair) << u;
            if (!byte) continue;
            ASSERT_EQ(byteOffsetToUtf16Offset(text, *byte), u);
            // The text before the offset has exactly u units.
            ASSERT_EQ(utf16Length(text.substr(0, *byte)), u);
            auto tail = substringUtf16(text, u, units.size() - u);
            ASSERT_TRUE(tail.has_value());
            ASSERT_EQ(toUtf16(*tail), units.substr(u));
        }
        std::string joined;
        for (const auto& cluster : graphemeClusters(text)) joined += cluster;
        ASSERT_EQ(joined, text);
        // Trimming only ever removes from the ends.
        const std::string trimmed = trimmingWhitespaceAndNewlines(text);
        ASSERT_NE(text.find(trimmed), std::string::npos);
    }
}

}  // namespace
