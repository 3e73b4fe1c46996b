#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "DovuzudUza/Core/LogitsFiltering.hpp"
#include "DovuzudUza/Core/SpecialTokens.hpp"

// The filters that forbid tokens before the sampler picks the next one, by
// setting their logits to float16 minus infinity. Logits are a float16
// [1, 1, V] array, a token id is a position on the last axis; positions
// outside it are skipped, and an array of another kind is left as it is.
// The token history is the window's tokens so far, prompt included. Every
// filter is immutable once built and changes the logits in place.
namespace DovuzudUza {

// Forbids a fixed list of ids at every step.
class SuppressTokensFilter : public LogitsFiltering {
public:
    // Negative ids are kept in the list but write nothing (one debug line).
    explicit SuppressTokensFilter(std::vector<int64_t> suppressTokens);

    std::shared_ptr<platform::ml::MultiArray> filterLogits(std::shared_ptr<platform::ml::MultiArray> logits,
                                                           const std::vector<int64_t>& withTokens) override;

    const std::vector<int64_t>& suppressTokens() const { return suppressTokens_; }
    const std::vector<std::vector<int64_t>>& suppressTokenIndexes() const { return suppressTokenIndexes_; }

private:
    std::vector<int64_t> suppressTokens_;
    std::vector<std::vector<int64_t>> suppressTokenIndexes_;
};

// Forbids the blank (whitespace) and end tokens at the first sampled
// position only (a history exactly `sampleBegin` long).
class SuppressBlankFilter : public LogitsFiltering {
public:
    SuppressBlankFilter(SpecialTokens specialTokens, int64_t sampleBegin);

    std::shared_ptr<platform::ml::MultiArray> filterLogits(std::shared_ptr<platform::ml::MultiArray> logits,
                                                           const std::vector<int64_t>& withTokens) override;

    const SpecialTokens& specialTokens() const { return specialTokens_; }
    int64_t sampleBegin() const { return sampleBegin_; }
    const std::vector<std::vector<int64_t>>& suppressTokenIndexes() const { return suppressTokenIndexes_; }

private:
    SpecialTokens specialTokens_;
    int64_t sampleBegin_;
    std::vector<std::vector<int64_t>> suppressTokenIndexes_;
};

// Keeps timestamp tokens well formed: no "no timestamps" token; timestamps
// come in pairs and never go back; when the timestamps together are more
// likely than the best text token, a timestamp must come next.
class TimestampRulesFilter : public LogitsFiltering {
public:
    // `maxInitialTimestampIndex` is kept but no rule reads it.
    TimestampRulesFilter(SpecialTokens specialTokens, int64_t sampleBegin, std::optional<int64_t> maxInitialTimestampIndex,
                         bool isModelMultilingual);

    std::shared_ptr<platform::ml::MultiArray> filterLogits(std::shared_ptr<platform::ml::MultiArray> logits,
                                                           const std::vector<int64_t>& withTokens) override;

    // Where sampled tokens start in the history: after the task token in
    // the first three positions on a multilingual model (at least
    // `sampleBegin`), absent when none stands there; `sampleBegin` otherwise.
    std::optional<int64_t> sampleBegin(const std::vector<int64_t>& tokens) const;

    const SpecialTokens& specialTokens() const { return specialTokens_; }
    int64_t sampleBegin() const { return sampleBegin_; }
    std::optional<int64_t> maxInitialTimestampIndex() const { return maxInitialTimestampIndex_; }
    bool isModelMultilingual() const { return isModelMultilingual_; }

private:
    SpecialTokens specialTokens_;
    int64_t sampleBegin_;
    std::optional<int64_t> maxInitialTimestampIndex_;
    bool isModelMultilingual_;
};

// Leaves only language tokens possible once the history is `sampleBegin`
// long (language detection).
class LanguageLogitsFilter : public LogitsFiltering {
public:
    LanguageLogitsFilter(std::set<int64_t> allLanguageTokens, int64_t logitsDim, int64_t sampleBegin);

    std::shared_ptr<platform::ml::MultiArray> filterLogits(std::shared_ptr<platform::ml::MultiArray> logits,
                                                           const std::vector<int64_t>& withTokens) override;

    const std::set<int64_t>& allLanguageTokens() const { return allLanguageTokens_; }
    int64_t logitsDim() const { return logitsDim_; }
    int64_t sampleBegin() const { return sampleBegin_; }
    const std::vector<std::vector<int64_t>>& nonLanguageTokenIndexes() const { return nonLanguageTokenIndexes_; }

private:
    std::set<int64_t> allLanguageTokens_;
    int64_t logitsDim_;
    int64_t sampleBegin_;
    std::vector<std::vector<int64_t>> nonLanguageTokenIndexes_;
};

// Writes float16 minus infinity at the [0, 0, id] indexes of a float16
// array (others skipped); an array of another kind is left as it is.
void forbidTokenIndexes(platform::ml::MultiArray& logits, const std::vector<std::vector<int64_t>>& indexes);

}  // namespace DovuzudUza
