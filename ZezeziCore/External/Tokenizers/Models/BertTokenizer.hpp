#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

// Accent folding, lower-casing, white-space and punctuation splitting, with a
// few markers never split.
class BasicTokenizer {
public:
    explicit BasicTokenizer(bool doLowerCase) : doLowerCase_(doLowerCase) {}
    std::vector<std::string> tokenize(std::string_view text) const;
    bool doLowerCase() const { return doLowerCase_; }
    static const std::vector<std::string>& neverSplit();

private:
    bool doLowerCase_;
};

// Greedy longest-match-first sub-words with the "##" continuation prefix.
// Vocabulary keys are compared in NFC, so canonically equal spellings meet.
class WordpieceTokenizer {
public:
    WordpieceTokenizer(std::shared_ptr<const std::unordered_map<std::string, int64_t>> vocab) : vocab_(std::move(vocab)) {}
    std::vector<std::string> tokenize(std::string_view word) const;
    static constexpr const char* unkToken = "[UNK]";
    static constexpr std::size_t maxInputCharsPerWord = 100;

private:
    std::shared_ptr<const std::unordered_map<std::string, int64_t>> vocab_;
};

// WordPiece model.
class BertTokenizer : public TokenizingModel {
public:
    BertTokenizer(const Config& tokenizerConfig, const Config& tokenizerData, const AddedTokenIds& addedTokens);

    std::vector<std::string> tokenize(std::string_view text) const override;
    std::optional<int64_t> convertTokenToId(std::string_view token) const override;
    std::optional<std::string> convertIdToToken(int64_t id) const override;
    std::optional<std::string> bosToken() const override { return bosToken_; }
    std::optional<int64_t> bosTokenId() const override { return bosTokenId_; }
    std::optional<std::string> eosToken() const override { return eosToken_; }
    std::optional<int64_t> eosTokenId() const override { return eosTokenId_; }
    std::optional<std::string> unknownToken() const override { return std::string(WordpieceTokenizer::unkToken); }
    std::optional<int64_t> unknownTokenId() const override;
    bool fuseUnknownTokens() const override { return fuseUnknownTokens_; }

    static constexpr int64_t maxLen = 512;

private:
    std::string tokenizeChineseCharsIfNeed(std::string_view text) const;

    std::shared_ptr<std::unordered_map<std::string, int64_t>> vocab_;
    std::unordered_map<int64_t, std::string> idsToTokens_;
    BasicTokenizer basicTokenizer_;
    std::unique_ptr<WordpieceTokenizer> wordpieceTokenizer_;
    bool tokenizeChineseChars_ = true;
    std::optional<std::string> bosToken_;
    std::optional<int64_t> bosTokenId_;
    std::optional<std::string> eosToken_;
    std::optional<int64_t> eosTokenId_;
    bool fuseUnknownTokens_ = false;
};

}  // namespace Tokenizers
