#include <gtest/gtest.h>

#include <cmath>

#include "DovuzudUza/Core/DecodingInputs.hpp"
#include "DovuzudUza/Core/DecodingResult.hpp"
#include "platform/ml/Half.hpp"

using namespace DovuzudUza;
using platform::ml::DataType;
using platform::ml::MultiArray;

namespace {

std::shared_ptr<DecodingInputs> makeInputs(int64_t sequence, double fill) {
    auto array = [&](std::vector<int64_t> shape, DataType type) {
        auto a = MultiArray::make(std::move(shape), type);
        a->fill(fill);
        return a;
    };
    return std::make_shared<DecodingInputs>(
        std::vector<int64_t>{50258}, array({1}, DataType::int32), array({1}, DataType::int32),
        array({1, 4, 1, sequence}, DataType::float16), array({1, 4, 1, sequence}, DataType::float16),
        array({sequence, 6}, DataType::float16), array({1, sequence}, DataType::int32),
        array({1, sequence}, DataType::float16));
}

}  // namespace

TEST(DecodingInputs, ResetRewindsTheMasksOfTheWholeContext) {
    auto inputs = makeInputs(224, 7);
    inputs->reset(224);
    EXPECT_EQ(inputs->cacheLength()->floatAt(0), 0);
    const auto* padding = inputs->decoderKeyPaddingMask()->data<uint16_t>();
    EXPECT_EQ(padding[0], platform::ml::floatToHalf(0));
    EXPECT_EQ(inputs->kvCacheUpdateMask()->floatAt(0), 1);
    for (int64_t i = 1; i < 224; ++i) {
        ASSERT_EQ(padding[i], platform::ml::kHalfMinus10000) << i;
        ASSERT_EQ(inputs->kvCacheUpdateMask()->floatAt(i), 0) << i;
    }
    // Everything else is left alone.
    EXPECT_EQ(inputs->inputIds()->floatAt(0), 7);
    EXPECT_EQ(inputs->keyCache()->floatAt(5), 7);
    EXPECT_EQ(inputs->alignmentWeights()->floatAt(0), 7);
    EXPECT_EQ(inputs->initialPrompt(), std::vector<int64_t>{50258});
}

TEST(DecodingInputs, ResetOfOneTouchesOnlyPositionZero) {
    auto inputs = makeInputs(8, 7);
    inputs->reset(1);
    EXPECT_EQ(inputs->decoderKeyPaddingMask()->floatAt(0), 0);
    EXPECT_EQ(inputs->kvCacheUpdateMask()->floatAt(0), 1);
    for (int64_t i = 1; i < 8; ++i) {
        EXPECT_EQ(inputs->decoderKeyPaddingMask()->floatAt(i), 7);
        EXPECT_EQ(inputs->kvCacheUpdateMask()->floatAt(i), 7);
    }
}

TEST(DecodingInputs, OutOfRangeContextIsRefusedWithoutWriting) {
    for (int64_t context : {0, -1, 9, 1000}) {
        auto inputs = makeInputs(8, 7);
        EXPECT_THROW(inputs->reset(context), std::out_of_range) << context;
        EXPECT_EQ(inputs->cacheLength()->floatAt(0), 7);
        for (int64_t i = 0; i < 8; ++i) {
            EXPECT_EQ(inputs->decoderKeyPaddingMask()->floatAt(i), 7);
            EXPECT_EQ(inputs->kvCacheUpdateMask()->floatAt(i), 7);
        }
    }
    auto inputs = makeInputs(8, 7);
    inputs->setKvCacheUpdateMask(MultiArray::make({1, 4}, DataType::int32));
    EXPECT_THROW(inputs->reset(8), std::out_of_range);
    EXPECT_EQ(inputs->decoderKeyPaddingMask()->floatAt(0), 7);
    inputs->setCacheLength(nullptr);
    EXPECT_THROW(inputs->reset(1), std::out_of_range);
}

TEST(DecodingInputs, ArraysAreSharedByReference) {
    auto inputs = makeInputs(4, 0);
    auto holder = inputs->cacheLength();
    inputs->reset(4);
    holder->setFloatAt(0, 3);
    EXPECT_EQ(inputs->cacheLength()->floatAt(0), 3);
    DecodingCache cache{inputs->keyCache(), inputs->valueCache(), nullptr};
    DecodingCache copy = cache;
    copy.keyCache->setFloatAt(0, 2);
    EXPECT_EQ(cache.keyCache->floatAt(0), 2);
}

TEST(DecodingFallback, VerdictRules) {
    DecodingOptions defaults;
    DecodingOptions unset({.compressionRatioThreshold = std::nullopt,
                           .logProbThreshold = std::nullopt,
                           .firstTokenLogProbThreshold = std::nullopt,
                           .noSpeechThreshold = std::nullopt});
    const float nan = std::nanf("");
    struct Case {
        const DecodingOptions* options;
        bool firstTooLow;
        float noSpeech, compression, avgLogProb;
        std::optional<DecodingFallback> expected;
    };
    std::vector<Case> cases{
        {&defaults, true, 0.99f, 9.0f, -9.0f, DecodingFallback{true, "firstTokenLogProbThreshold"}},
        {&defaults, false, 0.9f, 3.0f, -0.1f, DecodingFallback{false, "silence"}},
        {&defaults, false, 0.6f, 1.0f, -0.1f, std::nullopt},
        {&defaults, false, 0.1f, 2.5f, -3.0f, DecodingFallback{true, "compressionRatioThreshold"}},
        {&defaults, false, 0.1f, 2.4f, -1.2f, DecodingFallback{true, "logProbThreshold"}},
        {&defaults, false, nan, nan, nan, std::nullopt},
        {&unset, false, 0.99f, 9.0f, -9.0f, std::nullopt},
        {&unset, true, 0.0f, 0.0f, 0.0f, DecodingFallback{true, "firstTokenLogProbThreshold"}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(DecodingFallback::verdict(*c.options, c.firstTooLow, c.noSpeech, c.compression, c.avgLogProb),
                  c.expected)
            << i;
    }
}

TEST(DecodingResult, EmptyResults) {
    auto empty = DecodingResult::emptyResults();
    EXPECT_TRUE(empty.language.empty());
    EXPECT_TRUE(empty.text.empty());
    EXPECT_TRUE(empty.tokens.empty());
    EXPECT_EQ(empty.noSpeechProb, 0);
    EXPECT_FALSE(empty.cache || empty.timings || empty.fallback);
}
