#include <gtest/gtest.h>

#include <zlib.h>

#include <cmath>
#include <random>

#include "../Models/LogCapture.hpp"
#include "DovuzudUza/Utilities/TextUtilities.hpp"

using namespace DovuzudUza;

namespace {

// Length of the raw DEFLATE stream of the bytes, made here independently.
size_t deflated(const std::vector<unsigned char>& bytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> out(1024);
    stream.next_in = const_cast<unsigned char*>(bytes.data());
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    const size_t length = out.size() - stream.avail_out;
    deflateEnd(&stream);
    return length;
}

}  // namespace

TEST(CompressionRatio, RepeatedTokensCompressFarBetterThanDistinctOnes) {
    const std::vector<int64_t> repeated(200, 50364);
    EXPECT_GT(TextUtilities::compressionRatio(repeated), 2.4f);
    EXPECT_GT(TextUtilities::compressionRatio(repeated), 30.0f);

    std::mt19937 rng(9);
    std::uniform_int_distribution<int64_t> id(0, 51865);
    std::vector<int64_t> distinct;
    while (distinct.size() < 50) distinct.push_back(id(rng));
    const float ratio = TextUtilities::compressionRatio(distinct);
    EXPECT_LT(ratio, 2.4f);
    EXPECT_GT(ratio, 0.8f);
}

TEST(CompressionRatio, TokensAreLittleEndianThirtyTwoBitIntegers) {
    // [1, 2] is the 8 bytes 01 00 00 00 02 00 00 00.
    const std::vector<unsigned char> bytes{1, 0, 0, 0, 2, 0, 0, 0};
    EXPECT_FLOAT_EQ(TextUtilities::compressionRatio(std::vector<int64_t>{1, 2}), 8.0f / static_cast<float>(deflated(bytes)));
    const std::vector<unsigned char> high{0x3C, 0xC4, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FLOAT_EQ(TextUtilities::compressionRatio(std::vector<int64_t>{50236, -1}), 8.0f / static_cast<float>(deflated(high)));
}

TEST(CompressionRatio, TextFormAndTheValuesThatCannotBeMeasured) {
    EXPECT_FLOAT_EQ(TextUtilities::compressionRatio("abc"), 3.0f / static_cast<float>(deflated({'a', 'b', 'c'})));
    EXPECT_LT(TextUtilities::compressionRatio("abc"), 1.0f);
    EXPECT_GT(TextUtilities::compressionRatio(std::string(500, 'a')), 2.4f);
    test_support::LogCapture log;
    EXPECT_TRUE(std::isinf(TextUtilities::compressionRatio("")));
    EXPECT_TRUE(log.texts().empty());  // nothing to compress, nothing logged
    EXPECT_EQ(TextUtilities::compressionRatio(std::vector<int64_t>{}), 0.0f);
    EXPECT_TRUE(std::isinf(TextUtilities::compressionRatio(std::vector<int64_t>{int64_t{1} << 40})));
    EXPECT_EQ(log.texts().size(), 1u);
}
