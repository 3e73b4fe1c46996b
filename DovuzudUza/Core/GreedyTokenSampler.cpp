#include "DovuzudUza/Core/GreedyTokenSampler.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/LogitsVector.hpp"
#include "platform/ml/Kernels.hpp"

namespace DovuzudUza {

using platform::ml::Half;

namespace {

double systemUniform() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

// Index of the largest value, the lowest on a tie; 0 when none compares.
size_t argmax(const std::vector<float>& values) {
    size_t best = 0;
    for (size_t i = 1; i < values.size(); ++i)
        if (values[i] > values[best]) best = i;
    return best;
}

// Softmax of the values into `probabilities` with the runtime's vector
// kernel; false when it has no meaning (no finite value to normalise by).
bool softmax(const std::vector<float>& values, float top, std::vector<float>& probabilities) {
    if (values.empty() || !std::isfinite(top)) return false;
    probabilities = values;
    platform::ml::kernels::softmaxRow(probabilities.data(), static_cast<int64_t>(probabilities.size()), 1.0f);
    return true;
}

}  // namespace

GreedyTokenSampler::GreedyTokenSampler(Half temperature, int64_t eotToken, DecodingOptions decodingOptions)
    : temperature(temperature), eotToken(eotToken), decodingOptions(std::move(decodingOptions)), random_(systemUniform) {}

std::pair<int64_t, float> GreedyTokenSampler::sample(const platform::ml::MultiArray& logits) {
    LogitsVector::read(logits, values_);
    if (values_.empty()) {
        engine_log::error("Sampling error: the logits are empty");
        return {eotToken, -std::numeric_limits<float>::infinity()};
    }

    if (temperature == Half::fromFloat(0)) {
        const size_t token = argmax(values_);
        if (!softmax(values_, values_[token], probabilities_)) {
            engine_log::error("Sampling error: the logits have no finite value");
            return {static_cast<int64_t>(token), -std::numeric_limits<float>::infinity()};
        }
        return {static_cast<int64_t>(token), std::log(probabilities_[token])};
    }

    // Scaled as a half-precision vector, as the logits themselves are.
    const float alpha = (Half::fromFloat(1) / temperature).toFloat();
    for (float& v : values_) v = Half::fromFloat(v * alpha).toFloat();
    if (!softmax(values_, values_[argmax(values_)], probabilities_)) {
        engine_log::error("Sampling error: the scaled logits have no finite value");
        return {static_cast<int64_t>(argmax(values_)), -std::numeric_limits<float>::infinity()};
    }

    const auto vocabulary = static_cast<int64_t>(probabilities_.size());
    const auto k = static_cast<size_t>(std::clamp<int64_t>(decodingOptions.topK, 1, vocabulary));
    std::vector<int32_t> top(probabilities_.size());
    std::iota(top.begin(), top.end(), 0);
    std::partial_sort(top.begin(), top.begin() + static_cast<std::ptrdiff_t>(k), top.end(), [&](int32_t a, int32_t b) {
        const float pa = probabilities_[static_cast<size_t>(a)], pb = probabilities_[static_cast<size_t>(b)];
        return pa > pb || (pa == pb && a < b);
    });
    float sum = 0;
    for (size_t j = 0; j < k; ++j) sum += probabilities_[static_cast<size_t>(top[j])];
    float r = static_cast<float>(random_()) * sum;
    if (r >= sum) r = std::nextafter(sum, 0.0f);
    size_t chosen = 0;
    float cumulative = 0;
    for (size_t j = 0; j < k; ++j) {
        cumulative += probabilities_[static_cast<size_t>(top[j])];
        if (cumulative > r) {
            chosen = j;
            break;
        }
    }
    const auto token = static_cast<size_t>(top[chosen]);
    return {static_cast<int64_t>(token), std::log(probabilities_[token])};
}

SamplingResult GreedyTokenSampler::update(const std::vector<int64_t>& tokens, const platform::ml::MultiArray& logits,
                                          const std::vector<float>& logProbs) {
    const auto [token, logProb] = sample(logits);
    SamplingResult result{tokens, logProbs, token == eotToken};
    result.tokens.push_back(token);
    result.logProbs.push_back(logProb);
    return result;
}

SamplingResult GreedyTokenSampler::finalize(const std::vector<int64_t>& tokens, const std::vector<float>& logProbs) {
    SamplingResult result{tokens, logProbs, true};
    if (result.tokens.empty() || result.tokens.back() != eotToken) {
        result.tokens.push_back(eotToken);
        result.logProbs.push_back(0.0f);
    }
    return result;
}

}  // namespace DovuzudUza
