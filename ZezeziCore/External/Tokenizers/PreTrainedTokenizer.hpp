#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Decoders/Decoders.hpp"
#include "ZezeziCore/External/Tokenizers/Normalizers/Normalizers.hpp"
#include "ZezeziCore/External/Tokenizers/PostProcessors/PostProcessors.hpp"
#include "ZezeziCore/External/Tokenizers/PreTokenizers/PreTokenizers.hpp"
#include "ZezeziCore/External/Tokenizers/Regex.hpp"
#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

// A tokenizer built from tokenizer_config.json and tokenizer.json: added
// tokens, normalizer, pre-tokenizer, vocabulary model, post-processor and
// decoder, each chosen by keyword. Immutable once built; safe to share
// between threads.
class PreTrainedTokenizer : public Tokenizer {
public:
    // Throws TokenizerError (configuration errors of any stage, or the model
    // factory's errors); nothing is built then.
    PreTrainedTokenizer(const Config& tokenizerConfig, const Config& tokenizerData, bool strict);

    using Tokenizer::decode;
    using Tokenizer::encode;

    std::vector<std::string> tokenize(std::string_view text) const override;
    // Throws TokenizerError.mismatchedConfig("Token not in vocab: ...") for a
    // token the model has no id for (and no unknown-token id).
    std::vector<int64_t> encode(std::string_view text, bool addSpecialTokens) const override;
    std::string decode(const std::vector<int64_t>& tokens, bool skipSpecialTokens) const override;

    std::optional<int64_t> convertTokenToId(std::string_view token) const override { return model_->convertTokenToId(token); }
    std::optional<std::string> convertIdToToken(int64_t id) const override { return model_->convertIdToToken(id); }
    std::optional<std::string> bosToken() const override { return model_->bosToken(); }
    std::optional<int64_t> bosTokenId() const override { return model_->bosTokenId(); }
    std::optional<std::string> eosToken() const override { return model_->eosToken(); }
    std::optional<int64_t> eosTokenId() const override { return model_->eosTokenId(); }
    std::optional<std::string> unknownToken() const override { return model_->unknownToken(); }
    std::optional<int64_t> unknownTokenId() const override { return model_->unknownTokenId(); }
    virtual bool fuseUnknownTokens() const { return model_->fuseUnknownTokens(); }

    virtual std::vector<std::string> preTokenize(std::string_view text, PreTokenizerOptions options) const;
    virtual std::string normalize(std::string_view text) const;
    virtual std::vector<std::string> postProcess(const std::vector<std::string>& tokens, bool addSpecialTokens) const;
    virtual std::vector<std::string> decodeTokens(const std::vector<std::string>& tokens) const;
    virtual std::string cleanUp(std::string_view text) const;
    virtual std::vector<std::string> fuseUnknown(const std::vector<std::string>& tokens) const;

    // The sections of a text cut at added tokens.
    std::vector<std::string> splitAtAddedTokens(std::string_view text) const;
    // The same as views into the text.
    std::vector<std::string_view> sectionsAtAddedTokens(std::string_view text) const;

protected:
    // Post-processing and ids of tokens already made.
    std::vector<int64_t> encodeTokens(std::vector<std::string> tokens, bool addSpecialTokens) const;

public:

    const TokenizingModel& model() const { return *model_; }
    const std::unordered_set<std::string>& addedTokens() const { return addedTokens_; }
    const std::unordered_map<std::string, int64_t>& specialTokens() const { return specialTokens_; }
    const Config& tokenizerConfig() const { return tokenizerConfig_; }
    bool cleanUpTokenizationSpaces() const { return cleanUpTokenizationSpaces_; }

private:
    // encode without token texts: the model hands out ids and the
    // post-processor's layout places the special tokens. Gives the same ids
    // as the texts would; used where no step needs the texts themselves.
    std::vector<int64_t> encodeIds(std::string_view text, const PostProcessor::Layout& layout) const;
    void appendSequenceIds(std::string_view text, std::vector<int64_t>& ids) const;

    std::unique_ptr<TokenizingModel> model_;
    std::unordered_set<std::string> addedTokens_;
    std::unordered_map<std::string, int64_t> specialTokens_;
    std::unordered_set<int64_t> specialTokenIds_;
    std::optional<Regex> addedTokensRegex_;
    // Bytes that open an added token: a text holding none has no match.
    std::array<bool, 256> addedTokenFirstBytes_{};
    // Per capture group of the alternation (group 1 first): whether white
    // space before / after the token goes with it.
    std::vector<std::pair<bool, bool>> addedTokenStrips_;
    std::shared_ptr<const PreTokenizer> preTokenizer_;
    std::shared_ptr<const Normalizer> normalizer_;
    std::shared_ptr<const PostProcessor> postProcessor_;
    std::shared_ptr<const Decoder> decoder_;
    Config tokenizerConfig_;
    bool cleanUpTokenizationSpaces_ = true;
};

// A replacement post-processor configuration built from add_bos_token and
// add_eos_token, or none when the configured one is a template already.
// Throws TokenizerError.mismatchedConfig when a flag is set without its token.
std::optional<Config> maybeUpdatePostProcessor(const Config& tokenizerConfig, const Config& processorConfig);

class LlamaPreTrainedTokenizer : public PreTrainedTokenizer {
public:
    LlamaPreTrainedTokenizer(const Config& tokenizerConfig, const Config& tokenizerData, bool strict);
    std::vector<std::string> tokenize(std::string_view text) const override;
    using Tokenizer::encode;
    // Through its own tokenize.
    std::vector<int64_t> encode(std::string_view text, bool addSpecialTokens) const override {
        return encodeTokens(tokenize(text), addSpecialTokens);
    }
    bool isLegacy() const { return isLegacy_; }

private:
    static Config rewrittenData(const Config& tokenizerConfig, const Config& tokenizerData);
    bool isLegacy_;
};

}  // namespace Tokenizers
