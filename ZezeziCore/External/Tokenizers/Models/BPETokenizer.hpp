#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Models/MergeTable.hpp"
#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

// One merge: symbol `a` directly followed by symbol `b`.
struct BytePair {
    std::string a;
    std::string b;
    bool operator==(const BytePair&) const = default;
};

// Byte-pair model: merges ranked symbols of one pre-token into vocabulary
// pieces; pieces it cannot map fall back to "<0xHH>" byte pieces.
class BPETokenizer : public TokenizingModel {
public:
    // Throws TokenizerError: mismatchedConfig("BPETokenizer requires merges"),
    // missingVocab, or malformedVocab for a merge with fewer than two parts.
    BPETokenizer(const Config& tokenizerConfig, const Config& tokenizerData, const AddedTokenIds& addedTokens);
    ~BPETokenizer() override;

    std::vector<std::string> tokenize(std::string_view text) const override;
    void appendIds(std::string_view text, std::vector<int64_t>& ids) const override;
    // The merged symbols of one word joined by single spaces.
    std::string bpe(std::string_view token) const;
    std::vector<std::string> hexaEncode(std::string_view text) const;

    // The merges as lists of parts: "a b" strings split at every space (empty
    // parts kept), arrays by their string elements. Absent when not an array.
    static std::optional<std::vector<std::vector<std::string>>> mergesFromConfig(const Config& merges);

    std::optional<int64_t> convertTokenToId(std::string_view token) const override;
    std::optional<std::string> convertIdToToken(int64_t id) const override;
    std::optional<std::string> bosToken() const override { return bosToken_; }
    std::optional<int64_t> bosTokenId() const override { return bosTokenId_; }
    std::optional<std::string> eosToken() const override { return eosToken_; }
    std::optional<int64_t> eosTokenId() const override { return eosTokenId_; }
    std::optional<std::string> unknownToken() const override { return unknownToken_; }
    std::optional<int64_t> unknownTokenId() const override { return unknownTokenId_; }
    bool fuseUnknownTokens() const override { return fuseUnknownTokens_; }

    std::optional<int64_t> rank(const BytePair& pair) const;

private:
    struct Cache;

    int32_t symbolId(std::string_view s) const;
    // The id of a one-character symbol, without hashing when it is a single
    // scalar below U+0800 (every byte-level symbol is).
    int32_t characterSymbolId(std::string_view character) const;
    int32_t intern(const std::string& s);
    // Final symbols of a word as byte ranges into it.
    std::vector<std::pair<std::size_t, std::size_t>> mergeWord(std::string_view word) const;
    std::vector<std::string> tokenizeUncached(std::string_view text) const;
    // The tokens of one word, each with its id (the unknown token's id where
    // the vocabulary has none).
    using TokenVisitor = std::function<void(std::string_view token, const std::optional<int64_t>& id)>;
    void forEachToken(std::string_view text, const TokenVisitor& visit) const;

    text::StringMap<int32_t> symbols_;
    std::vector<int32_t> smallSymbols_;  // by scalar value, below U+0800; -1 for none
    MergeTable merges_;
    text::StringMap<int64_t> tokensToIds_;
    std::unordered_map<int64_t, std::string> idsToTokens_;
    std::optional<std::string> bosToken_;
    std::optional<int64_t> bosTokenId_;
    std::optional<std::string> eosToken_;
    std::optional<int64_t> eosTokenId_;
    std::optional<std::string> unknownToken_;
    std::optional<int64_t> unknownTokenId_;
    bool fuseUnknownTokens_ = false;
    std::unique_ptr<Cache> cache_;
};

}  // namespace Tokenizers
