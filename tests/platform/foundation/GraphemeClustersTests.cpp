#include "platform/foundation/GraphemeClusters.hpp"

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include "platform/foundation/Unicode.hpp"
#include "tests/support/RandomText.hpp"

namespace {

using namespace platform;
using parlox::testing::randomText;

std::vector<size_t> walkEnds(std::string_view text) {
    std::vector<size_t> ends;
    forEachGraphemeCluster(text, [&](size_t, size_t end) { ends.push_back(end); });
    return ends;
}

std::vector<size_t> walkEnds(std::u16string_view text) {
    std::vector<size_t> ends;
    forEachGraphemeCluster(text, [&](size_t, size_t end) { ends.push_back(end); });
    return ends;
}

// A break iterator of its own over ICU's UTF-16 string, as the reference:
// cluster ends in UTF-16 units.
std::vector<size_t> referenceEnds(const std::u16string& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    EXPECT_TRUE(U_SUCCESS(status));
    icu::UnicodeString u(text.data(), static_cast<int32_t>(text.size()));
    breaks->setText(u);
    std::vector<size_t> ends;
    breaks->first();
    for (int32_t p = breaks->next(); p != icu::BreakIterator::DONE; p = breaks->next()) ends.push_back(static_cast<size_t>(p));
    return ends;
}

// Pieces of random valid text: characters below U+0300 (one cluster each),
// CR LF, combining marks, joiners, skin tones, flags and Hangul jamo.
const std::vector<std::string> kClusterPieces = {
    "a", " ", "\n", "\r", "\xC3\xA9", "\xC2\xA0", "\xCB\xBF", "\xCC\x81", "\xE2\x80\x8D", "\xE6\x97\xA5",
    "\xF0\x9F\x91\xA8", "\xF0\x9F\x8F\xBD", "\xF0\x9F\x87\xAA", "\xE1\x84\x80", "\xE1\x85\xA1", "\xC2\xAD"};

TEST(GraphemeClusters, BothEncodingsAgreeWithTheBreakRules) {
    std::mt19937 random(20260117);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = randomText(random, kClusterPieces, 10);
        SCOPED_TRACE(::testing::PrintToString(text));
        const std::u16string units = toUtf16(text);
        const std::vector<size_t> reference = referenceEnds(units);
        ASSERT_EQ(walkEnds(units), reference);
        std::vector<size_t> inBytes;
        for (size_t end : reference) inBytes.push_back(*utf16OffsetToByteOffset(text, end));
        ASSERT_EQ(walkEnds(text), inBytes);
    }
}

TEST(GraphemeClusters, ClustersAreContiguousAndCoverTheText) {
    for (std::string_view text : {std::string_view("d\xC3\xAD" "a"), std::string_view("cafe\xCC\x81 \xF0\x9F\x87\xAA\xF0\x9F\x87\xB8"),
                                  std::string_view("a\r\nb"), std::string_view("")}) {
        size_t expectedStart = 0;
        forEachGraphemeCluster(text, [&](size_t start, size_t end) {
            EXPECT_EQ(start, expectedStart);
            EXPECT_LT(start, end);
            expectedStart = end;
        });
        EXPECT_EQ(expectedStart, text.size());
    }
    EXPECT_EQ(walkEnds(std::string_view("a\r\nb")), (std::vector<size_t>{1, 3, 4}));
    EXPECT_EQ(walkEnds(std::string_view("cafe\xCC\x81!")), (std::vector<size_t>{1, 2, 3, 6, 7}));
}

TEST(GraphemeClusters, AVisitorReturningFalseStopsTheWalk) {
    for (std::string_view text : {std::string_view("abcdef"), std::string_view("e\xCC\x81" "e\xCC\x81" "e\xCC\x81")}) {
        int visits = 0;
        forEachGraphemeCluster(text, [&](size_t, size_t) { return ++visits < 2; });
        EXPECT_EQ(visits, 2) << text;
    }
}

TEST(GraphemeClusters, IllFormedBytesAreClustersOfTheirOwn) {
    // A stray trail byte, a truncated sequence and an invalid byte, on the
    // quick road (nothing from U+0300 up) and beside a combining mark.
    EXPECT_EQ(walkEnds(std::string_view("a\x80" "b\xE2\x82" "c\xFF")), (std::vector<size_t>{1, 2, 3, 5, 6, 7}));
    EXPECT_EQ(walkEnds(std::string_view("\x80" "e\xCC\x81")), (std::vector<size_t>{1, 4}));
}

}  // namespace
