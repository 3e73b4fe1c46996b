#include <gtest/gtest.h>

#include <cmath>

#include "DecodingTestSupport.hpp"
#include "DovuzudUza/Core/BeamSearchTokenSampler.hpp"
#include "DovuzudUza/Core/GreedyTokenSampler.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;
using platform::ml::Half;

namespace {

std::shared_ptr<MultiArray> logitsOf(const std::vector<float>& values) {
    auto array = MultiArray::make({1, 1, static_cast<int64_t>(values.size())}, DataType::float16);
    for (size_t i = 0; i < values.size(); ++i) array->setFloatAt(static_cast<int64_t>(i), values[i]);
    return array;
}

// log softmax of half-rounded values, in double, for comparison.
double logSoftmax(const std::vector<float>& values, size_t at, double scale = 1) {
    double top = -INFINITY, sum = 0;
    std::vector<double> scaled;
    for (float v : values) scaled.push_back(Half::fromFloat(static_cast<float>(Half::fromFloat(v).toFloat() * scale)).toFloat());
    for (double v : scaled) top = std::max(top, v);
    for (double v : scaled) sum += std::exp(v - top);
    return scaled[at] - top - std::log(sum);
}

GreedyTokenSampler sampler(float temperature, int64_t topK = 5, int64_t eot = 9) {
    DecodingOptions options;
    options.topK = topK;
    return GreedyTokenSampler(Half::fromFloat(temperature), eot, options);
}

}  // namespace

TEST(GreedyTokenSampler, TemperatureZeroTakesTheLargestLogitWithoutDrawing) {
    const std::vector<float> values{0.5f, 2.0f, -1.0f, 2.0f, 1.0f};
    auto greedy = sampler(0);
    int draws = 0;
    greedy.setRandomSource([&] { ++draws; return 0.5; });
    const auto logits = logitsOf(values);
    const auto first = greedy.update({7, 8}, *logits, {0.0f, -0.5f});
    const auto second = greedy.update({7, 8}, *logits, {0.0f, -0.5f});
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.tokens, (std::vector<int64_t>{7, 8, 1}));  // the lower id of the tie
    ASSERT_EQ(first.logProbs.size(), 3u);
    EXPECT_EQ(first.logProbs[1], -0.5f);
    EXPECT_NEAR(first.logProbs[2], logSoftmax(values, 1), 1e-5);
    EXPECT_FALSE(first.completed);
    EXPECT_EQ(draws, 0);
}

TEST(GreedyTokenSampler, AtATemperatureTheDrawWalksTheTopK) {
    // Softmax of the scaled logits (T = 0.5): ids 2, 0, 3 hold most of it.
    const std::vector<float> values{1.0f, -3.0f, 1.5f, 0.5f, -2.0f};
    const auto logits = logitsOf(values);
    struct Case {
        double uniform;
        int64_t topK;
        int64_t token;
    };
    // Top 3 by probability: 2 (0.665), 0 (0.245), 3 (0.090); together 0.9995.
    for (const auto& c : {Case{0.0, 3, 2}, Case{0.5, 3, 2}, Case{0.7, 3, 0}, Case{0.95, 3, 3}, Case{0.9999, 3, 3},
                          Case{0.95, 1, 2}, Case{0.95, 99, 3}}) {
        auto warm = sampler(0.5f, c.topK);
        warm.setRandomSource([&] { return c.uniform; });
        const auto result = warm.update({}, *logits, {});
        ASSERT_EQ(result.tokens.size(), 1u);
        EXPECT_EQ(result.tokens[0], c.token) << c.uniform << " top " << c.topK;
        // The log-probability of the full scaled distribution, not of the top k.
        EXPECT_NEAR(result.logProbs[0], logSoftmax(values, static_cast<size_t>(c.token), 2.0), 1e-5);
        EXPECT_LE(result.logProbs[0], 0.0f);
    }
}

TEST(GreedyTokenSampler, EndTokenCompletesAndFinalizeClosesTheList) {
    auto greedy = sampler(0, 5, 3);
    const auto ended = greedy.update({1}, *logitsOf({0, 0, 0, 5}), {0});
    EXPECT_TRUE(ended.completed);
    EXPECT_EQ(greedy.finalize({1, 3}, {0, -0.1f}), (SamplingResult{{1, 3}, {0, -0.1f}, true}));
    EXPECT_EQ(greedy.finalize({1, 2}, {0, -0.1f}), (SamplingResult{{1, 2, 3}, {0, -0.1f, 0}, true}));
    EXPECT_EQ(greedy.finalize({}, {}), (SamplingResult{{3}, {0}, true}));
}

TEST(GreedyTokenSampler, LogitsWithNothingPossibleDoNotCrash) {
    LogCapture log(ZezeziCore::Logging::LogLevel::error);
    const float minusInfinity = -INFINITY;
    auto greedy = sampler(0);
    const auto result = greedy.update({}, *logitsOf({minusInfinity, minusInfinity}), {});
    ASSERT_EQ(result.tokens.size(), 1u);
    EXPECT_TRUE(std::isinf(result.logProbs[0]) && result.logProbs[0] < 0);
    EXPECT_EQ(countOf(log.texts(), "Sampling error: "), 1u);
    auto warm = sampler(1);
    EXPECT_EQ(warm.update({}, *logitsOf({minusInfinity}), {}).tokens.size(), 1u);
}

TEST(BeamSearchTokenSampler, HoldsItsConfigurationButDoesNotSample) {
    BeamSearchTokenSampler five(5, 9, 1.0f);
    EXPECT_EQ(five.maxCandidates(), 5);
    EXPECT_TRUE(five.finishedSequences().empty());
    struct Refused {
        int64_t beam;
        float patience;
        const char* message;
    };
    for (const auto& r : {Refused{5, 0.1f, "Invalid beam size 5 or patience 0.1"},
                          Refused{0, 1.0f, "Invalid beam size 0 or patience 1.0"}}) {
        try {
            BeamSearchTokenSampler(r.beam, 9, r.patience);
            ADD_FAILURE() << r.message;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), r.message);
        }
    }
    const auto logits = logitsOf({0, 1});
    try {
        five.update({}, *logits, {});
        ADD_FAILURE();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Not implemented: update(tokens:logits:logProbs:)");
    }
    try {
        five.finalize({}, {});
        ADD_FAILURE();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Not implemented: finalize(tokens:logProbs:)");
    }
}
