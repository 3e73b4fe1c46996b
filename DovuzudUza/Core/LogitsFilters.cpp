#include "DovuzudUza/Core/LogitsFilters.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/LogitsVector.hpp"
#include "ZezeziCore/MultiArrayExtensions.hpp"

namespace DovuzudUza {

using platform::ml::MultiArray;

namespace {

std::vector<std::vector<int64_t>> indexesOf(const std::vector<int64_t>& ids) {
    std::vector<std::vector<int64_t>> indexes;
    indexes.reserve(ids.size());
    for (int64_t id : ids) indexes.push_back({0, 0, id});
    return indexes;
}

int64_t historyLength(const std::vector<int64_t>& tokens) { return static_cast<int64_t>(tokens.size()); }

// True when the timestamps together are more likely than the best text
// token: the log-sum-exp of the log-probabilities of ids at or above
// `timeTokenBegin` beats the largest log-probability below it. Compared
// on the raw logits: the log-softmax shifts both sides alike.
bool timestampsOutweighText(const MultiArray& logits, int64_t timeTokenBegin) {
    thread_local std::vector<float> values;
    LogitsVector::read(logits, values);
    const auto count = static_cast<int64_t>(values.size());
    const int64_t split = std::clamp<int64_t>(timeTokenBegin, 0, count);
    if (split == count) return false;
    const float top = *std::max_element(values.begin(), values.end());
    if (!std::isfinite(top)) return false;  // nothing is possible, or the logits are no numbers
    float textMax = -std::numeric_limits<float>::infinity();
    for (int64_t i = 0; i < split; ++i) textMax = std::max(textMax, values[static_cast<size_t>(i)]);
    float timestampSum = 0;
    for (int64_t i = split; i < count; ++i) timestampSum += std::exp(values[static_cast<size_t>(i)] - top);
    const float timestampLogSumExp = std::log(timestampSum) + top;
    return timestampLogSumExp > textMax;
}

}  // namespace

void forbidTokenIndexes(MultiArray& logits, const std::vector<std::vector<int64_t>>& indexes) {
    if (!LogitsVector::isFloat16(logits)) return;
    ZezeziCore::fill(logits, indexes, ZezeziCore::kFloat16NegativeInfinity);
}

// --- SuppressTokensFilter -------------------------------------------------

SuppressTokensFilter::SuppressTokensFilter(std::vector<int64_t> suppressTokens)
    : suppressTokens_(std::move(suppressTokens)), suppressTokenIndexes_(indexesOf(suppressTokens_)) {
    if (std::any_of(suppressTokens_.begin(), suppressTokens_.end(), [](int64_t id) { return id < 0; }))
        engine_log::debug("SuppressTokensFilter: ignoring negative ids in suppressTokens; the -1 sentinel "
                          "(suppress default non-speech tokens) is not supported");
}

std::shared_ptr<MultiArray> SuppressTokensFilter::filterLogits(std::shared_ptr<MultiArray> logits,
                                                               const std::vector<int64_t>&) {
    if (logits) forbidTokenIndexes(*logits, suppressTokenIndexes_);
    return logits;
}

// --- SuppressBlankFilter --------------------------------------------------

SuppressBlankFilter::SuppressBlankFilter(SpecialTokens specialTokens, int64_t sampleBegin)
    : specialTokens_(specialTokens),
      sampleBegin_(sampleBegin),
      suppressTokenIndexes_(indexesOf({specialTokens.whitespaceToken, specialTokens.endToken})) {}

std::shared_ptr<MultiArray> SuppressBlankFilter::filterLogits(std::shared_ptr<MultiArray> logits,
                                                              const std::vector<int64_t>& withTokens) {
    if (logits && historyLength(withTokens) == sampleBegin_) forbidTokenIndexes(*logits, suppressTokenIndexes_);
    return logits;
}

// --- TimestampRulesFilter -------------------------------------------------

TimestampRulesFilter::TimestampRulesFilter(SpecialTokens specialTokens, int64_t sampleBegin,
                                           std::optional<int64_t> maxInitialTimestampIndex, bool isModelMultilingual)
    : specialTokens_(specialTokens),
      sampleBegin_(sampleBegin),
      maxInitialTimestampIndex_(maxInitialTimestampIndex),
      isModelMultilingual_(isModelMultilingual) {}

std::optional<int64_t> TimestampRulesFilter::sampleBegin(const std::vector<int64_t>& tokens) const {
    if (!isModelMultilingual_) return sampleBegin_;
    for (int64_t p = 0; p < std::min<int64_t>(3, historyLength(tokens)); ++p) {
        const int64_t token = tokens[static_cast<size_t>(p)];
        if (token == specialTokens_.transcribeToken || token == specialTokens_.translateToken)
            return std::max(sampleBegin_, p + 1);
    }
    return std::nullopt;
}

std::shared_ptr<MultiArray> TimestampRulesFilter::filterLogits(std::shared_ptr<MultiArray> logits,
                                                               const std::vector<int64_t>& tokens) {
    if (!logits || !LogitsVector::isFloat16(*logits)) return logits;
    const auto start = sampleBegin(tokens);
    if (!start) return logits;
    const int64_t length = historyLength(tokens);
    if (length < *start) return logits;
    const int64_t T = specialTokens_.timeTokenBegin;
    const int64_t vocabulary = logits->count();

    LogitsVector::forbidRange(*logits, specialTokens_.noTimestampsToken, specialTokens_.noTimestampsToken + 1);

    if (length > *start) {
        const int64_t last = tokens.back();
        const bool lastIsTimestamp = last >= T;
        const bool penultimateIsTimestamp = length - *start == 1 || tokens[tokens.size() - 2] >= T;
        if (lastIsTimestamp) {
            if (penultimateIsTimestamp)
                LogitsVector::forbidRange(*logits, T, vocabulary);
            else
                LogitsVector::forbidRange(*logits, 0, specialTokens_.endToken);
        }
        // Timestamps never go back: only the last one may repeat, to close its pair.
        for (auto it = tokens.rbegin(); it != tokens.rend() - *start; ++it) {
            if (*it < T) continue;
            const int64_t bound = (lastIsTimestamp && !penultimateIsTimestamp) ? *it : *it + 1;
            LogitsVector::forbidRange(*logits, T, bound);
            break;
        }
    }

    if (timestampsOutweighText(*logits, T)) LogitsVector::forbidRange(*logits, 0, T);
    return logits;
}

// --- LanguageLogitsFilter -------------------------------------------------

LanguageLogitsFilter::LanguageLogitsFilter(std::set<int64_t> allLanguageTokens, int64_t logitsDim, int64_t sampleBegin)
    : allLanguageTokens_(std::move(allLanguageTokens)), logitsDim_(logitsDim), sampleBegin_(sampleBegin) {
    for (int64_t id = 0; id < logitsDim_; ++id)
        if (!allLanguageTokens_.count(id)) nonLanguageTokenIndexes_.push_back({0, 0, id});
}

std::shared_ptr<MultiArray> LanguageLogitsFilter::filterLogits(std::shared_ptr<MultiArray> logits,
                                                               const std::vector<int64_t>& withTokens) {
    if (logits && historyLength(withTokens) >= sampleBegin_) forbidTokenIndexes(*logits, nonLanguageTokenIndexes_);
    return logits;
}

}  // namespace DovuzudUza
