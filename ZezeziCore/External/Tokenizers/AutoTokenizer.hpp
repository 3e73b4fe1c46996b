#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/External/Tokenizers/PreTrainedTokenizer.hpp"

namespace Tokenizers {

// The loaded tokenizer the rest of the program holds; copies share it.
class TokenizerWrapper {
public:
    explicit TokenizerWrapper(std::shared_ptr<const Tokenizer> impl) : impl_(std::move(impl)) {}

    std::vector<std::string> tokenize(std::string_view text) const { return impl_->tokenize(text); }
    std::vector<int64_t> encode(std::string_view text) const { return impl_->encode(text); }
    std::vector<int64_t> encode(std::string_view text, bool addSpecialTokens) const { return impl_->encode(text, addSpecialTokens); }
    std::string decode(const std::vector<int64_t>& tokens) const { return impl_->decode(tokens); }
    std::string decode(const std::vector<int64_t>& tokens, bool skipSpecialTokens) const {
        return impl_->decode(tokens, skipSpecialTokens);
    }
    std::optional<int64_t> convertTokenToId(std::string_view token) const { return impl_->convertTokenToId(token); }
    std::vector<std::optional<int64_t>> convertTokensToIds(const std::vector<std::string>& tokens) const {
        return impl_->convertTokensToIds(tokens);
    }
    std::optional<std::string> convertIdToToken(int64_t id) const { return impl_->convertIdToToken(id); }
    std::vector<std::optional<std::string>> convertIdsToTokens(const std::vector<int64_t>& ids) const {
        return impl_->convertIdsToTokens(ids);
    }
    std::optional<std::string> bosToken() const { return impl_->bosToken(); }
    std::optional<int64_t> bosTokenId() const { return impl_->bosTokenId(); }
    std::optional<std::string> eosToken() const { return impl_->eosToken(); }
    std::optional<int64_t> eosTokenId() const { return impl_->eosTokenId(); }
    std::optional<std::string> unknownToken() const { return impl_->unknownToken(); }
    std::optional<int64_t> unknownTokenId() const { return impl_->unknownTokenId(); }

    const std::shared_ptr<const Tokenizer>& impl() const { return impl_; }

private:
    std::shared_ptr<const Tokenizer> impl_;
};

namespace PreTrainedTokenizerClasses {
using Constructor = std::function<std::shared_ptr<const Tokenizer>(const Config& tokenizerConfig,
                                                                    const Config& tokenizerData, bool strict)>;
// Tokenizer classes other than the plain pretrained one, by class name.
const std::unordered_map<std::string, Constructor>& tokenizerClasses();
}  // namespace PreTrainedTokenizerClasses

// Loads a model's tokenizer files and builds the tokenizer they describe.
// Blocking; throws TokenizerError.missingConfig without tokenizer_config.json,
// the configuration loader's errors, or the construction's errors.
struct AutoTokenizerWrapper {
    // From a hub repository at revision "main"; "LlamaTokenizer" (any "Fast"
    // removed) picks the Llama tokenizer.
    static TokenizerWrapper fromPretrained(const std::string& pretrained, const Hub::HubApiWrapper& hubApi, bool strict);
    // From a folder holding the files; always the plain pretrained tokenizer.
    // Reads the files only: no hub client, no network, no network monitor.
    static TokenizerWrapper fromModelFolder(const std::filesystem::path& modelFolder, bool strict);
    static TokenizerWrapper fromModelFolder(const std::filesystem::path& modelFolder, const Hub::HubApiWrapper&,
                                            bool strict) {
        return fromModelFolder(modelFolder, strict);
    }
};

}  // namespace Tokenizers
