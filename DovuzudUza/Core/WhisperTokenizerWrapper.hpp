#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DovuzudUza/Core/LanguageRecognizer.hpp"
#include "DovuzudUza/Core/WhisperTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/AutoTokenizer.hpp"

namespace DovuzudUza {

// The Whisper tokenizer over a loaded general tokenizer: forwards encoding,
// decoding and the id lookups, and adds the control token ids, the language
// token ids and the split of token sequences into words. Immutable once
// built; safe to share between threads.
class WhisperTokenizerWrapper : public WhisperTokenizer {
public:
    WhisperTokenizerWrapper(Tokenizers::TokenizerWrapper tokenizer,
                            std::optional<std::filesystem::path> at = std::nullopt,
                            std::shared_ptr<const LanguageRecognizer> recognizer = nullptr);

    std::vector<int64_t> encode(const std::string& text) const override;
    std::string decode(const std::vector<int64_t>& tokens) const override;
    std::optional<int64_t> convertTokenToId(const std::string& token) const override;
    std::optional<std::string> convertIdToToken(int64_t id) const override;
    const SpecialTokens& specialTokens() const override { return specialTokens_; }
    const std::set<int64_t>& allLanguageTokens() const override { return allLanguageTokens_; }
    WordTokens splitToWordTokens(const std::vector<int64_t>& tokenIds) const override;

    const Tokenizers::TokenizerWrapper& tokenizer() const { return tokenizer_; }
    const std::optional<std::filesystem::path>& tokenizerFolder() const { return tokenizerFolder_; }

private:
    // The id of `text` only when the vocabulary really holds it: an answer
    // that maps back to another token (an unknown-token stand-in) is no id.
    std::optional<int64_t> exactId(const std::string& text) const;
    WordTokens splitTokensOnUnicode(const std::vector<int64_t>& tokens) const;
    WordTokens splitTokensOnSpaces(const std::vector<int64_t>& tokens) const;

    Tokenizers::TokenizerWrapper tokenizer_;
    std::optional<std::filesystem::path> tokenizerFolder_;
    std::shared_ptr<const LanguageRecognizer> recognizer_;
    SpecialTokens specialTokens_;
    std::set<int64_t> allLanguageTokens_;
};

}  // namespace DovuzudUza
