#include <gtest/gtest.h>

#include <random>

#include "ZezeziCore/External/Tokenizers/ByteLevelSplit.hpp"
#include "ZezeziCore/External/Tokenizers/StringSearch.hpp"
#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "platform/foundation/Utf8.hpp"

using namespace Tokenizers;

namespace {

std::vector<Regex::Range> engineRanges(std::string_view text) {
    static const SearchPattern pattern = SearchPattern::regex(kByteLevelSplitPattern);
    return ranges(text, pattern);
}

}  // namespace

TEST(ByteLevelSplit, ClassifiesEveryCharacterAsTheEngineDoes) {
    // One character followed by "a": the engine's first match tells its class.
    for (char32_t c = 1; c < 0x30000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        if (c >= 0x3400 && c < 0x20000 && c % 97 != 0) continue;  // sample the big ideograph blocks
        std::string text;
        platform::appendUtf8(text, c);
        text += "a";
        ASSERT_EQ(byteLevelSplitRanges(text), engineRanges(text)) << std::hex << static_cast<uint32_t>(c);
        text = " " + text;
        ASSERT_EQ(byteLevelSplitRanges(text), engineRanges(text)) << "space + " << std::hex << static_cast<uint32_t>(c);
    }
}

TEST(ByteLevelSplit, SameMatchesAsTheEngineOnMixedText) {
    const char* alphabet[] = {"a", "Z", "\xC3\xB1", "\xCE\xA9", "\xE4\xB8\xAD", "1", "\xD9\xA3", "\xC2\xBD", " ", " ", "  ",
                              "\t", "\n", "\r\n", "\x0B", "\xC2\x85", "\xC2\xA0", "\xE2\x80\xA8", "\xE3\x80\x80", "'", "'s",
                              "'t", "'re", "'ve", "'m", "'ll", "'d", "'x", ",", ".", "!", "\xC2\xBF", "-", "\xCC\x81",
                              "\xF0\x9F\x98\x80", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", "\xE2\x80\x8D", "\xEF\xBF\xBD", "$", "_"};
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1), length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (std::size_t k = length(rng); k > 0; --k) text += alphabet[pick(rng)];
        ASSERT_EQ(byteLevelSplitRanges(text), engineRanges(text)) << text;
    }
}
