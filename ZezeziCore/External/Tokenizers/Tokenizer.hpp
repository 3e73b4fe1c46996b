#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ZezeziCore/External/Hub/Config.hpp"

namespace Tokenizers {

using ZezeziCore::Config;

// Content to id of every added token, as the pretrained tokenizer reads them.
using AddedTokenIds = std::unordered_map<std::string, int64_t>;

// Token/id lookups and the special tokens, shared by ready tokenizers and
// vocabulary models.
class TokenVocabulary {
public:
    virtual ~TokenVocabulary() = default;

    virtual std::optional<int64_t> convertTokenToId(std::string_view token) const = 0;
    std::vector<std::optional<int64_t>> convertTokensToIds(const std::vector<std::string>& tokens) const;
    virtual std::optional<std::string> convertIdToToken(int64_t id) const = 0;
    std::vector<std::optional<std::string>> convertIdsToTokens(const std::vector<int64_t>& ids) const;

    virtual std::optional<std::string> bosToken() const = 0;
    virtual std::optional<int64_t> bosTokenId() const = 0;
    virtual std::optional<std::string> eosToken() const = 0;
    virtual std::optional<int64_t> eosTokenId() const = 0;
    virtual std::optional<std::string> unknownToken() const = 0;
    virtual std::optional<int64_t> unknownTokenId() const = 0;
};

// A ready tokenizer: text to token ids and back. Texts are UTF-8.
class Tokenizer : public TokenVocabulary {
public:
    virtual std::vector<std::string> tokenize(std::string_view text) const = 0;
    std::vector<int64_t> encode(std::string_view text) const { return encode(text, true); }
    virtual std::vector<int64_t> encode(std::string_view text, bool addSpecialTokens) const = 0;
    std::vector<int64_t> operator()(std::string_view text, bool addSpecialTokens = true) const {
        return encode(text, addSpecialTokens);
    }
    // Special tokens stay in the text.
    std::string decode(const std::vector<int64_t>& tokens) const { return decode(tokens, false); }
    virtual std::string decode(const std::vector<int64_t>& tokens, bool skipSpecialTokens) const = 0;
};

// A vocabulary model: one pre-tokenized piece to model tokens, and the
// token/id tables.
class TokenizingModel : public TokenVocabulary {
public:
    virtual std::vector<std::string> tokenize(std::string_view text) const = 0;
    std::vector<std::string> operator()(std::string_view text) const { return tokenize(text); }

    // The ids of tokenize(text), appended: each token's id, else the unknown
    // token's. Throws TokenizerError.mismatchedConfig("Token not in vocab: ...")
    // when neither exists (the ids of earlier tokens stay appended).
    virtual void appendIds(std::string_view text, std::vector<int64_t>& ids) const;

    virtual bool fuseUnknownTokens() const = 0;
};

// The id of a token; throws TokenizerError.mismatchedConfig("Token not in
// vocab: <token>") when the vocabulary has none for it.
int64_t requireId(const TokenVocabulary& vocabulary, std::string_view token);

// The unknown token of a tokenizer configuration: `unk_token` as a string or
// as an object with a `content` string.
std::optional<std::string> unknownTokenFrom(const Config& tokenizerConfig);

// A token entry written as a plain string or as an object with `content`.
std::optional<std::string> addedTokenAsString(const Config& entry);

}  // namespace Tokenizers
